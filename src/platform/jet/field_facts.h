// What the Access provider tells about each field besides its values, as ADO's Field object
// does: type, precision and scale, DefinedSize, Attributes and the properties agreed for
// the data-access layer (ISAUTOINCREMENT, "Jet OLEDB:Hyperlink", "Jet OLEDB:Complex Type",
// Expression, Description, Caption, DefaultValue, ValidationRule, ValidationText).
#pragma once

#include <memory>
#include <vector>

#include "platform/data_access.h"
#include "platform/jet/reader.h"

namespace tw::jet {

// The calculated-value wrapper's share of a calculated text column's stored length.
inline constexpr std::size_t kCalculatedOverhead = 23;

// The facts of column `c` of a table of `format`; `attachment` says whether a complex
// column holds attachments (reported as bytes) or multiple values (text).
//   - DefinedSize: a Short Text's declared characters, a Binary's declared bytes, else 0;
//   - Attributes: adFldIsNullable unless the field is Required or an AutoNumber,
//     adFldFixed for fixed-length types, adFldLong for Memo, Hyperlink, OLE Object and
//     complex columns;
//   - a calculated column reports its result type, and its Expression.
tw::data::FieldInfo fieldInfoFor(const ColumnDef& c, bool attachment, const Format& format);

// A calculated Decimal declares no precision or scale: each value carries its own scale.
// Sets the precision and scale of such fields to the least that holds every stored value
// (at most 28 digits; fraction digits give way when whole and fraction digits together
// need more), from one pass over the table; 28 and 0 for a column without values. Rows
// that cannot be read are left to the read proper, which reports them.
void fitCalculatedDecimals(Database& db, const std::shared_ptr<const TableDef>& table,
                           std::vector<tw::data::FieldInfo>& fields);

}  // namespace tw::jet
