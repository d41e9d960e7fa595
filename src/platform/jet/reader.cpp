#include "platform/jet/reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <optional>
#include <unordered_set>

#include "platform/ado_types.h"
#include "platform/calendar.h"
#include "platform/case_rules.h"
#include "platform/jet/crypto.h"

namespace tw::jet {

using tw::data::Failure;
using Bytes8 = std::vector<std::uint8_t>;
using PagePtr = std::shared_ptr<const Bytes8>;

// ---------------------------------------------------------------------------------------
// Page file: positioned reads, page decoding and a small page cache.

class PageFile {
 public:
  PageFile(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
  ~PageFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  PageFile(const PageFile&) = delete;
  PageFile& operator=(const PageFile&) = delete;

  std::uint64_t size() const { return size_; }
  void setPageSize(std::uint32_t pageSize) {
    pageSize_ = pageSize;
    pageCount_ = static_cast<std::uint32_t>(std::min<std::uint64_t>(size_ / pageSize, 0xFFFFFFFFu));
  }
  std::uint32_t pageCount() const { return pageCount_; }
  void setOldEncoding(std::uint32_t dbKey) { dbKey_ = dbKey; }
  void setCipher(std::unique_ptr<PageCipher> cipher) { cipher_ = std::move(cipher); }
  void setPage0(Bytes8 page0) { page0_ = std::make_shared<const Bytes8>(std::move(page0)); }

  // Reads `n` bytes at `offset`; false when the file is shorter or the read fails.
  bool readAt(std::uint64_t offset, std::uint8_t* out, std::size_t n) const {
    std::size_t done = 0;
    while (done < n) {
      ssize_t r = ::pread(fd_, out + done, n - done, static_cast<off_t>(offset + done));
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) return false;
      done += static_cast<std::size_t>(r);
    }
    return true;
  }

  // The decoded page, or null when it lies beyond the end of the file or cannot be read.
  PagePtr page(std::uint32_t number) {
    if (number == 0 && page0_) return page0_;
    if (number >= pageCount_) return nullptr;
    auto it = cache_.find(number);
    if (it != cache_.end()) return it->second;
    auto buffer = std::make_shared<Bytes8>(pageSize_);
    if (!readAt(static_cast<std::uint64_t>(number) * pageSize_, buffer->data(), pageSize_)) return nullptr;
    if (number != 0) {
      if (cipher_) {
        cipher_->decryptPage(number, *buffer);
      } else if (dbKey_ != 0) {
        std::uint32_t k = dbKey_ ^ number;
        std::uint8_t key[4] = {static_cast<std::uint8_t>(k), static_cast<std::uint8_t>(k >> 8),
                               static_cast<std::uint8_t>(k >> 16), static_cast<std::uint8_t>(k >> 24)};
        rc4(key, *buffer);
      }
    }
    if (cache_.size() >= kCacheCapacity) {
      cache_.erase(order_.front());
      order_.pop_front();
    }
    PagePtr shared = buffer;
    cache_.emplace(number, shared);
    order_.push_back(number);
    return shared;
  }

 private:
  static constexpr std::size_t kCacheCapacity = 256;
  int fd_;
  std::uint64_t size_;
  std::uint32_t pageSize_ = kPageSizeJet4;
  std::uint32_t pageCount_ = 0;
  std::uint32_t dbKey_ = 0;
  std::unique_ptr<PageCipher> cipher_;
  PagePtr page0_;
  std::unordered_map<std::uint32_t, PagePtr> cache_;
  std::deque<std::uint32_t> order_;
};

// ---------------------------------------------------------------------------------------
// Helpers.

namespace {

std::string quoteTable(const std::string& name) { return "table '" + name + "'"; }

// The [start, end) extent of row `row` of a data page, or false when the offset table
// says something impossible. `rawOffset` receives the flagged offset entry.
bool rowExtent(const Format& f, std::span<const std::uint8_t> page, std::size_t row, std::size_t& start,
               std::size_t& end, std::uint16_t& rawOffset) {
  const std::size_t table = f.dataRowTableOffset();
  std::size_t rows = u16(page, f.dataRowCountOffset());
  if (row >= rows || table + 2 * rows > page.size()) return false;
  rawOffset = u16(page, table + 2 * row);
  start = rawOffset & kRowOffsetMask;
  end = row == 0 ? page.size() : (u16(page, table + 2 * (row - 1)) & kRowOffsetMask);
  return start >= table + 2 * rows && start <= end && end <= page.size();
}

std::string decimalDigits(unsigned __int128 v) {
  if (v == 0) return "0";
  std::string s;
  while (v > 0) {
    s.push_back(static_cast<char>('0' + static_cast<int>(v % 10)));
    v /= 10;
  }
  std::reverse(s.begin(), s.end());
  return s;
}

// A value rendered as text for a multi-value list, as Access shows the items.
std::string itemText(const Value& v) {
  if (auto s = v.get<std::string>()) return *s;
  if (auto i = v.get<std::int64_t>()) return std::to_string(*i);
  if (auto b = v.get<bool>()) return *b ? "True" : "False";
  char buf[64];
  if (auto d = v.get<double>()) {
    std::snprintf(buf, sizeof buf, "%.15g", *d);
    return buf;
  }
  if (auto f = v.get<Single>()) {
    std::snprintf(buf, sizeof buf, "%.7g", static_cast<double>(f->value));
    return buf;
  }
  if (auto c = v.get<Currency>()) {
    std::int64_t s = c->scaled;
    bool neg = s < 0;
    unsigned long long m = neg ? 0ull - static_cast<unsigned long long>(s) : static_cast<unsigned long long>(s);
    std::snprintf(buf, sizeof buf, "%s%llu.%04llu", neg ? "-" : "", m / 10000, m % 10000);
    return buf;
  }
  if (auto d = v.get<Decimal>()) {
    std::string digits = d->digits;
    if (d->scale > 0) {
      if (digits.size() <= static_cast<std::size_t>(d->scale))
        digits.insert(0, static_cast<std::size_t>(d->scale) - digits.size() + 1, '0');
      digits.insert(digits.size() - static_cast<std::size_t>(d->scale), ".");
    }
    return (d->negative ? "-" : "") + digits;
  }
  if (auto g = v.get<Guid>()) {
    const auto& b = g->bytes;
    std::snprintf(buf, sizeof buf, "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", b[3],
                  b[2], b[1], b[0], b[5], b[4], b[7], b[6], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
    return buf;
  }
  if (auto t = v.get<DateTime>()) {
    std::snprintf(buf, sizeof buf, "%.10g", t->days);
    return buf;
  }
  return {};
}

}  // namespace

// Decodes the 42-byte Date/Time Extended text "DDDDDDDDDDDDDDDDDDD:TTTTTTTTTTTTTTTTTTT:P".
Value decodeDateTimeExtended(std::span<const std::uint8_t> b) {
  auto digitsAt = [&](std::size_t at, std::size_t n, std::int64_t& out) {
    if (at + n > b.size()) return false;
    std::int64_t v = 0;
    for (std::size_t i = 0; i < n; ++i) {
      std::uint8_t c = b[at + i];
      if (c < '0' || c > '9') return false;
      if (v > (INT64_MAX - 9) / 10) return false;
      v = v * 10 + (c - '0');
    }
    out = v;
    return true;
  };
  std::int64_t days = 0, ticks = 0;
  if (digitsAt(0, 19, days) && digitsAt(20, 19, ticks) && days < kExtendedDaysEnd && ticks < kTicksPerDay)
    return Value(ExtendedDateTime{days, ticks});
  // Not in that form: the text as it stands, so that nothing is lost.
  std::string text;
  for (std::uint8_t c : b) {
    if (c == 0) break;
    text.push_back(c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?');
  }
  return Value(text);
}

// ---------------------------------------------------------------------------------------
// Opening.

Database::~Database() = default;

std::unique_ptr<Database> Database::open(const std::string& path, const std::string& password) {
  std::unique_ptr<Database> db(new Database());
  db->path_ = path;
  const std::string unrecognized = "Unrecognized database format '" + path + "'.";
  if (path.empty()) throw Failure("Could not find file ''.");
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    int e = errno;
    if (e == ENOENT || e == ENOTDIR) throw Failure("Could not find file '" + path + "'.");
    if (e == EACCES || e == EPERM) throw Failure("Cannot open the file '" + path + "': permission denied.");
    throw Failure("Cannot open the file '" + path + "': " + std::strerror(e) + ".");
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    if (S_ISDIR(st.st_mode)) throw Failure("Cannot open '" + path + "': it is a folder, not a database file.");
    throw Failure(unrecognized);
  }
  db->file_ = std::make_unique<PageFile>(fd, static_cast<std::uint64_t>(st.st_size));
  db->readHeader(password);
  return db;
}

void Database::readHeader(const std::string& password) {
  const std::string unrecognized = "Unrecognized database format '" + path_ + "'.";
  Bytes8 head(kPageSizeJet3);
  if (file_->size() < kPageSizeJet3 || !file_->readAt(0, head.data(), head.size())) throw Failure(unrecognized);
  // 00 01 00 00 then the engine name.
  static const char kJet[] = "Standard Jet DB";
  static const char kAce[] = "Standard ACE DB";
  if (head[0] != kPageDatabase || head[1] != 1 || head[2] != 0 || head[3] != 0) throw Failure(unrecognized);
  if (std::memcmp(head.data() + kHeaderEngineNameOffset, kJet, 15) != 0 &&
      std::memcmp(head.data() + kHeaderEngineNameOffset, kAce, 15) != 0)
    throw Failure(unrecognized);
  if (!formatForVersion(head[kHeaderVersionOffset], format_)) throw Failure(unrecognized);
  if (file_->size() < static_cast<std::uint64_t>(format_.pageSize) * 3) throw Failure(unrecognized);
  Bytes8 page0(format_.pageSize);
  if (!file_->readAt(0, page0.data(), page0.size())) throw Failure(unrecognized);
  unmaskHeader(page0, format_.jet3());
  file_->setPageSize(format_.pageSize);

  codePage_ = u16(page0, kHeaderCodePageOffset);
  const std::uint32_t dbKey = u32(page0, kHeaderDbKeyOffset);

  if (format_.version <= Version::Jet4) {
    // The password kept in the header: code-page bytes (Jet 3) or UCS-2 XOR-masked with the
    // whole days of the creation date (Jet 4).
    std::span<const std::uint8_t> raw(page0.data() + kHeaderPasswordOffset, format_.passwordSize());
    Bytes8 pw(raw.begin(), raw.end());
    if (!format_.jet3()) {
      double created = f64(page0, kHeaderCreationDateOffset);
      std::int32_t days = 0;
      if (std::isfinite(created) && created > -2147483648.0 && created < 2147483647.0)
        days = static_cast<std::int32_t>(std::floor(created));
      std::uint32_t mask = static_cast<std::uint32_t>(days);
      for (std::size_t i = 0; i < pw.size(); ++i) pw[i] ^= static_cast<std::uint8_t>(mask >> (8 * (i % 4)));
      std::string text = decodeJet4Text(pw);
      storedPassword_ = text.substr(0, text.find('\0'));
    } else {
      std::size_t n = 0;
      while (n < pw.size() && pw[n] != 0) ++n;
      storedPassword_ = decodeCodePageText(std::span<const std::uint8_t>(pw.data(), n), codePage_);
    }
    if (!storedPassword_.empty() && password != storedPassword_) throw Failure("Not a valid password.");
    if (dbKey != 0) file_->setOldEncoding(dbKey);
  } else {
    // ACE: a password means an encrypted file; the cipher checks it.
    file_->setCipher(makePageCipher(page0, password));
  }
  file_->setPage0(std::move(page0));

  // Page 2 must be the catalog's TDEF; otherwise this is no database we can read (an
  // encrypted page decoded with the wrong key looks like this too).
  PagePtr p2 = file_->page(kCatalogTableDefPage);
  if (!p2 || (*p2)[0] != kPageTableDef) throw Failure(unrecognized);
}

std::uint32_t Database::pageCount() const { return file_->pageCount(); }
std::uint64_t Database::fileSize() const { return file_->size(); }

void Database::damaged(const std::string& what) const {
  throw Failure("The database '" + path_ + "' is damaged: " + what + ".");
}

PagePtr Database::page(std::uint32_t number, const std::string& context) {
  PagePtr p = file_->page(number);
  if (!p) {
    if (number >= file_->pageCount())
      damaged("page " + std::to_string(number) + " of " + context + " lies beyond the end of the file");
    damaged("page " + std::to_string(number) + " of " + context + " cannot be read");
  }
  return p;
}

std::string Database::decodeText(std::span<const std::uint8_t> bytes) const {
  return format_.jet3() ? decodeCodePageText(bytes, codePage_) : decodeJet4Text(bytes);
}

// ---------------------------------------------------------------------------------------
// Table definitions.

std::shared_ptr<const TableDef> Database::readTableDef(std::uint32_t tdefPage, const std::string& name) {
  auto cached = tableDefs_.find(tdefPage);
  if (cached != tableDefs_.end() && cached->second->name == name) return cached->second;
  std::shared_ptr<const TableDef> t = parseTableDef(tdefPage, name);
  if (catalogRead_ && tdefPage != kCatalogTableDefPage) {
    auto withProperties = std::make_shared<TableDef>(*t);
    applyProperties(*withProperties);
    t = withProperties;
  }
  if (tableDefs_.size() < 4096) tableDefs_[tdefPage] = t;
  return t;
}

std::shared_ptr<const TableDef> Database::parseTableDef(std::uint32_t tdefPage, const std::string& name) {
  const std::string ctx = quoteTable(name);
  const TableDefLayout& L = format_.tableDef();
  // Concatenate the TDEF chain, visiting each page once.
  Bytes8 def;
  std::unordered_set<std::uint32_t> seen;
  std::uint32_t next = tdefPage;
  while (next != 0) {
    if (!seen.insert(next).second)
      damaged("the definition of " + ctx + " runs in a circle at page " + std::to_string(next));
    if (seen.size() > 1024) damaged("the definition of " + ctx + " is implausibly long");
    PagePtr p = page(next, ctx);
    if ((*p)[0] != kPageTableDef)
      damaged("page " + std::to_string(next) + " of " + ctx + " is not a table definition page");
    if (def.empty()) def.insert(def.end(), p->begin(), p->end());
    else def.insert(def.end(), p->begin() + 8, p->end());
    next = u32(*p, 4);
  }
  auto t = std::make_shared<TableDef>();
  t->name = name;
  t->tdefPage = tdefPage;
  t->storedRowCount = u32(def, L.rowCount);
  t->varColumnCount = u16(def, L.varColumnCount);
  t->usageMap = u32(def, L.usageMap);
  const std::size_t columnCount = u16(def, L.columnCount);
  const std::uint64_t realIndexCount = u32(def, L.realIndexCount);
  const std::uint64_t columnsAt = L.realIndexStart + realIndexCount * L.realIndexEntrySize;
  const ColumnLayout& C = L.column;
  if (columnsAt + static_cast<std::uint64_t>(columnCount) * C.entrySize > def.size())
    damaged("the definition of " + ctx + " is cut short");
  std::size_t namePos = static_cast<std::size_t>(columnsAt) + columnCount * C.entrySize;
  t->columns.reserve(columnCount);
  for (std::size_t i = 0; i < columnCount; ++i) {
    std::span<const std::uint8_t> e(def.data() + columnsAt + i * C.entrySize, C.entrySize);
    ColumnDef c;
    c.type = u8(e, C.type);
    c.number = u16(e, C.number);
    c.varIndex = u16(e, C.varIndex);
    c.fixedOffset = u16(e, C.fixedOffset);
    c.length = u16(e, C.length);
    c.flags = u8(e, C.flags);
    if (C.extFlags >= 0) c.extFlags = u8(e, static_cast<std::size_t>(C.extFlags));
    if (c.type == kTypeNumeric) {
      c.precision = u8(e, C.precision);
      c.scale = u8(e, C.scale);
    }
    if (c.type == kTypeComplex && !format_.jet3()) c.complexId = static_cast<std::int32_t>(u32(e, C.complexId));
    std::size_t nameLength = C.nameLengthSize == 1 ? u8(def, namePos) : u16(def, namePos);
    namePos += C.nameLengthSize;
    if (namePos + nameLength > def.size()) damaged("the column names of " + ctx + " are cut short");
    c.name = decodeText(std::span<const std::uint8_t>(def.data() + namePos, nameLength));
    namePos += nameLength;
    t->columns.push_back(std::move(c));
  }
  std::stable_sort(t->columns.begin(), t->columns.end(),
                   [](const ColumnDef& a, const ColumnDef& b) { return a.number < b.number; });
  return t;
}

// ---------------------------------------------------------------------------------------
// Long values.

Bytes8 Database::lvalRow(std::uint32_t pointer, const std::string& context) {
  const std::uint32_t pageNo = rowPointerPage(pointer);
  const std::uint32_t row = rowPointerRow(pointer);
  PagePtr p = page(pageNo, context);
  if ((*p)[0] != kPageData) damaged("page " + std::to_string(pageNo) + " of " + context + " is not a data page");
  std::size_t start = 0, end = 0;
  std::uint16_t raw = 0;
  if (!rowExtent(format_, *p, row, start, end, raw))
    damaged("row " + std::to_string(row) + " on page " + std::to_string(pageNo) + " of " + context +
            " does not exist");
  return Bytes8(p->begin() + static_cast<std::ptrdiff_t>(start), p->begin() + static_cast<std::ptrdiff_t>(end));
}

Bytes8 Database::longValue(std::span<const std::uint8_t> field, const std::string& context) {
  if (field.size() < kLongValueHeaderSize) {
    if (field.empty()) return {};
    damaged("a long value of " + context + " has a field of " + std::to_string(field.size()) + " bytes");
  }
  const std::uint32_t word = u32(field, 0);
  const std::uint32_t length = word & kLongValueLengthMask;
  const std::uint32_t kind = word & kLongValueKindMask;
  if (length > file_->size())
    damaged("a long value of " + context + " claims " + std::to_string(length) + " bytes, more than the file holds");
  const std::uint32_t pointer = u32(field, 4);
  if (kind == kLongValueInline) {
    if (kLongValueHeaderSize + length > field.size())
      damaged("an inline long value of " + context + " runs past its row");
    return Bytes8(field.begin() + kLongValueHeaderSize, field.begin() + kLongValueHeaderSize + length);
  }
  if (kind == kLongValueSingle) {
    Bytes8 row = lvalRow(pointer, context);
    if (row.size() < length) damaged("a long value of " + context + " is shorter than its length says");
    row.resize(length);
    return row;
  }
  if (kind != kLongValueChain) damaged("a long value of " + context + " has an unknown storage kind");
  Bytes8 out;
  out.reserve(std::min<std::size_t>(length, 1u << 20));
  std::unordered_set<std::uint32_t> seen;
  std::uint32_t next = pointer;
  while (out.size() < length) {
    if (next == 0) damaged("a long value of " + context + " ends before its length");
    if (!seen.insert(next).second) damaged("a long value of " + context + " runs in a circle");
    Bytes8 row = lvalRow(next, context);
    if (row.size() < 4) damaged("a long value of " + context + " has an empty part");
    next = u32(row, 0);
    std::size_t take = std::min<std::size_t>(row.size() - 4, length - out.size());
    out.insert(out.end(), row.begin() + 4, row.begin() + 4 + static_cast<std::ptrdiff_t>(take));
  }
  return out;
}

// ---------------------------------------------------------------------------------------
// The catalog.

const std::vector<CatalogEntry>& Database::catalog() {
  if (!catalogRead_) {
    readCatalog();
    catalogRead_ = true;
  }
  return catalog_;
}

void Database::readCatalog() {
  auto def = readTableDef(kCatalogTableDefPage, "MSysObjects");
  int idCol = -1, nameCol = -1, typeCol = -1, flagsCol = -1, connectCol = -1, propertiesCol = -1;
  for (std::size_t i = 0; i < def->columns.size(); ++i) {
    const std::string& n = def->columns[i].name;
    if (n == "Id") idCol = static_cast<int>(i);
    else if (n == "Name") nameCol = static_cast<int>(i);
    else if (n == "Type") typeCol = static_cast<int>(i);
    else if (n == "Flags") flagsCol = static_cast<int>(i);
    else if (n == "Connect") connectCol = static_cast<int>(i);
    else if (n == "LvProp") propertiesCol = static_cast<int>(i);
  }
  if (idCol < 0 || nameCol < 0 || typeCol < 0) damaged("the catalog MSysObjects lacks its Id, Name or Type column");
  TableCursor cursor(*this, def);
  std::vector<Value> row;
  // A catalog row that cannot be read could be any table's: rather than let that table go
  // missing without a word, the whole file counts as unreadable (the failure names the
  // catalog and the page).
  while (cursor.next(row)) {
    CatalogEntry e;
    const Value& name = row[static_cast<std::size_t>(nameCol)];
    if (!name.is<std::string>()) continue;
    e.name = name.as<std::string>();
    if (auto v = row[static_cast<std::size_t>(typeCol)].get<std::int64_t>()) e.type = static_cast<int>(*v);
    if (auto v = row[static_cast<std::size_t>(idCol)].get<std::int64_t>()) e.id = static_cast<std::uint32_t>(*v);
    if (flagsCol >= 0)
      if (auto v = row[static_cast<std::size_t>(flagsCol)].get<std::int64_t>())
        e.flags = static_cast<std::uint32_t>(*v);
    if (connectCol >= 0)
      if (auto v = row[static_cast<std::size_t>(connectCol)].get<std::string>()) e.hasConnect = !v->empty();
    if (propertiesCol >= 0 && e.type == kObjectTable)
      if (auto v = row[static_cast<std::size_t>(propertiesCol)].get<Bytes>()) e.properties = *v;
    catalog_.push_back(std::move(e));
  }
}

const CatalogEntry* Database::findTable(const std::string& name) {
  for (const CatalogEntry& e : catalog())
    if (e.type == kObjectTable && equalsIgnoringCase(e.name, name)) return &e;
  return nullptr;
}

std::optional<std::uint32_t> Database::flatTableFor(std::uint32_t tablePage, std::int32_t complexId,
                                                    const std::string& columnName) {
  if (!complexError_.empty()) throw Failure(complexError_);
  if (!complexRead_) {
    complexRead_ = true;
    try {
      readComplexColumns();
    } catch (const Failure& f) {
      // Every complex column depends on this table: each one asking is told.
      complexError_ = f.description();
      throw;
    }
  }
  for (const ComplexColumn& cc : complexColumns_)
    if (cc.conceptualTable == tablePage && cc.complexId == complexId) return cc.flatTable;
  for (const ComplexColumn& cc : complexColumns_)
    if (cc.conceptualTable == tablePage && equalsIgnoringCase(cc.columnName, columnName)) return cc.flatTable;
  return std::nullopt;
}

void Database::readComplexColumns() {
  for (const CatalogEntry& e : catalog()) {
    if (e.type != kObjectTable || e.name != "MSysComplexColumns") continue;
    auto def = readTableDef(e.tdefPage(), e.name);
    std::map<std::string, int> col;
    for (std::size_t i = 0; i < def->columns.size(); ++i) col[def->columns[i].name] = static_cast<int>(i);
    if (!col.count("ColumnName") || !col.count("ComplexID") || !col.count("ConceptualTableID") ||
        !col.count("FlatTableID"))
      break;
    TableCursor cursor(*this, def);
    std::vector<Value> row;
    while (cursor.next(row)) {
      ComplexColumn cc;
      auto num = [&](const char* n) -> std::int64_t {
        auto v = row[static_cast<std::size_t>(col[n])].get<std::int64_t>();
        return v ? *v : 0;
      };
      if (auto s = row[static_cast<std::size_t>(col["ColumnName"])].get<std::string>()) cc.columnName = *s;
      cc.complexId = static_cast<std::int32_t>(num("ComplexID"));
      cc.conceptualTable = static_cast<std::uint32_t>(num("ConceptualTableID")) & kObjectIdPageMask;
      cc.flatTable = static_cast<std::uint32_t>(num("FlatTableID")) & kObjectIdPageMask;
      complexColumns_.push_back(cc);
    }
    break;
  }
}

// ---------------------------------------------------------------------------------------
// Complex columns: values gathered from the hidden flat table, keyed by the row's int32.

struct TableCursor::Complex {
  bool attachment = false;
  std::unordered_map<std::int32_t, std::string> joined;  // multi-value: items joined by "; "
  std::unordered_map<std::int32_t, Bytes8> firstFile;    // attachments: the first file's content
};

namespace {

// Inflates a zlib stream into at most `limit` bytes, growing the output as the stream
// yields data rather than trusting the stored length; false when the stream is damaged
// or longer than the limit.
bool inflateBounded(std::span<const std::uint8_t> in, std::uint32_t limit, Bytes8& out) {
  constexpr std::size_t kStep = 64 * 1024;
  out.clear();
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return false;
  z.next_in = const_cast<Bytef*>(in.data());
  z.avail_in = static_cast<uInt>(in.size());
  int rc = Z_OK;
  while (rc == Z_OK) {
    std::size_t used = out.size();
    if (used >= limit) break;
    out.resize(std::min<std::size_t>(limit, used + kStep));
    z.next_out = out.data() + used;
    z.avail_out = static_cast<uInt>(out.size() - used);
    rc = inflate(&z, Z_NO_FLUSH);
    out.resize(out.size() - z.avail_out);
    if (rc == Z_BUF_ERROR && z.avail_in == 0) break;  // the input ended before the stream
  }
  inflateEnd(&z);
  return rc == Z_STREAM_END;
}

// The content of an attachment's FileData: uint32 flag (0 raw, 1 deflated), uint32 length,
// then the (possibly zlib-compressed) content, which starts with a uint32 header length
// followed by that many header bytes (the file type) before the file itself. Nothing
// when the data is damaged: a damaged attachment reads as null, never as other bytes.
std::optional<Bytes8> attachmentContent(const Bytes8& data) {
  if (data.size() < 8) return std::nullopt;
  std::uint32_t flag = u32(data, 0);
  std::uint32_t length = u32(data, 4);
  Bytes8 content;
  if (flag == 1) {
    if (length > (256u << 20)) return std::nullopt;
    if (!inflateBounded(std::span<const std::uint8_t>(data).subspan(8), length, content)) return std::nullopt;
  } else if (flag == 0) {
    content.assign(data.begin() + 8, data.end());
  } else {
    return std::nullopt;
  }
  std::span<const std::uint8_t> c(content);
  std::uint32_t header = u32(c, 0);
  std::size_t end = std::min<std::size_t>(length, c.size());
  if (header < 4 || header > end) return Bytes8(c.begin(), c.end());
  return Bytes8(c.begin() + header, c.begin() + static_cast<std::ptrdiff_t>(end));
}

}  // namespace

TableCursor::TableCursor(Database& db, std::shared_ptr<const TableDef> table)
    : db_(db), table_(std::move(table)), context_(quoteTable(table_->name)) {}
TableCursor::~TableCursor() = default;

// ---------------------------------------------------------------------------------------
// Row walking.

void TableCursor::resolveComplex() {
  complexResolved_ = true;
  complex_.resize(table_->columns.size());
  for (std::size_t i = 0; i < table_->columns.size(); ++i) {
    const ColumnDef& c = table_->columns[i];
    if (c.type != kTypeComplex) continue;
    try {
      auto flat = db_.flatTableFor(table_->tdefPage, c.complexId, c.name);
      if (!flat || *flat == table_->tdefPage) continue;
      auto fdef = db_.readTableDef(*flat, table_->name + "." + c.name);
      auto cx = std::make_unique<Complex>();
      // The flat table holds the key column "_<column>" (named after the column as it was
      // created), an AutoNumber id "<table>_<column>" and the values: FileData and its
      // companions for attachments, one value column otherwise.
      int fk = -1, value = -1, fileData = -1;
      for (std::size_t k = 0; k < fdef->columns.size(); ++k) {
        const ColumnDef& fc = fdef->columns[k];
        if (fk < 0 && fc.type == kTypeLong && !(fc.flags & kFlagAutoLong) && !fc.name.empty() && fc.name[0] == '_')
          fk = static_cast<int>(k);
        if (fc.name == "FileData") fileData = static_cast<int>(k);
      }
      if (fk >= 0) {
        const std::string& fkName = fdef->columns[static_cast<std::size_t>(fk)].name;
        for (std::size_t k = 0; k < fdef->columns.size() && value < 0; ++k) {
          const ColumnDef& fc = fdef->columns[k];
          bool isId = (fc.flags & kFlagAutoLong) ||
                      (fc.name.size() > fkName.size() &&
                       fc.name.compare(fc.name.size() - fkName.size(), fkName.size(), fkName) == 0);
          if (static_cast<int>(k) != fk && !isId) value = static_cast<int>(k);
        }
      }
      cx->attachment = fileData >= 0;
      if (fk >= 0 && fdef->columns[static_cast<std::size_t>(fk)].type != kTypeComplex) {
        TableCursor flatCursor(db_, fdef);
        flatCursor.complexResolved_ = true;  // a flat table holds no complex columns itself
        std::vector<Value> row;
        // Bounded: every call moves on by one row or one page.
        for (;;) {
          bool more;
          try {
            more = flatCursor.next(row);
          } catch (const Failure& f) {
            // The values of that row are missing from the column: said once per table.
            if (complexError_.empty()) complexError_ = f.description();
            continue;
          }
          if (!more) break;
          auto key = row[static_cast<std::size_t>(fk)].get<std::int64_t>();
          if (!key) continue;
          std::int32_t k = static_cast<std::int32_t>(*key);
          if (cx->attachment) {
            if (cx->firstFile.count(k)) continue;
            const Value& v = row[static_cast<std::size_t>(fileData)];
            if (!v.is<Bytes>()) {
              cx->firstFile[k] = Bytes8{};
            } else if (auto content = attachmentContent(v.as<Bytes>())) {
              cx->firstFile[k] = std::move(*content);
            }
          } else if (value >= 0) {
            const Value& v = row[static_cast<std::size_t>(value)];
            if (v.isNull()) continue;
            auto [it, fresh] = cx->joined.try_emplace(k);
            if (!fresh) it->second += "; ";
            it->second += itemText(v);
          }
        }
      }
      complex_[i] = std::move(cx);
    } catch (const Failure& f) {
      // An unreadable flat table leaves the column's values null and the rest of the table
      // readable; the failure is passed on once, before the first row.
      if (complexError_.empty()) complexError_ = f.description();
    }
  }
}

void TableCursor::loadPages() {
  const std::string& ctx = context_;
  Bytes8 map = db_.lvalRow(table_->usageMap, ctx);
  if (map.empty()) db_.damaged("the page map of " + ctx + " is empty");
  const std::uint32_t pages = db_.pageCount();
  auto addBits = [&](std::span<const std::uint8_t> bits, std::uint64_t first) {
    for (std::size_t i = 0; i < bits.size(); ++i) {
      std::uint8_t byte = bits[i];
      if (!byte) continue;
      for (unsigned b = 0; b < 8; ++b) {
        if (!(byte & (1u << b))) continue;
        std::uint64_t p = first + i * 8 + b;
        if (p < pages) {
          pages_.push_back(static_cast<std::uint32_t>(p));
        } else if (p <= 0xFFFFFFFFu) {
          // A page the map lists but the file does not hold: the file was cut short.
          if (pagesBeyondEnd_++ == 0) firstPageBeyondEnd_ = static_cast<std::uint32_t>(p);
        }
      }
    }
  };
  if (map[0] == kUsageMapInline) {
    if (map.size() >= kUsageMapInlineBitmapOffset)
      addBits(std::span<const std::uint8_t>(map).subspan(kUsageMapInlineBitmapOffset), u32(map, 1));
  } else if (map[0] == kUsageMapIndirect) {
    const std::uint64_t perPage = (static_cast<std::uint64_t>(db_.format().pageSize) - kUsageMapPageBitmapOffset) * 8;
    for (std::size_t m = 0; 1 + m * 4 + 4 <= map.size(); ++m) {
      std::uint32_t mp = u32(map, 1 + m * 4);
      if (mp == 0) continue;
      auto mpage = db_.page(mp, ctx);
      if ((*mpage)[0] != kPageUsageMap)
        db_.damaged("page " + std::to_string(mp) + " of " + ctx + " is not a page map");
      addBits(std::span<const std::uint8_t>(*mpage).subspan(kUsageMapPageBitmapOffset), m * perPage);
    }
  } else {
    db_.damaged("the page map of " + ctx + " has the unknown type " + std::to_string(map[0]));
  }
}

void TableCursor::ensurePages() {
  if (pagesKnown_) return;
  pagesKnown_ = true;
  try {
    loadPages();
  } catch (const Failure& f) {
    pages_.clear();
    pagesBeyondEnd_ = 0;
    pageMapError_ = f.description();
  }
}

std::shared_ptr<const std::vector<std::uint8_t>> TableCursor::dataPage(std::uint32_t number, std::size_t& rows) {
  const std::string& ctx = context_;
  auto p = db_.page(number, ctx);
  if ((*p)[0] != kPageData) db_.damaged("page " + std::to_string(number) + " of " + ctx + " is not a data page");
  if (u32(*p, kDataPageOwnerOffset) != table_->tdefPage)
    db_.damaged("page " + std::to_string(number) + " of " + ctx + " belongs to another table");
  const Format& f = db_.format();
  rows = u16(*p, f.dataRowCountOffset());
  if (f.dataRowTableOffset() + 2 * rows > p->size())
    db_.damaged("page " + std::to_string(number) + " of " + ctx + " claims " + std::to_string(rows) + " rows");
  return p;
}

bool TableCursor::advancePage() {
  page_.reset();
  rowIndex_ = 0;
  rowsOnPage_ = 0;
  if (!started_) {
    started_ = true;
    pageIndex_ = 0;
    ensurePages();
    if (!pageMapError_.empty()) {
      // Reported once; the table then has no rows.
      std::string e;
      e.swap(pageMapError_);
      throw Failure(e);
    }
  } else if (pageIndex_ < pages_.size()) {
    ++pageIndex_;
  }
  if (pageIndex_ >= pages_.size()) {
    if (pagesBeyondEnd_ > 0) {
      // Reported once, after every row the file still holds.
      const std::uint32_t more = pagesBeyondEnd_ - 1;
      pagesBeyondEnd_ = 0;
      db_.damaged(context_ + " ends early: its page " + std::to_string(firstPageBeyondEnd_) +
                  (more ? " and " + std::to_string(more) + " more lie" : " lies") +
                  " beyond the end of the file, which is cut short");
    }
    return false;
  }
  pageNumber_ = pages_[pageIndex_];
  std::size_t rows = 0;
  page_ = dataPage(pageNumber_, rows);
  rowsOnPage_ = rows;
  return true;
}

void TableCursor::forEachLiveRow(const std::function<void(std::uint32_t page, std::size_t row)>& visit) {
  // Looks only at the row offset tables. A page that cannot be read holds no rows here
  // (reading it reports the damage once).
  ensurePages();
  const Format& f = db_.format();
  for (std::uint32_t number : pages_) {
    std::size_t rows = 0;
    std::shared_ptr<const std::vector<std::uint8_t>> p;
    try {
      p = dataPage(number, rows);
    } catch (const Failure&) {
      continue;
    }
    for (std::size_t r = 0; r < rows; ++r)
      if (!(u16(*p, f.dataRowTableOffset() + 2 * r) & kRowDeletedFlag)) visit(number, r);
  }
}

std::int64_t TableCursor::countRows() {
  std::int64_t count = 0;
  forEachLiveRow([&](std::uint32_t, std::size_t) { ++count; });
  return count;
}

bool TableCursor::next(std::vector<Value>& row) {
  if (finished_) return false;
  bool more = false;
  try {
    more = nextRow(row);
  } catch (const Failure&) {
    failed_ = true;
    throw;
  }
  if (more) {
    ++delivered_;
    return true;
  }
  finished_ = true;
  // The definition counts the table's rows. Access lets that count fall behind (after an
  // unclean shutdown it may even read 0), but a walk that found fewer rows than it says,
  // without meeting any damage on the way, may have lost some (a page map cut short, say):
  // never let that pass for the whole table.
  if (!failed_ && delivered_ < table_->storedRowCount)
    db_.damaged(context_ + " may be incomplete: its definition counts " + std::to_string(table_->storedRowCount) +
                " rows, but only " + std::to_string(delivered_) + " were found");
  return false;
}

bool TableCursor::nextRow(std::vector<Value>& row) {
  const Format& f = db_.format();
  if (!complexResolved_) {
    resolveComplex();
    if (!complexError_.empty()) {
      std::string e;
      e.swap(complexError_);
      throw Failure(e);
    }
  }
  if (!propertiesReported_) {
    // Reported once, before the first row: the values that depend on the properties
    // (calculated columns) read as null, every other value as stored.
    propertiesReported_ = true;
    if (!table_->propertiesError.empty()) throw Failure(table_->propertiesError);
  }
  for (;;) {
    if (!page_ || rowIndex_ >= rowsOnPage_) {
      // advancePage throws for a damaged page; the next call moves past it.
      if (!advancePage()) return false;
      continue;
    }
    const std::size_t r = rowIndex_++;
    std::span<const std::uint8_t> p(*page_);
    std::uint16_t raw = u16(p, f.dataRowTableOffset() + 2 * r);
    if (raw & kRowDeletedFlag) continue;
    std::size_t start = 0, end = 0;
    const std::string& ctx = context_;
    if (!rowExtent(f, p, r, start, end, raw))
      db_.damaged("row " + std::to_string(r) + " on page " + std::to_string(pageNumber_) + " of " + ctx +
                  " lies outside its page");
    if (raw & kRowOverflowFlag) {
      // The row moved: follow the pointer (one hop; the target is a plain row).
      if (end - start < 4)
        db_.damaged("row " + std::to_string(r) + " on page " + std::to_string(pageNumber_) + " of " + ctx +
                    " has a short overflow pointer");
      std::uint32_t pointer = u32(p, start);
      std::uint32_t target = rowPointerPage(pointer);
      PagePtr keep = page_;
      auto tp = db_.page(target, ctx);
      if ((*tp)[0] != kPageData || u32(*tp, kDataPageOwnerOffset) != table_->tdefPage)
        db_.damaged("page " + std::to_string(target) + " of " + ctx + " is not a data page");
      std::size_t ts = 0, te = 0;
      std::uint16_t traw = 0;
      if (!rowExtent(f, *tp, rowPointerRow(pointer), ts, te, traw) || (traw & kRowOverflowFlag))
        db_.damaged("the overflow row of row " + std::to_string(r) + " on page " + std::to_string(pageNumber_) +
                    " of " + ctx + " does not exist");
      decodeRow(*tp, target, ts, te, row);
      return true;
    }
    decodeRow(p, pageNumber_, start, end, row);
    return true;
  }
}

// Where the parts of a row lie.
struct TableCursor::RowLayout {
  std::size_t ccs = 0;          // bytes of the column count that opens the row
  std::size_t columnCount = 0;  // the columns the row was written with
  std::size_t maskAt = 0;       // the null mask, which ends the row
  std::size_t tail = 0;         // first byte of the trailing tables, where the data ends
  std::size_t varCount = 0;     // variable columns; varOffsets_ holds varCount + 1 offsets
};

void TableCursor::badRow(std::uint32_t pageNumber, const std::string& what) const {
  db_.damaged("a row on page " + std::to_string(pageNumber) + " of " + context_ + " " + what);
}

TableCursor::RowLayout TableCursor::rowLayout(std::span<const std::uint8_t> rowBytes, std::uint32_t pageNumber) {
  const Format& f = db_.format();
  const std::size_t len = rowBytes.size();
  RowLayout at;
  at.ccs = f.rowColumnCountSize();
  if (len < at.ccs + 1) badRow(pageNumber, "is too short");
  at.columnCount = at.ccs == 1 ? u8(rowBytes, 0) : u16(rowBytes, 0);
  const std::size_t maskSize = (at.columnCount + 7) / 8;
  if (maskSize + at.ccs > len) badRow(pageNumber, "has a null mask larger than the row");
  at.maskAt = len - maskSize;
  at.tail = at.maskAt;
  // Offsets of the variable columns, varCount + 1 entries (the last is the end of data).
  varOffsets_.clear();
  if (table_->varColumnCount > 0) {
    if (f.jet3()) readJet3VarOffsets(rowBytes, pageNumber, at);
    else readJet4VarOffsets(rowBytes, pageNumber, at);
  }
  return at;
}

void TableCursor::readJet3VarOffsets(std::span<const std::uint8_t> rowBytes, std::uint32_t pageNumber,
                                     RowLayout& at) {
  std::vector<std::size_t>& offs = varOffsets_;
  const std::size_t len = rowBytes.size();
  const std::size_t maskAt = at.maskAt;
  if (maskAt < 1 + at.ccs) badRow(pageNumber, "has no room for its variable column count");
  const std::size_t varCount = at.varCount = u8(rowBytes, maskAt - 1);
  std::size_t jumps = (len - 1) / 256;
  if (maskAt < 1 + jumps) badRow(pageNumber, "has no room for its jump table");
  // Offset entry 0 sits below the var count and the jump table as sized by the row
  // length; when the offsets never reach the last 256-byte segment, that last jump
  // entry is a dummy: it keeps its byte but does not count.
  const std::size_t firstEntry = maskAt - 1 - jumps - 1;
  if (jumps > 0 && (firstEntry < varCount || firstEntry - varCount < 256 * jumps)) --jumps;
  if (firstEntry + 1 < varCount + 1 + at.ccs) badRow(pageNumber, "has more variable columns than room");
  std::size_t used = 0;
  for (std::size_t i = 0; i <= varCount; ++i) {
    while (used < jumps && i == u8(rowBytes, maskAt - 2 - used)) ++used;
    offs.push_back(u8(rowBytes, firstEntry - i) + used * 256);
  }
  at.tail = firstEntry - varCount;
}

void TableCursor::readJet4VarOffsets(std::span<const std::uint8_t> rowBytes, std::uint32_t pageNumber,
                                     RowLayout& at) {
  const std::size_t maskAt = at.maskAt;
  if (maskAt < 2 + at.ccs) badRow(pageNumber, "has no room for its variable column count");
  const std::size_t varCount = at.varCount = u16(rowBytes, maskAt - 2);
  if (2 * (varCount + 1) + 2 + at.ccs > maskAt) badRow(pageNumber, "has more variable columns than room");
  for (std::size_t i = 0; i <= varCount; ++i) varOffsets_.push_back(u16(rowBytes, maskAt - 4 - 2 * i));
  at.tail = maskAt - 2 - 2 * (varCount + 1);
}

bool TableCursor::columnBytes(const ColumnDef& c, std::span<const std::uint8_t> rowBytes, const RowLayout& at,
                              std::uint32_t pageNumber, std::span<const std::uint8_t>& data) const {
  if (c.fixed()) {
    // A calculated column takes its declared length (its value is wrapped, see
    // decodeColumn), every other one the size of its type.
    std::size_t size = fixedSizeOf(c.type);
    if (size == 0 || c.calculated()) size = std::max<std::size_t>(size, c.length);
    const std::size_t from = at.ccs + c.fixedOffset;
    // Columns added after the row was written lie past its fixed data: null.
    if (from + size > at.tail) return false;
    data = rowBytes.subspan(from, size);
    return true;
  }
  if (c.varIndex >= at.varCount) return false;
  std::size_t s = varOffsets_[c.varIndex], e = varOffsets_[c.varIndex + 1];
  if (s > e || e > at.tail) badRow(pageNumber, "has a variable column outside the row");
  data = rowBytes.subspan(s, e - s);
  return true;
}

Value TableCursor::complexValue(std::size_t column, std::span<const std::uint8_t> data) const {
  std::int32_t key = static_cast<std::int32_t>(u32(data, 0));
  const Complex* cx = column < complex_.size() ? complex_[column].get() : nullptr;
  if (!cx) return Value();
  if (cx->attachment) {
    auto it = cx->firstFile.find(key);
    return it == cx->firstFile.end() ? Value() : Value(it->second);
  }
  auto it = cx->joined.find(key);
  return it == cx->joined.end() ? Value() : Value(it->second);
}

void TableCursor::decodeRow(std::span<const std::uint8_t> page, std::uint32_t pageNumber, std::size_t start,
                            std::size_t end, std::vector<Value>& out) {
  const std::span<const std::uint8_t> rowBytes = page.subspan(start, end - start);
  const RowLayout at = rowLayout(rowBytes, pageNumber);
  const auto& cols = table_->columns;
  out.resize(cols.size());
  for (std::size_t i = 0; i < cols.size(); ++i) {
    const ColumnDef& c = cols[i];
    const bool present = c.number < at.columnCount && (rowBytes[at.maskAt + c.number / 8] & (1u << (c.number % 8)));
    if (c.type == kTypeBool && !c.calculated()) {
      out[i] = Value(present);
      continue;
    }
    std::span<const std::uint8_t> data;
    if (!present || c.resultTypeLost || !columnBytes(c, rowBytes, at, pageNumber, data)) {
      out[i] = Value();
      continue;
    }
    out[i] = c.type == kTypeComplex ? complexValue(i, data) : decodeColumn(c, data, pageNumber);
  }
}

Value TableCursor::decodeColumn(const ColumnDef& c, std::span<const std::uint8_t> data, std::uint32_t pageNumber) {
  if (c.calculated()) return decodeCalculated(c, data, pageNumber);
  auto need = [&](std::size_t n) {
    if (data.size() < n)
      db_.damaged("a value of column '" + c.name + "' on page " + std::to_string(pageNumber) + " of " + context_ +
                  " is cut short");
  };
  switch (c.type) {
    case kTypeByte: need(1); return Value(static_cast<std::int64_t>(data[0]));
    case kTypeInt: need(2); return Value(static_cast<std::int64_t>(static_cast<std::int16_t>(u16(data, 0))));
    case kTypeLong: need(4); return Value(static_cast<std::int64_t>(static_cast<std::int32_t>(u32(data, 0))));
    case kTypeBigInt: need(8); return Value(static_cast<std::int64_t>(u64(data, 0)));
    case kTypeMoney: need(8); return Value(Currency{static_cast<std::int64_t>(u64(data, 0))});
    case kTypeFloat: need(4); return Value(Single{f32(data, 0)});
    case kTypeDouble: need(8); return Value(f64(data, 0));
    case kTypeDateTime: need(8); return Value(DateTime{f64(data, 0)});
    case kTypeGuid: {
      need(16);
      Guid g;
      std::copy_n(data.begin(), 16, g.bytes.begin());
      return Value(g);
    }
    case kTypeNumeric: {
      need(17);
      unsigned __int128 v = 0;
      for (int k = 0; k < 4; ++k) v = (v << 32) | u32(data, 1 + 4 * static_cast<std::size_t>(k));
      Decimal d;
      d.digits = decimalDigits(v);
      d.negative = (data[0] & 0x80) && v != 0;
      d.scale = c.scale;
      return Value(d);
    }
    case kTypeDateTimeExt: return decodeDateTimeExtended(data);
    case kTypeText: return Value(db_.decodeText(data));
    case kTypeBinary: return Value(Bytes(data.begin(), data.end()));
    case kTypeMemo: return Value(db_.decodeText(db_.longValue(data, context_)));
    case kTypeOle: return Value(db_.longValue(data, context_));
    default: return Value(Bytes(data.begin(), data.end()));
  }
}

namespace {

// The result bytes of a calculated value: behind a 20-byte header whose uint32 at 16 is
// their length (cut to what is there).
std::span<const std::uint8_t> unwrapCalculated(std::span<const std::uint8_t> stored) {
  if (stored.size() < kCalculatedHeaderSize) return {};
  std::size_t n = u32(stored, kCalculatedLengthOffset);
  return stored.subspan(kCalculatedHeaderSize, std::min(n, stored.size() - kCalculatedHeaderSize));
}

}  // namespace

Value TableCursor::decodeCalculated(const ColumnDef& c, std::span<const std::uint8_t> stored,
                                    std::uint32_t pageNumber) {
  // The stored result of an expression, in the type of its result. Memo results are long
  // values whose bytes are wrapped; all others are wrapped in the row.
  if (c.type == kTypeMemo) return Value(db_.decodeText(unwrapCalculated(db_.longValue(stored, context_))));
  std::span<const std::uint8_t> data = unwrapCalculated(stored);
  switch (c.type) {
    case kTypeBool: return Value(!data.empty() && data[0] != 0);
    case kTypeText: return Value(db_.decodeText(data));
    case kTypeOle:
    case kTypeBinary: return Value(Bytes(data.begin(), data.end()));
    case kTypeNumeric: {
      // int16 length of what follows it, scale, sign, then the magnitude in whole 32-bit
      // units, most significant first: a lone leading unit as uint32, then uint64s.
      if (data.size() < 4)
        db_.damaged("a value of column '" + c.name + "' on page " + std::to_string(pageNumber) + " of " + context_ +
                    " is cut short");
      const std::size_t stated = u16(data, 0);
      std::size_t n = data.size() - 4;
      if (stated >= 2) n = std::min(n, stated - 2);
      n = std::min<std::size_t>(n / 4 * 4, 16);
      unsigned __int128 v = 0;
      std::size_t at = 4;
      if (n % 8 != 0) {
        v = u32(data, at);
        at += 4;
      }
      for (; at + 8 <= 4 + n; at += 8) v = (v << 64) | u64(data, at);
      Decimal d;
      d.digits = decimalDigits(v);
      d.scale = u8(data, 2);
      d.negative = u8(data, 3) != 0 && v != 0;
      return Value(d);
    }
    default: {
      // Fixed-size results; a short one is padded with zeros.
      Bytes8 padded(data.begin(), data.end());
      padded.resize(std::max(padded.size(), fixedSizeOf(c.type)), 0);
      ColumnDef plain = c;
      plain.extFlags = 0;
      return decodeColumn(plain, padded, pageNumber);
    }
  }
}

// ---------------------------------------------------------------------------------------

std::optional<std::string> parseSelectAll(const std::string& source) {
  std::size_t i = 0;
  auto skipBlanks = [&] {
    while (i < source.size() && (source[i] == ' ' || source[i] == '\t' || source[i] == '\r' || source[i] == '\n'))
      ++i;
  };
  auto keyword = [&](std::string_view k) {
    skipBlanks();
    if (source.size() - i < k.size() || !equalsIgnoringAsciiCase(std::string_view(source).substr(i, k.size()), k))
      return false;
    i += k.size();
    return true;
  };
  if (!keyword("SELECT") || !keyword("*") || !keyword("FROM")) return std::nullopt;
  skipBlanks();
  if (i >= source.size()) return std::nullopt;
  char open = source[i];
  char close = open == '`' ? '`' : open == '[' ? ']' : 0;
  if (!close) return std::nullopt;
  std::size_t endName = source.find(close, i + 1);
  if (endName == std::string::npos || endName == i + 1) return std::nullopt;
  std::string name = source.substr(i + 1, endName - i - 1);
  i = endName + 1;
  skipBlanks();
  if (i < source.size() && source[i] == ';') ++i;
  skipBlanks();
  if (i != source.size()) return std::nullopt;
  return name;
}

}  // namespace tw::jet
