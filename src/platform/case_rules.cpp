#include "platform/case_rules.h"

#include <QChar>
#include <QString>

#include <algorithm>
#include <vector>

#include "platform/utf8.h"

namespace tw {

namespace {

bool isAscii(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool sameIgnoringAsciiCase(char a, char b) { return asciiLower(a) == asciiLower(b); }

// One character of a UTF-8 text: its folded code point and where its bytes start. A byte
// that is not well-formed UTF-8 stands for itself, as a code point past U+10FFFF that no
// character folds to, so a damaged text is still searched and its bytes are kept.
struct Folded {
  char32_t code;
  std::size_t offset;
};

std::vector<Folded> foldedCharacters(std::string_view s) {
  std::vector<Folded> out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    const Utf8Char c = ReadUtf8(s, i);
    if (c.wellFormed) {
      out.push_back({QChar::toCaseFolded(c.codePoint), i});
      i += c.length;
    } else {
      out.push_back({0x110000u + static_cast<unsigned char>(s[i]), i});
      ++i;
    }
  }
  return out;
}

}  // namespace

std::string asciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = asciiLower(c);
  return out;
}

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), sameIgnoringAsciiCase);
}

bool startsWithIgnoringAsciiCase(std::string_view text, std::string_view head) {
  return text.size() >= head.size() && equalsIgnoringAsciiCase(text.substr(0, head.size()), head);
}

bool endsWithIgnoringAsciiCase(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() && equalsIgnoringAsciiCase(text.substr(text.size() - tail.size()), tail);
}

bool containsIgnoringAsciiCase(std::string_view haystack, std::string_view needle) {
  return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end(), sameIgnoringAsciiCase) !=
             haystack.end() ||
         needle.empty();
}

std::string foldCase(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    const Utf8Char c = ReadUtf8(utf8, i);
    if (c.wellFormed) {
      AppendUtf8(out, c.codePoint < 0x80 ? static_cast<char32_t>(asciiLower(static_cast<char>(c.codePoint)))
                                         : QChar::toCaseFolded(c.codePoint));
      i += c.length;
    } else {
      out.push_back(utf8[i]);
      ++i;
    }
  }
  return out;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (isAscii(a) && isAscii(b)) return equalsIgnoringAsciiCase(a, b);
  return foldCase(a) == foldCase(b);
}

int compareIgnoringCase(std::string_view a, std::string_view b) {
  const int c = foldCase(a).compare(foldCase(b));
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  return foldCase(text).starts_with(foldCase(prefix));
}

std::optional<TextMatch> findIgnoringCase(std::string_view haystack, std::string_view needle) {
  if (needle.empty()) return std::nullopt;
  if (isAscii(needle) && isAscii(haystack)) {
    auto at = std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end(), sameIgnoringAsciiCase);
    if (at == haystack.end()) return std::nullopt;
    return TextMatch{static_cast<std::size_t>(at - haystack.begin()), needle.size()};
  }
  const std::vector<Folded> text = foldedCharacters(haystack);
  const std::vector<Folded> search = foldedCharacters(needle);
  for (std::size_t p = 0; p + search.size() <= text.size(); ++p) {
    std::size_t k = 0;
    while (k < search.size() && text[p + k].code == search[k].code) ++k;
    if (k == search.size()) {
      const std::size_t end = p + k < text.size() ? text[p + k].offset : haystack.size();
      return TextMatch{text[p].offset, end - text[p].offset};
    }
  }
  return std::nullopt;
}

bool containsIgnoringCase(std::string_view haystack, std::string_view needle) {
  return needle.empty() || findIgnoringCase(haystack, needle).has_value();
}

std::string lowerCase(std::string_view utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())).toLower().toUtf8().toStdString();
}

}  // namespace tw
