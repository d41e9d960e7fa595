#include "convert/row_statement.h"

#include <gtest/gtest.h>

#include <cmath>

#include "convert/ado_type_name.h"

namespace tw {
namespace {

using data::FieldInfo;

// 3 February 2021 as an OLE date.
constexpr double kFeb3 = 44230.0;

std::vector<FieldInfo> ordersFields() {
  return {{"Order ID", ado::kInteger},    {"Customer Name", ado::kVarWChar}, {"Notes", ado::kLongVarWChar},
          {"Photo", ado::kLongVarBinary}, {"Order Date", ado::kDate},        {"Amount", ado::kCurrency},
          {"Paid", ado::kBoolean}};
}

std::vector<Value> ordersRow() {
  return {Value(7),
          Value("O'Neil"),
          Value(),
          Value(Bytes{0x42, 0x4D, 0}),
          Value(DateTime{kFeb3}),
          Value(Currency{125000}),
          Value(true)};
}

std::string insert(const std::vector<FieldInfo>& fields, const std::vector<Value>& values,
                   const char* locale = "en_US") {
  CreateTableDefinition def = BuildCreateTableStatement("t", fields);
  return BuildInsertStatement("t", fields, values, def.numericFields, Locale(locale));
}

TEST(InsertStatement, OrdersExampleInTheUnitedStates) {
  auto fields = ordersFields();
  CreateTableDefinition def = BuildCreateTableStatement("Orders", fields);
  EXPECT_EQ(BuildInsertStatement("Orders", fields, ordersRow(), def.numericFields, Locale("en_US")),
            "INSERT INTO [Orders] VALUES (7, 'O''Neil',NULL, '02/03/2021', 12.5, 1);");
}

TEST(InsertStatement, OrdersExampleInGermanyKeepsMonthFirstWithTheLocaleSeparator) {
  auto fields = ordersFields();
  CreateTableDefinition def = BuildCreateTableStatement("Orders", fields);
  EXPECT_EQ(BuildInsertStatement("Orders", fields, ordersRow(), def.numericFields, Locale("de_DE")),
            "INSERT INTO [Orders] VALUES (7, 'O''Neil',NULL, '02.03.2021', 12.5, 1);");
}

TEST(InsertStatement, DecimalCommaCases) {
  // Numeric field: "1234,5" becomes 1234.5.
  EXPECT_EQ(insert({{"a", ado::kDouble}}, {Value(1234.5)}, "de_DE"), "INSERT INTO [t] VALUES (1234.5);");
  EXPECT_EQ(insert({{"a", ado::kCurrency}}, {Value(Currency{-12345})}, "de_DE"), "INSERT INTO [t] VALUES (-1.2345);");
  // Text "3,5": kept in a table with numeric fields, turned to 3.5 in one without.
  EXPECT_EQ(insert({{"n", ado::kInteger}, {"s", ado::kVarWChar}}, {Value(1), Value("3,5")}, "de_DE"),
            "INSERT INTO [t] VALUES (1, '3,5');");
  EXPECT_EQ(insert({{"s", ado::kVarWChar}}, {Value("3,5")}, "de_DE"), "INSERT INTO [t] VALUES ('3.5');");
  // A single renders in the locale's form and lands in a text column as it rendered.
  EXPECT_EQ(insert({{"n", ado::kInteger}, {"f", ado::kSingle}}, {Value(1), Value(Single{2.5f})}, "de_DE"),
            "INSERT INTO [t] VALUES (1, '2,5');");
}

TEST(InsertStatement, NumbersReachTheTargetWithADecimalPointInEveryLocale) {
  // Arabic locales write U+066B as their decimal separator.
  EXPECT_EQ(insert({{"a", ado::kDouble}, {"c", ado::kCurrency}}, {Value(14.95), Value(Currency{6800})}, "ar_SA"),
            "INSERT INTO [t] VALUES (14.95, 0.68);");
  EXPECT_EQ(insert({{"s", ado::kVarWChar}},
                   {Value("14\xD9\xAB"
                          "95")},
                   "ar_SA"),
            "INSERT INTO [t] VALUES ('14.95');");
}

TEST(InsertStatement, NullSeparators) {
  std::vector<FieldInfo> two = {{"a", ado::kInteger}, {"b", ado::kInteger}};
  EXPECT_EQ(insert(two, {Value(7), Value()}), "INSERT INTO [t] VALUES (7,NULL);");
  EXPECT_EQ(insert(two, {Value(), Value(7)}), "INSERT INTO [t] VALUES (NULL, 7);");
  std::vector<FieldInfo> text = {{"a", ado::kVarWChar}, {"b", ado::kVarWChar}, {"c", ado::kVarWChar}};
  EXPECT_EQ(insert(text, {Value(), Value("a"), Value()}), "INSERT INTO [t] VALUES (NULL, 'a',NULL);");
  EXPECT_EQ(insert(text, {Value("a"), Value(), Value("b")}), "INSERT INTO [t] VALUES ('a',NULL, 'b');");
  // Zero-length text is written as NULL, like a null.
  EXPECT_EQ(insert({{"a", ado::kVarWChar}}, {Value("")}), "INSERT INTO [t] VALUES (NULL);");
}

TEST(InsertStatement, LineBreaksAndControlCharactersBecomeChrPieces) {
  std::vector<FieldInfo> memo = {{"m", ado::kLongVarWChar}};
  EXPECT_EQ(insert(memo, {Value("noon.\r\nGate code")}),
            "INSERT INTO [t] VALUES ('noon.'+CHR(13)+CHR(10)+'Gate code');");
  EXPECT_EQ(insert(memo, {Value("\nab\r")}), "INSERT INTO [t] VALUES (CHR(10)+'ab'+CHR(13));");
  EXPECT_EQ(insert(memo, {Value("\r\n")}), "INSERT INTO [t] VALUES (CHR(13)+CHR(10));");
  EXPECT_EQ(insert(memo, {Value("a\tb\x01"
                                "c\x7F")}),
            "INSERT INTO [t] VALUES ('a'+CHR(9)+'b'+CHR(1)+'c'+CHR(127));");
  // Quotes stay doubled inside the pieces; a date or number with a break is neither.
  EXPECT_EQ(insert({{"s", ado::kVarWChar}}, {Value("It's\n2021-02-03")}),
            "INSERT INTO [t] VALUES ('It''s'+CHR(10)+'2021-02-03');");
  EXPECT_EQ(insert({{"s", ado::kVarWChar}}, {Value("3,5\n")}, "de_DE"), "INSERT INTO [t] VALUES ('3,5'+CHR(10));");
  // The statement stays on one line.
  std::string s = insert(memo, {Value("a\r\nb\nc\rd")});
  EXPECT_EQ(s.find_first_of("\r\n"), std::string::npos) << s;
}

TEST(InsertStatement, MemosArriveWholeOtherTextIsCutToAColumn) {
  std::vector<FieldInfo> memo = {{"m", ado::kLongVarWChar}};
  EXPECT_EQ(insert(memo, {Value("It's")}), "INSERT INTO [t] VALUES ('It''s');");
  std::string long300(300, 'x');
  EXPECT_EQ(insert(memo, {Value(long300)}), "INSERT INTO [t] VALUES ('" + long300 + "');");
  EXPECT_EQ(insert({{"m", ado::kLongVarChar}}, {Value(long300)}), "INSERT INTO [t] VALUES ('" + long300 + "');");
  const std::string text = "INSERT INTO [t] VALUES ('" + std::string(254, 'x') + "');";
  EXPECT_EQ(insert({{"s", ado::kVarWChar}}, {Value(long300)}), text);
  std::string hex;
  for (int i = 0; i < 127; ++i) hex += "AB";
  EXPECT_EQ(insert({{"g", ado::kVarBinary}}, {Value(Bytes(200, 0xAB))}), "INSERT INTO [t] VALUES ('" + hex + "');");
  // The cut counts characters, not bytes: 300 e-acute keep 254 whole characters.
  std::string accents, kept;
  for (int i = 0; i < 300; ++i) accents += "\xC3\xA9";
  for (int i = 0; i < 254; ++i) kept += "\xC3\xA9";
  EXPECT_EQ(insert({{"s", ado::kVarWChar}}, {Value(accents)}), "INSERT INTO [t] VALUES ('" + kept + "');");
  // Quotes are doubled after the cut: 254 quotes become 508.
  EXPECT_EQ(insert({{"s", ado::kVarWChar}}, {Value(std::string(300, '\''))}),
            "INSERT INTO [t] VALUES ('" + std::string(508, '\'') + "');");
}

TEST(InsertStatement, TextIsCutToTheBytesOfAColumnInATwoByteCodePage) {
  // 200 hiragana take 400 bytes in code page 932: a C(254) column holds 127 of them, and
  // the 2 ASCII letters in front leave room for 126. A memo keeps all of them.
  std::string kana, kept;
  for (int i = 0; i < 200; ++i) kana += "\xE3\x81\x82";
  for (int i = 0; i < 126; ++i) kept += "\xE3\x81\x82";
  const CodePage& japanese = *CodePage::byNumber(932);
  std::vector<FieldInfo> f = {{"s", ado::kVarWChar}, {"m", ado::kLongVarWChar}};
  CreateTableDefinition def = BuildCreateTableStatement("t", f, {}, japanese);
  EXPECT_EQ(BuildInsertStatement("t", f, {Value("ab" + kana), Value(kana)}, def.numericFields, Locale("en_US"), {},
                                 japanese),
            "INSERT INTO [t] VALUES ('ab" + kept + "', '" + kana + "');");
  // In a one-byte code page the same text is cut at 254 characters.
  std::string kept252;
  for (int i = 0; i < 252; ++i) kept252 += "\xE3\x81\x82";
  EXPECT_EQ(BuildInsertStatement("t", {{"s", ado::kVarWChar}}, {Value("ab" + kana + kana)}, {}, Locale("en_US")),
            "INSERT INTO [t] VALUES ('ab" + kept252 + "');");
}

// Every value that does not arrive whole is counted: texts over 254 characters (or over
// 254 bytes in a two-byte code page), and decimals a double rounds; a memo, a text that
// fits exactly and a decimal of a column N(w,d) holds are not.
TEST(InsertStatement, CutTextsAndRoundedDecimalsAreCounted) {
  std::string kana;
  for (int i = 0; i < 127; ++i) kana += "\xE3\x81\x82";  // 254 bytes in code page 932
  std::vector<FieldInfo> f = {
      {"s", ado::kVarWChar}, {"m", ado::kLongVarWChar}, {"w", ado::kDecimal, 28, 10}, {"n", ado::kDecimal, 18, 2}};
  const Decimal wide{false, "1234567890123456789012345678", 10}, exact{false, "12345", 2};
  struct Case {
    std::vector<Value> row;
    const CodePage* codePage;
    ValueLosses expected;
  } cases[] = {
      {{Value(std::string(255, 'x')), Value(std::string(300, 'x')), Value(exact), Value(wide)},
       &CodePage::western(),
       {1, 0}},
      {{Value(std::string(254, 'x')), Null{}, Value(wide), Value(exact)}, &CodePage::western(), {0, 1}},
      {{Value(kana), Null{}, Null{}, Null{}}, CodePage::byNumber(932), {0, 0}},
      {{Value("a" + kana), Null{}, Null{}, Null{}}, CodePage::byNumber(932), {1, 0}},
  };
  for (const Case& c : cases) {
    ValueLosses losses;
    CreateTableDefinition def = BuildCreateTableStatement("t", f, {}, *c.codePage);
    BuildInsertStatement("t", f, c.row, def.numericFields, Locale("en_US"), {}, *c.codePage, &losses);
    EXPECT_EQ(losses.cut, c.expected.cut) << &c - cases;
    EXPECT_EQ(losses.inexact, c.expected.inexact) << &c - cases;
  }
}

TEST(InsertStatement, ADoubleHoldsADecimalWhenItGivesBackEveryDigit) {
  struct Case {
    Decimal value;
    bool held;
  } cases[] = {
      {{false, "0", 0}, true},
      {{false, "50325", 3}, true},
      {{true, "123456789012345", 5}, true},           // 15 digits
      {{false, "9007199254740993", 0}, false},        // 2^53 + 1
      {{false, "9007199254740992", 0}, true},         // 2^53
      {{false, "12345678000000000000000", 4}, true},  // trailing zeros are no digits
      {{false, "56505085819424791296572280180", 18}, false},
      {{false, "1" + std::string(400, '0'), 0}, false},  // beyond a double's range
  };
  for (const Case& c : cases) EXPECT_EQ(DoubleHoldsDecimal(c.value), c.held) << c.value.digits;
}

TEST(InsertStatement, ExtendedDatesArriveToTheLastDigit) {
  std::vector<FieldInfo> f = {{"n", ado::kInteger}, {"x", ado::kDBTimeStamp}};
  const ExtendedDateTime x{737954, (22 * 3600 + 45 * 60 + 12) * 10000000LL + 3456789};
  EXPECT_EQ(insert(f, {Value(1), Value(x)}), "INSERT INTO [t] VALUES (1, '06/14/2021 22:45:12.3456789');");
  EXPECT_EQ(insert(f, {Value(1), Value(x)}, "de_DE"), "INSERT INTO [t] VALUES (1, '06.14.2021 22:45:12.3456789');");
  EXPECT_EQ(insert(f, {Value(1), Value(ExtendedDateTime{0, 0})}),
            "INSERT INTO [t] VALUES (1, '01/01/0001 00:00:00.0000000');");
  EXPECT_EQ(insert(f, {Value(1), Value()}), "INSERT INTO [t] VALUES (1,NULL);");
}

TEST(InsertStatement, DatesAndDateLikeText) {
  std::vector<FieldInfo> date = {{"d", ado::kDate}};
  // With a time of day: the 19-character pattern.
  EXPECT_EQ(insert(date, {Value(DateTime{kFeb3 + 0.5 + 1.0 / 86400})}),
            "INSERT INTO [t] VALUES ('02/03/2021 12:00:01');");
  // Time only: the date part 12/30/1899.
  EXPECT_EQ(insert(date, {Value(DateTime{0.75})}), "INSERT INTO [t] VALUES ('12/30/1899 18:00:00');");
  // Before 1900 and negative with a time of day (-1.25 is 29 December 1899, 06:00).
  EXPECT_EQ(insert(date, {Value(DateTime{-1.25})}), "INSERT INTO [t] VALUES ('12/29/1899 06:00:00');");
  EXPECT_EQ(insert(date, {Value(DateTime{-231762.53125})}), "INSERT INTO [t] VALUES ('06/14/1265 12:45:00');");
  EXPECT_EQ(insert(date, {Value(DateTime{-1.25})}, "de_DE"), "INSERT INTO [t] VALUES ('12.29.1899 06:00:00');");
  // A text that looks like a date is reformatted like one; plain words are left alone.
  std::vector<FieldInfo> text = {{"s", ado::kVarWChar}};
  EXPECT_EQ(insert(text, {Value("2021-02-03")}), "INSERT INTO [t] VALUES ('02/03/2021');");
  EXPECT_EQ(insert(text, {Value("3/2/21 1:05 PM")}), "INSERT INTO [t] VALUES ('03/02/2021 13:05:00');");
  EXPECT_EQ(insert(text, {Value("Tuesday")}), "INSERT INTO [t] VALUES ('Tuesday');");
  EXPECT_EQ(insert(text, {Value("2021-02-30")}), "INSERT INTO [t] VALUES ('2021-02-30');");
  EXPECT_EQ(insert(text, {Value("03.02.2021")}, "de_DE"), "INSERT INTO [t] VALUES ('02.03.2021');");
}

TEST(InsertStatement, DateItemsEqualTheirRenderedTextPassedThroughTheTextRules) {
  // Dates are written without the round trip through their display text; the item must
  // be the one the text rules make of that text, in every locale.
  std::vector<FieldInfo> f = {{"n", ado::kInteger}, {"d", ado::kDate}};
  std::uint64_t seed = 12345;
  auto next = [&] {
    seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(seed >> 11) / 9007199254740992.0;
  };
  std::vector<double> days = {0.0, 0.5, -0.5, 1.0, -1.25, 44230.0, 44230.75, 0.99999999, -657434.0, 2958465.99998};
  // Random days across the whole range Access stores and a little beyond it.
  for (int k = 0; k < 300; ++k) days.push_back(-700000.0 + next() * 3700000.0);
  for (int k = 0; k < 100; ++k) days.push_back(std::floor(-700000.0 + next() * 3700000.0));
  for (int k = 0; k < 100; ++k) days.push_back(-2.0 + next() * 4.0);
  for (const char* name : {"en_US", "de_DE", "fi_FI", "ja_JP", "C"}) {
    Locale l(name);
    CreateTableDefinition def = BuildCreateTableStatement("t", f);
    for (double d : days) {
      std::string slow = "INSERT INTO [t] VALUES (1, ";
      FormatFieldValue(slow, RenderFieldValue(Value(DateTime{d}), l), false, true, l);
      slow.resize(slow.size() - 2);
      slow += ");";
      EXPECT_EQ(BuildInsertStatement("t", f, {Value(1), Value(DateTime{d})}, def.numericFields, l), slow)
          << name << " " << d;
    }
  }
}

TEST(InsertStatement, YesNoAndNumbers) {
  EXPECT_EQ(insert({{"b", ado::kBoolean}, {"c", ado::kBoolean}}, {Value(true), Value(false)}),
            "INSERT INTO [t] VALUES (1, 0);");
  // A text holding the word True stays text.
  EXPECT_EQ(insert({{"b", ado::kBoolean}, {"s", ado::kVarWChar}}, {Value(true), Value("True")}),
            "INSERT INTO [t] VALUES (1, 'True');");
  // Doubles keep every digit they need to read back the same.
  EXPECT_EQ(insert({{"d", ado::kDouble}}, {Value(0.1 + 0.2)}), "INSERT INTO [t] VALUES (0.30000000000000004);");
  EXPECT_EQ(insert({{"d", ado::kDouble}}, {Value(1234567.8901234567)}),
            "INSERT INTO [t] VALUES (1234567.8901234567);");
  EXPECT_EQ(insert({{"d", ado::kDouble}}, {Value(0.1)}), "INSERT INTO [t] VALUES (0.1);");
  EXPECT_EQ(insert({{"d", ado::kDouble}}, {Value(1e20)}), "INSERT INTO [t] VALUES (1E+20);");
  EXPECT_EQ(insert({{"d", ado::kDouble}}, {Value(-0.0)}), "INSERT INTO [t] VALUES (0);");
  EXPECT_EQ(insert({{"i", ado::kBigInt}}, {Value(std::int64_t{-9223372036854775807LL - 1})}),
            "INSERT INTO [t] VALUES (-9223372036854775808);");
  Decimal d{true, "123456789012345678901234567", 6};
  EXPECT_EQ(insert({{"n", ado::kNumeric, 28, 6}}, {Value(d)}),
            "INSERT INTO [t] VALUES (-123456789012345678901.234567);");
  EXPECT_EQ(insert({{"n", ado::kNumeric, 18, 4}}, {Value(Decimal{false, "5000", 4})}),
            "INSERT INTO [t] VALUES (0.5);");
}

TEST(InsertStatement, SkippedBinaryFieldsLeaveTheNumericPositionAlone) {
  std::vector<FieldInfo> f = {{"p", ado::kLongVarBinary},
                              {"n", ado::kInteger},
                              {"q", ado::kLongVarBinary},
                              {"s", ado::kVarWChar},
                              {"m", ado::kInteger}};
  EXPECT_EQ(insert(f, {Value(Bytes{1}), Value(5), Value(Bytes{2}), Value("x"), Value(6)}),
            "INSERT INTO [t] VALUES (5, 'x', 6);");
  int calls = 0;
  CreateTableDefinition def = BuildCreateTableStatement("t", f);
  BuildInsertStatement("t", f, {Value(Bytes{1}), Value(5), Value(Bytes{2}), Value("x"), Value(6)}, def.numericFields,
                       Locale("en_US"), [&] { ++calls; });
  EXPECT_EQ(calls, 3);
}

TEST(InsertStatement, OtherTypesRenderAsText) {
  Guid g{{0x78, 0x56, 0x34, 0x12, 0xBC, 0x9A, 0xF0, 0xDE, 0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};
  EXPECT_EQ(insert({{"g", ado::kGuid}}, {Value(g)}),
            "INSERT INTO [t] VALUES ('{12345678-9ABC-DEF0-0123-456789ABCDEF}');");
  EXPECT_EQ(insert({{"b", ado::kVarBinary}}, {Value(Bytes{0x00, 0x1F, 0xA0})}), "INSERT INTO [t] VALUES ('001FA0');");
  EXPECT_EQ(insert({{"f", ado::kSingle}}, {Value(Single{0.1f})}), "INSERT INTO [t] VALUES ('0.1');");
}

}  // namespace
}  // namespace tw
