#include "convert/field_properties.h"

#include <optional>
#include <regex>

#include "convert/row_statement.h"

namespace tw {

namespace {

std::string property(const data::FieldInfo& f, const char* name) {
  const std::string* s = f.property(name).get<std::string>();
  return s ? *s : std::string();
}

std::string trim(std::string s) {
  const std::size_t first = s.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

std::string textLiteral(std::string_view text) {
  std::string out;
  AppendTextLiteral(out, text);
  return out;
}

bool iequals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

// An Access literal (or Date(), Now()) as a FoxPro expression of the column's kind.
std::optional<std::string> literal(const std::string& text, NativeKind kind) {
  static const std::regex number(R"(^[-+]?\d+(\.\d+)?$)");
  static const std::regex date(R"(^#(\d{1,2})/(\d{1,2})/(\d{4})( (\d{1,2}):(\d{2})(:(\d{2}))?)?#$)");
  const bool isNumber = std::regex_match(text, number);
  std::optional<std::string> quoted;
  if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') && text.back() == text.front()) {
    std::string inner = text.substr(1, text.size() - 2);
    const std::string twice(2, text.front());
    for (std::size_t at = 0; (at = inner.find(twice, at)) != std::string::npos; ++at) inner.erase(at, 1);
    quoted = inner;
  }
  switch (kind) {
    case NativeKind::Logical:
      if (iequals(text, "True") || iequals(text, "Yes") || iequals(text, "On") || text == "-1" || text == "1")
        return ".T.";
      if (iequals(text, "False") || iequals(text, "No") || iequals(text, "Off") || text == "0") return ".F.";
      return std::nullopt;
    case NativeKind::Integer:
    case NativeKind::Number:
    case NativeKind::Double:
      if (isNumber) return text.front() == '+' ? text.substr(1) : text;
      return std::nullopt;
    case NativeKind::DateTime: {
      if (iequals(text, "Now()")) return "DATETIME()";
      if (iequals(text, "Date()")) return "DTOT(DATE())";
      std::smatch m;
      if (!std::regex_match(text, m, date)) return std::nullopt;
      auto two = [](const std::string& s) { return s.size() == 1 ? "0" + s : s; };
      std::string out = "{^" + m[3].str() + "-" + two(m[1]) + "-" + two(m[2]);
      if (m[4].matched) out += " " + two(m[5]) + ":" + m[6].str() + ":" + (m[8].matched ? m[8].str() : "00");
      return out + "}";
    }
    case NativeKind::Text:
    case NativeKind::Memo:
      if (quoted) return textLiteral(*quoted);
      if (isNumber) return textLiteral(text);
      return std::nullopt;
    default: return std::nullopt;
  }
}

// A validation rule about the field `column` as a FoxPro expression.
std::optional<std::string> rule(std::string text, const std::string& field, const std::string& column,
                                NativeKind kind) {
  // "[Price] >= 0" says of the field what ">= 0" says.
  const std::string named = "[" + field + "]";
  if (text.size() > named.size() && iequals(text.substr(0, named.size()), named))
    text = trim(text.substr(named.size()));
  static const std::regex isNull(R"(^is\s+(not\s+)?null$)", std::regex::icase);
  static const std::regex between(R"(^between\s+(.+)\s+and\s+(.+)$)", std::regex::icase);
  static const std::regex compare(R"(^(>=|<=|<>|=|>|<)\s*(.+)$)");
  std::smatch m;
  if (std::regex_match(text, m, isNull)) return (m[1].matched ? "!ISNULL(" : "ISNULL(") + column + ")";
  if (std::regex_match(text, m, between)) {
    auto low = literal(trim(m[1]), kind), high = literal(trim(m[2]), kind);
    if (low && high) return "BETWEEN(" + column + ", " + *low + ", " + *high + ")";
    return std::nullopt;
  }
  if (std::regex_match(text, m, compare)) {
    if (auto value = literal(trim(m[2]), kind)) return column + " " + m[1].str() + " " + *value;
  }
  return std::nullopt;
}

}  // namespace

FieldProperties TranslateFieldProperties(const data::FieldInfo& field, const NativeFieldType& type,
                                         const std::string& table, const std::string& column) {
  FieldProperties out;
  auto leftOut = [&](const char* name, const std::string& value) {
    out.leftOut.push_back(field.name + "." + name + " (" + value + ")");
  };
  std::string value = trim(property(field, "DefaultValue"));
  if (!value.empty() && value.front() == '=') value = trim(value.substr(1));
  if (!value.empty() && !type.autoIncrement) {
    if (auto d = literal(value, type.kind)) out.clauses += " DEFAULT " + *d;
    else leftOut("DefaultValue", value);
  }
  const std::string ruleText = trim(property(field, "ValidationRule"));
  if (!ruleText.empty()) {
    if (auto check = rule(ruleText, field.name, column, type.kind)) {
      out.clauses += " CHECK " + *check;
      const std::string message = trim(property(field, "ValidationText"));
      if (!message.empty()) out.clauses += " ERROR " + textLiteral(message);
    } else {
      leftOut("ValidationRule", ruleText);
    }
  }
  const std::string target = textLiteral(table + "." + column);
  for (const auto& [access, foxpro] : {std::pair{"Caption", "Caption"}, {"Description", "Comment"}}) {
    const std::string text = property(field, access);
    if (!text.empty())
      out.statements.push_back("DBSETPROP(" + target + ", 'FIELD', '" + foxpro + "', " + textLiteral(text) + ")");
  }
  return out;
}

std::string LeftOutPropertiesNotice(const std::string& table, const std::vector<std::string>& leftOut) {
  std::string list;
  for (const std::string& p : leftOut) list += (list.empty() ? "" : ", ") + p;
  return "Table " + table + ": FoxPro has no rule for " +
         (leftOut.size() == 1 ? "the property " : "the properties ") + list + "; " +
         (leftOut.size() == 1 ? "it was" : "they were") + " left out.";
}

}  // namespace tw
