// The per-user settings store: text values under fixed keys, kept between runs of the
// program. All of the program's settings live under the application "Quernfield" and the
// section "Tablewright"; an implementation is bound to that place, so callers name only the
// key. Values are always text; callers convert numbers and truth values themselves.
//
// `read` never fails: a key that was never written, or a store that cannot be read, gives
// the fallback. `write` is immediate (no batching, no flush step) and throws
// std::runtime_error naming the store when the value could not be kept.
#pragma once

#include <string>
#include <string_view>

namespace tw {

inline constexpr const char* kSettingsApplication = "Quernfield";
inline constexpr const char* kSettingsSection = "Tablewright";

class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  virtual std::string read(std::string_view key, std::string_view fallback) const = 0;
  virtual void write(std::string_view key, const std::string& value) = 0;
};

}  // namespace tw
