// The Advanced Options dialog: the database container path with its browse button, OK
// and Cancel, at their fixed places; shows a `Form6Logic`. Modal over the main window.
#pragma once

#include <memory>

#include <QDialog>

#include "app/dialogs/form6_logic.h"
#include "platform/qt/qt_ui.h"

class QLineEdit;

namespace tw {

class Form6 : public QDialog, public Form6View {
 public:
  Form6(Form6Services services, Form1Logic& mainWindow, QWidget* parent = nullptr);
  ~Form6() override;

  Form6Logic& logic() { return *logic_; }
  // The load steps (run once, before the dialog is shown).
  void load() { logic_->Form_Load(); }

  // Form6View
  void showText1() override;
  void applyFormBackColor() override;
  void setApplicationIcon() override;
  void loadPointerImage(const std::string& cursorFile) override;
  void close() override { accept(); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  std::unique_ptr<Form6Logic> logic_;
  // This dialog's own pointer state (hand over its buttons).
  QtUi pointer_;
  QLineEdit* text1_ = nullptr;
  bool showing_ = false;  // Text1 shows what the logic set
};

}  // namespace tw
