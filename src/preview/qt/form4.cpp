#include "preview/qt/form4.h"

#include <QApplication>
#include <QFocusEvent>
#include <QGridLayout>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>

#include "common/guard.h"
#include "platform/qt/qt_appearance.h"
#include "platform/qt/qt_ui.h"
#include "preview/preview_session.h"
#include "preview/qt/window_look.h"

namespace tw {

Form4::Form4(PreviewSession& session, Ui* ui, QWidget* owner, const std::string& applicationTitle)
    : QDialog(owner),
      session_(session),
      ownUi_(ui ? nullptr : std::make_unique<QtUi>(this)),
      ui_(ui ? *ui : *ownUi_) {
  if (ownUi_) ownUi_->setApplicationTitle(applicationTitle);
  setObjectName("Form4");
  setModal(true);

  Text1 = new QPlainTextEdit(this);
  Text1->setObjectName("Text1");
  Text1->setAccessibleName("Statement");
  Text1->setTabChangesFocus(true);
  Text1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  Text1->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  Text1->installEventFilter(this);
  PushButton2 = new QPushButton("OK", this);
  PushButton2->setObjectName("PushButton2");
  PushButton2->setAccessibleName("OK");
  PushButton1 = new QPushButton("Cancel", this);
  PushButton1->setObjectName("PushButton1");
  PushButton1->setAccessibleName("Cancel");
  PushButton1->setAutoDefault(false);

  Text1->setMinimumSize(Twips(this, 7800), Twips(this, 1905));
  PushButton1->setMinimumHeight(Twips(this, 405));
  PushButton2->setMinimumHeight(Twips(this, 405));
  auto* grid = new QGridLayout(this);
  const int margin = Twips(this, 120);
  grid->setContentsMargins(margin, margin, margin, margin);
  grid->addWidget(Text1, 0, 0, 1, 2);
  grid->addWidget(PushButton2, 1, 0);
  grid->addWidget(PushButton1, 1, 1);
  grid->setRowStretch(0, 1);

  connect(PushButton2, &QPushButton::clicked, this, [this] { PushButton2_Click(); });
  connect(PushButton1, &QPushButton::clicked, this, [this] { PushButton1_Click(); });

  Form_Load();
}

Form4::~Form4() = default;

void Form4::Form_Load() {
  Guard guard(ui_, ProcedureTag("Form4.Form_Load"));
  guard(100, [&] { ApplyFormBackColor(*this); });
  guard(102, [&] { setWindowIcon(QApplication::windowIcon()); });
  guard(104, [&] { setWindowTitle("Edit Line - Tablewright"); });
  guard(106, [&] { UseHandOverButtons(this); });
}

void Form4::setText(const QString& text) { Text1->setPlainText(text); }

void Form4::PushButton2_Click() {
  Guard guard(ui_, ProcedureTag("Form4.PushButton2_Click"));
  guard(100, [&] { session_.replaceLine(listLine_, Text1->toPlainText().toStdString()); });
  guard(102, [&] { done(QDialog::Accepted); });
}

void Form4::PushButton1_Click() {
  Guard guard(ui_, ProcedureTag("Form4.PushButton1_Click"));
  guard(100, [&] { done(QDialog::Rejected); });
}

bool Form4::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Text1) {
    // Whenever the box gets the focus its whole text is selected, so typing replaces it.
    if (event->type() == QEvent::FocusIn) {
      const bool result = QDialog::eventFilter(watched, event);
      Text1->selectAll();
      return result;
    }
    if (event->type() == QEvent::KeyPress) {
      auto* key = static_cast<QKeyEvent*>(event);
      if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
        PushButton2_Click();
        return true;
      }
    }
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace tw
