// The text work of the preview workbench: the copy layout, the e-mail target, and finding
// and replacing without regard to case, alone and as the Find and Replace dialog runs it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/utf8.h"
#include "preview/clipboard_text.h"
#include "preview/find_and_replace.h"
#include "preview/mail_target.h"
#include "preview/text_replace.h"
#include "support/fake_clipboard.h"
#include "support/fake_ui.h"

namespace tw {
namespace {

class Table : public ListRows {
 public:
  explicit Table(std::vector<std::vector<std::string>> rows) : rows_(std::move(rows)) {}
  std::size_t rowCount() const override { return rows_.size(); }
  std::size_t columnCount() const override { return rows_.empty() ? 0 : rows_[0].size(); }
  std::string_view cell(std::size_t r, std::size_t c) const override { return rows_[r][c]; }

 private:
  std::vector<std::vector<std::string>> rows_;
};

TEST(CopyLayout, ColumnsArePaddedToTheirWidestCellInCharacters) {
  Table t({{"ab", "x", "1"}, {"c", "yy ", "22"}, {"é", "", " "}});
  // Column 1 is 2 wide, column 2 is 3 wide ("yy "); the last column is never padded.
  EXPECT_EQ(ListRowsAsText(t), "ab\tx  \t1\r\nc \tyy \t22\r\né \t   \t\r\n");
}

TEST(CopyLayout, OneColumnLosesTrailingBlanksOnly) {
  Table t({{"  lead"}, {"tail  "}, {"   "}, {""}, {"in  side"}});
  EXPECT_EQ(ListRowsAsText(t), "  lead\r\ntail\r\n\r\n\r\nin  side\r\n");
  EXPECT_EQ(ListRowsAsText(Table({})), "");
}

TEST(CopyLayout, CellsLongerThanSixteenBitsAreMeasuredAndPadded) {
  std::string wide(70000, 'w');
  Table t({{wide, "a"}, {"n", "b"}});
  std::string text = ListRowsAsText(t);
  EXPECT_EQ(text, wide + "\ta\r\nn" + std::string(69999, ' ') + "\tb\r\n");
}

TEST(CopyLayout, YieldsWhileMeasuringAndLayingOut) {
  Table t({{"a", "b"}, {"c", "d"}});
  int yields = 0;
  ListRowsAsText(t, [&] { ++yields; });
  // Two cells measured in the first column, then per row one yield plus one per cell.
  EXPECT_EQ(yields, 2 + 2 * 3);
}

TEST(CopyLayout, CharacterCountCountsCodePoints) {
  EXPECT_EQ(Utf8Length(""), 0u);
  EXPECT_EQ(Utf8Length("abc"), 3u);
  EXPECT_EQ(Utf8Length("Αθηνά"), 5u);
  EXPECT_EQ(Utf8Length("😀x"), 2u);
}

// Decodes %XX escapes, for checking that an encoded value reads back whole.
std::string percentDecode(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size()) {
      out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

TEST(MailTarget, TheBodyReadsBackWholeWithCrLfLineBreaks) {
  const std::string error = "Line & one #2 50% a+b=c?\nCafé\r\nthird\rend";
  const std::string target = ErrorMailTarget(error);
  const std::string prefix = "mailto:support@quernfield.com?subject=Tablewright&body=";
  ASSERT_EQ(target.rfind(prefix, 0), 0u);
  const std::string body = target.substr(prefix.size());
  // Nothing in the body can end it or start a fragment or another field.
  EXPECT_EQ(body.find_first_of("&#?= \r\n+"), std::string::npos);
  EXPECT_EQ(percentDecode(body),
            "Here is the error message that I get: \r\nLine & one #2 50% a+b=c?\r\nCafé\r\nthird\r\nend");
}

TEST(MailTarget, UnreservedCharactersStayAndOthersAreUpperCaseHex) {
  EXPECT_EQ(PercentEncodeMailValue("Az09-._~"), "Az09-._~");
  EXPECT_EQ(PercentEncodeMailValue("é/"), "%C3%A9%2F");
  EXPECT_EQ(PercentEncodeMailValue("\r\r\n\n"), "%0D%0A%0D%0A%0D%0A");
}

TEST(FindIgnoringCase, FindsTheFirstOccurrenceWhateverTheCase) {
  auto m = findIgnoringCase("xAbyab", "aB");
  ASSERT_TRUE(m);
  EXPECT_EQ(m->position, 1u);
  EXPECT_EQ(m->length, 2u);
  EXPECT_FALSE(findIgnoringCase("abc", ""));
  EXPECT_FALSE(findIgnoringCase("ab", "abc"));
  EXPECT_FALSE(findIgnoringCase("", "a"));
}

TEST(FindIgnoringCase, FoldsLettersBeyondAscii) {
  // "ΑΘΗΝΆ" and "αθηνά": two bytes per letter.
  auto m = findIgnoringCase("Οδός ΑΘΗΝΆ 20", "αθηνά");
  ASSERT_TRUE(m);
  EXPECT_EQ(m->position, std::string("Οδός ").size());
  EXPECT_EQ(m->length, std::string("ΑΘΗΝΆ").size());
  auto u = findIgnoringCase("MÜLLER", "müller");
  ASSERT_TRUE(u);
  EXPECT_EQ(u->position, 0u);
  // A damaged byte is a character of its own and is kept.
  auto d = findIgnoringCase(
      "a\xFF"
      "Éb",
      "éB");
  ASSERT_TRUE(d);
  EXPECT_EQ(d->position, 2u);
}

TEST(ReplaceFirst, OnlyTheFirstOccurrenceIsReplacedAsTyped) {
  EXPECT_EQ(ReplaceFirstIgnoringCase("AB-ab-AB", "ab", "X"), "X-ab-AB");
  EXPECT_EQ(ReplaceFirstIgnoringCase("xaaay", "aa", "b"), "xbay");
  EXPECT_EQ(ReplaceFirstIgnoringCase("CHAR(254)", "char", "Memo"), "Memo(254)");
  EXPECT_EQ(ReplaceFirstIgnoringCase("a-b", "-", ""), "ab");
  EXPECT_EQ(ReplaceFirstIgnoringCase("aXa", "a", "aa"), "aaXa");
  EXPECT_EQ(ReplaceFirstIgnoringCase("Straße ÄRGER", "ärger", "Ärger"), "Straße Ärger");
  EXPECT_FALSE(ReplaceFirstIgnoringCase("abc", "zz", "y"));
  EXPECT_FALSE(ReplaceFirstIgnoringCase("abc", "", "y"));
}

class FindAndReplaceTest : public ::testing::Test, public FindAndReplaceView {
 protected:
  void setBusy(bool busy) override { log.push_back(busy ? "busy" : "idle"); }
  void closeDialog() override { log.push_back("close"); }
  std::vector<std::string> texts() const {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < lines.size(); ++i) out.emplace_back(lines.item(i));
    return out;
  }

  StatementList lines;
  FakeUi ui;
  std::vector<std::string> log;
  FindAndReplace dialog{lines, ui, *this};
};

TEST_F(FindAndReplaceTest, ReplacesInEveryLineThenSaysDoneAndCloses) {
  for (const char* l : {"CREATE TABLE \"T\"([a] CHAR(254),[b] char(254));", "", "   ", "no match", "INSERT char"})
    lines.append(l);
  dialog.setYieldInterval(std::chrono::milliseconds(0));
  EXPECT_EQ(dialog.PushButton2_Click("Char", "VARCHAR"), 2u);
  EXPECT_EQ(texts(), (std::vector<std::string>{"CREATE TABLE \"T\"([a] VARCHAR(254),[b] char(254));", "", "   ",
                                               "no match", "INSERT VARCHAR"}));
  EXPECT_EQ(ui.yields, 5);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "Done.");
  EXPECT_EQ(ui.boxes[0].title, ui.applicationTitle());
  EXPECT_EQ(log, (std::vector<std::string>{"busy", "idle", "close"}));
}

TEST_F(FindAndReplaceTest, NothingFoundOrAnEmptySearchStillSaysDone) {
  lines.append("abc");
  EXPECT_EQ(dialog.PushButton2_Click("zzz", "y"), 0u);
  EXPECT_EQ(dialog.PushButton2_Click("", "y"), 0u);
  EXPECT_EQ(texts(), (std::vector<std::string>{"abc"}));
  ASSERT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(ui.boxes[1].text, "Done.");
}

TEST_F(FindAndReplaceTest, AnEmptyListKeepsTheDialogOpen) {
  dialog.PushButton2_Click("a", "b");
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "No SQL to run.");
  EXPECT_TRUE(log.empty());
  dialog.PushButton1_Click();
  EXPECT_EQ(log, (std::vector<std::string>{"close"}));
}

TEST_F(FindAndReplaceTest, ASecondClickDuringThePassDoesNothing) {
  lines.append("aaa");
  lines.append("aaa");
  dialog.setYieldInterval(std::chrono::milliseconds(0));
  ui.onYield = [&] { dialog.PushButton2_Click("a", "b"); };
  dialog.PushButton2_Click("a", "b");
  EXPECT_EQ(texts(), (std::vector<std::string>{"baa", "baa"}));
}

}  // namespace
}  // namespace tw
