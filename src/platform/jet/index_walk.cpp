#include "platform/jet/index_walk.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

namespace tw::jet {

using tw::data::Failure;

std::vector<std::uint32_t> TableCursor::rowPointers() {
  std::vector<std::uint32_t> out;
  forEachLiveRow([&](std::uint32_t page, std::size_t row) { out.push_back(makeRowPointer(page, row)); });
  return out;
}

namespace {

// One index page, unpacked.
struct IndexPage {
  bool leaf = true;
  std::vector<IndexEntry> entries;
  std::vector<std::uint32_t> children;  // node pages: the child of each entry
  std::uint32_t next = 0;
  std::uint32_t childTail = 0;
};

std::uint32_t bigEndian(std::span<const std::uint8_t> b, std::size_t at, std::size_t n) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < n; ++i) v = (v << 8) | b[at + i];
  return v;
}

class IndexWalker {
 public:
  IndexWalker(Database& db, const TableDef& table, const std::string& name)
      : db_(db),
        table_(table),
        layout_(db.format().jet3() ? kIndexLayoutJet3 : kIndexLayoutJet4),
        ctx_("index '" + name + "' of table '" + table.name + "'") {}

  std::vector<IndexEntry> entries(std::uint32_t root) {
    IndexPage page = read(root);
    // Down the first children to the first leaf.
    while (!page.leaf) page = read(page.children.empty() ? page.childTail : page.children.front());
    std::vector<IndexEntry> out;
    for (;;) {
      for (IndexEntry& e : page.entries) {
        if (!out.empty() && !rises(out.back(), e)) damaged("its entries are out of order");
        out.push_back(std::move(e));
      }
      if (page.next == 0) return out;
      page = read(page.next);
      if (!page.leaf) damaged("its chain of leaf pages leads to a node page");
    }
  }

 private:
  [[noreturn]] void damaged(const std::string& what) { db_.damaged("the " + ctx_ + " is damaged: " + what); }

  static bool rises(const IndexEntry& a, const IndexEntry& b) {
    if (a.key != b.key) return std::lexicographical_compare(a.key.begin(), a.key.end(), b.key.begin(), b.key.end());
    return a.row < b.row;
  }

  IndexPage read(std::uint32_t number) {
    if (!visited_.insert(number).second) damaged("it reaches page " + std::to_string(number) + " twice");
    auto p = db_.page(number, ctx_);
    const std::span<const std::uint8_t> page(*p);
    if (page[0] != kPageIndexLeaf && page[0] != kPageIndexNode)
      damaged("page " + std::to_string(number) + " is not an index page");
    if (u32(page, kDataPageOwnerOffset) != table_.tdefPage)
      damaged("page " + std::to_string(number) + " belongs to another table");
    IndexPage out;
    out.leaf = page[0] == kPageIndexLeaf;
    out.next = u32(page, layout_.nextPage);
    out.childTail = u32(page, layout_.childTailPage);
    unpack(page, number, out);
    return out;
  }

  // The entries of a page: the mask marks where each one ends; the first is whole, the
  // others lack the prefix they share with it.
  void unpack(std::span<const std::uint8_t> page, std::uint32_t number, IndexPage& out) {
    const std::size_t start = layout_.entriesStart();
    const std::size_t prefixLength =
        layout_.prefixLengthSize == 1 ? u8(page, layout_.prefixLength) : u16(page, layout_.prefixLength);
    const std::size_t trailer = kIndexRowPointerSize + (out.leaf ? 0 : kIndexChildPointerSize);
    const std::string where = " on page " + std::to_string(number);
    std::vector<std::uint8_t> prefix;
    std::size_t last = 0;
    for (std::size_t bit = 0; bit < layout_.entryMaskSize * 8; ++bit) {
      if (!(page[layout_.entryMask + bit / 8] & (1u << (bit % 8)))) continue;
      if (start + bit > page.size()) damaged("an entry" + where + " runs past the page");
      std::vector<std::uint8_t> full = out.entries.empty() ? std::vector<std::uint8_t>() : prefix;
      full.insert(full.end(), page.begin() + static_cast<std::ptrdiff_t>(start + last),
                  page.begin() + static_cast<std::ptrdiff_t>(start + bit));
      if (out.entries.empty()) {
        if (prefixLength > full.size()) damaged("its shared prefix" + where + " is longer than the first entry");
        prefix.assign(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(prefixLength));
      }
      if (full.size() < trailer) damaged("an entry" + where + " is too short");
      const std::size_t keyEnd = full.size() - trailer;
      IndexEntry e;
      e.row = makeRowPointer(bigEndian(full, keyEnd, 3), full[keyEnd + 3]);
      if (!out.leaf) out.children.push_back(bigEndian(full, keyEnd + kIndexRowPointerSize, 4));
      full.resize(keyEnd);
      e.key = std::move(full);
      out.entries.push_back(std::move(e));
      last = bit;
    }
  }

  Database& db_;
  const TableDef& table_;
  const IndexLayout& layout_;
  const std::string ctx_;
  std::unordered_set<std::uint32_t> visited_;
};

const ColumnDef* columnNumbered(const TableDef& table, std::uint16_t number) {
  for (const ColumnDef& c : table.columns)
    if (c.number == number) return &c;
  return nullptr;
}

// One fixed-size key value: `b` holds the value bytes as an ascending key stores them.
Value fixedKeyValue(std::uint8_t type, std::vector<std::uint8_t> b) {
  if (type == kTypeBool) return Value(b[0] == kKeyTrueAscending);
  if (type == kTypeByte) return Value(static_cast<std::int64_t>(b[0]));
  const bool real = type == kTypeFloat || type == kTypeDouble || type == kTypeDateTime;
  if (real && !(b[0] & 0x80)) {
    for (std::uint8_t& x : b) x = static_cast<std::uint8_t>(~x);  // a negative number
  } else {
    b[0] ^= 0x80;
  }
  std::uint64_t bits = 0;
  for (std::uint8_t x : b) bits = (bits << 8) | x;
  std::vector<std::uint8_t> little(b.rbegin(), b.rend());
  switch (type) {
    case kTypeInt: return Value(static_cast<std::int64_t>(static_cast<std::int16_t>(bits)));
    case kTypeLong: return Value(static_cast<std::int64_t>(static_cast<std::int32_t>(bits)));
    case kTypeMoney: return Value(Currency{static_cast<std::int64_t>(bits)});
    case kTypeFloat: return Value(Single{f32(little, 0)});
    case kTypeDouble: return Value(f64(little, 0));
    default: return Value(DateTime{f64(little, 0)});
  }
}

}  // namespace

std::vector<IndexEntry> readIndexEntries(Database& db, const TableDef& table, const RealIndexDef& index,
                                         const std::string& name) {
  return IndexWalker(db, table, name).entries(index.rootPage);
}

std::vector<Value> decodeIndexKey(const TableDef& table, const RealIndexDef& index,
                                  std::span<const std::uint8_t> key) {
  std::vector<Value> out;
  std::size_t at = 0;
  for (const IndexColumnDef& ic : index.columns) {
    const ColumnDef* c = columnNumbered(table, ic.number);
    const std::size_t size = c ? (c->type == kTypeBool ? 1 : fixedSizeOf(c->type)) : 0;
    if (size == 0 || size > 8 || c->type == kTypeComplex || c->type == kTypeBigInt || at >= key.size()) return {};
    const std::uint8_t flag = key[at++];
    if (flag == (ic.ascending ? kKeyAscendingNull : kKeyDescendingNull) && c->type != kTypeBool) {
      out.emplace_back();
      continue;
    }
    if (key.size() - at < size) return {};
    std::vector<std::uint8_t> b(key.begin() + static_cast<std::ptrdiff_t>(at),
                                key.begin() + static_cast<std::ptrdiff_t>(at + size));
    if (!ic.ascending)
      for (std::uint8_t& x : b) x = static_cast<std::uint8_t>(~x);
    out.push_back(fixedKeyValue(c->type, std::move(b)));
    at += size;
  }
  return at == key.size() ? out : std::vector<Value>();
}

std::vector<std::uint32_t> rowOrder(Database& db, const std::string& table, const std::string& index) {
  const CatalogEntry* e = db.findTable(table);
  if (!e) throw Failure("The Microsoft Access database engine cannot find the input table or query '" + table + "'.");
  auto def = db.readTableDef(e->tdefPage(), e->name);
  const TableIndexes indexes = readIndexDefinitions(db, *def);
  const LogicalIndexDef* l = indexes.find(index);
  if (!l) throw Failure("The table '" + e->name + "' has no index '" + index + "'.");
  const RealIndexDef& real = indexes.real[l->realIndex];
  const std::vector<IndexEntry> entries = readIndexEntries(db, *def, real, l->name);
  TableCursor cursor(db, def);
  std::unordered_map<std::uint32_t, std::uint32_t> position;
  for (std::uint32_t pointer : cursor.rowPointers())
    position.emplace(pointer, static_cast<std::uint32_t>(position.size()));
  const std::string ctx = "the index '" + l->name + "' of table '" + e->name + "'";
  std::vector<std::uint32_t> out;
  std::vector<bool> seen(position.size(), false);
  for (const IndexEntry& entry : entries) {
    auto it = position.find(entry.row);
    if (it == position.end() || seen[it->second])
      db.damaged(ctx + " lists row " + std::to_string(rowPointerRow(entry.row)) + " of page " +
                 std::to_string(rowPointerPage(entry.row)) +
                 (it == position.end() ? ", which the table does not hold" : " twice"));
    seen[it->second] = true;
    out.push_back(it->second);
  }
  if (!real.ignoreNulls() && out.size() != position.size())
    db.damaged(ctx + " lists " + std::to_string(out.size()) + " of the table's " + std::to_string(position.size()) +
               " rows: it is out of date");
  return out;
}

}  // namespace tw::jet
