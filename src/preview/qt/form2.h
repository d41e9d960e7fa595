// The SQL Preview window: the statement list of a conversion run, shown before anything is
// executed, with the buttons that execute it, copy it, edit it, skip the table or go back,
// and the error panel of the last rejected statement.
//
// The window only displays its `PreviewSession`; every button hands over to it. It is
// created for one showing and discarded when it closes (a fresh window has an empty error
// text and ErrorLine 0). Controls keep their designer names as object names (PushButton1,
// ListView1, Text1, Frame2, ProgressBar1).
#pragma once

#include <QDialog>

#include <memory>

#include "platform/clipboard.h"
#include "platform/shell.h"
#include "platform/ui.h"
#include "preview/preview_session.h"
#include "preview/statement_list_model.h"

class QGroupBox;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTreeView;

namespace tw {

class BusyPointer;
class QtUi;

class Form2 : public QDialog, public PreviewView {
 public:
  // `ui` answers the window's message boxes and yields; null: Qt boxes owned by this window,
  // titled `applicationTitle`. The dialogs opened from here use the same `ui`.
  Form2(ConversionState& state, Clipboard& clipboard, Shell& shell, Ui* ui = nullptr, QWidget* owner = nullptr,
        const std::string& applicationTitle = "Tablewright");
  ~Form2() override;

  PreviewSession& session() { return session_; }
  QTreeView* list() const { return ListView1; }

  // PreviewView
  void showProgress(double value, const std::string& text) override;
  void selectLine(std::int32_t line) override;
  void showErrorText(const std::string& text) override;
  void setBusy(bool busy) override;
  void linesChanged(std::int32_t first, std::int32_t last) override;
  void closeWindow() override;

 protected:
  // The close box acts as "< Back", and does nothing while a pass runs.
  void closeEvent(QCloseEvent* event) override;
  void reject() override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The constructor's steps: the controls in tab order, the statement list's settings, the
  // layout, the buttons' handlers.
  void createControls();
  void setUpList();
  void layOut();
  void connectControls();
  void Form_Load();
  void PushButton3_Click();  // Find and Replace
  void PushButton7_Click();  // View Datatype Conversion
  void ListView1_Click();    // Edit Line for the selected line

  Ui* injectedUi_;
  std::unique_ptr<QtUi> ownUi_;
  Ui& ui_;
  std::string applicationTitle_;
  PreviewSession session_;
  StatementListModel model_;
  std::unique_ptr<BusyPointer> busyPointer_;

  QPushButton* PushButton5;  // < Back
  QPushButton* PushButton9;  // Skip Table / Do Not Execute SQL
  QTreeView* ListView1;
  QPushButton* PushButton1;  // Execute SQL
  QPushButton* PushButton3;  // Find and Replace
  QPushButton* PushButton2;  // Copy SQL To Clipboard
  QGroupBox* Frame2;
  QPlainTextEdit* Text1;
  QPushButton* PushButton6;  // Jump To Error Line
  QPushButton* PushButton4;  // Copy Error Message To Clipboard
  QPushButton* PushButton8;  // Email Error Message
  QPushButton* PushButton7;  // View Datatype Conversion
  QProgressBar* ProgressBar1;
};

}  // namespace tw
