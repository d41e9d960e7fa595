// The statement text as the FoxPro engine scans it: a cursor over the text, names,
// quoted texts, and the SQLException failures with VFP's messages. Shared by the engine's
// statements (engine.cpp, engine_columns.cpp); not for use outside the engine.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/case_rules.h"
#include "platform/code_page.h"

namespace tw::vfp::sql {

// Throws the Failure "SQLException: " + message (data::kErrGeneric).
[[noreturn]] void sqlError(std::string_view message);

inline constexpr std::string_view kSyntax = "Syntax error.";
inline constexpr std::string_view kMismatch = "Data type mismatch.";
inline constexpr std::string_view kOverflow = "Numeric overflow. Data was lost.";
inline constexpr std::string_view kTooLong = "String is too long to fit.";
inline constexpr std::string_view kTooMany = "Too many arguments.";
inline constexpr std::string_view kMissingOperand = "Missing operand.";
inline constexpr std::string_view kMissingComma = "Missing comma (,).";
inline constexpr std::string_view kBadFieldName = "Field name is a duplicate or invalid.";
inline constexpr std::string_view kBadWidth = "Field width or number of decimal places is invalid.";
inline constexpr std::string_view kUnrecognized = "Command contains unrecognized phrase/keyword.";
inline constexpr std::string_view kNoDatabase = "No database is open or set as the current database.";

inline bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }
inline bool isDigit(char c) { return c >= '0' && c <= '9'; }
inline bool isWordChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || isDigit(c) || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}

struct Cursor {
  const char* p;
  const char* end;

  explicit Cursor(std::string_view s) : p(s.data()), end(s.data() + s.size()) {}
  bool atEnd() const { return p >= end; }
  char peek() const { return p < end ? *p : '\0'; }
  char peekAt(std::size_t n) const { return p + n < end ? p[n] : '\0'; }
  void skipSpace() {
    while (p < end && isSpace(*p)) ++p;
  }
  bool consume(char c) {
    skipSpace();
    if (p < end && *p == c) {
      ++p;
      return true;
    }
    return false;
  }
  // Consumes `kw` (lower case) when it stands next as a whole word, in any case.
  bool keyword(std::string_view kw) {
    skipSpace();
    if (static_cast<std::size_t>(end - p) < kw.size()) return false;
    for (std::size_t i = 0; i < kw.size(); ++i)
      if (asciiLower(p[i]) != kw[i]) return false;
    if (p + kw.size() < end && isWordChar(p[kw.size()])) return false;
    p += kw.size();
    return true;
  }
  std::string_view word() {
    skipSpace();
    const char* s = p;
    while (p < end && isWordChar(*p)) ++p;
    return {s, static_cast<std::size_t>(p - s)};
  }
  // The rest after an optional ";" must be blank.
  void expectEnd() {
    skipSpace();
    if (p < end && *p == ';') ++p;
    skipSpace();
    if (p < end) sqlError(kUnrecognized);
  }
};

// A table or file name: "...", '...', [...] or a bare run of characters up to a blank,
// parenthesis, comma or ";".
std::string_view scanName(Cursor& c);

// A column name: [...] or a bare word; empty when there is no word (the caller says
// which error that is).
std::string_view scanColumnName(Cursor& c);

// Reads a text expression: quoted pieces ('...' with '' for a quote, "..." or [...]) and
// CHR(n), joined by "+", into `out` in the code page. CHR(n) gives the byte n as it is.
// Returns true when a character of a piece was not in the code page (it became "?").
bool textExpression(Cursor& c, const CodePage& codePage, std::string& out);

}  // namespace tw::vfp::sql
