// The Access field properties a database container can keep for a native column: the
// default value and the validation rule with its text (clauses of the column in CREATE
// TABLE), the caption and the description (DBSETPROP 'Caption' and 'Comment').
//
// Access expressions are translated where FoxPro has the same thing:
//   - literals: numbers, "text" or 'text', #m/d/yyyy# dates, True/False/Yes/No/On/Off;
//   - Date() and Now() as DATE() and DATETIME() (DTOT(DATE()) for a datetime column);
//   - a rule that compares the field with a literal (">0", "<=100", "<>''", "[Price]>=0"),
//     Between a And b, Is Null and Is Not Null.
// A default is written in its column's type (a text column's default is text). Whatever
// else is left out, and the table's notice names it.
#pragma once

#include <string>
#include <vector>

#include "convert/native_definition.h"
#include "platform/data_access.h"

namespace tw {

struct FieldProperties {
  std::string clauses;                  // " DEFAULT x CHECK y ERROR 'z'", or empty
  std::vector<std::string> statements;  // DBSETPROP(...) for the caption and comment
  std::vector<std::string> leftOut;     // "Price.ValidationRule (Like "A*")"
};

// What `field`, written as `column` of `table` in a container, keeps of its properties.
FieldProperties TranslateFieldProperties(const data::FieldInfo& field, const NativeFieldType& type,
                                         const std::string& table, const std::string& column);

// The notice for a table whose properties were left out.
std::string LeftOutPropertiesNotice(const std::string& table, const std::vector<std::string>& leftOut);

}  // namespace tw
