// The key and FOR expressions of an index tag, compiled against a table's fields and
// evaluated on its records as Visual FoxPro keys them (the machine collating sequence).
//
// Key expressions:
//   - one field: its value in its type's sortable form: C as its bytes; N, F, B and Y as
//     the number, D as its Julian day number and T as its Julian day number and fraction
//     of the day, each as a double in 8 sortable bytes (compound_index.h); I as 4 sortable
//     bytes; L as "T" or "F";
//   - parts joined with "+", each a C field, STR(field[, width[, decimals]]) of a numeric
//     field, DTOS(field) of a D or T field, TTOC(field, 1) of a T or D field, or
//     BINTOC(field) of an I field: the texts one after the other.
// A key whose fields accept nulls starts with one byte more: 0x80 before a value, 0x00 when
// a field it uses is null (the rest then the fill byte), so that nulls come first.
//
// FOR filters: !ISNULL(field), also written .NOT.ISNULL(field) or NOT ISNULL(field), joined
// with AND or .AND.; a record is keyed when every part holds.
//
// Names are matched without regard to case against the table's column names (a database
// container's long names) and its .dbf field names.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/vfp/dbf_format.h"

namespace tw::vfp {

// An expression this engine cannot evaluate; `what()` says why, in words.
class UnsupportedExpression : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class KeyExpression {
 public:
  // `names` are the UTF-8 names of the layout's fields, in field order (empty: the .dbf
  // names, decoded in `codePage`). Throws UnsupportedExpression.
  KeyExpression(std::string_view key, std::string_view filter, const TableLayout& layout,
                const std::vector<std::string>& names);

  std::size_t keyLength() const { return length_; }
  // The byte the leaves leave out at the end of keys: ' ' for character keys, '\0' else.
  char fill() const { return fill_; }
  // False when the FOR filter leaves the record out.
  bool included(const std::uint8_t* record) const;
  // Writes the record's key (keyLength bytes) to `out`.
  void key(const std::uint8_t* record, std::uint8_t* out) const;

  enum class Kind { Field, Str, Dtos, Ttoc, Bintoc };
  struct Part {
    Kind kind = Kind::Field;
    const FieldDef* field = nullptr;
    int width = 0;     // bytes of the part in the key
    int decimals = 0;  // STR()'s
  };

 private:
  const TableLayout* layout_;
  std::vector<Part> parts_;
  std::vector<const FieldDef*> notNull_;  // the FOR filter's fields
  bool nullable_ = false;
  std::size_t length_ = 0;
  char fill_ = ' ';
};

}  // namespace tw::vfp
