// The text work of Replace: replace the first occurrence of a text in a line without
// regard to letter case (finding it is platform/case_rules.h's findIgnoringCase).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/case_rules.h"

namespace tw {

// `line` with the first occurrence of `search` (case ignored) replaced by `replacement`
// exactly as given; nullopt when `search` does not occur (or is empty).
std::optional<std::string> ReplaceFirstIgnoringCase(std::string_view line, std::string_view search,
                                                    std::string_view replacement);

}  // namespace tw
