// Native row statements executed by the FoxPro engine (in code page 936, where a character
// may take two bytes) and read back by its table reader: every value arrives with its type
// and its digits, and a null as a null.
#include "convert/native_row.h"

#include <gtest/gtest.h>

#include "../platform/vfp/vfp_test_support.h"
#include "platform/ado_types.h"
#include "platform/calendar.h"
#include "platform/vfp/table_reader.h"

namespace tw {
namespace {

// One column: the field, the value written, the value read back.
struct LiteralCase {
  std::int16_t type;
  std::int64_t size;
  int precision, scale;
  Value written, read;
};

TEST(NativeRow, ValuesReachTheEngineWithTheirTypesAndDigits) {
  const DateTime seen{oleDate(2024, 2, 29, 13, 45, 30)};
  const Guid guid{{0x78, 0x56, 0x34, 0x12, 0x34, 0x12, 0x34, 0x12, 1, 2, 3, 4, 5, 6, 7, 8}};
  const std::string zhong = "\xE4\xB8\xAD", wen = "\xE6\x96\x87", zi = "\xE5\xAD\x97";
  const LiteralCase cases[] = {
      {ado::kInteger, 0, 10, 0, Value(9), Value(std::int64_t{9})},
      {ado::kBoolean, 0, 0, 0, Value(true), Value(true)},
      {ado::kBoolean, 0, 0, 0, Value(false), Value(false)},
      {ado::kBigInt, 0, 19, 0, Value(std::int64_t{9007199254740993}), Value(Decimal{false, "9007199254740993", 0})},
      {ado::kSingle, 0, 7, 0, Value(Single{2583.2092f}), Value(2583.2092)},
      {ado::kSingle, 0, 7, 0, Value(Single{-2.5e-7f}), Value(-2.5e-7)},
      {ado::kDouble, 0, 15, 0, Value(0.1), Value(0.1)},
      {ado::kCurrency, 0, 19, 0, Value(Currency{-123456}), Value(Currency{-123456})},
      {ado::kNumeric, 0, 10, 2, Value(Decimal{true, "5", 2}), Value(Decimal{true, "5", 2})},
      {ado::kNumeric, 0, 28, 6, Value(Decimal{false, "1234567890123456789012", 6}), Value(1234567890123456.789012)},
      {ado::kNumeric, 0, 28, 6, Value(Decimal{false, "25", 1}), Value(2.5)},
      {ado::kDate, 0, 0, 0, Value(seen), Value(seen)},
      {ado::kDBTimeStamp, 0, 0, 0, Value(ExtendedDateTime{extendedDayFromCivil(2024, 2, 29), 123456789}),
       Value("02/29/2024 00:00:12.3456789")},
      {ado::kVarWChar, 10, 0, 0, Value("1,5"), Value("1,5")},                  // text stays text
      {ado::kVarWChar, 10, 0, 0, Value("03/04/2024"), Value("03/04/2024")},    // and so does a date's
      {ado::kVarWChar, 2, 0, 0, Value(zhong + wen + zi), Value(zhong + wen)},  // C(4): cut, counted
      {ado::kLongVarWChar, 0, 0, 0, Value("it's\r\nfine"), Value("it's\r\nfine")},
      {ado::kLongVarWChar, 0, 0, 0, Value(""), Value("")},
      {ado::kGuid, 0, 0, 0, Value(guid), Value("{12345678-1234-1234-0102-030405060708}")},
      {ado::kVarBinary, 4, 0, 0, Value(Bytes{0, 1, 255}), Value(Bytes{0, 1, 255})},
      {ado::kLongVarBinary, 0, 0, 0, Value(Bytes{0xCA, 0xFE}), Value(Bytes{0xCA, 0xFE})},
  };
  std::vector<data::FieldInfo> fields;
  std::vector<Value> values, nulls;
  for (const LiteralCase& c : cases) {
    fields.push_back({"F" + std::to_string(fields.size()),
                      c.type,
                      c.precision,
                      c.scale,
                      c.size,
                      fields.empty() ? 0 : data::kFldIsNullable,
                      {}});
    values.push_back(c.written);
    nulls.push_back(fields.size() == 1 ? Value(5) : Value());
  }
  fields[0].properties["ISAUTOINCREMENT"] = Value(true);
  const CodePage& gbk = *CodePage::byNumber(936);
  const NativeTableDefinition def = BuildNativeTableDefinition("T", fields, false, {}, gbk);
  const Locale locale("en_US");
  AutoNumberMaxima largest;
  ValueLosses losses;
  vfp::testing::ScratchFolder dir;
  {
    vfp::Engine engine(vfp::testing::plainFs(), dir.path(), gbk);
    engine.execute(def.create.statement);
    engine.execute(BuildNativeInsertStatement("T", def, values, locale, largest, {}, gbk, &losses));
    engine.execute(BuildNativeInsertStatement("T", def, nulls, locale, largest, {}, gbk, &losses));
  }
  EXPECT_EQ(losses.inexact, 1);
  EXPECT_EQ(losses.cut, 1);
  EXPECT_EQ(largest, (AutoNumberMaxima{{0, 9}}));
  vfp::TableReader reader(*vfp::testing::plainFs(), dir.file("t.dbf"), dir.file("t.fpt"));
  std::vector<Value> row;
  ASSERT_TRUE(reader.next(row));
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(def.create.rows[i].accessType + " as " + def.create.rows[i].foxproType);
    if (const DateTime* d = cases[i].read.get<DateTime>()) {  // compared to the second
      ASSERT_TRUE(row[i].is<DateTime>());
      EXPECT_NEAR(row[i].as<DateTime>().days, d->days, 0.5 / 86400);
    } else {
      EXPECT_EQ(row[i], cases[i].read);
    }
  }
  ASSERT_TRUE(reader.next(row));
  EXPECT_EQ(row[0], Value(std::int64_t{5}));
  for (std::size_t i = 1; i < std::size(cases); ++i) EXPECT_TRUE(row[i].isNull()) << def.create.rows[i].foxproType;
  // A value its column cannot take is refused before it reaches the target, naming the column.
  nulls[1] = Value("yes");
  EXPECT_EQ(vfp::testing::failureOf([&] { BuildNativeInsertStatement("T", def, nulls, locale, largest); }),
            "Data type mismatch: a text value cannot go into a L column. (table \"T\", column \"F1\")");
  // The two forms the round trip above does not take: digits padded with zeros, E notation.
  EXPECT_EQ(NativeNumberLiteral(-8540981760.0f), "-8540982000");
  EXPECT_EQ(NativeNumberLiteral(1.5e20), "1.5E+20");
}

}  // namespace
}  // namespace tw
