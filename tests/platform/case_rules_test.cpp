// The two case rules: Unicode folding for names, ASCII where a format says so.
#include "platform/case_rules.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

TEST(CaseRules, NamesCompareByUnicodeFolding) {
  EXPECT_TRUE(equalsIgnoringCase("Orders", "ORDERS"));
  EXPECT_TRUE(equalsIgnoringCase("ÄRZTE", "ärzte"));
  EXPECT_TRUE(equalsIgnoringCase("ΟΔΟΣ", "οδος"));
  EXPECT_TRUE(equalsIgnoringCase("οδος", "οδοσ"));        // final sigma folds to sigma
  EXPECT_TRUE(equalsIgnoringCase("\xE2\x84\xAA", "k"));   // Kelvin sign
  EXPECT_FALSE(equalsIgnoringCase("Straße", "STRASSE"));  // simple folding: one for one
  EXPECT_FALSE(equalsIgnoringCase("Order", "Orders"));
  // A byte that is not UTF-8 equals only itself.
  EXPECT_TRUE(equalsIgnoringCase("a\xFF", "A\xFF"));
  EXPECT_FALSE(equalsIgnoringCase("a\xFF", "a\xFE"));
  EXPECT_EQ(foldCase("ÄBC\xFF"), "äbc\xFF");
  for (auto [a, b] : {std::pair{"Äpfel", "äPFEL"}, {"x\xE2\x84\xAA", "XK"}, {"ab", "abc"}})
    EXPECT_EQ(equalsIgnoringCase(a, b), foldCase(a) == foldCase(b)) << a << " " << b;
}

TEST(CaseRules, NamesOrderAndStartByTheirFolds) {
  EXPECT_LT(compareIgnoringCase("apple", "Banana"), 0);
  EXPECT_GT(compareIgnoringCase("Zebra", "apple"), 0);
  EXPECT_EQ(compareIgnoringCase("ÄRZTE", "ärzte"), 0);
  EXPECT_TRUE(startsWithIgnoringCase("msysObjects", "MSys"));
  EXPECT_TRUE(startsWithIgnoringCase("ÄRZTE", "är"));
  EXPECT_FALSE(startsWithIgnoringCase("MS", "MSys"));
}

TEST(CaseRules, SearchesFoldAndReportBytesOfTheTextSearched) {
  auto m = findIgnoringCase("Οδός ΑΘΗΝΆ 20", "αθηνά");
  ASSERT_TRUE(m);
  EXPECT_EQ(m->position, std::string("Οδός ").size());
  EXPECT_EQ(m->length, std::string("ΑΘΗΝΆ").size());
  // The Kelvin sign takes three bytes where the "k" searched for takes one.
  m = findIgnoringCase("x\xE2\x84\xAAy", "ky");
  ASSERT_TRUE(m);
  EXPECT_EQ(m->position, 1u);
  EXPECT_EQ(m->length, 4u);
  EXPECT_FALSE(findIgnoringCase("abc", ""));
  EXPECT_TRUE(containsIgnoringCase("abc", ""));
  EXPECT_TRUE(containsIgnoringCase("[NAME][ΟΔΟΣ]", "οδος"));
  EXPECT_FALSE(containsIgnoringCase("[NAME]", "names"));
}

TEST(CaseRules, FormatKeysCompareByAsciiOnly) {
  EXPECT_TRUE(equalsIgnoringAsciiCase("Data Source", "DATA SOURCE"));
  EXPECT_FALSE(equalsIgnoringAsciiCase("É", "é"));
  EXPECT_FALSE(equalsIgnoringAsciiCase("\xE2\x84\xAA", "k"));
  EXPECT_TRUE(endsWithIgnoringAsciiCase("ORDERS.DBF", ".dbf"));
  EXPECT_FALSE(endsWithIgnoringAsciiCase("dbf", ".dbf"));
  EXPECT_TRUE(startsWithIgnoringAsciiCase("SELECT * FROM t", "select * from "));
  EXPECT_TRUE(containsIgnoringAsciiCase("Provider Cannot Be Found.", "provider cannot be found"));
  EXPECT_FALSE(containsIgnoringAsciiCase("provider", "providers"));
  EXPECT_EQ(asciiLower("ÄBC-Xy"), "Äbc-xy");
  EXPECT_EQ(asciiUpper('q'), 'Q');
  EXPECT_EQ(asciiUpper('1'), '1');
}

TEST(CaseRules, StoredNamesTakeUnicodeLowerCase) {
  EXPECT_EQ(lowerCase("ÄRZTE Orders"), "ärzte orders");
  EXPECT_EQ(lowerCase("\xC4\xB0"), "i\xCC\x87");  // capital I with dot: "i" and a combining dot
}

}  // namespace
}  // namespace tw
