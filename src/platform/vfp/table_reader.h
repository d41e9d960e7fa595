// Reads the records of a free table back as values: the provider's record sets and the
// checks of what the engine wrote use it.
//
// Values by field type: C and M as UTF-8 text with trailing blanks removed, V as UTF-8
// text of the length it was stored with, Q, W and G as bytes, the text decoded in the
// code page the header names (the one given, cp1252 by default, when it names none or
// one this program does not know), N and F as exact decimals, I as integers, B as doubles,
// Y as currency, D and T as dates (days since 30 December 1899; a blank or all-zero D as
// null), L as booleans, and null wherever _NullFlags says so. Deleted records are skipped.
// A record or memo that cannot be read, a D that is no calendar date included, throws
// CorruptTable naming it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/code_page.h"
#include "platform/value.h"
#include "platform/vfp/dbf_format.h"
#include "platform/vfp/file_system.h"

namespace tw::vfp {

class TableReader {
 public:
  // `fptPath` may be empty when the table has no memo file. `unmarked` is the code page of
  // a table whose header names none.
  TableReader(FileSystem& fs, const std::string& dbfPath, const std::string& fptPath,
              const CodePage& unmarked = CodePage::western());

  const TableHeader& header() const { return header_; }
  // The code page the text of the table is read in.
  const CodePage& codePage() const { return *codePage_; }
  // Fills `row` with the next live record; false after the last.
  bool next(std::vector<Value>& row);

 private:
  Value decode(const FieldDef& f, const std::uint8_t* rec);
  // The length of a V or Q field's value: the field's width, or the length in its last
  // byte when its length bit is set.
  std::size_t variableLength(const FieldDef& f, const std::uint8_t* rec) const;
  // An N or F field's text (blank: null) as an exact decimal.
  Value decodeNumeric(const FieldDef& f, std::string text) const;
  // A D field's text, yyyymmdd (blank: null), as a date.
  Value decodeDate(const FieldDef& f, const std::string& text) const;
  std::string readMemo(std::uint32_t block);

  std::unique_ptr<File> dbf_;
  std::unique_ptr<File> fpt_;
  TableHeader header_;
  const CodePage* codePage_ = &CodePage::western();
  std::uint16_t blockSize_ = kMemoBlockSize;
  std::uint32_t index_ = 0;
  std::vector<std::uint8_t> buffer_;
};

}  // namespace tw::vfp
