#include "convert/native_definition.h"

#include "convert/ado_type_name.h"
#include "convert/field_properties.h"
#include "platform/ado_types.h"

namespace tw {

namespace {

// The widest C and Q columns.
constexpr std::size_t kMaxColumnWidth = 254;
// N(w,d) holds at most 20 characters.
constexpr int kMaxNumericWidth = 20;

std::string sized(const char* name, std::int64_t size) {
  return std::string(name) + "(" + std::to_string(size) + ")";
}

bool flagged(const data::FieldInfo& f, const std::string& key) {
  const Value& v = f.property(key);
  return v.is<bool>() && v.as<bool>();
}

bool complexType(const data::FieldInfo& f, std::string_view kind) {
  const std::string* s = f.property("Jet OLEDB:Complex Type").get<std::string>();
  return s && *s == kind;
}

NativeFieldType column(std::string accessType, std::string foxproType, NativeKind kind, std::size_t width = 0) {
  NativeFieldType t;
  t.accessType = std::move(accessType);
  t.foxproType = std::move(foxproType);
  t.kind = kind;
  t.width = width;
  return t;
}

NativeFieldType text(const data::FieldInfo& f, const CodePage& codePage) {
  const std::string access = f.definedSize > 0 ? sized("Short Text", f.definedSize) : std::string("Short Text");
  const std::int64_t width = f.definedSize * (codePage.doubleByte() ? 2 : 1);
  if (f.definedSize <= 0 || width > static_cast<std::int64_t>(kMaxColumnWidth))
    return column(access, "M", NativeKind::Memo);
  return column(access, sized("C", width), NativeKind::Text, static_cast<std::size_t>(width));
}

NativeFieldType longText(const data::FieldInfo& f) {
  const char* name = "Long Text";
  if (flagged(f, "Jet OLEDB:Hyperlink")) name = "Hyperlink";
  else if (complexType(f, "MultiValue")) name = "Multiple values";
  return column(name, "M", NativeKind::Memo);
}

NativeFieldType decimal(const data::FieldInfo& f) {
  const std::string access = "Decimal(" + std::to_string(f.precision) + "," + std::to_string(f.scale) + ")";
  if (f.precision > 0 && f.precision + 2 <= kMaxNumericWidth && f.scale >= 0 && f.scale <= f.precision)
    return column(access, "N(" + std::to_string(f.precision + 2) + "," + std::to_string(f.scale) + ")",
                  NativeKind::Number);
  NativeFieldType t = column(access, "B", NativeKind::Double);
  t.decimalInDouble = true;
  return t;
}

NativeFieldType binary(const data::FieldInfo& f) {
  const std::string access = f.definedSize > 0 ? sized("Binary", f.definedSize) : std::string("Binary");
  if (f.definedSize <= 0 || f.definedSize > static_cast<std::int64_t>(kMaxColumnWidth))
    return column(access, "W", NativeKind::Bytes);
  return column(access, sized("Q", f.definedSize), NativeKind::Bytes);
}

NativeFieldType byType(const data::FieldInfo& f, const CodePage& codePage) {
  switch (f.type) {
    case ado::kBoolean: return column("Yes/No", "L", NativeKind::Logical);
    case ado::kUnsignedTinyInt: return column("Byte", "I", NativeKind::Integer);
    case ado::kSmallInt: return column("Integer", "I", NativeKind::Integer);
    case ado::kInteger:
      if (f.isAutoIncrement()) {
        NativeFieldType t = column("AutoNumber", "I AUTOINC", NativeKind::Integer);
        t.autoIncrement = true;
        return t;
      }
      return column("Long Integer", "I", NativeKind::Integer);
    case ado::kTinyInt:
    case ado::kUnsignedSmallInt: return column(std::string(AdoTypeName(f.type)), "I", NativeKind::Integer);
    case ado::kUnsignedInt: return column("adUnsignedInt", "N(10,0)", NativeKind::Number);
    case ado::kBigInt: return column("Large Number", "N(20,0)", NativeKind::Number);
    case ado::kUnsignedBigInt: return column("adUnsignedBigInt", "N(20,0)", NativeKind::Number);
    case ado::kSingle: return column("Single", "B", NativeKind::Double);
    case ado::kDouble: return column("Double", "B", NativeKind::Double);
    case ado::kCurrency: return column("Currency", "Y", NativeKind::Number);
    case ado::kDecimal:
    case ado::kNumeric:
    case ado::kVarNumeric: return decimal(f);
    case ado::kDate: return column("Date/Time", "T", NativeKind::DateTime);
    case ado::kDBDate:
    case ado::kDBTime: return column(std::string(AdoTypeName(f.type)), "T", NativeKind::DateTime);
    case ado::kDBTimeStamp: return column("Date/Time Extended", "C(27)", NativeKind::ExtendedDate, 27);
    case ado::kChar:
    case ado::kWChar:
    case ado::kVarChar:
    case ado::kVarWChar: return text(f, codePage);
    case ado::kLongVarChar:
    case ado::kLongVarWChar: return longText(f);
    case ado::kGuid: return column("Replication ID", "C(38)", NativeKind::Text, 38);
    case ado::kBinary:
    case ado::kVarBinary: return binary(f);
    case ado::kLongVarBinary:
      if (complexType(f, "Attachment")) return column("Attachment", "M", NativeKind::Memo);
      return column("OLE Object", "W", NativeKind::Bytes);
    default: {
      // Whatever else a source reports goes whole into a memo, as its display text.
      const std::string_view name = AdoTypeName(f.type);
      return column(name.empty() ? "type " + std::to_string(f.type) : std::string(name), "M", NativeKind::Memo);
    }
  }
}

}  // namespace

NativeFieldType MapNativeFieldType(const data::FieldInfo& field, const CodePage& codePage) {
  NativeFieldType t = byType(field, codePage);
  t.nullable = field.isNullable() && !t.autoIncrement;
  if (field.property("Expression").is<std::string>()) t.accessType += " (calculated)";
  return t;
}

ColumnNameLimits NativeNameLimits(bool container) {
  return container ? ColumnNameLimits{128, 128, true} : ColumnNameLimits{10, 10, true};
}

NativeTableDefinition BuildNativeTableDefinition(std::string_view tableName,
                                                 const std::vector<data::FieldInfo>& fields, bool container,
                                                 const std::function<void()>& onField, const CodePage& codePage,
                                                 const CodePage* containerCodePage) {
  NativeTableDefinition def;
  CreateTableDefinition& create = def.create;
  create.statement = "CREATE TABLE \"";
  create.statement += tableName;
  create.statement += "\"(";
  std::string usedNames;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const data::FieldInfo& f = fields[i];
    create.rows.push_back({std::string(tableName), f.name, {}, {}});
    if (onField) onField();
    std::string name = MakeColumnName(f.name, usedNames, NativeNameLimits(container), codePage, containerCodePage);
    NativeFieldType t = MapNativeFieldType(f, codePage);
    create.statement += '[';
    create.statement += name;
    create.statement += "] ";
    create.statement += t.foxproType;
    if (!t.autoIncrement) create.statement += t.nullable ? " NULL" : " NOT NULL";
    if (container) {
      FieldProperties p = TranslateFieldProperties(f, t, std::string(tableName), name);
      create.statement += p.clauses;
      for (std::string& s : p.statements) def.propertyStatements.push_back(std::move(s));
      for (std::string& s : p.leftOut) def.leftOutProperties.push_back(std::move(s));
    }
    create.statement += ',';
    create.rows.back().accessType = t.accessType;
    create.rows.back().foxproType = t.foxproType;
    create.hasColumns = true;
    if (t.autoIncrement) def.autoIncrementFields.push_back(static_cast<int>(i));
    def.columns.push_back(std::move(name));
    def.types.push_back(std::move(t));
  }
  create.statement.pop_back();  // the comma after the last column (or the parenthesis)
  create.statement += ");";
  return def;
}

std::string AutoIncrementStatement(std::string_view tableName, std::string_view column, std::int64_t nextValue) {
  std::string s = "ALTER TABLE \"";
  s += tableName;
  s += "\" ALTER COLUMN ";
  s += column;
  s += " I AUTOINC NEXTVALUE ";
  s += std::to_string(nextValue);
  s += " STEP 1";
  return s;
}

}  // namespace tw
