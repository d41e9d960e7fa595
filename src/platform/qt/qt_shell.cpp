#include "platform/qt/qt_shell.h"

#include <QDesktopServices>
#include <QString>
#include <QUrl>

namespace tw {

void QtShell::open(const std::string& target) {
  // QUrl takes the address as it stands; no quoting is needed on this platform.
  QDesktopServices::openUrl(QUrl(QString::fromStdString(target), QUrl::TolerantMode));
}

}  // namespace tw
