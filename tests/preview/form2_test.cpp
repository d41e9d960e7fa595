// The SQL Preview window, driven as the user drives it, offscreen.
#include <QAbstractItemModelTester>
#include <QApplication>
#include <QClipboard>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>

#include <memory>

#include "common/guard.h"
#include "modal_helper.h"
#include "platform/qt/qt_appearance.h"
#include "platform/qt/qt_clipboard.h"
#include "preview/qt/form2.h"
#include "preview/qt/window_look.h"
#include "support/fake_clipboard.h"
#include "support/fake_shell.h"
#include "support/fake_ui.h"
#include "support/memory_provider.h"

using tw::testing::child;
using tw::testing::onNextModal;

namespace tw {

class Form2Test : public QObject {
  Q_OBJECT

 private:
  data::DataAccess access;
  std::shared_ptr<data::MemoryProvider> provider;
  data::MemoryDatabase* target = nullptr;
  std::unique_ptr<ConversionState> state;
  std::unique_ptr<FakeUi> ui;
  FakeClipboard clipboard;
  FakeShell shell;
  std::unique_ptr<Form2> form;

  void open(const std::vector<std::string>& lines) {
    for (const auto& l : lines) state->statements.append(l);
    form = std::make_unique<Form2>(*state, clipboard, shell, ui.get());
    form->session().setYieldInterval(std::chrono::milliseconds(0));
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
  }
  QPushButton* button(const char* name) { return child<QPushButton>(form.get(), name); }
  int selectedRow() {
    auto rows = form->list()->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
  }
  QStringList boxes() {
    QStringList out;
    for (const auto& b : ui->boxes) out << QString::fromStdString(b.text);
    return out;
  }
  void clickLine(int row) {
    QTreeView* list = form->list();
    QModelIndex index = list->model()->index(row, 0);
    list->scrollTo(index);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(index).center());
  }

 private slots:
  void init() {
    provider = std::make_shared<data::MemoryProvider>();
    access = data::DataAccess();
    access.registerProvider(data::kMemoryProviderName, provider);
    target = &provider->addDatabase("t");
    state = std::make_unique<ConversionState>();
    state->FoxPro_conn = access.createConnection();
    state->FoxPro_conn->Open("Provider=Tablewright.Memory;Data Source=t");
    ui = std::make_unique<FakeUi>();
    clipboard = FakeClipboard();
    shell = FakeShell();
  }
  void cleanup() { form.reset(); }

  void showsItsControlsAndCaptions() {
    open({"CREATE TABLE \"T\"([a] INT);"});
    QCOMPARE(form->windowTitle(), QString("SQL Preview - Tablewright"));
    const std::vector<std::pair<const char*, const char*>> captions = {
        {"PushButton1", "Execute SQL"},
        {"PushButton2", "Copy SQL To Clipboard"},
        {"PushButton3", "Find and Replace"},
        {"PushButton4", "Copy Error Message To Clipboard"},
        {"PushButton5", "< Back"},
        {"PushButton6", "Jump To Error Line"},
        {"PushButton7", "View Datatype Conversion"},
        {"PushButton8", " Email Error Message To Quernfield"},
        {"PushButton9", "Skip Table / Do Not Execute SQL"}};
    for (auto [name, caption] : captions) {
      QPushButton* b = button(name);
      QVERIFY2(b, name);
      QCOMPARE(b->text(), QString(caption));
      QCOMPARE(b->accessibleName(), QString(caption).trimmed());
      // Without a cursor file beside the program the custom pointer is the default one.
      QCOMPARE(b->cursor().shape(), Qt::ArrowCursor);
    }
    QTreeView* list = form->list();
    QCOMPARE(list->cursor().shape(), Qt::ArrowCursor);
    QCOMPARE(list->accessibleName(), QString("SQL Preview"));
    QCOMPARE(list->model()->headerData(0, Qt::Horizontal).toString(), QString("SQL Preview"));
    QCOMPARE(list->columnWidth(0), Twips(form.get(), 7000));
    QVERIFY(list->uniformRowHeights());
    QCOMPARE(list->selectionMode(), QAbstractItemView::SingleSelection);
    QCOMPARE(list->toolTip(),
             QString("Click item to edit it. Move | line to right and out of window to reveal full names."));
    QCOMPARE(child<QGroupBox>(form.get(), "Frame2")->title(), QString("Error:"));
    QVERIFY(!child<QPlainTextEdit>(form.get(), "Text1")->accessibleName().isEmpty());
    QCOMPARE(child<QPlainTextEdit>(form.get(), "Text1")->toPlainText(), QString());
    auto* progress = child<QProgressBar>(form.get(), "ProgressBar1");
    QCOMPARE(progress->text(), QString("Progress Bar"));
    QCOMPARE(progress->value(), 0);
    QVERIFY(!progress->accessibleName().isEmpty());
    QAbstractItemModelTester tester(list->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    // Buttons above the list, "Execute SQL" below it, the progress display at the bottom.
    QVERIFY(button("PushButton5")->geometry().bottom() < list->geometry().top());
    QVERIFY(button("PushButton5")->geometry().left() < button("PushButton9")->geometry().left());
    QVERIFY(list->geometry().bottom() < button("PushButton1")->geometry().top());
    QVERIFY(progress->geometry().top() > button("PushButton8")->geometry().bottom());
    QVERIFY(ui->boxes.empty());
  }

  void theHandPointerComesFromTheCursorFile() {
    open({"x"});
    QTemporaryDir folder;
    QImage hand(32, 32, QImage::Format_ARGB32);
    hand.fill(Qt::black);
    WriteCursorFile(folder.filePath("HAND-M.CUR").toStdString(), hand, 5, 1);
    UseHandOverButtons(form.get(), folder.path().toStdString());
    QCursor cursor = button("PushButton1")->cursor();
    QCOMPARE(cursor.shape(), Qt::BitmapCursor);
    QCOMPARE(cursor.hotSpot(), QPoint(5, 1));
    QCOMPARE(form->list()->cursor().shape(), Qt::ArrowCursor);
    // A file that is there but unusable is a failure the load step reports.
    QFile damaged(folder.filePath("HAND-M.CUR"));
    QVERIFY(damaged.open(QIODevice::WriteOnly | QIODevice::Truncate));
    damaged.write("not a cursor");
    damaged.close();
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, UseHandOverButtons(form.get(), folder.path().toStdString()));
  }

  void executeRunsTheListAndCloses() {
    open({"A", "", "B"});
    QTest::mouseClick(button("PushButton1"), Qt::LeftButton);
    QCOMPARE(target->executed, (std::vector<std::string>{"A", "B"}));
    QVERIFY(state->SQLFormOK);
    QVERIFY(!form->isVisible());
    QCOMPARE(form->result(), int(QDialog::Accepted));
    QVERIFY(ui->boxes.empty());
    QVERIFY(!QApplication::overrideCursor());
  }

  void controlsRefuseInputDuringThePass() {
    open({"A", "B", "C"});
    int checks = 0;
    ui->onYield = [&] {
      ++checks;
      for (QPushButton* b : form->findChildren<QPushButton*>()) QVERIFY(!b->isEnabled());
      QVERIFY(!form->list()->isEnabled());
      QVERIFY(QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor);
      form->close();  // the close box
      QTest::keyClick(form.get(), Qt::Key_Escape);
      QVERIFY(form->isVisible());
    };
    QTest::mouseClick(button("PushButton1"), Qt::LeftButton);
    QCOMPARE(checks, 3);
    QCOMPARE(target->executed.size(), std::size_t{3});
    QVERIFY(!form->isVisible());
    QVERIFY(!QApplication::overrideCursor());
  }

  void aRejectedLineIsShownAndCanBeJumpedTo() {
    open({"L1", "L2", "L3", "L4", "BAD", "L6"});
    target->onExecute = [](const std::string& s) {
      if (s == "BAD") throw data::Failure("SQLException: Syntax error.");
    };
    QTest::mouseClick(button("PushButton1"), Qt::LeftButton);
    QVERIFY(form->isVisible());
    QCOMPARE(selectedRow(), 4);
    QCOMPARE(child<QPlainTextEdit>(form.get(), "Text1")->toPlainText(), QString("SQLException: Syntax error."));
    QCOMPARE(boxes(), QStringList{"Error found."});
    QVERIFY(button("PushButton1")->isEnabled());
    QVERIFY(form->list()->isEnabled());
    QCOMPARE(child<QProgressBar>(form.get(), "ProgressBar1")->text(), QString("Progress Bar"));
    QVERIFY(!state->SQLFormOK);

    // Move away, then jump back; the keyboard focus stays on the button that had it.
    form->list()->selectionModel()->select(form->list()->model()->index(0, 0),
                                           QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    form->list()->scrollToTop();
    button("PushButton2")->setFocus();
    QTest::mouseClick(button("PushButton6"), Qt::LeftButton);
    QCOMPARE(selectedRow(), 4);
    QVERIFY(!form->list()->hasFocus());
    QVERIFY(
        form->list()->viewport()->rect().intersects(form->list()->visualRect(form->list()->model()->index(4, 0))));

    // Copy and mail the error text.
    QTest::mouseClick(button("PushButton4"), Qt::LeftButton);
    QCOMPARE(clipboard.text, std::string("SQLException: Syntax error."));
    QTest::mouseClick(button("PushButton8"), Qt::LeftButton);
    QCOMPARE(shell.opened.size(), std::size_t{1});
    QVERIFY(QString::fromStdString(shell.opened[0]).endsWith("%0D%0ASQLException%3A%20Syntax%20error."));
  }

  void aClickOnALineEditsItAndOkWritesItBack() {
    open({"first", "second line", "third"});
    QString seen;
    bool allSelected = false;
    onNextModal(form.get(), [&](QDialog* dialog) {
      auto* edit = child<QPlainTextEdit>(dialog, "Text1");
      // The focus arrives with the activation, which may come a moment after the showing.
      const bool focused = QTest::qWaitFor([&] { return edit->hasFocus(); });
      seen = edit->toPlainText();
      allSelected = focused && edit->textCursor().selectedText() == seen;
      edit->setPlainText("second, edited ");
      QTest::mouseClick(child<QPushButton>(dialog, "PushButton2"), Qt::LeftButton);
    });
    clickLine(1);
    QCOMPARE(seen, QString("second line"));
    QVERIFY(allSelected);
    QCOMPARE(std::string(state->statements.item(1)), std::string("second, edited "));
    QCOMPARE(form->list()->model()->index(1, 0).data().toString(), QString("second, edited "));

    onNextModal(form.get(), [&](QDialog* dialog) {
      child<QPlainTextEdit>(dialog, "Text1")->setPlainText("thrown away");
      QTest::mouseClick(child<QPushButton>(dialog, "PushButton1"), Qt::LeftButton);
    });
    clickLine(2);
    QCOMPARE(std::string(state->statements.item(2)), std::string("third"));
    QCOMPARE(state->statements.size(), std::size_t{3});
  }

  void findAndReplaceChangesTheShownLines() {
    open({"CREATE TABLE \"T\"([a] CHAR(254));", "INSERT INTO [T] VALUES ('char')"});
    onNextModal(form.get(), [&](QDialog* dialog) {
      QTest::keyClicks(child<QLineEdit>(dialog, "Text1"), "char");
      QTest::keyClicks(child<QLineEdit>(dialog, "Text2"), "VARCHAR");
      QTest::mouseClick(child<QPushButton>(dialog, "PushButton2"), Qt::LeftButton);
    });
    QTest::mouseClick(button("PushButton3"), Qt::LeftButton);
    QCOMPARE(boxes(), QStringList{"Done."});
    QCOMPARE(form->list()->model()->index(0, 0).data().toString(), QString("CREATE TABLE \"T\"([a] VARCHAR(254));"));
    QCOMPARE(form->list()->model()->index(1, 0).data().toString(), QString("INSERT INTO [T] VALUES ('VARCHAR')"));
    QVERIFY(form->isVisible());
  }

  void theDatatypesWindowShowsItsRowsEveryTime() {
    state->conversions = {{"T", "a", "int", "INTEGER"}, {"T", "b", "varwchar", "TEXT"}};
    open({"x"});
    for (int opening = 0; opening < 2; ++opening) {
      int rows = -1;
      QString cell;
      onNextModal(form.get(), [&](QDialog* dialog) {
        auto* list = child<QTreeView>(dialog, "ListView1");
        rows = list->model()->rowCount();
        cell = list->model()->index(1, 2).data().toString();
        QTest::mouseClick(child<QPushButton>(dialog, "PushButton5"), Qt::LeftButton);
      });
      QTest::mouseClick(button("PushButton7"), Qt::LeftButton);
      QCOMPARE(rows, 2);
      QCOMPARE(cell, QString("varwchar"));
    }
  }

  void copySqlReachesTheSystemClipboard() {
    QtClipboard system;
    for (const auto& l : {"a  ", "", "b"}) state->statements.append(l);
    form = std::make_unique<Form2>(*state, system, shell, ui.get());
    form->show();
    QApplication::clipboard()->setText("before");
    QTest::mouseClick(button("PushButton2"), Qt::LeftButton);
    QCOMPARE(QApplication::clipboard()->text(), QString("a\r\n\r\nb\r\n"));
    QCOMPARE(ui->boxes.size(), std::size_t{1});
    QVERIFY(QString::fromStdString(ui->boxes[0].text).startsWith("Results have been copied to the clipboard."));
  }

  void aMillionLinesOpenAtOnce() {
    for (int i = 0; i < 1000000; ++i) state->statements.append("INSERT INTO [T] VALUES (" + std::to_string(i) + ");");
    open({});
    form->list()->scrollToBottom();
    QCoreApplication::processEvents();
    QCOMPARE(form->list()->model()->rowCount(), 1000000);
    QTreeView* list = form->list();
    QVERIFY(list->indexAt(QPoint(5, 2)).row() > 999900);
    QVERIFY(list->viewport()->rect().contains(list->visualRect(list->model()->index(999999, 0))));
  }
};

}  // namespace tw

QTEST_MAIN(tw::Form2Test)
#include "form2_test.moc"
