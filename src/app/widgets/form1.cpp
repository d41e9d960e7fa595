#include "app/widgets/form1.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMimeData>
#include <QMouseEvent>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

#include "app/widgets/caption_progress_bar.h"
#include "app/widgets/enter_clicks_button.h"
#include "app/widgets/form6.h"
#include "app/widgets/twips.h"
#include "platform/qt/qt_appearance.h"

namespace tw {

namespace {
QString q(const std::string& text) { return QString::fromStdString(text); }

// The window's own style, with typed passwords shown as asterisks.
class AsteriskPasswordStyle : public QProxyStyle {
 public:
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* returnData) const override {
    if (hint == SH_LineEdit_PasswordCharacter) return '*';
    return QProxyStyle::styleHint(hint, option, widget, returnData);
  }
};

// The window font: Arial, which fontconfig maps to Liberation Sans where Arial is absent.
QFont captionFont() {
  QFont font(QStringLiteral("Arial"));
  font.setStyleHint(QFont::SansSerif);
  font.setPointSizeF(8.25);
  return font;
}
}  // namespace

Form1::Form1(Form1Services services, QtUi& ui, QWidget* parent) : QMainWindow(parent), services_(services), ui_(ui) {
  logic_ = std::make_unique<Form1Logic>(std::move(services), *this);
  ui_.setWindow(this);
  build();
  // Enter on a focused button, here and in the windows opened over this one.
  QCoreApplication::instance()->installEventFilter(new EnterClicksButton(this));
}

Form1::~Form1() {
  if (ui_.window() == this) ui_.setWindow(nullptr);
}

QGroupBox* Form1::frame(const char* name, const char* caption, int l, int t, int w, int h) {
  auto* box = new QGroupBox(QString::fromUtf8(caption), client_);
  box->setObjectName(QString::fromUtf8(name));
  PlaceInTwips(*box, l, t, w, h, dpi_);
  box->setMouseTracking(true);
  box->installEventFilter(this);
  hover_[box] = [this] { ui_.hoverSurface(); };
  return box;
}

QPushButton* Form1::button(QWidget* parent, const char* name, const char* caption, int l, int t, int w, int h) {
  auto* b = new QPushButton(QString::fromUtf8(caption), parent);
  b->setObjectName(QString::fromUtf8(name));
  b->setAutoDefault(false);
  PlaceInTwips(*b, l, t, w, h, dpi_);
  b->setMouseTracking(true);
  b->installEventFilter(this);
  hover_[b] = [this] { ui_.hoverButton(); };
  return b;
}

QLabel* Form1::label(QWidget* parent, const char* name, const char* caption, int l, int t, int w, int h) {
  auto* lab = new QLabel(QString::fromUtf8(caption), parent);
  lab->setObjectName(QString::fromUtf8(name));
  PlaceInTwips(*lab, l, t, w, h, dpi_);
  return lab;
}

QLineEdit* Form1::field(QWidget* parent, const char* name, QLabel* buddy, int l, int t, int w, int h) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(QString::fromUtf8(name));
  PlaceInTwips(*edit, l, t, w, h, dpi_);
  buddy->setBuddy(edit);
  edit->setAccessibleName(buddy->text().remove(QLatin1Char(':')).trimmed());
  edit->setMouseTracking(true);
  edit->installEventFilter(this);
  hover_[edit] = [this] { ui_.hoverSurface(); };
  return edit;
}

void Form1::build() {
  setObjectName(QStringLiteral("Form1"));
  if (QScreen* screen = QGuiApplication::primaryScreen()) dpi_ = screen->logicalDotsPerInch();
  setFont(captionFont());
  // The client area: the designer's 8040 x 6360 twips, grown by the native-tables row.
  setFixedSize(TwipsToPixels(8040, dpi_), TwipsToPixels(6735, dpi_));
  client_ = new QWidget(this);
  client_->setMouseTracking(true);
  client_->installEventFilter(this);
  hover_[client_] = [this] { ui_.hoverSurface(); };
  setCentralWidget(client_);
  setAcceptDrops(true);
  Form1Logic& logic = *logic_;

  QPushButton* help = button(client_, "PushButton5", "Help", 120, 120, 7800, 405);
  connect(help, &QPushButton::clicked, this, [&logic] { logic.PushButton5_Click(); });
  buildAccessFrame();
  buildFoxProFrame();
  buildPreviewFrame();
  buildNativeRow();
  QPushButton* start = button(client_, "PushButton7", "Start Converting", 120, 5670, 7800, 405);
  connect(start, &QPushButton::clicked, this, [this] { startConverting(); });
  progressBar1_ = new CaptionProgressBar(client_);
  progressBar1_->setObjectName(QStringLiteral("ProgressBar1"));
  progressBar1_->setAccessibleName(QStringLiteral("Progress"));
  PlaceInTwips(*progressBar1_, 120, 6195, 7800, 405, dpi_);
  buildWorkLists();

  // Show the logic's initial state.
  for (Field f : {Field::Text5, Field::Text6, Field::Text2, Field::Check1, Field::Check2, Field::Options,
                  Field::OptionsEnabled, Field::Progress})
    showField(f);
}

void Form1::buildAccessFrame() {
  Form1Logic& logic = *logic_;
  QGroupBox* frame1 = frame("Frame1", "Access Database", 120, 630, 7800, 1845);
  QLabel* label5 = label(frame1, "Label5", "MDB or ACCDB File:", 240, 345, 1935, 255);
  text5_ = field(frame1, "Text5", label5, 2280, 300, 4455, 345);
  QPushButton* browseAccess = button(frame1, "PushButton1", "...", 6840, 300, 690, 345);
  browseAccess->setAccessibleDescription(QStringLiteral("Choose the Access database file"));
  QLabel* passwordLabel = label(frame1, "lblPassword", "Password (if required):", 240, 840, 1950, 225);
  text6_ = field(frame1, "Text6", passwordLabel, 2280, 800, 5265, 345);
  text6_->setEchoMode(QLineEdit::Password);
  auto* asterisks = new AsteriskPasswordStyle;
  asterisks->setParent(text6_);
  text6_->setStyle(asterisks);
  QPushButton* sampleAccess = button(frame1, "PushButton4", "Load Sample/Example Database", 240, 1260, 7275, 405);
  sampleAccess->setAccessibleDescription(QStringLiteral("Use the sample Access database"));

  connect(browseAccess, &QPushButton::clicked, this, [&logic] { logic.PushButton1_Click(); });
  connect(sampleAccess, &QPushButton::clicked, this, [&logic] { logic.PushButton4_Click(); });
  connect(text5_, &QLineEdit::textChanged, this, [this, &logic](const QString& t) {
    if (!showing_) logic.setText5(t.toStdString());
  });
  connect(text6_, &QLineEdit::textChanged, this, [this, &logic](const QString& t) {
    if (!showing_) logic.setText6(t.toStdString());
  });
}

void Form1::buildFoxProFrame() {
  Form1Logic& logic = *logic_;
  QGroupBox* frame3 = frame("Frame3", "FoxPro Login", 120, 2580, 7800, 1425);
  QLabel* label1 = label(frame3, "Label1", "Folder containing DBF/s:", 240, 330, 2025, 225);
  text2_ = field(frame3, "Text2", label1, 2400, 270, 4455, 345);
  QPushButton* browseFolder = button(frame3, "PushButton2", "...", 6960, 270, 600, 345);
  browseFolder->setAccessibleDescription(QStringLiteral("Choose the folder of FoxPro tables"));
  QPushButton* sampleFolder = button(frame3, "PushButton3", "Load Sample/Example Database", 240, 750, 3600, 405);
  sampleFolder->setAccessibleDescription(QStringLiteral("Use the sample folder as the FoxPro destination"));
  QPushButton* test = button(frame3, "PushButton8", "Test Connection", 3960, 750, 2880, 405);
  QPushButton* dbc = button(frame3, "PushButton12", "dbc", 6960, 750, 600, 405);
  dbc->setAccessibleDescription(QStringLiteral("Advanced Options: a FoxPro database container as the destination"));

  connect(browseFolder, &QPushButton::clicked, this, [&logic] { logic.PushButton2_Click(); });
  connect(sampleFolder, &QPushButton::clicked, this, [&logic] { logic.PushButton3_Click(); });
  connect(test, &QPushButton::clicked, this, [&logic] { logic.PushButton8_Click(); });
  connect(dbc, &QPushButton::clicked, this, [&logic] { logic.PushButton12_Click(); });
  connect(text2_, &QLineEdit::textChanged, this, [this, &logic](const QString& t) {
    if (!showing_) logic.setText2(t.toStdString());
  });
}

void Form1::buildPreviewFrame() {
  Form1Logic& logic = *logic_;
  QGroupBox* frame2 = frame("Frame2", "SQL Preview", 120, 4110, 7800, 1065);
  check1_ = new QCheckBox(QStringLiteral("Enable SQL Preview mode to see SQL commands or check for errors"), frame2);
  check1_->setObjectName(QStringLiteral("Check1"));
  PlaceInTwips(*check1_, 240, 300, 6735, 255, dpi_);
  option1_ = new QRadioButton(QStringLiteral("Show SQL Preview For Each File"), frame2);
  option1_->setObjectName(QStringLiteral("Option1"));
  PlaceInTwips(*option1_, 240, 630, 3135, 255, dpi_);
  option2_ = new QRadioButton(QStringLiteral("Show SQL Preview For Each Table"), frame2);
  option2_->setObjectName(QStringLiteral("Option2"));
  PlaceInTwips(*option2_, 3600, 630, 3375, 255, dpi_);

  connect(check1_, &QCheckBox::toggled, this, [this, &logic](bool on) {
    if (!showing_) logic.setCheck1(on ? 1 : 0);
  });
  // The option that turns on acts; the one that turns off follows the group.
  connect(option1_, &QRadioButton::toggled, this, [this, &logic](bool on) {
    if (on && !showing_) logic.setOption1(true);
  });
  connect(option2_, &QRadioButton::toggled, this, [this, &logic](bool on) {
    if (on && !showing_) logic.setOption2(true);
  });
}

// A row of its own below the SQL Preview frame.
void Form1::buildNativeRow() {
  Form1Logic& logic = *logic_;
  check2_ = new QCheckBox(QStringLiteral("Keep Access field types, keys and indexes"), client_);
  check2_->setObjectName(QStringLiteral("Check2"));
  PlaceInTwips(*check2_, 120, 5295, 7800, 255, dpi_);
  connect(check2_, &QCheckBox::toggled, this, [this, &logic](bool on) {
    if (!showing_) logic.setCheck2(on ? 1 : 0);
  });
}

void Form1::startConverting() {
  logic_->PushButton7_Click();
  // The window was closed during the run and the user chose to stop it: the run has shown
  // its last box, and the window now closes.
  if (logic_->stopRequested()) close();
}

// The two work lists sit below the client area and are never seen.
void Form1::buildWorkLists() {
  Form1Logic& logic = *logic_;
  list1_ = new QListView(client_);
  list1_->setObjectName(QStringLiteral("List1"));
  list1_->setAccessibleName(QStringLiteral("Tables in the FoxPro destination"));
  list1_->setModel(&logic.list1Model());
  list1_->setUniformItemSizes(true);
  PlaceInTwips(*list1_, 120, 8820, 3800, 1000, dpi_);
  list1_->hide();
  list2_ = new QListView(client_);
  list2_->setObjectName(QStringLiteral("List2"));
  list2_->setAccessibleName(QStringLiteral("Access tables of the current run"));
  list2_->setModel(&logic.list2Model());
  list2_->setUniformItemSizes(true);
  PlaceInTwips(*list2_, 4120, 8820, 3800, 1000, dpi_);
  list2_->hide();
}

void Form1::showField(Field f) {
  const Form1Logic& logic = *logic_;
  const bool wasShowing = showing_;
  showing_ = true;
  auto setText = [](QLineEdit* edit, const std::string& text) {
    QString shown = q(text);
    if (edit->text() != shown) edit->setText(shown);
  };
  switch (f) {
    case Field::Text5: setText(text5_, logic.Text5()); break;
    case Field::Text6: setText(text6_, logic.Text6()); break;
    case Field::Text2: setText(text2_, logic.Text2()); break;
    case Field::Check1: check1_->setChecked(logic.Check1() == 1); break;
    case Field::Check2: check2_->setChecked(logic.Check2() == 1); break;
    case Field::Options:
      if (logic.Option1()) option1_->setChecked(true);
      if (logic.Option2()) option2_->setChecked(true);
      break;
    case Field::OptionsEnabled:
      option1_->setEnabled(logic.optionsEnabled());
      option2_->setEnabled(logic.optionsEnabled());
      break;
    case Field::Progress:
      progressBar1_->setCaption(q(logic.progressCaption()));
      progressBar1_->setValue(logic.progressValue());
      break;
  }
  showing_ = wasShowing;
}

void Form1::applySkin(const std::string& skinFile) {
  if (!QFileInfo::exists(q(skinFile))) return;
  ApplySkinFile(*this, skinFile);
}

void Form1::loadPointerImage(const std::string& cursorFile) { ui_.setCustomPointer(LoadCursorFile(cursorFile)); }

void Form1::setCaption(const std::string& caption) { setWindowTitle(q(caption)); }

void Form1::setApplicationIcon() {
  const std::string path = logic_->programFolder() + kIconFile;
  if (!QFileInfo::exists(q(path))) return;
  QIcon icon = LoadIconFile(path);
  setWindowIcon(icon);
  QApplication::setWindowIcon(icon);
}

void Form1::showAdvancedOptions() {
  Form6Services services{services_.settings, services_.ui, services_.dialogs, services_.programFolder,
                         createContainer_};
  Form6 dialog(std::move(services), *logic_, this);
  dialog.load();
  dialog.exec();
}

bool Form1::loadAndShow() {
  if (!logic_->Form_Load()) return false;
  show();
  return true;
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (type == QEvent::DragEnter || type == QEvent::DragMove || type == QEvent::Drop) {
    // Paths dropped on a text field mean what they mean on the window; plain text is the
    // field's own.
    if (qobject_cast<QLineEdit*>(watched) && handlePathDrop(event)) return true;
  } else if (type == QEvent::MouseMove) {
    auto it = hover_.find(watched);
    if (it != hover_.end()) {
      // A move over a child without a handler of its own (a label, an option) reaches its
      // frame too; only moves over the frame's own surface count for the frame.
      auto* widget = static_cast<QWidget*>(watched);
      auto* move = static_cast<QMouseEvent*>(event);
      if ((qobject_cast<QGroupBox*>(widget) || widget == client_) && widget->childAt(move->position().toPoint()))
        return false;
      it->second();
    }
  } else if (event->type() == QEvent::FocusIn) {
    if (auto* edit = qobject_cast<QLineEdit*>(watched)) edit->selectAll();
  }
  return QMainWindow::eventFilter(watched, event);
}

void Form1::closeEvent(QCloseEvent* event) {
  // During a run the user is asked whether to stop it; the window closes when it has
  // stopped (startConverting).
  if (!logic_->Form_QueryUnload()) {
    event->ignore();
    return;
  }
  event->accept();
  // Closing the main window ends the program, whatever other windows are open.
  QCoreApplication::quit();
}

std::vector<std::string> Form1::droppedPaths(const QMimeData* data) {
  std::vector<std::string> paths;
  if (!data || !data->hasUrls()) return paths;
  for (const QUrl& url : data->urls()) {
    if (!url.isLocalFile()) return {};
    std::string path = url.toLocalFile().toStdString();
    if (path.size() > 1 && path.back() == '/') path.pop_back();
    if (KindOfPath(path) == PathKind::Other) return {};
    paths.push_back(path);
  }
  return paths;
}

bool Form1::handlePathDrop(QEvent* event) {
  auto* drop = static_cast<QDropEvent*>(event);  // QDragEnterEvent and QDragMoveEvent are drops too
  if (!drop->mimeData() || !drop->mimeData()->hasUrls()) return false;
  const std::vector<std::string> paths = droppedPaths(drop->mimeData());
  if (paths.empty()) {
    drop->ignore();
    return true;
  }
  drop->setDropAction(Qt::CopyAction);
  drop->accept();
  if (event->type() == QEvent::Drop)
    for (const std::string& path : paths) logic_->OpenPath(path);
  return true;
}

void Form1::dragEnterEvent(QDragEnterEvent* event) {
  if (!handlePathDrop(event)) event->ignore();
}

void Form1::dropEvent(QDropEvent* event) {
  if (!handlePathDrop(event)) event->ignore();
}

}  // namespace tw
