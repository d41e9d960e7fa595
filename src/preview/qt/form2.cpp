#include "preview/qt/form2.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

#include "common/guard.h"
#include "platform/qt/qt_appearance.h"
#include "platform/qt/qt_ui.h"
#include "preview/qt/form3.h"
#include "preview/qt/form4.h"
#include "preview/qt/form5.h"
#include "preview/qt/window_look.h"

namespace tw {

namespace {
constexpr const char* kListTip =
    "Click item to edit it. Move | line to right and out of window to reveal full names.";

QPushButton* button(QWidget* parent, const char* name, const char* caption) {
  auto* b = new QPushButton(QString::fromUtf8(caption), parent);
  b->setObjectName(name);
  b->setAccessibleName(QString::fromUtf8(caption).trimmed());
  b->setAutoDefault(false);
  return b;
}
}  // namespace

Form2::Form2(ConversionState& state, Clipboard& clipboard, Shell& shell, Ui* ui, QWidget* owner,
             const std::string& applicationTitle)
    : QDialog(owner),
      injectedUi_(ui),
      ownUi_(ui ? nullptr : std::make_unique<QtUi>(this)),
      ui_(ui ? *ui : *ownUi_),
      applicationTitle_(applicationTitle),
      session_(state, ui_, clipboard, shell, *this),
      model_(state.statements) {
  if (ownUi_) ownUi_->setApplicationTitle(applicationTitle);
  setObjectName("Form2");
  setModal(true);
  createControls();
  setUpList();
  layOut();
  connectControls();
  Form_Load();
}

void Form2::createControls() {
  PushButton5 = button(this, "PushButton5", "< Back");
  PushButton9 = button(this, "PushButton9", "Skip Table / Do Not Execute SQL");
  ListView1 = new QTreeView(this);
  ListView1->setObjectName("ListView1");
  PushButton1 = button(this, "PushButton1", "Execute SQL");
  PushButton3 = button(this, "PushButton3", "Find and Replace");
  PushButton2 = button(this, "PushButton2", "Copy SQL To Clipboard");
  Frame2 = new QGroupBox("Error:", this);
  Frame2->setObjectName("Frame2");
  Frame2->setAccessibleName("Error:");
  Text1 = new QPlainTextEdit(Frame2);
  Text1->setObjectName("Text1");
  Text1->setAccessibleName("Error");
  Text1->setReadOnly(true);
  Text1->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  PushButton6 = button(this, "PushButton6", "Jump To Error Line");
  PushButton4 = button(this, "PushButton4", "Copy Error Message To Clipboard");
  PushButton8 = button(this, "PushButton8", " Email Error Message To Quernfield");
  PushButton7 = button(this, "PushButton7", "View Datatype Conversion");
  ProgressBar1 = new QProgressBar(this);
  ProgressBar1->setObjectName("ProgressBar1");
  ProgressBar1->setAccessibleName("Progress");
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  ProgressBar1->setTextVisible(true);
  ProgressBar1->setAlignment(Qt::AlignCenter);
  ProgressBar1->setFormat(kProgressAtRest);
}

void Form2::setUpList() {
  // The list shows one line per row at one height, so a million rows lay out at once.
  ShowAsRowList(ListView1, &model_);
  ListView1->setAccessibleName(kSqlPreviewHeader);
  ListView1->setToolTip(kListTip);
  ListView1->header()->setSectionResizeMode(QHeaderView::Interactive);
  ListView1->installEventFilter(this);
}

void Form2::layOut() {
  auto* frameLayout = new QVBoxLayout(Frame2);
  frameLayout->addWidget(Text1);

  const int buttonHeight = Twips(this, 405);
  for (QPushButton* b : findChildren<QPushButton*>()) b->setMinimumHeight(buttonHeight);
  ListView1->setMinimumHeight(Twips(this, 3315));
  Frame2->setMinimumHeight(Twips(this, 1785));
  ProgressBar1->setMinimumHeight(buttonHeight);

  auto* grid = new QGridLayout(this);
  const int margin = Twips(this, 120);
  grid->setContentsMargins(margin, margin, margin, margin);
  grid->addWidget(PushButton5, 0, 0);
  grid->addWidget(PushButton9, 0, 1);
  grid->addWidget(ListView1, 1, 0, 1, 2);
  grid->addWidget(PushButton1, 2, 0, 1, 2);
  grid->addWidget(PushButton3, 3, 0);
  grid->addWidget(PushButton2, 3, 1);
  grid->addWidget(Frame2, 4, 0, 1, 2);
  grid->addWidget(PushButton6, 5, 0);
  grid->addWidget(PushButton4, 5, 1);
  grid->addWidget(PushButton8, 6, 0);
  grid->addWidget(PushButton7, 6, 1);
  grid->addWidget(ProgressBar1, 7, 0, 1, 2);
  grid->setRowStretch(1, 1);
  resize(Twips(this, 8040), Twips(this, 8430));
}

void Form2::connectControls() {
  connect(PushButton1, &QPushButton::clicked, this, [this] { session_.PushButton1_Click(); });
  connect(PushButton2, &QPushButton::clicked, this, [this] { session_.PushButton2_Click(); });
  connect(PushButton3, &QPushButton::clicked, this, [this] { PushButton3_Click(); });
  connect(PushButton4, &QPushButton::clicked, this, [this] { session_.PushButton4_Click(); });
  connect(PushButton5, &QPushButton::clicked, this, [this] { session_.PushButton5_Click(); });
  connect(PushButton6, &QPushButton::clicked, this, [this] { session_.PushButton6_Click(); });
  connect(PushButton7, &QPushButton::clicked, this, [this] { PushButton7_Click(); });
  connect(PushButton8, &QPushButton::clicked, this, [this] { session_.PushButton8_Click(); });
  connect(PushButton9, &QPushButton::clicked, this, [this] { session_.PushButton9_Click(); });
  connect(ListView1, &QAbstractItemView::clicked, this, [this] { ListView1_Click(); });
}

Form2::~Form2() = default;

void Form2::Form_Load() {
  Guard guard(ui_, ProcedureTag("Form2.Form_Load"));
  guard(100, [&] { ApplyFormBackColor(*this); });
  guard(102, [&] { setWindowIcon(QApplication::windowIcon()); });
  guard(104, [&] { setWindowTitle("SQL Preview - Tablewright"); });
  guard(106, [&] { UseHandOverButtons(this); });
  guard(108, [&] { ListView1->setColumnWidth(0, Twips(this, 7000)); });
  guard(110, [&] {
    Text1->clear();
    showProgress(session_.progressValue(), session_.progressText());
  });
}

void Form2::showProgress(double value, const std::string& text) {
  ProgressBar1->setValue(qBound(0, qRound(value), 100));
  ProgressBar1->setFormat(QString::fromStdString(text));
}

void Form2::selectLine(std::int32_t line) {
  QModelIndex index = model_.index(line - 1, 0);
  if (!index.isValid()) return;
  ListView1->selectionModel()->setCurrentIndex(index,
                                               QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  ListView1->scrollTo(index);
}

void Form2::showErrorText(const std::string& text) { Text1->setPlainText(QString::fromStdString(text)); }

void Form2::setBusy(bool busy) {
  for (QPushButton* b : findChildren<QPushButton*>()) b->setEnabled(!busy);
  ListView1->setEnabled(!busy);
  if (busy && !busyPointer_) busyPointer_ = std::make_unique<BusyPointer>();
  if (!busy) busyPointer_.reset();
}

void Form2::linesChanged(std::int32_t first, std::int32_t last) { model_.linesChanged(first - 1, last - 1); }

void Form2::closeWindow() { done(QDialog::Accepted); }

void Form2::closeEvent(QCloseEvent* event) {
  if (session_.busy()) {
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

void Form2::reject() {
  if (session_.busy()) return;
  session_.PushButton5_Click();
}

bool Form2::eventFilter(QObject* watched, QEvent* event) {
  // Enter on a line edits it, as a click does.
  if (watched == ListView1 && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
      ListView1_Click();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void Form2::PushButton3_Click() {
  Guard guard(ui_, ProcedureTag("Form2.PushButton3_Click"));
  guard(100, [&] {
    Form3 dialog(session_.lines(), injectedUi_, this, applicationTitle_);
    dialog.exec();
  });
  guard(102, [&] { linesChanged(1, static_cast<std::int32_t>(model_.rowCount())); });
}

void Form2::PushButton7_Click() {
  Guard guard(ui_, ProcedureTag("Form2.PushButton7_Click"));
  guard(100, [&] {
    Form5 window(session_.conversions(), injectedUi_, this, applicationTitle_);
    window.exec();
  });
}

void Form2::ListView1_Click() {
  const QModelIndexList selected = ListView1->selectionModel()->selectedRows();
  if (selected.isEmpty()) return;
  const std::int32_t line = selected.first().row() + 1;
  Form4 dialog(session_, injectedUi_, this, applicationTitle_);
  dialog.setListLine(line);
  std::string_view text = session_.lines().item(static_cast<std::size_t>(line - 1));
  dialog.setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
  dialog.exec();
}

}  // namespace tw
