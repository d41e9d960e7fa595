#include "platform/jet/field_facts.h"

#include <algorithm>

#include "platform/ado_types.h"
#include "platform/case_rules.h"
#include "platform/jet/properties.h"

namespace tw::jet {

using tw::data::FieldInfo;

namespace {

// ADO's type of `c`, with the precision ADO reports for numbers.
void setType(const ColumnDef& c, bool attachment, FieldInfo& f) {
  auto number = [&](std::int16_t type, int precision) {
    f.type = type;
    f.precision = precision;
  };
  switch (c.type) {
    case kTypeBool: f.type = ado::kBoolean; break;
    case kTypeByte: number(ado::kUnsignedTinyInt, 3); break;
    case kTypeInt: number(ado::kSmallInt, 5); break;
    case kTypeLong: number(ado::kInteger, 10); break;
    case kTypeMoney: number(ado::kCurrency, 19); break;
    case kTypeFloat: number(ado::kSingle, 7); break;
    case kTypeDouble: number(ado::kDouble, 15); break;
    case kTypeDateTime: f.type = ado::kDate; break;
    case kTypeBinary: f.type = ado::kVarBinary; break;
    case kTypeText: f.type = ado::kVarWChar; break;
    case kTypeOle: f.type = ado::kLongVarBinary; break;
    case kTypeMemo: f.type = ado::kLongVarWChar; break;
    case kTypeGuid: f.type = ado::kGuid; break;
    case kTypeNumeric:
      // A calculated decimal declares neither: see fitCalculatedDecimals.
      number(ado::kNumeric, c.calculated() ? 28 : c.precision);
      f.scale = c.calculated() ? 0 : c.scale;
      break;
    case kTypeComplex: f.type = attachment ? ado::kLongVarBinary : ado::kLongVarWChar; break;
    case kTypeBigInt: number(ado::kBigInt, 19); break;
    case kTypeDateTimeExt: f.type = ado::kDBTimeStamp; break;
    default: f.type = ado::kVarBinary; break;  // unknown types: the stored bytes
  }
}

const Value* property(const ColumnDef& c, std::string_view name) {
  for (const auto& [n, v] : c.properties)
    if (equalsIgnoringAsciiCase(n, name)) return &v;
  return nullptr;
}

// The declared size: characters of a text (Jet 4 and later store the length in bytes, a
// calculated text's including the wrapper), bytes of a binary.
std::int64_t definedSize(const ColumnDef& c, const Format& format) {
  if (c.type == kTypeBinary) return c.length;
  if (c.type != kTypeText) return 0;
  if (format.jet3()) return c.length;
  std::size_t bytes = c.length;
  if (c.calculated()) bytes = bytes > kCalculatedOverhead ? bytes - kCalculatedOverhead : 0;
  return static_cast<std::int64_t>(bytes / 2);
}

int attributes(const ColumnDef& c) {
  const bool complex = c.type == kTypeComplex;
  const bool autoNumber = !complex && (c.flags & (kFlagAutoLong | kFlagAutoGuid)) != 0;
  const Value* required = property(c, "Required");
  const bool isRequired = required && required->is<bool>() && required->as<bool>();
  int a = 0;
  if (!autoNumber && !isRequired) a |= tw::data::kFldIsNullable;
  const bool longType = complex || c.type == kTypeMemo || c.type == kTypeOle;
  if (longType) a |= tw::data::kFldLong;
  else if (fixedSizeOf(c.type) > 0 || c.type == kTypeBool || (!c.calculated() && c.fixed())) a |= tw::data::kFldFixed;
  return a;
}

void setProperties(const ColumnDef& c, bool attachment, FieldInfo& f) {
  f.properties["ISAUTOINCREMENT"] = Value(c.type == kTypeLong && (c.flags & kFlagAutoLong) != 0);
  f.properties["Jet OLEDB:Hyperlink"] = Value(c.hyperlink());
  if (c.type == kTypeComplex)
    f.properties["Jet OLEDB:Complex Type"] = Value(attachment ? "Attachment" : "MultiValue");
  static const char* const kTexts[] = {"Description", "Caption", "DefaultValue", "ValidationRule", "ValidationText"};
  for (const char* name : kTexts)
    if (const Value* v = property(c, name); v && v->is<std::string>()) f.properties[name] = *v;
  if (c.calculated())
    if (const Value* v = property(c, "Expression"); v && v->is<std::string>()) f.properties["Expression"] = *v;
}

// The result types a calculated column can have.
bool calculableType(std::int64_t type) {
  switch (type) {
    case kTypeBool:
    case kTypeByte:
    case kTypeInt:
    case kTypeLong:
    case kTypeMoney:
    case kTypeFloat:
    case kTypeDouble:
    case kTypeDateTime:
    case kTypeText:
    case kTypeMemo:
    case kTypeGuid:
    case kTypeNumeric: return true;
    default: return false;
  }
}

}  // namespace

FieldInfo fieldInfoFor(const ColumnDef& c, bool attachment, const Format& format) {
  FieldInfo f;
  f.name = c.name;
  setType(c, attachment, f);
  f.definedSize = definedSize(c, format);
  f.attributes = attributes(c);
  setProperties(c, attachment, f);
  return f;
}

void Database::applyProperties(TableDef& t) {
  const CatalogEntry* entry = nullptr;
  for (const CatalogEntry& e : catalog_)
    if (e.type == kObjectTable && e.tdefPage() == t.tdefPage) entry = &e;
  if (!entry || entry->properties.empty()) return;
  const std::string damage = "The database '" + path_ + "' is damaged: the properties of table '" + t.name + "' ";
  TableProperties props;
  try {
    props = parseTableProperties(entry->properties, format_.jet3(), codePage_);
  } catch (const tw::data::Failure& f) {
    // The values stay readable; those whose type the properties give are not.
    t.propertiesError = damage + "cannot be read " + f.description() + ".";
    for (ColumnDef& c : t.columns) c.resultTypeLost = c.calculated();
    return;
  }
  for (ColumnDef& c : t.columns) {
    const PropertyMap* m = props.column(c.name);
    if (m) c.properties = m->values;
    if (!c.calculated()) continue;
    // The result type lives in the properties; the type in the definition may be another.
    const Value* result = m ? m->find("ResultType") : nullptr;
    if (!result) continue;
    const std::int64_t* type = result->get<std::int64_t>();
    if (type && calculableType(*type)) {
      c.type = static_cast<std::uint8_t>(*type);
    } else {
      c.resultTypeLost = true;
      if (t.propertiesError.empty())
        t.propertiesError = damage + "give column '" + c.name + "' a result type that does not exist.";
    }
  }
}

void fitCalculatedDecimals(Database& db, const std::shared_ptr<const TableDef>& table,
                           std::vector<FieldInfo>& fields) {
  std::vector<std::size_t> columns;
  for (std::size_t i = 0; i < table->columns.size(); ++i) {
    const ColumnDef& c = table->columns[i];
    if (c.calculated() && c.type == kTypeNumeric && !c.resultTypeLost) columns.push_back(i);
  }
  if (columns.empty()) return;
  std::vector<int> whole(columns.size(), -1), fraction(columns.size(), 0);
  TableCursor cursor(db, table);
  std::vector<Value> row;
  for (;;) {
    bool more = false;
    try {
      more = cursor.next(row);
    } catch (const tw::data::Failure&) {
      continue;  // every call moves on by a row or a page
    }
    if (!more) break;
    for (std::size_t k = 0; k < columns.size(); ++k) {
      const Decimal* d = row[columns[k]].get<Decimal>();
      if (!d) continue;
      const int digits = d->digits == "0" ? 0 : static_cast<int>(d->digits.size());
      whole[k] = std::max(whole[k], std::max(0, digits - d->scale));
      fraction[k] = std::max(fraction[k], d->scale);
    }
  }
  for (std::size_t k = 0; k < columns.size(); ++k) {
    FieldInfo& f = fields[columns[k]];
    if (whole[k] < 0) continue;  // no values: 28 and 0
    f.precision = std::clamp(whole[k] + fraction[k], 1, 28);
    f.scale = std::clamp(f.precision - whole[k], 0, fraction[k]);
  }
}

}  // namespace tw::jet
