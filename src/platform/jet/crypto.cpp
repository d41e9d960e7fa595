#include "platform/jet/crypto.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/case_rules.h"
#include "platform/data_access.h"
#include "platform/jet/format.h"
#include "platform/utf8.h"

namespace tw::jet {

namespace {

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

// Passwords longer than this many UTF-16 units are cut, as Office does.
constexpr std::size_t kMaxPasswordUnits = 255;
// The largest spin count accepted; one round costs about a microsecond, so this bounds the
// key derivation to seconds even on a slow machine.
constexpr std::uint64_t kMaxSpinCount = 10'000'000;

// Text from the file shown in a failure: at most `limit` characters, printable ASCII only.
std::string printable(std::string_view text, std::size_t limit = 24) {
  std::string out;
  for (char c : text.substr(0, limit)) out.push_back(c >= 0x20 && c < 0x7F ? c : '?');
  if (text.size() > limit) out += "...";
  return out;
}

[[noreturn]] void damaged(const std::string& detail) {
  throw data::Failure("The encryption header of this file is damaged: " + detail + ".");
}

[[noreturn]] void unsupported(const std::string& scheme) {
  throw data::Failure("The encryption scheme of this file (" + scheme + ") is not supported.");
}

[[noreturn]] void wrongPassword() { throw data::Failure("Not a valid password."); }

[[noreturn]] void cryptoError(const char* what) {
  throw data::Failure(std::string("Decryption failed: ") + what + ".");
}

// Little-endian reads that fail on a short buffer.
std::uint16_t readU16(ByteView bytes, std::size_t offset, const char* what) {
  if (offset > bytes.size() || bytes.size() - offset < 2) damaged(std::string(what) + " is cut off");
  return static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

std::uint32_t readU32(ByteView bytes, std::size_t offset, const char* what) {
  if (offset > bytes.size() || bytes.size() - offset < 4) damaged(std::string(what) + " is cut off");
  return static_cast<std::uint32_t>(bytes[offset]) | (static_cast<std::uint32_t>(bytes[offset + 1]) << 8) |
         (static_cast<std::uint32_t>(bytes[offset + 2]) << 16) |
         (static_cast<std::uint32_t>(bytes[offset + 3]) << 24);
}

ByteView slice(ByteView bytes, std::size_t offset, std::size_t length, const char* what) {
  if (offset > bytes.size() || bytes.size() - offset < length) damaged(std::string(what) + " is cut off");
  return bytes.subspan(offset, length);
}

// Truncates or pads `bytes` to `length`, padding with `pad`.
Bytes fitLength(ByteView bytes, std::size_t length, std::uint8_t pad) {
  Bytes out(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(std::min(bytes.size(), length)));
  out.resize(length, pad);
  return out;
}

// The page key: the database key XOR the page number, both as 4 little-endian bytes.
std::array<std::uint8_t, 4> pageKey(const std::array<std::uint8_t, 4>& databaseKey, std::uint32_t page) {
  std::array<std::uint8_t, 4> key{};
  for (int i = 0; i < 4; ++i) key[i] = static_cast<std::uint8_t>(databaseKey[i] ^ ((page >> (8 * i)) & 0xFF));
  return key;
}

// The password as UTF-16LE, the form every Office scheme hashes. Malformed UTF-8 sequences
// become U+FFFD; the text is cut at kMaxPasswordUnits units.
Bytes passwordUtf16(std::string_view utf8) {
  std::u16string units;
  for (std::size_t i = 0; i < utf8.size();) {
    // A malformed sequence whose continuation bytes are all there stands as one U+FFFD.
    const Utf8Char c = ReadUtf8(utf8, i);
    AppendUtf16(units, c.codePoint);
    i += c.length;
  }
  if (units.size() > kMaxPasswordUnits) units.resize(kMaxPasswordUnits);
  Bytes out;
  out.reserve(units.size() * 2);
  for (auto u : units) {
    out.push_back(static_cast<std::uint8_t>(u & 0xFF));
    out.push_back(static_cast<std::uint8_t>(u >> 8));
  }
  return out;
}

// Key material is wiped when it goes out of scope.
struct SecretBytes {
  Bytes bytes;
  SecretBytes() = default;
  explicit SecretBytes(Bytes b) : bytes(std::move(b)) {}
  SecretBytes(const SecretBytes&) = delete;
  SecretBytes& operator=(const SecretBytes&) = delete;
  SecretBytes(SecretBytes&& other) noexcept : bytes(std::move(other.bytes)) {}
  SecretBytes& operator=(SecretBytes&& other) noexcept {
    wipe();
    bytes = std::move(other.bytes);
    return *this;
  }
  ~SecretBytes() { wipe(); }
  void wipe() {
    if (!bytes.empty()) OPENSSL_cleanse(bytes.data(), bytes.size());
  }
};

// ---------------------------------------------------------------------------------------
// Hashing and AES through libcrypto.

struct MdCtxDeleter {
  void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};
using MdCtx = std::unique_ptr<EVP_MD_CTX, MdCtxDeleter>;

struct CipherCtxDeleter {
  void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};
using CipherCtx = std::unique_ptr<EVP_CIPHER_CTX, CipherCtxDeleter>;

class Hasher {
 public:
  explicit Hasher(const EVP_MD* md) : md_(md), ctx_(EVP_MD_CTX_new()) {
    if (!ctx_) cryptoError("no memory for a hash context");
  }
  std::size_t size() const { return static_cast<std::size_t>(EVP_MD_get_size(md_)); }
  // The digest of the concatenation of `parts`.
  Bytes digest(std::initializer_list<ByteView> parts) {
    if (EVP_DigestInit_ex(ctx_.get(), md_, nullptr) != 1) cryptoError("hash initialisation");
    for (auto part : parts)
      if (!part.empty() && EVP_DigestUpdate(ctx_.get(), part.data(), part.size()) != 1) cryptoError("hashing");
    Bytes out(size());
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(ctx_.get(), out.data(), &length) != 1) cryptoError("hashing");
    out.resize(length);
    return out;
  }

 private:
  const EVP_MD* md_;
  MdCtx ctx_;
};

// AES-CBC without padding over whole blocks, in place (`data` may alias nothing else).
void aesCbcDecrypt(ByteView key, ByteView iv, std::span<std::uint8_t> data) {
  const EVP_CIPHER* cipher = nullptr;
  switch (key.size()) {
    case 16: cipher = EVP_aes_128_cbc(); break;
    case 24: cipher = EVP_aes_192_cbc(); break;
    case 32: cipher = EVP_aes_256_cbc(); break;
    default: cryptoError("unexpected AES key length");
  }
  if (iv.size() != 16) cryptoError("unexpected AES block length");
  if (data.size() % 16 != 0) damaged("encrypted data is not a whole number of blocks");
  if (data.empty()) return;
  CipherCtx ctx(EVP_CIPHER_CTX_new());
  if (!ctx) cryptoError("no memory for a cipher context");
  if (EVP_DecryptInit_ex(ctx.get(), cipher, nullptr, key.data(), iv.data()) != 1) cryptoError("AES initialisation");
  EVP_CIPHER_CTX_set_padding(ctx.get(), 0);
  // OpenSSL decrypts in place when input and output are the same buffer.
  std::size_t done = 0;
  while (done < data.size()) {
    const int chunk = static_cast<int>(std::min<std::size_t>(data.size() - done, 1 << 20));
    int written = 0;
    if (EVP_DecryptUpdate(ctx.get(), data.data() + done, &written, data.data() + done, chunk) != 1 ||
        written != chunk)
      cryptoError("AES decryption");
    done += static_cast<std::size_t>(chunk);
  }
}

Bytes aesCbcDecrypted(ByteView key, ByteView iv, ByteView data) {
  Bytes out(data.begin(), data.end());
  aesCbcDecrypt(key, iv, out);
  return out;
}

// ---------------------------------------------------------------------------------------
// RC4 CryptoAPI encryption (encryption versions 2.2, 3.2 and 4.2 with fCryptoAPI and RC4).

class Rc4CryptoApiCipher final : public PageCipher {
 public:
  Rc4CryptoApiCipher(std::array<std::uint8_t, 4> databaseKey, SecretBytes baseHash, std::size_t keyBytes)
      : databaseKey_(databaseKey), baseHash_(std::move(baseHash)), keyBytes_(keyBytes) {}

  void decryptPage(std::uint32_t pageNumber, std::span<std::uint8_t> page) const override {
    const auto block = pageKey(databaseKey_, pageNumber);
    SecretBytes key(blockKey(block));
    rc4(key.bytes, page);
  }

  // The RC4 key of one block: SHA-1(H0 + block) cut to the key size; a 40-bit key is
  // extended with zeros to 128 bits, as CryptoAPI does.
  Bytes blockKey(ByteView block) const {
    Hasher sha1(EVP_sha1());
    Bytes hash = sha1.digest({baseHash_.bytes, block});
    Bytes key = fitLength(hash, keyBytes_, 0);
    OPENSSL_cleanse(hash.data(), hash.size());
    if (keyBytes_ == 5) key.resize(16, 0);
    return key;
  }

 private:
  std::array<std::uint8_t, 4> databaseKey_;
  SecretBytes baseHash_;
  std::size_t keyBytes_;
};

constexpr std::uint32_t kFlagCryptoApi = 0x04;
constexpr std::uint32_t kFlagExternal = 0x10;
constexpr std::uint32_t kFlagAes = 0x20;
constexpr std::uint32_t kAlgRc4 = 0x6801;
constexpr std::uint32_t kAlgSha1 = 0x8004;

std::string hex(std::uint32_t value) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%04X", static_cast<unsigned>(value));
  return buf;
}

// The CSP name of an encryption header: UTF-16LE up to the first NUL, ASCII letters
// lower-cased, anything else kept as a marker.
std::string cspName(ByteView bytes) {
  std::string name;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const std::uint16_t unit = static_cast<std::uint16_t>(bytes[i] | (bytes[i + 1] << 8));
    if (unit == 0) break;
    name.push_back(unit < 0x80 ? asciiLower(static_cast<char>(unit)) : '?');
  }
  return name;
}

std::unique_ptr<PageCipher> makeRc4CryptoApi(ByteView info, const std::array<std::uint8_t, 4>& databaseKey,
                                             std::string_view password) {
  // info: version (4), copy of the header flags (4), header size (4), header, verifier.
  const std::uint32_t headerSize = readU32(info, 8, "encryption header size");
  constexpr std::size_t kFixedHeader = 32;
  if (headerSize < kFixedHeader || headerSize > info.size() - 12)
    damaged("encryption header size " + std::to_string(headerSize) + " does not fit");
  const ByteView header = info.subspan(12, headerSize);
  const std::uint32_t flags = readU32(header, 0, "encryption flags");
  const std::uint32_t algId = readU32(header, 8, "cipher identifier");
  const std::uint32_t hashId = readU32(header, 12, "hash identifier");
  std::uint32_t keyBits = readU32(header, 16, "key size");

  if (flags & kFlagExternal) unsupported("extensible encryption");
  if (!(flags & kFlagCryptoApi)) unsupported("non-CryptoAPI RC4 encryption");
  if (flags & kFlagAes) unsupported("standard AES encryption");
  if (algId != kAlgRc4 && algId != 0) unsupported("CryptoAPI cipher " + hex(algId));
  if (hashId != kAlgSha1 && hashId != 0) unsupported("CryptoAPI hash other than SHA-1");
  if (keyBits == 0) {
    // No size given: CryptoAPI's default, 40 bits for the base provider, 128 otherwise.
    const std::string csp = cspName(header.subspan(kFixedHeader));
    keyBits = (csp.find_first_not_of(' ') == std::string::npos || csp.find(" base ") != std::string::npos) ? 40 : 128;
  }
  if (keyBits < 40 || keyBits > 128 || keyBits % 8 != 0)
    damaged("RC4 key size of " + std::to_string(keyBits) + " bits");

  // Verifier: salt size (4), salt (16), encrypted verifier (16), hash size (4), encrypted
  // verifier hash (20 for SHA-1).
  const ByteView verifier = info.subspan(12 + headerSize);
  const std::uint32_t saltSize = readU32(verifier, 0, "salt size");
  if (saltSize != 16) damaged("salt size " + std::to_string(saltSize));
  const ByteView salt = slice(verifier, 4, 16, "salt");
  const ByteView encryptedVerifier = slice(verifier, 20, 16, "verifier");
  const std::uint32_t hashSize = readU32(verifier, 36, "verifier hash size");
  if (hashSize != 20) damaged("verifier hash size " + std::to_string(hashSize));
  const ByteView encryptedHash = slice(verifier, 40, 20, "verifier hash");

  Hasher sha1(EVP_sha1());
  const Bytes pw = passwordUtf16(password);
  SecretBytes baseHash(sha1.digest({salt, pw}));
  Rc4CryptoApiCipher cipher(databaseKey, std::move(baseHash), keyBits / 8);

  // The verifier and its hash are one RC4 stream under the key of block 0.
  const std::array<std::uint8_t, 4> blockZero{};
  SecretBytes key(cipher.blockKey(blockZero));
  std::array<std::uint8_t, 36> stream{};
  std::copy(encryptedVerifier.begin(), encryptedVerifier.end(), stream.begin());
  std::copy(encryptedHash.begin(), encryptedHash.end(), stream.begin() + 16);
  rc4(key.bytes, stream);
  const Bytes expected = sha1.digest({ByteView(stream).first(16)});
  const bool ok = CRYPTO_memcmp(expected.data(), stream.data() + 16, 20) == 0;
  OPENSSL_cleanse(stream.data(), stream.size());
  if (!ok) wrongPassword();
  return std::make_unique<Rc4CryptoApiCipher>(std::move(cipher));
}

// ---------------------------------------------------------------------------------------
// Agile encryption (version 4.4): an XML descriptor with the data key parameters (keyData)
// and the password key encryptor (encryptedKey).

struct XmlElement {
  std::string localName;
  std::vector<std::pair<std::string, std::string>> attributes;
  const std::string* find(std::string_view name) const {
    for (const auto& [key, value] : attributes)
      if (key == name) return &value;
    return nullptr;
  }
};

bool isXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The start tags of an XML text with their attributes; enough for the flat descriptor
// Office writes. Comments, processing instructions and end tags are skipped.
std::vector<XmlElement> xmlStartTags(std::string_view xml) {
  std::vector<XmlElement> elements;
  std::size_t i = 0;
  while ((i = xml.find('<', i)) != std::string_view::npos) {
    ++i;
    if (i >= xml.size()) break;
    if (xml[i] == '?' || xml[i] == '!' || xml[i] == '/') {
      const std::string_view close = xml.substr(i, 3) == "!--" ? "-->" : ">";
      const std::size_t end = xml.find(close, i);
      if (end == std::string_view::npos) damaged("encryption descriptor ends inside a tag");
      i = end + close.size();
      continue;
    }
    std::size_t start = i;
    while (i < xml.size() && !isXmlSpace(xml[i]) && xml[i] != '/' && xml[i] != '>' && xml[i] != '<') ++i;
    std::string_view qname = xml.substr(start, i - start);
    if (qname.empty()) damaged("encryption descriptor has an unnamed tag");
    XmlElement element;
    const auto colon = qname.rfind(':');
    element.localName = std::string(colon == std::string_view::npos ? qname : qname.substr(colon + 1));
    for (;;) {
      while (i < xml.size() && isXmlSpace(xml[i])) ++i;
      if (i >= xml.size()) damaged("encryption descriptor ends inside a tag");
      if (xml[i] == '<') damaged("encryption descriptor has a tag that is not closed");
      if (xml[i] == '>') {
        ++i;
        break;
      }
      if (xml[i] == '/') {
        ++i;
        continue;
      }
      start = i;
      while (i < xml.size() && !isXmlSpace(xml[i]) && xml[i] != '=' && xml[i] != '>' && xml[i] != '/') ++i;
      std::string name(xml.substr(start, i - start));
      while (i < xml.size() && isXmlSpace(xml[i])) ++i;
      if (i >= xml.size() || xml[i] != '=' || name.empty())
        damaged("encryption descriptor has a malformed attribute");
      ++i;
      while (i < xml.size() && isXmlSpace(xml[i])) ++i;
      if (i >= xml.size() || (xml[i] != '"' && xml[i] != '\''))
        damaged("encryption descriptor has an unquoted attribute");
      const char quote = xml[i++];
      const std::size_t end = xml.find(quote, i);
      if (end == std::string_view::npos) damaged("encryption descriptor ends inside an attribute");
      element.attributes.emplace_back(std::move(name), std::string(xml.substr(i, end - i)));
      i = end + 1;
    }
    elements.push_back(std::move(element));
  }
  return elements;
}

// Standard base64 with optional padding; blanks are ignored.
std::optional<Bytes> decodeBase64(std::string_view text) {
  Bytes out;
  out.reserve(text.size() / 4 * 3 + 3);
  std::uint32_t accumulator = 0;
  int bits = 0;
  bool padding = false;
  for (char c : text) {
    int value;
    if (c >= 'A' && c <= 'Z') value = c - 'A';
    else if (c >= 'a' && c <= 'z') value = c - 'a' + 26;
    else if (c >= '0' && c <= '9') value = c - '0' + 52;
    else if (c == '+') value = 62;
    else if (c == '/') value = 63;
    else if (c == '=') {
      padding = true;
      continue;
    } else if (isXmlSpace(c)) continue;
    else return std::nullopt;
    if (padding) return std::nullopt;  // data after padding
    accumulator = (accumulator << 6) | static_cast<std::uint32_t>(value);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(static_cast<std::uint8_t>((accumulator >> bits) & 0xFF));
    }
  }
  if (bits >= 6) return std::nullopt;  // a lone sextet carries no whole byte
  return out;
}

const std::string& requireAttribute(const XmlElement& element, std::string_view name) {
  const std::string* value = element.find(name);
  if (!value) damaged(element.localName + " has no " + std::string(name));
  return *value;
}

std::uint64_t numberAttribute(const XmlElement& element, std::string_view name, std::uint64_t min,
                              std::uint64_t max) {
  const std::string& text = requireAttribute(element, name);
  std::uint64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size())
    damaged(element.localName + " " + std::string(name) + " \"" + printable(text) + "\" is not a number");
  if (value < min || value > max)
    damaged(element.localName + " " + std::string(name) + " " + std::to_string(value) + " is out of range");
  return value;
}

Bytes binaryAttribute(const XmlElement& element, std::string_view name) {
  auto bytes = decodeBase64(requireAttribute(element, name));
  if (!bytes || bytes->empty()) damaged(element.localName + " " + std::string(name) + " is not base64");
  return *bytes;
}

const EVP_MD* agileHash(const std::string& name) {
  if (name == "SHA512") return EVP_sha512();
  if (name == "SHA384") return EVP_sha384();
  if (name == "SHA256") return EVP_sha256();
  if (name == "SHA1" || name == "SHA-1") return EVP_sha1();
  if (name == "MD5") return EVP_md5();
  unsupported("agile encryption with hash " + printable(name));
}

// Cipher parameters shared by keyData and encryptedKey: AES in CBC mode only.
struct AgileCipher {
  std::size_t keyBytes = 0;
  std::size_t blockSize = 0;
  const EVP_MD* md = nullptr;
  Bytes salt;
};

AgileCipher agileCipher(const XmlElement& element) {
  const std::string& algorithm = requireAttribute(element, "cipherAlgorithm");
  if (algorithm != "AES") unsupported("agile encryption with cipher " + printable(algorithm));
  const std::string& chaining = requireAttribute(element, "cipherChaining");
  if (chaining != "ChainingModeCBC") unsupported("agile encryption with chaining " + printable(chaining));
  AgileCipher cipher;
  const auto keyBits = numberAttribute(element, "keyBits", 1, 4096);
  if (keyBits != 128 && keyBits != 192 && keyBits != 256)
    damaged(element.localName + " keyBits " + std::to_string(keyBits) + " is not an AES key size");
  cipher.keyBytes = keyBits / 8;
  cipher.blockSize = numberAttribute(element, "blockSize", 2, 4096);
  if (cipher.blockSize != 16)
    damaged(element.localName + " blockSize " + std::to_string(cipher.blockSize) + " is not AES's");
  cipher.md = agileHash(requireAttribute(element, "hashAlgorithm"));
  cipher.salt = binaryAttribute(element, "saltValue");
  return cipher;
}

class AgileCipherPages final : public PageCipher {
 public:
  AgileCipherPages(std::array<std::uint8_t, 4> databaseKey, AgileCipher keyData, SecretBytes key)
      : databaseKey_(databaseKey), keyData_(std::move(keyData)), key_(std::move(key)) {}

  // Each page is AES-CBC encrypted with the data key; its IV is the hash of the key salt and
  // the page key, cut to the block size.
  void decryptPage(std::uint32_t pageNumber, std::span<std::uint8_t> page) const override {
    const auto block = pageKey(databaseKey_, pageNumber);
    Hasher hasher(keyData_.md);
    const Bytes iv = fitLength(hasher.digest({keyData_.salt, block}), keyData_.blockSize, 0x36);
    aesCbcDecrypt(key_.bytes, iv, page);
  }

 private:
  std::array<std::uint8_t, 4> databaseKey_;
  AgileCipher keyData_;
  SecretBytes key_;
};

constexpr std::array<std::uint8_t, 8> kVerifierInputBlock = {0xFE, 0xA7, 0xD2, 0x76, 0x3B, 0x4B, 0x9E, 0x79};
constexpr std::array<std::uint8_t, 8> kVerifierValueBlock = {0xD7, 0xAA, 0x0F, 0x6D, 0x30, 0x61, 0x34, 0x4E};
constexpr std::array<std::uint8_t, 8> kKeyValueBlock = {0x14, 0x6E, 0x0B, 0xE7, 0xAB, 0xAC, 0xD0, 0xD6};

// The descriptor's keyData element and its password key encryptor: the encryptedKey that
// has a spin count (a certificate key encryptor has none).
void findAgileKeys(const std::vector<XmlElement>& elements, const XmlElement*& keyData,
                   const XmlElement*& passwordKey) {
  keyData = nullptr;
  passwordKey = nullptr;
  bool otherKey = false;
  for (const auto& element : elements) {
    if (element.localName == "keyData" && !keyData) keyData = &element;
    if (element.localName == "encryptedKey") {
      if (element.find("spinCount") && !passwordKey) passwordKey = &element;
      else otherKey = true;
    }
  }
  if (!keyData) damaged("agile descriptor has no keyData");
  if (!passwordKey) {
    if (otherKey) unsupported("agile encryption with a certificate key only");
    damaged("agile descriptor has no password key encryptor");
  }
}

// H0 = H(salt + password), then `spinCount` rounds of H(round + previous).
SecretBytes spunPasswordHash(Hasher& hasher, const EVP_MD* md, ByteView salt, std::string_view password,
                             std::uint64_t spinCount) {
  const Bytes pw = passwordUtf16(password);
  SecretBytes iterated(hasher.digest({salt, pw}));
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  if (!ctx) cryptoError("no memory for a hash context");
  MdCtx owner(ctx);
  unsigned int length = 0;
  for (std::uint32_t round = 0; round < spinCount; ++round) {
    const std::uint8_t counter[4] = {static_cast<std::uint8_t>(round), static_cast<std::uint8_t>(round >> 8),
                                     static_cast<std::uint8_t>(round >> 16), static_cast<std::uint8_t>(round >> 24)};
    if (EVP_DigestInit_ex(ctx, md, nullptr) != 1 || EVP_DigestUpdate(ctx, counter, 4) != 1 ||
        EVP_DigestUpdate(ctx, iterated.bytes.data(), iterated.bytes.size()) != 1 ||
        EVP_DigestFinal_ex(ctx, iterated.bytes.data(), &length) != 1)
      cryptoError("hashing");
  }
  return iterated;
}

std::unique_ptr<PageCipher> makeAgile(ByteView info, const std::array<std::uint8_t, 4>& databaseKey,
                                      std::string_view password) {
  // info: version (4), reserved 0x40 (4), the XML descriptor up to the end or a NUL.
  const std::uint32_t reserved = readU32(info, 4, "agile reserved field");
  if (reserved != 0x40) damaged("agile reserved field is " + std::to_string(reserved));
  const ByteView xmlBytes = info.subspan(8);
  const auto nul = std::find(xmlBytes.begin(), xmlBytes.end(), std::uint8_t{0});
  const std::string xml(xmlBytes.begin(), nul);

  const XmlElement* keyData = nullptr;
  const XmlElement* passwordKey = nullptr;
  const std::vector<XmlElement> elements = xmlStartTags(xml);
  findAgileKeys(elements, keyData, passwordKey);

  AgileCipher data = agileCipher(*keyData);
  AgileCipher encryptor = agileCipher(*passwordKey);
  const std::uint64_t spinCount = numberAttribute(*passwordKey, "spinCount", 0, UINT64_MAX);
  if (spinCount > kMaxSpinCount)
    damaged("spin count " + std::to_string(spinCount) + " is above the limit of " + std::to_string(kMaxSpinCount));
  const std::uint64_t saltSize = numberAttribute(*passwordKey, "saltSize", 1, 65536);
  const Bytes encryptedInput = binaryAttribute(*passwordKey, "encryptedVerifierHashInput");
  const Bytes encryptedValue = binaryAttribute(*passwordKey, "encryptedVerifierHashValue");
  const Bytes encryptedKey = binaryAttribute(*passwordKey, "encryptedKeyValue");
  Hasher hasher(encryptor.md);
  const std::size_t hashSize = hasher.size();
  for (const auto* field : {&encryptedInput, &encryptedValue, &encryptedKey})
    if (field->size() % encryptor.blockSize != 0)
      damaged("an encrypted verifier field is not a whole number of blocks");
  if (encryptedValue.size() < hashSize) damaged("the encrypted verifier hash is shorter than the hash");
  if (encryptedKey.size() < data.keyBytes) damaged("the encrypted key is shorter than the key");

  const SecretBytes iterated = spunPasswordHash(hasher, encryptor.md, encryptor.salt, password, spinCount);
  // The key for one block key: H(Hn + blockKey), cut or padded with 0x36 to the key size.
  auto derivedKey = [&](ByteView block) {
    Bytes hash = hasher.digest({iterated.bytes, block});
    SecretBytes key(fitLength(hash, encryptor.keyBytes, 0x36));
    OPENSSL_cleanse(hash.data(), hash.size());
    return key;
  };
  const Bytes iv = fitLength(encryptor.salt, encryptor.blockSize, 0x36);

  SecretBytes inputKey = derivedKey(kVerifierInputBlock);
  Bytes input = aesCbcDecrypted(inputKey.bytes, iv, encryptedInput);
  input.resize(std::min<std::size_t>(input.size(), saltSize));
  const Bytes expected = hasher.digest({input});
  SecretBytes valueKey = derivedKey(kVerifierValueBlock);
  const Bytes value = aesCbcDecrypted(valueKey.bytes, iv, encryptedValue);
  if (CRYPTO_memcmp(expected.data(), value.data(), hashSize) != 0) wrongPassword();

  SecretBytes keyKey = derivedKey(kKeyValueBlock);
  Bytes key = aesCbcDecrypted(keyKey.bytes, iv, encryptedKey);
  key.resize(data.keyBytes);
  return std::make_unique<AgileCipherPages>(databaseKey, std::move(data), SecretBytes(std::move(key)));
}

}  // namespace

void rc4(std::span<const std::uint8_t> key, std::span<std::uint8_t> data) {
  if (key.empty()) return;
  std::array<std::uint8_t, 256> s{};
  for (int i = 0; i < 256; ++i) s[i] = static_cast<std::uint8_t>(i);
  std::uint8_t j = 0;
  for (std::size_t i = 0; i < 256; ++i) {
    j = static_cast<std::uint8_t>(j + s[i] + key[i % key.size()]);
    std::swap(s[i], s[j]);
  }
  std::uint8_t x = 0;
  std::uint8_t y = 0;
  for (auto& byte : data) {
    x = static_cast<std::uint8_t>(x + 1);
    y = static_cast<std::uint8_t>(y + s[x]);
    std::swap(s[x], s[y]);
    byte ^= s[static_cast<std::uint8_t>(s[x] + s[y])];
  }
}

void unmaskHeader(std::span<std::uint8_t> page0, bool jet3) {
  if (page0.size() <= kHeaderRc4Start) return;
  const std::size_t length =
      std::min(jet3 ? kHeaderRc4LengthJet3 : kHeaderRc4LengthJet4, page0.size() - kHeaderRc4Start);
  rc4(kHeaderRc4Key, page0.subspan(kHeaderRc4Start, length));
}

std::unique_ptr<PageCipher> makePageCipher(std::span<const std::uint8_t> page0, std::string_view password) {
  if (page0.size() < kHeaderDbKeyOffset + 4) damaged("the first page is too short");
  // Jet 3 and Jet 4 files use the old RC4 page encoding, which the reader does itself.
  if (page0[kHeaderVersionOffset] < static_cast<std::uint8_t>(Version::Ace12)) return nullptr;
  std::array<std::uint8_t, 4> databaseKey{};
  std::copy_n(page0.begin() + kHeaderDbKeyOffset, 4, databaseKey.begin());
  if (databaseKey == std::array<std::uint8_t, 4>{}) return nullptr;

  const std::uint16_t infoLength = readU16(page0, kHeaderAceEncryptionOffset, "encryption structure");
  if (infoLength < 4) damaged("encryption structure length " + std::to_string(infoLength));
  const ByteView info = slice(page0, kHeaderAceEncryptionOffset + 2, infoLength, "encryption structure");
  const std::uint16_t major = readU16(info, 0, "encryption version");
  const std::uint16_t minor = readU16(info, 2, "encryption version");
  const std::string version = std::to_string(major) + "." + std::to_string(minor);
  if (major == 4 && minor == 4) return makeAgile(info, databaseKey, password);
  if ((major == 3 || major == 4) && minor == 3) unsupported("extensible encryption " + version);
  if ((major == 2 || major == 3 || major == 4) && minor == 2) {
    const std::uint32_t flags = readU32(info, 4, "encryption flags");
    if (flags & kFlagExternal) unsupported("extensible encryption " + version);
    if (!(flags & kFlagCryptoApi)) unsupported("encryption " + version + " without CryptoAPI");
    if (flags & kFlagAes) unsupported("standard AES encryption " + version);
    return makeRc4CryptoApi(info, databaseKey, password);
  }
  if (major == 1 && minor == 1) unsupported("RC4 encryption 1.1");
  unsupported("encryption version " + version);
}

}  // namespace tw::jet
