#include "app/dialogs/form6_logic.h"

#include <stdexcept>

#include "common/guard.h"
#include "db/access.h"

namespace tw {

std::string CreateContainerQuestion(const std::string& path) {
  return "The database container " + path + " does not exist." + "\r\n" + "\r\n" + "Would you like to create it?";
}

void Form6Logic::setText1(const std::string& text) {
  if (text == text1_) return;
  text1_ = text;
  view_.showText1();
  // The change handler has no guard: a failed write is told once and the dialog goes on.
  try {
    services_.settings.write("DBCFile", text1_);
    settingsFailureTold_ = false;
  } catch (const std::exception& e) {
    if (settingsFailureTold_) return;
    settingsFailureTold_ = true;
    services_.ui.inform(std::string("Your choices cannot be kept for the next start.\r\n\r\n") + e.what());
  }
}

void Form6Logic::Form_Load() {
  Guard guard(services_.ui, ProcedureTag("Form6.Form_Load"));
  const std::string pointer = services_.programFolder + kHandPointerFile;
  guard(100, [&] { view_.applyFormBackColor(); });
  guard(102, [&] { view_.setApplicationIcon(); });
  if (guard.test(104, [&] { return FileExists(pointer); })) guard(106, [&] { view_.loadPointerImage(pointer); });
  guard(108, [&] { setText1(services_.settings.read("DBCFile", "")); });
}

void Form6Logic::PushButton5_Click() {
  Guard guard(services_.ui, ProcedureTag("Form6.PushButton5_Click"));
  std::string fileName;
  guard(100, [&] { fileName.clear(); });
  guard(108, [&] {
    fileName = services_.dialogs.openFile("Select Foxpro Database", "Microsoft Database (*.dbc)|*.dbc|", fileName);
  });
  if (guard.test(110, [&] { return !fileName.empty(); })) guard(112, [&] { setText1(fileName); });
}

void Form6Logic::PushButton1_Click() {
  Guard guard(services_.ui, ProcedureTag("Form6.PushButton1_Click"));
  if (guard.test(
          100, [&] { return !text1_.empty(); }, false)) {
    if (guard.test(
            102, [&] { return !FileExists(text1_); }, false)) {
      bool create = false;
      guard(104, [&] {
        create = services_.ui.messageBox(services_.ui.applicationTitle(), CreateContainerQuestion(text1_),
                                         MessageIcon::Question, MessageButtons::YesNo) == MessageAnswer::Yes;
      });
      if (create)
        guard(106, [&] {
          if (!services_.createContainer)
            throw std::runtime_error("Creating a database container is not available yet.");
          services_.createContainer(text1_);
        });
    }
    guard(108, [&] { main_.setOptionDBC1(true); });
    guard(110, [&] { main_.setDBCPath1(text1_); });
    guard(112, [&] { services_.settings.write("FoxproOption", "1"); });
  }
  guard(114, [&] { view_.close(); });
}

void Form6Logic::PushButton2_Click() {
  Guard guard(services_.ui, ProcedureTag("Form6.PushButton2_Click"));
  guard(100, [&] { services_.settings.write("FoxproOption", "2"); });
  guard(102, [&] { main_.setOptionDBC1(false); });
  guard(104, [&] { view_.close(); });
}

}  // namespace tw
