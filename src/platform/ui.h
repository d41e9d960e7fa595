// The user-interface side that the program's logic sees: message boxes, the event-loop
// yield and the window pointer. The Qt implementation lives in platform/qt; `FakeUi`
// (tests/support/fake_ui.h) records every box and answers from a script, so logic runs
// without a display.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tw {

// A message text with its "\r\n" and lone "\r" line breaks written as "\n", the form Qt
// widgets and terminals break lines at.
std::string WithLineFeedBreaks(const std::string& text);

enum class MessageIcon { None, Critical, Question, Exclamation, Information };
// YesNoAll adds "Yes to All" and "No to All" to Yes and No: the answer then holds for
// every later question of the same kind.
enum class MessageButtons { Ok, YesNo, YesNoAll };
enum class MessageAnswer { Ok, Yes, No, YesToAll, NoToAll };

// Mouse pointer values as the program sets them.
inline constexpr int kPointerDefault = 0;
inline constexpr int kPointerHourglass = 11;

// The parts of a guarded procedure's failure report (common/guard.h writes the report).
struct ProcedureFailure {
  std::string_view tag;  // "in " + module and procedure + " "
  std::int32_t line;
  std::string_view description;
};

class Ui {
 public:
  virtual ~Ui() = default;

  // Shows a modal message box and returns when the user has answered it. Line breaks in
  // `text` are "\r\n" or a lone "\r"; implementations break the line at either.
  virtual MessageAnswer messageBox(const std::string& title, const std::string& text, MessageIcon icon,
                                   MessageButtons buttons) = 0;
  // Shows a guarded procedure's failure report: by default the box titled `title` with the
  // whole report `text` (exclamation icon, OK); an interface without windows may show
  // `parts` its own way.
  virtual void showProcedureFailure(const std::string& title, const std::string& text,
                                    const ProcedureFailure& parts) {
    (void)parts;
    messageBox(title, text, MessageIcon::Exclamation, MessageButtons::Ok);
  }
  // Lets the event loop process pending window events, then returns.
  virtual void yield() = 0;
  // Sets the main window's mouse pointer (kPointerDefault, kPointerHourglass).
  virtual void setPointer(int pointer) = 0;

  // The caption of every message box that names no title of its own.
  const std::string& applicationTitle() const { return applicationTitle_; }
  void setApplicationTitle(std::string title) { applicationTitle_ = std::move(title); }

  // An information box with the application title and a single OK button.
  void inform(const std::string& text) { messageBox(applicationTitle_, text, MessageIcon::None, MessageButtons::Ok); }

 private:
  std::string applicationTitle_ = "Tablewright";
};

}  // namespace tw
