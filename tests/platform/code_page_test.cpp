#include "platform/code_page.h"

#include <gtest/gtest.h>

#include <string>

namespace tw {
namespace {

std::string bytes(std::initializer_list<int> b) {
  std::string s;
  for (int x : b) s += static_cast<char>(x);
  return s;
}

std::string encoded(int codePage, std::string_view utf8, std::size_t* replaced = nullptr) {
  std::string out;
  std::size_t n = CodePage::byNumber(codePage)->encode(utf8, out);
  if (replaced) *replaced = n;
  return out;
}

struct Known {
  int codePage;
  const char* text;
  std::string bytes;
};

class CodePageText : public ::testing::TestWithParam<Known> {};

// The bytes Windows writes for these words, and back.
TEST_P(CodePageText, EncodesAndDecodesAsWindowsDoes) {
  const Known& k = GetParam();
  std::size_t replaced = 99;
  EXPECT_EQ(encoded(k.codePage, k.text, &replaced), k.bytes);
  EXPECT_EQ(replaced, 0u);
  EXPECT_EQ(CodePage::byNumber(k.codePage)->decode(k.bytes), k.text);
  EXPECT_EQ(CodePage::byNumber(k.codePage)->encodedSize(k.text), k.bytes.size());
}

INSTANTIATE_TEST_SUITE_P(Windows, CodePageText,
                         ::testing::Values(Known{1252, "Grüße €", bytes({'G', 'r', 0xFC, 0xDF, 'e', ' ', 0x80})},
                                           Known{1250, "Łódź", bytes({0xA3, 0xF3, 'd', 0x9F})},
                                           Known{1251, "Москва", bytes({0xCC, 0xEE, 0xF1, 0xEA, 0xE2, 0xE0})},
                                           Known{1253, "Αθήνα", bytes({0xC1, 0xE8, 0xDE, 0xED, 0xE1})},
                                           Known{1254, "İstanbul", bytes({0xDD, 's', 't', 'a', 'n', 'b', 'u', 'l'})},
                                           Known{1255, "שלום", bytes({0xF9, 0xEC, 0xE5, 0xED})},
                                           Known{1256, "سلام", bytes({0xD3, 0xE1, 0xC7, 0xE3})},
                                           Known{1257, "Šiauliai ąč",
                                                 bytes({0xD0, 'i', 'a', 'u', 'l', 'i', 'a', 'i', ' ', 0xE0, 0xE8})},
                                           Known{874, "ไทย", bytes({0xE4, 0xB7, 0xC2})},
                                           Known{932, "東京ｱ", bytes({0x93, 0x8C, 0x8B, 0x9E, 0xB1})},
                                           Known{936, "中文", bytes({0xD6, 0xD0, 0xCE, 0xC4})},
                                           Known{949, "한국", bytes({0xC7, 0xD1, 0xB1, 0xB9})},
                                           Known{950, "中文", bytes({0xA4, 0xA4, 0xA4, 0xE5})}));

TEST(CodePage, CharactersItLacksBecomeOneQuestionMarkEachAndAreCounted) {
  std::size_t replaced = 0;
  EXPECT_EQ(encoded(1252, "Łódź", &replaced), bytes({'?', 0xF3, 'd', '?'}));
  EXPECT_EQ(replaced, 2u);
  // A character outside the Basic Multilingual Plane is one character, one "?".
  EXPECT_EQ(encoded(1252,
                    "a\xF0\x9F\x98\x80"
                    "b",
                    &replaced),
            "a?b");
  EXPECT_EQ(replaced, 1u);
  // Malformed UTF-8: each bad byte counts.
  EXPECT_EQ(encoded(1252, "a\xC3(b\xFF", &replaced), "a?(b?");
  EXPECT_EQ(replaced, 2u);
  // C1 controls and the private use area are never written.
  EXPECT_EQ(encoded(1252, "\xC2\x81\xEE\x80\x80", &replaced), "??");
  EXPECT_EQ(replaced, 2u);
  // Greek 0xAA and the euro sign of code page 936 are left alone: readers refuse them.
  EXPECT_FALSE(CodePage::byNumber(936)->holds(U'\u20AC'));
  EXPECT_EQ(CodePage::byNumber(1253)->decode(bytes({0xAA})), "\xEF\xBF\xBD");
  EXPECT_EQ(encoded(932, "Ą", &replaced), "?");
}

TEST(CodePage, DecodingDoubleBytesAndUndefinedBytes) {
  const CodePage& japanese = *CodePage::byNumber(932);
  EXPECT_TRUE(japanese.doubleByte());
  EXPECT_FALSE(CodePage::byNumber(1251)->doubleByte());
  // A lead byte at the end, or with a trail byte that makes no character.
  EXPECT_EQ(japanese.decode(bytes({'a', 0x93})), "a\xEF\xBF\xBD");
  EXPECT_EQ(japanese.decode(bytes({0x93, 0x8C, 0x81, 0x0A})), "東\xEF\xBF\xBD\n");
  // Undefined cp1252 bytes decode to U+FFFD, like readers show them.
  EXPECT_EQ(CodePage::western().decode(bytes({0x81, 0x8D, 0x41})),
            "\xEF\xBF\xBD\xEF\xBF\xBD"
            "A");
  // Every defined byte of the one-byte code pages reads back to itself.
  for (int number : {874, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257}) {
    const CodePage& cp = *CodePage::byNumber(number);
    for (int b = 1; b < 256; ++b) {
      const std::string one(1, static_cast<char>(b));
      const std::string text = cp.decode(one);
      if (text == "\xEF\xBF\xBD") continue;
      std::string back;
      EXPECT_EQ(cp.encode(text, back), 0u) << number << " byte " << b;
      EXPECT_EQ(back, one) << number << " byte " << b;
    }
  }
}

TEST(CodePage, NumbersAndVisualFoxProMarks) {
  const std::pair<int, int> marks[] = {{874, 0x7C},  {932, 0x7B},  {936, 0x7A},  {949, 0x79},  {950, 0x78},
                                       {1250, 0xC8}, {1251, 0xC9}, {1252, 0x03}, {1253, 0xCB}, {1254, 0xCA},
                                       {1255, 0x7D}, {1256, 0x7E}, {1257, 0x00}};
  for (auto [number, mark] : marks) {
    ASSERT_NE(CodePage::byNumber(number), nullptr) << number;
    EXPECT_EQ(CodePage::byNumber(number)->mark(), mark) << number;
    if (mark != 0) {
      EXPECT_EQ(CodePage::byMark(static_cast<std::uint8_t>(mark))->number(), number);
    }
  }
  EXPECT_EQ(CodePage::byMark(0), nullptr);
  EXPECT_EQ(CodePage::byMark(0x65), nullptr);  // cp866: not one this program writes
  EXPECT_EQ(CodePage::byNumber(437), nullptr);
  EXPECT_EQ(CodePage::byNumber(65001), nullptr);
  EXPECT_EQ(CodePage::supportedNumbers().size(), 13u);
  EXPECT_EQ(CodePage::western().number(), 1252);
}

TEST(CodePage, LocalesGiveTheAnsiCodePageOfWindows) {
  const std::pair<const char*, int> locales[] = {
      {"pl_PL", 1250}, {"cs_CZ", 1250}, {"hu_HU", 1250}, {"sk_SK", 1250}, {"hr_HR", 1250}, {"ro_RO", 1250},
      {"ru_RU", 1251}, {"uk_UA", 1251}, {"bg_BG", 1251}, {"sr_RS", 1251}, {"kk_KZ", 1251}, {"el_GR", 1253},
      {"tr_TR", 1254}, {"az_AZ", 1254}, {"he_IL", 1255}, {"ar_EG", 1256}, {"ar_SA", 1256}, {"fa_IR", 1256},
      {"lt_LT", 1257}, {"lv_LV", 1257}, {"et_EE", 1257}, {"th_TH", 874},  {"ja_JP", 932},  {"zh_CN", 936},
      {"zh_SG", 936},  {"ko_KR", 949},  {"zh_TW", 950},  {"zh_HK", 950},  {"en_US", 1252}, {"de_DE", 1252},
      {"fr_FR", 1252}, {"pt_BR", 1252}, {"vi_VN", 1252}, {"C", 1252}};
  for (auto [name, codePage] : locales) EXPECT_EQ(AnsiCodePageForLocale(name), codePage) << name;
}

TEST(CodePage, ASettingChoosesTheCodePageAndEmptyMeansTheLocale) {
  EXPECT_EQ(ChosenCodePage("1251").number(), 1251);
  EXPECT_EQ(ChosenCodePage("932").number(), 932);
  const int fromLocale = CodePage::byNumber(SystemAnsiCodePage()) ? SystemAnsiCodePage() : 1252;
  for (const char* setting : {"", "437", "abc", "1251x", "-1251", "99999999"})
    EXPECT_EQ(ChosenCodePage(setting).number(), fromLocale) << setting;
}

}  // namespace
}  // namespace tw
