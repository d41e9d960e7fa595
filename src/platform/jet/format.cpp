#include "platform/jet/format.h"

#include "platform/utf8.h"

#include <iconv.h>

#include <unordered_map>

#include <cerrno>
#include <vector>

namespace tw::jet {

bool formatForVersion(std::uint8_t versionByte, Format& out) {
  if (versionByte > static_cast<std::uint8_t>(Version::Ace17)) return false;
  out.version = static_cast<Version>(versionByte);
  out.pageSize = out.version == Version::Jet3 ? kPageSizeJet3 : kPageSizeJet4;
  return true;
}

std::string versionName(Version version) {
  switch (version) {
    case Version::Jet3: return "Jet 3";
    case Version::Jet4: return "Jet 4";
    case Version::Ace12: return "ACE 12";
    case Version::Ace14: return "ACE 14";
    case Version::Ace15: return "ACE 15";
    case Version::Ace16: return "ACE 16";
    case Version::Ace17: return "ACE 17";
  }
  return "unknown";
}

std::string utf16leToUtf8(std::span<const std::uint8_t> bytes) {
  std::string out;
  out.reserve(bytes.size());
  Utf16Decoder d(out);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) d.unit(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
  d.finish();
  return out;
}

std::string decodeJet4Text(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < 2 || bytes[0] != 0xFF || bytes[1] != 0xFE) return utf16leToUtf8(bytes);
  std::string out;
  out.reserve(bytes.size());
  Utf16Decoder d(out);
  bool compressed = true;
  std::size_t i = 2;
  while (i < bytes.size()) {
    if (bytes[i] == 0) {
      compressed = !compressed;
      ++i;
    } else if (compressed) {
      d.unit(bytes[i]);
      ++i;
    } else if (i + 1 < bytes.size()) {
      d.unit(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
      i += 2;
    } else {
      break;
    }
  }
  d.finish();
  return out;
}

namespace {

// Windows-1252 bytes 0x80..0x9F; 0 marks the five bytes the code page leaves undefined.
constexpr char16_t kCp1252High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

std::string decode1252(std::span<const std::uint8_t> bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (std::uint8_t b : bytes) {
    if (b < 0x80) {
      out.push_back(static_cast<char>(b));
    } else if (b < 0xA0) {
      char16_t c = kCp1252High[b - 0x80];
      AppendUtf8(out, c ? c : kReplacementCharacter);
    } else {
      AppendUtf8(out, b);
    }
  }
  return out;
}

// Other code pages through the C library's converter; bytes it cannot convert become
// U+FFFD one at a time.
// One converter per code page and thread, opened at the first text of that code page and
// kept: text is decoded per value, and opening a converter costs far more than using it.
class IconvCache {
 public:
  ~IconvCache() {
    for (auto& [page, cd] : converters_)
      if (cd != kNone) iconv_close(cd);
  }
  // The converter from the code page to UTF-8, or kNone when the C library has none.
  iconv_t get(unsigned codePage) {
    auto it = converters_.find(codePage);
    if (it != converters_.end()) return it->second;
    std::string name = "CP" + std::to_string(codePage);
    return converters_[codePage] = iconv_open("UTF-8", name.c_str());
  }
  static inline const iconv_t kNone = reinterpret_cast<iconv_t>(-1);

 private:
  std::unordered_map<unsigned, iconv_t> converters_;
};

bool decodeWithIconv(std::span<const std::uint8_t> bytes, unsigned codePage, std::string& out) {
  thread_local IconvCache cache;
  iconv_t cd = cache.get(codePage);
  if (cd == IconvCache::kNone) return false;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);  // a fresh conversion state
  out.clear();
  std::vector<char> buffer(bytes.size() * 4 + 16);
  char* in = reinterpret_cast<char*>(const_cast<std::uint8_t*>(bytes.data()));
  std::size_t inLeft = bytes.size();
  while (inLeft > 0) {
    char* o = buffer.data();
    std::size_t oLeft = buffer.size();
    std::size_t r = iconv(cd, &in, &inLeft, &o, &oLeft);
    out.append(buffer.data(), static_cast<std::size_t>(o - buffer.data()));
    if (r == static_cast<std::size_t>(-1)) {
      if (errno == E2BIG) continue;
      // EILSEQ or EINVAL (a truncated multi-byte sequence): replace one byte and go on.
      AppendUtf8(out, kReplacementCharacter);
      ++in;
      --inLeft;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  return true;
}

}  // namespace

std::string decodeCodePageText(std::span<const std::uint8_t> bytes, unsigned codePage) {
  if (codePage == 0 || codePage == 1252) return decode1252(bytes);
  std::string out;
  if (decodeWithIconv(bytes, codePage, out)) return out;
  return decode1252(bytes);
}

}  // namespace tw::jet
