// UTF-8, the form every text takes inside the program, and UTF-16, the form Access stores:
// reading and writing characters, and measuring texts in characters. Every decoder and
// encoder of either form in the program is built on these.
//
// A UTF-8 character is well formed when its lead byte calls for the continuation bytes
// that follow it and the value is neither an overlong form, a surrogate nor past U+10FFFF.
// What a caller does with a malformed one is its own rule, named at each function: stop,
// or stand in U+FFFD for one byte or for the whole sequence.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tw {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// One character read from UTF-8 text.
struct Utf8Char {
  char32_t codePoint = kReplacementCharacter;  // U+FFFD when not `wellFormed`
  // The bytes of the sequence: the lead byte and the continuation bytes it calls for when
  // all of them are there (even when the value they give is malformed), else 1.
  std::size_t length = 1;
  bool wellFormed = false;
};

// Reads the character at `text[pos]` (pos < text.size()).
Utf8Char ReadUtf8(std::string_view text, std::size_t pos);

// Decodes one UTF-8 character at `text[pos]` and advances `pos`; malformed input gives
// U+FFFD and moves one byte on. (Inline, as are the encoders below: they run once a
// character on every text the program reads and writes.)
inline char32_t DecodeUtf8(std::string_view text, std::size_t& pos) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  if (lead < 0x80) {
    ++pos;
    return lead;
  }
  const Utf8Char c = ReadUtf8(text, pos);
  pos += c.wellFormed ? c.length : 1;
  return c.codePoint;
}

// Appends the code point as UTF-8.
inline void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// Appends the code point as UTF-16: one unit, or a surrogate pair past U+FFFF.
inline void AppendUtf16(std::u16string& out, char32_t cp) {
  if (cp >= 0x10000) {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  } else {
    out.push_back(static_cast<char16_t>(cp));
  }
}

// The UTF-16 form of well-formed UTF-8 text; false (with `out` incomplete) at the first
// malformed character.
bool Utf8ToUtf16(std::string_view text, std::u16string& out);

// Decodes UTF-16 code units one at a time into UTF-8, pairing surrogates; a lone
// surrogate becomes U+FFFD.
class Utf16Decoder {
 public:
  explicit Utf16Decoder(std::string& out) : out_(out) {}
  void unit(char16_t u) {
    if (pendingHigh_) {
      if (u >= 0xDC00 && u <= 0xDFFF) {
        AppendUtf8(out_, 0x10000 + ((static_cast<char32_t>(pendingHigh_) - 0xD800) << 10) + (u - 0xDC00));
        pendingHigh_ = 0;
        return;
      }
      AppendUtf8(out_, kReplacementCharacter);
      pendingHigh_ = 0;
    }
    if (u >= 0xD800 && u <= 0xDBFF) {
      pendingHigh_ = u;
    } else if (u >= 0xDC00 && u <= 0xDFFF) {
      AppendUtf8(out_, kReplacementCharacter);
    } else {
      AppendUtf8(out_, u);
    }
  }
  // Ends the text: a high surrogate still waiting for its pair becomes U+FFFD.
  void finish() {
    if (pendingHigh_) AppendUtf8(out_, kReplacementCharacter);
    pendingHigh_ = 0;
  }

 private:
  std::string& out_;
  char16_t pendingHigh_ = 0;
};

// The number of characters (code points) of a UTF-8 text: every byte that is not a
// continuation byte counts.
std::size_t Utf8Length(std::string_view text);

// The number of bytes the first `chars` characters of a UTF-8 text take (all of it when
// it holds fewer). Column names and values are cut by characters, never inside one.
std::size_t Utf8PrefixBytes(std::string_view text, std::size_t chars);

}  // namespace tw
