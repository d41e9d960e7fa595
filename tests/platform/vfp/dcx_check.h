// An independent check of a database container's index (.dcx) against its .dbc, written
// from the published structure of compact and compound indexes (.idx/.cdx), not from the
// engine's writer:
//   - header page: root node (uint32 LE at 0), key length (uint16 LE at 12), options (14),
//     signature (15), descending flag (502), FOR and key expression pools at 512;
//   - nodes of 512 bytes: attributes (uint16, 1 root, 2 leaf), key count, left and right
//     neighbours (-1 at the ends);
//   - interior nodes: per child, the key, a record number and the child's offset, both
//     uint32 big-endian;
//   - leaves: free space (uint16 at 12), record/duplicate/trailing masks and bit counts
//     (14-23), then the packed entries from 24 and the key bytes from the end of the node
//     backwards, each key without the bytes it shares with the one before and without its
//     trailing blanks.
// The list of tags is itself such an index whose record numbers are the offsets of the
// tags' headers.
//
// The check walks every level of every tag and returns the faults it finds, one a line
// ("" when there are none): tags missing or keyed otherwise than Visual FoxPro keys them,
// links that do not agree, interior keys that are not their child's last key, keys out of
// order, a leaf whose free space is misstated, and any live record of the .dbc missing
// from a tag, present twice, or keyed wrongly, or any deleted record present.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace tw::vfp::testing {

namespace dcx_detail {

inline std::uint32_t le16(const std::vector<std::uint8_t>& b, std::size_t at) { return b[at] | (b[at + 1] << 8); }
inline std::uint32_t le32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return le16(b, at) | (static_cast<std::uint32_t>(le16(b, at + 2)) << 16);
}
inline std::uint32_t be32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return (static_cast<std::uint32_t>(b[at]) << 24) | (b[at + 1] << 16) | (b[at + 2] << 8) | b[at + 3];
}

// LOWER() of a name in the code page of the container's mark (byte 29 of the .dbc), from
// the code pages' published tables: Windows-1252 (0x03) and 1250 (0xC8) lower their
// accented capitals as well; in the East Asian code pages (932 0x7B, 936 0x7A, 949 0x79,
// 950 0x78) a lead byte and the byte after it are one character that stays as it is;
// elsewhere only A-Z are lowered.
inline std::string lowerCase(std::string s, std::uint8_t mark = 0x03) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    auto c = static_cast<unsigned char>(s[i]);
    const bool lead = mark == 0x7B ? (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)
                                   : (mark == 0x7A || mark == 0x79 || mark == 0x78) && c >= 0x81 && c <= 0xFE;
    if (lead) {
      ++i;
      continue;
    }
    int to = c;
    if (c >= 'A' && c <= 'Z') to = c + 32;
    if ((mark == 0x03 || mark == 0xC8) && c >= 0xC0 && c <= 0xDE && c != 0xD7) to = c + 32;
    if (mark == 0x03 && (c == 0x8A || c == 0x8C || c == 0x8E)) to = c + 0x10;
    if (mark == 0x03 && c == 0x9F) to = 0xFF;
    if (mark == 0xC8 && c >= 0x8A && c <= 0x8F && c != 0x8B) to = c + 0x10;
    if (mark == 0xC8) {
      const std::pair<int, int> pairs[] = {{0xA3, 0xB3}, {0xA5, 0xB9}, {0xAA, 0xBA}, {0xAF, 0xBF}, {0xBC, 0xBE}};
      for (const auto& [upper, lower] : pairs)
        if (c == upper) to = lower;
    }
    s[i] = static_cast<char>(to);
  }
  return s;
}

inline std::string upperCase(std::string s) {
  for (char& ch : s)
    if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 32);
  return s;
}

struct Entry {
  std::string key;
  std::uint32_t record;
  bool operator<(const Entry& o) const { return std::tie(key, record) < std::tie(o.key, o.record); }
  bool operator==(const Entry& o) const { return key == o.key && record == o.record; }
};

// Reads one tag (header at `at`); appends faults to `out` and returns its entries in order.
// `fill` is the byte trailing compression leaves out (blank for character keys, zero for the
// others).
inline std::vector<Entry> readTag(const std::vector<std::uint8_t>& f, std::uint32_t at, const std::string& label,
                                  std::string& out, std::string* keyExpr = nullptr, std::string* forExpr = nullptr,
                                  char fill = ' ') {
  auto fault = [&](const std::string& s) { out += label + ": " + s + "\n"; };
  std::vector<Entry> entries;
  if (at + 1024 > f.size() || at % 512 != 0) {
    fault("header at " + std::to_string(at) + " lies outside the file");
    return entries;
  }
  const std::uint32_t root = le32(f, at);
  const std::size_t keyLength = le16(f, at + 12);
  if (!(f[at + 14] & 0x20)) fault("not a compact index");
  std::string pool(reinterpret_cast<const char*>(&f[at + 512]), 512);
  std::string key = pool.substr(0, pool.find('\0'));
  std::string rest = pool.substr(key.size() + 1);
  if (keyExpr) *keyExpr = key;
  if (forExpr) *forExpr = rest.substr(0, rest.find('\0'));
  if (keyLength == 0 || keyLength > 240) {
    fault("key length " + std::to_string(keyLength));
    return entries;
  }

  // Level by level from the root: the nodes of a level are the children of the level above.
  std::vector<std::uint32_t> level{root};
  std::vector<std::string> parentKeys{""};  // for each node, the key its parent gives it ("" for the root)
  std::vector<std::uint32_t> parentRecords{0};
  std::set<std::uint32_t> seen;
  for (int depth = 0; !level.empty(); ++depth) {
    if (depth > 16) {
      fault("more than 16 levels");
      break;
    }
    std::vector<std::uint32_t> next;
    std::vector<std::string> nextKeys;
    std::vector<std::uint32_t> nextRecords;
    bool leaves = false;
    for (std::size_t n = 0; n < level.size(); ++n) {
      const std::uint32_t node = level[n];
      const std::string where = "node " + std::to_string(node);
      if (node % 512 != 0 || node + 512 > f.size() || !seen.insert(node).second) {
        fault(where + " is outside the file, misaligned or reached twice");
        return entries;
      }
      const std::uint32_t attr = le16(f, node);
      const std::uint32_t count = le16(f, node + 2);
      const std::uint32_t left = le32(f, node + 4), right = le32(f, node + 8);
      if (((attr & 1) != 0) != (depth == 0)) fault(where + " has the root mark wrong");
      if (left != (n == 0 ? 0xFFFFFFFFu : level[n - 1])) fault(where + " has a wrong left neighbour");
      if (right != (n + 1 == level.size() ? 0xFFFFFFFFu : level[n + 1]))
        fault(where + " has a wrong right neighbour");
      if (n == 0) leaves = (attr & 2) != 0;
      if (((attr & 2) != 0) != leaves) fault(where + " is not at the level of the other leaves");
      std::string last;
      std::uint32_t lastRecord = 0;
      if (attr & 2) {
        const std::uint32_t recordMask = le32(f, node + 14);
        const int recordBits = f[node + 20], dupBits = f[node + 21], trailBits = f[node + 22], bytes = f[node + 23];
        if (bytes < 1 || bytes > 8 || recordBits + dupBits + trailBits > bytes * 8) {
          fault(where + " has impossible bit counts");
          return entries;
        }
        if (recordMask != (recordBits >= 32 ? 0xFFFFFFFFu : (1u << recordBits) - 1) ||
            f[node + 18] != ((1u << dupBits) - 1) || f[node + 19] != ((1u << trailBits) - 1))
          fault(where + " has masks that disagree with its bit counts");
        std::size_t keyEnd = 512;
        std::string previous;
        for (std::uint32_t i = 0; i < count; ++i) {
          std::uint64_t packed = 0;
          for (int b = 0; b < bytes; ++b)
            packed |= static_cast<std::uint64_t>(f[node + 24 + i * bytes + b]) << (8 * b);
          std::uint32_t record = static_cast<std::uint32_t>(packed & recordMask);
          std::size_t dup = (packed >> recordBits) & ((1u << dupBits) - 1);
          std::size_t trail = (packed >> (recordBits + dupBits)) & ((1u << trailBits) - 1);
          if (i == 0 && dup != 0) fault(where + " shares bytes in its first key");
          if (dup + trail > keyLength || dup > previous.size()) {
            fault(where + " key " + std::to_string(i) + " has impossible counts");
            return entries;
          }
          std::size_t stored = keyLength - dup - trail;
          if (keyEnd < 24 + (i + 1) * bytes + stored) {
            fault(where + " keys overlap the entries");
            return entries;
          }
          keyEnd -= stored;
          std::string k = previous.substr(0, dup) +
                          std::string(reinterpret_cast<const char*>(&f[node + keyEnd]), stored) +
                          std::string(trail, fill);
          if (!entries.empty() && Entry{k, record} < entries.back())
            fault(where + " key " + std::to_string(i) + " is out of order");
          entries.push_back({k, record});
          previous = k;
          last = k;
          lastRecord = record;
        }
        if (le16(f, node + 12) != keyEnd - (24 + count * bytes)) fault(where + " misstates its free space");
      } else {
        if (count == 0 || 12 + count * (keyLength + 8) > 512) {
          fault(where + " holds " + std::to_string(count) + " children");
          return entries;
        }
        for (std::uint32_t i = 0; i < count; ++i) {
          std::size_t e = node + 12 + i * (keyLength + 8);
          nextKeys.emplace_back(reinterpret_cast<const char*>(&f[e]), keyLength);
          nextRecords.push_back(be32(f, e + keyLength));
          next.push_back(be32(f, e + keyLength + 4));
        }
        last = nextKeys.back();
        lastRecord = nextRecords.back();
      }
      if (depth > 0 && (last != parentKeys[n] || lastRecord != parentRecords[n]))
        fault(where + " ends with another key than its parent gives it");
    }
    level = std::move(next);
    parentKeys = std::move(nextKeys);
    parentRecords = std::move(nextRecords);
  }
  return entries;
}

}  // namespace dcx_detail

inline std::string checkContainerIndex(const std::vector<std::uint8_t>& dcx, const std::vector<std::uint8_t>& dbc) {
  using namespace dcx_detail;
  std::string out;
  if (dcx.size() < 1536 || dcx.size() % 512 != 0)
    return "the file is " + std::to_string(dcx.size()) + " bytes long\n";
  if (dbc.size() < 32) return "the .dbc is too short\n";

  // The container's live and deleted records, from the .dbc's own field descriptors.
  const std::uint32_t count = le32(dbc, 4), headerLength = le16(dbc, 8), recordLength = le16(dbc, 10);
  std::map<std::string, std::uint32_t> offsetOf;
  for (std::size_t d = 32; d + 32 <= headerLength && dbc[d] != 0x0D; d += 32) {
    std::string name(reinterpret_cast<const char*>(&dbc[d]), 11);
    offsetOf[name.substr(0, name.find('\0'))] = le32(dbc, d + 12);
  }
  for (const char* field : {"PARENTID", "OBJECTTYPE", "OBJECTNAME"})
    if (!offsetOf.count(field)) return std::string("the .dbc has no field ") + field + "\n";
  std::set<Entry> wantName, wantType;
  std::set<std::uint32_t> deleted;
  for (std::uint32_t r = 0; r < count; ++r) {
    std::size_t at = headerLength + static_cast<std::size_t>(r) * recordLength;
    if (at + recordLength > dbc.size()) return "the .dbc is shorter than its record count\n";
    if (dbc[at] == '*') {
      deleted.insert(r + 1);
      continue;
    }
    std::string id = std::to_string(static_cast<std::int32_t>(le32(dbc, at + offsetOf["PARENTID"])));
    std::string prefix = std::string(10 - id.size(), ' ') + id +
                         std::string(reinterpret_cast<const char*>(&dbc[at + offsetOf["OBJECTTYPE"]]), 10);
    wantType.insert({prefix, r + 1});
    wantName.insert(
        {prefix +
             lowerCase(std::string(reinterpret_cast<const char*>(&dbc[at + offsetOf["OBJECTNAME"]]), 128), dbc[29]),
         r + 1});
  }

  std::vector<Entry> tags = readTag(dcx, 0, "tag list", out);
  std::map<std::string, std::uint32_t> tagAt;
  for (const auto& e : tags)
    tagAt[upperCase(e.key.substr(0, e.key.find_last_not_of(std::string(" \0", 2)) + 1))] = e.record;
  struct Wanted {
    const char* tag;
    const char* expression;
    std::size_t keyLength;
    const std::set<Entry>* entries;
  };
  const Wanted wanted[] = {{"OBJECTNAME", "STR(PARENTID)+OBJECTTYPE+LOWER(OBJECTNAME)", 148, &wantName},
                           {"OBJECTTYPE", "STR(PARENTID)+OBJECTTYPE", 20, &wantType}};
  for (const auto& w : wanted) {
    if (!tagAt.count(w.tag)) {
      out += std::string("tag ") + w.tag + " is missing\n";
      continue;
    }
    std::string key, forClause;
    std::vector<Entry> got = readTag(dcx, tagAt[w.tag], w.tag, out, &key, &forClause);
    if (le16(dcx, tagAt[w.tag] + 502) != 0) out += std::string(w.tag) + ": descending\n";
    if (upperCase(key) != w.expression) out += std::string(w.tag) + ": key expression " + key + "\n";
    std::string f = upperCase(forClause);
    if (f != ".NOT.DELETED()" && f != "!DELETED()") out += std::string(w.tag) + ": FOR clause " + forClause + "\n";
    if (le16(dcx, tagAt[w.tag] + 12) != w.keyLength) out += std::string(w.tag) + ": key length\n";
    std::map<std::uint32_t, int> times;
    for (const auto& e : got) {
      ++times[e.record];
      if (deleted.count(e.record))
        out += std::string(w.tag) + ": deleted record " + std::to_string(e.record) + " is indexed\n";
      else if (!w.entries->count(e))
        out += std::string(w.tag) + ": record " + std::to_string(e.record) + " has the key \"" + e.key + "\"\n";
    }
    for (const auto& e : *w.entries)
      if (times[e.record] != 1)
        out += std::string(w.tag) + ": record " + std::to_string(e.record) + " is indexed " +
               std::to_string(times[e.record]) + " times\n";
  }
  return out;
}

}  // namespace tw::vfp::testing
