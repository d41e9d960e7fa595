// tablewright-window-shot: renders the main window (or the Advanced Options dialog) to a
// PNG file, as the user sees it after start-up with the sample database chosen, or with
// the PATHs given as the program takes them from its command line
// (`tablewright sample.mdb`). Used for the screenshots in docs/.
//
//   tablewright-window-shot OUTPUT.png [--dialog] [--program-folder=DIR] [PATH]...
//
// --program-folder shows the fields as they read in an installed program (the pictures are
// still taken from the build's own folder).
// The window runs its real load sequence over a throw-away settings file; nothing of the
// user's own settings is read or written.
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <string>
#include <vector>

#include "app/widgets/form1.h"
#include "app/widgets/form6.h"
#include "platform/jet/provider.h"
#include "platform/locale.h"
#include "platform/qt/qt_file_dialogs.h"
#include "platform/qt/qt_settings.h"
#include "platform/qt/qt_shell.h"
#include "platform/vfp/provider.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: tablewright-window-shot OUTPUT.png [--dialog] [--program-folder=DIR] [PATH]...\n");
    return 2;
  }
  QApplication app(argc, argv);
  QApplication::setStyle(QStringLiteral("Fusion"));
  QTemporaryDir scratch;
  tw::data::DataAccess dataAccess;
  tw::jet::registerAccessProviders(dataAccess);
  tw::data::registerFoxProProvider(dataAccess);
  tw::QtSettingsStore settings(scratch.filePath("settings.conf").toStdString());
  tw::QtUi ui;
  tw::QtShell shell;
  tw::QtFileDialogs dialogs;
  tw::Locale locale = tw::Locale::system();
  std::string folder = QCoreApplication::applicationDirPath().toStdString();
  bool dialog = false;
  std::vector<std::string> paths;
  for (int i = 2; i < argc; ++i) {
    QString arg = QString::fromLocal8Bit(argv[i]);
    if (arg == "--dialog") dialog = true;
    else if (arg.startsWith("--program-folder=")) folder = arg.mid(17).toStdString();
    else paths.push_back(arg.toStdString());
  }
  tw::Form1Services services{settings, ui, shell, dialogs, dataAccess, locale, folder, [] { return 0.5; }};
  tw::Form1 window(services, ui);
  // The icon comes from the build's own folder, whatever folder the fields show.
  window.setWindowIcon(QIcon(QCoreApplication::applicationDirPath() + "/tablewright.png"));
  if (!window.loadAndShow()) return 1;
  if (paths.empty()) {
    window.logic().PushButton4_Click();
    window.logic().PushButton3_Click();
  }
  for (const std::string& path : paths) window.logic().OpenPath(path);
  QApplication::processEvents();
  QPixmap shot;
  if (dialog) {
    settings.write("DBCFile", folder + "/Samples/northwind.dbc");
    tw::Form6Services dialogServices{settings, ui, dialogs, folder, nullptr};
    tw::Form6 form6(std::move(dialogServices), window.logic(), &window);
    form6.load();
    form6.show();
    QApplication::processEvents();
    shot = form6.grab();
  } else {
    shot = window.grab();
  }
  if (!shot.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
    std::fprintf(stderr, "tablewright-window-shot: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
