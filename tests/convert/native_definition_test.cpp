#include "convert/native_definition.h"

#include <gtest/gtest.h>

#include "platform/ado_types.h"

namespace tw {
namespace {

using data::FieldInfo;
constexpr int kNullable = data::kFldIsNullable;

FieldInfo field(std::int16_t type, std::int64_t size = 0, int attributes = kNullable,
                std::map<std::string, Value> properties = {}, int precision = 0, int scale = 0) {
  return FieldInfo{"F", type, precision, scale, size, attributes, std::move(properties)};
}

struct MappingCase {
  FieldInfo field;
  int codePage;
  const char* accessType;
  const char* foxproType;
  bool nullable;
};

TEST(NativeDefinition, EveryAccessFieldTakesTheColumnOfItsType) {
  const std::map<std::string, Value> autoNumber{{"ISAUTOINCREMENT", Value(true)}};
  const MappingCase cases[] = {
      {field(ado::kBoolean), 1252, "Yes/No", "L", true},
      {field(ado::kUnsignedTinyInt), 1252, "Byte", "I", true},
      {field(ado::kSmallInt), 1252, "Integer", "I", true},
      {field(ado::kInteger), 1252, "Long Integer", "I", true},
      {field(ado::kInteger, 0, 0, autoNumber), 1252, "AutoNumber", "I AUTOINC", false},
      {field(ado::kBigInt), 1252, "Large Number", "N(20,0)", true},
      {field(ado::kSingle), 1252, "Single", "B", true},
      {field(ado::kDouble, 0, kNullable, {{"Expression", Value("[A]*2")}}), 1252, "Double (calculated)", "B", true},
      {field(ado::kCurrency, 0, 0), 1252, "Currency", "Y", false},
      {field(ado::kNumeric, 0, kNullable, {}, 18, 4), 1252, "Decimal(18,4)", "N(20,4)", true},
      {field(ado::kNumeric, 0, kNullable, {}, 19, 2), 1252, "Decimal(19,2)", "B", true},
      {field(ado::kDate), 1252, "Date/Time", "T", true},
      {field(ado::kDBTimeStamp), 1252, "Date/Time Extended", "C(27)", true},
      {field(ado::kVarWChar, 50, 0), 1252, "Short Text(50)", "C(50)", false},
      {field(ado::kVarWChar, 254), 1252, "Short Text(254)", "C(254)", true},
      {field(ado::kVarWChar, 255), 1252, "Short Text(255)", "M", true},
      {field(ado::kVarWChar, 100), 936, "Short Text(100)", "C(200)", true},
      {field(ado::kVarWChar, 127), 932, "Short Text(127)", "C(254)", true},
      {field(ado::kVarWChar, 128), 936, "Short Text(128)", "M", true},
      {field(ado::kLongVarWChar), 1252, "Long Text", "M", true},
      {field(ado::kLongVarWChar, 0, kNullable, {{"Jet OLEDB:Hyperlink", Value(true)}}), 1252, "Hyperlink", "M", true},
      {field(ado::kLongVarWChar, 0, kNullable, {{"Jet OLEDB:Complex Type", Value("MultiValue")}}), 1252,
       "Multiple values", "M", true},
      {field(ado::kGuid), 1252, "Replication ID", "C(38)", true},
      {field(ado::kVarBinary, 16), 1252, "Binary(16)", "Q(16)", true},
      {field(ado::kLongVarBinary), 1252, "OLE Object", "W", true},
      {field(ado::kLongVarBinary, 0, kNullable, {{"Jet OLEDB:Complex Type", Value("Attachment")}}), 1252,
       "Attachment", "M", true},
  };
  for (const MappingCase& c : cases) {
    SCOPED_TRACE(std::string(c.accessType) + " in code page " + std::to_string(c.codePage));
    const NativeFieldType t = MapNativeFieldType(c.field, *CodePage::byNumber(c.codePage));
    EXPECT_EQ(t.accessType, c.accessType);
    EXPECT_EQ(t.foxproType, c.foxproType);
    EXPECT_EQ(t.nullable, c.nullable);
  }
}

TEST(NativeDefinition, NamesKeepTenCharactersInAFolderAndTheWholeNameInAContainer) {
  std::vector<FieldInfo> fields = {field(ado::kInteger, 0, 0, {{"ISAUTOINCREMENT", Value(true)}}),
                                   field(ado::kVarWChar, 30, 0), field(ado::kVarWChar, 30), field(ado::kDate),
                                   field(ado::kInteger)};
  // "ID" after "CustomerID" is a name of its own.
  const char* names[] = {"Customer ID", "Customer Name", "Customer Names", "1st Order", "ID"};
  for (std::size_t i = 0; i < fields.size(); ++i) fields[i].name = names[i];
  const NativeTableDefinition free = BuildNativeTableDefinition("Customers", fields, false);
  EXPECT_EQ(free.create.statement,
            "CREATE TABLE \"Customers\"([CustomerID] I AUTOINC,[CustomerNa] C(30) NOT NULL,[CustomerN1] C(30) "
            "NULL,[_1stOrder] T NULL,[ID] I NULL);");
  EXPECT_EQ(free.autoIncrementFields, std::vector<int>{0});
  const NativeTableDefinition container = BuildNativeTableDefinition("Customers", fields, true);
  EXPECT_EQ(container.columns,
            (std::vector<std::string>{"CustomerID", "CustomerName", "CustomerNames", "_1stOrder", "ID"}));
}

}  // namespace
}  // namespace tw
