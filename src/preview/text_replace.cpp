#include "preview/text_replace.h"

#include <QChar>

#include <vector>

namespace tw {

namespace {
bool isAscii(std::string_view s) {
  for (unsigned char c : s)
    if (c >= 0x80) return false;
  return true;
}

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// One character of a UTF-8 text: its case-folded code point and where its bytes start.
struct Folded {
  char32_t code;
  std::size_t offset;
};

// Decodes UTF-8 and folds the case of every character. A byte that does not start a valid
// sequence stands for itself (as a code point no valid character folds to), so a damaged
// text is still searched and its bytes are kept.
std::vector<Folded> foldCase(std::string_view s) {
  std::vector<Folded> out;
  out.reserve(s.size());
  std::size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    std::size_t len = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    char32_t code = 0;
    bool valid = len != 0 && i + len <= s.size();
    if (valid) {
      code = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
      for (std::size_t k = 1; k < len; ++k) {
        unsigned char t = static_cast<unsigned char>(s[i + k]);
        if ((t & 0xC0) != 0x80) {
          valid = false;
          break;
        }
        code = (code << 6) | (t & 0x3F);
      }
    }
    if (!valid) {
      out.push_back({0x110000u + c, i});
      ++i;
      continue;
    }
    out.push_back({QChar::toCaseFolded(code), i});
    i += len;
  }
  return out;
}
}  // namespace

std::optional<TextMatch> FindIgnoringCase(std::string_view haystack, std::string_view needle) {
  if (needle.empty()) return std::nullopt;
  if (isAscii(needle) && isAscii(haystack)) {
    if (needle.size() > haystack.size()) return std::nullopt;
    const char first = lowerAscii(needle[0]);
    for (std::size_t p = 0; p + needle.size() <= haystack.size(); ++p) {
      if (lowerAscii(haystack[p]) != first) continue;
      std::size_t k = 1;
      while (k < needle.size() && lowerAscii(haystack[p + k]) == lowerAscii(needle[k])) ++k;
      if (k == needle.size()) return TextMatch{p, needle.size()};
    }
    return std::nullopt;
  }
  const std::vector<Folded> text = foldCase(haystack);
  const std::vector<Folded> search = foldCase(needle);
  for (std::size_t p = 0; p + search.size() <= text.size(); ++p) {
    std::size_t k = 0;
    while (k < search.size() && text[p + k].code == search[k].code) ++k;
    if (k == search.size()) {
      std::size_t end = p + k < text.size() ? text[p + k].offset : haystack.size();
      return TextMatch{text[p].offset, end - text[p].offset};
    }
  }
  return std::nullopt;
}

std::optional<std::string> ReplaceFirstIgnoringCase(std::string_view line, std::string_view search,
                                                    std::string_view replacement) {
  auto match = FindIgnoringCase(line, search);
  if (!match) return std::nullopt;
  std::string out;
  out.reserve(line.size() - match->length + replacement.size());
  out.append(line.substr(0, match->position));
  out.append(replacement);
  out.append(line.substr(match->position + match->length));
  return out;
}

}  // namespace tw
