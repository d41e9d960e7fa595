// The Edit Line dialog: one statement of the SQL Preview window's list in a large edit box.
// "OK" writes the text back to the same line, unchanged; "Cancel" and the close box leave
// the line as it was. Long statements wrap in the box; Enter stands for "OK", since a line
// break would split the statement.
#pragma once

#include <QDialog>

#include <cstdint>
#include <memory>
#include <string>

class QPlainTextEdit;
class QPushButton;

namespace tw {

class PreviewSession;
class QtUi;
class Ui;

class Form4 : public QDialog {
 public:
  Form4(PreviewSession& session, Ui* ui = nullptr, QWidget* owner = nullptr,
        const std::string& applicationTitle = "Tablewright");
  ~Form4() override;

  // The number (1-based) of the line being edited.
  void setListLine(std::int32_t line) { listLine_ = line; }
  std::int32_t ListLine() const { return listLine_; }
  void setText(const QString& text);

  void PushButton2_Click();  // OK
  void PushButton1_Click();  // Cancel

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Form_Load();

  PreviewSession& session_;
  std::unique_ptr<QtUi> ownUi_;
  Ui& ui_;
  std::int32_t listLine_ = 0;

  QPlainTextEdit* Text1;
  QPushButton* PushButton2;  // OK
  QPushButton* PushButton1;  // Cancel
};

}  // namespace tw
