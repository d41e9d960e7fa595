// Tablewright: copies the user tables of Access databases into Visual FoxPro tables.
//
// The one place that builds the real services: the data-access layer with the Access
// reader and the FoxPro engine as its providers (new FoxPro tables in the code page the
// setting "CodePage" names, or when it is empty that of the user's locale), the per-user settings store, the Qt
// message boxes, shell, clipboard and file choosers, and the SQL Preview window. Then the main window runs its load
// sequence and either shows itself or, when the data-access layer is missing, the program ends.
// Last, the paths of the command line (`tablewright [ACCESS_FILE [DESTINATION]]`) are
// applied as the user's own choices.
#include <QApplication>
#include <QStandardPaths>
#include <cstdio>
#include <string>
#include <vector>

#include "app/program_arguments.h"
#include "app/widgets/form1.h"
#include "platform/code_page.h"
#include "platform/jet/provider.h"
#include "platform/locale.h"
#include "platform/qt/qt_clipboard.h"
#include "platform/qt/qt_file_dialogs.h"
#include "platform/qt/qt_settings.h"
#include "platform/qt/qt_shell.h"
#include "platform/qt/qt_ui.h"
#include "platform/vfp/container_catalog.h"
#include "platform/vfp/provider.h"
#include "preview/qt/qt_preview_window.h"

#ifndef TW_VERSION
#error "TW_VERSION must be defined by the build"
#endif

namespace {

std::vector<std::string> ArgumentsAfterProgram(const QStringList& arguments) {
  std::vector<std::string> out;
  for (qsizetype i = 1; i < arguments.size(); ++i) out.push_back(arguments[i].toLocal8Bit().toStdString());
  return out;
}

// --help and --version need no display: they are answered before Qt starts.
bool AnsweredWithoutWindow(int argc, char** argv, int& status) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  const tw::ProgramArguments parsed = tw::ParseProgramArguments(arguments);
  if (parsed.action == tw::ProgramArguments::Action::Help) {
    std::fputs(tw::ProgramHelpText().c_str(), stdout);
  } else if (parsed.action == tw::ProgramArguments::Action::Version) {
    std::printf("tablewright (Tablewright) %s\n", TW_VERSION);
  } else {
    return false;
  }
  status = std::fflush(stdout) == 0 ? 0 : 1;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int status = 0;
  if (AnsweredWithoutWindow(argc, argv, status)) return status;
  QApplication app(argc, argv);
  // Qt has taken its own options (-platform, -style, ...) out; the rest are ours.
  const tw::ProgramArguments arguments = tw::ParseProgramArguments(ArgumentsAfterProgram(app.arguments()));
  if (arguments.action == tw::ProgramArguments::Action::UsageError) {
    std::fprintf(stderr, "tablewright: %s\nTry 'tablewright --help' for more information.\n",
                 arguments.problem.c_str());
    return 2;
  }
  QApplication::setOrganizationName(tw::kSettingsApplication);
  QApplication::setApplicationName(tw::kProductTitle);
  // Fusion draws the progress caption inside the bar on every desktop.
  QApplication::setStyle(QStringLiteral("Fusion"));

  tw::QtSettingsStore settings;
  tw::data::DataAccess dataAccess;
  tw::jet::registerAccessProviders(dataAccess);
  // The code page of the FoxPro tables, and of the containers the program creates.
  const tw::CodePage& codePage = tw::ChosenCodePage(settings.read("CodePage", ""));
  tw::data::registerFoxProProvider(dataAccess, codePage);

  tw::QtUi ui;
  tw::QtShell shell;
  tw::QtFileDialogs dialogs;
  tw::Locale locale = tw::Locale::system();
  // An installed program's folder belongs to the system: the sample's FoxPro tables then go
  // to the user's own data folder (~/.local/share/Quernfield/Tablewright/Samples).
  const std::string userSamples =
      QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation).toStdString() + "/Samples";
  tw::Form1Services services{settings,
                             ui,
                             shell,
                             dialogs,
                             dataAccess,
                             locale,
                             tw::ProgramDataFolder(QCoreApplication::applicationDirPath().toStdString()),
                             tw::ClockSeededRandom(),
                             userSamples};

  tw::Form1 window(services, ui);
  dialogs.setOwner(&window);
  // The Advanced Options dialog offers to create a container that does not exist yet.
  window.setCreateContainer([&codePage](const std::string& path) { tw::vfp::createContainer(path, codePage); });
  tw::QtClipboard clipboard;
  tw::QtPreviewWindow preview(clipboard, shell, &window);
  window.logic().setPreviewWindow(&preview);
  if (!window.loadAndShow()) return 0;
  for (const std::string& path : arguments.paths) window.logic().OpenPath(path);
  return QApplication::exec();
}
