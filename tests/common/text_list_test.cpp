#include "common/text_list.h"

#include <gtest/gtest.h>

#include "common/value_helpers.h"
#include "platform/case_rules.h"

namespace tw {
namespace {

TEST(TextLists, ContainsIgnoresCaseRemoveDoesNot) {
  VectorTextList list{"Orders", "Ärzte", "customers"};
  EXPECT_TRUE(ListContainsText(list, "ORDERS"));
  EXPECT_TRUE(ListContainsText(list, "ärzte"));
  EXPECT_TRUE(ListContainsText(list, "Customers"));
  EXPECT_FALSE(ListContainsText(list, "Order"));
  ListRemoveText(list, "orders");  // case-sensitive: stays
  EXPECT_EQ(list.count(), 3);
  list.add("Orders");
  ListRemoveText(list, "Orders");  // every exact entry goes
  EXPECT_EQ(list.items, (std::vector<std::string>{"Ärzte", "customers"}));
  EXPECT_EQ(lowerCase("ÄRZTE Orders"), "ärzte orders");
}

TEST(Values, NullToDefault) {
  Value fallback("x");
  EXPECT_EQ(NullToDefault(Value(), fallback), Value("x"));
  EXPECT_EQ(NullToDefault(Value(0), fallback), Value(0));
  EXPECT_EQ(NullToDefault(Value(""), fallback), Value(""));
}

}  // namespace
}  // namespace tw
