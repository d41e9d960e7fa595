#include "preview/preview_session.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/guard.h"
#include "support/fake_clipboard.h"
#include "support/fake_shell.h"
#include "support/fake_ui.h"
#include "support/memory_provider.h"

namespace tw {
namespace {

// Records what the window would show, in order, with the run's flags at each call.
class RecordingView : public PreviewView {
 public:
  explicit RecordingView(const ConversionState& state) : state_(state) {}
  void showProgress(double value, const std::string& text) override {
    progress.push_back({value, text});
    log.push_back("progress " + std::to_string(static_cast<int>(value)) + " " + text);
  }
  void selectLine(std::int32_t line) override {
    selected.push_back(line);
    log.push_back("select " + std::to_string(line));
  }
  void showErrorText(const std::string& text) override { log.push_back("error " + text); }
  void setBusy(bool busy) override {
    log.push_back(std::string(busy ? "busy" : "idle") + (state_.SQLFormOK ? " ok" : ""));
  }
  void linesChanged(std::int32_t first, std::int32_t last) override {
    log.push_back("changed " + std::to_string(first) + "-" + std::to_string(last));
  }
  void closeWindow() override {
    ++closed;
    log.push_back("close");
  }

  std::vector<std::pair<double, std::string>> progress;
  std::vector<std::int32_t> selected;
  std::vector<std::string> log;
  int closed = 0;

 private:
  const ConversionState& state_;
};

class PreviewSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    access.registerProvider(data::kMemoryProviderName, provider);
    target = &provider->addDatabase("target");
    state.FoxPro_conn = access.createConnection();
    state.FoxPro_conn->Open("Provider=Tablewright.Memory;Data Source=target");
    session.setYieldInterval(std::chrono::milliseconds(0));
  }
  void setLines(const std::vector<std::string>& lines) {
    state.statements.clear();
    for (const auto& l : lines) state.statements.append(l);
  }
  std::vector<std::string> reports() const {
    std::vector<std::string> out;
    for (const auto& b : ui.boxes)
      if (b.title == kErrorTitle) out.push_back(b.text);
    return out;
  }
  std::vector<std::string> informs() const {
    std::vector<std::string> out;
    for (const auto& b : ui.boxes)
      if (b.title == ui.applicationTitle()) out.push_back(b.text);
    return out;
  }

  data::DataAccess access;
  std::shared_ptr<data::MemoryProvider> provider = std::make_shared<data::MemoryProvider>();
  data::MemoryDatabase* target = nullptr;
  ConversionState state;
  FakeUi ui;
  FakeClipboard clipboard;
  FakeShell shell;
  RecordingView view{state};
  PreviewSession session{state, ui, clipboard, shell, view};
};

// --- the execution pass ---------------------------------------------------------------

TEST_F(PreviewSessionTest, ACompletedPassEndsInFiveStepsInOrder) {
  setLines({"A", "B", "C"});
  session.PushButton1_Click();
  EXPECT_EQ(target->executed, (std::vector<std::string>{"A", "B", "C"}));
  EXPECT_TRUE(state.SQLFormOK);
  // SQLFormOK first (seen by the pointer step), then pointer, value 0, text, close.
  std::vector<std::string> tail(view.log.end() - 4, view.log.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"idle ok", "progress 0 Please wait.. Processing row: 3 of 3",
                                            "progress 0 Progress Bar", "close"}));
  EXPECT_EQ(view.log.front(), "busy");
  EXPECT_EQ(view.closed, 1);
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_FALSE(session.busy());
  EXPECT_EQ(session.progressText(), "Progress Bar");
}

TEST_F(PreviewSessionTest, ProgressIsShownForEveryLineBeforeItRuns) {
  setLines({"A", "B", "C"});
  std::vector<std::size_t> executedAtYield;
  ui.onYield = [&] { executedAtYield.push_back(target->executed.size()); };
  session.PushButton1_Click();
  ASSERT_GE(view.progress.size(), 3u);
  EXPECT_NEAR(view.progress[0].first, 100.0 / 3, 1e-9);
  EXPECT_EQ(view.progress[0].second, "Please wait.. Processing row: 1 of 3");
  EXPECT_NEAR(view.progress[1].first, 200.0 / 3, 1e-9);
  EXPECT_EQ(view.progress[1].second, "Please wait.. Processing row: 2 of 3");
  EXPECT_EQ(view.progress[2].first, 100.0);
  EXPECT_EQ(view.progress[2].second, "Please wait.. Processing row: 3 of 3");
  // The event loop gets control before each line is executed.
  EXPECT_EQ(executedAtYield, (std::vector<std::size_t>{0, 1, 2}));
}

TEST_F(PreviewSessionTest, ARejectedStatementStopsAtItsLineAndASecondPassStartsAtLineOne) {
  setLines({"L1", "L2", "", "L4", "BAD", "L6"});
  bool refuse = true;
  target->onExecute = [&](const std::string& s) {
    if (s == "BAD" && refuse) throw data::Failure("sqlexception: Syntax error.");
  };
  session.PushButton1_Click();
  EXPECT_EQ(session.ErrorLine(), 5);
  EXPECT_EQ(session.errorText(), "sqlexception: Syntax error.");
  EXPECT_EQ(view.selected, (std::vector<std::int32_t>{5}));
  EXPECT_FALSE(state.SQLFormOK);
  EXPECT_EQ(view.closed, 0);
  EXPECT_FALSE(session.busy());
  EXPECT_EQ(session.progressValue(), 0);
  EXPECT_EQ(session.progressText(), "Progress Bar");
  EXPECT_EQ(informs(), (std::vector<std::string>{"Error found."}));
  EXPECT_TRUE(reports().empty());
  // Lines 1, 2 and 4 ran; the blank line 3 and everything from line 5 did not.
  EXPECT_EQ(target->executed, (std::vector<std::string>{"L1", "L2", "L4", "BAD"}));
  std::vector<std::string> tail(view.log.end() - 5, view.log.end());
  EXPECT_EQ(tail,
            (std::vector<std::string>{"select 5", "error sqlexception: Syntax error.", "idle",
                                      "progress 0 Please wait.. Processing row: 5 of 6", "progress 0 Progress Bar"}));

  // Corrected, the next pass runs every line again from the first.
  session.replaceLine(5, "L5");
  target->executed.clear();
  session.PushButton1_Click();
  EXPECT_EQ(target->executed, (std::vector<std::string>{"L1", "L2", "L4", "L5", "L6"}));
  EXPECT_TRUE(state.SQLFormOK);
  EXPECT_EQ(view.closed, 1);
  // The earlier failure stays on show until another is captured.
  EXPECT_EQ(session.ErrorLine(), 5);
}

TEST_F(PreviewSessionTest, OtherFailuresAreReportedAndThePassCompletes) {
  setLines({"A", "B", "C"});
  target->onExecute = [](const std::string& s) {
    if (s == "B") throw data::Failure("Disk not ready.");
  };
  session.PushButton1_Click();
  auto r = reports();
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0], ProcedureErrorText(ProcedureTag("Form2.PushButton1_Click"), 120, "Disk not ready."));
  EXPECT_EQ(target->executed, (std::vector<std::string>{"A", "B", "C"}));
  EXPECT_TRUE(state.SQLFormOK);
  EXPECT_EQ(view.closed, 1);
  EXPECT_EQ(session.ErrorLine(), 0);
  EXPECT_EQ(session.errorText(), "");
}

TEST_F(PreviewSessionTest, WithoutATargetConnectionEveryLineIsReportedAndThePassCompletes) {
  setLines({"A", "B"});
  state.FoxPro_conn.reset();
  session.PushButton1_Click();
  EXPECT_EQ(reports().size(), 2u);
  EXPECT_TRUE(state.SQLFormOK);
  state.FoxPro_conn = access.createConnection();  // closed, never opened
  state.SQLFormOK = false;
  ui.boxes.clear();
  session.PushButton1_Click();
  ASSERT_EQ(reports().size(), 2u);
  EXPECT_NE(reports()[0].find("Operation is not allowed when the object is closed."), std::string::npos);
}

TEST_F(PreviewSessionTest, AnEmptyListOnlySaysSo) {
  session.PushButton1_Click();
  EXPECT_EQ(informs(), (std::vector<std::string>{"No SQL to run."}));
  EXPECT_TRUE(view.log.empty());
  EXPECT_FALSE(state.SQLFormOK);
}

TEST_F(PreviewSessionTest, BlankLinesAreSkippedAndOthersRunExactlyAsHeld) {
  setLines({"", "   ", "\t", "  X  "});
  session.PushButton1_Click();
  // Only blanks count as empty: a tab is executed, and nothing is trimmed.
  EXPECT_EQ(target->executed, (std::vector<std::string>{"\t", "  X  "}));
  EXPECT_TRUE(state.SQLFormOK);

  setLines({"", "  "});
  target->executed.clear();
  state.SQLFormOK = false;
  session.PushButton1_Click();
  EXPECT_TRUE(target->executed.empty());
  EXPECT_TRUE(state.SQLFormOK);
  EXPECT_EQ(view.closed, 2);
}

TEST_F(PreviewSessionTest, ClicksDuringAPassChangeNothing) {
  setLines({"A", "B", "C"});
  ui.onYield = [&] {
    session.PushButton1_Click();  // a second pass
    session.PushButton5_Click();  // back
    session.PushButton9_Click();  // skip
    session.replaceLine(3, "changed");
  };
  state.StopAfterPreview = true;
  session.PushButton1_Click();
  EXPECT_EQ(target->executed, (std::vector<std::string>{"A", "B", "C"}));
  EXPECT_TRUE(state.StopAfterPreview);
  EXPECT_EQ(view.closed, 1);
}

// --- copy, e-mail, jump, skip, back -----------------------------------------------------

TEST_F(PreviewSessionTest, CopySqlPutsEveryLineWithoutTrailingBlanksAndCrLf) {
  setLines({"a", "bb  ", "   ", "c"});
  session.PushButton2_Click();
  EXPECT_EQ(clipboard.text, "a\r\nbb\r\n\r\nc\r\n");
  EXPECT_EQ(informs(), (std::vector<std::string>{
                           "Results have been copied to the clipboard.\r\rClick a text area where you normally type "
                           "and press Ctrl+V to paste the clipboard."}));
}

TEST_F(PreviewSessionTest, CopySqlHandlesLinesOfAnyLength) {
  std::string longLine(40000, 'x');
  longLine += "é";
  setLines({"short", longLine});
  session.PushButton2_Click();
  EXPECT_EQ(clipboard.text, "short\r\n" + longLine + "\r\n");
  EXPECT_TRUE(reports().empty());
  ASSERT_EQ(informs().size(), 1u);
  EXPECT_EQ(informs()[0].rfind("Results have been copied", 0), 0u);
}

TEST_F(PreviewSessionTest, CopySqlOfAnEmptyListKeepsTheClipboard) {
  clipboard.text = "earlier";
  session.PushButton2_Click();
  EXPECT_EQ(clipboard.text, "earlier");
  EXPECT_EQ(clipboard.setAttempts, 0);
  ASSERT_EQ(informs().size(), 1u);
  EXPECT_EQ(informs()[0].rfind("Results have been copied", 0), 0u);
}

TEST_F(PreviewSessionTest, AClipboardThatStaysBusyIsNotReportedAsCopied) {
  setLines({"a"});
  clipboard.refuseForever = true;
  session.PushButton2_Click();
  EXPECT_EQ(clipboard.setAttempts, 1000);
  EXPECT_EQ(clipboard.clearAttempts, 1000);
  ASSERT_EQ(informs().size(), 1u);
  EXPECT_EQ(informs()[0].find("copied to the clipboard"), std::string::npos);
  EXPECT_NE(informs()[0].find("clipboard is in use"), std::string::npos);
  EXPECT_TRUE(reports().empty());
}

TEST_F(PreviewSessionTest, ABrieflyBusyClipboardIsRetriedUpToTheLastAttempt) {
  setLines({"a"});
  clipboard.refusals = 999;  // emptying succeeds at its 1000th attempt
  session.PushButton2_Click();
  EXPECT_EQ(clipboard.clearAttempts, 1000);
  EXPECT_EQ(clipboard.setAttempts, 1);
  EXPECT_EQ(clipboard.text, "a\r\n");

  clipboard = FakeClipboard();
  clipboard.text = "old";
  clipboard.refusals = 1000 + 999;  // emptying never succeeds, setting at its 1000th attempt
  session.PushButton2_Click();
  EXPECT_EQ(clipboard.clearAttempts, 1000);
  EXPECT_EQ(clipboard.setAttempts, 1000);
  EXPECT_EQ(clipboard.text, "a\r\n");
  for (const auto& text : informs()) EXPECT_EQ(text.rfind("Results have been copied", 0), 0u);
}

TEST_F(PreviewSessionTest, ErrorTextButtonsDoNothingWhileTheTextIsBlank) {
  clipboard.text = "earlier";
  session.PushButton4_Click();
  session.PushButton8_Click();
  session.PushButton6_Click();
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_TRUE(shell.opened.empty());
  EXPECT_EQ(clipboard.text, "earlier");
  EXPECT_TRUE(view.log.empty());
}

TEST_F(PreviewSessionTest, TheErrorTextIsCopiedUnchangedAndMailedEncoded) {
  setLines({"A", "BAD"});
  const std::string failure = "SQLException: a & b #1 100% ?x=y \r\nsecond line ";
  target->onExecute = [&](const std::string& s) {
    if (s == "BAD") throw data::Failure(failure);
  };
  session.PushButton1_Click();
  ASSERT_EQ(session.errorText(), failure);

  ui.boxes.clear();
  session.PushButton4_Click();
  EXPECT_EQ(clipboard.text, failure);
  EXPECT_EQ(informs(), (std::vector<std::string>{
                           "Error message have been copied to the clipboard.\r\rClick a text area where you normally "
                           "type and press Ctrl+V to paste the clipboard."}));

  session.PushButton8_Click();
  ASSERT_EQ(shell.opened.size(), 1u);
  EXPECT_EQ(shell.opened[0],
            "mailto:support@quernfield.com?subject=Tablewright&body=Here%20is%20the%20error%20message%20that%20I%"
            "20get%3A%20%0D%0ASQLException%3A%20a%20%26%20b%20%231%20100%25%20%3Fx%3Dy%20%0D%0Asecond%20line%20");
}

TEST_F(PreviewSessionTest, JumpSelectsTheFailedLineOnlyAfterAFailure) {
  setLines({"A", "B", "BAD"});
  session.PushButton6_Click();
  EXPECT_TRUE(view.selected.empty());
  target->onExecute = [](const std::string& s) {
    if (s == "BAD") throw data::Failure("SQLException: no.");
  };
  session.PushButton1_Click();
  view.selected.clear();
  session.PushButton6_Click();
  EXPECT_EQ(view.selected, (std::vector<std::int32_t>{3}));
}

TEST_F(PreviewSessionTest, SkipClearsStopAfterPreviewAndBackChangesNoFlag) {
  setLines({"A"});
  state.StopAfterPreview = true;
  state.SQLFormOK = false;
  session.PushButton5_Click();
  EXPECT_TRUE(state.StopAfterPreview);
  EXPECT_FALSE(state.SQLFormOK);
  EXPECT_EQ(view.closed, 1);
  session.PushButton9_Click();
  EXPECT_FALSE(state.StopAfterPreview);
  EXPECT_FALSE(state.SQLFormOK);
  EXPECT_EQ(view.closed, 2);
  EXPECT_TRUE(target->executed.empty());
}

TEST_F(PreviewSessionTest, EditLineWritesTheTextUnchanged) {
  setLines({"A", "B"});
  session.replaceLine(2, "  new text  ");
  EXPECT_EQ(state.statements.item(1), "  new text  ");
  session.replaceLine(1, "");
  EXPECT_EQ(state.statements.item(0), "");
  EXPECT_EQ(state.statements.size(), 2u);
  session.replaceLine(3, "outside");
  session.replaceLine(0, "outside");
  EXPECT_EQ(view.log, (std::vector<std::string>{"changed 2-2", "changed 1-1"}));
}

TEST(PreviewTexts, BlankLinesAndSqlFailures) {
  EXPECT_TRUE(IsBlankLine(""));
  EXPECT_TRUE(IsBlankLine("    "));
  EXPECT_FALSE(IsBlankLine(" \t "));
  EXPECT_FALSE(IsBlankLine(" x"));
  EXPECT_TRUE(IsSqlFailure("SQLException: x"));
  EXPECT_TRUE(IsSqlFailure("provider said: sqlEXCEPTION"));
  EXPECT_FALSE(IsSqlFailure("SQL Exception"));
  EXPECT_FALSE(IsSqlFailure(""));
  EXPECT_EQ(ExecutionProgressText(3, 120), "Please wait.. Processing row: 3 of 120");
}

}  // namespace
}  // namespace tw
