// The item models the preview windows show: checked with QAbstractItemModelTester, and
// read back as a view reads them.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QSignalSpy>

#include "preview/field_conversion_model.h"
#include "preview/statement_list_model.h"

namespace tw {
namespace {

TEST(StatementListModel, OneRowPerLineUnderOneHeader) {
  StatementList lines;
  lines.append("CREATE TABLE \"T\"([a] INT);");
  lines.append("");
  lines.append("INSERT INTO [T] VALUES ('Αθηνά');");
  StatementListModel model(lines);
  QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
  EXPECT_EQ(model.rowCount(), 3);
  EXPECT_EQ(model.columnCount(), 1);
  EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString(), "SQL Preview");
  EXPECT_EQ(model.data(model.index(2, 0)).toString(), QString::fromUtf8("INSERT INTO [T] VALUES ('Αθηνά');"));
  EXPECT_EQ(model.data(model.index(1, 0)).toString(), "");
  EXPECT_TRUE(model.flags(model.index(0, 0)) & Qt::ItemNeverHasChildren);
  EXPECT_FALSE(model.flags(model.index(0, 0)) & Qt::ItemIsEditable);
}

TEST(StatementListModel, ChangedLinesAreAnnouncedAndReadAnew) {
  StatementList lines;
  for (int i = 0; i < 5; ++i) lines.append("line " + std::to_string(i));
  StatementListModel model(lines);
  QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
  QSignalSpy spy(&model, &QAbstractItemModel::dataChanged);
  lines.setItem(3, "a longer text than before");
  model.linesChanged(3, 3);
  model.linesChanged(-4, 99);  // clamped to the rows there are
  ASSERT_EQ(spy.count(), 2);
  EXPECT_EQ(spy[0][0].toModelIndex().row(), 3);
  EXPECT_EQ(spy[1][0].toModelIndex().row(), 0);
  EXPECT_EQ(spy[1][1].toModelIndex().row(), 4);
  EXPECT_EQ(model.data(model.index(3, 0)).toString(), "a longer text than before");
}

TEST(FieldConversionModel, FourColumnsPerFieldRow) {
  std::vector<FieldConversionRow> rows = {{"Orders", "Order ID", "int", "INTEGER"},
                                          {"Orders", "Picture", "", ""},
                                          {"Customers", "Name", "varwchar", "TEXT"}};
  FieldConversionModel model(rows);
  QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
  EXPECT_EQ(model.rowCount(), 3);
  EXPECT_EQ(model.columnCount(), 4);
  QStringList headers;
  for (int c = 0; c < 4; ++c) headers << model.headerData(c, Qt::Horizontal).toString();
  EXPECT_EQ(headers, (QStringList{"MS Access Table", "MS Access Table Field", "MS Access Field Datatype",
                                  "New FoxPro Datatype"}));
  EXPECT_EQ(model.data(model.index(2, 0)).toString(), "Customers");
  EXPECT_EQ(model.data(model.index(2, 1)).toString(), "Name");
  EXPECT_EQ(model.data(model.index(2, 2)).toString(), "varwchar");
  EXPECT_EQ(model.data(model.index(2, 3)).toString(), "TEXT");
  EXPECT_EQ(model.data(model.index(1, 3)).toString(), "");
}

}  // namespace
}  // namespace tw
