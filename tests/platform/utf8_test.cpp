// UTF-8 and UTF-16, checked against Qt's own converters over every code point.
#include "platform/utf8.h"

#include <gtest/gtest.h>

#include <QString>

#include <cstdint>
#include <string>

namespace tw {
namespace {

// Built from QChar rather than QString::fromUcs4, whose decoder drops a leading U+FEFF as
// a byte-order mark.
std::string qtUtf8(char32_t cp) {
  QString s;
  if (QChar::requiresSurrogates(cp)) {
    s.append(QChar(QChar::highSurrogate(cp)));
    s.append(QChar(QChar::lowSurrogate(cp)));
  } else {
    s.append(QChar(static_cast<char16_t>(cp)));
  }
  return s.toUtf8().toStdString();
}

TEST(Utf8, EveryCodePointEncodesAndDecodesAsQtDoes) {
  for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    std::string utf8;
    AppendUtf8(utf8, cp);
    ASSERT_EQ(utf8, qtUtf8(cp)) << std::hex << static_cast<std::uint32_t>(cp);
    const Utf8Char c = ReadUtf8(utf8, 0);
    ASSERT_TRUE(c.wellFormed) << std::hex << static_cast<std::uint32_t>(cp);
    ASSERT_EQ(c.codePoint, cp);
    ASSERT_EQ(c.length, utf8.size());
    std::u16string units;
    AppendUtf16(units, cp);
    std::string back;
    Utf16Decoder d(back);
    for (char16_t u : units) d.unit(u);
    d.finish();
    ASSERT_EQ(back, utf8) << std::hex << static_cast<std::uint32_t>(cp);
  }
}

// What a malformed sequence is read as: its length when its continuation bytes are all
// there, one byte otherwise; never well formed.
TEST(Utf8, MalformedSequencesSayHowLongTheyAre) {
  struct Case {
    const char* bytes;
    std::size_t length;
  };
  for (const Case& c : {Case{"\xC0\x80", 2}, Case{"\xC1\xBF", 2}, Case{"\xE0\x80\x80", 3}, Case{"\xED\xA0\x80", 3},
                        Case{"\xF0\x80\x80\x80", 4}, Case{"\xF4\x90\x80\x80", 4}, Case{"\xE2\x82", 1},
                        Case{"\xE2\x82"
                             "A",
                             1},
                        Case{"\x80", 1}, Case{"\xF8\x88\x80\x80\x80", 1}, Case{"\xFF", 1}}) {
    const Utf8Char r = ReadUtf8(c.bytes, 0);
    EXPECT_FALSE(r.wellFormed) << c.bytes;
    EXPECT_EQ(r.codePoint, kReplacementCharacter) << c.bytes;
    EXPECT_EQ(r.length, c.length) << c.bytes;
  }
  // Decoding moves one byte on past a malformed sequence; the strict form refuses it.
  const std::string text =
      "\xC0\x80"
      "A";
  std::size_t pos = 0;
  EXPECT_EQ(DecodeUtf8(text, pos), kReplacementCharacter);
  EXPECT_EQ(DecodeUtf8(text, pos), kReplacementCharacter);
  EXPECT_EQ(DecodeUtf8(text, pos), U'A');
  EXPECT_EQ(pos, text.size());
  std::u16string out;
  EXPECT_FALSE(Utf8ToUtf16(text, out));
  EXPECT_TRUE(Utf8ToUtf16("a\xC3\xA9\xF0\x9F\x98\x80", out));
  EXPECT_EQ(out, u"a\u00E9\U0001F600");
}

TEST(Utf8, LoneSurrogatesDecodeAsReplacementCharacters) {
  std::string out;
  Utf16Decoder d(out);
  for (char16_t u : {char16_t{0xDC00}, char16_t{'a'}, char16_t{0xD800}, char16_t{'b'}, char16_t{0xD83D}}) d.unit(u);
  d.finish();
  EXPECT_EQ(out,
            "\xEF\xBF\xBD"
            "a\xEF\xBF\xBD"
            "b\xEF\xBF\xBD");
}

TEST(Utf8, TextsAreMeasuredAndCutByCharacters) {
  const std::string text = "a\xC3\xA9\xF0\x9F\x98\x80z";  // a é 😀 z
  EXPECT_EQ(Utf8Length(text), 4u);
  EXPECT_EQ(Utf8PrefixBytes(text, 0), 0u);
  EXPECT_EQ(Utf8PrefixBytes(text, 2), 3u);
  EXPECT_EQ(Utf8PrefixBytes(text, 3), 7u);
  EXPECT_EQ(Utf8PrefixBytes(text, 9), text.size());
  // A lead byte cut short at the end never takes the prefix past the text.
  EXPECT_EQ(Utf8PrefixBytes("a\xF0\x9F", 5), 3u);
}

}  // namespace
}  // namespace tw
