#include "platform/vfp/table_indexes.h"

#include <algorithm>
#include <cstring>

#include "platform/case_rules.h"
#include "platform/data_access.h"
#include "platform/vfp/catalog.h"
#include "platform/vfp/folder_catalog.h"

namespace tw::vfp {

using SortEntry = TableIndexes::SortEntry;

namespace {

constexpr std::size_t kTagNameBytes = 10;
constexpr std::size_t kExpressionPool = 512;
constexpr std::size_t kScanBytes = 4 << 20;

std::string fileOf(const std::string& path) {
  const std::size_t cut = path.find_last_of('/');
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

[[noreturn]] void uniquenessViolated(const std::string& tag) {
  throwSqlException("Uniqueness of index " + tag + " is violated.");
}

// A tag name as stored: the name in the code page, ASCII letters in upper case; refused
// unless it has 1 to 10 bytes of letters, digits and "_" and does not start with a digit.
std::string tagName(const std::string& utf8, const CodePage& codePage) {
  std::string name;
  const bool whole = codePage.encode(utf8, name) == 0;
  bool valid = whole && !name.empty() && name.size() <= kTagNameBytes && !(name[0] >= '0' && name[0] <= '9');
  for (char& c : name) {
    valid = valid && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
                      static_cast<unsigned char>(c) >= 0x80);
    c = asciiUpper(c);
  }
  if (!valid)
    throwSqlException("Invalid tag name \"" + utf8 +
                      "\": a tag name has 1 to 10 letters, digits or underscores and does not start with a digit.");
  return name;
}

const char* keyAt(const IndexTag& t, std::size_t i) { return t.keys.data() + i * t.keyLength; }

// True when the sorted keys of `t` hold `key`.
bool holds(const IndexTag& t, const char* key) {
  std::size_t lo = 0, hi = t.records.size();
  while (lo < hi) {
    const std::size_t mid = (lo + hi) / 2;
    if (std::memcmp(keyAt(t, mid), key, t.keyLength) < 0) lo = mid + 1;
    else hi = mid;
  }
  return lo < t.records.size() && std::memcmp(keyAt(t, lo), key, t.keyLength) == 0;
}

// Sorts `entries` by prefix, keeping the order of equal ones: one stable counting pass per
// 16 bits of the prefix, from the lowest, skipping those that are the same in every entry.
void radixSort(std::vector<SortEntry>& entries, std::vector<SortEntry>& spare) {
  spare.resize(entries.size());
  std::vector<std::uint32_t> counts(65537);
  for (int shift = 0; shift < 64; shift += 16) {
    std::fill(counts.begin(), counts.end(), 0u);
    for (const SortEntry& e : entries) ++counts[((e.prefix >> shift) & 0xFFFF) + 1];
    if (std::find(counts.begin(), counts.end(), static_cast<std::uint32_t>(entries.size())) != counts.end()) continue;
    for (std::size_t b = 0; b < 65536; ++b) counts[b + 1] += counts[b];
    for (const SortEntry& e : entries) spare[counts[(e.prefix >> shift) & 0xFFFF]++] = e;
    entries.swap(spare);
  }
}

// Sorts the keys of `length` bytes in `keys` (with their `records`, which ascend) into `t`.
// The bytes every key shares at its start (a null marker, a common word, leading blanks)
// decide nothing: entries are sorted by the 8 bytes after them, and runs that still tie by
// the rest; equal keys stay in record order.
void sortInto(IndexTag& t, const std::string& keys, const std::vector<std::uint32_t>& records,
              std::vector<SortEntry>& order, std::vector<SortEntry>& spare) {
  const std::size_t length = t.keyLength, count = records.size();
  std::size_t shared = count > 0 ? length : 0;
  for (std::size_t i = 1; i < count && shared > 0; ++i)
    while (shared > 0 && std::memcmp(keys.data(), keys.data() + i * length, shared) != 0) --shared;
  const std::size_t from = std::min(shared, length), head = std::min<std::size_t>(length - from, 8);
  order.clear();
  order.reserve(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    std::uint64_t prefix = 0;
    const char* k = keys.data() + i * length + from;
    for (std::size_t b = 0; b < 8; ++b) prefix = (prefix << 8) | (b < head ? static_cast<std::uint8_t>(k[b]) : 0u);
    order.push_back({prefix, i});
  }
  radixSort(order, spare);
  const std::size_t rest = from + head;
  for (std::size_t run = 0; rest < length && run < count;) {
    std::size_t end = run + 1;
    while (end < count && order[end].prefix == order[run].prefix) ++end;
    if (end - run > 1)
      std::sort(order.begin() + static_cast<long>(run), order.begin() + static_cast<long>(end),
                [&](const SortEntry& a, const SortEntry& b) {
                  const int c = std::memcmp(keys.data() + std::size_t{a.index} * length + rest,
                                            keys.data() + std::size_t{b.index} * length + rest, length - rest);
                  return c != 0 ? c < 0 : a.index < b.index;
                });
    run = end;
  }
  t.keys.clear();
  t.keys.reserve(count * length);
  t.records.clear();
  t.records.reserve(count);
  for (const SortEntry& e : order) {
    t.keys.append(keys.data() + std::size_t{e.index} * length, length);
    t.records.push_back(records[e.index]);
  }
}

// The tag `t` without its keys.
IndexTag definitionOf(const IndexTag& t) {
  IndexTag d;
  d.name = t.name;
  d.keyExpression = t.keyExpression;
  d.forExpression = t.forExpression;
  d.keyLength = t.keyLength;
  d.fill = t.fill;
  d.candidate = t.candidate;
  d.descending = t.descending;
  return d;
}

// `sorted` and the sorted `extra` as one sorted tag (equal keys by record).
IndexTag merged(const IndexTag& sorted, const IndexTag& extra) {
  IndexTag out = definitionOf(sorted);
  out.keys.reserve(sorted.keys.size() + extra.keys.size());
  const std::size_t n = sorted.records.size(), m = extra.records.size(), length = sorted.keyLength;
  std::size_t i = 0, j = 0;
  while (i < n || j < m) {
    bool fromExtra = i == n;
    if (i < n && j < m) {
      const int c = std::memcmp(keyAt(extra, j), keyAt(sorted, i), length);
      fromExtra = c < 0 || (c == 0 && extra.records[j] < sorted.records[i]);
    }
    const IndexTag& from = fromExtra ? extra : sorted;
    const std::size_t k = fromExtra ? j++ : i++;
    out.keys.append(keyAt(from, k), length);
    out.records.push_back(from.records[k]);
  }
  return out;
}

}  // namespace

std::string structuralIndexPath(FileSystem& fs, const std::string& dbfPath) {
  const std::size_t cut = dbfPath.find_last_of('/');
  const std::string folder = cut == std::string::npos ? "." : dbfPath.substr(0, cut);
  std::string file = fileOf(dbfPath);
  const std::size_t dot = file.find_last_of('.');
  const std::string stem = dot == std::string::npos ? file : file.substr(0, dot);
  const bool upper = dot != std::string::npos && file.size() > dot + 1 && file[dot + 1] == 'D';
  std::string found =
      FolderCatalog(std::shared_ptr<FileSystem>(&fs, [](FileSystem*) {}), folder).findFile(stem + ".cdx");
  return joinPath(folder, found.empty() ? stem + (upper ? ".CDX" : ".cdx") : found);
}

namespace {

TableHeader readHeader(FileSystem& fs, const std::string& dbfPath) {
  try {
    auto dbf = fs.open(dbfPath, OpenMode::Read);
    std::vector<std::uint8_t> header(kMaxHeaderBytes);
    header.resize(dbf->readAt(0, header.data(), header.size()));
    return parseHeader(header, dbf->size());
  } catch (const CorruptTable& e) {
    throwSqlException("Table \"" + fileOf(dbfPath) + "\" has become corrupted: " + e.what() + ".");
  }
}

std::vector<StoredTag> readStoredTags(FileSystem& fs, const std::string& dbfPath, const std::string& cdxPath) {
  if (!fs.exists(cdxPath)) throwSqlException("Structural .CDX file is not found: \"" + cdxPath + "\".");
  try {
    auto cdx = fs.open(cdxPath, OpenMode::Read);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(cdx->size()));
    bytes.resize(cdx->readAt(0, bytes.data(), bytes.size()));
    return readTagDirectory(bytes);
  } catch (const CorruptTable& e) {
    throwSqlException("The index \"" + cdxPath + "\" of table \"" + fileOf(dbfPath) +
                      "\" has become corrupted: " + std::string(e.what()) + ".");
  }
}

}  // namespace

std::vector<StoredTag> structuralTags(FileSystem& fs, const std::string& dbfPath) {
  if (!(readHeader(fs, dbfPath).tableFlags & kTableFlagCdx)) return {};
  return readStoredTags(fs, dbfPath, structuralIndexPath(fs, dbfPath));
}

TableIndexes::TableIndexes(FileSystem& fs, std::string dbfPath, std::vector<std::string> names,
                           const CodePage& unmarked)
    : fs_(fs), dbfPath_(std::move(dbfPath)), names_(std::move(names)) {
  cdxPath_ = structuralIndexPath(fs_, dbfPath_);
  const TableHeader h = readHeader(fs_, dbfPath_);
  layout_ = h.layout;
  recordCount_ = h.recordCount;
  flagged_ = (h.tableFlags & kTableFlagCdx) != 0;
  codePage_ = CodePage::byMark(h.codePage);
  if (!codePage_) codePage_ = &unmarked;
  if (names_.empty())
    for (const auto& f : layout_.fields) names_.push_back(codePage_->decode(f.name));
  if (flagged_) readTags();
}

TableIndexes::~TableIndexes() = default;

void TableIndexes::readTags() {
  const std::vector<StoredTag> stored = readStoredTags(fs_, dbfPath_, cdxPath_);
  std::vector<const KeyExpression*> expressions;
  for (const StoredTag& s : stored) {
    auto refuse = [&](const std::string& why) {
      throwSqlException("Cannot keep tag " + s.name + " of the index \"" + cdxPath_ + "\": " + why + ".");
    };
    if (!s.collation.empty() && s.collation != "MACHINE")
      refuse("it sorts by the " + s.collation + " collating sequence; this engine keeps only MACHINE");
    try {
      keys_.push_back(std::make_unique<Keys>(
          Keys{KeyExpression(codePage_->decode(s.keyExpression), codePage_->decode(s.forExpression), layout_, names_),
               {},
               {},
               {}}));
    } catch (const UnsupportedExpression& e) {
      refuse("this engine cannot evaluate its expressions (\"" + codePage_->decode(s.keyExpression) + "\"" +
             (s.forExpression.empty() ? "" : " FOR \"" + codePage_->decode(s.forExpression) + "\"") +
             "): " + e.what());
    }
    const KeyExpression& e = keys_.back()->expression;
    if (e.keyLength() != s.keyLength || s.keyLength > kMaxKeyLength)
      refuse("its keys have " + std::to_string(s.keyLength) + " bytes where this engine makes " +
             std::to_string(e.keyLength()));
    IndexTag t;
    t.name = s.name;
    t.keyExpression = s.keyExpression;
    t.forExpression = s.forExpression;
    t.keyLength = s.keyLength;
    t.fill = e.fill();
    t.candidate = s.candidate;
    t.descending = s.descending;
    tags_.push_back(std::move(t));
    expressions.push_back(&e);
  }
  computeKeys(tags_, expressions);
}

void TableIndexes::computeKeys(std::vector<IndexTag>& tags, const std::vector<const KeyExpression*>& expressions) {
  std::vector<std::string> keys(tags.size());
  std::vector<std::vector<std::uint32_t>> records(tags.size());
  for (std::size_t t = 0; t < tags.size(); ++t) {
    keys[t].reserve(std::size_t{recordCount_} * tags[t].keyLength);
    records[t].reserve(recordCount_);
  }
  std::uint8_t key[kMaxKeyLength + 1];
  auto dbf = fs_.open(dbfPath_, OpenMode::Read);
  const std::size_t length = layout_.recordLength;
  const std::uint32_t perChunk = static_cast<std::uint32_t>(std::max<std::size_t>(1, kScanBytes / length));
  std::vector<std::uint8_t> chunk;
  for (std::uint32_t first = 0; first < recordCount_; first += perChunk) {
    const std::uint32_t n = std::min(perChunk, recordCount_ - first);
    chunk.resize(static_cast<std::size_t>(n) * length);
    if (dbf->readAt(layout_.headerLength + static_cast<std::uint64_t>(first) * length, chunk.data(), chunk.size()) !=
        chunk.size())
      throwSqlException("Table \"" + fileOf(dbfPath_) + "\" has become corrupted: its records could not be read.");
    for (std::uint32_t r = 0; r < n; ++r) {
      const std::uint8_t* rec = chunk.data() + static_cast<std::size_t>(r) * length;
      for (std::size_t t = 0; t < tags.size(); ++t) {
        if (!expressions[t]->included(rec)) continue;
        expressions[t]->key(rec, key);
        keys[t].append(reinterpret_cast<const char*>(key), tags[t].keyLength);
        records[t].push_back(first + r + 1);
      }
    }
  }
  for (std::size_t t = 0; t < tags.size(); ++t) sortInto(tags[t], keys[t], records[t], order_, spare_);
}

const IndexTag* TableIndexes::tag(std::string_view name) const {
  for (const auto& t : tags_)
    if (asciiLower(t.name) == asciiLower(name)) return &t;
  return nullptr;
}

bool TableIndexes::inStep() const {
  try {
    const TableHeader h = readHeader(fs_, dbfPath_);
    return h.recordCount == recordCount_ && ((h.tableFlags & kTableFlagCdx) != 0) == flagged_;
  } catch (const data::Failure&) {
    return false;
  }
}

const IndexTag& TableIndexes::addTag(const TagDefinition& d) {
  IndexTag t;
  t.name = tagName(d.name, *codePage_);
  codePage_->encode(d.key, t.keyExpression);
  codePage_->encode(d.filter, t.forExpression);
  if (t.keyExpression.size() + t.forExpression.size() + 2 > kExpressionPool)
    throwSqlException("The expressions of tag " + t.name + " are longer than the 510 bytes a tag holds.");
  std::unique_ptr<Keys> keys;
  try {
    keys = std::make_unique<Keys>(Keys{KeyExpression(d.key, d.filter, layout_, names_), {}, {}, {}});
  } catch (const UnsupportedExpression& e) {
    throwSqlException("Cannot index on \"" + d.key + "\"" + (d.filter.empty() ? "" : " FOR \"" + d.filter + "\"") +
                      " (tag " + t.name + "): " + e.what() + ".");
  }
  t.keyLength = keys->expression.keyLength();
  if (t.keyLength > kMaxKeyLength)
    throwSqlException("Invalid key length: the keys of tag " + t.name + " would have " + std::to_string(t.keyLength) +
                      " bytes, more than the 240 an index holds.");
  t.fill = keys->expression.fill();
  t.candidate = d.candidate;
  t.descending = d.descending;
  std::vector<IndexTag> one{std::move(t)};
  computeKeys(one, {&keys->expression});
  IndexTag& built = one.front();
  if (built.candidate)
    for (std::size_t i = 1; i < built.records.size(); ++i)
      if (std::memcmp(keyAt(built, i - 1), keyAt(built, i), built.keyLength) == 0) uniquenessViolated(built.name);

  std::vector<const IndexTag*> tags;
  std::size_t at = tags_.size();
  for (std::size_t i = 0; i < tags_.size(); ++i) {
    if (tags_[i].name == built.name) at = i;
    tags.push_back(at == i ? &built : &tags_[i]);
  }
  if (at == tags_.size()) tags.push_back(&built);
  writeTemporary(tags, recordCount_);
  installTemporary();
  setFlag();
  if (at == tags_.size()) {
    tags_.push_back(std::move(built));
    keys_.push_back(std::move(keys));
  } else {
    tags_[at] = std::move(built);
    keys_[at] = std::move(keys);
  }
  return tags_[at];
}

void TableIndexes::addRecord(const std::uint8_t* record, std::uint32_t number) {
  std::vector<std::string> keys(tags_.size());
  for (std::size_t t = 0; t < tags_.size(); ++t) {
    const Keys& k = *keys_[t];
    if (!k.expression.included(record)) continue;
    keys[t].resize(tags_[t].keyLength);
    k.expression.key(record, reinterpret_cast<std::uint8_t*>(keys[t].data()));
    if (tags_[t].candidate && (holds(tags_[t], keys[t].data()) || k.pendingSet.count(keys[t])))
      uniquenessViolated(tags_[t].name);
  }
  for (std::size_t t = 0; t < tags_.size(); ++t) {
    if (keys[t].empty()) continue;  // left out by the FOR filter
    Keys& k = *keys_[t];
    k.pending += keys[t];
    k.pendingRecords.push_back(number);
    if (tags_[t].candidate) k.pendingSet.insert(std::move(keys[t]));
  }
}

void TableIndexes::prepare(std::uint32_t recordCount) {
  staged_.clear();
  bool anyKeys = false;
  for (const auto& k : keys_) anyKeys = anyKeys || !k->pendingRecords.empty();
  if (anyKeys) {
    for (std::size_t t = 0; t < tags_.size(); ++t) {
      IndexTag extra = definitionOf(tags_[t]);
      sortInto(extra, keys_[t]->pending, keys_[t]->pendingRecords, order_, spare_);
      staged_.push_back(merged(tags_[t], extra));
    }
    std::vector<const IndexTag*> tags;
    for (const auto& t : staged_) tags.push_back(&t);
    writeTemporary(tags, recordCount);
  }
  for (auto& k : keys_) {
    k->pending.clear();
    k->pendingRecords.clear();
    k->pendingSet.clear();
  }
  stagedCount_ = recordCount;
}

void TableIndexes::commit() {
  recordCount_ = stagedCount_;
  if (staged_.empty()) return;
  tags_ = std::move(staged_);
  staged_.clear();
  try {
    installTemporary();
  } catch (const data::Failure&) {
    // The records count already: an index without them would mislead. Better none, which
    // Visual FoxPro reports and the engine rebuilds, than a stale one.
    try {
      fs_.remove(cdxPath_);
    } catch (const data::Failure&) {
    }
    removeTemporary();
  }
}

void TableIndexes::discard() {
  for (auto& k : keys_) {
    k->pending.clear();
    k->pendingRecords.clear();
    k->pendingSet.clear();
  }
  staged_.clear();
  removeTemporary();
}

void TableIndexes::removeTemporary() {
  if (temporary_.empty()) return;
  try {
    fs_.remove(temporary_);
  } catch (const data::Failure&) {
  }
  temporary_.clear();
}

void TableIndexes::writeTemporary(const std::vector<const IndexTag*>& tags, std::uint32_t recordCount) {
  const std::vector<std::uint8_t> bytes = buildCompoundIndex(tags, recordCount);
  // A new name of its own: whatever is at any other name stays as it is.
  removeTemporary();
  NewFile made = createBeside(fs_, cdxPath_);
  temporary_ = made.path;
  try {
    made.file->writeAt(0, bytes.data(), bytes.size());
    made.file->sync();
  } catch (...) {
    made.file.reset();
    removeTemporary();
    throw;
  }
}

void TableIndexes::installTemporary() {
  fs_.rename(temporary_, cdxPath_);
  temporary_.clear();
}

void TableIndexes::setFlag() {
  if (flagged_) return;
  auto dbf = fs_.open(dbfPath_, OpenMode::ReadWrite);
  std::uint8_t flags = 0;
  if (dbf->readAt(28, &flags, 1) != 1)
    throwSqlException("Table \"" + fileOf(dbfPath_) + "\" has become corrupted: its header could not be read.");
  flags |= kTableFlagCdx;
  dbf->writeAt(28, &flags, 1);
  dbf->sync();
  flagged_ = true;
}

}  // namespace tw::vfp
