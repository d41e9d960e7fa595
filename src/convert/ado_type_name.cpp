#include "convert/ado_type_name.h"

#include <array>
#include <string>

#include "platform/case_rules.h"

namespace tw {

namespace {

struct Entry {
  std::int16_t code;
  std::string_view name;
};

constexpr Entry kNames[] = {
    {ado::kEmpty, "adEmpty"},
    {ado::kSmallInt, "adSmallInt"},
    {ado::kInteger, "adInteger"},
    {ado::kSingle, "adSingle"},
    {ado::kDouble, "adDouble"},
    {ado::kCurrency, "adCurrency"},
    {ado::kDate, "adDate"},
    {ado::kBSTR, "adBSTR"},
    {ado::kIDispatch, "adIDispatch"},
    {ado::kError, "adError"},
    {ado::kBoolean, "adBoolean"},
    {ado::kVariant, "adVariant"},
    {ado::kIUnknown, "adIUnknown"},
    {ado::kDecimal, "adDecimal"},
    {ado::kTinyInt, "adTinyInt"},
    {ado::kUnsignedTinyInt, "adUnsignedTinyInt"},
    {ado::kUnsignedSmallInt, "adUnsignedSmallInt"},
    {ado::kUnsignedInt, "adUnsignedInt"},
    {ado::kBigInt, "adBigInt"},
    {ado::kUnsignedBigInt, "adUnsignedBigInt"},
    {ado::kFileTime, "adFileTime"},
    {ado::kGuid, "adGUID"},
    {ado::kBinary, "adBinary"},
    {ado::kChar, "adChar"},
    {ado::kWChar, "adWChar"},
    {ado::kNumeric, "adNumeric"},
    {ado::kUserDefined, "adUserDefined"},
    {ado::kDBDate, "adDBDate"},
    {ado::kDBTime, "adDBTime"},
    {ado::kDBTimeStamp, "adDBTimeStamp"},
    {ado::kChapter, "adChapter"},
    {ado::kPropVariant, "adPropVariant"},
    {ado::kVarNumeric, "adVarNumeric"},
    {ado::kVarChar, "adVarChar"},
    {ado::kLongVarChar, "adLongVarChar"},
    {ado::kVarWChar, "adVarWChar"},
    {ado::kLongVarWChar, "adLongVarWChar"},
    {ado::kVarBinary, "adVarBinary"},
    {ado::kLongVarBinary, "adLongVarBinary"},
};
static_assert(std::size(kNames) == 39);

// Every code from 0 to 255 resolved once, in both spellings.
struct Table {
  std::array<std::string_view, 256> mixed{};
  std::array<std::string, 256> lower{};
  Table() {
    for (const Entry& e : kNames) {
      auto i = static_cast<std::size_t>(e.code);
      mixed[i] = e.name;
      lower[i] = asciiLower(e.name);
    }
  }
};

const Table& table() {
  static const Table t;
  return t;
}

}  // namespace

std::string_view AdoTypeName(std::int16_t code) {
  if (code < 0 || code > 255) return {};
  return table().mixed[static_cast<std::size_t>(code)];
}

std::string_view AdoTypeNameLower(std::int16_t code) {
  if (code < 0 || code > 255) return {};
  return table().lower[static_cast<std::size_t>(code)];
}

}  // namespace tw
