// Native tables: each Access field becomes the FoxPro column that holds its values as they
// are (Yes/No a logical, a date a datetime, Short Text(n) a character column of n
// characters), accepts nulls unless Access requires a value, and keeps more of its name.
//
// The mapping, by the field's ADO type and facts (data::FieldInfo):
//   Yes/No -> L; Byte, Integer, Long Integer -> I; AutoNumber -> I AUTOINC;
//   Large Number -> N(20,0); Single, Double -> B; Currency -> Y;
//   Decimal(p,s) -> N(p+2,s) when p + 2 <= 20, else B;
//   Date/Time -> T; Date/Time Extended -> C(27) (a T keeps no fractions of a second);
//   Short Text(n) -> C(w) with w = n times the bytes a character takes in the code page,
//   M when w > 254 or n is unknown; Long Text, Hyperlink, multiple values -> M;
//   Replication ID -> C(38); Binary(n) -> Q(n), W when n > 254 or unknown;
//   OLE Object -> W; Attachment -> M (its content as hexadecimal digits).
// A calculated field reports its result type and maps as that type. Types that Access
// files do not hold but other sources may report map to the nearest of these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "convert/table_definition.h"
#include "platform/code_page.h"
#include "platform/data_access.h"

namespace tw {

// How the row statements write a column's values.
enum class NativeKind {
  Logical,       // .T. / .F.
  Integer,       // I: whole numbers
  Number,        // N(w,d) and Y: the exact digits
  Double,        // B: a floating-point number
  DateTime,      // T: {^yyyy-mm-dd hh:mm:ss}
  ExtendedDate,  // C(27): mm/dd/yyyy hh:nn:ss.fffffff
  Text,          // C(w): text cut to w bytes
  Memo,          // M: text whole
  Bytes,         // Q(n), W: 0h followed by hex digits
};

// What the mapping makes of one field.
struct NativeFieldType {
  std::string accessType;  // "Short Text(50)", "Currency", "AutoNumber", ...
  std::string foxproType;  // "C(50)", "Y", "I AUTOINC", ...
  NativeKind kind = NativeKind::Memo;
  std::size_t width = 0;         // a C column's bytes
  bool decimalInDouble = false;  // a Decimal too wide for N: its values may lose digits
  bool autoIncrement = false;
  bool nullable = true;
};

// The native column of `field` in a table written in `codePage`.
NativeFieldType MapNativeFieldType(const data::FieldInfo& field, const CodePage& codePage);

// The longest native column name: 10 characters in a free table, 128 in a container.
ColumnNameLimits NativeNameLimits(bool container);

struct NativeTableDefinition {
  // The CREATE TABLE statement, the Datatypes rows (the Access type and the FoxPro
  // column); no field is left out and no field is in the numeric list.
  CreateTableDefinition create;
  std::vector<std::string> columns;  // each field's column name
  std::vector<NativeFieldType> types;
  std::vector<int> autoIncrementFields;  // the indexes of the AutoNumber fields
  // In a database container: the DBSETPROP statements of the captions and descriptions,
  // and the properties FoxPro has no rule for (field_properties.h).
  std::vector<std::string> propertyStatements;
  std::vector<std::string> leftOutProperties;
};

// The native counterpart of BuildCreateTableStatement: CREATE TABLE "name"([col] TYPE NULL,
// ...); with names for a container (`container`) or a folder of free tables.
NativeTableDefinition BuildNativeTableDefinition(std::string_view tableName,
                                                 const std::vector<data::FieldInfo>& fields, bool container,
                                                 const std::function<void()>& onField = {},
                                                 const CodePage& codePage = CodePage::western(),
                                                 const CodePage* containerCodePage = nullptr);

// ALTER TABLE "t" ALTER COLUMN col I AUTOINC NEXTVALUE n STEP 1: the numbering goes on at
// `nextValue` after the rows that kept their Access numbers.
std::string AutoIncrementStatement(std::string_view tableName, std::string_view column, std::int64_t nextValue);

}  // namespace tw
