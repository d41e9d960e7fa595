// Names of ADO's DataTypeEnum codes. The conversion works with these names, lower-cased,
// rather than with the codes: the type mapping matches keywords inside them.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/ado_types.h"

namespace tw {

// The name of a code ("adVarWChar" for 202), or the empty text for a code without a name.
std::string_view AdoTypeName(std::int16_t code);

// The same name in lower case ("advarwchar"); empty for a code without a name.
std::string_view AdoTypeNameLower(std::int16_t code);

}  // namespace tw
