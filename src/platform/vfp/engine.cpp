#include "platform/vfp/engine.h"

#include <QChar>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>

#include "platform/calendar.h"
#include "platform/case_rules.h"
#include "platform/code_page.h"
#include "platform/data_access.h"
#include "platform/vfp/column_definition.h"
#include "platform/vfp/folder_catalog.h"
#include "platform/vfp/sql_scanner.h"
#include "platform/vfp/table_reader.h"

namespace tw::vfp {

using namespace sql;

namespace {

// ------------------------------------------------------------------------------------
// Failures

constexpr std::string_view kInUse = "File is in use.";
constexpr std::string_view kWriteError = "Error writing to file.";
constexpr std::string_view kAccessDenied = "File access is denied.";

// VFP's text for a file-system failure: `usual`, unless that is "File access is denied."
// and the cause is none (a full disk, a name too long, a file in the way).
std::string_view vfpTextFor(std::string_view usual, const data::Failure& cause) {
  const auto* file = dynamic_cast<const FileFailure*>(&cause);
  if (!file || usual != kAccessDenied) return usual;
  switch (file->error()) {
    case EACCES:
    case EPERM:
    case EROFS: return kAccessDenied;
    case ENAMETOOLONG: return "Invalid path or file name.";
    case EEXIST: return "File already exists.";
    default: return kWriteError;
  }
}

// A failure after which the table takes no more rows: VFP's text first (a statement the
// engine refused keeps its own), then the file system's words, then `more`, then the table.
data::Failure tableFailure(std::string_view vfpText, const data::Failure& cause, std::string_view table,
                           const std::string& more = {}) {
  std::string text = cause.description();
  if (text.rfind("SQLException: ", 0) != 0)
    text = "SQLException: " + std::string(vfpTextFor(vfpText, cause)) + " " + text;
  data::Failure f(data::kErrTableUnusable, text + more);
  f.concerning(std::string(table));
  return f;
}

constexpr std::string_view kCannotCreate = "Cannot create file.";
constexpr std::string_view kCannotOpen = "Cannot open file.";

// ------------------------------------------------------------------------------------
// Numbers, kept exact as digit strings

struct Number {
  bool negative = false;
  std::string_view text;  // the literal, sign included
  // Integer and fraction digits of the exact value, without leading (integer) or trailing
  // (fraction) zeros; `huge` when either does not fit the buffers (no column holds it).
  std::array<char, 48> intDigits{};
  std::array<char, 48> fracDigits{};
  int intLen = 0;
  int fracLen = 0;
  bool huge = false;
  bool isZero() const { return intLen == 0 && fracLen == 0; }
};

// An exponent after a mantissa that ends at `q` ("e" or "E", an optional sign, digits);
// `q` moves past it. Zero when there is none; capped near 100000 either way.
long scanExponent(const Cursor& c, const char*& q) {
  if (q >= c.end || (*q != 'e' && *q != 'E')) return 0;
  long exponent = 0;
  const char* e = q + 1;
  bool expNegative = false;
  if (e < c.end && (*e == '+' || *e == '-')) {
    expNegative = *e == '-';
    ++e;
  }
  if (e >= c.end || !isDigit(*e)) sqlError(kSyntax);
  while (e < c.end && isDigit(*e)) {
    if (exponent < 100000) exponent = exponent * 10 + (*e - '0');
    ++e;
  }
  q = e;
  return expNegative ? -exponent : exponent;
}

// Sets the exact digits of `n` from a mantissa of integer digits [intStart, intEnd) and
// fraction digits [fracStart, fracEnd), times ten to `exponent`.
void placeDigits(Number& n, const char* intStart, const char* intEnd, const char* fracStart, const char* fracEnd,
                 long exponent) {
  // Digits of the mantissa without leading zeros; `point` is where the decimal point falls.
  const char* d = intStart;
  while (d < intEnd && *d == '0') ++d;
  long intCount = intEnd - d;
  long point = intCount + exponent;
  // Walk the mantissa digits: the first `point` of them are integer digits.
  auto digitAt = [&](long i) -> char {  // i-th significant mantissa digit
    if (i < intCount) return d[i];
    return fracStart[i - intCount];
  };
  long total = intCount + (fracEnd - fracStart);
  // Trim trailing zeros of the mantissa (they matter only for the integer part, handled
  // by padding below).
  long last = total;
  while (last > 0 && digitAt(last - 1) == '0') --last;
  long first = 0;
  while (first < last && digitAt(first) == '0') ++first;
  if (first == last) return;  // zero
  // Integer part: positions [first, point) of the mantissa, zero padded past `last`.
  if (point > first) {
    long len = point - first;
    if (len > static_cast<long>(n.intDigits.size())) {
      n.huge = true;
      return;
    }
    for (long i = 0; i < len; ++i)
      n.intDigits[static_cast<std::size_t>(i)] = first + i < last ? digitAt(first + i) : '0';
    n.intLen = static_cast<int>(len);
  }
  // Fraction part: positions [max(point, 0 ...), last), zero padded before `first`.
  if (last > point) {
    long from = point;
    long len = last - from;
    if (len > static_cast<long>(n.fracDigits.size())) {
      n.huge = true;
      return;
    }
    for (long i = 0; i < len; ++i) {
      long pos = from + i;
      n.fracDigits[static_cast<std::size_t>(i)] = pos < first ? '0' : digitAt(pos);
    }
    n.fracLen = static_cast<int>(len);
  }
}

// Scans a numeric literal at the cursor; false (cursor unchanged) when there is none.
bool scanNumber(Cursor& c, Number& n) {
  const char* s = c.p;
  const char* q = s;
  bool negative = false;
  if (q < c.end && (*q == '+' || *q == '-')) {
    negative = *q == '-';
    ++q;
  }
  const char* intStart = q;
  while (q < c.end && isDigit(*q)) ++q;
  const char* intEnd = q;
  const char* fracStart = q;
  const char* fracEnd = q;
  if (q < c.end && *q == '.') {
    fracStart = ++q;
    while (q < c.end && isDigit(*q)) ++q;
    fracEnd = q;
  }
  if (intEnd == intStart && fracEnd == fracStart) return false;
  const long exponent = scanExponent(c, q);
  if (q < c.end && isWordChar(*q)) sqlError(kSyntax);
  c.p = q;
  n = Number{};
  n.negative = negative;
  n.text = {s, static_cast<std::size_t>(q - s)};
  placeDigits(n, intStart, intEnd, fracStart, fracEnd, exponent);
  return true;
}

// ------------------------------------------------------------------------------------
// Table names and field names

bool reservedDeviceName(std::string_view base) {
  std::string upper;
  for (char ch : base) upper.push_back(asciiUpper(ch));
  static const char* names[] = {"CON", "PRN", "AUX", "NUL"};
  for (auto* n : names)
    if (upper == n) return true;
  if (upper.size() == 4 && (upper.rfind("COM", 0) == 0 || upper.rfind("LPT", 0) == 0) && upper[3] >= '1' &&
      upper[3] <= '9')
    return true;
  return false;
}

}  // namespace

void throwSqlException(std::string_view message) { sqlError(message); }

std::string tableFileBase(std::string_view name) {
  std::string_view base = name;
  if (base.size() > 4 && endsWithIgnoringAsciiCase(base, ".dbf")) base.remove_suffix(4);
  auto invalid = [&](const std::string& why) {
    sqlError("Invalid path or file name. The table name \"" + std::string(name) + "\" " + why + ".");
  };
  if (base.empty() || base.find_first_not_of(' ') == std::string_view::npos) invalid("is empty");
  for (char ch : base) {
    auto c = static_cast<unsigned char>(ch);
    if (c < 0x20 || std::strchr("<>:\"/\\|?*", ch) != nullptr)
      invalid(c < 0x20 ? "contains a control character" : std::string("contains the character ") + ch);
  }
  if (base.back() == '.' || base.back() == ' ') invalid("ends with a dot or a blank");
  if (reservedDeviceName(base)) invalid("is reserved for a device");
  if (base.size() + 4 > 255) invalid("is too long for a file name");
  return lowerCase(base);
}

namespace {

// A dropped table's name as a CREATE TABLE that may put it back names it (a long name in a
// container need not be a file name).
std::string droppedKey(std::string_view name) {
  if (name.size() > 4 && endsWithIgnoringAsciiCase(name, ".dbf")) name.remove_suffix(4);
  return foldCase(name);
}

// A column name as the engine compares it: letters in upper case where the code page holds
// the upper-case letter, in the code page's bytes ("?" for a character it lacks).
std::string columnKey(std::string_view utf8, const CodePage& codePage) {
  std::string key;
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    char32_t c = DecodeUtf8(utf8, pos);
    const char32_t upper = c < 0x80      ? static_cast<char32_t>(asciiUpper(static_cast<char>(c)))
                           : c < 0x10000 ? QChar::toUpper(static_cast<char16_t>(c))
                                         : c;
    if (codePage.holds(upper)) c = upper;
    codePage.encodeChar(c, key);
  }
  return key;
}

// A column name as VFP stores it: its key (above) when it has at most `maxLength` bytes
// and holds only letters of any script the code page holds, "_" and (after the first
// character) digits 0-9; anything else, a character the code page lacks included, is the
// 1712 failure, so that no name is ever stored with a "?". A catalog that keeps the names
// itself, in `alsoIn`, must hold every letter and take the name's bytes as well.
std::string fieldNameFrom(std::string_view utf8, const CodePage& codePage, int maxLength, const CodePage* alsoIn) {
  std::size_t pos = 0;
  bool first = true;
  while (pos < utf8.size()) {
    const char32_t c = DecodeUtf8(utf8, pos);
    const bool letter = c >= 0x80 ? c < 0x10000 && QChar(static_cast<char16_t>(c)).isLetter() && codePage.holds(c) &&
                                        (!alsoIn || alsoIn->holds(c))
                                  : (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (!(letter || c == '_' || (!first && c >= '0' && c <= '9'))) sqlError(kBadFieldName);
    first = false;
  }
  std::string name = columnKey(utf8, codePage);
  if (name.empty() || name.size() > static_cast<std::size_t>(maxLength)) sqlError(kBadFieldName);
  if (alsoIn && alsoIn->encodedSize(utf8) > static_cast<std::size_t>(maxLength)) sqlError(kBadFieldName);
  return name;
}

// The code page a table's header names; a table without one is read and written in
// `fallback`.
const CodePage& tableCodePage(const TableHeader& header, const CodePage& fallback) {
  const CodePage* cp = CodePage::byMark(header.codePage);
  return cp ? *cp : fallback;
}

// ------------------------------------------------------------------------------------
// Encoding values into a record

std::size_t copyDigits(std::uint8_t* out, const char* digits, int len) {
  std::memcpy(out, digits, static_cast<std::size_t>(len));
  return static_cast<std::size_t>(len);
}

void encodeNumeric(const FieldDef& f, const Number& n, std::uint8_t* out) {
  if (n.huge || n.fracLen > f.decimals) sqlError(kOverflow);
  bool negative = n.negative && !n.isZero();
  int intLen = std::max(n.intLen, 1);
  int needed = (negative ? 1 : 0) + intLen + (f.decimals > 0 ? 1 + f.decimals : 0);
  if (needed > f.width) sqlError(kOverflow);
  std::uint8_t* p = out + (f.width - needed);  // the blanks before it are already there
  if (negative) *p++ = '-';
  if (n.intLen == 0) *p++ = '0';
  else p += copyDigits(p, n.intDigits.data(), n.intLen);
  if (f.decimals > 0) {
    *p++ = '.';
    p += copyDigits(p, n.fracDigits.data(), n.fracLen);
    for (int i = n.fracLen; i < f.decimals; ++i) *p++ = '0';
  }
}

// The exact integer of `n` scaled by 10^scale, when it fits an int64 (false otherwise).
bool scaledInteger(const Number& n, int scale, std::int64_t& out) {
  if (n.huge || n.fracLen > scale || n.intLen + scale > 19) return false;
  unsigned __int128 v = 0;
  for (int i = 0; i < n.intLen; ++i)
    v = v * 10 + static_cast<unsigned>(n.intDigits[static_cast<std::size_t>(i)] - '0');
  for (int i = 0; i < scale; ++i)
    v = v * 10 + (i < n.fracLen ? static_cast<unsigned>(n.fracDigits[static_cast<std::size_t>(i)] - '0') : 0u);
  unsigned __int128 limit =
      n.negative ? static_cast<unsigned __int128>(INT64_MAX) + 1 : static_cast<unsigned __int128>(INT64_MAX);
  if (v > limit) return false;
  out = n.negative ? static_cast<std::int64_t>(0 - static_cast<std::uint64_t>(v)) : static_cast<std::int64_t>(v);
  return true;
}

void encodeInteger(const Number& n, std::uint8_t* out) {
  if (n.fracLen > 0) sqlError(kOverflow);  // the fraction would be lost
  std::int64_t v = 0;
  if (!scaledInteger(n, 0, v) || v > 2147483647 || v < -2147483647) sqlError(kOverflow);
  putLe32(out, static_cast<std::uint32_t>(static_cast<std::int32_t>(v)));
}

void encodeCurrency(const Number& n, std::uint8_t* out) {
  std::int64_t v = 0;
  if (!scaledInteger(n, 4, v)) sqlError(kOverflow);
  std::memcpy(out, &v, 8);
}

void encodeDouble(const Number& n, std::uint8_t* out) {
  const char* s = n.text.data();
  const char* e = s + n.text.size();
  if (s < e && *s == '+') ++s;
  double v = 0;
  auto r = std::from_chars(s, e, v);
  if (r.ec == std::errc::result_out_of_range) {
    // Too small to tell from zero is stored as zero only when it is zero; anything else
    // does not fit a double.
    sqlError(kOverflow);
  }
  if (r.ec != std::errc() || !std::isfinite(v)) sqlError(kOverflow);
  std::memcpy(out, &v, 8);
}

// A {^yyyy-mm-dd[ hh:mm[:ss]]} literal; `empty` for {} and its blank forms.
struct DateLiteral {
  bool empty = false;
  int year = 0, month = 0, day = 0;
  int hour = 0, minute = 0, second = 0;
  bool hasTime = false;
};

DateLiteral scanDate(Cursor& c) {
  ++c.p;  // '{'
  const char* s = c.p;
  while (c.p < c.end && *c.p != '}') ++c.p;
  if (c.p >= c.end) sqlError(kSyntax);
  std::string_view body(s, static_cast<std::size_t>(c.p - s));
  ++c.p;
  DateLiteral d;
  if (body.find_first_not_of(" /-:.") == std::string_view::npos) {
    d.empty = true;
    return d;
  }
  std::size_t i = 0;
  auto skip = [&] {
    while (i < body.size() && body[i] == ' ') ++i;
  };
  auto num = [&](int maxDigits) {
    int v = 0, k = 0;
    while (i < body.size() && isDigit(body[i]) && k < maxDigits) {
      v = v * 10 + (body[i] - '0');
      ++i;
      ++k;
    }
    if (k == 0) sqlError(kSyntax);
    return v;
  };
  auto sep = [&](const char* allowed) {
    if (i >= body.size() || !std::strchr(allowed, body[i])) sqlError(kSyntax);
    ++i;
  };
  skip();
  if (i >= body.size() || body[i] != '^') sqlError(kSyntax);
  ++i;
  d.year = num(4);
  sep("-/.");
  d.month = num(2);
  sep("-/.");
  d.day = num(2);
  skip();
  if (i < body.size() && (body[i] == 'T' || body[i] == 't' || body[i] == ',')) ++i;
  skip();
  if (i < body.size()) {
    d.hasTime = true;
    d.hour = num(2);
    if (i < body.size() && body[i] == ':') {
      ++i;
      d.minute = num(2);
      if (i < body.size() && body[i] == ':') {
        ++i;
        d.second = num(2);
      }
    }
    skip();
    if (i < body.size() && (body[i] == 'a' || body[i] == 'A' || body[i] == 'p' || body[i] == 'P')) {
      bool pm = body[i] == 'p' || body[i] == 'P';
      i += 1;
      if (i < body.size() && (body[i] == 'm' || body[i] == 'M')) ++i;
      if (d.hour < 1 || d.hour > 12) sqlError(kSyntax);
      if (pm && d.hour < 12) d.hour += 12;
      if (!pm && d.hour == 12) d.hour = 0;
    }
    skip();
    if (i != body.size()) sqlError(kSyntax);
  }
  if (d.year < 1 || !isValidDate(d.year, d.month, d.day) || d.hour > 23 || d.minute > 59 || d.second > 59)
    sqlError("Date/Datetime evaluated to an invalid value.");
  return d;
}

// True when NaN, Infinity, -Infinity or +Infinity stands next as a whole word (any case),
// without moving the cursor.
bool notANumber(Cursor& c) {
  c.skipSpace();
  Cursor probe = c;
  if (probe.peek() == '-' || probe.peek() == '+') ++probe.p;
  return probe.keyword("nan") || probe.keyword("infinity");
}

// True when CHR( stands next (in any case), without moving the cursor.
bool startsChr(Cursor& c) {
  c.skipSpace();
  Cursor probe = c;
  if (!probe.keyword("chr")) return false;
  return probe.consume('(');
}

void putDigits(std::uint8_t* out, int value, int width) {
  for (int i = width - 1; i >= 0; --i) {
    out[i] = static_cast<std::uint8_t>('0' + value % 10);
    value /= 10;
  }
}

}  // namespace

// ------------------------------------------------------------------------------------

Engine::Engine(std::shared_ptr<FileSystem> fs, std::string folder, const CodePage& codePage)
    : fs_(fs), catalog_(std::make_unique<FolderCatalog>(fs, std::move(folder))), codePage_(&codePage) {}

Engine::Engine(std::shared_ptr<FileSystem> fs, std::unique_ptr<Catalog> catalog, const CodePage& codePage)
    : fs_(std::move(fs)), catalog_(std::move(catalog)), codePage_(&codePage) {}

Engine::~Engine() {
  try {
    flush();
  } catch (...) {
  }
}

void Engine::setBatchBytes(std::size_t bytes) {
  batchBytes_ = bytes;
  if (table_) table_->setBatchBytes(bytes);
}

std::optional<data::Failure> Engine::closeTable() {
  if (!table_) return std::nullopt;
  std::unique_ptr<TableFile> t = std::move(table_);
  std::string name = std::move(tableRawName_);
  tableRawName_.clear();
  const std::uint32_t taken = t->recordCount();
  try {
    t->flush();
  } catch (const data::Failure& f) {
    data::Failure failure = tableFailure(kWriteError, f, name);
    markBroken(t->dbfPath(), failure);
    // The rows of the failed batch had all been taken by INSERTs that reported no failure.
    failure.losing(name, taken - t->recordCount());
    return failure;
  }
  return std::nullopt;
}

void Engine::flush() {
  if (!dropped_.empty()) settleDropped();
  if (auto failure = closeTable()) throw *failure;
}

void Engine::leaveTable() {
  if (auto failure = closeTable(); failure && !pending_) pending_ = std::move(failure);
}

// Tables are told apart by their files, whatever path leads to them: a table whose file
// was renamed to other capitals, or that is reached by another path, is still the one
// locked, and the engine's own lock is never taken for another writer's. A path with no
// file yet goes by its name without regard to case.
std::string Engine::tableKey(const std::string& dbfPath) {
  FileStatus s = fs_->status(dbfPath);
  if (s.kind != FileKind::Regular) return foldCase(dbfPath);
  return std::to_string(s.device) + ":" + std::to_string(s.inode);
}

void Engine::markBroken(const std::string& dbfPath, const data::Failure& failure) {
  broken_.insert_or_assign(tableKey(dbfPath), failure);
}

void Engine::lockTable(const std::string& dbfPath, std::string_view table) {
  if (locks_.count(tableKey(dbfPath))) return;
  std::unique_ptr<FileLock> lock = vfp::lock(*fs_, dbfPath);
  if (!lock) {
    data::Failure f(data::kErrTableUnusable, "SQLException: " + std::string(kInUse));
    f.concerning(std::string(table));
    throw f;
  }
  locks_[tableKey(dbfPath)] = std::move(lock);
}

TableLocation Engine::locate(std::string_view name) {
  flush();
  return catalog_->locate(name);
}

void Engine::execute(std::string_view statement) {
  pending_.reset();
  try {
    run(statement);
  } catch (const data::Failure& f) {
    if (!pending_) throw;
    // Both this statement and the write of the table before it failed: say both.
    data::Failure both(f.number(), f.description() + " " + pending_->description());
    both.losing(pending_->lostFrom(), pending_->rowsLost());
    pending_.reset();
    throw both;
  }
  if (pending_) {
    // The statement went through; the failure is the earlier table's, which it names. It
    // does not end the table of this statement.
    data::Failure earlier(data::kErrGeneric, pending_->std::runtime_error::what());
    earlier.concerning(pending_->table(), pending_->column());
    earlier.losing(pending_->lostFrom(), pending_->rowsLost());
    pending_.reset();
    throw earlier;
  }
}

void Engine::run(std::string_view statement) {
  Cursor c(statement);
  // A drop is final once any statement but a CREATE TABLE follows it.
  if (!dropped_.empty() && !Cursor(statement).keyword("create")) settleDropped();
  if (c.keyword("insert")) {
    if (!c.keyword("into")) sqlError(kSyntax);
    insertInto(std::string_view(c.p, static_cast<std::size_t>(c.end - c.p)));
    return;
  }
  if (c.keyword("create")) {
    if (!c.keyword("table") && !c.keyword("dbf")) sqlError(kSyntax);
    leaveTable();
    createTable(std::string_view(c.p, static_cast<std::size_t>(c.end - c.p)));
    return;
  }
  if (c.keyword("drop")) {
    if (!c.keyword("table")) sqlError(kSyntax);
    leaveTable();
    dropTable(std::string_view(c.p, static_cast<std::size_t>(c.end - c.p)));
    return;
  }
  if (c.keyword("alter")) {
    if (!c.keyword("table")) sqlError(kSyntax);
    const std::string_view rest(c.p, static_cast<std::size_t>(c.end - c.p));
    if (!addKey(rest)) alterTable(rest);  // ADD PRIMARY/FOREIGN KEY: engine_index.cpp
    return;
  }
  if (c.keyword("dbsetprop") || (c.consume('=') && c.keyword("dbsetprop"))) {
    leaveTable();
    setProperty(std::string_view(c.p, static_cast<std::size_t>(c.end - c.p)));
    return;
  }
  if (c.keyword("set")) {
    // SET AUTOINCERROR OFF: a value given for an autoincrementing field is stored as it is,
    // as this engine always does. It keeps the current table.
    if (!c.keyword("autoincerror") || !c.keyword("off")) sqlError(kUnrecognized);
    c.expectEnd();
    return;
  }
  // USE and INDEX ON: engine_index.cpp.
  const bool use = c.keyword("use");
  if (use || c.keyword("index")) {
    leaveTable();
    const std::string_view rest(c.p, static_cast<std::size_t>(c.end - c.p));
    if (use) useTable(rest);
    else indexOn(rest);
    return;
  }
  c.skipSpace();
  if (c.atEnd()) sqlError(kSyntax);
  sqlError("Unrecognized command verb.");
}

void Engine::dropTable(std::string_view rest) {
  Cursor c(rest);
  std::string_view name = scanName(c);
  c.keyword("recycle");
  c.expectEnd();
  TableLocation at;
  try {
    at = catalog_->locate(name);
  } catch (data::Failure& f) {
    // A table that is not there does not keep the run from making it.
    f.concerning(std::string(name));
    throw;
  }
  const std::string key = tableKey(at.dbfPath);
  try {
    lockTable(at.dbfPath, name);
    catalog_->drop(name);
  } catch (const data::Failure& f) {
    if (f.endsTable()) throw;
    throw tableFailure(kAccessDenied, f, name);
  }
  locks_.erase(key);
  broken_.erase(key);
  forgetIndexes(at.dbfPath);
  dropped_ = droppedKey(name);
}

std::string Engine::restoreDropped(const std::string& name) {
  std::string dropped = std::move(dropped_);
  dropped_.clear();
  try {
    if (dropped.empty() || dropped != droppedKey(name)) {
      catalog_->settleDrop();
      return {};
    }
    catalog_->restoreDrop();
    return " The table it was to replace is kept.";
  } catch (const data::Failure& f) {
    return " " + f.description();
  }
}

void Engine::settleDropped() {
  dropped_.clear();
  catalog_->settleDrop();
}

void Engine::createTable(std::string_view rest) {
  // A table that could not be made takes no rows: every failure here ends it.
  std::string name, column;
  try {
    makeTable(rest, name, column);
  } catch (const data::Failure& f) {
    // A table dropped just before to make room for this one is put back.
    data::Failure ended = tableFailure(kCannotCreate, f, name, restoreDropped(name));
    ended.concerning(name, column);
    throw ended;
  }
  settleDropped();
  locks_[tableKey(table_->dbfPath())] = table_->takeLock();
  broken_.erase(tableKey(table_->dbfPath()));
}

void Engine::makeTable(std::string_view rest, std::string& tableName, std::string& column) {
  Cursor c(rest);
  std::string_view name = scanName(c);
  tableName = name;
  tableFileBase(name);  // refuses names that cannot be file names before anything else
  // NAME: the container knows the table by a long name of its own, its file by the first.
  std::string longName;
  if (c.keyword("name")) {
    longName = scanName(c);
    if (longName.empty()) sqlError(kSyntax);
    if (!catalog_->keepsFieldProperties())
      sqlError(std::string(kNoDatabase) + " A long table name is kept only in a database container.");
    tableName = longName;
  }
  c.keyword("free");
  if (!c.consume('(')) sqlError(kSyntax);
  std::vector<FieldDef> fields;
  std::vector<std::string> columnNames;
  std::vector<FieldRules> rules;
  for (;;) {
    c.skipSpace();
    const bool bracketed = c.peek() == '[';
    std::string_view colName = scanColumnName(c);
    column = colName;
    if (!bracketed && colName.empty()) sqlError(c.peek() == ')' || c.peek() == ',' ? kMissingOperand : kBadFieldName);
    FieldDef f;
    f.name = fieldNameFrom(colName, *codePage_, catalog_->maxColumnName(), catalog_->nameCodePage());
    for (const auto& other : fields)
      if (other.name == f.name) sqlError(kBadFieldName);
    rules.emplace_back();
    scanColumnDefinition(c, colName, f, rules.back());
    if (!rules.back().empty() && !catalog_->keepsFieldProperties())
      sqlError(std::string(kNoDatabase) +
               " DEFAULT and CHECK are kept only in a database container, not by free "
               "tables.");
    fields.push_back(std::move(f));
    columnNames.emplace_back(colName);
    if (c.consume(',')) continue;
    if (c.consume(')')) break;
    c.skipSpace();
    if (c.atEnd()) sqlError(kSyntax);
    if (isWordChar(c.peek())) sqlError(kUnrecognized);
    sqlError(kMissingComma);
  }
  column.clear();
  c.expectEnd();
  bool anyNull = std::any_of(fields.begin(), fields.end(), [](const FieldDef& f) { return f.nullable; });
  if (static_cast<int>(fields.size()) + (anyNull ? 1 : 0) > kMaxFields)
    sqlError("Too many fields: a table holds at most 255 (254 when fields accept nulls).");
  TableLayout layout = TableLayout::build(std::move(fields));
  layout.codePage = codePage_->mark();
  if (layout.recordLength > kMaxRecordLength) sqlError("Record is too long: a record holds at most 65,500 bytes.");

  TableDefinition definition{std::string(name), std::move(columnNames), std::move(layout), std::move(rules),
                             longName};
  table_ = catalog_->create(definition);
  table_->setBatchBytes(batchBytes_);
  tableRawName_ = tableName;
  tableCodePage_ = codePage_;
  setColumnKeys(definition.columnNames);
}

void Engine::setColumnKeys(const std::vector<std::string>& names) {
  columnKeys_.clear();
  columnNames_ = names;
  if (names.empty()) {
    for (const auto& f : table_->layout().fields) {
      columnKeys_.push_back(f.name);
      columnNames_.push_back(tableCodePage_->decode(f.name));
    }
    return;
  }
  for (const auto& n : names) columnKeys_.push_back(columnKey(n, *tableCodePage_));
}

std::size_t Engine::columnIndex(std::string_view name) const {
  const std::string key = columnKey(name, *tableCodePage_);
  for (std::size_t k = 0; k < columnKeys_.size(); ++k)
    if (columnKeys_[k] == key) return k;
  sqlError("SQL: Column \"" + std::string(name) + "\" is not found.");
}

TableFile& Engine::openForInsert(const std::string& rawName) {
  leaveTable();
  TableLocation at;
  std::unique_ptr<TableFile> t;
  // Whatever keeps this table from being opened keeps every later row out too.
  try {
    at = catalog_->locate(rawName);
    // A table whose write failed stays as it is: a later row must not land after the hole.
    if (auto b = broken_.find(tableKey(at.dbfPath)); b != broken_.end()) throw b->second;
    lockTable(at.dbfPath, rawName);
    try {
      t = TableFile::open(*fs_, at.dbfPath, at.fptPath, at.container);
    } catch (const CorruptTable& e) {
      sqlError("Table \"" + at.file + "\" has become corrupted: " + e.what() + ".");
    }
    if (!t->header().unsupported.empty())
      sqlError("Cannot add rows to table \"" + at.file + "\": " + t->header().unsupported + ".");
    if (!at.columnNames.empty() && at.columnNames.size() != t->layout().fields.size())
      sqlError("Table \"" + at.file + "\" has become corrupted: its database names " +
               std::to_string(at.columnNames.size()) + " columns, the table has " +
               std::to_string(t->layout().fields.size()) + ".");
    attachIndexes(*t, at);
  } catch (const data::Failure& f) {
    if (f.endsTable()) throw;
    throw tableFailure(kCannotOpen, f, rawName);
  }
  t->setBatchBytes(batchBytes_);
  tableCodePage_ = &tableCodePage(t->header(), *codePage_);
  table_ = std::move(t);
  tableRawName_ = rawName;
  setColumnKeys(at.columnNames);
  return *table_;
}

namespace {

// An INSERT's optional column list: the values then go to these fields, in this order.
// `keys` are the table's column keys in field order; `columns` gets the indices of the
// listed ones. False when the statement has no list.
bool scanColumnList(Cursor& c, const std::vector<std::string>& keys, const CodePage& codePage,
                    std::vector<std::size_t>& columns) {
  if (!c.consume('(')) return false;
  columns.clear();
  for (;;) {
    c.skipSpace();
    const bool bracketed = c.peek() == '[';
    std::string_view col = scanColumnName(c);
    if (!bracketed && col.empty()) sqlError(kMissingOperand);
    const std::string upper = columnKey(col, codePage);
    std::size_t k = 0;
    while (k < keys.size() && keys[k] != upper) ++k;
    if (k == keys.size()) sqlError("SQL: Column \"" + std::string(col) + "\" is not found.");
    if (std::find(columns.begin(), columns.end(), k) != columns.end()) sqlError(kBadFieldName);
    columns.push_back(k);
    if (c.consume(',')) continue;
    if (c.consume(')')) return true;
    sqlError(kMissingComma);
  }
}

// Reads an INSERT's VALUES list, after its "(", into the record `rec` of `table`: each
// value is checked against its field and encoded in place; fields that get no value are
// null, or blank where nulls are refused. `columns`, when given, are the fields the values
// go to; otherwise every field in order. Text is stored in `codePage`.
class RecordValues {
 public:
  RecordValues(const TableLayout& layout, TableFile& table, std::uint8_t* rec, const CodePage& codePage,
               std::string& scratch, const std::vector<std::size_t>* columns)
      : layout_(layout), table_(table), rec_(rec), codePage_(codePage), scratch_(scratch), columns_(columns) {}

  // Reads the values, the ")" that closes them and the end of the statement.
  void read(Cursor& c) {
    const std::size_t fieldCount = columns_ ? columns_->size() : layout_.fields.size();
    bool closed = false;
    c.skipSpace();
    if (c.peek() == ')') {
      if (fieldCount > 0) sqlError(kMissingOperand);
    }
    std::size_t given = 0;
    for (std::size_t i = 0; i < fieldCount && !closed; ++i) {
      given = i + 1;
      current_ = columns_ ? (*columns_)[i] : i;
      readValue(c, layout_.fields[current_]);
      current_ = SIZE_MAX;
      // After the value: "," for the next one, ")" to end the list.
      if (c.consume(',')) {
        if (i + 1 == fieldCount) sqlError(kTooMany);
      } else if (c.consume(')')) {
        closed = true;
      } else {
        c.skipSpace();
        sqlError(c.atEnd() ? kSyntax : kMissingComma);
      }
    }
    if (!closed) {
      // Only a table without fields gets here without a ")".
      if (!c.consume(')')) sqlError(kTooMany);
    }
    c.expectEnd();
    nullFieldsWithoutValue(given);
  }

  // The field whose value is being read (SIZE_MAX between values): a failure concerns it.
  std::size_t current() const { return current_; }
  // How many text values had characters the code page lacks.
  std::size_t changedValues() const { return changedValues_; }

 private:
  void readValue(Cursor& c, const FieldDef& f) {
    std::uint8_t* out = rec_ + f.offset;
    c.skipSpace();
    const char ch = c.peek();
    if (ch == '\'' || ch == '"' || ch == '[' || ((ch == 'c' || ch == 'C') && startsChr(c))) {
      readText(c, f, out);
    } else if (ch == '0' && (c.peekAt(1) == 'h' || c.peekAt(1) == 'H')) {
      readBinary(c, f, out);
    } else if (isDigit(ch) || ch == '-' || ch == '+' || (ch == '.' && isDigit(c.peekAt(1)))) {
      readNumber(c, f, out);
    } else if (ch == '.') {
      readDotted(c, f, out);
    } else if (ch == '{') {
      readDate(c, f, out);
    } else if (c.keyword("null")) {
      setNull(f);
    } else if (ch == ',' || ch == ')') {
      sqlError(kMissingOperand);
    } else if (isWordChar(ch)) {
      if (notANumber(c)) sqlError(kOverflow);
      refuseName(c);
    } else {
      sqlError(kSyntax);
    }
  }

  // A text: quoted pieces ('' stands for one quote inside '...') and CHR(n), joined by "+".
  void readText(Cursor& c, const FieldDef& f, std::uint8_t* out) {
    const bool text = f.type == 'C' || f.type == 'M' || f.type == 'V';
    scratch_.clear();
    if (textExpression(c, codePage_, scratch_)) ++changedValues_;
    if (!text) sqlError(kMismatch);
    if (f.type == 'C' || f.type == 'V') {
      // Blanks beyond the width are dropped, as C pads with blanks anyway.
      if (scratch_.size() > f.width && scratch_.find_first_not_of(' ', f.width) != std::string::npos)
        sqlError(kTooLong);
      const std::size_t size = std::min<std::size_t>(scratch_.size(), f.width);
      if (f.type == 'V') storeVariable(f, out, size);
      else std::memcpy(out, scratch_.data(), size);
    } else if (!scratch_.empty()) {
      putLe32(out, table_.addMemo(scratch_.data(), scratch_.size()));
    }
  }

  // 0h followed by an even number of hex digits: bytes for a Q or W field.
  void readBinary(Cursor& c, const FieldDef& f, std::uint8_t* out) {
    c.p += 2;
    scratch_.clear();
    auto nibble = [](char x) {
      return x >= '0' && x <= '9'   ? x - '0'
             : x >= 'a' && x <= 'f' ? x - 'a' + 10
             : x >= 'A' && x <= 'F' ? x - 'A' + 10
                                    : -1;
    };
    while (nibble(c.peek()) >= 0) {
      if (nibble(c.peekAt(1)) < 0) sqlError("Syntax error. A binary value 0h... has two hex digits per byte.");
      scratch_.push_back(static_cast<char>(nibble(c.peek()) * 16 + nibble(c.peekAt(1))));
      c.p += 2;
    }
    if (isWordChar(c.peek())) sqlError(kSyntax);
    if (f.type == 'Q') {
      if (scratch_.size() > f.width) sqlError(kTooLong);
      storeVariable(f, out, scratch_.size());
    } else if (f.type == 'W') {
      if (!scratch_.empty()) putLe32(out, table_.addMemo(scratch_.data(), scratch_.size()));
    } else {
      sqlError(kMismatch);
    }
  }

  // The first `size` bytes of scratch_ into a V or Q field: a shorter value keeps its
  // length in the field's last byte, with the field's length bit set (as the blank record
  // has it); a value as long as the field fills it and clears that bit.
  void storeVariable(const FieldDef& f, std::uint8_t* out, std::size_t size) {
    std::memcpy(out, scratch_.data(), size);
    if (size < f.width) {
      out[f.width - 1u] = static_cast<std::uint8_t>(size);
      return;
    }
    rec_[layout_.nullFlagsOffset + static_cast<std::uint32_t>(f.varLengthBit / 8)] &=
        static_cast<std::uint8_t>(~(1u << (f.varLengthBit % 8)));
  }

  void readNumber(Cursor& c, const FieldDef& f, std::uint8_t* out) {
    // NaN and the infinities, as the program renders them: no FoxPro column holds them.
    if (!scanNumber(c, number_)) sqlError(notANumber(c) ? kOverflow : kSyntax);
    switch (f.type) {
      case 'N':
      case 'F': encodeNumeric(f, number_, out); break;
      case 'I': encodeInteger(number_, out); break;
      case 'B': encodeDouble(number_, out); break;
      case 'Y': encodeCurrency(number_, out); break;
      default: sqlError(kMismatch);
    }
  }

  // .T. .F. .Y. .N. .NULL.
  void readDotted(Cursor& c, const FieldDef& f, std::uint8_t* out) {
    ++c.p;
    std::string_view w = c.word();
    if (c.peek() != '.') sqlError(kSyntax);
    ++c.p;
    std::string lw;
    for (char x : w) lw.push_back(asciiLower(x));
    if (lw == "null") {
      setNull(f);
    } else if (lw == "t" || lw == "f" || lw == "y" || lw == "n") {
      if (f.type != 'L') sqlError(kMismatch);
      *out = (lw == "t" || lw == "y") ? 'T' : 'F';
    } else {
      sqlError(kSyntax);
    }
  }

  void readDate(Cursor& c, const FieldDef& f, std::uint8_t* out) {
    DateLiteral d = scanDate(c);
    if (f.type == 'D') {
      if (d.hasTime && (d.hour || d.minute || d.second)) sqlError(kMismatch);
      if (!d.empty) {
        putDigits(out, d.year, 4);
        putDigits(out + 4, d.month, 2);
        putDigits(out + 6, d.day, 2);
      }
    } else if (f.type == 'T') {
      if (!d.empty) {
        putLe32(out, static_cast<std::uint32_t>(julianDayFromCivil(d.year, d.month, d.day)));
        putLe32(out + 4, static_cast<std::uint32_t>(((d.hour * 60 + d.minute) * 60 + d.second) * 1000));
      }
    } else {
      sqlError(kMismatch);
    }
  }

  // A bare word where a value belongs: FoxPro takes it for a variable it does not know.
  [[noreturn]] void refuseName(Cursor& c) {
    std::string_view w = c.word();
    std::string upper;
    for (char x : w) upper.push_back(asciiUpper(x));
    sqlError("Variable '" + upper + "' is not found.");
  }

  // A null value given for `f`, refused when the field does not accept nulls.
  void setNull(const FieldDef& f) {
    if (!f.nullable) sqlError("Field \"" + codePage_.decode(f.name) + "\" does not accept null values.");
    markNull(f);
  }

  void markNull(const FieldDef& f) {
    rec_[layout_.nullFlagsOffset + static_cast<std::uint32_t>(f.nullBit / 8)] |=
        static_cast<std::uint8_t>(1u << (f.nullBit % 8));
  }

  // The fields after the first `given` values got none: an autoincrementing field its
  // next value, the others null where nulls are accepted.
  void nullFieldsWithoutValue(std::size_t given) {
    std::vector<std::size_t>::const_iterator listedEnd{};
    if (columns_) listedEnd = columns_->begin() + static_cast<long>(given);
    for (std::size_t k = 0; k < layout_.fields.size(); ++k) {
      const bool valued = columns_ ? std::find(columns_->begin(), listedEnd, k) != listedEnd : k < given;
      if (valued) continue;
      const FieldDef& f = layout_.fields[k];
      if (f.autoIncrement) {
        current_ = k;
        putLe32(rec_ + f.offset, static_cast<std::uint32_t>(table_.takeAutoIncrement(k)));
        current_ = SIZE_MAX;
      } else if (f.nullable) {
        markNull(f);
      }
    }
  }

  const TableLayout& layout_;
  TableFile& table_;
  std::uint8_t* rec_;
  const CodePage& codePage_;
  std::string& scratch_;
  const std::vector<std::size_t>* columns_;
  Number number_;
  std::size_t current_ = SIZE_MAX;
  std::size_t changedValues_ = 0;
};

}  // namespace

void Engine::insertInto(std::string_view rest) {
  Cursor c(rest);
  std::string_view name = scanName(c);
  TableFile* t = table_.get();
  if (!t || name != tableRawName_) t = &openForInsert(std::string(name));
  const bool listed = scanColumnList(c, columnKeys_, *tableCodePage_, columns_);
  if (!c.keyword("values")) sqlError(kSyntax);
  if (!c.consume('(')) sqlError(kSyntax);

  // The table named in failures is the one the statement wrote; a value's failure also
  // names its column.
  const std::string tableName = tableRawName_;
  const std::uint32_t taken = t->recordCount();  // rows earlier INSERTs reported as done
  std::uint8_t* rec = nullptr;
  try {
    rec = t->beginRecord();
  } catch (const data::Failure& f) {
    throw endOpenTable(f, tableName, taken);
  }
  RecordValues values(t->layout(), *t, rec, *tableCodePage_, scratch_, listed ? &columns_ : nullptr);
  try {
    values.read(c);
    if (auto* indexes = dynamic_cast<TableIndexes*>(t->batchListener()))
      indexes->addRecord(rec, t->recordCount() + 1);
  } catch (data::Failure& f) {
    t->abortRecord();
    // A memo that would take its file past 2 GB ends the table like a failed write.
    if (f.endsTable()) throw endOpenTable(f, tableName, taken);
    f.concerning(tableName, values.current() < columnNames_.size() ? columnNames_[values.current()] : std::string());
    throw;
  } catch (...) {
    t->abortRecord();
    throw;
  }
  try {
    t->commitRecord();
  } catch (const data::Failure& f) {
    // The batch is lost and the table closed; it takes no more rows in this engine.
    throw endOpenTable(f, tableName, taken);
  }
  if (values.changedValues() > 0) countChangedValues(values.changedValues());
}

data::Failure Engine::endOpenTable(const data::Failure& f, const std::string& tableName, std::uint32_t taken) {
  data::Failure ended = tableFailure(kWriteError, f, tableName);
  std::unique_ptr<TableFile> closing = std::move(table_);
  tableRawName_.clear();
  try {
    closing->flush();  // the rows before this one, when they are still in memory
  } catch (const data::Failure& g) {
    ended = tableFailure(kWriteError, g, tableName);
  }
  markBroken(closing->dbfPath(), ended);
  // A failed batch loses the rows it held that earlier INSERTs had taken.
  ended.losing(tableName, taken - closing->recordCount());
  return ended;
}

void Engine::countChangedValues(std::size_t values) {
  auto it = std::find_if(changedValues_.begin(), changedValues_.end(),
                         [&](const ChangedValues& entry) { return entry.table == tableRawName_; });
  if (it == changedValues_.end()) changedValues_.push_back({tableRawName_, values, tableCodePage_->number()});
  else it->values += values;
}

std::vector<ChangedValues> Engine::takeChangedValues() {
  std::vector<ChangedValues> out;
  out.swap(changedValues_);
  return out;
}

std::vector<ListedTable> Engine::listTables() {
  flush();
  return catalog_->list();
}

}  // namespace tw::vfp
