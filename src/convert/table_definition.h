// Table-definition statements: the FoxPro column name of each Access field, the mapping of
// ADO data types to FoxPro column types, and the DROP TABLE and CREATE TABLE texts.
//
// Pure text work: field descriptors in, statement text and by-products out. The by-products
// are one `FieldConversionRow` per field (the Datatypes Conversion list) and the table's
// `NumericFieldList` (the fields whose values the row statements write unquoted).
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/code_page.h"
#include "platform/data_access.h"

namespace tw {

// One row of the Datatypes Conversion list.
struct FieldConversionRow {
  std::string table;       // "MS Access Table"
  std::string field;       // "MS Access Table Field": the source name, unchanged
  std::string accessType;  // "MS Access Field Datatype": the rule's keyword; empty if skipped
  std::string foxproType;  // "New FoxPro Datatype": "TEXT", "NUMERIC", "INTEGER"; empty if skipped
  friend bool operator==(const FieldConversionRow&, const FieldConversionRow&) = default;
};

// The captions of the four columns, in order.
inline constexpr const char* kConversionCaptions[4] = {"MS Access Table", "MS Access Table Field",
                                                       "MS Access Field Datatype", "New FoxPro Datatype"};

// Ascending indexes of the fields whose values are written unquoted.
using NumericFieldList = std::vector<int>;

// One rule of the type mapping, as it applies to a field.
struct FieldTypeRule {
  int number = 13;       // 1 to 13, in the order the rules are tried
  bool skipped = false;  // rule 1: the field gets no column
  std::string suffix;    // text after the column name, from "]" to ","
  std::string keyword;
  std::string category;
  bool numeric = false;
};

// The widest N column FoxPro declares.
inline constexpr int kMaxNumericWidth = 20;

// The rule for a lower-cased ADO type name (AdoTypeNameLower). Memo text (any "longvar"
// type but binary) is tried before "varwchar" and gets a MEMO column. A Large Number
// (bigint) gets N(20,0). Rules 4 and 9 declare N(w,d) from the field's precision and scale:
// w = p + 2, d = min(s, p); a precision of 0 (none reported) counts as 18, 0. A precision
// that N(20) cannot hold (p + 2 > 20) gets a DOUBLE column instead.
FieldTypeRule MapFieldType(std::string_view lowerTypeName, int precision = 0, int scale = 0);

// True when MapFieldType gives a decimal or numeric field of this precision a DOUBLE column,
// whose values may keep fewer digits than Access holds.
bool DecimalGoesToDouble(std::string_view lowerTypeName, int precision);

// Derives the column name of a field and appends "," + the name to `usedNames`: blanks
// removed; every character but a letter the code page holds, a digit 0-9 or "_" becomes
// "_"; "_" in front of a leading digit; the first 8 characters; made unique against the
// used-name text without regard to case. A name never takes more than the 10 bytes a
// FoxPro field name holds in the code page (East Asian letters take two). For a table in
// a database container, `containerCodePage` is the code page the container keeps its
// names in: a letter it lacks becomes "_" as well.
std::string MakeFoxProFieldName(std::string_view fieldName, std::string& usedNames,
                                const CodePage& codePage = CodePage::western(),
                                const CodePage* containerCodePage = nullptr);

// How long a column name may be: characters, and bytes in the code page.
struct ColumnNameLimits {
  std::size_t chars = 8;
  std::size_t bytes = 10;
  // False: a name counts as taken when it is part of any name before it ("ID" after
  // "OrderID"), as the classic names have it; true: only when it equals one.
  bool wholeNames = false;
};

// MakeFoxProFieldName with other limits: the first `limits.chars` characters (at most
// `limits.bytes` bytes); on a collision the name keeps one character less, and the bytes
// its number leaves, before the number. MakeFoxProFieldName is this with 8 and 10.
std::string MakeColumnName(std::string_view fieldName, std::string& usedNames, ColumnNameLimits limits,
                           const CodePage& codePage = CodePage::western(),
                           const CodePage* containerCodePage = nullptr);

// The names the tables of a run are written under, in the order given: a character a file
// name cannot hold (\ / : * ? " < > |, a control character, a dot or blank at the end)
// becomes "_", and a device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9) gets "_" in front. A
// changed name that then meets another name of the run, without regard to case, gets the
// first number that sets it apart. Names that need no change stay as they are.
std::vector<std::string> FoxProTableNames(const std::vector<std::string>& accessNames);

// The name a database container keeps for a table the run writes under `written`: its
// Access name when only a device name kept that from being a file name (the container then
// knows CON by that name, in the file _con.dbf), else `written`.
std::string ContainerTableName(std::string_view accessName, std::string_view written);

// A CREATE TABLE statement for the table `longName` (as built for that name) that puts it
// in the file `file`: CREATE TABLE "file" NAME "longName"(...
void NameTableFile(std::string& createStatement, std::string_view longName, std::string_view file);

// The notice for a table written under another name than its own.
std::string RenamedTableNotice(std::string_view accessName, std::string_view written);

// DROP TABLE "name"
std::string DropTableStatement(std::string_view tableName);

struct CreateTableDefinition {
  std::string statement;  // CREATE TABLE "name"([col] TYPE,...);
  std::vector<FieldConversionRow> rows;
  NumericFieldList numericFields;
  // False when every field was skipped (only binary fields): the statement text then has no
  // column and no target accepts it, so the run leaves such a table out.
  bool hasColumns = false;
};

// Builds the CREATE TABLE statement of a table whose columns will be named in `codePage`
// (and in `containerCodePage` too, see MakeFoxProFieldName). `onField` is called once per
// field, after its conversion row has been started (the run yields there); it may be empty.
CreateTableDefinition BuildCreateTableStatement(std::string_view tableName,
                                                const std::vector<data::FieldInfo>& fields,
                                                const std::function<void()>& onField = {},
                                                const CodePage& codePage = CodePage::western(),
                                                const CodePage* containerCodePage = nullptr);

}  // namespace tw
