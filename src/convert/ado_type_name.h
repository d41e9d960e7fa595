// Names of ADO's DataTypeEnum codes. The conversion works with these names, lower-cased,
// rather than with the codes: the type mapping matches keywords inside them.
#pragma once

#include <cstdint>
#include <string_view>

namespace tw {

// ADO type codes the program meets.
namespace ado {
inline constexpr std::int16_t kSmallInt = 2, kInteger = 3, kSingle = 4, kDouble = 5,
                              kCurrency = 6, kDate = 7, kBoolean = 11, kDecimal = 14,
                              kTinyInt = 16, kUnsignedTinyInt = 17, kBigInt = 20, kGuid = 72,
                              kBinary = 128, kWChar = 130, kNumeric = 131, kDBTimeStamp = 135,
                              kVarChar = 200, kLongVarChar = 201, kVarWChar = 202,
                              kLongVarWChar = 203, kVarBinary = 204, kLongVarBinary = 205;
}

// The name of a code ("adVarWChar" for 202), or the empty text for a code without a name.
std::string_view AdoTypeName(std::int16_t code);

// The same name in lower case ("advarwchar"); empty for a code without a name.
std::string_view AdoTypeNameLower(std::int16_t code);

}  // namespace tw
