// Counting characters (code points) in UTF-8 text.
#pragma once

#include <cstddef>
#include <string_view>

namespace tw {

// The number of bytes the first `chars` characters of a UTF-8 text take (all of it when
// it holds fewer). Column names and values are cut by characters, never inside one.
inline std::size_t Utf8PrefixBytes(std::string_view text, std::size_t chars) {
  std::size_t i = 0, n = 0;
  while (i < text.size() && n < chars) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    i += c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    ++n;
  }
  return i < text.size() ? i : text.size();
}

// The number of characters (code points) of a UTF-8 text.
inline std::size_t Utf8Length(std::string_view text) {
  std::size_t n = 0;
  for (char c : text)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
  return n;
}

}  // namespace tw
