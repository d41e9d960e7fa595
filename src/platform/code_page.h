// The Windows ANSI code pages the FoxPro tables are written in, and the code page a user's
// locale stands for.
//
// A `CodePage` turns UTF-8 text into the bytes of one code page and back. Single-byte code
// pages (874, 1250-1257) give every character one byte; the East Asian ones (932, 936,
// 949, 950) give some characters two, a lead byte and a trail byte. A character the code
// page does not hold is written as "?" and counted, so that callers can tell the user. The
// C1 control characters U+0080-U+009F are never written (readers refuse the bytes that
// cp1252 leaves undefined), nor is any character outside the Basic Multilingual Plane.
//
// Every code page carries the mark Visual FoxPro writes at byte 29 of a table's header
// (0x03 for 1252, 0xC8 for 1250, ...); 1257 has none, and its tables carry 0, "no code
// page".
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/utf8.h"

namespace tw {

class CodePage {
 public:
  // The code page of that Windows number, or null when it is not one of the supported.
  static const CodePage* byNumber(int number);
  // The code page a FoxPro code-page mark names, or null for marks of other code pages.
  static const CodePage* byMark(std::uint8_t mark);
  // Windows-1252, which every table without a code page is read in.
  static const CodePage& western();
  // The supported numbers in ascending order: 874, 932, 936, 949, 950, 1250 ... 1257.
  static const std::vector<int>& supportedNumbers();

  ~CodePage();
  CodePage(const CodePage&) = delete;
  CodePage& operator=(const CodePage&) = delete;

  int number() const { return number_; }
  std::uint8_t mark() const { return mark_; }
  bool doubleByte() const { return doubleByte_; }

  // True when the code page holds the character.
  bool holds(char32_t codePoint) const;
  // Appends the bytes of `utf8` to `out`; returns how many characters became "?". Malformed
  // UTF-8 counts as characters it cannot hold.
  std::size_t encode(std::string_view utf8, std::string& out) const;
  // Appends the bytes of one character; returns false (and appends "?") when it is not held.
  bool encodeChar(char32_t codePoint, std::string& out) const;
  // How many bytes `utf8` takes in this code page.
  std::size_t encodedSize(std::string_view utf8) const;
  // The code-page bytes as UTF-8; undefined bytes become U+FFFD.
  std::string decode(std::string_view bytes) const;

 private:
  struct Tables;
  CodePage(int number, std::uint8_t mark);
  int number_;
  std::uint8_t mark_;
  bool doubleByte_ = false;
  std::unique_ptr<Tables> tables_;
};

// The ANSI code page a Windows system set to this locale would use ("pl_PL" 1250, "ru_RU"
// 1251, "el_GR" 1253, "tr_TR" 1254, "he_IL" 1255, "ar_EG" 1256, "lt_LT" 1257, "th_TH" 874,
// "ja_JP" 932, "zh_CN" 936, "ko_KR" 949, "zh_TW" 950; 1252 for every other locale).
int AnsiCodePageForLocale(const std::string& localeName);
// The same for the user's locale as Qt reads it (LANG, LC_ALL).
int SystemAnsiCodePage();
// The code page new tables are written in when a setting holds `number` ("1250"): that
// code page when it is a supported one, else the user's locale's (an empty or unknown
// setting means "from the locale").
const CodePage& ChosenCodePage(std::string_view number);

}  // namespace tw
