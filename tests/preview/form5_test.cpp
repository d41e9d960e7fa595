// The Datatypes Conversion window, driven offscreen.
#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeView>
#include <QtTest>

#include "modal_helper.h"
#include "preview/qt/form5.h"
#include "preview/qt/window_look.h"
#include "support/fake_ui.h"

using tw::testing::child;

namespace tw {

class Form5Test : public QObject {
  Q_OBJECT

 private:
  FakeUi ui;

 private slots:
  void listsEveryFieldInFourColumns() {
    std::vector<FieldConversionRow> rows = {{"Orders", "Order ID", "int", "INTEGER"},
                                            {"Orders", "Photo", "", ""},
                                            {"Items", "Weight", "OTHER TYPES", "TEXT"}};
    Form5 window(rows, &ui);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.windowTitle(), QString("Datatypes Conversion - Tablewright"));
    QTreeView* list = window.list();
    QAbstractItemModelTester tester(list->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(list->model()->columnCount(), 4);
    QCOMPARE(list->model()->rowCount(), 3);
    for (int c = 0; c < 4; ++c) QCOMPARE(list->columnWidth(c), Twips(&window, 1700));
    QCOMPARE(list->model()->headerData(2, Qt::Horizontal).toString(), QString("MS Access Field Datatype"));
    QCOMPARE(list->model()->index(1, 1).data().toString(), QString("Photo"));
    QCOMPARE(list->model()->index(1, 2).data().toString(), QString());
    QCOMPARE(list->model()->index(2, 3).data().toString(), QString("TEXT"));
    QVERIFY(list->uniformRowHeights());
    QVERIFY(!list->accessibleName().isEmpty());
    auto* back = child<QPushButton>(&window, "PushButton5");
    QCOMPARE(back->text(), QString("< Back"));
    QVERIFY(back->geometry().bottom() < list->geometry().top());
    QVERIFY(ui.boxes.empty());
  }

  void backClosesAndTheRowsAreThereAgainNextTime() {
    std::vector<FieldConversionRow> rows = {{"T", "a", "varwchar", "TEXT"}};
    for (int opening = 0; opening < 2; ++opening) {
      Form5 window(rows, &ui);
      window.show();
      QCOMPARE(window.list()->model()->rowCount(), 1);
      QTest::mouseClick(child<QPushButton>(&window, "PushButton5"), Qt::LeftButton);
      QVERIFY(!window.isVisible());
    }
    QCOMPARE(rows.size(), std::size_t{1});
  }

  void noFieldsLeaveOnlyTheHeaders() {
    std::vector<FieldConversionRow> rows;
    Form5 window(rows, &ui);
    window.show();
    QCOMPARE(window.list()->model()->rowCount(), 0);
    QCOMPARE(window.list()->header()->count(), 4);
  }
};

}  // namespace tw

QTEST_MAIN(tw::Form5Test)
#include "form5_test.moc"
