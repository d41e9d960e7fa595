#include "preview/text_replace.h"

namespace tw {

std::optional<std::string> ReplaceFirstIgnoringCase(std::string_view line, std::string_view search,
                                                    std::string_view replacement) {
  auto match = findIgnoringCase(line, search);
  if (!match) return std::nullopt;
  std::string out;
  out.reserve(line.size() - match->length + replacement.size());
  out.append(line.substr(0, match->position));
  out.append(replacement);
  out.append(line.substr(match->position + match->length));
  return out;
}

}  // namespace tw
