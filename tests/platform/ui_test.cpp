#include "platform/ui.h"

#include <gtest/gtest.h>

#include "support/fake_ui.h"

namespace tw {
namespace {

TEST(MessageTexts, BothLineBreakFormsBecomeLineFeeds) {
  EXPECT_EQ(WithLineFeedBreaks("a\r\nb\rc\nd\r\r"), "a\nb\nc\nd\n\n");
  EXPECT_EQ(WithLineFeedBreaks("\r\n\r\n"), "\n\n");
  EXPECT_EQ(WithLineFeedBreaks(""), "");
}

TEST(FakeUi, AnswersQuestionsFromItsScriptThenNo) {
  FakeUi ui;
  ui.answers = {MessageAnswer::Yes};
  EXPECT_EQ(ui.messageBox("t", "q1", MessageIcon::Question, MessageButtons::YesNo), MessageAnswer::Yes);
  EXPECT_EQ(ui.messageBox("t", "q2", MessageIcon::Question, MessageButtons::YesNo), MessageAnswer::No);
  ui.inform("Done.");
  ASSERT_EQ(ui.boxes.size(), 3u);
  EXPECT_EQ(ui.boxes[2].title, ui.applicationTitle());
  EXPECT_EQ(ui.boxes[2].buttons, MessageButtons::Ok);
}

}  // namespace
}  // namespace tw
