#include "convert/table_definition.h"

#include <QChar>

#include <algorithm>

#include "common/text_list.h"
#include "convert/ado_type_name.h"
#include "platform/case_rules.h"
#include "platform/utf8.h"

namespace tw {

namespace {

bool contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

FieldTypeRule rule(int number, std::string suffix, std::string keyword, std::string category, bool numeric) {
  FieldTypeRule r;
  r.number = number;
  r.suffix = std::move(suffix);
  r.keyword = std::move(keyword);
  r.category = std::move(category);
  r.numeric = numeric;
  return r;
}

// N(w,d) holds at most 20 characters: a precision that needs more (a sign and a point
// besides its digits) gets a double, which keeps every value's row, if not every digit.
std::string numericSuffix(int precision, int scale) {
  if (precision <= 0) {
    precision = 18;
    scale = 0;
  }
  if (precision + 2 > kMaxNumericWidth) return "] DOUBLE,";
  int width = precision + 2;
  int decimals = std::clamp(scale, 0, width - 2);
  return "] N(" + std::to_string(width) + "," + std::to_string(decimals) + "),";
}

// The most bytes a FoxPro field name takes.
constexpr std::size_t kMaxNameBytes = 10;

// The bytes of the longest prefix of `text` with at most `chars` characters that takes at
// most `bytes` bytes in the code page.
std::size_t fittingPrefix(std::string_view text, std::size_t chars, std::size_t bytes, const CodePage& codePage) {
  std::size_t end = Utf8PrefixBytes(text, chars);
  while (end > 0 && codePage.encodedSize(text.substr(0, end)) > bytes)
    end = Utf8PrefixBytes(text, Utf8Length(text.substr(0, end)) - 1);
  return end;
}

}  // namespace

bool DecimalGoesToDouble(std::string_view t, int precision) {
  return (contains(t, "decimal") || contains(t, "numeric")) && precision + 2 > kMaxNumericWidth;
}

FieldTypeRule MapFieldType(std::string_view t, int precision, int scale) {
  if (t == "adlongvarbinary") {
    FieldTypeRule r;
    r.number = 1;
    r.skipped = true;
    r.keyword.clear();
    r.category.clear();
    return r;
  }
  // Memo text, wide or not, goes whole into a memo column; a C column holds no more than
  // 254 characters (and LONG would declare a Logical one).
  if (contains(t, "longvar")) return rule(2, "] MEMO,", "longvar", "TEXT", false);
  if (contains(t, "varwchar")) return rule(3, "] CHAR(254),", "varwchar", "TEXT", false);
  if (contains(t, "decimal")) return rule(4, numericSuffix(precision, scale), "decimal", "NUMERIC", true);
  if (contains(t, "smallint") || contains(t, "tinyint")) return rule(5, "] INT,", "int", "INTEGER", true);
  // A Large Number holds up to 19 digits and a sign, beyond what an INT column takes.
  if (contains(t, "bigint")) return rule(6, "] N(20,0),", "int", "NUMERIC", true);
  if (contains(t, "int")) return rule(6, "] INT,", "int", "INTEGER", true);
  if (contains(t, "currency")) return rule(7, "] DOUBLE,", "currency", "NUMERIC", true);
  if (contains(t, "bool")) return rule(8, "] INT,", "bool", "INTEGER", true);
  if (contains(t, "numeric")) return rule(9, numericSuffix(precision, scale), "numeric", "NUMERIC", true);
  // Wide enough for the "mm/dd/yyyy hh:nn:ss" text the row statements write.
  if (contains(t, "date")) return rule(10, "] CHAR(19),", "date", "TEXT", false);
  // Date/Time Extended: "mm/dd/yyyy hh:nn:ss.fffffff".
  if (contains(t, "timestamp")) return rule(11, "] CHAR(27),", "timestamp", "TEXT", false);
  if (contains(t, "double")) return rule(12, "] DOUBLE,", "double", "NUMERIC", true);
  return rule(13, "] CHAR(254),", "OTHER TYPES", "TEXT", false);
}

std::string MakeFoxProFieldName(std::string_view fieldName, std::string& usedNames, const CodePage& codePage,
                                const CodePage* containerCodePage) {
  return MakeColumnName(fieldName, usedNames, {8, kMaxNameBytes}, codePage, containerCodePage);
}

std::string MakeColumnName(std::string_view fieldName, std::string& usedNames, ColumnNameLimits limits,
                           const CodePage& codePage, const CodePage* containerCodePage) {
  // Blanks out; what FoxPro does not take in a name becomes "_".
  std::string name;
  name.reserve(fieldName.size() + 1);
  std::size_t pos = 0;
  while (pos < fieldName.size()) {
    const char32_t c = DecodeUtf8(fieldName, pos);
    if (c == ' ') continue;
    const bool keep = c == '_' || (c >= '0' && c <= '9') ||
                      (c < 0x10000 && QChar(static_cast<char16_t>(c)).isLetter() && codePage.holds(c) &&
                       (!containerCodePage || containerCodePage->holds(c)));
    if (keep) AppendUtf8(name, c);
    else name += '_';
  }
  if (!name.empty() && name[0] >= '0' && name[0] <= '9') name.insert(0, 1, '_');
  std::string candidate = name.substr(0, fittingPrefix(name, limits.chars, limits.bytes, codePage));
  auto taken = [&](const std::string& c) {
    return limits.wholeNames ? containsIgnoringCase(usedNames + ",", "," + c + ",")
                             : containsIgnoringCase(usedNames, c);
  };
  int counter = 0;
  while (taken(candidate)) {
    ++counter;
    const std::string digits = std::to_string(counter);
    candidate =
        candidate.substr(0, fittingPrefix(candidate, limits.chars - 1, limits.bytes - digits.size(), codePage)) +
        digits;
  }
  usedNames += ',';
  usedNames += candidate;
  return candidate;
}

namespace {

// CON, and CON.txt too: Windows takes the part before the first dot.
bool deviceName(std::string_view name) {
  name = name.substr(0, name.find('.'));
  std::string upper;
  for (char c : name) upper += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  if (upper == "CON" || upper == "PRN" || upper == "AUX" || upper == "NUL") return true;
  return upper.size() == 4 && (upper.rfind("COM", 0) == 0 || upper.rfind("LPT", 0) == 0) && upper[3] >= '1' &&
         upper[3] <= '9';
}

std::string storableTableName(std::string_view name) {
  std::string out(name);
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20 || std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos)
      c = '_';
  for (std::size_t end = out.size(); end > 0 && (out[end - 1] == '.' || out[end - 1] == ' '); --end)
    out[end - 1] = '_';
  if (deviceName(out)) out.insert(0, 1, '_');
  return out;
}

}  // namespace

std::vector<std::string> FoxProTableNames(const std::vector<std::string>& accessNames) {
  std::vector<std::string> written(accessNames.size());
  std::vector<std::string> taken;  // lower-cased
  auto isTaken = [&](const std::string& n) {
    return std::find(taken.begin(), taken.end(), lowerCase(n)) != taken.end();
  };
  // Names kept as they are come first, so that a changed name never takes one of them.
  for (std::size_t i = 0; i < accessNames.size(); ++i)
    if (storableTableName(accessNames[i]) == accessNames[i]) {
      written[i] = accessNames[i];
      taken.push_back(lowerCase(written[i]));
    }
  for (std::size_t i = 0; i < accessNames.size(); ++i) {
    if (!written[i].empty() || accessNames[i].empty()) continue;
    const std::string base = storableTableName(accessNames[i]);
    std::string candidate = base;
    for (int n = 1; isTaken(candidate); ++n) candidate = base + std::to_string(n);
    written[i] = candidate;
    taken.push_back(lowerCase(candidate));
  }
  return written;
}

std::string ContainerTableName(std::string_view accessName, std::string_view written) {
  const bool onlyADevice = storableTableName(accessName) == "_" + std::string(accessName);
  return std::string(onlyADevice ? accessName : written);
}

void NameTableFile(std::string& createStatement, std::string_view longName, std::string_view file) {
  const std::string head = "CREATE TABLE \"" + std::string(longName) + "\"";
  if (createStatement.rfind(head, 0) != 0) return;
  createStatement.replace(0, head.size(),
                          "CREATE TABLE \"" + std::string(file) + "\" NAME \"" + std::string(longName) + "\"");
}

std::string RenamedTableNotice(std::string_view accessName, std::string_view written) {
  return "Table " + std::string(accessName) + ": written as " + std::string(written) +
         ", a name FoxPro can store as a file.";
}

std::string DropTableStatement(std::string_view tableName) {
  std::string s = "DROP TABLE \"";
  s += tableName;
  s += '"';
  return s;
}

CreateTableDefinition BuildCreateTableStatement(std::string_view tableName,
                                                const std::vector<data::FieldInfo>& fields,
                                                const std::function<void()>& onField, const CodePage& codePage,
                                                const CodePage* containerCodePage) {
  CreateTableDefinition def;
  def.statement = "CREATE TABLE \"";
  def.statement += tableName;
  def.statement += "\"(";
  std::string usedNames;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const data::FieldInfo& f = fields[i];
    def.rows.push_back({std::string(tableName), f.name, {}, {}});
    if (onField) onField();
    std::string column = MakeFoxProFieldName(f.name, usedNames, codePage, containerCodePage);
    FieldTypeRule r = MapFieldType(AdoTypeNameLower(f.type), f.precision, f.scale);
    if (r.skipped) continue;
    def.statement += '[';
    def.statement += column;
    def.statement += r.suffix;
    def.rows.back().accessType = r.keyword;
    def.rows.back().foxproType = r.category;
    def.hasColumns = true;
    if (r.numeric) def.numericFields.push_back(static_cast<int>(i));
  }
  def.statement.pop_back();  // the comma after the last column (or the parenthesis)
  def.statement += ");";
  return def;
}

}  // namespace tw
