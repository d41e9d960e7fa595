// Text in the code page of the engine's tables, Windows-1252, and the conversions between it
// and the UTF-8 text the rest of the program uses.
//
// Every character cp1252 holds maps to its byte; any other character, and any byte of
// malformed UTF-8, becomes "?". The five byte values cp1252 leaves undefined (0x81, 0x8D,
// 0x8F, 0x90, 0x9D) are never written, because readers' cp1252 decoders refuse them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tw::vfp {

// The cp1252 byte of a Unicode code point, or '?' when cp1252 has none.
std::uint8_t cp1252FromCodePoint(char32_t cp);

// The whole of `utf8` in cp1252.
std::string toCp1252(std::string_view utf8);

// cp1252 bytes as UTF-8.
std::string fromCp1252(std::string_view bytes);

// The upper-case form of a cp1252 byte, as UPPER() gives it (letters only; others
// unchanged).
std::uint8_t cp1252Upper(std::uint8_t c);
// True for the cp1252 bytes that are letters (A-Z, a-z and the accented letters).
bool cp1252IsLetter(std::uint8_t c);

}  // namespace tw::vfp
