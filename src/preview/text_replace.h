// The text work of Find and Replace: find a text without regard to letter case, and
// replace its first occurrence in a line.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tw {

struct TextMatch {
  std::size_t position;  // byte offset of the match in the searched text
  std::size_t length;    // bytes of the searched text that matched
};

// The first occurrence of `needle` in `haystack`, letter case ignored (ASCII letters
// directly, other letters by Unicode simple case folding). An empty needle matches nothing.
std::optional<TextMatch> FindIgnoringCase(std::string_view haystack, std::string_view needle);

// `line` with the first occurrence of `search` (case ignored) replaced by `replacement`
// exactly as given; nullopt when `search` does not occur (or is empty).
std::optional<std::string> ReplaceFirstIgnoringCase(std::string_view line, std::string_view search,
                                                    std::string_view replacement);

}  // namespace tw
