#include "common/guard.h"

#include <gtest/gtest.h>

#include "platform/data_access.h"
#include "support/fake_ui.h"

namespace tw {
namespace {

const std::string kTail = "Please email screenshot of this message to " + std::string(kContactEmail);

TEST(ProcedureReport, TextByteForByte) {
  EXPECT_EQ(ProcedureTag("Form1.PushButton8_Click"), "in Tavrel2021/08/31.Form1.PushButton8_Click ");
  EXPECT_EQ(ProcedureErrorText(ProcedureTag("Form1.PushButton8_Click"), 104, "Could not connect."),
            "Could not connect.\r\nin Tavrel2021/08/31.Form1.PushButton8_Click at line 104\r\r" + kTail);
  // An empty description leaves the first line empty.
  EXPECT_EQ(ProcedureErrorText("in X.Y ", 100, ""), "\r\nin X.Y at line 100\r\r" + kTail);
  EXPECT_EQ(ProcedureErrorText("in X.Y ", -2147483647 - 1, "d"), "d\r\nin X.Y at line -2147483648\r\r" + kTail);
}

TEST(ProcedureReport, BoxIsTitledApplicationErrorWithExclamationAndOk) {
  FakeUi ui;
  ReportProcedureError(ui, "in T.P ", 102, "boom");
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].title, "Application Error");
  EXPECT_EQ(ui.boxes[0].icon, MessageIcon::Exclamation);
  EXPECT_EQ(ui.boxes[0].buttons, MessageButtons::Ok);
  EXPECT_EQ(ui.boxes[0].text, "boom\r\nin T.P at line 102\r\r" + kTail);
}

// A user interface that shows the report's parts instead of the whole text.
class PartsUi : public FakeUi {
 public:
  void showProcedureFailure(const std::string& title, const std::string& text, const ProcedureFailure& p) override {
    seen.push_back(title + "|" + std::string(p.tag) + "|" + std::to_string(p.line) + "|" +
                   std::string(p.description));
    whole.push_back(text);
  }
  std::vector<std::string> seen, whole;
};

TEST(ProcedureReport, AnInterfaceMayShowThePartsItsOwnWay) {
  PartsUi ui;
  Guard g(ui, ProcedureTag("Form1.PushButton7_Click"));
  g(132, [] { throw data::Failure("Not a valid password."); });
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_EQ(ui.seen,
            (std::vector<std::string>{
                "Application Error|in Tavrel2021/08/31.Form1.PushButton7_Click |132|Not a valid password."}));
  EXPECT_EQ(ui.whole, (std::vector<std::string>{ProcedureErrorText(ProcedureTag("Form1.PushButton7_Click"), 132,
                                                                   "Not a valid password.")}));
  EXPECT_EQ(g.reports(), 1);
}

TEST(Guard, ReportsEachFailureWithItsLineAndGoesOn) {
  FakeUi ui;
  std::vector<int> ran;
  Guard g(ui, ProcedureTag("Form1.PushButton7_Click"));
  g(100, [&] { throw data::Failure(5, "first"); });
  g(102, [&] { ran.push_back(102); });
  g(104, [&] { throw std::runtime_error("second"); });
  g.run([&] { throw data::Failure(""); });  // unnumbered: names the line before it
  g(106, [&] { ran.push_back(106); });
  EXPECT_EQ(ran, (std::vector<int>{102, 106}));
  ASSERT_EQ(ui.boxes.size(), 3u);
  EXPECT_EQ(ui.boxes[0].text, "first\r\nin Tavrel2021/08/31.Form1.PushButton7_Click at line 100\r\r" + kTail);
  EXPECT_EQ(ui.boxes[1].text, "second\r\nin Tavrel2021/08/31.Form1.PushButton7_Click at line 104\r\r" + kTail);
  EXPECT_EQ(ui.boxes[2].text, "\r\nin Tavrel2021/08/31.Form1.PushButton7_Click at line 104\r\r" + kTail);
  EXPECT_EQ(g.reports(), 3);
}

TEST(Guard, FailedConditionRunsItsBranchAndKeepsALoopLooping) {
  FakeUi ui;
  Guard g(ui, "in T.P ");
  bool branch = false;
  if (g.test(100, []() -> bool { throw data::Failure("cond"); })) branch = true;
  EXPECT_TRUE(branch);
  EXPECT_FALSE(g.test(102, [] { return false; }));
  // A loop whose test fails twice keeps looping, then ends when the test answers.
  int tests = 0, bodies = 0;
  while (g.test(104, [&]() -> bool {
    if (++tests <= 2) throw data::Failure("eof");
    return false;
  }))
    ++bodies;
  EXPECT_EQ(bodies, 2);
  // The call site can make a failed loop test end the loop instead.
  int loops = 0;
  while (!g.test(
      106, []() -> bool { throw data::Failure("eof"); }, /*onFailure=*/true))
    ++loops;
  EXPECT_EQ(loops, 0);
  EXPECT_EQ(ui.boxes.size(), 4u);
}

TEST(SilentGuard, SkipsFailuresAndRemembersTheLast) {
  SilentGuard s;
  int after = 0;
  s([] { throw data::Failure(3706, "Provider cannot be found."); });
  s([&] { ++after; });
  EXPECT_EQ(after, 1);
  EXPECT_TRUE(s.failed());
  EXPECT_EQ(s.lastNumber(), 3706);
  EXPECT_EQ(s.lastDescription(), "Provider cannot be found.");
  s.clear();
  EXPECT_FALSE(s.failed());
}

}  // namespace
}  // namespace tw
