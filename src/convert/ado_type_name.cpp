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
    {0, "adEmpty"},          {2, "adSmallInt"},         {3, "adInteger"},
    {4, "adSingle"},         {5, "adDouble"},           {6, "adCurrency"},
    {7, "adDate"},           {8, "adBSTR"},             {9, "adIDispatch"},
    {10, "adError"},         {11, "adBoolean"},         {12, "adVariant"},
    {13, "adIUnknown"},      {14, "adDecimal"},         {16, "adTinyInt"},
    {17, "adUnsignedTinyInt"}, {18, "adUnsignedSmallInt"}, {19, "adUnsignedInt"},
    {20, "adBigInt"},        {21, "adUnsignedBigInt"},  {64, "adFileTime"},
    {72, "adGUID"},          {128, "adBinary"},         {129, "adChar"},
    {130, "adWChar"},        {131, "adNumeric"},        {132, "adUserDefined"},
    {133, "adDBDate"},       {134, "adDBTime"},         {135, "adDBTimeStamp"},
    {136, "adChapter"},      {138, "adPropVariant"},    {139, "adVarNumeric"},
    {200, "adVarChar"},      {201, "adLongVarChar"},    {202, "adVarWChar"},
    {203, "adLongVarWChar"}, {204, "adVarBinary"},      {205, "adLongVarBinary"},
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
