// UTF-8 to cp1252 and back: every character cp1252 holds, and "?" for everything else,
// malformed UTF-8 included.
#include <gtest/gtest.h>

#include "platform/vfp/codepage.h"

using namespace tw::vfp;

namespace {

TEST(Codepage, EveryDefinedCp1252ByteRoundTripsThroughUtf8) {
  for (int b = 1; b < 256; ++b) {
    if (b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D) continue;
    std::string one(1, static_cast<char>(b));
    std::string utf8 = fromCp1252(one);
    EXPECT_EQ(toCp1252(utf8), one) << "byte " << b;
  }
  EXPECT_EQ(fromCp1252("\x80\x9F"), "\xE2\x82\xAC\xC5\xB8");  // euro sign, Y with diaeresis
}

struct Utf8Case {
  const char* utf8;
  const char* cp1252;
};

class Utf8ToCp1252 : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8ToCp1252, MapsOrReplaces) { EXPECT_EQ(toCp1252(GetParam().utf8), GetParam().cp1252); }

INSTANTIATE_TEST_SUITE_P(Codepage, Utf8ToCp1252,
                         ::testing::Values(Utf8Case{"plain", "plain"}, Utf8Case{"\xC3\xA9t\xC3\xA9", "\xE9t\xE9"},
                                           Utf8Case{"\xE2\x80\x9Cq\xE2\x80\x9D", "\x93q\x94"},
                                           Utf8Case{"\xE6\x97\xA5\xE6\x9C\xAC", "??"},  // CJK
                                           Utf8Case{"\xF0\x9F\x98\x80!", "?!"},         // emoji, four bytes
                                           Utf8Case{"\xC2\x81", "?"},                   // U+0081: undefined in cp1252
                                           Utf8Case{"a\xC3", "a?"},                     // cut short at the end
                                           Utf8Case{"\xE2\x82", "??"},                  // cut short, two bytes left
                                           Utf8Case{"\xC0\xAF", "??"},                  // overlong "/"
                                           Utf8Case{"\xED\xA0\x80", "???"},             // a surrogate
                                           Utf8Case{"\xFF\xFE", "??"},                  // never valid
                                           Utf8Case{"\xC3(", "?("}));                   // bad continuation

TEST(Codepage, UpperCaseAndLettersFollowCp1252) {
  EXPECT_EQ(cp1252Upper('a'), 'A');
  EXPECT_EQ(cp1252Upper(0xE9), 0xC9);  // e acute
  EXPECT_EQ(cp1252Upper(0x9A), 0x8A);  // s caron
  EXPECT_EQ(cp1252Upper(0xDF), 0xDF);  // sharp s has no capital here
  EXPECT_EQ(cp1252Upper(0xF7), 0xF7);  // division sign
  EXPECT_TRUE(cp1252IsLetter(0xC4));
  EXPECT_FALSE(cp1252IsLetter(0xD7));  // multiplication sign
  EXPECT_FALSE(cp1252IsLetter('-'));
  EXPECT_FALSE(cp1252IsLetter('1'));
}

}  // namespace
