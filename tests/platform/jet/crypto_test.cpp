// Tests of the Access decryption layer: RC4, the header mask, and the page ciphers of
// encrypted ACE files, on real encrypted files and on encryption structures built here.
#include "platform/jet/crypto.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "platform/data_access.h"

namespace {

using tw::data::Failure;
using tw::jet::makePageCipher;
using tw::jet::PageCipher;
using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

constexpr std::size_t kPageSize = 4096;

Bytes bytesOf(std::string_view text) { return Bytes(text.begin(), text.end()); }

Bytes fromHex(std::string_view hex) {
  Bytes out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    if (hex[i] == ' ') {
      --i;
      continue;
    }
    out.push_back(static_cast<std::uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  }
  return out;
}

// The description of the Failure `make` throws, or "" when it throws none.
template <typename F>
std::string failureOf(F&& make) {
  try {
    make();
  } catch (const Failure& failure) {
    return failure.description();
  }
  return {};
}

// ---------------------------------------------------------------------------------------
// RC4

struct Rc4Case {
  const char* name;
  Bytes key;
  Bytes plain;
  std::size_t offset;  // where in the key stream `expected` starts
  Bytes expected;
};
void PrintTo(const Rc4Case& value, std::ostream* os) { *os << value.name; }

class Rc4Vectors : public testing::TestWithParam<Rc4Case> {};

TEST_P(Rc4Vectors, MatchesPublishedOutput) {
  const Rc4Case& c = GetParam();
  Bytes data(c.offset, 0);
  data.insert(data.end(), c.plain.begin(), c.plain.end());
  tw::jet::rc4(c.key, data);
  EXPECT_EQ(Bytes(data.begin() + static_cast<std::ptrdiff_t>(c.offset), data.end()), c.expected);
  // Applying the cipher again restores the input.
  tw::jet::rc4(c.key, data);
  EXPECT_EQ(Bytes(data.begin() + static_cast<std::ptrdiff_t>(c.offset), data.end()), c.plain);
}

INSTANTIATE_TEST_SUITE_P(
    Published, Rc4Vectors,
    testing::Values(
        Rc4Case{"Key", bytesOf("Key"), bytesOf("Plaintext"), 0, fromHex("BBF316E8D940AF0AD3")},
        Rc4Case{"Wiki", bytesOf("Wiki"), bytesOf("pedia"), 0, fromHex("1021BF0420")},
        Rc4Case{"Secret", bytesOf("Secret"), bytesOf("Attack at dawn"), 0, fromHex("45A01F645FC35B383552544B9BF5")},
        // RFC 6229, 40-bit key 0x0102030405, key stream at offsets 0 and 240.
        Rc4Case{"Rfc6229At0", fromHex("0102030405"), Bytes(16, 0), 0, fromHex("b2396305f03dc027ccc3524a0a1118a8")},
        Rc4Case{"Rfc6229At240", fromHex("0102030405"), Bytes(16, 0), 240,
                fromHex("28cb1132c96ce286421dcaadb8b69eae")},
        // The key stream of the Access header mask.
        Rc4Case{"HeaderMask", fromHex("C7DA396B"), Bytes(12, 0), 0, fromHex("B56F03626108C255EBA96772")}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Rc4, EmptyKeyLeavesDataAlone) {
  Bytes data = bytesOf("unchanged");
  tw::jet::rc4({}, data);
  EXPECT_EQ(data, bytesOf("unchanged"));
}

TEST(UnmaskHeader, MasksExactlyTheHeaderBlock) {
  for (bool jet3 : {true, false}) {
    Bytes page(kPageSize, 0);
    tw::jet::unmaskHeader(page, jet3);
    const std::size_t length = jet3 ? 126 : 128;
    std::size_t changed = 0;
    for (std::size_t i = 0; i < page.size(); ++i) {
      if (page[i] == 0) continue;
      ASSERT_GE(i, 0x18u);
      ASSERT_LT(i, 0x18u + length);
      ++changed;
    }
    EXPECT_GT(changed, length - 4);
    EXPECT_EQ(page[0x18], 0xB5);  // first key-stream byte
    tw::jet::unmaskHeader(page, jet3);
    EXPECT_EQ(page, Bytes(kPageSize, 0));
  }
  // A page shorter than the block is masked as far as it goes.
  Bytes shortPage(0x20, 0);
  tw::jet::unmaskHeader(shortPage, false);
  EXPECT_EQ(shortPage[0x18], 0xB5);
  Bytes tiny(0x10, 0);
  tw::jet::unmaskHeader(tiny, false);
  EXPECT_EQ(tiny, Bytes(0x10, 0));
}

// ---------------------------------------------------------------------------------------
// Real encrypted files.

struct CorpusFile {
  const char* name;
  const char* path;  // under the shared corpus folder
};
void PrintTo(const CorpusFile& value, std::ostream* os) { *os << value.name; }

std::optional<Bytes> readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

fs::path corpusPath(const char* relative) { return fs::path(TW_SHARED_DIR) / "corpus/access" / relative; }

Bytes unmaskedPage0(const Bytes& file) {
  Bytes page0(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(std::min(file.size(), kPageSize)));
  tw::jet::unmaskHeader(page0, false);
  return page0;
}

bool containsUtf16(std::span<const std::uint8_t> page, std::string_view ascii) {
  Bytes needle;
  for (char c : ascii) {
    needle.push_back(static_cast<std::uint8_t>(c));
    needle.push_back(0);
  }
  return std::search(page.begin(), page.end(), needle.begin(), needle.end()) != page.end();
}

class EncryptedFile : public testing::TestWithParam<CorpusFile> {
 protected:
  void SetUp() override {
    auto data = readFile(corpusPath(GetParam().path));
    if (!data) GTEST_SKIP() << "corpus file absent: " << GetParam().path;
    ASSERT_EQ(data->size() % kPageSize, 0u);
    file_ = std::move(*data);
    page0_ = unmaskedPage0(file_);
  }
  Bytes file_;
  Bytes page0_;
};

TEST_P(EncryptedFile, RightPasswordGivesAccessPages) {
  const auto cipher = makePageCipher(page0_, "password");
  ASSERT_NE(cipher, nullptr);
  const std::size_t pages = file_.size() / kPageSize;
  ASSERT_GT(pages, 3u);
  Bytes plain = file_;
  for (std::uint32_t n = 1; n < pages; ++n)
    cipher->decryptPage(n, std::span(plain).subspan(n * kPageSize, kPageSize));
  auto page = [&](std::size_t n) { return std::span<const std::uint8_t>(plain).subspan(n * kPageSize, kPageSize); };

  // Page 1 is a data page; page 2 the definition of MSysObjects: a system table ('S') with
  // 17 columns, among them ParentId and Name.
  EXPECT_EQ(page(1)[0], 0x01);
  EXPECT_EQ(page(1)[1], 0x01);
  const auto tdef = page(2);
  EXPECT_EQ(tdef[0], 0x02);
  EXPECT_EQ(tdef[1], 0x01);
  EXPECT_EQ(tdef[40], 'S');
  EXPECT_EQ(tdef[45] | (tdef[46] << 8), 17);
  EXPECT_TRUE(containsUtf16(tdef, "ParentId"));
  EXPECT_TRUE(containsUtf16(tdef, "Name"));
  // Every page of these files is a data, definition or index page once decrypted; the
  // encrypted bytes are not.
  std::size_t encryptedLookAlike = 0;
  for (std::size_t n = 1; n < pages; ++n) {
    EXPECT_TRUE(page(n)[0] >= 0x01 && page(n)[0] <= 0x05 && page(n)[1] == 0x01) << "page " << n;
    const auto raw = std::span<const std::uint8_t>(file_).subspan(n * kPageSize, kPageSize);
    if (raw[0] >= 0x01 && raw[0] <= 0x05 && raw[1] == 0x01) ++encryptedLookAlike;
  }
  EXPECT_LT(encryptedLookAlike, 3u);
}

TEST_P(EncryptedFile, WrongOrMissingPasswordIsRefused) {
  for (const char* password : {"", "nope", "Password", "password "})
    EXPECT_EQ(failureOf([&] { makePageCipher(page0_, password); }), "Not a valid password.") << password;
}

TEST_P(EncryptedFile, DamagedStructureFails) {
  // The structure cut short at the page end, a length beyond the page, a zero length.
  for (std::size_t size : {std::size_t{0x42}, std::size_t{0x299}, std::size_t{0x29B}, std::size_t{0x2A0}}) {
    const std::span<const std::uint8_t> cut(page0_.data(), size);
    EXPECT_NE(failureOf([&] { makePageCipher(cut, "password"); }), "") << size;
  }
  for (std::uint16_t length : {std::uint16_t{0}, std::uint16_t{3}, std::uint16_t{0xFFFF}}) {
    Bytes page = page0_;
    page[0x299] = static_cast<std::uint8_t>(length & 0xFF);
    page[0x29A] = static_cast<std::uint8_t>(length >> 8);
    EXPECT_NE(failureOf([&] { makePageCipher(page, "password"); }), "") << length;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Corpus, EncryptedFile,
    testing::Values(CorpusFile{"Rc4CryptoApi", "mdb-reader/encryption/data/office-agile-4.2.accdb"},
                    CorpusFile{"Agile", "mdb-reader/encryption/data/office-agile-4.4.accdb"},
                    CorpusFile{"AgileWithPassword", "mdb-reader/password/data/V2010_with-password.accdb"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PlainFile, NotEncryptedGivesNoCipher) {
  bool any = false;
  // An ACE file without encryption, and Jet 4 files with a database password (the password
  // is not encryption; their page encoding, if any, is the reader's business).
  for (const char* path :
       {"mdb-reader/password/data/V2010_no-password.accdb", "mdb-reader/password/data/V2000_with-password.mdb",
        "mdb-reader/password/data/V2003_no-password.mdb"}) {
    const auto file = readFile(corpusPath(path));
    if (!file) continue;
    any = true;
    EXPECT_EQ(makePageCipher(unmaskedPage0(*file), "password"), nullptr) << path;
    EXPECT_EQ(makePageCipher(unmaskedPage0(*file), ""), nullptr) << path;
  }
  if (!any) GTEST_SKIP() << "corpus absent";
}

// Every decrypted page equals the page mdb-reader decrypts (its Database.getPage), for both
// encryption schemes.
TEST(EncryptedFileOracle, PagesMatchMdbReader) {
  const fs::path module = fs::path(TW_SOURCE_DIR) / "tests/oracles/node_modules/mdb-reader/lib/node/Database.js";
  if (!fs::exists(module)) GTEST_SKIP() << "mdb-reader not installed";
  if (std::system("node --version > /dev/null 2>&1") != 0) GTEST_SKIP() << "node not installed";
  const fs::path dir = fs::temp_directory_path() / ("tw_crypto_oracle_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const fs::path script = dir / "pages.mjs";
  {
    std::ofstream out(script);
    out << "import { readFileSync, writeFileSync } from 'node:fs';\n"
        << "const { Database } = await import('file://" << module.string() << "');\n"
        << "const [file, out] = process.argv.slice(2);\n"
        << "const buf = readFileSync(file);\n"
        << "const db = new Database(buf, 'password');\n"
        << "const parts = [];\n"
        << "for (let p = 1; p < buf.length / 4096; ++p) parts.push(Buffer.from(db.getPage(p)));\n"
        << "writeFileSync(out, Buffer.concat(parts));\n";
  }
  int checked = 0;
  for (const char* path :
       {"mdb-reader/encryption/data/office-agile-4.2.accdb", "mdb-reader/encryption/data/office-agile-4.4.accdb"}) {
    const auto file = readFile(corpusPath(path));
    if (!file) continue;
    const fs::path expectedPath = dir / "expected.bin";
    const std::string command =
        "node '" + script.string() + "' '" + corpusPath(path).string() + "' '" + expectedPath.string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    const auto expected = readFile(expectedPath);
    ASSERT_TRUE(expected.has_value());
    ASSERT_EQ(expected->size(), file->size() - kPageSize);

    const auto cipher = makePageCipher(unmaskedPage0(*file), "password");
    ASSERT_NE(cipher, nullptr);
    Bytes plain(file->begin() + kPageSize, file->end());
    std::size_t differing = 0;
    for (std::uint32_t n = 1; n < file->size() / kPageSize; ++n) {
      const auto page = std::span(plain).subspan((n - 1) * kPageSize, kPageSize);
      cipher->decryptPage(n, page);
      if (!std::equal(page.begin(), page.end(), expected->begin() + (n - 1) * kPageSize)) ++differing;
    }
    EXPECT_EQ(differing, 0u) << path;
    ++checked;
  }
  fs::remove_all(dir);
  if (checked == 0) GTEST_SKIP() << "corpus absent";
}

// ---------------------------------------------------------------------------------------
// Encryption structures built here, for the variants the corpus lacks and for damage.
// The encryptor follows the published key derivation independently of the decryptor.

Bytes utf16le(std::u16string_view text) {
  Bytes out;
  for (char16_t unit : text) {
    out.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    out.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  return out;
}

Bytes digest(const EVP_MD* md, std::initializer_list<Bytes> parts) {
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  EVP_DigestInit_ex(ctx, md, nullptr);
  for (const auto& part : parts) EVP_DigestUpdate(ctx, part.data(), part.size());
  Bytes out(EVP_MAX_MD_SIZE);
  unsigned int length = 0;
  EVP_DigestFinal_ex(ctx, out.data(), &length);
  EVP_MD_CTX_free(ctx);
  out.resize(length);
  return out;
}

Bytes fit(Bytes bytes, std::size_t length, std::uint8_t pad) {
  bytes.resize(length, pad);
  return bytes;
}

Bytes aesCbcEncrypt(const Bytes& key, const Bytes& iv, Bytes data) {
  const EVP_CIPHER* cipher = key.size() == 16   ? EVP_aes_128_cbc()
                             : key.size() == 24 ? EVP_aes_192_cbc()
                                                : EVP_aes_256_cbc();
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  EVP_EncryptInit_ex(ctx, cipher, nullptr, key.data(), iv.data());
  EVP_CIPHER_CTX_set_padding(ctx, 0);
  Bytes out(data.size());
  int written = 0;
  EVP_EncryptUpdate(ctx, out.data(), &written, data.data(), static_cast<int>(data.size()));
  EVP_CIPHER_CTX_free(ctx);
  return out;
}

std::string base64(const Bytes& bytes) {
  std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  const int n =
      EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()), bytes.data(), static_cast<int>(bytes.size()));
  out.resize(static_cast<std::size_t>(n));
  return out;
}

Bytes pattern(std::size_t size, std::uint8_t seed) {
  Bytes out(size);
  for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<std::uint8_t>(seed + i * 37);
  return out;
}

const std::array<std::uint8_t, 4> kDatabaseKey = {0x5A, 0x13, 0xC7, 0x80};

std::array<std::uint8_t, 4> pageKeyOf(std::uint32_t page) {
  std::array<std::uint8_t, 4> key{};
  for (int i = 0; i < 4; ++i) key[i] = static_cast<std::uint8_t>(kDatabaseKey[i] ^ (page >> (8 * i)));
  return key;
}

Bytes page0With(const Bytes& info) {
  Bytes page(kPageSize, 0);
  page[0] = 0x00;
  page[0x14] = 0x03;  // ACE 14
  std::copy(kDatabaseKey.begin(), kDatabaseKey.end(), page.begin() + 0x3E);
  page[0x299] = static_cast<std::uint8_t>(info.size() & 0xFF);
  page[0x29A] = static_cast<std::uint8_t>(info.size() >> 8);
  std::copy(info.begin(), info.end(), page.begin() + 0x29B);
  return page;
}

Bytes samplePlainPage(std::uint32_t n) {
  Bytes page = pattern(kPageSize, static_cast<std::uint8_t>(n));
  page[0] = 0x01;
  page[1] = 0x01;
  return page;
}

struct AgileSetup {
  const char* name;
  const char* hash;
  const EVP_MD* (*md)();
  int keyBits;
  std::uint32_t spinCount;
};
void PrintTo(const AgileSetup& value, std::ostream* os) { *os << value.name; }

// An agile description in the form Access writes; `xmlEdit` may change the XML text.
struct AgileFile {
  Bytes page0;
  Bytes dataKey;
  Bytes keySalt;
  const EVP_MD* md;
  std::string xml;
};

AgileFile buildAgile(const AgileSetup& setup, std::u16string_view password) {
  const EVP_MD* md = setup.md();
  const std::size_t keyBytes = static_cast<std::size_t>(setup.keyBits) / 8;
  const std::size_t hashSize = static_cast<std::size_t>(EVP_MD_get_size(md));
  AgileFile f;
  f.md = md;
  f.dataKey = pattern(keyBytes, 0x11);
  f.keySalt = pattern(16, 0x22);
  const Bytes salt = pattern(16, 0x33);
  Bytes h = digest(md, {salt, utf16le(password)});
  for (std::uint32_t i = 0; i < setup.spinCount; ++i)
    h = digest(md, {Bytes{static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i >> 8),
                          static_cast<std::uint8_t>(i >> 16), static_cast<std::uint8_t>(i >> 24)},
                    h});
  auto keyFor = [&](const Bytes& block) { return fit(digest(md, {h, block}), keyBytes, 0x36); };
  const Bytes verifierInput = pattern(16, 0x44);
  const Bytes verifierHash = digest(md, {verifierInput});
  const Bytes encInput = aesCbcEncrypt(keyFor(fromHex("fea7d2763b4b9e79")), salt, verifierInput);
  const Bytes encValue =
      aesCbcEncrypt(keyFor(fromHex("d7aa0f6d3061344e")), salt, fit(verifierHash, (hashSize + 15) / 16 * 16, 0));
  // The key value is padded to whole blocks before it is encrypted.
  const Bytes encKey =
      aesCbcEncrypt(keyFor(fromHex("146e0be7abacd0d6")), salt, fit(f.dataKey, (keyBytes + 15) / 16 * 16, 0));
  auto common = [&](const Bytes& s) {
    return "saltSize=\"16\" blockSize=\"16\" keyBits=\"" + std::to_string(setup.keyBits) + "\" hashSize=\"" +
           std::to_string(hashSize) +
           "\" cipherAlgorithm=\"AES\" cipherChaining=\"ChainingModeCBC\" hashAlgorithm=\"" + setup.hash +
           "\" saltValue=\"" + base64(s) + "\"";
  };
  f.xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
      "<encryption xmlns=\"http://schemas.microsoft.com/office/2006/encryption\" "
      "xmlns:p=\"http://schemas.microsoft.com/office/2006/keyEncryptor/password\">"
      "<keyData " +
      common(f.keySalt) +
      "/><keyEncryptors>"
      "<keyEncryptor uri=\"http://schemas.microsoft.com/office/2006/keyEncryptor/password\">"
      "<p:encryptedKey spinCount=\"" +
      std::to_string(setup.spinCount) + "\" " + common(salt) + " encryptedVerifierHashInput=\"" + base64(encInput) +
      "\" encryptedVerifierHashValue=\"" + base64(encValue) + "\" encryptedKeyValue=\"" + base64(encKey) +
      "\"/></keyEncryptor></keyEncryptors></encryption>";
  return f;
}

Bytes agileInfo(const std::string& xml) {
  Bytes info = fromHex("0400040040000000");
  info.insert(info.end(), xml.begin(), xml.end());
  return info;
}

Bytes encryptAgilePage(const AgileFile& f, std::uint32_t n, const Bytes& plain) {
  const auto key = pageKeyOf(n);
  const Bytes iv = fit(digest(f.md, {f.keySalt, Bytes(key.begin(), key.end())}), 16, 0x36);
  return aesCbcEncrypt(f.dataKey, iv, plain);
}

class AgileVariants : public testing::TestWithParam<AgileSetup> {};

TEST_P(AgileVariants, RoundTripAndPasswordCheck) {
  const std::u16string password = u"p\u00E4ssw\u00F6rd \u2713 \U0001F600";
  const AgileFile f = buildAgile(GetParam(), password);
  const Bytes page0 = page0With(agileInfo(f.xml));
  // The same password in UTF-8, as the program receives it.
  const std::string utf8 = "p\xC3\xA4ssw\xC3\xB6rd \xE2\x9C\x93 \xF0\x9F\x98\x80";
  const auto cipher = makePageCipher(page0, utf8);
  ASSERT_NE(cipher, nullptr);
  for (std::uint32_t n : {1u, 2u, 255u, 256u, 0x01020304u}) {
    const Bytes plain = samplePlainPage(n);
    Bytes page = encryptAgilePage(f, n, plain);
    ASSERT_NE(page, plain);
    cipher->decryptPage(n, page);
    EXPECT_EQ(page, plain) << "page " << n;
  }
  EXPECT_EQ(failureOf([&] { makePageCipher(page0, "p\xC3\xA4ssw\xC3\xB6rd"); }), "Not a valid password.");
  EXPECT_EQ(failureOf([&] { makePageCipher(page0, ""); }), "Not a valid password.");
}

INSTANTIATE_TEST_SUITE_P(Hashes, AgileVariants,
                         testing::Values(AgileSetup{"Sha512Aes256", "SHA512", EVP_sha512, 256, 50},
                                         AgileSetup{"Sha1Aes128", "SHA1", EVP_sha1, 128, 7},
                                         AgileSetup{"Sha256Aes192", "SHA256", EVP_sha256, 192, 0},
                                         AgileSetup{"Sha384Aes256", "SHA384", EVP_sha384, 256, 3},
                                         // A 20-byte hash padded to a 32-byte key.
                                         AgileSetup{"Sha1Aes256", "SHA1", EVP_sha1, 256, 2}),
                         [](const auto& info) { return std::string(info.param.name); });

const AgileSetup kQuickAgile{"Quick", "SHA512", EVP_sha512, 256, 5};

TEST(Agile, LongPasswordsAreCutAt255Units) {
  const std::u16string full(300, u'x');
  const AgileFile f = buildAgile(kQuickAgile, std::u16string_view(full).substr(0, 255));
  const Bytes page0 = page0With(agileInfo(f.xml));
  EXPECT_NE(makePageCipher(page0, std::string(300, 'x')), nullptr);
  EXPECT_EQ(failureOf([&] { makePageCipher(page0, std::string(254, 'x')); }), "Not a valid password.");
}

TEST(Agile, PageThatIsNotWholeBlocksFails) {
  const AgileFile f = buildAgile(kQuickAgile, u"pw");
  const auto cipher = makePageCipher(page0With(agileInfo(f.xml)), "pw");
  ASSERT_NE(cipher, nullptr);
  Bytes page(100, 0);
  EXPECT_NE(failureOf([&] { cipher->decryptPage(1, page); }), "");
}

struct XmlEdit {
  const char* name;
  std::string from;
  std::string to;
  const char* expected;  // part of the failure's description
};
void PrintTo(const XmlEdit& value, std::ostream* os) { *os << value.name; }

class AgileDamage : public testing::TestWithParam<XmlEdit> {};

TEST_P(AgileDamage, GivesAClearFailure) {
  const AgileFile f = buildAgile(kQuickAgile, u"pw");
  std::string xml = f.xml;
  const auto at = xml.find(GetParam().from);
  ASSERT_NE(at, std::string::npos) << GetParam().from;
  xml.replace(at, GetParam().from.size(), GetParam().to);
  const std::string failure = failureOf([&] { makePageCipher(page0With(agileInfo(xml)), "pw"); });
  EXPECT_NE(failure.find(GetParam().expected), std::string::npos) << failure;
}

INSTANTIATE_TEST_SUITE_P(
    Edits, AgileDamage,
    testing::Values(
        XmlEdit{"SpinCountAboveLimit", "spinCount=\"5\"", "spinCount=\"10000001\"", "spin count"},
        XmlEdit{"SpinCountOverflow", "spinCount=\"5\"", "spinCount=\"99999999999999999999999\"", "not a number"},
        XmlEdit{"SpinCountNegative", "spinCount=\"5\"", "spinCount=\"-1\"", "not a number"},
        XmlEdit{"SpinCountMissing", "spinCount=\"5\"", "", "certificate"},
        XmlEdit{"KeyBitsOdd", "keyBits=\"256\"", "keyBits=\"100\"", "damaged"},
        XmlEdit{"BlockSizeWrong", "blockSize=\"16\"", "blockSize=\"8\"", "damaged"},
        XmlEdit{"CipherUnknown", "cipherAlgorithm=\"AES\"", "cipherAlgorithm=\"RC2\"", "not supported"},
        XmlEdit{"ChainingCfb", "\"ChainingModeCBC\"", "\"ChainingModeCFB\"", "not supported"},
        XmlEdit{"HashUnknown", "hashAlgorithm=\"SHA512\"", "hashAlgorithm=\"WHIRLPOOL\"", "not supported"},
        XmlEdit{"SaltNotBase64", "saltValue=\"", "saltValue=\"*", "base64"},
        XmlEdit{"KeyValueNotWholeBlocks", "encryptedKeyValue=\"", "encryptedKeyValue=\"AAAA", "blocks"},
        XmlEdit{"NoKeyData", "<keyData ", "<keyDatum ", "no keyData"},
        XmlEdit{"UnquotedAttribute", "keyBits=\"256\"", "keyBits=256", "damaged"},
        XmlEdit{"OpenTag", "<keyEncryptors>", "<keyEncryptors", "damaged"},
        XmlEdit{"NoEncryptedKey", "p:encryptedKey", "p:encryptedKeys", "no password key"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Agile, ReservedFieldAndTruncationFail) {
  const AgileFile f = buildAgile(kQuickAgile, u"pw");
  Bytes info = agileInfo(f.xml);
  info[4] = 0x41;
  EXPECT_NE(failureOf([&] { makePageCipher(page0With(info), "pw"); }).find("reserved"), std::string::npos);
  // Cut anywhere before the end of the password key encryptor's tag: always a failure.
  const Bytes whole = agileInfo(f.xml);
  const std::size_t tagEnd = 8 + f.xml.find("/></keyEncryptor>");
  for (std::size_t length = 0; length < tagEnd; length += 7) {
    const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
    EXPECT_NE(failureOf([&] { makePageCipher(page0With(cut), "pw"); }), "") << length;
  }
}

// RC4 CryptoAPI structures: version, flags, header (with CSP name), verifier.
struct Rc4Setup {
  std::uint16_t major = 4;
  std::uint32_t flags = 0x0C;
  std::uint32_t algId = 0x6801;
  std::uint32_t hashId = 0x8004;
  std::uint32_t keyBits = 128;
  std::u16string csp = u"Microsoft Enhanced Cryptographic Provider v1.0";
};

void putU32(Bytes& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

Bytes rc4Key(const Bytes& salt, std::u16string_view password, const Bytes& block, std::size_t keyBits) {
  const Bytes h0 = digest(EVP_sha1(), {salt, utf16le(password)});
  Bytes key = fit(digest(EVP_sha1(), {h0, block}), keyBits / 8, 0);
  if (keyBits == 40) key.resize(16, 0);
  return key;
}

Bytes rc4Info(const Rc4Setup& s, std::u16string_view password, std::size_t effectiveKeyBits) {
  Bytes header;
  putU32(header, s.flags);
  putU32(header, 0);
  putU32(header, s.algId);
  putU32(header, s.hashId);
  putU32(header, s.keyBits);
  putU32(header, 1);
  putU32(header, 0);
  putU32(header, 0);
  const Bytes name = utf16le(s.csp);
  header.insert(header.end(), name.begin(), name.end());
  header.push_back(0);
  header.push_back(0);
  Bytes info = {static_cast<std::uint8_t>(s.major), 0, 2, 0};
  putU32(info, s.flags);
  putU32(info, static_cast<std::uint32_t>(header.size()));
  info.insert(info.end(), header.begin(), header.end());
  const Bytes salt = pattern(16, 0x55);
  const Bytes verifier = pattern(16, 0x66);
  Bytes stream = verifier;
  const Bytes hash = digest(EVP_sha1(), {verifier});
  stream.insert(stream.end(), hash.begin(), hash.end());
  tw::jet::rc4(rc4Key(salt, password, Bytes(4, 0), effectiveKeyBits), stream);
  putU32(info, 16);
  info.insert(info.end(), salt.begin(), salt.end());
  info.insert(info.end(), stream.begin(), stream.begin() + 16);
  putU32(info, 20);
  info.insert(info.end(), stream.begin() + 16, stream.end());
  return info;
}

struct Rc4Variant {
  const char* name;
  Rc4Setup setup;
  std::size_t effectiveKeyBits;
};
void PrintTo(const Rc4Variant& value, std::ostream* os) { *os << value.name; }

class Rc4CryptoApiVariants : public testing::TestWithParam<Rc4Variant> {};

TEST_P(Rc4CryptoApiVariants, RoundTripAndPasswordCheck) {
  const Rc4Variant& v = GetParam();
  const Bytes page0 = page0With(rc4Info(v.setup, u"secret", v.effectiveKeyBits));
  const auto cipher = makePageCipher(page0, "secret");
  ASSERT_NE(cipher, nullptr);
  const Bytes salt = pattern(16, 0x55);
  for (std::uint32_t n : {1u, 7u, 0x00ABCDEFu}) {
    const Bytes plain = samplePlainPage(n);
    Bytes page = plain;
    const auto key = pageKeyOf(n);
    tw::jet::rc4(rc4Key(salt, u"secret", Bytes(key.begin(), key.end()), v.effectiveKeyBits), page);
    cipher->decryptPage(n, page);
    EXPECT_EQ(page, plain) << "page " << n;
  }
  EXPECT_EQ(failureOf([&] { makePageCipher(page0, "Secret"); }), "Not a valid password.");
}

INSTANTIATE_TEST_SUITE_P(
    KeySizes, Rc4CryptoApiVariants,
    testing::Values(Rc4Variant{"Key128", {}, 128}, Rc4Variant{"Key56Version2", {.major = 2, .keyBits = 56}, 56},
                    Rc4Variant{"Key40", {.keyBits = 40}, 40},
                    Rc4Variant{"DefaultSizeBaseProvider",
                               {.major = 3, .keyBits = 0, .csp = u"Microsoft Base Cryptographic Provider v1.0"},
                               40},
                    Rc4Variant{"DefaultSizeEnhancedProvider", {.keyBits = 0}, 128},
                    Rc4Variant{"ImpliedAlgorithms", {.algId = 0, .hashId = 0}, 128}),
    [](const auto& info) { return std::string(info.param.name); });

struct Rc4Damage {
  const char* name;
  Rc4Setup setup;
  const char* expected;
};
void PrintTo(const Rc4Damage& value, std::ostream* os) { *os << value.name; }

class Rc4CryptoApiDamage : public testing::TestWithParam<Rc4Damage> {};

TEST_P(Rc4CryptoApiDamage, GivesAClearFailure) {
  const Bytes page0 = page0With(rc4Info(GetParam().setup, u"secret", 128));
  const std::string failure = failureOf([&] { makePageCipher(page0, "secret"); });
  EXPECT_NE(failure.find(GetParam().expected), std::string::npos) << failure;
}

INSTANTIATE_TEST_SUITE_P(Headers, Rc4CryptoApiDamage,
                         testing::Values(Rc4Damage{"StandardAes", {.flags = 0x24, .algId = 0x660E}, "not supported"},
                                         Rc4Damage{"NoCryptoApi", {.flags = 0x08}, "not supported"},
                                         Rc4Damage{"External", {.flags = 0x1C}, "not supported"},
                                         Rc4Damage{"OtherCipher", {.algId = 0x6602}, "not supported"},
                                         Rc4Damage{"Md5Hash", {.hashId = 0x8003}, "not supported"},
                                         Rc4Damage{"KeyTooLong", {.keyBits = 256}, "damaged"},
                                         Rc4Damage{"KeyNotBytes", {.keyBits = 44}, "damaged"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Rc4CryptoApi, EveryTruncationAndBadSizeFails) {
  const Bytes info = rc4Info({}, u"secret", 128);
  for (std::size_t length = 0; length < info.size(); ++length) {
    const Bytes cut(info.begin(), info.begin() + static_cast<std::ptrdiff_t>(length));
    EXPECT_NE(failureOf([&] { makePageCipher(page0With(cut), "secret"); }), "") << length;
  }
  // Header size field: zero, too small, past the end, huge.
  for (std::uint32_t size : {0u, 31u, 1000u, 0xFFFFFFFFu}) {
    Bytes bad = info;
    for (int i = 0; i < 4; ++i) bad[8 + i] = static_cast<std::uint8_t>(size >> (8 * i));
    EXPECT_NE(failureOf([&] { makePageCipher(page0With(bad), "secret"); }), "") << size;
  }
  // Salt size and verifier hash size other than 16 and 20.
  for (std::size_t offset : {std::size_t{12 + 126}, std::size_t{12 + 126 + 36}}) {
    Bytes bad = info;
    bad[offset] = 8;
    EXPECT_NE(failureOf([&] { makePageCipher(page0With(bad), "secret"); }).find("size"), std::string::npos);
  }
}

TEST(Versions, UnknownSchemesAreNotSupported) {
  for (const char* version : {"01000100", "04000300", "03000300", "05000500", "04000100"}) {
    Bytes info = fromHex(version);
    info.resize(64, 0);
    const std::string failure = failureOf([&] { makePageCipher(page0With(info), "pw"); });
    EXPECT_NE(failure.find("not supported"), std::string::npos) << version << ": " << failure;
  }
}

TEST(Versions, JetFilesAndZeroKeysGiveNoCipher) {
  Bytes page0 = page0With(rc4Info({}, u"secret", 128));
  for (std::uint8_t version : {0x00, 0x01}) {
    page0[0x14] = version;
    EXPECT_EQ(makePageCipher(page0, "secret"), nullptr);
  }
  page0[0x14] = 0x05;
  std::fill(page0.begin() + 0x3E, page0.begin() + 0x42, 0);
  EXPECT_EQ(makePageCipher(page0, "secret"), nullptr);
  EXPECT_NE(failureOf([&] { makePageCipher(std::span(page0).first(0x41), "secret"); }), "");
}

// Random damage anywhere in the structure gives a Failure or a working cipher, never a
// crash or another kind of error, and never a long wait (the agile base uses 5 rounds, so a
// damaged spin count is the only thing that can make it slow, and that is capped).
TEST(RandomDamage, FailsCleanly) {
  std::mt19937 rng(20240601);
  const AgileFile agile = buildAgile(kQuickAgile, u"pw");
  const std::vector<Bytes> bases = {page0With(agileInfo(agile.xml)), page0With(rc4Info({}, u"pw", 128))};
  int failures = 0;
  int ciphers = 0;
  for (int round = 0; round < 3000; ++round) {
    Bytes page = bases[static_cast<std::size_t>(round % 2)];
    const std::size_t structureEnd = 0x29B + (page[0x299] | (page[0x29A] << 8));
    const int edits = 1 + static_cast<int>(rng() % 4);
    for (int e = 0; e < edits; ++e) {
      const std::size_t at = 0x299 + rng() % (structureEnd - 0x299);
      switch (rng() % 3) {
        case 0: page[at] = static_cast<std::uint8_t>(rng()); break;
        case 1: page[at] ^= static_cast<std::uint8_t>(1u << (rng() % 8)); break;
        default: page[at] = static_cast<std::uint8_t>("0123456789\"<>/= "[rng() % 16]); break;
      }
    }
    // Sometimes decimal digits are pushed into a spin count.
    if (round % 50 == 0) {
      auto text = std::string(page.begin(), page.end());
      const auto at = text.find("spinCount=\"");
      if (at != std::string::npos) page[at + 11] = '9';
    }
    try {
      const auto cipher = makePageCipher(page, "pw");
      ASSERT_NE(cipher, nullptr);
      Bytes data = samplePlainPage(3);
      cipher->decryptPage(3, data);
      ++ciphers;
    } catch (const Failure&) {
      ++failures;
    }
  }
  EXPECT_EQ(failures + ciphers, 3000);
  EXPECT_GT(failures, 1500);
  EXPECT_GT(ciphers, 0);
}

}  // namespace
