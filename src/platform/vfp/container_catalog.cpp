#include "platform/vfp/container_catalog.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>

#include "platform/case_rules.h"
#include "platform/data_access.h"
#include "platform/vfp/container_index.h"
#include "platform/vfp/folder_catalog.h"

namespace tw::vfp {

namespace {

// The fields of every container's own table, as Visual FoxPro defines them.
struct ContainerField {
  const char* name;
  char type;
  std::uint8_t width;
  std::uint8_t flags;
};
constexpr ContainerField kContainerFields[] = {
    {"OBJECTID", 'I', 4, kFieldFlagBinary},
    {"PARENTID", 'I', 4, kFieldFlagBinary},
    {"OBJECTTYPE", 'C', 10, 0},
    {"OBJECTNAME", 'C', 128, 0},
    {"PROPERTY", 'M', 4, kFieldFlagBinary},
    {"CODE", 'M', 4, kFieldFlagBinary},
    {"RIINFO", 'C', 6, 0},
    {"USER", 'M', 4, 0},
};
constexpr std::uint32_t kObjectIdAt = 1, kParentIdAt = 5, kTypeAt = 9, kNameAt = 19, kPropertyAt = 147;
constexpr std::size_t kTypeWidth = 10, kNameWidth = 128;

// Property ids of the PROPERTY memo.
constexpr std::uint8_t kPropPath = 1;
constexpr std::uint8_t kPropSubType = 2;
constexpr std::uint8_t kPropChildTag = 13;
constexpr std::uint8_t kPropPrimCand = 17;
constexpr std::uint8_t kPropParentTable = 18;
constexpr std::uint8_t kPropParentTag = 19;
constexpr std::uint8_t kPropPrimaryKey = 20;
constexpr std::uint8_t kPropVersion = 24;

TableLayout containerLayout() {
  std::vector<FieldDef> fields;
  for (const auto& f : kContainerFields) {
    FieldDef d;
    d.name = f.name;
    d.type = f.type;
    d.width = f.width;
    fields.push_back(d);
  }
  TableLayout layout = TableLayout::build(std::move(fields));
  for (std::size_t i = 0; i < layout.fields.size(); ++i) layout.fields[i].flags = kContainerFields[i].flags;
  return layout;
}

// One entry of a PROPERTY memo: total length (uint32 LE, this header included), id length
// (uint16 LE, 1), the id, the value.
void appendProperty(std::string& memo, std::uint8_t id, std::string_view value) {
  std::uint8_t head[7];
  putLe32(head, static_cast<std::uint32_t>(7 + value.size()));
  putLe16(head + 4, 1);
  head[6] = id;
  memo.append(reinterpret_cast<const char*>(head), sizeof head);
  memo.append(value);
}

std::string padded(std::string_view s, std::size_t width) {
  std::string out(s.substr(0, width));
  out.resize(width, ' ');
  return out;
}

std::string trimmed(std::string_view s) {
  std::size_t end = s.size();
  while (end > 0 && (s[end - 1] == ' ' || s[end - 1] == '\0')) --end;
  return std::string(s.substr(0, end));
}

// A file name without its extension (".dbf").
std::string stemOf(const std::string& file) {
  std::size_t dot = file.find_last_of('.');
  return dot == std::string::npos || dot == 0 ? file : file.substr(0, dot);
}

// The companion file of the .dbc with extension `ext` ("dct"), in the letter case of the
// .dbc's own extension.
std::string companionName(const std::string& dbcFile, const char* ext) {
  std::string stem = dbcFile.substr(0, dbcFile.size() - 3);
  bool upper = dbcFile[dbcFile.size() - 3] == 'D';
  std::string e = ext;
  if (upper)
    for (char& c : e) c = asciiUpper(c);
  return stem + e;
}

// The longest start of `name` (in `codePage`, null for a single-byte one) that takes at
// most `bytes` bytes and does not split a two-byte character.
std::string startOf(const std::string& name, std::size_t bytes, const CodePage* codePage) {
  std::size_t end = 0;
  while (end < name.size()) {
    std::size_t next = end + (codePage ? characterBytes(name, end, *codePage) : 1);
    if (next > bytes) break;
    end = next;
  }
  return name.substr(0, end);
}

// Field names cut to the 10 bytes a .dbf holds and made unique the way Visual FoxPro does:
// a name taken already ends in 2, 3, ... instead of its last characters. The names are in
// the table's code page (its mark), whose two-byte characters are never split.
std::vector<std::string> shortNames(const std::vector<FieldDef>& fields, std::uint8_t mark) {
  const CodePage* codePage = CodePage::byMark(mark);
  std::vector<std::string> out;
  std::set<std::string> taken;
  for (const auto& f : fields) {
    std::string name = startOf(f.name, kMaxFieldName, codePage);
    for (int n = 2; taken.count(name); ++n) {
      std::string suffix = std::to_string(n);
      name = startOf(f.name, kMaxFieldName - suffix.size(), codePage) + suffix;
    }
    taken.insert(name);
    out.push_back(name);
  }
  return out;
}

[[noreturn]] void containerFailure(const std::string& path, const std::string& why) {
  throw data::Failure("Cannot open the database container \"" + path + "\": " + why + ".");
}

}  // namespace

// ------------------------------------------------------------------------------------

ContainerCatalog::ContainerCatalog(std::shared_ptr<FileSystem> fs, std::string dbcPath, const CodePage& unmarked)
    : fs_(std::move(fs)), dbcPath_(std::move(dbcPath)), unmarked_(&unmarked) {
  folder_ = folderOf(dbcPath_);
  std::string file = baseName(dbcPath_);
  if (file.size() < 5 || !endsWithIgnoringAsciiCase(file, ".dbc"))
    containerFailure(dbcPath_, "a database container's name ends in .dbc");
  if (!fs_->exists(dbcPath_)) containerFailure(dbcPath_, "it does not exist");
  if (fs_->isDirectory(dbcPath_)) containerFailure(dbcPath_, "it is a folder");
  backlink_ = asciiLower(file);
  FolderCatalog files(fs_, folder_);
  std::string dct = files.findFile(file.substr(0, file.size() - 4) + ".dct");
  std::string dcx = files.findFile(file.substr(0, file.size() - 4) + ".dcx");
  dctPath_ = joinPath(folder_, dct.empty() ? companionName(file, "dct") : dct);
  dcxPath_ = joinPath(folder_, dcx.empty() ? companionName(file, "dcx") : dcx);
  load();
  repairAfterCrash();
}

void ContainerCatalog::load() {
  records_.clear();
  tables_.clear();
  try {
    read_ = fs_->status(dbcPath_);
    auto dbc = fs_->open(dbcPath_, OpenMode::Read);
    std::uint64_t size = dbc->size();
    std::vector<std::uint8_t> head(kMaxHeaderBytes);
    head.resize(dbc->readAt(0, head.data(), head.size()));
    TableHeader h = parseHeader(head, size, {}, true);
    const auto& fields = h.layout.fields;
    bool shaped = fields.size() == std::size(kContainerFields);
    for (std::size_t i = 0; shaped && i < fields.size(); ++i)
      shaped = fields[i].name == kContainerFields[i].name && fields[i].type == kContainerFields[i].type &&
               fields[i].width == kContainerFields[i].width;
    if (!shaped) containerFailure(dbcPath_, "its fields are not those of a Visual FoxPro database");
    if (!fs_->exists(dctPath_)) containerFailure(dbcPath_, "its memo file \"" + dctPath_ + "\" is missing");
    checkRecordsEnd(*dbc, h);
    mark_ = h.codePage;
    codePage_ = mark_ == 0 ? unmarked_ : CodePage::byMark(mark_);
    headerLength_ = h.layout.headerLength;
    recordLength_ = h.layout.recordLength;
    // In slices, so that a container of millions of records is not held twice.
    constexpr std::uint32_t kSlice = 4096;
    std::vector<std::uint8_t> bytes;
    std::uint32_t lastBlock = 0;
    records_.reserve(h.recordCount);
    for (std::uint32_t i = 0; i < h.recordCount; ++i) {
      if (i % kSlice == 0) {
        bytes.resize(static_cast<std::size_t>(std::min(kSlice, h.recordCount - i)) * recordLength_);
        if (dbc->readAt(headerLength_ + std::uint64_t{i} * recordLength_, bytes.data(), bytes.size()) != bytes.size())
          containerFailure(dbcPath_, "its records could not be read in full");
      }
      const std::uint8_t* r = &bytes[static_cast<std::size_t>(i % kSlice) * recordLength_];
      Record rec;
      rec.number = i + 1;
      rec.deleted = r[0] == kRecordDeleted;
      rec.objectId = static_cast<std::int32_t>(getLe32(r + kObjectIdAt));
      rec.parentId = static_cast<std::int32_t>(getLe32(r + kParentIdAt));
      rec.typeRaw.assign(reinterpret_cast<const char*>(r + kTypeAt), kTypeWidth);
      rec.nameRaw.assign(reinterpret_cast<const char*>(r + kNameAt), kNameWidth);
      rec.type = trimmed(rec.typeRaw);
      rec.name = trimmed(rec.nameRaw);
      rec.property = getLe32(r + kPropertyAt);
      for (const auto& f : fields)
        if (f.type == 'M') lastBlock = std::max(lastBlock, getLe32(r + f.offset));
      records_.push_back(std::move(rec));
    }
    dct_ = fs_->open(dctPath_, OpenMode::Read);
    std::vector<std::uint8_t> mh(kMemoHeaderSize);
    mh.resize(dct_->readAt(0, mh.data(), mh.size()));
    MemoHeader memo = parseMemoHeader(mh, dct_->size());
    blockSize_ = memo.blockSize;
    checkMemoEnd(lastBlock, memo.nextFreeBlock);
  } catch (const CorruptTable& e) {
    containerFailure(dbcPath_, std::string("it has become corrupted: ") + e.what());
  }
  indexTables();
}

void ContainerCatalog::refresh() {
  if (fs_->status(dbcPath_) != read_) load();
}

void ContainerCatalog::checkMemoEnd(std::uint32_t lastBlock, std::uint32_t nextFree) {
  if (lastBlock == 0) return;
  const std::uint64_t at = static_cast<std::uint64_t>(lastBlock) * blockSize_;
  std::uint8_t head[8];
  if (at < kMemoHeaderSize || dct_->readAt(at, head, 8) != 8)
    containerFailure(dbcPath_, "a memo lies outside its memo file \"" + dctPath_ + "\"");
  const std::uint64_t end = (at + 8 + getBe32(head + 4) + blockSize_ - 1) / blockSize_;
  if (end > nextFree)
    containerFailure(dbcPath_, "it has become corrupted: its memo file \"" + dctPath_ + "\" gives block " +
                                   std::to_string(nextFree) +
                                   " as the next free one, but its memos use blocks up to " +
                                   std::to_string(end - 1));
}

void ContainerCatalog::indexTables() {
  for (std::size_t i = 0; i < records_.size(); ++i) {
    const Record& r = records_[i];
    if (r.deleted || r.type != "Table") continue;
    if (!tables_.emplace(foldCase(names().decode(r.name)), i).second)
      containerFailure(dbcPath_,
                       "it has become corrupted: it has two tables called \"" + names().decode(r.name) + "\"");
  }
}

std::string ContainerCatalog::readMemo(std::uint32_t block) {
  if (block == 0) return {};
  std::uint64_t at = static_cast<std::uint64_t>(block) * blockSize_;
  std::uint8_t head[8];
  if (at < kMemoHeaderSize || dct_->readAt(at, head, 8) != 8)
    containerFailure(dbcPath_, "a property memo lies outside \"" + dctPath_ + "\"");
  std::uint32_t length = getBe32(head + 4);
  if (at + 8 + length > dct_->size())
    containerFailure(dbcPath_, "a property memo runs past the end of \"" + dctPath_ + "\"");
  std::string value(length, '\0');
  dct_->readAt(at + 8, value.data(), length);
  return value;
}

std::string ContainerCatalog::property(const Record& r, std::uint8_t id) {
  std::string memo = readMemo(r.property);
  std::size_t pos = 0;
  while (pos + 7 <= memo.size()) {
    auto p = reinterpret_cast<const std::uint8_t*>(memo.data() + pos);
    std::uint32_t length = getLe32(p);
    if (length < 7 || pos + length > memo.size()) break;
    if (getLe16(p + 4) == 1 && p[6] == id) return memo.substr(pos + 7, length - 7);
    pos += length;
  }
  return {};
}

const ContainerCatalog::Record* ContainerCatalog::findTable(std::string_view name) {
  std::string wanted = foldCase(name);
  if (auto it = tables_.find(wanted); it != tables_.end()) return &records_[it->second];
  if (wanted.size() > 4 && wanted.compare(wanted.size() - 4, 4, ".dbf") == 0)
    if (auto it = tables_.find(wanted.substr(0, wanted.size() - 4)); it != tables_.end())
      return &records_[it->second];
  return nullptr;
}

std::string ContainerCatalog::tablePath(const Record& table) {
  std::string path = property(table, kPropPath);
  path = path.substr(0, path.find('\0'));
  path = path.empty() ? names().decode(table.name) + ".dbf" : names().decode(path);
  const std::string given = path;
  std::replace(path.begin(), path.end(), '\\', '/');
  auto outside = [&](const std::string& why) {
    throwSqlException("Table \"" + names().decode(table.name) + "\" of the database container " + why + ": \"" +
                      given + "\".");
  };
  // Relative, without a drive, without "..": resolved in the container's folder only.
  if (path.empty() || path[0] == '/' || (path.size() >= 2 && path[1] == ':')) outside("points outside its folder");
  std::string dir = folder_;
  std::size_t start = 0;
  for (std::size_t cut; (cut = path.find('/', start)) != std::string::npos; start = cut + 1) {
    const std::string part = path.substr(start, cut - start);
    if (part.empty() || part == ".") continue;
    if (part == "..") outside("points outside its folder");
    dir = joinPath(dir, part);
    const FileKind kind = fs_->status(dir).kind;
    if (kind == FileKind::SymbolicLink) outside("points outside its folder");
    if (kind != FileKind::Directory) outside("names a folder that is not there");
  }
  const std::string file = path.substr(start);
  if (file.empty() || file == "." || file == "..") outside("points outside its folder");
  std::string found = FolderCatalog(fs_, dir).findFile(file);
  const std::string at = joinPath(dir, found.empty() ? file : found);
  const FileKind kind = fs_->status(at).kind;
  if (kind == FileKind::SymbolicLink) outside("points outside its folder");
  if (kind != FileKind::Regular && kind != FileKind::Missing) outside("names what is not a regular file");
  for (const std::string* own : {&dbcPath_, &dctPath_, &dcxPath_})
    if (dir == folder_ && foldCase(baseName(*own)) == foldCase(baseName(at)))
      outside("names a file of the database container itself");
  return at;
}

void ContainerCatalog::checkDroppable(const Record& table, const std::string& dbfPath) {
  const std::string name = names().decode(table.name);
  std::string owner;
  try {
    auto f = fs_->open(dbfPath, OpenMode::Read);
    std::vector<std::uint8_t> head(kMaxHeaderBytes);
    head.resize(f->readAt(0, head.data(), head.size()));
    owner = parseHeader(head, f->size(), backlink_).layout.backlink;
  } catch (const CorruptTable& e) {
    throwSqlException("Table \"" + name + "\" of the database container cannot be dropped: its file \"" + dbfPath +
                      "\" is not a table (" + e.what() + ").");
  }
  if (foldCase(owner) != foldCase(backlink_))
    throwSqlException("Table \"" + name + "\" of the database container cannot be dropped: its file \"" + dbfPath +
                      "\" is not one of the database's tables.");
  for (const auto& [key, index] : tables_) {
    const Record& other = records_[index];
    if (other.number == table.number) continue;
    std::string otherPath;
    try {
      otherPath = tablePath(other);
    } catch (const data::Failure&) {
      continue;
    }
    if (foldCase(otherPath) == foldCase(dbfPath))
      throwSqlException("Table \"" + name + "\" of the database container cannot be dropped: its file \"" + dbfPath +
                        "\" is also table \"" + names().decode(other.name) + "\".");
  }
}

std::vector<std::string> ContainerCatalog::fieldNames(const Record& table) {
  std::vector<std::string> names;
  for (const auto& r : records_)
    if (!r.deleted && r.type == "Field" && r.parentId == table.objectId)
      names.push_back(this->names().decode(r.name));
  return names;
}

TableLocation ContainerCatalog::locate(std::string_view name) {
  refresh();
  const Record* t = findTable(name);
  if (!t) throwSqlException("Table \"" + std::string(name) + "\" does not exist in the database.");
  TableLocation at;
  at.dbfPath = tablePath(*t);
  at.file = baseName(at.dbfPath);
  if (!fs_->exists(at.dbfPath)) throwSqlException("File \"" + at.dbfPath + "\" does not exist.");
  std::string dir = folderOf(at.dbfPath);
  std::string fpt = FolderCatalog(fs_, dir).findFile(stemOf(at.file) + ".fpt");
  if (!fpt.empty()) at.fptPath = joinPath(dir, fpt);
  at.columnNames = fieldNames(*t);
  at.container = backlink_;
  return at;
}

std::vector<ListedTable> ContainerCatalog::list() {
  refresh();
  std::vector<ListedTable> out;
  for (const auto& [key, index] : tables_) {
    const Record& r = records_[index];
    ListedTable t;
    t.name = names().decode(r.name);
    try {
      std::string dbf = tablePath(r);
      t.file = baseName(dbf);
      if (!fs_->exists(dbf)) {
        t.problem = "Table \"" + t.name + "\" cannot be opened: its file \"" + dbf + "\" does not exist.";
      } else {
        std::string dir = folderOf(dbf);
        std::string fpt = FolderCatalog(fs_, dir).findFile(stemOf(t.file) + ".fpt");
        t.problem = tableProblem(*fs_, t.file, dbf, fpt.empty() ? fpt : joinPath(dir, fpt));
      }
    } catch (const data::Failure& e) {
      t.problem = e.description();
      if (t.problem.rfind("SQLException: ", 0) == 0) t.problem.erase(0, 14);
    }
    out.push_back(std::move(t));
  }
  sortListing(out);
  return out;
}

// ------------------------------------------------------------------------------------
// Changes

void ContainerCatalog::writeIndexTemporary(const std::vector<Record>& added,
                                           const std::vector<std::uint32_t>& deleting) {
  std::vector<ContainerIndexEntry> live;
  std::uint32_t count = static_cast<std::uint32_t>(records_.size() + added.size());
  const std::vector<Record>* lists[] = {&records_, &added};
  for (const std::vector<Record>* list : lists)
    for (const auto& r : *list)
      if (!r.deleted && std::find(deleting.begin(), deleting.end(), r.number) == deleting.end())
        live.push_back(ContainerIndexEntry{r.number, r.parentId, r.typeRaw, r.nameRaw});
  std::vector<std::uint8_t> bytes = buildContainerIndex(live, count, names());
  std::unique_ptr<File> file;
  try {
    file = fs_->open(dcxPath_ + ".tmp", OpenMode::CreateNew);
  } catch (const FileFailure& f) {
    if (f.error() == EEXIST) throwFileExists(dcxPath_ + ".tmp", "");
    throw;
  }
  try {
    file->writeAt(0, bytes.data(), bytes.size());
    file->sync();
  } catch (...) {
    file.reset();
    removeIndexTemporary();
    throw;
  }
}

void ContainerCatalog::installIndex() { fs_->rename(dcxPath_ + ".tmp", dcxPath_); }

void ContainerCatalog::removeIndexTemporary() {
  try {
    fs_->remove(dcxPath_ + ".tmp");
  } catch (const data::Failure&) {
  }
}

void ContainerCatalog::setFlags(const std::vector<std::uint32_t>& numbers, std::uint8_t flag) {
  if (numbers.empty()) return;
  auto dbc = fs_->open(dbcPath_, OpenMode::ReadWrite);
  for (std::size_t i = 0; i < numbers.size(); ++i) {
    dbc->writeAt(headerLength_ + static_cast<std::uint64_t>(numbers[i] - 1) * recordLength_, &flag, 1);
    // The first record (a table's) hides or shows everything it owns; it goes out first.
    if (i == 0) dbc->sync();
    records_[numbers[i] - 1].deleted = flag == kRecordDeleted;
  }
  dbc->sync();
  dbc.reset();
  read_ = fs_->status(dbcPath_);
  tables_.clear();
  indexTables();
}

void ContainerCatalog::repairAfterCrash() {
  const std::string leftover = dcxPath_ + ".tmp";
  const FileStatus left = fs_->status(leftover);
  if (left.kind == FileKind::Missing) return;
  try {
    // A writer in the middle of a change holds the container: then the temporary index is
    // its work, not a leftover. Anything but a regular file with no other name is no
    // leftover of a change either: it is left alone, and changes are refused while it is there.
    std::unique_ptr<FileLock> lock = fs_->tryLock(dbcPath_, false);
    if (!lock || left.kind != FileKind::Regular || left.links != 1) return;
    load();
    // An interrupted DROP may have hidden a table but not yet what it owns.
    std::set<std::int32_t> goneIds, liveIds;
    std::set<std::string> goneNames, liveNames;
    for (const auto& r : records_) {
      if (r.type != "Table") continue;
      (r.deleted ? goneIds : liveIds).insert(r.objectId);
      (r.deleted ? goneNames : liveNames).insert(foldCase(names().decode(r.name)));
    }
    restoreInterruptedDrop();
    std::vector<std::uint32_t> orphans;
    for (const auto& r : records_) {
      if (r.deleted) continue;
      bool ownerGone = goneIds.count(r.parentId) && !liveIds.count(r.parentId);
      bool parentGone = false;
      if (!ownerGone && r.type == "Relation") {
        std::string parent = property(r, kPropParentTable);
        parent = foldCase(names().decode(parent.substr(0, parent.find('\0'))));
        parentGone = goneNames.count(parent) && !liveNames.count(parent);
      }
      if (ownerGone || parentGone) orphans.push_back(r.number);
    }
    fs_->remove(leftover);
    setFlags(orphans, kRecordDeleted);
    writeIndexTemporary({});
    installIndex();
  } catch (const data::Failure&) {
    // A container that cannot be written (a read-only copy) is still read; the next change
    // rebuilds the index anyway.
  }
}

void ContainerCatalog::restoreInterruptedDrop() {
  // A kill after a drop set a table's files aside but before its records were marked
  // deleted: the table is still listed, and its files wait under names that keep theirs.
  for (const auto& r : records_) {
    if (r.deleted || r.type != "Table") continue;
    std::string dbfPath;
    try {
      dbfPath = tablePath(r);
    } catch (const data::Failure&) {
      continue;  // refused by name when it is used
    }
    if (fs_->status(dbfPath).kind != FileKind::Missing) continue;
    const std::string folder = folderOf(dbfPath);
    const std::string stem = foldCase(baseName(dbfPath).substr(0, baseName(dbfPath).find_last_of('.')));
    for (const DirEntry& e : fs_->list(folder)) {
      const std::string original = asideOriginal(e.name);
      if (!e.regularFile || original.empty()) continue;
      if (foldCase(original.substr(0, original.find_last_of('.'))) != stem) continue;
      const std::string to = joinPath(folder, original);
      if (fs_->status(to).kind == FileKind::Missing) fs_->renameNew(joinPath(folder, e.name), to);
    }
  }
}

std::unique_ptr<FileLock> ContainerCatalog::lockContainer() {
  std::unique_ptr<FileLock> held = lock(*fs_, dbcPath_);
  if (!held)
    throw data::Failure(
        data::kErrTableUnusable,
        "SQLException: File is in use. Another writer is changing the database \"" + dbcPath_ + "\".");
  return held;
}

namespace {

// The object name a new table's record gets: `known` (its file name, or the long name it
// was given) of the table called `table` in the container's code page, refused when that
// code page lacks one of its characters or it is too long.
std::string containerObjectName(const std::string& table, const std::string& known, const CodePage& codePage) {
  std::string objectName;
  if (codePage.encode(known, objectName) != 0)
    throwSqlException("Invalid name. The table name \"" + table +
                      "\" has characters a database container cannot store in its code page " +
                      std::to_string(codePage.number()) + ".");
  if (objectName.size() > static_cast<std::size_t>(kMaxLongName))
    throwSqlException("Invalid name. The table name \"" + table + "\" is longer than 128 characters.");
  return objectName;
}

// The long names of a new table's Field records: lower case, in the container's code page.
// The engine takes only names whose letters the container holds; this is the last guard
// against a "?" in a name.
std::vector<std::string> containerFieldNames(const std::vector<std::string>& columnNames, const CodePage& codePage) {
  std::vector<std::string> names;
  for (const auto& column : columnNames) {
    std::string stored;
    if (codePage.encode(column, stored) != 0 || stored.size() > kNameWidth)
      throwSqlException("Invalid name. The column name \"" + column +
                        "\" cannot be stored in the database container's code page " +
                        std::to_string(codePage.number()) + ".");
    names.push_back(lowerName(stored, codePage));
  }
  return names;
}

// The records of a new table, numbered and given ids after the `existing` ones: the table,
// then its fields in order (`fieldNames` as the records keep them).
std::vector<ContainerCatalog::Record> newTableRecords(const std::vector<ContainerCatalog::Record>& existing,
                                                      const std::string& objectName,
                                                      const std::vector<std::string>& fieldNames) {
  std::int32_t nextId = static_cast<std::int32_t>(existing.size());
  for (const auto& r : existing) nextId = std::max(nextId, r.objectId);
  ++nextId;
  std::vector<ContainerCatalog::Record> added;
  auto addRecord = [&](std::int32_t parent, const char* type, const std::string& name) {
    ContainerCatalog::Record r;
    r.number = static_cast<std::uint32_t>(existing.size() + added.size() + 1);
    r.objectId = nextId++;
    r.parentId = parent;
    r.typeRaw = padded(type, kTypeWidth);
    r.nameRaw = padded(name, kNameWidth);
    r.type = type;
    r.name = trimmed(r.nameRaw);
    added.push_back(std::move(r));
  };
  addRecord(1, "Table", objectName);
  const std::int32_t tableId = added.front().objectId;
  for (const auto& name : fieldNames) addRecord(tableId, "Field", name);
  return added;
}

}  // namespace

void ContainerCatalog::removeLeftovers(const std::string& base, const std::string& dbfFile, bool hasMemo) {
  FolderCatalog files(fs_, folder_);
  std::string existing = files.findFile(dbfFile);
  if (existing.empty() && fs_->status(joinPath(folder_, dbfFile)).kind != FileKind::Missing) existing = dbfFile;
  if (!existing.empty()) {
    const std::string path = joinPath(folder_, existing);
    // A table file no record lists, empty and naming this container, is what a CREATE
    // killed before its records were written leaves: it is replaced. Anything else stays.
    for (const auto& [key, index] : tables_) {
      std::string listed;
      try {
        listed = tablePath(records_[index]);
      } catch (const data::Failure&) {
        continue;  // a table that names no file here holds none of this name
      }
      if (foldCase(listed) == foldCase(path)) throwFileExists(path, names().decode(records_[index].name));
    }
    if (!isEmptyTable(*fs_, path, backlink_)) throwFileExists(path, "");
    fs_->remove(path);
  }
  if (hasMemo) files.clearOrphanMemo(base);
}

void ContainerCatalog::appendRecords(std::vector<Record>& added, const std::vector<std::string>& properties) {
  auto dbc = TableFile::openContainer(*fs_, dbcPath_, dctPath_);
  dbc->setBatchBytes(SIZE_MAX);
  for (auto& r : added) {
    std::uint8_t* rec = dbc->beginRecord();
    putLe32(rec + kObjectIdAt, static_cast<std::uint32_t>(r.objectId));
    putLe32(rec + kParentIdAt, static_cast<std::uint32_t>(r.parentId));
    std::memcpy(rec + kTypeAt, r.typeRaw.data(), kTypeWidth);
    std::memcpy(rec + kNameAt, r.nameRaw.data(), kNameWidth);
    const std::size_t i = static_cast<std::size_t>(&r - added.data());
    if (i < properties.size() && !properties[i].empty()) {
      r.property = dbc->addMemo(properties[i].data(), properties[i].size());
      putLe32(rec + kPropertyAt, r.property);
    }
    dbc->commitRecord();
  }
  dbc->flush();
}

const CodePage& ContainerCatalog::namesToWrite(const std::string& change) const {
  if (!codePage_)
    throwSqlException("Cannot " + change + " the database \"" + dbcPath_ + "\": its code page mark is " +
                      hexByte(mark_) + ", a code page this engine does not write.");
  return *codePage_;
}

namespace {

// The .dbc's and .dct's sizes and the bytes an append changes (the date and record count,
// the end marker it writes over, the next free block), so that records appended can be
// cut off again.
struct AppendUndo {
  std::uint64_t dbcSize = 0, dctSize = 0;
  std::uint8_t dbcHead[8] = {}, dctHead[4] = {}, dbcLast = 0;

  AppendUndo(FileSystem& fs, const std::string& dbcPath, const std::string& dctPath) {
    auto dbc = fs.open(dbcPath, OpenMode::Read), dct = fs.open(dctPath, OpenMode::Read);
    dbcSize = dbc->size();
    dctSize = dct->size();
    dbc->readAt(0, dbcHead, sizeof dbcHead);
    dbc->readAt(dbcSize - 1, &dbcLast, 1);
    dct->readAt(0, dctHead, sizeof dctHead);
  }
  // Puts the files back as they were; false when that failed too.
  bool apply(FileSystem& fs, const std::string& dbcPath, const std::string& dctPath) const {
    try {
      auto dbc = fs.open(dbcPath, OpenMode::ReadWrite), dct = fs.open(dctPath, OpenMode::ReadWrite);
      dbc->writeAt(0, dbcHead, sizeof dbcHead);
      dbc->sync();
      dbc->truncate(dbcSize);
      dbc->writeAt(dbcSize - 1, &dbcLast, 1);
      dct->writeAt(0, dctHead, sizeof dctHead);
      dct->truncate(dctSize);
      dbc->sync();
      dct->sync();
      return true;
    } catch (const data::Failure&) {
      return false;
    }
  }
};

}  // namespace

std::unique_ptr<TableFile> ContainerCatalog::create(const TableDefinition& definition) {
  std::unique_ptr<FileLock> lock = lockContainer();
  refresh();
  const CodePage& codePage = namesToWrite("add a table to");
  std::string base = tableFileBase(definition.name);
  const std::string known = definition.longName.empty() ? base : lowerCase(definition.longName);
  std::string objectName = containerObjectName(definition.name, known, codePage);
  if (findTable(known)) throwSqlException("Table \"" + known + "\" already exists in the database.");
  std::vector<std::string> fieldNames = containerFieldNames(definition.columnNames, codePage);
  std::vector<std::string> properties = fieldPropertyMemos(definition.rules, codePage, definition.columnNames);
  std::string dbfFile = base + ".dbf";
  removeLeftovers(base, dbfFile, definition.layout.hasMemo);

  TableLayout layout = definition.layout;
  std::vector<std::string> shorts = shortNames(layout.fields, layout.codePage);
  for (std::size_t i = 0; i < layout.fields.size(); ++i) layout.fields[i].name = shorts[i];
  layout.backlink = backlink_;
  std::string dbfPath = joinPath(folder_, dbfFile);
  std::string fptPath = joinPath(folder_, base + ".fpt");
  std::vector<Record> added = newTableRecords(records_, objectName, fieldNames);
  writeIndexTemporary(added);
  std::unique_ptr<TableFile> table;
  try {
    table = TableFile::create(*fs_, dbfPath, fptPath, layout);
  } catch (...) {
    removeIndexTemporary();
    throw;
  }
  std::string tableProperty;
  appendProperty(tableProperty, kPropSubType, std::string(1, '\x01'));
  std::string pathValue;
  codePage.encode(dbfFile, pathValue);
  appendProperty(tableProperty, kPropPath, pathValue + '\0');
  properties.insert(properties.begin(), tableProperty);
  const AppendUndo undo(*fs_, dbcPath_, dctPath_);
  try {
    appendRecords(added, properties);
    installIndex();
  } catch (...) {
    // The container keeps its previous records and index; the new table's files go.
    undo.apply(*fs_, dbcPath_, dctPath_);
    read_ = fs_->status(dbcPath_);
    table.reset();
    for (const std::string& path : {dbfPath, layout.hasMemo ? fptPath : std::string()}) {
      try {
        if (!path.empty()) fs_->remove(path);
      } catch (const data::Failure&) {
      }
    }
    removeIndexTemporary();
    throw;
  }
  records_.insert(records_.end(), added.begin(), added.end());
  tables_.emplace(foldCase(names().decode(added.front().name)), records_.size() - added.size());
  read_ = fs_->status(dbcPath_);
  return table;
}

void ContainerCatalog::drop(std::string_view name) {
  settleDrop();
  std::unique_ptr<FileLock> lock = lockContainer();
  refresh();
  // Its index keys are names lowered in its code page: without that, nothing is changed.
  namesToWrite("drop a table from");
  const Record* t = findTable(name);
  if (!t) throwSqlException("Table \"" + std::string(name) + "\" does not exist in the database.");
  const Record table = *t;
  std::string dbfPath = tablePath(table);
  checkDroppable(table, dbfPath);
  std::string tableName = foldCase(names().decode(table.name));
  // The table first, then what it owns (fields, indexes, its relations) and the relations
  // that name it as their parent.
  std::vector<std::uint32_t> numbers{table.number};
  for (const auto& r : records_) {
    if (r.deleted || r.number == table.number) continue;
    bool owned = r.parentId == table.objectId && r.type != "Database";
    bool parentOf = false;
    if (!owned && r.type == "Relation") {
      std::string parent = property(r, kPropParentTable);
      parentOf = foldCase(names().decode(parent.substr(0, parent.find('\0')))) == tableName;
    }
    if (owned || parentOf) numbers.push_back(r.number);
  }
  writeIndexTemporary({}, numbers);
  // The files go aside first, the .dbf first, so no listed table ever lacks a file and a
  // file that cannot be moved keeps the table; the records and the index follow.
  AsideFiles files;
  bool flagged = false;
  try {
    for (const std::string& file : tableFiles(*fs_, folderOf(dbfPath), baseName(dbfPath))) files.add(*fs_, file);
    flagged = true;
    setFlags(numbers, kRecordDeleted);
    installIndex();
  } catch (...) {
    undoDrop(numbers, flagged, files);
    throw;
  }
  dropped_ = std::move(numbers);
  droppedFiles_ = std::move(files);
}

void ContainerCatalog::undoDrop(const std::vector<std::uint32_t>& numbers, bool flagged, AsideFiles& files) {
  removeIndexTemporary();
  try {
    if (flagged) setFlags(numbers, kRecordLive);
    files.restore(*fs_);
  } catch (const data::Failure&) {
  }
}

void ContainerCatalog::restoreDrop() {
  if (dropped_.empty()) return;
  std::vector<std::uint32_t> numbers = std::move(dropped_);
  dropped_.clear();
  std::unique_ptr<FileLock> lock = lockContainer();
  refresh();
  const Record& table = records_[numbers.front() - 1];
  if (!table.deleted || findTable(names().decode(table.name)))
    throwSqlException(
        "The dropped table could not be put back: the database has changed since; its files are kept "
        "as " +
        droppedFiles_.where() + ".");
  // Files first, so that the table is never listed without them.
  droppedFiles_.restore(*fs_);
  setFlags(numbers, kRecordLive);
  writeIndexTemporary({});
  installIndex();
}

void ContainerCatalog::settleDrop() {
  dropped_.clear();
  droppedFiles_.settle(*fs_);
}

// ------------------------------------------------------------------------------------
// Index and Relation records

namespace {

// A property's text value as stored: the bytes up to its terminating zero.
std::string textValue(const std::string& value) { return value.substr(0, value.find('\0')); }

}  // namespace

ContainerCatalog::Record ContainerCatalog::newRecord(std::int32_t parent, const char* type, const std::string& name,
                                                     const std::vector<Record>& added) const {
  std::int32_t id = static_cast<std::int32_t>(records_.size());
  for (const auto& r : records_) id = std::max(id, r.objectId);
  for (const auto& r : added) id = std::max(id, r.objectId);
  Record r;
  r.number = static_cast<std::uint32_t>(records_.size() + added.size() + 1);
  r.objectId = id + 1;
  r.parentId = parent;
  r.typeRaw = padded(type, kTypeWidth);
  r.nameRaw = padded(name, kNameWidth);
  r.type = type;
  r.name = trimmed(r.nameRaw);
  return r;
}

void ContainerCatalog::replaceProperty(std::uint32_t number, const std::string& memo) {
  auto dct = fs_->open(dctPath_, OpenMode::ReadWrite);
  std::vector<std::uint8_t> head(kMemoHeaderSize);
  head.resize(dct->readAt(0, head.data(), head.size()));
  const std::uint32_t block = parseMemoHeader(head, dct->size()).nextFreeBlock;
  const std::size_t blocks = (8 + memo.size() + blockSize_ - 1) / blockSize_;
  std::vector<std::uint8_t> bytes(blocks * blockSize_, 0);
  putBe32(&bytes[0], 1);
  putBe32(&bytes[4], static_cast<std::uint32_t>(memo.size()));
  std::memcpy(&bytes[8], memo.data(), memo.size());
  dct->writeAt(static_cast<std::uint64_t>(block) * blockSize_, bytes.data(), bytes.size());
  dct->sync();
  std::uint8_t next[4];
  putBe32(next, block + static_cast<std::uint32_t>(blocks));
  dct->writeAt(0, next, 4);
  dct->sync();
  // Nothing points to the new memo until this one write.
  auto dbc = fs_->open(dbcPath_, OpenMode::ReadWrite);
  std::uint8_t pointer[4];
  putLe32(pointer, block);
  dbc->writeAt(headerLength_ + static_cast<std::uint64_t>(number - 1) * recordLength_ + kPropertyAt, pointer, 4);
  dbc->sync();
  records_[number - 1].property = block;
}

std::string ContainerCatalog::primaryKey(std::string_view table) {
  refresh();
  const Record* t = findTable(table);
  if (!t) throwSqlException("Table \"" + std::string(table) + "\" does not exist in the database.");
  return names().decode(textValue(property(*t, kPropPrimaryKey)));
}

void ContainerCatalog::addIndex(std::string_view table, const std::string& tag, bool candidate, bool primary) {
  std::unique_ptr<FileLock> lock = lockContainer();
  refresh();
  const CodePage& codePage = namesToWrite("add an index to");
  const Record* t = findTable(table);
  if (!t) throwSqlException("Table \"" + std::string(table) + "\" does not exist in the database.");
  const Record owner = *t;
  const std::string name = lowerName(tag, codePage);
  const std::string flag(1, candidate || primary ? '\x01' : '\x00');
  bool recorded = false;
  std::vector<std::uint32_t> replaced;
  for (const auto& r : records_) {
    if (r.deleted || r.type != "Index" || r.parentId != owner.objectId || r.name != name) continue;
    if (property(r, kPropPrimCand) == flag) recorded = true;
    else replaced.push_back(r.number);
  }
  std::vector<Record> added;
  std::string memo;
  if (!recorded) {
    added.push_back(newRecord(owner.objectId, "Index", name, {}));
    appendProperty(memo, kPropPrimCand, flag);
  }
  if (!added.empty() || !replaced.empty()) commitObjects(added, {memo}, replaced);
  if (primary && textValue(property(owner, kPropPrimaryKey)) != name) {
    std::string tableMemo = readMemo(owner.property);
    appendProperty(tableMemo, kPropPrimaryKey, name + '\0');
    replaceProperty(owner.number, tableMemo);
    read_ = fs_->status(dbcPath_);
  }
}

void ContainerCatalog::addRelation(std::string_view child, const std::string& childTag, std::string_view parent,
                                   const std::string& parentTag) {
  std::unique_ptr<FileLock> lock = lockContainer();
  refresh();
  const CodePage& codePage = namesToWrite("add a relation to");
  const Record* c = findTable(child);
  const Record* p = findTable(parent);
  if (!c || !p)
    throwSqlException("Table \"" + std::string(c ? parent : child) + "\" does not exist in the database.");
  const Record owner = *c;
  const std::string values[] = {lowerName(childTag, codePage), p->name, lowerName(parentTag, codePage)};
  int relations = 0;
  for (const auto& r : records_) {
    if (r.deleted || r.type != "Relation" || r.parentId != owner.objectId) continue;
    ++relations;
    if (textValue(property(r, kPropChildTag)) == values[0] && textValue(property(r, kPropParentTable)) == values[1] &&
        textValue(property(r, kPropParentTag)) == values[2])
      return;  // recorded already
  }
  std::string memo;
  appendProperty(memo, kPropChildTag, values[0] + '\0');
  appendProperty(memo, kPropParentTable, values[1] + '\0');
  appendProperty(memo, kPropParentTag, values[2] + '\0');
  std::vector<Record> added{newRecord(owner.objectId, "Relation", "Relation " + std::to_string(relations + 1), {})};
  commitObjects(added, {memo}, {});
}

void ContainerCatalog::commitObjects(std::vector<Record>& added, const std::vector<std::string>& properties,
                                     const std::vector<std::uint32_t>& replaced) {
  writeIndexTemporary(added, replaced);
  const AppendUndo undo(*fs_, dbcPath_, dctPath_);
  bool flagged = false;
  try {
    setFlags(replaced, kRecordDeleted);
    flagged = true;
    appendRecords(added, properties);
    installIndex();
  } catch (...) {
    // The container keeps its previous records and index.
    undo.apply(*fs_, dbcPath_, dctPath_);
    try {
      if (flagged) setFlags(replaced, kRecordLive);
    } catch (const data::Failure&) {
    }
    read_ = fs_->status(dbcPath_);
    removeIndexTemporary();
    throw;
  }
  records_.insert(records_.end(), added.begin(), added.end());
  read_ = fs_->status(dbcPath_);
}

// ------------------------------------------------------------------------------------

namespace {

// True when there is no file at `path`, or one holding no more than the first bytes of
// `bytes`: what a creation cut short leaves (the program killed before the .dbc was renamed
// into place). Such a file holds nothing of the user's and is written anew.
bool absentOrLeftOver(FileSystem& fs, const std::string& path, const std::vector<std::uint8_t>& bytes) {
  const FileStatus status = fs.status(path);
  if (status.kind == FileKind::Missing) return true;
  if (status.kind != FileKind::Regular || status.links != 1) return false;
  auto f = fs.open(path, OpenMode::Read);
  const std::uint64_t size = f->size();
  if (size > bytes.size()) return false;
  std::vector<std::uint8_t> held(static_cast<std::size_t>(size));
  if (f->readAt(0, held.data(), held.size()) != held.size()) return false;
  return std::equal(held.begin(), held.end(), bytes.begin());
}

}  // namespace

bool createContainer(FileSystem& fs, const std::string& dbcPath, const CodePage& codePage) {
  std::string file = baseName(dbcPath);
  auto refuse = [&](const std::string& why) {
    throw data::Failure("Cannot create the database container \"" + dbcPath + "\": " + why + ".");
  };
  if (file.size() < 5 || !endsWithIgnoringAsciiCase(file, ".dbc")) refuse("its name must end in .dbc");
  std::string folder = folderOf(dbcPath);
  if (!fs.isDirectory(folder)) refuse("the folder \"" + folder + "\" does not exist");
  const std::string dctPath = joinPath(folder, companionName(file, "dct"));
  const std::string dcxPath = joinPath(folder, companionName(file, "dcx"));
  // One creator at a time; the next finds the container made.
  std::unique_ptr<FileLock> creating = lock(fs, folder);
  if (!creating) refuse("File is in use. Another program is creating a database container in \"" + folder + "\"");
  if (fs.status(dbcPath).kind != FileKind::Missing) return false;

  // The records: the database (with its version) and its four companions.
  std::string version;
  appendProperty(version, kPropVersion, std::string("\x00\x00\x00\x0A", 4));
  const char* names[] = {"Database", "TransactionLog", "StoredProceduresSource", "StoredProceduresObject",
                         "StoredProceduresDependencies"};
  TableLayout layout = containerLayout();
  layout.codePage = codePage.mark();
  HeaderDate d = today();
  std::vector<std::uint8_t> dbc = encodeHeader(layout, 5, d.yy, d.mm, d.dd);
  dbc[28] = kTableFlagCdx | kTableFlagMemo | kTableFlagDbc;
  std::vector<ContainerIndexEntry> entries;
  const std::uint32_t firstBlock = kMemoHeaderSize / kMemoBlockSize;
  for (std::uint32_t i = 0; i < 5; ++i) {
    std::vector<std::uint8_t> rec(layout.recordLength, ' ');
    rec[0] = kRecordLive;
    putLe32(&rec[kObjectIdAt], i + 1);
    putLe32(&rec[kParentIdAt], 1);
    std::string type = padded("Database", kTypeWidth), name = padded(names[i], kNameWidth);
    std::memcpy(&rec[kTypeAt], type.data(), kTypeWidth);
    std::memcpy(&rec[kNameAt], name.data(), kNameWidth);
    for (const auto& f : layout.fields)
      if (f.type == 'M') std::memset(&rec[f.offset], 0, 4);
    if (i == 0) putLe32(&rec[kPropertyAt], firstBlock);
    dbc.insert(dbc.end(), rec.begin(), rec.end());
    entries.push_back({i + 1, 1, type, name});
  }
  dbc.push_back(kEndOfFile);

  std::vector<std::uint8_t> memoBlock(kMemoBlockSize, 0);
  putBe32(&memoBlock[0], 1);
  putBe32(&memoBlock[4], static_cast<std::uint32_t>(version.size()));
  std::memcpy(&memoBlock[8], version.data(), version.size());
  std::vector<std::uint8_t> dct = encodeMemoHeader(firstBlock + 1, kMemoBlockSize);
  dct.insert(dct.end(), memoBlock.begin(), memoBlock.end());
  std::vector<std::uint8_t> dcx = buildContainerIndex(entries, 5, codePage);
  // A .dct or .dcx that a creation cut short left is written anew; any other is the user's.
  if (!absentOrLeftOver(fs, dctPath, dct)) refuse("\"" + dctPath + "\" exists already");
  if (!absentOrLeftOver(fs, dcxPath, dcx)) refuse("\"" + dcxPath + "\" exists already");
  for (const std::string* path : {&dctPath, &dcxPath})
    if (fs.status(*path).kind != FileKind::Missing) fs.remove(*path);

  std::vector<std::string> written;
  auto write = [&](NewFile made, const std::vector<std::uint8_t>& bytes) {
    written.push_back(made.path);
    made.file->writeAt(0, bytes.data(), bytes.size());
    made.file->sync();
  };
  try {
    write({fs.open(dctPath, OpenMode::CreateNew), dctPath}, dct);
    write({fs.open(dcxPath, OpenMode::CreateNew), dcxPath}, dcx);
    write(createUnique(fs, folder), dbc);
    fs.renameNew(written.back(), dbcPath);
  } catch (...) {
    for (const auto& p : written) {
      try {
        fs.remove(p);
      } catch (...) {
      }
    }
    throw;
  }
  return true;
}

bool createContainer(const std::string& dbcPath, const CodePage& codePage) {
  return createContainer(*makeRealFileSystem(true), dbcPath, codePage);
}

// ------------------------------------------------------------------------------------
// Field properties

namespace {

constexpr std::uint8_t kPropComment = 7;
constexpr std::uint8_t kPropRuleExpression = 9;
constexpr std::uint8_t kPropRuleText = 10;
constexpr std::uint8_t kPropDefaultValue = 11;

// The order Visual FoxPro keeps a field's properties in (Comment, DefaultValue, the display
// class and its library, Caption, Format, InputMask, RuleExpression, RuleText); other ids
// come after these.
int propertyRank(std::uint8_t id) {
  static constexpr std::uint8_t order[] = {7, 11, 50, 51, 56, 55, 54, 9, 10};
  for (std::size_t i = 0; i < std::size(order); ++i)
    if (order[i] == id) return static_cast<int>(i);
  return static_cast<int>(std::size(order));
}

// `memo` with the property `id` set to `value`: replaced where it stands, or put in its
// place in VFP's order.
std::string withProperty(const std::string& memo, std::uint8_t id, std::string_view value) {
  std::string out;
  bool placed = false;
  std::size_t pos = 0;
  while (pos + 7 <= memo.size()) {
    auto p = reinterpret_cast<const std::uint8_t*>(memo.data() + pos);
    const std::uint32_t length = getLe32(p);
    if (length < 7 || pos + length > memo.size()) break;
    const std::uint8_t have = getLe16(p + 4) == 1 ? p[6] : 0;
    if (!placed && (have == id || propertyRank(have) > propertyRank(id))) {
      appendProperty(out, id, value);
      placed = true;
    }
    if (have != id) out.append(memo, pos, length);
    pos += length;
  }
  if (!placed) appendProperty(out, id, value);
  return out;
}

// `text` (UTF-8) in the container's code page with the NUL VFP ends it with; refused when
// the code page lacks one of its characters.
std::string propertyValue(std::string_view text, const CodePage& codePage, const std::string& what) {
  std::string bytes;
  if (codePage.encode(text, bytes) != 0)
    throwSqlException("The " + what + " has characters that code page " + std::to_string(codePage.number()) +
                      " of the database container cannot hold.");
  return bytes + '\0';
}

}  // namespace

std::vector<std::string> ContainerCatalog::fieldPropertyMemos(const std::vector<FieldRules>& rules,
                                                              const CodePage& codePage,
                                                              const std::vector<std::string>& columnNames) const {
  std::vector<std::string> memos;
  for (std::size_t i = 0; i < rules.size(); ++i) {
    const FieldRules& r = rules[i];
    const std::string column = i < columnNames.size() ? "column \"" + columnNames[i] + "\"" : "column";
    std::string memo;
    if (!r.defaultValue.empty())
      appendProperty(memo, kPropDefaultValue, propertyValue(r.defaultValue, codePage, "DEFAULT of the " + column));
    if (!r.rule.empty())
      appendProperty(memo, kPropRuleExpression, propertyValue(r.rule, codePage, "CHECK of the " + column));
    if (!r.ruleText.empty())
      appendProperty(memo, kPropRuleText, propertyValue(r.ruleText, codePage, "ERROR of the " + column));
    memos.push_back(std::move(memo));
  }
  return memos;
}

std::uint32_t ContainerCatalog::appendMemo(const std::string& memo) {
  auto dct = fs_->open(dctPath_, OpenMode::ReadWrite);
  std::vector<std::uint8_t> head(kMemoHeaderSize);
  head.resize(dct->readAt(0, head.data(), head.size()));
  const MemoHeader h = parseMemoHeader(head, dct->size());
  const std::size_t blocks = (8 + memo.size() + h.blockSize - 1) / h.blockSize;
  std::vector<std::uint8_t> bytes(blocks * h.blockSize, 0);
  putBe32(bytes.data(), 1);
  putBe32(bytes.data() + 4, static_cast<std::uint32_t>(memo.size()));
  std::memcpy(bytes.data() + 8, memo.data(), memo.size());
  // The block first, then the header that hands it out; nothing points to it yet.
  dct->writeAt(static_cast<std::uint64_t>(h.nextFreeBlock) * h.blockSize, bytes.data(), bytes.size());
  dct->sync();
  std::uint8_t next[4];
  putBe32(next, h.nextFreeBlock + static_cast<std::uint32_t>(blocks));
  dct->writeAt(0, next, 4);
  dct->sync();
  return h.nextFreeBlock;
}

void ContainerCatalog::setFieldProperty(std::string_view table, std::string_view column, FieldProperty property,
                                        std::string_view value) {
  std::unique_ptr<FileLock> lock = lockContainer();
  refresh();
  const CodePage& codePage = namesToWrite("change a field of");
  const Record* t = findTable(table);
  if (!t) throwSqlException("Cannot find object \"" + std::string(table) + "\" in the database.");
  const Record* field = nullptr;
  for (const auto& r : records_)
    if (!r.deleted && r.type == "Field" && r.parentId == t->objectId &&
        foldCase(names().decode(r.name)) == foldCase(column))
      field = &r;
  if (!field)
    throwSqlException("Cannot find object \"" + std::string(table) + "." + std::string(column) +
                      "\" in the database.");
  const auto id = static_cast<std::uint8_t>(property);
  const std::string memo = withProperty(readMemo(field->property), id,
                                        propertyValue(value, codePage, id == kPropComment ? "comment" : "caption"));
  try {
    const std::uint32_t block = appendMemo(memo);
    // The record points to the new memo in one four-byte write.
    auto dbc = fs_->open(dbcPath_, OpenMode::ReadWrite);
    std::uint8_t pointer[4];
    putLe32(pointer, block);
    dbc->writeAt(headerLength_ + static_cast<std::uint64_t>(field->number - 1) * recordLength_ + kPropertyAt, pointer,
                 4);
    dbc->sync();
    dbc.reset();
    records_[field->number - 1].property = block;  // kept in step, not read again
    read_ = fs_->status(dbcPath_);
  } catch (const data::Failure& f) {
    throw data::Failure("SQLException: Error writing to file. " + f.description());
  }
}

}  // namespace tw::vfp
