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
#include "platform/code_page.h"
#include "platform/locale.h"
#include "platform/value.h"

namespace tw {

// What the rows of one table had to change, and the largest number each AutoNumber field
// holds: the run tells the first and continues the numbering after the second.
struct NativeRowTally {
  std::int64_t roundedDecimals = 0;     // Decimal values a B column holds only rounded
  std::int64_t cutTexts = 0;            // texts cut to the bytes of their C column
  std::map<int, std::int64_t> largest;  // field index -> its largest AutoNumber so far

  // The notices of a table, one text per kind of change; none when nothing changed.
  std::vector<std::string> notices(const std::string& table) const;
};

// The literal of a number for the target: the fewest significant digits that read back
// as the same double (or Single), as plain digits (2583.2092, -8540982000) or, for
// exponents below -5 or above 16, with "E" (1.5E+20); empty for infinities and NaN.
std::string NativeNumberLiteral(double value);
std::string NativeNumberLiteral(float value);

// True when the decimal has more digits than a double keeps: the double nearest to it does
// not read back as the same decimal.
bool DecimalLosesDigitsInDouble(const Decimal& value);

// The INSERT statement of one row. `values` are the row's values in field order;
// `onField` is called before each (the run yields there) and may be empty. A value that a
// column cannot take (text into a logical column, say) throws data::Failure naming the
// column. `locale` renders values that a Memo column holds as text (the hexadecimal
// digits of an attachment) and the C(27) text of a Date/Time Extended value.
std::string BuildNativeInsertStatement(std::string_view tableName, const NativeTableDefinition& def,
                                       const std::vector<Value>& values, const Locale& locale, NativeRowTally& tally,
                                       const std::function<void()>& onField = {},
                                       const CodePage& codePage = CodePage::western());

}  // namespace tw
