// The settings store over QSettings: an INI file per user, keys in the group "Tablewright".
// The default file is Qt's per-user file of the organisation "Quernfield"
// (~/.config/Quernfield.conf on Linux); tests name a throw-away file instead.
//
// The file holds the Access password as typed, so it is made readable by its owner only:
// it is created with mode 0600 before anything is written to it, and an existing file with
// wider permissions is narrowed to 0600 when the store opens it. QSettings replaces the
// file through a temporary copy that keeps those permissions.
#pragma once

#include <memory>
#include <string>

#include "platform/settings.h"

class QSettings;

namespace tw {

class QtSettingsStore : public SettingsStore {
 public:
  // The user's own settings file.
  QtSettingsStore();
  // The settings file at `path` (created when missing).
  explicit QtSettingsStore(const std::string& path);
  ~QtSettingsStore() override;

  std::string read(std::string_view key, std::string_view fallback) const override;
  // Writes the value and the file at once; throws std::runtime_error naming the file when
  // it could not be written.
  void write(std::string_view key, const std::string& value) override;

  std::string fileName() const;

 private:
  void open(const std::string& path);
  std::unique_ptr<QSettings> settings_;
};

// Makes sure `path` exists as a file readable and writable by its owner only (creating it,
// and its folder, when missing). Throws std::runtime_error naming the path on failure.
void PrepareOwnerOnlyFile(const std::string& path);

}  // namespace tw
