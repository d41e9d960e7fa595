// Row statements: one INSERT INTO per source row, with the program's value formatting
// (NULL, bare numbers, 0/1 for yes/no, month-first date texts, quoted text with its quotes
// doubled, text cut to the 254 characters a C column holds, memo text whole).
//
// A character that a FoxPro string literal cannot carry (a line break or any other control
// character) is written as CHR(n) joined with "+" to the quoted pieces around it, so that
// 'noon.' CR LF 'Gate code' becomes 'noon.'+CHR(13)+CHR(10)+'Gate code' and the statement
// stays on one line.
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
// its first `maxChars` characters.
std::string RenderFieldValue(const Value& value, const Locale& locale, std::size_t maxChars = kMaxValueChars);

// Appends the item of one field to the statement text built so far, with its ", "
// separator. `numeric` says the field is in the table's numeric field list;
// `tableHasNumeric` that the list is not empty.
void FormatFieldValue(std::string& statement, std::string_view rendered, bool numeric, bool tableHasNumeric,
                      const Locale& locale);

// Appends `text` as a FoxPro text expression, the way the row statements write text: in
// quotes with its quotes doubled, control characters as CHR(n) joined with "+"; '' when
// it is empty.
void AppendTextLiteral(std::string& statement, std::string_view text);

// The bytes of the longest prefix of the UTF-8 `text` that takes at most `limit` bytes in
// the code page.
std::size_t PrefixFittingBytes(std::string_view text, std::size_t limit, const CodePage& codePage);

// What a row statement could not carry as the source holds it, counted across rows.
struct ValueLosses {
  std::int64_t cut = 0;      // texts longer than a C column holds, cut to its size
  std::int64_t inexact = 0;  // decimals whose digits a DOUBLE column cannot hold exactly
};

// True when the nearest double to the decimal keeps all of its significant digits.
bool DoubleHoldsDecimal(const Decimal& value);

// INSERT INTO [name] VALUES (...); for one row. `fields` and `values` are the row's fields
// in record-set order; `onField` is called before each field that is not skipped (the run
// yields there) and may be empty. Memo fields (adLongVarWChar, adLongVarChar) keep their
// whole text; other text is cut to 254 characters and, where `codePage` writes some
// characters in two bytes, to the 254 bytes a C column holds. Date/Time Extended values
// (adDBTimeStamp) are written as "mm/dd/yyyy hh:nn:ss.fffffff". Each cut text, and each
// decimal that goes to a DOUBLE column (DecimalGoesToDouble) and loses digits there, is
// counted in `losses` when given.
std::string BuildInsertStatement(std::string_view tableName, const std::vector<data::FieldInfo>& fields,
                                 const std::vector<Value>& values, const NumericFieldList& numericFields,
                                 const Locale& locale, const std::function<void()>& onField = {},
                                 const CodePage& codePage = CodePage::western(), ValueLosses* losses = nullptr);

}  // namespace tw
