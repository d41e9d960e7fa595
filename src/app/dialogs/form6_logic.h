// The Advanced Options dialog's behaviour without any widget: the container path field,
// the browse button, OK and Cancel, and what they do to the main window's destination
// kind (`OptionDBC1`), its container path (`DBCPath1`) and the stored settings "DBCFile"
// and "FoxproOption".
//
// OK with a path that does not exist asks whether to create the database container there;
// Yes creates it through the injected `CreateContainer`, No takes the path as it is (the
// failure then shows when the connection is opened).
#pragma once

#include <functional>
#include <string>

#include "app/form1_logic.h"
#include "platform/file_dialogs.h"
#include "platform/settings.h"
#include "platform/ui.h"

namespace tw {

// Makes an empty database container at the path; throws with a description on failure.
using CreateContainer = std::function<void(const std::string& path)>;

// The question asked on OK for a container file that does not exist.
std::string CreateContainerQuestion(const std::string& path);

class Form6View {
 public:
  virtual ~Form6View() = default;
  virtual void showText1() = 0;
  // Load steps; each throws when it cannot be carried out.
  virtual void applyFormBackColor() = 0;
  virtual void setApplicationIcon() = 0;
  virtual void loadPointerImage(const std::string& cursorFile) = 0;
  // Closes the dialog (its modal show returns).
  virtual void close() = 0;
};

struct Form6Services {
  SettingsStore& settings;
  Ui& ui;
  FileDialogs& dialogs;
  std::string programFolder;
  CreateContainer createContainer;
};

class Form6Logic {
 public:
  Form6Logic(Form6Services services, Form1Logic& mainWindow, Form6View& view)
      : services_(std::move(services)), main_(mainWindow), view_(view) {}

  const std::string& Text1() const { return text1_; }
  // Assigning the path field; a different text runs the change behaviour (stores it).
  void setText1(const std::string& text);

  void Form_Load();
  void PushButton5_Click();  // "..."
  void PushButton1_Click();  // "OK"
  void PushButton2_Click();  // "Cancel"

 private:
  Form6Services services_;
  Form1Logic& main_;
  Form6View& view_;
  std::string text1_;
  bool settingsFailureTold_ = false;
};

}  // namespace tw
