// The main window's behaviour without a display: start-up from the stored settings, every
// handler with the keys it stores, Test Connection, and the load sequence's failure paths.
#include "app/form1_logic.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <regex>

#include "common/guard.h"
#include "platform/jet/provider.h"
#include "platform/vfp/provider.h"
#include "support/fake_file_dialogs.h"
#include "support/fake_settings.h"
#include "support/fake_shell.h"
#include "support/fake_ui.h"
#include "support/memory_provider.h"
#include "support/scratch_folder.h"

namespace tw {
namespace {

class FakeView : public Form1View {
 public:
  void showField(Field f) override { shown.push_back(f); }
  void applySkin(const std::string& path) override {
    calls.push_back("skin " + path);
    if (failSkin) throw std::runtime_error("The skin file could not be read.");
  }
  void loadPointerImage(const std::string& path) override { calls.push_back("pointer " + path); }
  void setCaption(const std::string& caption) override { calls.push_back("caption " + caption); }
  void setApplicationIcon() override { calls.push_back("icon"); }
  void showAdvancedOptions() override { calls.push_back("form6"); }
  std::vector<Field> shown;
  std::vector<std::string> calls;
  bool failSkin = false;
};

// One main window over fakes, with the FoxPro engine as the only provider unless told.
struct Window {
  explicit Window(FakeSettingsStore stored = {}, bool withProviders = true) : settings(std::move(stored)) {
    if (withProviders) data::registerFoxProProvider(dataAccess);
  }
  Form1Logic& logic() {
    if (!logic_)
      logic_ = std::make_unique<Form1Logic>(Form1Services{settings, ui, shell, dialogs, dataAccess, locale,
                                                          folder.path(), [this] { return fraction; }, userSamples},
                                            view);
    return *logic_;
  }
  std::vector<std::string> texts() const {
    std::vector<std::string> out;
    for (const auto& b : ui.boxes) out.push_back(b.text);
    return out;
  }

  FakeSettingsStore settings;
  FakeUi ui;
  FakeShell shell;
  FakeFileDialogs dialogs;
  data::DataAccess dataAccess;
  Locale locale = Locale::system();
  ScratchFolder folder;  // the program folder
  FakeView view;
  double fraction = 0.5;
  std::string userSamples;

 private:
  std::unique_ptr<Form1Logic> logic_;
};

int reportedLine(const std::string& text) {
  std::smatch m;
  std::regex line("at line ([0-9]+)");
  return std::regex_search(text, m, line) ? std::stoi(m[1]) : -1;
}

TEST(ApplicationTitle, CutsAtWordsToFortyCharactersAndKeepsABlanklessTitle) {
  EXPECT_EQ(ApplicationTitleFor("Tablewright"), "Tablewright");
  EXPECT_EQ(ApplicationTitleFor("Tablewright Converter"), "Tablewright");
  EXPECT_EQ(ApplicationTitleFor("A B C"), "A B");
  // 46 characters: the last word goes, and the next too while still longer than 40.
  EXPECT_EQ(ApplicationTitleFor("Quernfield Access to Visual FoxPro Converter 9"),
            "Quernfield Access to Visual FoxPro");
  EXPECT_EQ(ApplicationTitleFor("Quernfield Access Database to Visual FoxPro Table Converter"),
            "Quernfield Access Database to Visual");
  EXPECT_EQ(ApplicationTitleFor(std::string(50, 'x')), std::string(40, 'x'));
}

TEST(StoredValues, ConvertAsTheLoadSequenceReadsThem) {
  EXPECT_EQ(SettingAsInteger("Check1", "0"), 0);
  EXPECT_EQ(SettingAsInteger("Check1", " 1 "), 1);
  EXPECT_THROW(SettingAsInteger("Check1", "abc"), std::runtime_error);
  EXPECT_THROW(SettingAsInteger("Check1", ""), std::runtime_error);
  EXPECT_TRUE(SettingAsTruth("Option1", "True"));
  EXPECT_TRUE(SettingAsTruth("Option1", "TRUE"));
  EXPECT_TRUE(SettingAsTruth("Option1", "1"));
  EXPECT_TRUE(SettingAsTruth("Option1", "-1"));
  EXPECT_FALSE(SettingAsTruth("Option1", "false"));
  EXPECT_FALSE(SettingAsTruth("Option1", "0"));
  try {
    SettingAsTruth("Option2", "maybe");
    FAIL();
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("\"Option2\" holds \"maybe\""), std::string::npos) << e.what();
  }
}

TEST(FormLoad, FirstStartWithAnEmptyStore) {
  Window w;
  Form1Logic& f = w.logic();
  ASSERT_TRUE(f.Form_Load());
  EXPECT_TRUE(w.ui.boxes.empty());
  EXPECT_EQ(f.Check1(), 1);
  EXPECT_TRUE(f.optionsEnabled());
  EXPECT_TRUE(f.Option1());
  EXPECT_FALSE(f.Option2());
  EXPECT_EQ(f.Text5(), "");
  EXPECT_EQ(f.Text6(), "");
  EXPECT_EQ(f.Text2(), "");
  EXPECT_TRUE(f.OptionDBC1());
  EXPECT_EQ(f.DBCPath1(), "");
  EXPECT_EQ(w.ui.applicationTitle(), "Tablewright");
  EXPECT_EQ(w.view.calls,
            (std::vector<std::string>{"skin " + w.folder.path() + "/x/o.cjs", "caption Tablewright", "icon"}));
  // The replays wrote the choices back; empty fields were never changed, so never stored.
  EXPECT_EQ(w.settings.values,
            (std::map<std::string, std::string>{{"Check1", "1"}, {"Option1", "True"}, {"Option2", "False"}}));
  // No destination yet: the test cannot connect.
  f.PushButton8_Click();
  EXPECT_EQ(w.texts(), (std::vector<std::string>{"Could not connect."}));
}

TEST(FormLoad, AStoredFolderAlwaysEndsAsFreeTables) {
  Window w({{"FreeTableFolder", "/data/dbf"}, {"FoxproOption", "1"}, {"DBCFile", "/data/db.dbc"}});
  ASSERT_TRUE(w.logic().Form_Load());
  EXPECT_EQ(w.logic().Text2(), "/data/dbf");
  EXPECT_FALSE(w.logic().OptionDBC1());
  EXPECT_EQ(w.logic().DBCPath1(), "/data/db.dbc");
  EXPECT_EQ(w.settings.values["FoxproOption"], "2");
  EXPECT_EQ(w.settings.writesOf("FreeTableFolder"), std::vector<std::string>{"/data/dbf"});
}

TEST(FormLoad, NoFolderAndAStoredContainerChoosesTheContainer) {
  for (const char* option : {"1", "", "x"}) {
    SCOPED_TRACE(option);
    Window w({{"FoxproOption", option}, {"DBCFile", "/data/db.dbc"}});
    ASSERT_TRUE(w.logic().Form_Load());
    EXPECT_TRUE(w.logic().OptionDBC1());
    EXPECT_EQ(w.logic().DBCPath1(), "/data/db.dbc");
    EXPECT_EQ(w.settings.values["FoxproOption"], option);  // unchanged
  }
  Window freeTables({{"FoxproOption", "2"}, {"DBCFile", "/data/db.dbc"}});
  ASSERT_TRUE(freeTables.logic().Form_Load());
  EXPECT_FALSE(freeTables.logic().OptionDBC1());
}

TEST(FormLoad, RestoresPreviewChoicesAndFieldsAndWritesThemBack) {
  Window w({{"Option1", "False"},
            {"Option2", "True"},
            {"Check1", "0"},
            {"AccessMDBFile", "/a/b.mdb"},
            {"AccessPassword", "s3cr et"}});
  ASSERT_TRUE(w.logic().Form_Load());
  EXPECT_FALSE(w.logic().Option1());
  EXPECT_TRUE(w.logic().Option2());
  EXPECT_EQ(w.logic().Check1(), 0);
  EXPECT_FALSE(w.logic().optionsEnabled());
  EXPECT_EQ(w.logic().Text5(), "/a/b.mdb");
  EXPECT_EQ(w.logic().Text6(), "s3cr et");
  EXPECT_EQ(w.settings.writesOf("Option2"), std::vector<std::string>{"True"});
  EXPECT_EQ(w.settings.writesOf("Option1"), std::vector<std::string>{"False"});
  EXPECT_EQ(w.settings.writesOf("AccessPassword"), std::vector<std::string>{"s3cr et"});
  EXPECT_EQ(w.settings.writesOf("Check1"), std::vector<std::string>{"0"});
}

TEST(FormLoad, BothOptionsStoredFalseKeepOneSelected) {
  Window w({{"Option1", "False"}, {"Option2", "0"}});
  ASSERT_TRUE(w.logic().Form_Load());
  EXPECT_NE(w.logic().Option1(), w.logic().Option2());
}

TEST(FormLoad, AFailingStepIsReportedAndTheSequenceGoesOn) {
  Window w({{"Check1", "abc"}, {"Option1", "maybe"}, {"AccessMDBFile", "/a/b.mdb"}});
  w.view.failSkin = true;
  ASSERT_TRUE(w.logic().Form_Load());
  ASSERT_EQ(w.ui.boxes.size(), 3u);
  for (const auto& box : w.ui.boxes) {
    EXPECT_EQ(box.title, "Application Error");
    EXPECT_NE(box.text.find("in Tavrel2021/08/31.Form1.Form_Load at line "), std::string::npos) << box.text;
  }
  EXPECT_EQ(reportedLine(w.ui.boxes[0].text), 100);  // the skin
  EXPECT_EQ(reportedLine(w.ui.boxes[1].text), 118);  // Check1
  EXPECT_NE(w.ui.boxes[1].text.find("\"abc\""), std::string::npos);
  EXPECT_EQ(reportedLine(w.ui.boxes[2].text), 120);  // Option1
  // The controls kept their previous values, and the later steps ran.
  EXPECT_EQ(w.logic().Check1(), 0);
  EXPECT_TRUE(w.logic().Option1());
  EXPECT_EQ(w.logic().Text5(), "/a/b.mdb");
  EXPECT_EQ(w.view.calls.back(), "icon");
}

TEST(FormLoad, EndsWhenTheDataAccessLayerIsMissing) {
  Window w({}, /*withProviders=*/false);
  w.ui.answers = {MessageAnswer::No};
  EXPECT_FALSE(w.logic().Form_Load());
  ASSERT_EQ(w.ui.boxes.size(), 1u);
  EXPECT_EQ(w.ui.boxes[0].buttons, MessageButtons::YesNo);
  EXPECT_NE(w.ui.boxes[0].text.find("Error #3706"), std::string::npos);
}

TEST(FormLoad, LoadsTheHandPointerOnlyWhenItsFileIsThere) {
  Window without;
  ASSERT_TRUE(without.logic().Form_Load());
  for (const auto& c : without.view.calls) EXPECT_EQ(c.find("pointer"), std::string::npos) << c;
  Window with;
  std::ofstream(with.folder.file("HAND-M.CUR")) << "x";
  ASSERT_TRUE(with.logic().Form_Load());
  EXPECT_EQ(with.view.calls[1], "pointer " + with.folder.path() + "/HAND-M.CUR");
}

TEST(FormLoad, VisitsTheVendorSiteOnlyWhenTheDrawIsSeven) {
  for (double fraction : {0.0, 0.059, 0.06, 0.0699, 0.07, 0.99}) {
    SCOPED_TRACE(fraction);
    Window w;
    w.fraction = fraction;
    ASSERT_TRUE(w.logic().Form_Load());
    bool seven = static_cast<int>(fraction * 100) + 1 == 7;
    EXPECT_EQ(w.shell.opened, seven ? std::vector<std::string>{kVendorSite} : std::vector<std::string>{});
  }
}

TEST(Handlers, FieldsStoreEveryEditAndTheFolderSwitchesToFreeTables) {
  Window w({{"FoxproOption", "1"}, {"DBCFile", "/d.dbc"}});
  Form1Logic& f = w.logic();
  ASSERT_TRUE(f.Form_Load());
  ASSERT_TRUE(f.OptionDBC1());
  f.setText5("/x.mdb");
  f.setText6("pw");
  EXPECT_EQ(w.settings.values["AccessMDBFile"], "/x.mdb");
  EXPECT_EQ(w.settings.values["AccessPassword"], "pw");
  f.setText2("/f");
  EXPECT_EQ(w.settings.values["FreeTableFolder"], "/f");
  EXPECT_EQ(w.settings.values["FoxproOption"], "2");
  EXPECT_FALSE(f.OptionDBC1());
  // Clearing the folder stores the empty text and leaves the kind alone, either way.
  f.setOptionDBC1(true);
  w.settings.values["FoxproOption"] = "1";
  f.setText2("");
  EXPECT_EQ(w.settings.values["FreeTableFolder"], "");
  EXPECT_EQ(w.settings.values["FoxproOption"], "1");
  EXPECT_TRUE(f.OptionDBC1());
}

TEST(Handlers, Check1EnablesTheOptionsAndTheOptionsStoreBothKeys) {
  Window w;
  Form1Logic& f = w.logic();
  ASSERT_TRUE(f.Form_Load());
  f.setOption2(true);
  EXPECT_EQ(w.settings.values["Option1"], "False");
  EXPECT_EQ(w.settings.values["Option2"], "True");
  f.setCheck1(0);
  EXPECT_FALSE(f.optionsEnabled());
  EXPECT_EQ(w.settings.values["Check1"], "0");
  // Unticking keeps the options' values and keys.
  EXPECT_TRUE(f.Option2());
  EXPECT_EQ(w.settings.values["Option2"], "True");
  f.setCheck1(1);
  EXPECT_TRUE(f.optionsEnabled());
  EXPECT_THROW(f.setCheck1(2), std::runtime_error);
  // Clicking the selected option writes both keys again.
  std::size_t before = w.settings.writes.size();
  f.setOption2(true);
  EXPECT_EQ(w.settings.writes.size(), before + 2);
}

TEST(Handlers, AccessFileDialogAndSampleButtons) {
  Window w;
  Form1Logic& f = w.logic();
  ASSERT_TRUE(f.Form_Load());
  f.setText6("kept");
  w.dialogs.answers = {"/chosen/file.accdb", ""};
  f.PushButton1_Click();
  ASSERT_EQ(w.dialogs.calls.size(), 1u);
  EXPECT_EQ(w.dialogs.calls[0].title, "Select Access Database");
  EXPECT_EQ(w.dialogs.calls[0].filter,
            "All Microsoft Databases (*.mdb,*.accdb)|*.*db|Microsoft Database (*.mdb)|*.mdb|"
            "Microsoft 2007 Database (*.accdb)|*.accdb|");
  EXPECT_EQ(w.dialogs.calls[0].start, "");
  EXPECT_EQ(f.Text5(), "/chosen/file.accdb");
  // Cancel leaves the field and its key alone.
  f.PushButton1_Click();
  EXPECT_EQ(f.Text5(), "/chosen/file.accdb");
  EXPECT_EQ(w.settings.writesOf("AccessMDBFile").size(), 1u);
  f.PushButton4_Click();
  EXPECT_EQ(f.Text5(), w.folder.path() + "/Samples/sample.mdb");
  EXPECT_EQ(f.Text6(), "kept");
  EXPECT_EQ(w.settings.values["AccessMDBFile"], w.folder.path() + "/Samples/sample.mdb");
}

TEST(Handlers, AFailingFileDialogIsReportedAtItsLineAndChangesNothing) {
  Window w;
  ASSERT_TRUE(w.logic().Form_Load());
  w.logic().setText5("/before.mdb");
  w.dialogs.fail = true;
  w.logic().PushButton1_Click();
  ASSERT_EQ(w.ui.boxes.size(), 1u);
  EXPECT_NE(w.ui.boxes[0].text.find("in Tavrel2021/08/31.Form1.PushButton1_Click at line 108"), std::string::npos);
  EXPECT_EQ(w.logic().Text5(), "/before.mdb");
}

TEST(Handlers, FolderPickerAndFoxProSampleSwitchToFreeTables) {
  Window w({{"FoxproOption", "1"}});
  Form1Logic& f = w.logic();
  ASSERT_TRUE(f.Form_Load());
  ASSERT_TRUE(f.OptionDBC1());
  w.dialogs.answers = {"", "/picked"};
  f.PushButton2_Click();  // cancelled
  EXPECT_EQ(f.Text2(), "");
  EXPECT_TRUE(f.OptionDBC1());
  f.PushButton2_Click();
  EXPECT_EQ(w.dialogs.calls[1].kind, "folder");
  EXPECT_EQ(w.dialogs.calls[1].title, "Please select folder:");
  EXPECT_EQ(w.dialogs.calls[1].start, "");
  EXPECT_EQ(f.Text2(), "/picked");
  EXPECT_FALSE(f.OptionDBC1());
  EXPECT_EQ(w.settings.values["FoxproOption"], "2");

  f.setOptionDBC1(true);
  w.settings.values["FoxproOption"] = "1";
  f.PushButton3_Click();
  EXPECT_EQ(f.Text2(), w.folder.path() + "/Samples");
  EXPECT_FALSE(f.OptionDBC1());
  EXPECT_EQ(w.settings.values["FoxproOption"], "2");
  EXPECT_EQ(w.settings.values["FreeTableFolder"], w.folder.path() + "/Samples");
}

TEST(Handlers, FoxProSampleGoesToTheUsersFolderWhenTheProgramFolderCannotTakeIt) {
  Window w;
  w.userSamples = w.folder.file("home/data/Samples");
  Form1Logic& f = w.logic();
  ASSERT_TRUE(f.Form_Load());
  // No writable "Samples" in the program folder (as for /usr/lib/tablewright).
  f.PushButton3_Click();
  EXPECT_EQ(f.Text2(), w.userSamples);
  EXPECT_TRUE(std::filesystem::is_directory(w.userSamples));
  EXPECT_EQ(w.settings.values["FreeTableFolder"], w.userSamples);
  EXPECT_FALSE(f.OptionDBC1());
  // A program folder whose "Samples" the user can write keeps it.
  std::filesystem::create_directory(w.folder.file("Samples"));
  f.PushButton3_Click();
  EXPECT_EQ(f.Text2(), w.folder.path() + "/Samples");
}

TEST(Handlers, HelpDbcAndAFailingSettingsWrite) {
  Window w;
  Form1Logic& f = w.logic();
  ASSERT_TRUE(f.Form_Load());
  f.PushButton5_Click();
  ASSERT_EQ(w.ui.boxes.size(), 1u);
  EXPECT_EQ(
      w.ui.boxes[0].text,
      "This software transfers text-based and numeric fields but does not handle binary / pictures fields.\r\n\r\n"
      "Use SQL Preview if your tables contains less than 32767 rows.\r\n\r\n"
      "Questions? Please contact Team Quernfield at http://www.quernfield.com/contact/");
  EXPECT_EQ(w.ui.boxes[0].buttons, MessageButtons::Ok);
  f.PushButton12_Click();
  EXPECT_EQ(w.view.calls.back(), "form6");

  // Typing into a field whose key cannot be stored: told once, the field still changes.
  w.settings.failWrites = true;
  f.setText5("/a");
  f.setText5("/ab");
  EXPECT_EQ(f.Text5(), "/ab");
  ASSERT_EQ(w.ui.boxes.size(), 2u);
  EXPECT_NE(w.ui.boxes[1].text.find("could not be written"), std::string::npos);
  // The guarded FoxPro sample button reports its failed write and still sets the folder.
  f.PushButton3_Click();
  ASSERT_EQ(w.ui.boxes.size(), 3u);
  EXPECT_EQ(reportedLine(w.ui.boxes[2].text), 100);
  EXPECT_EQ(f.Text2(), w.folder.path() + "/Samples");
}

TEST(TestConnection, AnswersBothWaysWithTheHourglassAroundIt) {
  Window w;
  Form1Logic& f = w.logic();
  ASSERT_TRUE(f.Form_Load());
  f.setText2(w.folder.path());
  f.PushButton8_Click();
  f.setText2(w.folder.path() + "/missing");
  f.PushButton8_Click();
  // A container that does not exist cannot be opened either.
  f.setOptionDBC1(true);
  f.setDBCPath1(w.folder.file("none.dbc"));
  f.PushButton8_Click();
  EXPECT_EQ(w.texts(),
            (std::vector<std::string>{"Connection successful.", "Could not connect.", "Could not connect."}));
  for (const auto& b : w.ui.boxes) EXPECT_EQ(b.title, "Tablewright");
  EXPECT_EQ(w.ui.pointers, (std::vector<int>{kPointerHourglass, kPointerDefault, kPointerHourglass, kPointerDefault,
                                             kPointerHourglass, kPointerDefault}));
}

TEST(StartConverting, RunsThroughTheWindowsFieldsAndIgnoresASecondPress) {
  auto memory = std::make_shared<data::MemoryProvider>();
  data::MemoryTable table{"Orders", "TABLE", {{"Id", 3, 0, 0}}, {{Value(std::int32_t{1})}, {Value(std::int32_t{2})}}};
  Window w;
  const std::string source = w.folder.file("src.mdb");
  std::ofstream(source) << "";
  data::MemoryDatabase database;
  database.tables.push_back(table);
  memory->addDatabase(source, database);
  w.dataAccess.registerProvider("Microsoft.Jet.OLEDB.4.0", memory);
  Form1Logic& f = w.logic();
  ASSERT_TRUE(f.Form_Load());
  f.setCheck1(0);
  f.setText2(w.folder.path());
  f.setText5(source);
  int nested = 0;
  w.ui.onYield = [&] {
    if (nested++ == 0) f.PushButton7_Click();  // a second press during the run
  };
  f.PushButton7_Click();
  const std::vector<std::string> texts = w.texts();
  EXPECT_EQ(texts.back(), "Done.\r\n\r\n1 table converted, 0 skipped, 0 failed; 2 rows written in " +
                              texts.back().substr(texts.back().rfind(' ', texts.back().size() - 3) + 1));
  EXPECT_EQ(std::count_if(texts.begin(), texts.end(), [](const std::string& t) { return t.rfind("Done.", 0) == 0; }),
            1);
  EXPECT_TRUE(std::filesystem::exists(w.folder.file("orders.dbf")) ||
              std::filesystem::exists(w.folder.file("Orders.dbf")))
      << texts.front();
  EXPECT_EQ(f.progressCaption(), "Progress Bar");
  EXPECT_EQ(f.progressValue(), 0);
  EXPECT_EQ(f.List2().count(), 1);
  EXPECT_TRUE(f.Form_QueryUnload());
}

// A window over an in-memory Access database (a file stands at its path) of one-column
// tables with the given rows, converting into a scratch folder.
struct RunWindow : Window {
  explicit RunWindow(const std::vector<std::pair<std::string, int>>& tables) {
    std::ofstream(source) << "";
    data::MemoryDatabase& database = memory->addDatabase(source);
    for (const auto& [name, rows] : tables) {
      database.tables.push_back({name, "TABLE", {{"Id", 3, 0, 0}}, {}});
      for (int r = 1; r <= rows; ++r) database.tables.back().rows.push_back({Value(std::int32_t{r})});
    }
    dataAccess.registerProvider("Microsoft.Jet.OLEDB.4.0", memory);
    EXPECT_TRUE(logic().Form_Load());
    logic().setCheck1(0);
    logic().setText5(source);
    logic().setText2(out.path());
    logic().setYieldInterval(std::chrono::milliseconds(0));
  }
  std::string lastBox() const { return std::regex_replace(ui.boxes.back().text, std::regex(" in [0-9.]+ s"), ""); }

  std::shared_ptr<data::MemoryProvider> memory = std::make_shared<data::MemoryProvider>();
  std::string source = folder.file("src.mdb");
  ScratchFolder out;
};

TEST(StartConverting, YesToAllAndNoToAllAnswerEveryOverwriteQuestion) {
  RunWindow w({{"A", 1}, {"B", 1}, {"C", 1}});
  w.logic().PushButton7_Click();
  for (MessageAnswer all : {MessageAnswer::YesToAll, MessageAnswer::NoToAll}) {
    w.ui.boxes.clear();
    w.ui.answers = {all};
    w.logic().PushButton7_Click();
    ASSERT_EQ(w.ui.boxes.size(), 2u) << w.lastBox();  // one question, then the last box
    EXPECT_EQ(w.ui.boxes[0].buttons, MessageButtons::YesNoAll);
    EXPECT_EQ(w.lastBox(), all == MessageAnswer::YesToAll
                               ? "Done.\r\n\r\n3 tables converted, 0 skipped, 0 failed; 3 rows written"
                               : "Done.\r\n\r\n0 tables converted, 3 skipped, 0 failed; 0 rows written"
                                 "\r\n\r\nNothing was written.");
  }
}

TEST(StartConverting, ClosingDuringARunAsksAndAStopLeavesTheRowsWrittenSoFar) {
  RunWindow w({{"Orders", 200}});
  Form1Logic& f = w.logic();
  w.ui.answers = {MessageAnswer::No, MessageAnswer::Yes};  // the run goes on, then stops
  int yields = 0;
  w.ui.onYield = [&] {
    if (++yields == 20 || yields == 60) {
      EXPECT_FALSE(f.Form_QueryUnload());
    }
  };
  f.PushButton7_Click();
  std::smatch m;
  const std::string last = w.lastBox();
  ASSERT_TRUE(std::regex_match(last, m,
                               std::regex("Stopped\\.\r\n\r\nThe table Orders keeps the ([0-9]+) rows written before "
                                          "the stop\\.\r\n\r\n0 tables converted, 0 skipped, 0 failed, 1 stopped; "
                                          "[0-9]+ rows written")))
      << last;
  const int kept = std::stoi(m[1]);
  EXPECT_TRUE(kept > 0 && kept < 200) << kept;
  // The table is complete on disk with the rows the box names: its header counts them.
  unsigned char header[8] = {};
  std::ifstream(w.out.file("orders.dbf"), std::ios::binary).read(reinterpret_cast<char*>(header), 8);
  EXPECT_EQ(header[4] | header[5] << 8 | header[6] << 16 | header[7] << 24, kept);
  EXPECT_TRUE(f.stopRequested());
  EXPECT_TRUE(f.Form_QueryUnload());  // no run now: the window closes
}

TEST(StartConverting, WhatWouldStopTheRunIsOneBoxBeforeItStarts) {
  const std::string sample = std::string(TW_BINARY_DIR) + "/bin/Samples/sample.mdb";
  if (!std::filesystem::exists(sample)) GTEST_SKIP() << "the sample database is not built";
  Window w;
  jet::registerAccessProviders(w.dataAccess);
  Form1Logic& f = w.logic();
  ASSERT_TRUE(f.Form_Load());
  const std::string dir = w.folder.path(), text = w.folder.file("notes.mdb"), none = w.folder.file("none.dbc");
  std::ofstream(text) << "not a database";
  // Access file, folder, container: the box's text (a trailing blank: the system's reason
  // follows, "permission denied", or for root "operation not permitted").
  const std::vector<std::array<std::string, 4>> cases = {
      {"", dir, "", "No Access database is chosen: name the MDB or ACCDB file first."},
      {dir + "/x.mdb", dir, "", dir + "/x.mdb cannot be opened: no such file or directory."},
      {dir, dir, "", dir + " is a folder, not an Access database."},
      {text, dir, "", text + " is not an Access database."},
      {sample, "", "", "No folder for the FoxPro tables is chosen."},
      {sample, dir + "/x", "", dir + "/x cannot be used: no such file or directory"},
      {sample, "/proc/1", "", "/proc/1 cannot be written: "},
      {sample, "", none, none + " cannot be used: no such file or directory"},
  };
  for (const auto& [text5, text2, dbc, box] : cases) {
    w.ui.boxes.clear();
    f.setText5(text5);
    f.setText2(text2);
    f.setOptionDBC1(!dbc.empty());
    f.setDBCPath1(dbc);
    f.PushButton7_Click();
    ASSERT_EQ(w.ui.boxes.size(), 1u) << w.ui.boxes.back().text;
    EXPECT_EQ(w.ui.boxes[0].text.substr(0, box.size()), box);
    EXPECT_EQ(box.back() == ' ', w.ui.boxes[0].text.size() > box.size()) << w.ui.boxes[0].text;
  }
  // Test Connection does not call a folder the run cannot write to connected.
  f.setText2("/proc/1");
  f.PushButton8_Click();
  EXPECT_EQ(w.ui.boxes.back().text, "Could not connect.");
}

TEST(OpenPath, TakesAnAccessFileAFolderOrAContainerAsChosenAndRefusesTheRest) {
  Window w;
  Form1Logic& f = w.logic();
  ASSERT_TRUE(f.Form_Load());
  const std::string mdb = w.folder.file("Old.MDB"), dbc = w.folder.file("db.dbc"), txt = w.folder.file("a.txt");
  for (const std::string& file : {mdb, dbc, txt}) std::ofstream(file) << "x";
  EXPECT_TRUE(f.OpenPath(mdb) && f.OpenPath(dbc));
  EXPECT_TRUE(f.OptionDBC1() && f.DBCPath1() == dbc);
  EXPECT_EQ(w.settings.values["DBCFile"] + w.settings.values["FoxproOption"], dbc + "1");
  EXPECT_TRUE(f.OpenPath(w.folder.path()));
  EXPECT_FALSE(f.OptionDBC1());
  EXPECT_EQ(w.settings.values["FreeTableFolder"] + w.settings.values["FoxproOption"], w.folder.path() + "2");
  // Refused with one box each; the stored choice stays.
  EXPECT_FALSE(f.OpenPath(w.folder.file("gone.accdb")) || f.OpenPath(txt));
  EXPECT_EQ(w.texts(), (std::vector<std::string>{
                           w.folder.file("gone.accdb") + " cannot be opened: no such file or directory.",
                           txt + " is not an Access database (.mdb, .accdb), a folder or a FoxPro database "
                                 "container (.dbc)."}));
  EXPECT_EQ(w.settings.values["AccessMDBFile"], mdb);
}

}  // namespace
}  // namespace tw
