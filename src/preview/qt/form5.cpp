#include "preview/qt/form5.h"

#include <QApplication>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

#include "common/guard.h"
#include "platform/qt/qt_appearance.h"
#include "platform/qt/qt_ui.h"
#include "preview/qt/window_look.h"

namespace tw {

Form5::Form5(const std::vector<FieldConversionRow>& rows, Ui* ui, QWidget* owner, const std::string& applicationTitle)
    : QDialog(owner), ownUi_(ui ? nullptr : std::make_unique<QtUi>(this)), ui_(ui ? *ui : *ownUi_), model_(rows) {
  if (ownUi_) ownUi_->setApplicationTitle(applicationTitle);
  setObjectName("Form5");
  setModal(true);

  PushButton5 = new QPushButton("< Back", this);
  PushButton5->setObjectName("PushButton5");
  PushButton5->setAccessibleName("< Back");
  PushButton5->setMinimumHeight(Twips(this, 405));
  ListView1 = new QTreeView(this);
  ListView1->setObjectName("ListView1");
  ListView1->setAccessibleName("Datatypes Conversion");
  ListView1->setToolTip("Click item to edit it. Move | line to right and out of window to reveal full names.");
  ShowAsRowList(ListView1, &model_);
  ListView1->setMinimumHeight(Twips(this, 2000));

  auto* layout = new QVBoxLayout(this);
  const int margin = Twips(this, 120);
  layout->setContentsMargins(margin, margin, margin, margin);
  layout->addWidget(PushButton5);
  layout->addWidget(ListView1, 1);
  resize(Twips(this, 8040), Twips(this, 8325));

  connect(PushButton5, &QPushButton::clicked, this, [this] { PushButton5_Click(); });

  Form_Load();
}

Form5::~Form5() = default;

void Form5::Form_Load() {
  Guard guard(ui_, ProcedureTag("Form5.Form_Load"));
  guard(100, [&] { ApplyFormBackColor(*this); });
  guard(102, [&] { setWindowIcon(QApplication::windowIcon()); });
  guard(104, [&] { setWindowTitle("Datatypes Conversion - Tablewright"); });
  guard(106, [&] { UseHandOverButtons(this); });
  // The four columns come from the model; each is 1700 twips wide.
  for (int column = 0; column < 4; ++column)
    guard(110 + 2 * column, [&] { ListView1->setColumnWidth(column, Twips(this, 1700)); });
}

void Form5::PushButton5_Click() {
  Guard guard(ui_, ProcedureTag("Form5.PushButton5_Click"));
  guard(100, [&] { done(QDialog::Accepted); });
}

}  // namespace tw
