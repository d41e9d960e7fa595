#include "platform/qt/qt_settings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include <QSettings>
#include <QString>

namespace tw {

namespace {
QString qKey(std::string_view key) {
  return QString::fromUtf8(kSettingsSection) + '/' +
         QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size()));
}
}  // namespace

void PrepareOwnerOnlyFile(const std::string& path) {
  std::error_code ec;
  std::filesystem::path folder = std::filesystem::path(path).parent_path();
  if (!folder.empty()) std::filesystem::create_directories(folder, ec);
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0)
    throw std::runtime_error("The settings file " + path + " could not be opened: " + std::strerror(errno) + ".");
  struct stat st {};
  if (::fstat(fd, &st) == 0 && (st.st_mode & 0077) != 0 && ::fchmod(fd, st.st_mode & 0700) != 0) {
    int error = errno;
    ::close(fd);
    throw std::runtime_error("The settings file " + path + " could not be made private: " + std::strerror(error) +
                             ".");
  }
  ::close(fd);
}

QtSettingsStore::QtSettingsStore() {
  QSettings probe(QSettings::NativeFormat, QSettings::UserScope, QString::fromUtf8(kSettingsApplication));
  open(probe.fileName().toStdString());
}

QtSettingsStore::QtSettingsStore(const std::string& path) { open(path); }

QtSettingsStore::~QtSettingsStore() = default;

void QtSettingsStore::open(const std::string& path) {
  // A file that cannot be prepared is no reason to stop the program: reads give their
  // defaults and the first write reports the problem.
  try {
    PrepareOwnerOnlyFile(path);
  } catch (const std::exception&) {
  }
  settings_ = std::make_unique<QSettings>(QString::fromStdString(path), QSettings::IniFormat);
}

std::string QtSettingsStore::fileName() const { return settings_->fileName().toStdString(); }

std::string QtSettingsStore::read(std::string_view key, std::string_view fallback) const {
  QVariant value = settings_->value(qKey(key));
  if (!value.isValid()) return std::string(fallback);
  return value.toString().toStdString();
}

void QtSettingsStore::write(std::string_view key, const std::string& value) {
  PrepareOwnerOnlyFile(fileName());
  settings_->setValue(qKey(key), QString::fromStdString(value));
  settings_->sync();
  if (settings_->status() != QSettings::NoError)
    throw std::runtime_error("The settings file " + fileName() + " could not be written.");
}

}  // namespace tw
