#include "preview/qt/form3.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "common/guard.h"
#include "platform/qt/qt_appearance.h"
#include "platform/qt/qt_ui.h"
#include "preview/qt/window_look.h"

namespace tw {

Form3::Form3(StatementList& lines, Ui* ui, QWidget* owner, const std::string& applicationTitle)
    : QDialog(owner),
      ownUi_(ui ? nullptr : std::make_unique<QtUi>(this)),
      ui_(ui ? *ui : *ownUi_),
      logic_(lines, ui_, *this) {
  if (ownUi_) ownUi_->setApplicationTitle(applicationTitle);
  setObjectName("Form3");
  setModal(true);

  Label1 = new QLabel("Find what:", this);
  Label1->setObjectName("Label1");
  Text1 = new QLineEdit(this);
  Text1->setObjectName("Text1");
  Text1->setAccessibleName("Find what:");
  Label1->setBuddy(Text1);
  Label2 = new QLabel("Replace with:", this);
  Label2->setObjectName("Label2");
  Text2 = new QLineEdit(this);
  Text2->setObjectName("Text2");
  Text2->setAccessibleName("Replace with:");
  Label2->setBuddy(Text2);
  PushButton2 = new QPushButton("Replace", this);
  PushButton2->setObjectName("PushButton2");
  PushButton2->setAccessibleName("Replace");
  PushButton2->setDefault(true);
  PushButton1 = new QPushButton("Cancel", this);
  PushButton1->setObjectName("PushButton1");
  PushButton1->setAccessibleName("Cancel");
  PushButton1->setAutoDefault(false);

  const int buttonHeight = Twips(this, 405);
  PushButton1->setMinimumHeight(buttonHeight);
  PushButton2->setMinimumHeight(buttonHeight);
  Text1->setMinimumWidth(Twips(this, 6360));

  auto* grid = new QGridLayout(this);
  const int margin = Twips(this, 120);
  grid->setContentsMargins(margin, margin, margin, margin);
  grid->addWidget(Label1, 0, 0);
  grid->addWidget(Text1, 0, 1, 1, 2);
  grid->addWidget(Label2, 1, 0);
  grid->addWidget(Text2, 1, 1, 1, 2);
  grid->addWidget(PushButton2, 2, 0, 1, 2);
  grid->addWidget(PushButton1, 2, 2);

  connect(PushButton2, &QPushButton::clicked, this,
          [this] { logic_.PushButton2_Click(Text1->text().toStdString(), Text2->text().toStdString()); });
  connect(PushButton1, &QPushButton::clicked, this, [this] { logic_.PushButton1_Click(); });

  Form_Load();
}

Form3::~Form3() = default;

void Form3::Form_Load() {
  Guard guard(ui_, ProcedureTag("Form3.Form_Load"));
  guard(100, [&] { ApplyFormBackColor(*this); });
  guard(102, [&] { setWindowIcon(QApplication::windowIcon()); });
  guard(104, [&] { setWindowTitle("Find and Replace - Tablewright"); });
  guard(106, [&] { UseHandOverButtons(this); });
}

void Form3::setBusy(bool busy) {
  for (QWidget* w : std::initializer_list<QWidget*>{Text1, Text2, PushButton1, PushButton2}) w->setEnabled(!busy);
  if (busy && !busyPointer_) busyPointer_ = std::make_unique<BusyPointer>();
  if (!busy) busyPointer_.reset();
}

void Form3::closeDialog() { done(QDialog::Accepted); }

void Form3::closeEvent(QCloseEvent* event) {
  if (logic_.busy()) {
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

void Form3::reject() {
  if (logic_.busy()) return;
  QDialog::reject();
}

}  // namespace tw
