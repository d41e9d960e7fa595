#include "platform/vfp/container_index.h"

#include <QChar>

#include <algorithm>
#include <array>
#include <map>
#include <mutex>

#include "platform/case_rules.h"
#include "platform/utf8.h"
#include "platform/vfp/compound_index.h"

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

std::string strOf(std::int32_t v) {
  std::string s = std::to_string(v);
  if (s.size() > 10) return std::string(10, '*');  // STR() of a number too wide for 10
  return std::string(10 - s.size(), ' ') + s;
}

std::string fixed(const std::string& s, std::size_t width) {
  std::string out = s.substr(0, width);
  out.resize(width, ' ');
  return out;
}

// A tag of the container's index over `keys` (key, record), sorted here.
IndexTag containerTag(const char* name, const char* expression, std::size_t keyLength,
                      std::vector<std::pair<std::string, std::uint32_t>> keys) {
  std::sort(keys.begin(), keys.end());
  IndexTag tag;
  tag.name = name;
  tag.keyExpression = expression;
  tag.forExpression = ".NOT.DELETED()";
  tag.keyLength = keyLength;
  for (const auto& [key, record] : keys) {
    tag.keys += key;
    tag.records.push_back(record);
  }
  return tag;
}

}  // namespace

std::vector<std::uint8_t> buildContainerIndex(const std::vector<ContainerIndexEntry>& live, std::uint32_t recordCount,
                                              const CodePage& codePage) {
  std::vector<std::pair<std::string, std::uint32_t>> byName, byType;
  for (const auto& e : live) {
    std::string prefix = strOf(e.parentId) + fixed(e.objectType, 10);
    byName.emplace_back(prefix + lowerName(fixed(e.objectName, 128), codePage), e.record);
    byType.emplace_back(prefix, e.record);
  }
  std::vector<IndexTag> tags;
  tags.push_back(containerTag("OBJECTNAME", "STR(parentid)+objecttype+LOWER(objectname)", 148, std::move(byName)));
  tags.push_back(containerTag("OBJECTTYPE", "STR(parentid)+objecttype", 20, std::move(byType)));
  return buildCompoundIndex({&tags[0], &tags[1]}, recordCount);
}

}  // namespace tw::vfp
