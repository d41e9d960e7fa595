// tablewright-window-shot: renders the main window (or the Advanced Options dialog) to a
// PNG file, as the user sees it after start-up with the sample database chosen. Used for
// the screenshot in docs/.
//
//   tablewright-window-shot OUTPUT.png [--dialog]
//
// The window runs its real load sequence over a throw-away settings file; nothing of the
// user's own settings is read or written.
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

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
    std::fprintf(stderr, "usage: tablewright-window-shot OUTPUT.png [--dialog]\n");
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
  const std::string folder = QCoreApplication::applicationDirPath().toStdString();
  tw::Form1Services services{settings, ui, shell, dialogs, dataAccess, locale, folder, [] { return 0.5; }};
  tw::Form1 window(services, ui);
  if (!window.loadAndShow()) return 1;
  window.logic().PushButton4_Click();
  window.logic().PushButton3_Click();
  QApplication::processEvents();
  QPixmap shot;
  if (argc > 2 && QString(argv[2]) == "--dialog") {
    settings.write("DBCFile", folder + "/Samples/northwind.dbc");
    tw::Form6Services dialogServices{settings, ui, dialogs, folder, nullptr};
    tw::Form6 dialog(std::move(dialogServices), window.logic(), &window);
    dialog.load();
    dialog.show();
    QApplication::processEvents();
    shot = dialog.grab();
  } else {
    shot = window.grab();
  }
  if (!shot.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
    std::fprintf(stderr, "tablewright-window-shot: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
