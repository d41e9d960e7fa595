#include "platform/vfp/container_index.h"

#include <QChar>

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <mutex>

#include "platform/case_rules.h"
#include "platform/utf8.h"
#include "platform/vfp/dbf_format.h"

namespace tw::vfp {

namespace {

// What LOWER() makes of each byte of one code page: the byte of the lower-case letter for a
// one-byte capital whose lower-case form the code page also holds in one byte, else the
// byte itself; and which bytes are characters on their own (not lead bytes).
struct Lowering {
  std::array<std::uint8_t, 256> lower{};
  std::array<bool, 256> alone{};
};

const Lowering& loweringFor(const CodePage& codePage) {
  static std::mutex mutex;
  static std::map<const CodePage*, Lowering> cache;
  std::lock_guard<std::mutex> lock(mutex);
  auto [it, fresh] = cache.try_emplace(&codePage);
  Lowering& l = it->second;
  if (!fresh) return l;
  for (int b = 0; b < 256; ++b) {
    l.lower[static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(asciiLower(static_cast<char>(b)));
    l.alone[static_cast<std::size_t>(b)] = b < 0x80;
    if (b < 0x80) continue;
    const std::string text = codePage.decode(std::string(1, static_cast<char>(b)));
    std::size_t pos = 0;
    const char32_t c = DecodeUtf8(text, pos);
    if (pos != text.size() || c == 0xFFFD || c >= 0x10000) continue;
    l.alone[static_cast<std::size_t>(b)] = true;
    const char32_t lower = QChar::toLower(static_cast<char16_t>(c));
    std::string byte;
    if (lower != c && codePage.encodeChar(lower, byte) && byte.size() == 1)
      l.lower[static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(byte[0]);
  }
  return l;
}

}  // namespace

std::size_t characterBytes(std::string_view bytes, std::size_t at, const CodePage& codePage) {
  if (!codePage.doubleByte() || at + 1 >= bytes.size() ||
      loweringFor(codePage).alone[static_cast<std::uint8_t>(bytes[at])])
    return 1;
  const std::string pair = codePage.decode(bytes.substr(at, 2));
  std::size_t pos = 0;
  return DecodeUtf8(pair, pos) != 0xFFFD && pos == pair.size() ? 2 : 1;
}

std::string lowerName(std::string_view bytes, const CodePage& codePage) {
  const Lowering& l = loweringFor(codePage);
  std::string out(bytes);
  for (std::size_t i = 0; i < out.size(); ++i) {
    // A lead byte and its trail byte are one character, which LOWER() leaves alone.
    if (characterBytes(out, i, codePage) == 2) {
      ++i;
      continue;
    }
    out[i] = static_cast<char>(l.lower[static_cast<std::uint8_t>(out[i])]);
  }
  return out;
}

namespace {

constexpr std::size_t kPage = 512;
constexpr std::size_t kLeafHeader = 24;
constexpr std::size_t kInteriorHeader = 12;
constexpr std::uint16_t kNodeInterior = 0;
constexpr std::uint16_t kNodeRoot = 1;
constexpr std::uint16_t kNodeLeaf = 2;

// Where the fixed parts lie: the tag list's header and leaf, then each tag's header and
// root; further nodes follow from kFirstFreeNode.
constexpr std::uint32_t kTagListLeaf = 1024;
constexpr std::uint32_t kNameTagHeader = 1536;
constexpr std::uint32_t kNameTagRoot = 2560;
constexpr std::uint32_t kTypeTagHeader = 3072;
constexpr std::uint32_t kTypeTagRoot = 4096;
constexpr std::uint32_t kFirstFreeNode = 4608;

constexpr std::uint8_t kOptionsTagList = 0xE0;  // compact, compound, and the tag-list mark
constexpr std::uint8_t kOptionsTag = 0x68;      // compact, compound, FOR clause

struct Key {
  std::string bytes;
  std::uint32_t record;
};

void putBe32At(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) { putBe32(&b[at], v); }

int bitWidth(std::uint32_t v) {
  int n = 0;
  while (v) {
    ++n;
    v >>= 1;
  }
  return n;
}

std::string strOf(std::int32_t v) {
  std::string s = std::to_string(v);
  if (s.size() > 10) return std::string(10, '*');  // STR() of a number too wide for 10
  return std::string(10 - s.size(), ' ') + s;
}

std::size_t trailingBlanks(const std::string& key) {
  std::size_t n = 0;
  while (n < key.size() && key[key.size() - 1 - n] == ' ') ++n;
  return n;
}

std::size_t sharedPrefix(const std::string& a, const std::string& b) {
  std::size_t n = 0;
  while (n < a.size() && n < b.size() && a[n] == b[n]) ++n;
  return n;
}

// One tag's nodes, level by level from the leaves up; each node's bytes are complete but
// for the offsets (left, right, children), which are filled in once every node is placed.
struct Tag {
  std::size_t keyLength = 0;
  std::vector<std::vector<std::vector<std::uint8_t>>> levels;
  std::vector<std::vector<std::uint32_t>> offsets;              // per level, per node
  std::vector<std::vector<std::vector<std::size_t>>> children;  // per level > 0, per node: child indexes
};

// Packs sorted keys into leaves, each as full as it can be.
std::vector<std::vector<std::uint8_t>> buildLeaves(const std::vector<Key>& keys, std::size_t keyLength,
                                                   std::uint32_t maxRecord, std::vector<Key>& lastKeys) {
  const int countBits = bitWidth(static_cast<std::uint32_t>(keyLength));
  const int neededRecordBits = std::max(1, bitWidth(maxRecord));
  const int entryBytes = (neededRecordBits + 2 * countBits + 7) / 8;
  const int recordBits = entryBytes * 8 - 2 * countBits;
  const std::uint32_t recordMask = recordBits >= 32 ? 0xFFFFFFFFu : (1u << recordBits) - 1;
  const std::uint32_t countMask = (1u << countBits) - 1;

  std::vector<std::vector<std::uint8_t>> leaves;
  std::vector<std::uint8_t> node;
  std::size_t count = 0, keyEnd = kPage;
  const std::string* previous = nullptr;
  auto start = [&] {
    node.assign(kPage, 0);
    putLe16(&node[0], kNodeLeaf);
    putLe32(&node[14], recordMask);
    node[18] = static_cast<std::uint8_t>(countMask);
    node[19] = static_cast<std::uint8_t>(countMask);
    node[20] = static_cast<std::uint8_t>(recordBits);
    node[21] = static_cast<std::uint8_t>(countBits);
    node[22] = static_cast<std::uint8_t>(countBits);
    node[23] = static_cast<std::uint8_t>(entryBytes);
    count = 0;
    keyEnd = kPage;
    previous = nullptr;
  };
  auto finish = [&] {
    putLe16(&node[2], static_cast<std::uint32_t>(count));
    putLe16(&node[12], static_cast<std::uint32_t>(keyEnd - (kLeafHeader + count * entryBytes)));
    leaves.push_back(node);
  };
  start();
  for (std::size_t i = 0; i < keys.size(); ++i) {
    const std::string& key = keys[i].bytes;
    const std::size_t trail = trailingBlanks(key);
    auto dupFor = [&](const std::string* prev) {
      return prev ? std::min(sharedPrefix(*prev, key), keyLength - trail) : std::size_t{0};
    };
    std::size_t dup = dupFor(previous);
    std::size_t stored = keyLength - dup - trail;
    std::size_t used = kLeafHeader + (count + 1) * entryBytes;
    if (count > 0 && used + stored > keyEnd) {
      finish();
      lastKeys.push_back(keys[i - 1]);
      start();
      dup = 0;
      stored = keyLength - trail;
    }
    std::uint64_t packed = keys[i].record | (static_cast<std::uint64_t>(dup) << recordBits) |
                           (static_cast<std::uint64_t>(trail) << (recordBits + countBits));
    for (int b = 0; b < entryBytes; ++b)
      node[kLeafHeader + count * entryBytes + b] = static_cast<std::uint8_t>(packed >> (8 * b));
    keyEnd -= stored;
    std::memcpy(&node[keyEnd], key.data() + dup, stored);
    ++count;
    previous = &key;
  }
  finish();
  if (!keys.empty()) lastKeys.push_back(keys.back());
  return leaves;
}

Tag buildTag(const std::vector<Key>& keys, std::size_t keyLength, std::uint32_t maxRecord) {
  Tag tag;
  tag.keyLength = keyLength;
  std::vector<Key> last;
  tag.levels.push_back(buildLeaves(keys, keyLength, maxRecord, last));
  tag.children.emplace_back();
  const std::size_t perNode = (kPage - kInteriorHeader) / (keyLength + 8);
  while (tag.levels.back().size() > 1) {
    std::vector<Key> below = std::move(last);
    last.clear();
    std::vector<std::vector<std::uint8_t>> level;
    std::vector<std::vector<std::size_t>> kids;
    for (std::size_t first = 0; first < below.size(); first += perNode) {
      std::size_t n = std::min(perNode, below.size() - first);
      std::vector<std::uint8_t> node(kPage, 0);
      putLe16(&node[0], kNodeInterior);
      putLe16(&node[2], static_cast<std::uint32_t>(n));
      std::vector<std::size_t> childIndexes;
      for (std::size_t k = 0; k < n; ++k) {
        std::size_t at = kInteriorHeader + k * (keyLength + 8);
        std::memcpy(&node[at], below[first + k].bytes.data(), keyLength);
        putBe32At(node, at + keyLength, below[first + k].record);
        childIndexes.push_back(first + k);
      }
      last.push_back(below[first + n - 1]);
      level.push_back(std::move(node));
      kids.push_back(std::move(childIndexes));
    }
    tag.levels.push_back(std::move(level));
    tag.children.push_back(std::move(kids));
  }
  // The single node of the top level is the root.
  auto& root = tag.levels.back().front();
  putLe16(&root[0], getLe16(&root[0]) | kNodeRoot);
  return tag;
}

// Gives every node of the tag its offset: the root at `rootOffset`, the others from `next`.
void place(Tag& tag, std::uint32_t rootOffset, std::uint32_t& next) {
  tag.offsets.resize(tag.levels.size());
  for (std::size_t l = 0; l < tag.levels.size(); ++l) {
    bool top = l + 1 == tag.levels.size();
    for (std::size_t n = 0; n < tag.levels[l].size(); ++n) {
      if (top) {
        tag.offsets[l].push_back(rootOffset);
      } else {
        tag.offsets[l].push_back(next);
        next += kPage;
      }
    }
  }
  for (std::size_t l = 0; l < tag.levels.size(); ++l) {
    auto& nodes = tag.levels[l];
    for (std::size_t n = 0; n < nodes.size(); ++n) {
      putLe32(&nodes[n][4], n == 0 ? 0xFFFFFFFFu : tag.offsets[l][n - 1]);
      putLe32(&nodes[n][8], n + 1 == nodes.size() ? 0xFFFFFFFFu : tag.offsets[l][n + 1]);
      if (l == 0) continue;
      const auto& kids = tag.children[l][n];
      for (std::size_t k = 0; k < kids.size(); ++k)
        putBe32At(nodes[n], kInteriorHeader + k * (tag.keyLength + 8) + tag.keyLength + 4,
                  tag.offsets[l - 1][kids[k]]);
    }
  }
}

// A tag header: two pages, the fields and then the key and FOR expressions.
void writeHeader(std::vector<std::uint8_t>& file, std::uint32_t at, std::uint32_t root, std::size_t keyLength,
                 std::uint8_t options, const std::string& key, const std::string& forClause) {
  std::uint8_t* h = &file[at];
  putLe32(h, root);
  putLe16(h + 12, static_cast<std::uint32_t>(keyLength));
  h[14] = options;
  h[15] = 1;  // signature
  putLe16(h + 504, static_cast<std::uint32_t>(key.size() + 1));
  putLe16(h + 506, static_cast<std::uint32_t>(forClause.size() + 1));
  putLe16(h + 510, static_cast<std::uint32_t>(key.size() + 1));
  std::memcpy(h + 512, key.data(), key.size());
  std::memcpy(h + 512 + key.size() + 1, forClause.data(), forClause.size());
}

void copyNodes(std::vector<std::uint8_t>& file, const Tag& tag) {
  for (std::size_t l = 0; l < tag.levels.size(); ++l)
    for (std::size_t n = 0; n < tag.levels[l].size(); ++n)
      std::memcpy(&file[tag.offsets[l][n]], tag.levels[l][n].data(), kPage);
}

std::string fixed(const std::string& s, std::size_t width) {
  std::string out = s.substr(0, width);
  out.resize(width, ' ');
  return out;
}

}  // namespace

std::vector<std::uint8_t> buildContainerIndex(const std::vector<ContainerIndexEntry>& live, std::uint32_t recordCount,
                                              const CodePage& codePage) {
  std::vector<Key> byName, byType;
  for (const auto& e : live) {
    std::string prefix = strOf(e.parentId) + fixed(e.objectType, 10);
    std::string name = lowerName(fixed(e.objectName, 128), codePage);
    byName.push_back({prefix + name, e.record});
    byType.push_back({prefix, e.record});
  }
  auto order = [](const Key& a, const Key& b) {
    int c = std::memcmp(a.bytes.data(), b.bytes.data(), a.bytes.size());
    return c != 0 ? c < 0 : a.record < b.record;
  };
  std::sort(byName.begin(), byName.end(), order);
  std::sort(byType.begin(), byType.end(), order);

  std::uint32_t maxRecord = std::max<std::uint32_t>(recordCount, 1);
  Tag nameTag = buildTag(byName, 148, maxRecord);
  Tag typeTag = buildTag(byType, 20, maxRecord);
  std::uint32_t next = kFirstFreeNode;
  place(nameTag, kNameTagRoot, next);
  place(typeTag, kTypeTagRoot, next);

  std::vector<std::uint8_t> file(next, 0);
  writeHeader(file, 0, kTagListLeaf, 10, kOptionsTagList, "", "");
  // The list of tags is itself a one-leaf index: tag names keyed to their headers.
  Tag tagList = buildTag({{"OBJECTNAME", kNameTagHeader}, {"OBJECTTYPE", kTypeTagHeader}}, 10, kTypeTagHeader);
  std::uint32_t unused = next;
  place(tagList, kTagListLeaf, unused);
  copyNodes(file, tagList);

  const std::string notDeleted = ".NOT.DELETED()";
  writeHeader(file, kNameTagHeader, kNameTagRoot, 148, kOptionsTag, "STR(parentid)+objecttype+LOWER(objectname)",
              notDeleted);
  writeHeader(file, kTypeTagHeader, kTypeTagRoot, 20, kOptionsTag, "STR(parentid)+objecttype", notDeleted);
  copyNodes(file, nameTag);
  copyNodes(file, typeTag);
  return file;
}

}  // namespace tw::vfp
