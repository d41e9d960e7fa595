// The Edit Line dialog, driven offscreen over a preview session.
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

#include "modal_helper.h"
#include "preview/preview_session.h"
#include "preview/qt/form4.h"
#include "support/fake_clipboard.h"
#include "support/fake_shell.h"
#include "support/fake_ui.h"

using tw::testing::child;

namespace tw {

namespace {
class NoView : public PreviewView {
 public:
  void showProgress(double, const std::string&) override {}
  void selectLine(std::int32_t) override {}
  void showErrorText(const std::string&) override {}
  void setBusy(bool) override {}
  void linesChanged(std::int32_t first, std::int32_t) override { changed.push_back(first); }
  void closeWindow() override {}
  std::vector<std::int32_t> changed;
};
}  // namespace

class Form4Test : public QObject {
  Q_OBJECT

 private:
  ConversionState state;
  FakeUi ui;
  FakeClipboard clipboard;
  FakeShell shell;
  NoView view;
  std::unique_ptr<PreviewSession> session;

  std::unique_ptr<Form4> openOn(std::int32_t line) {
    auto dialog = std::make_unique<Form4>(*session, &ui);
    dialog->setListLine(line);
    std::string_view text = state.statements.item(static_cast<std::size_t>(line - 1));
    dialog->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    dialog->show();
    dialog->activateWindow();
    child<QPlainTextEdit>(dialog.get(), "Text1")->setFocus();
    return dialog;
  }
  QPlainTextEdit* edit(Form4* d) { return child<QPlainTextEdit>(d, "Text1"); }

 private slots:
  void init() {
    state.statements.clear();
    for (const char* l : {"one", "INSERT INTO [T] VALUES ('Müller');", "three"}) state.statements.append(l);
    view = NoView();
    session = std::make_unique<PreviewSession>(state, ui, clipboard, shell, view);
  }

  void theWholeTextIsSelectedWhenTheBoxGetsTheFocus() {
    auto dialog = openOn(2);
    QCOMPARE(dialog->windowTitle(), QString("Edit Line - Tablewright"));
    QCOMPARE(dialog->ListLine(), 2);
    QTRY_VERIFY(edit(dialog.get())->hasFocus());
    QCOMPARE(edit(dialog.get())->textCursor().selectedText(),
             QString::fromUtf8("INSERT INTO [T] VALUES ('Müller');"));
    // Typing replaces the whole line.
    QTest::keyClicks(edit(dialog.get()), "DROP");
    QCOMPARE(edit(dialog.get())->toPlainText(), QString("DROP"));
    QVERIFY(!edit(dialog.get())->accessibleName().isEmpty());
  }

  void okWritesTheTextUnchangedToItsLine() {
    auto dialog = openOn(2);
    edit(dialog.get())->setPlainText("  changed  ");
    QTest::mouseClick(child<QPushButton>(dialog.get(), "PushButton2"), Qt::LeftButton);
    QVERIFY(!dialog->isVisible());
    QCOMPARE(std::string(state.statements.item(1)), std::string("  changed  "));
    QCOMPARE(view.changed, std::vector<std::int32_t>{2});

    dialog = openOn(3);
    edit(dialog.get())->clear();
    QTest::keyClick(edit(dialog.get()), Qt::Key_Return);  // Enter stands for OK
    QVERIFY(!dialog->isVisible());
    QCOMPARE(std::string(state.statements.item(2)), std::string());
    QCOMPARE(state.statements.size(), std::size_t{3});
  }

  void okWithoutChangesKeepsTheText() {
    auto dialog = openOn(1);
    QTest::mouseClick(child<QPushButton>(dialog.get(), "PushButton2"), Qt::LeftButton);
    QCOMPARE(std::string(state.statements.item(0)), std::string("one"));
  }

  void cancelAndTheCloseBoxKeepTheLine() {
    for (int way = 0; way < 2; ++way) {
      auto dialog = openOn(1);
      QTest::keyClicks(edit(dialog.get()), "typed");
      if (way == 0) QTest::mouseClick(child<QPushButton>(dialog.get(), "PushButton1"), Qt::LeftButton);
      else dialog->close();
      QVERIFY(!dialog->isVisible());
    }
    QCOMPARE(std::string(state.statements.item(0)), std::string("one"));
    QVERIFY(view.changed.empty());
    QVERIFY(ui.boxes.empty());
  }
};

}  // namespace tw

QTEST_MAIN(tw::Form4Test)
#include "form4_test.moc"
