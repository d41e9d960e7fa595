// Decryption for Access files: the RC4 cipher used for the header mask and for old encoded
// Jet pages, and the page ciphers of password-protected ACE files (Office agile encryption
// with AES, and RC4 CryptoAPI encryption).
//
// An ACE file keeps its encryption description in page 0, which is itself never encrypted
// (only the 128-byte header block from offset 0x18 is masked with a fixed RC4 key). Every
// other page is encrypted with a key derived from the file's key and the page number.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

namespace tw::jet {

// RC4 with a key of `key` bytes, applied in place (encryption and decryption are the same).
// An empty key leaves `data` unchanged.
void rc4(std::span<const std::uint8_t> key, std::span<std::uint8_t> data);

// Removes (or applies) the header mask of page 0 in place: the block at kHeaderRc4Start,
// kHeaderRc4LengthJet3 or kHeaderRc4LengthJet4 bytes long, with the key kHeaderRc4Key
// (format.h). A page shorter than the masked block is masked as far as it goes.
void unmaskHeader(std::span<std::uint8_t> page0, bool jet3);

// Decrypts pages of an encrypted file.
class PageCipher {
 public:
  virtual ~PageCipher() = default;
  // Decrypts `page` (one whole page, number `pageNumber`, never 0) in place.
  virtual void decryptPage(std::uint32_t pageNumber, std::span<std::uint8_t> page) const = 0;
};

// Builds the page cipher from page 0 (header already unmasked) and the password. Returns
// null when page 0 says the file is not encrypted, or is an old encoded Jet file (which the
// reader decodes with rc4 itself). Throws tw::data::Failure("Not a valid password.") for a
// missing or wrong password, and a Failure saying the encryption scheme is not supported
// for a scheme it does not know. A damaged encryption description gives a Failure too.
std::unique_ptr<PageCipher> makePageCipher(std::span<const std::uint8_t> page0, std::string_view password);

}  // namespace tw::jet
