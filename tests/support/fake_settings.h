// A settings store for tests: a map of keys to texts, a log of every write in order, and a
// switch that makes writes fail as a full or read-only disk would.
#pragma once

#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "platform/settings.h"

namespace tw {

class FakeSettingsStore : public SettingsStore {
 public:
  FakeSettingsStore() = default;
  FakeSettingsStore(std::initializer_list<std::pair<const std::string, std::string>> stored) : values(stored) {}

  std::string read(std::string_view key, std::string_view fallback) const override {
    auto it = values.find(std::string(key));
    return it == values.end() ? std::string(fallback) : it->second;
  }
  void write(std::string_view key, const std::string& value) override {
    if (failWrites) throw std::runtime_error("The settings file /fake/settings.conf could not be written.");
    values[std::string(key)] = value;
    writes.emplace_back(std::string(key), value);
  }
  bool has(const std::string& key) const { return values.count(key) != 0; }
  // The values written under `key`, in order.
  std::vector<std::string> writesOf(const std::string& key) const {
    std::vector<std::string> out;
    for (const auto& [k, v] : writes)
      if (k == key) out.push_back(v);
    return out;
  }

  std::map<std::string, std::string> values;
  std::vector<std::pair<std::string, std::string>> writes;
  bool failWrites = false;
};

}  // namespace tw
