// Native row statements executed by the FoxPro engine and read back by its table reader:
// every value arrives with its type and its digits.
#include "convert/native_row.h"

#include <gtest/gtest.h>

#include "../platform/vfp/vfp_test_support.h"
#include "platform/ado_types.h"
#include "platform/calendar.h"
#include "platform/vfp/table_reader.h"

namespace tw {
namespace {

using data::FieldInfo;
using vfp::testing::ScratchFolder;

FieldInfo field(const char* name, std::int16_t type, std::int64_t size = 0, int precision = 0, int scale = 0) {
  return FieldInfo{name, type, precision, scale, size, data::kFldIsNullable, {}};
}

std::vector<std::vector<Value>> readBack(const ScratchFolder& dir, const std::string& table) {
  vfp::TableReader reader(*vfp::testing::plainFs(), dir.file(table + ".dbf"), dir.file(table + ".fpt"));
  std::vector<std::vector<Value>> rows;
  for (std::vector<Value> row; reader.next(row);) rows.push_back(row);
  return rows;
}

TEST(NativeRow, ValuesReachTheEngineWithTheirTypesAndDigits) {
  std::vector<FieldInfo> fields = {field("ID", ado::kInteger),
                                   field("Flag", ado::kBoolean),
                                   field("Big", ado::kBigInt),
                                   field("Weight", ado::kSingle),
                                   field("Ratio", ado::kDouble),
                                   field("Price", ado::kCurrency),
                                   field("Amount", ado::kNumeric, 0, 10, 2),
                                   field("Wide", ado::kNumeric, 0, 28, 6),
                                   field("Seen", ado::kDate),
                                   field("Stamp", ado::kDBTimeStamp),
                                   field("Code", ado::kVarWChar, 10),
                                   field("Notes", ado::kLongVarWChar),
                                   field("Key", ado::kGuid),
                                   field("Raw", ado::kVarBinary, 4),
                                   field("Photo", ado::kLongVarBinary)};
  fields[0].attributes = 0;
  fields[0].properties["ISAUTOINCREMENT"] = Value(true);
  const NativeTableDefinition def = BuildNativeTableDefinition("T", fields, false);
  const Locale locale("en_US");
  const Guid guid{{0x78, 0x56, 0x34, 0x12, 0x34, 0x12, 0x34, 0x12, 1, 2, 3, 4, 5, 6, 7, 8}};
  const std::vector<Value> full = {Value(9),
                                   Value(true),
                                   Value(std::int64_t{9007199254740993}),
                                   Value(Single{2583.2092f}),
                                   Value(0.1),
                                   Value(Currency{-123456}),
                                   Value(Decimal{false, "12345", 2}),
                                   Value(Decimal{false, "1234567890123456789012", 6}),
                                   Value(DateTime{oleDate(2024, 2, 29, 13, 45, 30)}),
                                   Value(ExtendedDateTime{extendedDayFromCivil(2024, 2, 29), 123456789}),
                                   Value("1,5"),
                                   Value("it's\r\nfine"),
                                   Value(guid),
                                   Value(Bytes{0, 1, 255}),
                                   Value(Bytes{0xCA, 0xFE})};
  std::vector<Value> sparse(fields.size());
  sparse[0] = Value(5);
  sparse[1] = Value(false);
  sparse[3] = Value(Single{-2.5e-7f});  // written -2.5E-7
  sparse[6] = Value(Decimal{true, "5", 2});
  sparse[7] = Value(Decimal{false, "25", 1});  // 2.5: a double holds it exactly
  sparse[10] = Value("03/04/2024");
  sparse[11] = Value("");
  NativeRowTally tally;
  ScratchFolder dir;
  {
    vfp::Engine engine(vfp::testing::plainFs(), dir.path());
    engine.execute(def.create.statement);
    engine.execute(BuildNativeInsertStatement("T", def, full, locale, tally));
    engine.execute(BuildNativeInsertStatement("T", def, sparse, locale, tally));
  }
  EXPECT_EQ(tally.roundedDecimals, 1);
  EXPECT_EQ(tally.largest, (std::map<int, std::int64_t>{{0, 9}}));
  const std::pair<std::string, std::string> literals[] = {
      {NativeNumberLiteral(2583.2092f), "2583.2092"}, {NativeNumberLiteral(-8540981760.0f), "-8540982000"},
      {NativeNumberLiteral(0.000125), "0.000125"},    {NativeNumberLiteral(1.5e20), "1.5E+20"},
      {NativeNumberLiteral(-2.5e-7f), "-2.5E-7"},     {NativeNumberLiteral(100.0), "100"}};
  for (const auto& [got, want] : literals) EXPECT_EQ(got, want);
  const auto rows = readBack(dir, "t");
  ASSERT_EQ(rows.size(), 2u);
  const std::vector<Value> expected = {Value(std::int64_t{9}),
                                       Value(true),
                                       Value(Decimal{false, "9007199254740993", 0}),
                                       Value(2583.2092),
                                       Value(0.1),
                                       Value(Currency{-123456}),
                                       Value(Decimal{false, "12345", 2}),
                                       Value(1234567890123456.789012),
                                       Value(),  // compared by its parts below
                                       Value("02/29/2024 00:00:12.3456789"),
                                       Value("1,5"),
                                       Value("it's\r\nfine"),
                                       Value("{12345678-1234-1234-0102-030405060708}"),
                                       Value(Bytes{0, 1, 255}),
                                       Value(Bytes{0xCA, 0xFE})};
  for (std::size_t i = 0; i < expected.size(); ++i)
    if (i != 8) {
      EXPECT_EQ(rows[0][i], expected[i]) << fields[i].name;
    }
  ASSERT_TRUE(rows[0][8].is<DateTime>());
  const DateTimeParts seen = splitDateTime(rows[0][8].as<DateTime>().days);
  EXPECT_EQ(std::vector<int>({seen.year, seen.month, seen.day, seen.hour, seen.minute, seen.second}),
            std::vector<int>({2024, 2, 29, 13, 45, 30}));
  EXPECT_EQ(rows[1][0], Value(std::int64_t{5}));
  EXPECT_EQ(rows[1][1], Value(false));
  EXPECT_EQ(rows[1][3], Value(-2.5e-7));
  EXPECT_EQ(rows[1][6], Value(Decimal{true, "5", 2}));
  EXPECT_EQ(rows[1][7], Value(2.5));
  EXPECT_EQ(rows[1][10], Value("03/04/2024"));  // text stays text
  EXPECT_EQ(rows[1][11], Value(""));
  for (std::size_t i : {2, 4, 5, 8, 9, 12, 13, 14}) EXPECT_TRUE(rows[1][i].isNull()) << fields[i].name;
  // A value its column cannot take is refused before it reaches the target, naming the column.
  std::vector<Value> wrong = sparse;
  wrong[1] = Value("yes");
  EXPECT_EQ(vfp::testing::failureOf([&] { BuildNativeInsertStatement("T", def, wrong, locale, tally); }),
            "Data type mismatch: a text value cannot go into a L column. (table \"T\", column \"Flag\")");
}

TEST(NativeRow, TextIsCutToTheBytesOfItsColumnInADoubleByteCodePage) {
  const CodePage& gbk = *CodePage::byNumber(936);
  const NativeTableDefinition def =
      BuildNativeTableDefinition("T", {field("Name", ado::kVarWChar, 2)}, false, {}, gbk);
  ASSERT_EQ(def.create.statement, "CREATE TABLE \"T\"([Name] C(4) NULL);");
  NativeRowTally tally;
  ScratchFolder dir;
  {
    vfp::Engine engine(vfp::testing::plainFs(), dir.path(), gbk);
    engine.execute(def.create.statement);
    for (const char* text : {"\xE4\xB8\xAD\xE6\x96\x87", "\xE4\xB8\xAD\xE6\x96\x87\xE5\xAD\x97", "ab\xE4\xB8\xAD"})
      engine.execute(BuildNativeInsertStatement("T", def, {Value(text)}, Locale("en_US"), tally, {}, gbk));
  }
  EXPECT_EQ(tally.cutTexts, 1);
  EXPECT_EQ(tally.notices("T"),
            std::vector<std::string>{"Table T: 1 text was cut to the bytes of their character column."});
  const auto rows = readBack(dir, "t");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0][0], Value("\xE4\xB8\xAD\xE6\x96\x87"));
  EXPECT_EQ(rows[1][0], Value("\xE4\xB8\xAD\xE6\x96\x87"));  // the third character cut off
  EXPECT_EQ(rows[2][0], Value("ab\xE4\xB8\xAD"));
}

}  // namespace
}  // namespace tw
