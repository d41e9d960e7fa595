// Row statements of native tables: INSERT INTO [name] VALUES (...); with every value written
// by its type, never by how its text looks: .T./.F. for Yes/No, {^yyyy-mm-dd hh:mm:ss} for
// dates, numbers bare with the digits they have (a Single in the shortest form that reads
// back as the same Single: 2583.2092), 0h and hexadecimal digits for bytes, NULL for null,
// text quoted as the classic row statements quote it (CHR(n) for control characters), and
// a text that looks like a number or a date stays that text.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "convert/native_definition.h"
#include "convert/row_statement.h"
#include "platform/code_page.h"
#include "platform/locale.h"
#include "platform/value.h"

namespace tw {

// The largest number each AutoNumber field has held so far, by field index: the run
// continues the numbering after it.
using AutoNumberMaxima = std::map<int, std::int64_t>;

// The notice for texts cut to the bytes of their C column (possible only where the code
// page writes a character in two bytes).
std::string NativeCutValuesNotice(const std::string& table, std::int64_t values);

// The literal of a number for the target: the fewest significant digits that read back
// as the same double (or Single), as plain digits (2583.2092, -8540982000) or, for
// exponents below -5 or above 16, with "E" (1.5E+20); empty for infinities and NaN.
std::string NativeNumberLiteral(double value);
std::string NativeNumberLiteral(float value);

// The INSERT statement of one row. `values` are the row's values in field order;
// `onField` is called before each (the run yields there) and may be empty. A value that a
// column cannot take (text into a logical column, say) throws data::Failure naming the
// column. `locale` renders values that a Memo column holds as text (the hexadecimal
// digits of an attachment) and the C(27) text of a Date/Time Extended value. Texts cut to
// their column and decimals that a B column rounds are counted in `losses` when given.
std::string BuildNativeInsertStatement(std::string_view tableName, const NativeTableDefinition& def,
                                       const std::vector<Value>& values, const Locale& locale,
                                       AutoNumberMaxima& largest, const std::function<void()>& onField = {},
                                       const CodePage& codePage = CodePage::western(), ValueLosses* losses = nullptr);

}  // namespace tw
