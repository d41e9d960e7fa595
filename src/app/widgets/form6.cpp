#include "app/widgets/form6.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>

#include "app/widgets/twips.h"
#include "platform/qt/qt_appearance.h"

namespace tw {

Form6::Form6(Form6Services services, Form1Logic& mainWindow, QWidget* parent) : QDialog(parent), pointer_(this) {
  logic_ = std::make_unique<Form6Logic>(std::move(services), mainWindow, *this);
  setObjectName(QStringLiteral("Form6"));
  setWindowTitle(QStringLiteral("Advanced Options"));
  setModal(true);
  double dpi = 96;
  if (QScreen* s = QGuiApplication::primaryScreen()) dpi = s->logicalDotsPerInch();
  if (parent) setFont(parent->font());
  setFixedSize(TwipsToPixels(8040, dpi), TwipsToPixels(1650, dpi));
  setMouseTracking(true);

  auto* frame2 = new QGroupBox(QStringLiteral("Advanced Option"), this);
  frame2->setObjectName(QStringLiteral("Frame2"));
  PlaceInTwips(*frame2, 120, 120, 7800, 885, dpi);
  auto* label1 = new QLabel(QStringLiteral("DBC File:"), frame2);
  label1->setObjectName(QStringLiteral("Label1"));
  PlaceInTwips(*label1, 240, 360, 735, 225, dpi);
  text1_ = new QLineEdit(frame2);
  text1_->setObjectName(QStringLiteral("Text1"));
  text1_->setAccessibleName(QStringLiteral("DBC File"));
  label1->setBuddy(text1_);
  PlaceInTwips(*text1_, 1080, 330, 5775, 345, dpi);
  auto* browse = new QPushButton(QStringLiteral("..."), frame2);
  browse->setObjectName(QStringLiteral("PushButton5"));
  browse->setAccessibleDescription(QStringLiteral("Choose the FoxPro database container file"));
  PlaceInTwips(*browse, 6960, 330, 600, 345, dpi);
  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("PushButton1"));
  PlaceInTwips(*ok, 120, 1130, 3840, 405, dpi);
  auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
  cancel->setObjectName(QStringLiteral("PushButton2"));
  PlaceInTwips(*cancel, 4080, 1130, 3840, 405, dpi);
  for (QPushButton* b : {browse, ok, cancel}) b->setAutoDefault(false);

  for (QWidget* w : std::initializer_list<QWidget*>{frame2, text1_, browse, ok, cancel}) {
    w->setMouseTracking(true);
    w->installEventFilter(this);
  }

  Form6Logic& logic = *logic_;
  connect(browse, &QPushButton::clicked, this, [&logic] { logic.PushButton5_Click(); });
  connect(ok, &QPushButton::clicked, this, [&logic] { logic.PushButton1_Click(); });
  connect(cancel, &QPushButton::clicked, this, [&logic] { logic.PushButton2_Click(); });
  // Every change of the path reaches the logic (typing, paste, a drop, assistive
  // technology), except the logic's own.
  connect(text1_, &QLineEdit::textChanged, this, [this, &logic](const QString& t) {
    if (!showing_) logic.setText1(t.toStdString());
  });
}

Form6::~Form6() = default;

void Form6::showText1() {
  QString shown = QString::fromStdString(logic_->Text1());
  showing_ = true;
  if (text1_->text() != shown) text1_->setText(shown);
  showing_ = false;
}

void Form6::applyFormBackColor() { ApplyFormBackColor(*this); }

void Form6::setApplicationIcon() {
  if (!QApplication::windowIcon().isNull()) setWindowIcon(QApplication::windowIcon());
}

void Form6::loadPointerImage(const std::string& cursorFile) { pointer_.setCustomPointer(LoadCursorFile(cursorFile)); }

bool Form6::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseMove) {
    if (qobject_cast<QPushButton*>(watched)) {
      pointer_.hoverButton();
    } else if (auto* frame = qobject_cast<QGroupBox*>(watched)) {
      if (!frame->childAt(static_cast<QMouseEvent*>(event)->position().toPoint())) pointer_.hoverSurface();
    } else if (qobject_cast<QLineEdit*>(watched)) {
      pointer_.hoverSurface();
    }
  } else if (event->type() == QEvent::FocusIn) {
    if (auto* edit = qobject_cast<QLineEdit*>(watched)) edit->selectAll();
  }
  return QDialog::eventFilter(watched, event);
}

void Form6::mouseMoveEvent(QMouseEvent* event) {
  if (!childAt(event->position().toPoint())) pointer_.hoverSurface();
  QDialog::mouseMoveEvent(event);
}

}  // namespace tw
