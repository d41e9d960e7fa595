// The Find and Replace dialog, driven offscreen.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "modal_helper.h"
#include "preview/qt/form3.h"
#include "support/fake_ui.h"

using tw::testing::child;

namespace tw {

class Form3Test : public QObject {
  Q_OBJECT

 private:
  StatementList lines;
  FakeUi ui;

  std::vector<std::string> texts() const {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < lines.size(); ++i) out.emplace_back(lines.item(i));
    return out;
  }

 private slots:
  void init() {
    lines.clear();
    ui = FakeUi();
  }

  void labelsNameTheirBoxesAndBoxesStartEmpty() {
    Form3 dialog(lines, &ui);
    dialog.show();
    QCOMPARE(dialog.windowTitle(), QString("Find and Replace - Tablewright"));
    auto* find = child<QLineEdit>(&dialog, "Text1");
    auto* replace = child<QLineEdit>(&dialog, "Text2");
    QCOMPARE(child<QLabel>(&dialog, "Label1")->text(), QString("Find what:"));
    QCOMPARE(child<QLabel>(&dialog, "Label1")->buddy(), find);
    QCOMPARE(child<QLabel>(&dialog, "Label2")->text(), QString("Replace with:"));
    QCOMPARE(child<QLabel>(&dialog, "Label2")->buddy(), replace);
    QCOMPARE(find->text(), QString());
    QCOMPARE(replace->text(), QString());
    QVERIFY(!find->accessibleName().isEmpty() && !replace->accessibleName().isEmpty());
    QCOMPARE(child<QPushButton>(&dialog, "PushButton2")->text(), QString("Replace"));
    QCOMPARE(child<QPushButton>(&dialog, "PushButton1")->text(), QString("Cancel"));
    QVERIFY(find->geometry().bottom() < replace->geometry().top());
    QVERIFY(replace->geometry().bottom() < child<QPushButton>(&dialog, "PushButton2")->geometry().top());
  }

  void replaceChangesTheFirstOccurrencePerLineAndCloses() {
    for (const char* l : {"AB-ab-AB", "xaaay", "   "}) lines.append(l);
    Form3 dialog(lines, &ui);
    dialog.logic().setYieldInterval(std::chrono::milliseconds(0));
    dialog.show();
    int disabledDuringPass = 0;
    ui.onYield = [&] { disabledDuringPass += !child<QPushButton>(&dialog, "PushButton2")->isEnabled(); };
    QTest::keyClicks(child<QLineEdit>(&dialog, "Text1"), "ab");
    QTest::keyClicks(child<QLineEdit>(&dialog, "Text2"), "X");
    QTest::mouseClick(child<QPushButton>(&dialog, "PushButton2"), Qt::LeftButton);
    QCOMPARE(texts(), (std::vector<std::string>{"X-ab-AB", "xaaay", "   "}));
    QCOMPARE(disabledDuringPass, 3);
    QCOMPARE(ui.boxes.size(), std::size_t{1});
    QCOMPARE(QString::fromStdString(ui.boxes[0].text), QString("Done."));
    QVERIFY(!dialog.isVisible());
  }

  void enterInTheBoxesReplaces() {
    lines.append("xaaay");
    Form3 dialog(lines, &ui);
    dialog.show();
    QTest::keyClicks(child<QLineEdit>(&dialog, "Text1"), "aa");
    QTest::keyClicks(child<QLineEdit>(&dialog, "Text2"), "b");
    QTest::keyClick(child<QLineEdit>(&dialog, "Text2"), Qt::Key_Return);
    QCOMPARE(texts(), (std::vector<std::string>{"xbay"}));
    QVERIFY(!dialog.isVisible());
  }

  void anEmptyListKeepsTheDialogOpen() {
    Form3 dialog(lines, &ui);
    dialog.show();
    QTest::keyClicks(child<QLineEdit>(&dialog, "Text1"), "a");
    QTest::mouseClick(child<QPushButton>(&dialog, "PushButton2"), Qt::LeftButton);
    QCOMPARE(ui.boxes.size(), std::size_t{1});
    QCOMPARE(QString::fromStdString(ui.boxes[0].text), QString("No SQL to run."));
    QVERIFY(dialog.isVisible());
  }

  void cancelAndEscapeChangeNothing() {
    lines.append("abc");
    for (int way = 0; way < 2; ++way) {
      Form3 dialog(lines, &ui);
      dialog.show();
      QTest::keyClicks(child<QLineEdit>(&dialog, "Text1"), "abc");
      if (way == 0) QTest::mouseClick(child<QPushButton>(&dialog, "PushButton1"), Qt::LeftButton);
      else QTest::keyClick(&dialog, Qt::Key_Escape);
      QVERIFY(!dialog.isVisible());
    }
    QCOMPARE(texts(), (std::vector<std::string>{"abc"}));
    QVERIFY(ui.boxes.empty());
  }
};

}  // namespace tw

QTEST_MAIN(tw::Form3Test)
#include "form3_test.moc"
