// The Advanced Options dialog's behaviour: its load, browse, OK and Cancel, the destination
// state it shares with the main window, and creating a container that does not exist.
#include "app/dialogs/form6_logic.h"

#include <gtest/gtest.h>

#include <fstream>

#include "support/fake_file_dialogs.h"
#include "support/fake_settings.h"
#include "support/fake_shell.h"
#include "support/fake_ui.h"
#include "support/scratch_folder.h"

namespace tw {
namespace {

class NullMainView : public Form1View {
 public:
  void showField(Field) override {}
  void applySkin(const std::string&) override {}
  void loadPointerImage(const std::string&) override {}
  void setCaption(const std::string&) override {}
  void setApplicationIcon() override {}
  void showAdvancedOptions() override {}
};

class FakeDialogView : public Form6View {
 public:
  void showText1() override { ++textShown; }
  void applyFormBackColor() override { calls.push_back("backcolor"); }
  void setApplicationIcon() override { calls.push_back("icon"); }
  void loadPointerImage(const std::string& path) override { calls.push_back("pointer " + path); }
  void close() override { ++closed; }
  std::vector<std::string> calls;
  int textShown = 0;
  int closed = 0;
};

// The main window after start-up, and a dialog opened over it.
struct Fixture {
  explicit Fixture(FakeSettingsStore stored = {}) : settings(std::move(stored)) {
    main = std::make_unique<Form1Logic>(
        Form1Services{settings, ui, shell, dialogs, dataAccess, locale, folder.path(), [] { return 0.5; }}, mainView);
    main->Form_Load();  // no provider: the load ends false, the state is restored all the same
    ui.boxes.clear();
    settings.writes.clear();
  }
  Form6Logic& open() {
    dialog = std::make_unique<Form6Logic>(
        Form6Services{settings, ui, dialogs, folder.path(),
                      [this](const std::string& p) {
                        created.push_back(p);
                        if (failCreate) throw std::runtime_error("Cannot create " + p + ": Permission denied.");
                        std::ofstream(p) << "dbc";
                      }},
        *main, view);
    dialog->Form_Load();
    return *dialog;
  }

  FakeSettingsStore settings;
  FakeUi ui;
  FakeShell shell;
  FakeFileDialogs dialogs;
  data::DataAccess dataAccess;
  Locale locale = Locale::system();
  ScratchFolder folder;
  NullMainView mainView;
  FakeDialogView view;
  std::unique_ptr<Form1Logic> main;
  std::unique_ptr<Form6Logic> dialog;
  std::vector<std::string> created;
  bool failCreate = false;
};

TEST(Form6Load, ShowsTheStoredPathAndWritesItBack) {
  Fixture first;
  Form6Logic& empty = first.open();
  EXPECT_EQ(empty.Text1(), "");
  EXPECT_TRUE(first.settings.writes.empty());
  EXPECT_EQ(first.view.calls, (std::vector<std::string>{"backcolor", "icon"}));

  Fixture stored({{"DBCFile", "/data/db.dbc"}});
  std::ofstream(stored.folder.file("HAND-M.CUR")) << "x";
  EXPECT_EQ(stored.open().Text1(), "/data/db.dbc");
  EXPECT_EQ(stored.settings.writesOf("DBCFile"), std::vector<std::string>{"/data/db.dbc"});
  EXPECT_EQ(stored.view.calls.back(), "pointer " + stored.folder.path() + "/HAND-M.CUR");
}

TEST(Form6Text1, StoresEveryIntermediateText) {
  Fixture f;
  Form6Logic& d = f.open();
  for (const char* t : {"/", "/d", "/db", "/db.dbc"}) d.setText1(t);
  EXPECT_EQ(f.settings.writesOf("DBCFile"), (std::vector<std::string>{"/", "/d", "/db", "/db.dbc"}));
  d.setText1("");
  EXPECT_EQ(f.settings.values["DBCFile"], "");
}

TEST(Form6Browse, SetsTheChosenFileAndACancelKeepsTheText) {
  Fixture f;
  Form6Logic& d = f.open();
  d.setText1("/before.dbc");
  f.dialogs.answers = {"", "/chosen.dbc"};
  d.PushButton5_Click();
  EXPECT_EQ(d.Text1(), "/before.dbc");
  d.PushButton5_Click();
  EXPECT_EQ(d.Text1(), "/chosen.dbc");
  EXPECT_EQ(f.settings.values["DBCFile"], "/chosen.dbc");
  EXPECT_EQ(f.dialogs.calls[0].title, "Select Foxpro Database");
  EXPECT_EQ(f.dialogs.calls[0].filter, "Microsoft Database (*.dbc)|*.dbc|");
  EXPECT_EQ(f.view.closed, 0);
}

TEST(Form6StateTable, OkWithAnExistingPathChoosesTheContainerAtOnce) {
  Fixture f({{"FreeTableFolder", "/free"}});
  ASSERT_FALSE(f.main->OptionDBC1());
  Form6Logic& d = f.open();
  const std::string path = f.folder.file("db.dbc");
  std::ofstream(path) << "dbc";
  d.setText1(path);
  d.PushButton1_Click();
  EXPECT_TRUE(f.main->OptionDBC1());
  EXPECT_EQ(f.main->DBCPath1(), path);
  EXPECT_EQ(f.settings.values["FoxproOption"], "1");
  EXPECT_EQ(f.view.closed, 1);
  EXPECT_TRUE(f.ui.boxes.empty());
  EXPECT_TRUE(f.created.empty());
}

TEST(Form6StateTable, OkWithAnEmptyPathChangesNothing) {
  for (bool container : {false, true}) {
    Fixture f({{"FoxproOption", container ? "1" : "2"}, {"DBCFile", ""}});
    f.main->setDBCPath1("/old.dbc");
    Form6Logic& d = f.open();
    d.PushButton1_Click();
    EXPECT_EQ(f.main->OptionDBC1(), container);
    EXPECT_EQ(f.main->DBCPath1(), "/old.dbc");
    EXPECT_EQ(f.settings.values["FoxproOption"], container ? "1" : "2");
    EXPECT_TRUE(f.settings.writes.empty());
    EXPECT_EQ(f.view.closed, 1);
  }
}

TEST(Form6StateTable, CancelSwitchesToFreeTablesAndKeepsTheTypedPath) {
  Fixture f({{"FoxproOption", "1"}, {"DBCFile", "/old.dbc"}});
  ASSERT_TRUE(f.main->OptionDBC1());
  Form6Logic& d = f.open();
  d.setText1("/new.dbc");
  d.PushButton2_Click();
  EXPECT_FALSE(f.main->OptionDBC1());
  EXPECT_EQ(f.main->DBCPath1(), "/old.dbc");
  EXPECT_EQ(f.settings.values["FoxproOption"], "2");
  EXPECT_EQ(f.settings.values["DBCFile"], "/new.dbc");
  EXPECT_EQ(f.view.closed, 1);
}

TEST(Form6NewContainer, YesCreatesItNoTakesThePathAsItIs) {
  for (MessageAnswer answer : {MessageAnswer::Yes, MessageAnswer::No}) {
    Fixture f;
    Form6Logic& d = f.open();
    const std::string path = f.folder.file("new.dbc");
    d.setText1(path);
    f.ui.answers = {answer};
    d.PushButton1_Click();
    ASSERT_EQ(f.ui.boxes.size(), 1u);
    EXPECT_EQ(f.ui.boxes[0].text,
              "The database container " + path + " does not exist.\r\n\r\nWould you like to create it?");
    EXPECT_EQ(f.ui.boxes[0].buttons, MessageButtons::YesNo);
    EXPECT_EQ(f.created, answer == MessageAnswer::Yes ? std::vector<std::string>{path} : std::vector<std::string>{});
    // Either way the container is the destination, as for an existing file.
    EXPECT_TRUE(f.main->OptionDBC1());
    EXPECT_EQ(f.main->DBCPath1(), path);
    EXPECT_EQ(f.settings.values["FoxproOption"], "1");
    EXPECT_EQ(f.view.closed, 1);
  }
}

TEST(Form6NewContainer, AFailedCreationIsReportedAndTheDialogStillCloses) {
  Fixture f;
  f.failCreate = true;
  Form6Logic& d = f.open();
  d.setText1(f.folder.file("sub/new.dbc"));
  f.ui.answers = {MessageAnswer::Yes};
  d.PushButton1_Click();
  ASSERT_EQ(f.ui.boxes.size(), 2u);
  EXPECT_EQ(f.ui.boxes[1].title, "Application Error");
  EXPECT_NE(f.ui.boxes[1].text.find("Permission denied"), std::string::npos);
  EXPECT_NE(f.ui.boxes[1].text.find("in Tavrel2021/08/31.Form6.PushButton1_Click at line 106"), std::string::npos);
  EXPECT_EQ(f.view.closed, 1);
}

TEST(Form6NewContainer, WithoutACreatorTheFailureSaysSo) {
  Fixture f;
  Form6Logic& d = f.open();
  Form6Logic bare(Form6Services{f.settings, f.ui, f.dialogs, f.folder.path(), nullptr}, *f.main, f.view);
  bare.setText1(f.folder.file("x.dbc"));
  f.ui.answers = {MessageAnswer::Yes};
  bare.PushButton1_Click();
  ASSERT_EQ(f.ui.boxes.size(), 2u);
  EXPECT_NE(f.ui.boxes[1].text.find("not available"), std::string::npos);
  (void)d;
}

TEST(Form6Guards, AFailedWriteOnOkIsReportedAndTheDialogCloses) {
  Fixture f;
  Form6Logic& d = f.open();
  const std::string path = f.folder.file("db.dbc");
  std::ofstream(path) << "dbc";
  d.setText1(path);
  f.settings.failWrites = true;
  d.PushButton1_Click();
  ASSERT_EQ(f.ui.boxes.size(), 1u);
  EXPECT_NE(f.ui.boxes[0].text.find("Form6.PushButton1_Click at line 112"), std::string::npos);
  EXPECT_TRUE(f.main->OptionDBC1());
  EXPECT_EQ(f.view.closed, 1);
}

}  // namespace
}  // namespace tw
