// The main window: the controls at their fixed places, in Arial (or the metric-compatible
// Liberation Sans), showing a `Form1Logic` and passing the user's edits and clicks to it.
// Controls carry the designer's names as object names (PushButton7, Text5, ...).
//
// Every change of a field reaches the logic, however it was made (typing, paste, a drop of
// text, assistive technology, code): the text fields follow `textChanged`, the check boxes
// and options `toggled`; what the logic itself shows is not passed back. The window is a
// QMainWindow, a top-level window to assistive technology. An Access database, a folder or
// a .dbc file dropped on it is taken as if given on the command line. A focused button
// answers Enter, in this window and in every window opened over it.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <QMainWindow>

#include "app/dialogs/form6_logic.h"
#include "app/form1_logic.h"
#include "platform/qt/qt_ui.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QMimeData;
class QLineEdit;
class QListView;
class QPushButton;
class QRadioButton;

namespace tw {

class CaptionProgressBar;

class Form1 : public QMainWindow, public Form1View {
 public:
  // `services.ui` must be `ui`: the window's pointer and message boxes go through it.
  Form1(Form1Services services, QtUi& ui, QWidget* parent = nullptr);
  ~Form1() override;

  Form1Logic& logic() { return *logic_; }
  // How the Advanced Options dialog creates a new database container.
  void setCreateContainer(CreateContainer create) { createContainer_ = std::move(create); }
  // Runs the load sequence; shows the window and returns true unless the program must end.
  bool loadAndShow();

  // Form1View
  void showField(Field field) override;
  void applySkin(const std::string& skinFile) override;
  void loadPointerImage(const std::string& cursorFile) override;
  void setCaption(const std::string& caption) override;
  void setApplicationIcon() override;
  void showAdvancedOptions() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void build();
  // The controls of each frame, and the hidden work lists, with their signals connected.
  void buildAccessFrame();
  void buildFoxProFrame();
  void buildPreviewFrame();
  void buildNativeRow();
  // "Start Converting": the run, then the close a stop was asked for.
  void startConverting();
  // A drop's paths, when each is something the window takes (see KindOfPath); else none.
  static std::vector<std::string> droppedPaths(const QMimeData* data);
  // A drag or drop over the window or a text field; true when it was about paths.
  bool handlePathDrop(QEvent* event);
  void buildWorkLists();
  QPushButton* button(QWidget* parent, const char* name, const char* caption, int l, int t, int w, int h);
  QLineEdit* field(QWidget* parent, const char* name, QLabel* buddy, int l, int t, int w, int h);
  QLabel* label(QWidget* parent, const char* name, const char* caption, int l, int t, int w, int h);
  QGroupBox* frame(const char* name, const char* caption, int l, int t, int w, int h);

  std::unique_ptr<Form1Logic> logic_;
  QWidget* client_ = nullptr;  // the central widget: the client area, holding every control
  Form1Services services_;
  QtUi& ui_;
  CreateContainer createContainer_;
  double dpi_ = 96;
  QLineEdit* text5_ = nullptr;
  QLineEdit* text6_ = nullptr;
  QLineEdit* text2_ = nullptr;
  QCheckBox* check1_ = nullptr;
  QRadioButton* option1_ = nullptr;
  QRadioButton* option2_ = nullptr;
  QCheckBox* check2_ = nullptr;
  // True while a field shows what the logic set: its change signal is not passed back.
  bool showing_ = false;
  CaptionProgressBar* progressBar1_ = nullptr;
  QListView* list1_ = nullptr;
  QListView* list2_ = nullptr;
  std::map<QObject*, std::function<void()>> hover_;
};

}  // namespace tw
