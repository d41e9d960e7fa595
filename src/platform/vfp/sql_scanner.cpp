#include "platform/vfp/sql_scanner.h"

#include "platform/data_access.h"

namespace tw::vfp::sql {

void sqlError(std::string_view message) {
  throw data::Failure(data::kErrGeneric, "SQLException: " + std::string(message));
}

std::string_view scanName(Cursor& c) {
  c.skipSpace();
  char open = c.peek();
  char close = open == '"' ? '"' : open == '\'' ? '\'' : open == '[' ? ']' : '\0';
  if (close) {
    const char* s = ++c.p;
    while (c.p < c.end && *c.p != close) ++c.p;
    if (c.p >= c.end) sqlError(kSyntax);
    std::string_view name(s, static_cast<std::size_t>(c.p - s));
    ++c.p;
    return name;
  }
  const char* s = c.p;
  while (c.p < c.end && !isSpace(*c.p) && *c.p != '(' && *c.p != ')' && *c.p != ';' && *c.p != ',') ++c.p;
  if (c.p == s) sqlError(kSyntax);
  return {s, static_cast<std::size_t>(c.p - s)};
}

std::string_view scanColumnName(Cursor& c) {
  c.skipSpace();
  if (c.peek() != '[') return c.word();
  const char* s = ++c.p;
  while (c.p < c.end && *c.p != ']') ++c.p;
  if (c.p >= c.end) sqlError(kSyntax);
  std::string_view name(s, static_cast<std::size_t>(c.p - s));
  ++c.p;
  return name;
}

bool textExpression(Cursor& c, const CodePage& codePage, std::string& out) {
  bool changed = false;
  for (;;) {
    c.skipSpace();
    const char open = c.peek();
    if (open == '\'' || open == '"' || open == '[') {
      const char close = open == '[' ? ']' : open;
      ++c.p;
      for (;;) {
        // A run of plain ASCII goes over in one piece.
        const char* run = c.p;
        while (c.p < c.end && *c.p != close && static_cast<unsigned char>(*c.p) < 0x80) ++c.p;
        out.append(run, static_cast<std::size_t>(c.p - run));
        if (c.p >= c.end) sqlError(kSyntax);
        if (*c.p == close) {
          if (close == '\'' && c.peekAt(1) == '\'') {
            out += '\'';
            c.p += 2;
            continue;
          }
          ++c.p;
          break;
        }
        std::size_t pos = 0;
        const char32_t cp = DecodeUtf8(std::string_view(c.p, static_cast<std::size_t>(c.end - c.p)), pos);
        c.p += pos;
        if (!codePage.encodeChar(cp, out)) changed = true;
      }
    } else if (c.keyword("chr")) {
      if (!c.consume('(')) sqlError(kSyntax);
      c.skipSpace();
      long n = 0;
      int digits = 0;
      while (isDigit(c.peek())) {
        if (n < 1000) n = n * 10 + (c.peek() - '0');
        ++c.p;
        ++digits;
      }
      if (digits == 0 || n > 255) sqlError("Function argument value, type, or count is invalid.");
      if (!c.consume(')')) sqlError(kMissingComma);
      out += static_cast<char>(n);
    } else {
      sqlError(c.atEnd() || c.peek() == ',' || c.peek() == ')' ? kMissingOperand : kSyntax);
    }
    c.skipSpace();
    if (c.peek() != '+') return changed;
    ++c.p;
  }
}

}  // namespace tw::vfp::sql
