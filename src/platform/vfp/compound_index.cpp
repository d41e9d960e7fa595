#include "platform/vfp/compound_index.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "platform/vfp/dbf_format.h"

namespace tw::vfp {

namespace {

constexpr std::size_t kPage = 512;
constexpr std::size_t kLeafHeader = 24;
constexpr std::size_t kInteriorHeader = 12;
constexpr std::uint16_t kNodeInterior = 0;
constexpr std::uint16_t kNodeRoot = 1;
constexpr std::uint16_t kNodeLeaf = 2;
constexpr std::uint32_t kTagListRoot = 1024;
constexpr std::size_t kTagHeaderPages = 2;
constexpr std::size_t kTagNameLength = 10;

constexpr std::uint8_t kOptionCandidate = 0x04;
constexpr std::uint8_t kOptionFor = 0x08;
constexpr std::uint8_t kOptionsTagList = 0xE0;  // compact, compound, and the tag-list mark
constexpr std::uint8_t kOptionsTag = 0x60;      // compact, compound

// Where a tag's keys are: `count` keys of `length` bytes from `keys`, with their records.
struct KeyRun {
  const char* keys;
  const std::uint32_t* records;
  std::size_t count;
  std::size_t length;
  char fill;
  const char* key(std::size_t i) const { return keys + i * length; }
};

int bitWidth(std::uint32_t v) { return static_cast<int>(std::bit_width(v)); }

std::size_t trailingFill(const char* key, std::size_t length, char fill) {
  std::size_t n = 0;
  while (n < length && key[length - 1 - n] == fill) ++n;
  return n;
}

std::size_t sharedPrefix(const char* a, const char* b, std::size_t length) {
  std::size_t n = 0;
  while (n < length && a[n] == b[n]) ++n;
  return n;
}

// One level of a tag's nodes, 512 bytes each, one after the other.
struct Level {
  std::vector<std::uint8_t> bytes;
  std::size_t count() const { return bytes.size() / kPage; }
  std::uint8_t* node(std::size_t n) { return bytes.data() + n * kPage; }
  // Appends a node of zeros and returns it.
  std::uint8_t* add() {
    bytes.resize(bytes.size() + kPage, 0);
    return node(count() - 1);
  }
};

// One tag's nodes, level by level from the leaves up; each node's bytes are complete but
// for the offsets (left, right, children), which are filled in once every node is placed.
// Interior node n of a level holds the children n * perNode, n * perNode + 1, ... below.
struct Tree {
  std::size_t keyLength = 0;
  std::size_t perNode = 0;
  std::vector<Level> levels;
  std::vector<std::vector<std::uint32_t>> offsets;  // per level, per node
};

// The bit layout of a leaf's entries: record number, duplicate and trailing counts.
struct LeafBits {
  int countBits, entryBytes, recordBits;
  std::uint32_t recordMask, countMask;

  LeafBits(std::size_t keyLength, std::uint32_t maxRecord) {
    countBits = bitWidth(static_cast<std::uint32_t>(keyLength));
    const int neededRecordBits = std::max(1, bitWidth(maxRecord));
    entryBytes = (neededRecordBits + 2 * countBits + 7) / 8;
    recordBits = entryBytes * 8 - 2 * countBits;
    recordMask = recordBits >= 32 ? 0xFFFFFFFFu : (1u << recordBits) - 1;
    countMask = (1u << countBits) - 1;
  }
  std::uint8_t* startLeaf(Level& leaves) const {
    std::uint8_t* node = leaves.add();
    putLe16(&node[0], kNodeLeaf);
    putLe32(&node[14], recordMask);
    node[18] = static_cast<std::uint8_t>(countMask);
    node[19] = static_cast<std::uint8_t>(countMask);
    node[20] = static_cast<std::uint8_t>(recordBits);
    node[21] = static_cast<std::uint8_t>(countBits);
    node[22] = static_cast<std::uint8_t>(countBits);
    node[23] = static_cast<std::uint8_t>(entryBytes);
    return node;
  }
};

// Packs the sorted keys into leaves, each as full as it can be; `lastKeys` gets the index
// of each leaf's last key.
Level buildLeaves(const KeyRun& run, std::uint32_t maxRecord, std::vector<std::size_t>& lastKeys) {
  const LeafBits bits(run.length, maxRecord);
  Level leaves;
  leaves.bytes.reserve((run.count * (run.length / 2 + bits.entryBytes) / (kPage - kLeafHeader) + 1) * kPage);
  std::uint8_t* node = bits.startLeaf(leaves);
  std::size_t count = 0, keyEnd = kPage;
  auto finish = [&] {
    putLe16(&node[2], static_cast<std::uint32_t>(count));
    putLe16(&node[12], static_cast<std::uint32_t>(keyEnd - (kLeafHeader + count * bits.entryBytes)));
  };
  for (std::size_t i = 0; i < run.count; ++i) {
    const char* key = run.key(i);
    const std::size_t trail = trailingFill(key, run.length, run.fill);
    std::size_t dup = count > 0 ? std::min(sharedPrefix(run.key(i - 1), key, run.length), run.length - trail) : 0;
    if (count > 0 && kLeafHeader + (count + 1) * bits.entryBytes + (run.length - dup - trail) > keyEnd) {
      finish();
      lastKeys.push_back(i - 1);
      node = bits.startLeaf(leaves);
      count = 0;
      keyEnd = kPage;
      dup = 0;
    }
    const std::size_t stored = run.length - dup - trail;
    const std::uint64_t packed = run.records[i] | (static_cast<std::uint64_t>(dup) << bits.recordBits) |
                                 (static_cast<std::uint64_t>(trail) << (bits.recordBits + bits.countBits));
    for (int b = 0; b < bits.entryBytes; ++b)
      node[kLeafHeader + count * bits.entryBytes + b] = static_cast<std::uint8_t>(packed >> (8 * b));
    keyEnd -= stored;
    std::memcpy(&node[keyEnd], key + dup, stored);
    ++count;
  }
  finish();
  if (run.count > 0) lastKeys.push_back(run.count - 1);
  return leaves;
}

Tree buildTree(const KeyRun& run, std::uint32_t maxRecord) {
  Tree tree;
  tree.keyLength = run.length;
  tree.perNode = (kPage - kInteriorHeader) / (run.length + 8);
  std::vector<std::size_t> last;
  tree.levels.push_back(buildLeaves(run, maxRecord, last));
  while (tree.levels.back().count() > 1) {
    const std::vector<std::size_t> below = std::move(last);
    last.clear();
    Level level;
    for (std::size_t first = 0; first < below.size(); first += tree.perNode) {
      const std::size_t n = std::min(tree.perNode, below.size() - first);
      std::uint8_t* node = level.add();
      putLe16(&node[0], kNodeInterior);
      putLe16(&node[2], static_cast<std::uint32_t>(n));
      for (std::size_t k = 0; k < n; ++k) {
        const std::size_t at = kInteriorHeader + k * (run.length + 8);
        std::memcpy(&node[at], run.key(below[first + k]), run.length);
        putBe32(&node[at + run.length], run.records[below[first + k]]);
      }
      last.push_back(below[first + n - 1]);
    }
    tree.levels.push_back(std::move(level));
  }
  // The single node of the top level is the root.
  std::uint8_t* root = tree.levels.back().node(0);
  putLe16(&root[0], getLe16(&root[0]) | kNodeRoot);
  return tree;
}

// Gives every node of the tree its offset: the root at `rootOffset`, the others from `next`.
void place(Tree& tree, std::uint32_t rootOffset, std::uint32_t& next) {
  tree.offsets.resize(tree.levels.size());
  for (std::size_t l = 0; l < tree.levels.size(); ++l) {
    const bool top = l + 1 == tree.levels.size();
    for (std::size_t n = 0; n < tree.levels[l].count(); ++n) {
      tree.offsets[l].push_back(top ? rootOffset : next);
      if (!top) next += kPage;
    }
  }
  for (std::size_t l = 0; l < tree.levels.size(); ++l) {
    Level& nodes = tree.levels[l];
    for (std::size_t n = 0; n < nodes.count(); ++n) {
      std::uint8_t* node = nodes.node(n);
      putLe32(&node[4], n == 0 ? 0xFFFFFFFFu : tree.offsets[l][n - 1]);
      putLe32(&node[8], n + 1 == nodes.count() ? 0xFFFFFFFFu : tree.offsets[l][n + 1]);
      if (l == 0) continue;
      for (std::size_t k = 0; k < getLe16(&node[2]); ++k)
        putBe32(&node[kInteriorHeader + k * (tree.keyLength + 8) + tree.keyLength + 4],
                tree.offsets[l - 1][n * tree.perNode + k]);
    }
  }
}

void copyNodes(std::vector<std::uint8_t>& file, const Tree& tree) {
  for (std::size_t l = 0; l < tree.levels.size(); ++l)
    for (std::size_t n = 0; n < tree.levels[l].count(); ++n)
      std::memcpy(&file[tree.offsets[l][n]], tree.levels[l].bytes.data() + n * kPage, kPage);
}

// A tag header: two pages, the fields and then the key and FOR expressions.
void writeHeader(std::vector<std::uint8_t>& file, std::uint32_t at, std::uint32_t root, std::size_t keyLength,
                 std::uint8_t options, bool descending, const std::string& key, const std::string& forClause) {
  std::uint8_t* h = &file[at];
  putLe32(h, root);
  putLe16(h + 12, static_cast<std::uint32_t>(keyLength));
  h[14] = options;
  h[15] = 1;  // signature
  putLe16(h + 502, descending ? 1 : 0);
  putLe16(h + 504, static_cast<std::uint32_t>(key.size() + 1));
  putLe16(h + 506, static_cast<std::uint32_t>(forClause.size() + 1));
  putLe16(h + 510, static_cast<std::uint32_t>(key.size() + 1));
  std::memcpy(h + 512, key.data(), key.size());
  std::memcpy(h + 512 + key.size() + 1, forClause.data(), forClause.size());
}

}  // namespace

std::vector<std::uint8_t> buildCompoundIndex(const std::vector<const IndexTag*>& tags, std::uint32_t recordCount) {
  // Headers and roots first, in the order of the tags.
  std::vector<std::uint32_t> headers;
  std::uint32_t next = kTagListRoot + kPage;
  for (std::size_t t = 0; t < tags.size(); ++t) {
    headers.push_back(next);
    next += static_cast<std::uint32_t>((kTagHeaderPages + 1) * kPage);
  }
  // The list of tags, by name.
  std::vector<std::size_t> byName(tags.size());
  for (std::size_t t = 0; t < tags.size(); ++t) byName[t] = t;
  std::sort(byName.begin(), byName.end(),
            [&](std::size_t a, std::size_t b) { return tags[a]->name < tags[b]->name; });
  std::string names;
  std::vector<std::uint32_t> nameRecords;
  for (std::size_t t : byName) {
    std::string name = tags[t]->name.substr(0, kTagNameLength);
    name.resize(kTagNameLength, ' ');
    names += name;
    nameRecords.push_back(headers[t]);
  }
  Tree tagList = buildTree({names.data(), nameRecords.data(), tags.size(), kTagNameLength, ' '},
                           tags.empty() ? 1 : headers.back());
  std::vector<Tree> trees;
  const std::uint32_t maxRecord = std::max<std::uint32_t>(recordCount, 1);
  for (const IndexTag* tag : tags)
    trees.push_back(buildTree({tag->keys.data(), tag->records.data(), tag->records.size(), tag->keyLength, tag->fill},
                              maxRecord));
  place(tagList, kTagListRoot, next);
  for (std::size_t t = 0; t < tags.size(); ++t)
    place(trees[t], headers[t] + static_cast<std::uint32_t>(kTagHeaderPages * kPage), next);

  std::vector<std::uint8_t> file(next, 0);
  writeHeader(file, 0, kTagListRoot, kTagNameLength, kOptionsTagList, false, "", "");
  copyNodes(file, tagList);
  for (std::size_t t = 0; t < tags.size(); ++t) {
    const IndexTag& tag = *tags[t];
    std::uint8_t options = kOptionsTag;
    if (!tag.forExpression.empty()) options |= kOptionFor;
    if (tag.candidate) options |= kOptionCandidate;
    writeHeader(file, headers[t], trees[t].offsets.back().front(), tag.keyLength, options, tag.descending,
                tag.keyExpression, tag.forExpression);
    copyNodes(file, trees[t]);
  }
  return file;
}

namespace {

std::string zeroEnded(const std::uint8_t* p, std::size_t max) {
  std::size_t n = 0;
  while (n < max && p[n] != 0) ++n;
  return std::string(reinterpret_cast<const char*>(p), n);
}

// The (name, header offset) entries of the list of tags, from its leaves.
std::vector<std::pair<std::string, std::uint32_t>> tagListEntries(const std::vector<std::uint8_t>& f) {
  std::vector<std::pair<std::string, std::uint32_t>> out;
  const std::size_t keyLength = getLe16(&f[12]);
  if (keyLength == 0 || keyLength > kMaxKeyLength) throw CorruptTable("its list of tags has a bad key length");
  std::uint32_t node = getLe32(&f[0]);
  for (int depth = 0;; ++depth) {  // down the leftmost path to the first leaf
    if (depth > 16 || node % kPage != 0 || node + kPage > f.size())
      throw CorruptTable("its list of tags points outside the file");
    if (getLe16(&f[node]) & kNodeLeaf) break;
    node = getBe32(&f[node + kInteriorHeader + keyLength + 4]);
  }
  for (int leaves = 0; node != 0xFFFFFFFFu; ++leaves) {
    if (leaves > 64 || node % kPage != 0 || node + kPage > f.size())
      throw CorruptTable("its list of tags points outside the file");
    const std::uint8_t* n = &f[node];
    const std::uint32_t count = getLe16(n + 2), recordMask = getLe32(n + 14);
    const int recordBits = n[20], dupBits = n[21], trailBits = n[22], bytes = n[23];
    if (bytes < 1 || bytes > 8 || recordBits + dupBits + trailBits > bytes * 8)
      throw CorruptTable("its list of tags has a damaged leaf");
    std::size_t keyEnd = kPage;
    std::string previous;
    for (std::uint32_t i = 0; i < count; ++i) {
      std::uint64_t packed = 0;
      for (int b = 0; b < bytes; ++b) packed |= static_cast<std::uint64_t>(n[kLeafHeader + i * bytes + b]) << (8 * b);
      const std::size_t dup = (packed >> recordBits) & ((1u << dupBits) - 1);
      const std::size_t trail = (packed >> (recordBits + dupBits)) & ((1u << trailBits) - 1);
      if (dup + trail > keyLength || dup > previous.size() || keyEnd < kLeafHeader + (i + 1) * bytes + keyLength)
        throw CorruptTable("its list of tags has a damaged leaf");
      keyEnd -= keyLength - dup - trail;
      std::string key =
          previous.substr(0, dup) + std::string(reinterpret_cast<const char*>(n + keyEnd), keyLength - dup - trail);
      previous = key + std::string(trail, ' ');
      out.emplace_back(key.substr(0, key.find_last_not_of(std::string(" \0", 2)) + 1),
                       static_cast<std::uint32_t>(packed & recordMask));
    }
    node = getLe32(n + 8);
  }
  return out;
}

}  // namespace

std::vector<StoredTag> readTagDirectory(const std::vector<std::uint8_t>& f) {
  if (f.size() < kTagListRoot + kPage || f.size() % kPage != 0) throw CorruptTable("it is not a compound index");
  std::vector<StoredTag> tags;
  for (const auto& [name, header] : tagListEntries(f)) {
    if (header % kPage != 0 || header + kTagHeaderPages * kPage > f.size())
      throw CorruptTable("the header of tag " + name + " lies outside the file");
    const std::uint8_t* h = &f[header];
    StoredTag t;
    t.name = name;
    t.header = header;
    t.keyLength = getLe16(h + 12);
    t.candidate = (h[14] & kOptionCandidate) != 0;
    t.descending = getLe16(h + 502) != 0;
    // The collating sequence's name ends at 501; the machine sequence leaves it blank.
    std::size_t from = 488;
    while (from < 502 && h[from] == 0) ++from;
    t.collation = zeroEnded(h + from, 502 - from);
    const std::size_t keyPool = getLe16(h + 510), forPool = getLe16(h + 506);
    if (keyPool == 0 || keyPool + forPool > kPage) throw CorruptTable("tag " + name + " has damaged expressions");
    t.keyExpression = zeroEnded(h + kPage, keyPool);
    if (forPool > 0) t.forExpression = zeroEnded(h + kPage + keyPool, forPool);
    tags.push_back(std::move(t));
  }
  std::sort(tags.begin(), tags.end(), [](const StoredTag& a, const StoredTag& b) { return a.header < b.header; });
  return tags;
}

void putSortableDouble(double value, std::uint8_t* out) {
  if (value == 0) value = 0;  // -0 sorts as 0
  std::uint64_t bits = std::bit_cast<std::uint64_t>(value);
  bits = (bits >> 63) ? ~bits : bits | (std::uint64_t{1} << 63);
  for (int i = 0; i < 8; ++i) out[i] = static_cast<std::uint8_t>(bits >> (56 - 8 * i));
}

void putSortableInteger(std::int32_t value, std::uint8_t* out) {
  putBe32(out, static_cast<std::uint32_t>(value) ^ 0x80000000u);
}

}  // namespace tw::vfp
