#include "convert/statement_list.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

TEST(StatementList, KeepsLinesInOrderAcrossChunksAndEdits) {
  StatementList list;
  std::vector<std::string> expected;
  for (int i = 0; i < 30000; ++i) {
    std::string s =
        "INSERT INTO [t] VALUES (" + std::to_string(i) + std::string(static_cast<std::size_t>(i % 97), 'x') + ");";
    list.append(s);
    expected.push_back(s);
  }
  list.append(std::string(3u << 20, 'y'));  // longer than a chunk
  expected.push_back(std::string(3u << 20, 'y'));
  list.setItem(5, "short");
  expected[5] = "short";
  list.setItem(6, std::string(500, 'z'));
  expected[6] = std::string(500, 'z');
  ASSERT_EQ(list.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) ASSERT_EQ(list.item(i), expected[i]) << i;
  EXPECT_LT(list.bytesUsed(), list.textBytes() * 2);
  EXPECT_THROW(list.item(expected.size()), std::out_of_range);
  list.clear();
  EXPECT_TRUE(list.empty());
}

}  // namespace
}  // namespace tw
