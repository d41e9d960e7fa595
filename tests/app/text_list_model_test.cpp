#include "app/text_list_model.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>

namespace tw {
namespace {

TEST(TextListModel, KeepsViewsInStepWithEveryChange) {
  TextListModel model;
  QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
  TextList& list = model;
  list.add("Orders");
  list.add("Customers");
  list.add("orders");
  EXPECT_EQ(model.rowCount(), 3);
  EXPECT_EQ(model.data(model.index(1, 0)).toString(), "Customers");
  EXPECT_TRUE(ListContainsText(list, "ORDERS"));
  ListRemoveText(list, "orders");
  EXPECT_EQ(list.count(), 2);
  EXPECT_EQ(list.item(0), "Orders");
  list.removeAt(0);
  EXPECT_EQ(list.item(0), "Customers");
  EXPECT_THROW(list.item(5), std::out_of_range);
  EXPECT_THROW(list.removeAt(-1), std::out_of_range);
  list.clear();
  list.clear();
  EXPECT_EQ(model.rowCount(), 0);
  EXPECT_FALSE(model.data(model.index(0, 0)).isValid());
}

}  // namespace
}  // namespace tw
