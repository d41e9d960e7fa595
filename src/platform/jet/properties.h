// The properties Access keeps for a table and its columns (Required, Description,
// DefaultValue, the result type and expression of a calculated column, ...): one blob per
// table in the LvProp column of its MSysObjects row.
//
// Layout of the blob (all integers little-endian):
//   4 bytes   "MR2\0" (Jet 4 and ACE) or "KKD\0" (Jet 3)
//   blocks    uint32 length (counting its own 6-byte head), uint16 block type, contents
// Block type 0x80 lists the property names: uint16 byte length + name, repeated. Names are
// UTF-16LE (Jet 3: the file's code page). Every other block holds the values of one map:
//   uint32 length of the map's name part (counting itself); when longer than 6 it holds
//          the map's name (uint16 byte length + name): the column the map belongs to
//   values uint16 length (counting itself), uint8 flag, uint8 data type (a column type
//          code), uint16 index into the name list, uint16 data size, the data
// Type 0x00 is the table's own map, type 0x01 a column's.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/jet/format.h"
#include "platform/value.h"

namespace tw::jet {

inline constexpr std::size_t kPropertySignatureSize = 4;
inline constexpr char kPropertySignatureJet4[] = "MR2";  // with its NUL, 4 bytes
inline constexpr char kPropertySignatureJet3[] = "KKD";
inline constexpr std::uint16_t kPropertyNameBlock = 0x80;
inline constexpr std::uint16_t kPropertyTableBlock = 0x00;
inline constexpr std::uint16_t kPropertyColumnBlock = 0x01;
inline constexpr std::size_t kPropertyBlockHeadSize = 6;
inline constexpr std::size_t kPropertyValueHeadSize = 8;

// One map: its properties in stored order, under their stored names.
struct PropertyMap {
  std::string name;  // the column's name; empty for the table's own map
  std::vector<std::pair<std::string, Value>> values;
  // The property of that name (without regard to ASCII case), or null.
  const Value* find(std::string_view property) const;
};

struct TableProperties {
  PropertyMap table;
  std::vector<PropertyMap> columns;
  // The map of the column of that name (without regard to case), or null.
  const PropertyMap* column(std::string_view name) const;
};

// Decodes a properties blob. An empty blob has no properties. Throws tw::data::Failure with
// a text saying where and what is wrong ("at byte 70: a block runs past the end") for a
// blob that is not in this layout; the caller names the table.
TableProperties parseTableProperties(std::span<const std::uint8_t> blob, bool jet3, unsigned codePage);

}  // namespace tw::jet
