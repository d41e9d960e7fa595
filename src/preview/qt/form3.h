// The Find and Replace dialog: "Find what:" and "Replace with:", and a Replace that changes
// the first occurrence (letter case ignored) in every line of the SQL Preview window's list.
// A thin window over `FindAndReplace`; both boxes start empty at every opening.
#pragma once

#include <QDialog>

#include <memory>
#include <string>

#include "preview/find_and_replace.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace tw {

class BusyPointer;
class QtUi;

class Form3 : public QDialog, public FindAndReplaceView {
 public:
  // `ui` answers message boxes and yields; null: Qt boxes owned by this dialog.
  Form3(StatementList& lines, Ui* ui = nullptr, QWidget* owner = nullptr,
        const std::string& applicationTitle = "Tablewright");
  ~Form3() override;

  FindAndReplace& logic() { return logic_; }

  void setBusy(bool busy) override;
  void closeDialog() override;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  void Form_Load();

  std::unique_ptr<QtUi> ownUi_;
  Ui& ui_;
  FindAndReplace logic_;
  std::unique_ptr<BusyPointer> busyPointer_;

  QLabel* Label1;
  QLineEdit* Text1;  // search text
  QLabel* Label2;
  QLineEdit* Text2;          // replacement text
  QPushButton* PushButton2;  // Replace
  QPushButton* PushButton1;  // Cancel
};

}  // namespace tw
