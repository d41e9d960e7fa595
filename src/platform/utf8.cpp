#include "platform/utf8.h"

namespace tw {

namespace {

bool isContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

}  // namespace

Utf8Char ReadUtf8(std::string_view text, std::size_t pos) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char c = byte(pos);
  Utf8Char r;
  if (c < 0x80) {
    r.codePoint = c;
    r.wellFormed = true;
    return r;
  }
  std::size_t extra = 0;
  char32_t cp = 0;
  if ((c & 0xE0) == 0xC0) {
    extra = 1;
    cp = c & 0x1F;
  } else if ((c & 0xF0) == 0xE0) {
    extra = 2;
    cp = c & 0x0F;
  } else if ((c & 0xF8) == 0xF0) {
    extra = 3;
    cp = c & 0x07;
  } else {
    return r;  // a continuation byte or no lead byte at all
  }
  if (pos + extra >= text.size()) return r;  // cut short
  for (std::size_t i = 1; i <= extra; ++i) {
    const unsigned char d = byte(pos + i);
    if (!isContinuation(d)) return r;
    cp = (cp << 6) | (d & 0x3F);
  }
  r.length = extra + 1;
  // Overlong forms, surrogates and values past U+10FFFF are malformed.
  static constexpr char32_t kMin[4] = {0, 0x80, 0x800, 0x10000};
  if (cp < kMin[extra] || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) return r;
  r.codePoint = cp;
  r.wellFormed = true;
  return r;
}

bool Utf8ToUtf16(std::string_view text, std::u16string& out) {
  out.clear();
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const Utf8Char c = ReadUtf8(text, i);
    if (!c.wellFormed) return false;
    AppendUtf16(out, c.codePoint);
    i += c.length;
  }
  return true;
}

std::size_t Utf8Length(std::string_view text) {
  std::size_t n = 0;
  for (char c : text)
    if (!isContinuation(static_cast<unsigned char>(c))) ++n;
  return n;
}

std::size_t Utf8PrefixBytes(std::string_view text, std::size_t chars) {
  std::size_t i = 0, n = 0;
  while (i < text.size() && n < chars) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    i += c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    ++n;
  }
  return i < text.size() ? i : text.size();
}

}  // namespace tw
