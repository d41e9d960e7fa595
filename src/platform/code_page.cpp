#include "platform/code_page.h"

#include <QByteArray>
#include <QLocale>
#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <mutex>

namespace tw {

namespace {

struct Known {
  int number;
  std::uint8_t mark;
  const char* name;  // as the platform's converter knows it
};

// Visual FoxPro's code-page marks; 1257 has none.
constexpr Known kKnown[] = {
    {874, 0x7C, "windows-874"},   {932, 0x7B, "windows-932"},   {936, 0x7A, "windows-936"},
    {949, 0x79, "windows-949"},   {950, 0x78, "windows-950"},   {1250, 0xC8, "windows-1250"},
    {1251, 0xC9, "windows-1251"}, {1252, 0x03, "windows-1252"}, {1253, 0xCB, "windows-1253"},
    {1254, 0xCA, "windows-1254"}, {1255, 0x7D, "windows-1255"}, {1256, 0x7E, "windows-1256"},
    {1257, 0x00, "windows-1257"},
};
constexpr std::size_t kKnownCount = sizeof kKnown / sizeof kKnown[0];

// Characters a table never carries: C1 controls (cp1252 leaves their bytes undefined and
// readers refuse them) and the private use area (no two converters agree on it).
bool neverWritten(char32_t cp) { return (cp >= 0x80 && cp <= 0x9F) || (cp >= 0xE000 && cp <= 0xF8FF); }

// Bytes the platform's converter maps but common readers' converters refuse: Greek 0xAA,
// and the euro sign 0x80 of the Chinese code page, which GBK readers do not know.
bool refusedByReaders(int number, int byte) {
  return (number == 1253 && byte == 0xAA) || (number == 936 && byte == 0x80);
}

}  // namespace

// byte -> code point for single bytes, (lead, trail) -> code point for pairs, and the
// reverse for the Basic Multilingual Plane. Built once per code page from the platform's
// converter by decoding every byte and every byte pair.
struct CodePage::Tables {
  std::array<char32_t, 256> single{};  // 0: undefined (byte 0 is handled as ASCII)
  std::array<bool, 256> lead{};
  std::vector<char16_t> pair;        // index lead * 256 + trail; 0: undefined
  std::vector<std::uint16_t> bytes;  // index code point; 0: not held; > 0xFF: lead, trail
};

CodePage::CodePage(int number, std::uint8_t mark)
    : number_(number), mark_(mark), tables_(std::make_unique<Tables>()) {
  const char* name = "windows-1252";
  for (const Known& k : kKnown)
    if (k.number == number) name = k.name;
  Tables& t = *tables_;
  t.bytes.assign(0x10000, 0);
  QStringDecoder decoder(name, QStringConverter::Flag::Stateless);
  auto decodeOne = [&](const char* data, qsizetype n) -> char32_t {
    // The converter's error flag outlives resetState, so the result alone decides: one
    // character that is neither the replacement character nor SUB.
    decoder.resetState();
    QString s = decoder.decode(QByteArrayView(data, n));
    if (s.size() != 1) return 0;
    char32_t cp = s.at(0).unicode();
    if (cp == 0xFFFD || cp == 0x1A || s.at(0).isSurrogate()) return 0;
    return cp;
  };
  for (int b = 0; b < 0x80; ++b) t.single[static_cast<std::size_t>(b)] = static_cast<char32_t>(b);
  for (int b = 0x80; b < 0x100; ++b) {
    const char byte = static_cast<char>(b);
    char32_t cp = decodeOne(&byte, 1);
    if (cp >= 0x80 && !neverWritten(cp) && !refusedByReaders(number, b)) {
      t.single[static_cast<std::size_t>(b)] = cp;
      if (t.bytes[cp] == 0) t.bytes[cp] = static_cast<std::uint16_t>(b);
    }
  }
  for (int lead = 0x81; lead < 0xFF; ++lead) {
    if (t.single[static_cast<std::size_t>(lead)] != 0) continue;
    for (int trail = 0x40; trail < 0xFF; ++trail) {
      const char two[2] = {static_cast<char>(lead), static_cast<char>(trail)};
      char32_t cp = decodeOne(two, 2);
      if (cp < 0x80 || neverWritten(cp)) continue;
      if (t.pair.empty()) t.pair.assign(0x10000, 0);
      t.pair[static_cast<std::size_t>(lead * 256 + trail)] = static_cast<char16_t>(cp);
      t.lead[static_cast<std::size_t>(lead)] = true;
      if (t.bytes[cp] == 0) t.bytes[cp] = static_cast<std::uint16_t>(lead * 256 + trail);
    }
  }
  doubleByte_ = !t.pair.empty();
}

CodePage::~CodePage() = default;

const CodePage* CodePage::byNumber(int number) {
  static std::array<std::once_flag, kKnownCount> once;
  static std::array<std::unique_ptr<CodePage>, kKnownCount> pages;
  for (std::size_t i = 0; i < kKnownCount; ++i) {
    if (kKnown[i].number != number) continue;
    std::call_once(once[i], [&] { pages[i].reset(new CodePage(kKnown[i].number, kKnown[i].mark)); });
    return pages[i].get();
  }
  return nullptr;
}

const CodePage* CodePage::byMark(std::uint8_t mark) {
  if (mark == 0) return nullptr;
  for (const Known& k : kKnown)
    if (k.mark == mark) return byNumber(k.number);
  return nullptr;
}

const CodePage& CodePage::western() { return *byNumber(1252); }

const std::vector<int>& CodePage::supportedNumbers() {
  static const std::vector<int> numbers = [] {
    std::vector<int> v;
    for (const Known& k : kKnown) v.push_back(k.number);
    return v;
  }();
  return numbers;
}

bool CodePage::holds(char32_t cp) const {
  if (cp < 0x80) return true;
  return cp < 0x10000 && tables_->bytes[cp] != 0;
}

bool CodePage::encodeChar(char32_t cp, std::string& out) const {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
    return true;
  }
  std::uint16_t b = cp < 0x10000 ? tables_->bytes[cp] : 0;
  if (b == 0) {
    out.push_back('?');
    return false;
  }
  if (b > 0xFF) out.push_back(static_cast<char>(b >> 8));
  out.push_back(static_cast<char>(b & 0xFF));
  return true;
}

std::size_t CodePage::encode(std::string_view utf8, std::string& out) const {
  std::size_t replaced = 0;
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    // Runs of ASCII go over in one piece.
    std::size_t run = pos;
    while (run < utf8.size() && static_cast<unsigned char>(utf8[run]) < 0x80) ++run;
    if (run > pos) {
      out.append(utf8.data() + pos, run - pos);
      pos = run;
      continue;
    }
    if (!encodeChar(DecodeUtf8(utf8, pos), out)) ++replaced;
  }
  return replaced;
}

std::size_t CodePage::encodedSize(std::string_view utf8) const {
  std::size_t n = 0, pos = 0;
  while (pos < utf8.size()) {
    char32_t cp = DecodeUtf8(utf8, pos);
    n += cp >= 0x80 && cp < 0x10000 && tables_->bytes[cp] > 0xFF ? 2 : 1;
  }
  return n;
}

std::string CodePage::decode(std::string_view bytes) const {
  const Tables& t = *tables_;
  std::string out;
  out.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    auto b = static_cast<unsigned char>(bytes[i]);
    if (b < 0x80) {
      out.push_back(static_cast<char>(b));
      continue;
    }
    char32_t cp = t.single[b];
    if (cp == 0 && t.lead[b] && i + 1 < bytes.size()) {
      cp = t.pair[static_cast<std::size_t>(b) * 256 + static_cast<unsigned char>(bytes[i + 1])];
      if (cp != 0) ++i;
    }
    AppendUtf8(out, cp == 0 ? 0xFFFD : cp);
  }
  return out;
}

namespace {

int ansiCodePage(const QLocale& locale) {
  switch (locale.language()) {
    case QLocale::Polish:
    case QLocale::Czech:
    case QLocale::Slovak:
    case QLocale::Hungarian:
    case QLocale::Slovenian:
    case QLocale::Croatian:
    case QLocale::Romanian:
    case QLocale::Albanian:
    case QLocale::Turkmen: return 1250;
    case QLocale::Bosnian:
    case QLocale::Serbian: return locale.script() == QLocale::CyrillicScript ? 1251 : 1250;
    case QLocale::Russian:
    case QLocale::Ukrainian:
    case QLocale::Belarusian:
    case QLocale::Bulgarian:
    case QLocale::Macedonian:
    case QLocale::Kazakh:
    case QLocale::Kyrgyz:
    case QLocale::Tatar:
    case QLocale::Bashkir:
    case QLocale::Sakha:
    case QLocale::Mongolian:
    case QLocale::Tajik: return 1251;
    case QLocale::Uzbek:
    case QLocale::Azerbaijani: return locale.script() == QLocale::CyrillicScript ? 1251 : 1254;
    case QLocale::Greek: return 1253;
    case QLocale::Turkish: return 1254;
    case QLocale::Hebrew:
    case QLocale::Yiddish: return 1255;
    case QLocale::Arabic:
    case QLocale::Persian:
    case QLocale::Urdu:
    case QLocale::Uyghur: return 1256;
    case QLocale::Estonian:
    case QLocale::Latvian:
    case QLocale::Lithuanian: return 1257;
    case QLocale::Thai: return 874;
    case QLocale::Japanese: return 932;
    case QLocale::Korean: return 949;
    case QLocale::Chinese: return locale.script() == QLocale::TraditionalHanScript ? 950 : 936;
    default: return 1252;
  }
}

}  // namespace

int AnsiCodePageForLocale(const std::string& localeName) {
  return ansiCodePage(QLocale(QString::fromStdString(localeName)));
}

int SystemAnsiCodePage() { return ansiCodePage(QLocale::system()); }

const CodePage& ChosenCodePage(std::string_view number) {
  int n = 0;
  const bool digits = !number.empty() && number.size() <= 5 &&
                      std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; });
  if (digits)
    for (char c : number) n = n * 10 + (c - '0');
  if (const CodePage* cp = digits ? CodePage::byNumber(n) : nullptr) return *cp;
  const CodePage* fromLocale = CodePage::byNumber(SystemAnsiCodePage());
  return fromLocale ? *fromLocale : CodePage::western();
}

}  // namespace tw
