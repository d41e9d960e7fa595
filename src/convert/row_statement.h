// Row statements: one INSERT INTO per source row, with the program's value formatting
// (NULL, bare numbers, 0/1 for yes/no, month-first date texts, quoted text with its quotes
// doubled and its line breaks removed, everything cut to 254 characters).
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "convert/table_definition.h"
#include "platform/data_access.h"
#include "platform/locale.h"
#include "platform/value.h"

namespace tw {

// The longest rendered value a row statement carries, in characters.
inline constexpr std::size_t kMaxValueChars = 254;

// The text a value starts from: its display text in the locale (empty for null), cut to
// its first 254 characters.
std::string RenderFieldValue(const Value& value, const Locale& locale);

// Appends the item of one field to the statement text built so far, with its ", "
// separator. `numeric` says the field is in the table's numeric field list;
// `tableHasNumeric` that the list is not empty.
void FormatFieldValue(std::string& statement, std::string_view rendered, bool numeric,
                      bool tableHasNumeric, const Locale& locale);

// INSERT INTO [name] VALUES (...); for one row. `fields` and `values` are the row's fields
// in record-set order; `onField` is called before each field that is not skipped (the run
// yields there) and may be empty.
std::string BuildInsertStatement(std::string_view tableName,
                                 const std::vector<data::FieldInfo>& fields,
                                 const std::vector<Value>& values,
                                 const NumericFieldList& numericFields, const Locale& locale,
                                 const std::function<void()>& onField = {});

}  // namespace tw
