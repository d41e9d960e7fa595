// Small helpers on field values.
#pragma once

#include "platform/value.h"

namespace tw {

// The default when the value is null, the value otherwise.
inline const Value& NullToDefault(const Value& value, const Value& fallback) {
  return value.isNull() ? fallback : value;
}

}  // namespace tw
