// The SQL Preview window over a whole file of generated rows (one million by default):
//   1. the conversion run in per-file preview mode fills the statement list;
//   2. time from the end of statement generation to the window shown and painted;
//   3. peak memory of the process at that point against the statement text it holds;
//   4. time to scroll the list to its last line and paint it;
//   5. the window's Execute SQL pass over all lines, into a folder of FoxPro tables;
//   6. direct mode (each statement executed as it is made) on the same file, for comparison.
// Goals: window shown within 1 s; peak memory within 2x the statement text; the Execute SQL
// pass within 1.5x the direct conversion.
//
//   preview_bench SOURCE.mdb WORK_FOLDER      (run with QT_QPA_PLATFORM=offscreen or a display)
#include <QApplication>
#include <QScrollBar>
#include <QTimer>
#include <QTreeView>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "convert/conversion_run.h"
#include "platform/jet/provider.h"
#include "platform/vfp/provider.h"
#include "preview/qt/form2.h"
#include "preview/qt/qt_preview_window.h"
#include "support/fake_clipboard.h"
#include "support/fake_shell.h"

using Clock = std::chrono::steady_clock;

namespace {

double seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

// A /proc/self/status field in kB (VmHWM: peak resident set; VmRSS: current).
long statusKb(const char* field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  const std::string key = std::string(field) + ":";
  while (std::getline(in, line))
    if (line.rfind(key, 0) == 0) return std::stol(line.substr(key.size()));
  return -1;
}

// Message boxes are printed instead of shown, so that nothing waits for a click; yields
// run the event loop as the program's own do.
class BenchUi : public tw::Ui {
 public:
  tw::MessageAnswer messageBox(const std::string& title, const std::string& text, tw::MessageIcon,
                               tw::MessageButtons buttons) override {
    std::fprintf(stderr, "[%s] %s\n", title.c_str(), tw::WithLineFeedBreaks(text).c_str());
    if (title == "Application Error" || text == "Error found.") ++failures;
    return buttons == tw::MessageButtons::Ok ? tw::MessageAnswer::Ok : tw::MessageAnswer::Yes;
  }
  void yield() override { QCoreApplication::processEvents(); }
  void setPointer(int) override {}
  int failures = 0;
};

// The run's preview window, timed.
class TimedPreview : public tw::PreviewWindow {
 public:
  TimedPreview(tw::QtPreviewWindow& window) : window_(window) {}
  void showModal(tw::ConversionState& state) override {
    generated = Clock::now();
    window_.showModal(state);
  }
  Clock::time_point generated;

 private:
  tw::QtPreviewWindow& window_;
};

// What the window measures once it is shown (steps 2. to 5.).
struct WindowFigures {
  double shownSeconds = 0, scrollSeconds = 0, passSeconds = 0;
  long peakAtShownKb = 0;
  std::size_t lines = 0, textBytes = 0, listBytes = 0;
};

// What the two runs measure around the window.
struct RunFigures {
  double generationSeconds = 0, previewRunSeconds = 0, directSeconds = 0;
  long baselineKb = 0, peakAfterPassKb = 0;
  bool executed = false;
};

// In the window just shown for `state`'s statements, generated at `generated`: the time to
// its first paint and the peak memory then, a scroll to the last line, the Execute SQL pass.
void measureWindow(tw::Form2& form, const tw::ConversionState& state, Clock::time_point generated,
                   WindowFigures& out) {
  // The window is shown once its first paint is done; grabbing it paints every control.
  QCoreApplication::processEvents();
  (void)form.grab();
  out.shownSeconds = seconds(generated, Clock::now());
  out.peakAtShownKb = statusKb("VmHWM");
  out.lines = state.statements.size();
  out.textBytes = state.statements.textBytes();
  out.listBytes = state.statements.bytesUsed();

  QTreeView* list = form.list();
  auto t = Clock::now();
  list->scrollToBottom();
  QCoreApplication::processEvents();
  (void)list->viewport()->grab();
  const int lastVisible = list->indexAt(QPoint(1, 1)).row() + list->viewport()->height() / list->sizeHintForRow(0);
  out.scrollSeconds = seconds(t, Clock::now());
  if (lastVisible + 1 < static_cast<int>(state.statements.size()))
    std::fprintf(stderr, "the list did not reach its last line\n");

  t = Clock::now();
  form.session().PushButton1_Click();  // closes the window when it completes
  out.passSeconds = seconds(t, Clock::now());
}

void printFigures(const WindowFigures& w, const RunFigures& r, int failures) {
  const double mb = 1024.0 * 1024.0;
  std::printf("statement list: %zu lines, %.1f MB of text, %.1f MB held by the list\n", w.lines, w.textBytes / mb,
              w.listBytes / mb);
  std::printf("generation (run start to window requested): %.2f s\n", r.generationSeconds);
  std::printf("end of generation to window shown:          %.3f s (goal < 1 s)\n", w.shownSeconds);
  std::printf("peak memory at window shown:                %.1f MB (process before the run: %.1f MB)\n",
              w.peakAtShownKb / 1024.0, r.baselineKb / 1024.0);
  std::printf("peak memory / statement text:               %.2fx (goal <= 2x); above the start: %.2fx\n",
              w.peakAtShownKb * 1024.0 / static_cast<double>(w.textBytes),
              (w.peakAtShownKb - r.baselineKb) * 1024.0 / static_cast<double>(w.textBytes));
  std::printf("peak memory after the Execute SQL pass:      %.1f MB\n", r.peakAfterPassKb / 1024.0);
  std::printf("scroll to the last line and paint:          %.4f s\n", w.scrollSeconds);
  std::printf("Execute SQL pass (%s):                 %.2f s\n", r.executed ? "completed" : "NOT completed",
              w.passSeconds);
  std::printf("whole preview run (generate, show, execute): %.2f s\n", r.previewRunSeconds);
  std::printf("direct mode, same file:                     %.2f s\n", r.directSeconds);
  std::printf("Execute SQL pass / direct mode:             %.2fx (goal <= 1.5x)\n", w.passSeconds / r.directSeconds);
  std::printf("whole preview run / direct mode:            %.2fx\n", r.previewRunSeconds / r.directSeconds);
  std::printf("failures reported: %d\n", failures);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: preview_bench SOURCE.mdb WORK_FOLDER\n");
    return 2;
  }
  QApplication app(argc, argv);
  const std::filesystem::path work = argv[2];
  const std::string previewFolder = (work / "preview").string();
  const std::string directFolder = (work / "direct").string();
  std::filesystem::create_directories(previewFolder);
  std::filesystem::create_directories(directFolder);

  tw::data::DataAccess access;
  tw::jet::registerAccessProviders(access);
  tw::data::registerFoxProProvider(access);
  const tw::Locale locale("en_US");
  BenchUi ui;
  tw::FakeClipboard clipboard;
  tw::FakeShell shell;
  RunFigures run;
  run.baselineKb = statusKb("VmRSS");

  // 1.-5. Per-file preview, then Execute SQL in the window.
  tw::MainWindowModel window;
  window.text5 = argv[1];
  window.text2 = previewFolder;
  window.check1 = 1;
  window.option1 = true;
  window.option2 = false;
  tw::ConversionState state;
  tw::QtPreviewWindow qtWindow(clipboard, shell, nullptr, &ui);
  TimedPreview preview(qtWindow);
  WindowFigures figures;
  qtWindow.setOnCreated([&](tw::Form2& form) {
    QTimer::singleShot(0, &form, [&] { measureWindow(form, state, preview.generated, figures); });
  });
  const auto runStart = Clock::now();
  tw::ConversionRun previewRun(access, ui, window, state, locale, &preview);
  previewRun.StartConverting();
  run.generationSeconds = seconds(runStart, preview.generated);
  run.previewRunSeconds = seconds(runStart, Clock::now());
  run.executed = state.SQLFormOK;
  run.peakAfterPassKb = statusKb("VmHWM");
  state.statements.clear();

  // 6. Direct mode on the same file.
  tw::MainWindowModel direct = window;
  direct.text2 = directFolder;
  direct.check1 = 0;
  tw::ConversionState directState;
  const auto directStart = Clock::now();
  tw::ConversionRun directRun(access, ui, direct, directState, locale);
  directRun.StartConverting();
  run.directSeconds = seconds(directStart, Clock::now());

  printFigures(figures, run, ui.failures);
  return ui.failures == 0 && run.executed ? 0 : 1;
}
