#include "convert/table_definition.h"

#include <gtest/gtest.h>

#include "convert/ado_type_name.h"

namespace tw {
namespace {

using data::FieldInfo;

std::vector<FieldInfo> ordersFields() {
  return {{"Order ID", ado::kInteger},    {"Customer Name", ado::kVarWChar}, {"Notes", ado::kLongVarWChar},
          {"Photo", ado::kLongVarBinary}, {"Order Date", ado::kDate},        {"Amount", ado::kCurrency},
          {"Paid", ado::kBoolean}};
}

TEST(CreateTableStatement, OrdersExample) {
  CreateTableDefinition def = BuildCreateTableStatement("Orders", ordersFields());
  EXPECT_EQ(def.statement,
            "CREATE TABLE \"Orders\"([OrderID] INT,[Customer] CHAR(254),[Notes] MEMO,"
            "[OrderDat] CHAR(19),[Amount] DOUBLE,[Paid] INT);");
  EXPECT_EQ(def.numericFields, (NumericFieldList{0, 5, 6}));
  EXPECT_TRUE(def.hasColumns);
  std::vector<FieldConversionRow> rows = {
      {"Orders", "Order ID", "int", "INTEGER"}, {"Orders", "Customer Name", "varwchar", "TEXT"},
      {"Orders", "Notes", "longvar", "TEXT"},   {"Orders", "Photo", "", ""},
      {"Orders", "Order Date", "date", "TEXT"}, {"Orders", "Amount", "currency", "NUMERIC"},
      {"Orders", "Paid", "bool", "INTEGER"}};
  EXPECT_EQ(def.rows, rows);
}

TEST(CreateTableStatement, DropTableText) {
  EXPECT_EQ(DropTableStatement("Orders"), "DROP TABLE \"Orders\"");
  EXPECT_EQ(DropTableStatement("Order Details"), "DROP TABLE \"Order Details\"");
}

TEST(CreateTableStatement, CallsTheFieldHookOncePerFieldAfterStartingItsRow) {
  int calls = 0;
  BuildCreateTableStatement("Orders", ordersFields(), [&] { ++calls; });
  EXPECT_EQ(calls, 7);  // the skipped Photo field included
}

TEST(CreateTableStatement, TableOfOnlyBinaryFieldsIsFlaggedAsHavingNoColumns) {
  CreateTableDefinition def =
      BuildCreateTableStatement("t", {{"Pic", ado::kLongVarBinary}, {"Pic2", ado::kLongVarBinary}});
  EXPECT_FALSE(def.hasColumns);
  EXPECT_EQ(def.statement, "CREATE TABLE \"t\");");
  EXPECT_TRUE(def.numericFields.empty());
  EXPECT_EQ(def.rows.size(), 2u);
}

// A precision N(20) cannot hold gets a double, so that no value of it loses its row.
TEST(CreateTableStatement, DecimalAndNumericDeclareNumericWidthFromPrecisionAndScale) {
  CreateTableDefinition def = BuildCreateTableStatement("t", {{"a", ado::kNumeric, 10, 2},
                                                              {"b", ado::kNumeric, 28, 6},
                                                              {"c", ado::kNumeric, 0, 0},
                                                              {"d", ado::kDecimal, 5, 5},
                                                              {"e", ado::kNumeric, 28, 25},
                                                              {"f", ado::kDecimal, 18, 4},
                                                              {"g", ado::kDecimal, 19, 0}});
  EXPECT_EQ(def.statement,
            "CREATE TABLE \"t\"([a] N(12,2),[b] DOUBLE,[c] N(20,0),[d] N(7,5),[e] DOUBLE,[f] N(20,4),[g] DOUBLE);");
  EXPECT_EQ(def.numericFields, (NumericFieldList{0, 1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(def.rows[0].accessType, "numeric");
  EXPECT_EQ(def.rows[3].accessType, "decimal");
  EXPECT_EQ(def.rows[3].foxproType, "NUMERIC");
}

struct MappingCase {
  std::int16_t code;
  const char* suffix;
  const char* keyword;
  const char* category;
  bool numeric;
  int rule;
};

class TypeMapping : public ::testing::TestWithParam<MappingCase> {};

TEST_P(TypeMapping, MapsEveryNamedTypeByTheFirstMatchingRule) {
  const MappingCase& c = GetParam();
  FieldTypeRule r = MapFieldType(AdoTypeNameLower(c.code), 10, 2);
  EXPECT_EQ(r.number, c.rule) << AdoTypeName(c.code);
  EXPECT_EQ(r.suffix, c.suffix) << AdoTypeName(c.code);
  EXPECT_EQ(r.keyword, c.keyword) << AdoTypeName(c.code);
  EXPECT_EQ(r.category, c.category) << AdoTypeName(c.code);
  EXPECT_EQ(r.numeric, c.numeric) << AdoTypeName(c.code);
}

INSTANTIATE_TEST_SUITE_P(AllRules, TypeMapping,
                         ::testing::Values(MappingCase{205, "", "", "", false, 1},
                                           MappingCase{203, "] MEMO,", "longvar", "TEXT", false, 2},
                                           MappingCase{201, "] MEMO,", "longvar", "TEXT", false, 2},
                                           MappingCase{202, "] CHAR(254),", "varwchar", "TEXT", false, 3},
                                           MappingCase{14, "] N(12,2),", "decimal", "NUMERIC", true, 4},
                                           MappingCase{2, "] INT,", "int", "INTEGER", true, 5},
                                           MappingCase{16, "] INT,", "int", "INTEGER", true, 5},
                                           MappingCase{17, "] INT,", "int", "INTEGER", true, 5},
                                           MappingCase{18, "] INT,", "int", "INTEGER", true, 5},
                                           MappingCase{3, "] INT,", "int", "INTEGER", true, 6},
                                           MappingCase{20, "] N(20,0),", "int", "NUMERIC", true, 6},
                                           MappingCase{19, "] INT,", "int", "INTEGER", true, 6},
                                           MappingCase{21, "] N(20,0),", "int", "NUMERIC", true, 6},
                                           MappingCase{6, "] DOUBLE,", "currency", "NUMERIC", true, 7},
                                           MappingCase{11, "] INT,", "bool", "INTEGER", true, 8},
                                           MappingCase{131, "] N(12,2),", "numeric", "NUMERIC", true, 9},
                                           MappingCase{139, "] N(12,2),", "numeric", "NUMERIC", true, 9},
                                           MappingCase{7, "] CHAR(19),", "date", "TEXT", false, 10},
                                           MappingCase{133, "] CHAR(19),", "date", "TEXT", false, 10},
                                           MappingCase{135, "] CHAR(27),", "timestamp", "TEXT", false, 11},
                                           MappingCase{5, "] DOUBLE,", "double", "NUMERIC", true, 12},
                                           MappingCase{4, "] CHAR(254),", "OTHER TYPES", "TEXT", false, 13},
                                           MappingCase{72, "] CHAR(254),", "OTHER TYPES", "TEXT", false, 13},
                                           MappingCase{128, "] CHAR(254),", "OTHER TYPES", "TEXT", false, 13},
                                           MappingCase{204, "] CHAR(254),", "OTHER TYPES", "TEXT", false, 13},
                                           MappingCase{200, "] CHAR(254),", "OTHER TYPES", "TEXT", false, 13},
                                           MappingCase{130, "] CHAR(254),", "OTHER TYPES", "TEXT", false, 13},
                                           MappingCase{134, "] CHAR(254),", "OTHER TYPES", "TEXT", false, 13},
                                           MappingCase{0, "] CHAR(254),", "OTHER TYPES", "TEXT", false, 13},
                                           MappingCase{1, "] CHAR(254),", "OTHER TYPES", "TEXT", false, 13},
                                           MappingCase{137, "] CHAR(254),", "OTHER TYPES", "TEXT", false, 13}));

struct NameCase {
  std::vector<std::string> fields;
  std::vector<std::string> expected;
};

class ColumnNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(ColumnNames, AreCutToEightAndMadeUniqueAgainstTheUsedNameText) {
  std::string used;
  std::vector<std::string> got;
  for (const auto& f : GetParam().fields) got.push_back(MakeFoxProFieldName(f, used));
  EXPECT_EQ(got, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Collisions, ColumnNames,
                         ::testing::Values(NameCase{{"  Unit Price  "}, {"UnitPric"}},
                                           NameCase{{"Customer ID", "Customer Name", "Customer Phone"},
                                                    {"Customer", "Custome1", "Custome2"}},
                                           NameCase{{"No", "No", "No"}, {"No", "No1", "No12"}},
                                           NameCase{{"Paid", "id"}, {"Paid", "id1"}},
                                           NameCase{{"name", "NAME"}, {"name", "NAME1"}},
                                           NameCase{{"Größe", "GRÖSSE", "größe"}, {"Größe", "GRÖSSE", "größe1"}},
                                           NameCase{{"a", "b", "a,b"}, {"a", "b", "a_b"}},
                                           NameCase{{"ab", "b"}, {"ab", "b1"}}));

INSTANTIATE_TEST_SUITE_P(
    NamesFoxProAccepts, ColumnNames,
    ::testing::Values(NameCase{{"E-mail", "Order #", "Price ($)", "1st Quarter"},
                               {"E_mail", "Order_", "Price___", "_1stQuar"}},
                      NameCase{{"Användare", "Straße"}, {"Användar", "Straße"}},
                      // Greek letters are not in code page 1252: they become "_", and the names collide.
                      NameCase{{"Όνομα", "Τιμή"}, {"_____", "____1"}}, NameCase{{"9", "_9"}, {"_9", "_91"}},
                      NameCase{{"a.b!c[d]`e'f\"g"}, {"a_b_c_d_"}}));

TEST(ColumnNames, LettersOfTheTargetCodePageStayAndNamesFitTenBytes) {
  std::string used;
  const CodePage& greek = *CodePage::byNumber(1253);
  EXPECT_EQ(MakeFoxProFieldName("Όνομα", used, greek), "Όνομα");
  EXPECT_EQ(MakeFoxProFieldName("Τιμή μονάδας", used, greek), "Τιμήμονά");
  // Japanese letters take two bytes in code page 932: a name keeps at most five of them,
  // and four when a counter is added.
  used.clear();
  const CodePage& japanese = *CodePage::byNumber(932);
  EXPECT_EQ(MakeFoxProFieldName("氏名住所電話番号", used, japanese), "氏名住所電");
  EXPECT_EQ(MakeFoxProFieldName("氏名住所電話", used, japanese), "氏名住所1");
  EXPECT_EQ(MakeFoxProFieldName("ID番号", used, japanese), "ID番号");
  // The same names in code page 1252 hold no letter it knows.
  used.clear();
  EXPECT_EQ(MakeFoxProFieldName("氏名", used), "__");
  for (const std::string& n : {std::string("氏名住所電"), std::string("氏名住所1")})
    EXPECT_LE(japanese.encodedSize(n), 10u) << n;
}

TEST(ColumnNames, CreateTableUsesTheTargetCodePage) {
  CreateTableDefinition def = BuildCreateTableStatement("t", {{"Город", ado::kVarWChar}, {"E-mail", ado::kVarWChar}},
                                                        {}, *CodePage::byNumber(1251));
  EXPECT_EQ(def.statement, "CREATE TABLE \"t\"([Город] CHAR(254),[E_mail] CHAR(254));");
  EXPECT_EQ(def.rows[0].field, "Город");  // the list shows the source name
}

TEST(ColumnNames, SkippedBinaryFieldStillBlocksItsName) {
  CreateTableDefinition def =
      BuildCreateTableStatement("t", {{"Photo", ado::kLongVarBinary}, {"Photo", ado::kVarWChar}});
  EXPECT_EQ(def.statement, "CREATE TABLE \"t\"([Photo1] CHAR(254));");
}

TEST(AdoTypeNames, NamesCodesAndLeavesUnknownCodesEmpty) {
  EXPECT_EQ(AdoTypeName(202), "adVarWChar");
  EXPECT_EQ(AdoTypeNameLower(202), "advarwchar");
  EXPECT_EQ(AdoTypeName(0), "adEmpty");
  EXPECT_EQ(AdoTypeName(205), "adLongVarBinary");
  EXPECT_EQ(AdoTypeName(139), "adVarNumeric");
  for (std::int16_t code : {1, 15, 137, 8192, -1, 255, 300})
    EXPECT_EQ(AdoTypeName(static_cast<std::int16_t>(code)), "") << code;
  int named = 0;
  for (int code = -32768; code <= 32767; ++code)
    if (!AdoTypeName(static_cast<std::int16_t>(code)).empty()) ++named;
  EXPECT_EQ(named, 39);
}

TEST(TableNames, WhatAFileNameCannotHoldBecomesAnUnderscoreAndStaysUnique) {
  struct Case {
    std::vector<std::string> access, written;
  } cases[] = {
      {{"Orders", "Order Details", "ÄÖÜ"}, {"Orders", "Order Details", "ÄÖÜ"}},
      {{"Sales/Returns: Q1?", "a\\b*c\"d<e>f|g", "tab\tname", "dot.", "blank "},
       {"Sales_Returns_ Q1_", "a_b_c_d_e_f_g", "tab_name", "dot_", "blank_"}},
      {{"CON", "nul", "Com1", "LPT9.txt", "COM0", "Console"},
       {"_CON", "_nul", "_Com1", "_LPT9.txt", "COM0", "Console"}},
      // A changed name never takes a name kept as it is, nor one given before it.
      {{"a/b", "A_B", "a:b", "a_b1"}, {"a_b2", "A_B", "a_b3", "a_b1"}},
  };
  for (const Case& c : cases) EXPECT_EQ(FoxProTableNames(c.access), c.written);
}

}  // namespace
}  // namespace tw
