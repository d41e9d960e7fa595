// The whole preview loop in the desktop program: the real main window, the SQL Preview
// window it opens, and a folder of FoxPro tables made by the program's engine. The sample
// database is converted in per-file preview and executed, then read back; in per-table
// preview one table is skipped and the next executed; a statement the engine rejects is
// corrected with Find and Replace and the list executed again.
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>
#include <QtTest>

#include <functional>
#include <map>

#include "app/widgets/form1.h"
#include "modal_helper.h"
#include "platform/case_rules.h"
#include "platform/jet/provider.h"
#include "platform/vfp/provider.h"
#include "preview/qt/form2.h"
#include "preview/qt/qt_preview_window.h"
#include "support/fake_clipboard.h"
#include "support/fake_file_dialogs.h"
#include "support/fake_settings.h"
#include "support/fake_shell.h"
#include "support/scratch_folder.h"
#include "support/scripted_qt_ui.h"

using tw::testing::child;
using tw::testing::onNextModal;

namespace tw {

namespace {

std::string sampleDatabase() { return std::string(TW_BINARY_DIR) + "/bin/Samples/sample.mdb"; }

// The program as main() puts it together, with scripted message boxes, fake settings and
// the real Access reader and FoxPro engine.
struct Program {
  explicit Program(FakeSettingsStore stored) : settings(std::move(stored)) {
    jet::registerAccessProviders(dataAccess);
    data::registerFoxProProvider(dataAccess);
    window = std::make_unique<Form1>(
        Form1Services{settings, ui, shell, dialogs, dataAccess, locale, folder.path(), [] { return 0.5; }}, ui);
    preview = std::make_unique<QtPreviewWindow>(clipboard, shell, window.get(), &ui);
    window->logic().setPreviewWindow(preview.get());
  }

  // Starts converting; `answer` handles each SQL Preview window the run opens, by the
  // window's index, from inside its modal loop.
  void convert(std::function<void(Form2&, int)> answer) {
    preview->setOnCreated([this, answer](Form2& form) {
      const int index = shown++;
      QPointer<Form2> guarded(&form);
      QTimer::singleShot(0, &form, [guarded, answer, index] {
        if (guarded) answer(*guarded, index);
      });
    });
    QTest::mouseClick(window->findChild<QPushButton*>("PushButton7"), Qt::LeftButton);
  }

  int reports() const {
    int n = 0;
    for (const auto& b : ui.boxes) n += b.title == "Application Error";
    return n;
  }

  FakeSettingsStore settings;
  ScriptedQtUi ui;
  FakeShell shell;
  FakeClipboard clipboard;
  FakeFileDialogs dialogs;
  data::DataAccess dataAccess;
  Locale locale = Locale("en_US");
  ScratchFolder folder;
  ScratchFolder out;
  std::unique_ptr<Form1> window;
  std::unique_ptr<QtPreviewWindow> preview;
  int shown = 0;
};

// Every table of a database: its rows, each as the texts of its values.
using Rows = std::vector<std::vector<std::string>>;
std::map<std::string, Rows> readTables(data::DataAccess& access, const std::string& connection) {
  std::map<std::string, Rows> tables;
  auto conn = access.createConnection();
  conn->Open(connection);
  std::vector<std::string> names;
  for (auto schema = conn->OpenSchema(data::kSchemaTables); !schema->Eof(); schema->MoveNext()) {
    const std::string* type = schema->value("TABLE_TYPE").get<std::string>();
    const std::string* name = schema->value("TABLE_NAME").get<std::string>();
    if (name && type && *type == "TABLE") names.push_back(*name);
  }
  for (const auto& name : names) {
    data::Recordset rs;
    rs.Open("SELECT * FROM `" + name + "`", *conn);
    Rows& rows = tables[asciiLower(name)];
    for (; !rs.Eof(); rs.MoveNext()) {
      rows.emplace_back();
      for (const Value& v : rs.row())
        rows.back().push_back(v.get<std::string>() ? *v.get<std::string>() : std::string());
    }
  }
  conn->Close();
  return tables;
}

bool holdsText(const Rows& rows, const std::string& text) {
  for (const auto& row : rows)
    for (const auto& cell : row)
      if (cell.find(text) != std::string::npos) return true;
  return false;
}

void click(QWidget* window, const char* button) {
  QTest::mouseClick(child<QPushButton>(window, button), Qt::LeftButton);
}

}  // namespace

class PreviewAppTest : public QObject {
  Q_OBJECT

 private:
  std::map<std::string, Rows> source;

  std::map<std::string, Rows> target(Program& p) {
    return readTables(p.dataAccess, "Provider=vfpoledb.1;Data Source=" + p.out.path() + ";");
  }

 private slots:
  void initTestCase() {
    if (!std::filesystem::exists(sampleDatabase())) QSKIP("the sample database has not been built");
    data::DataAccess access;
    jet::registerAccessProviders(access);
    source = readTables(access, "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + sampleDatabase());
    QVERIFY(source.size() >= 3);
  }

  void perFilePreviewExecutedAndReadBack() {
    Program p({{"Check1", "1"}, {"Option1", "True"}, {"Option2", "False"}});
    QVERIFY(p.window->loadAndShow());
    p.window->logic().setText5(sampleDatabase());
    p.window->logic().setText2(p.out.path());
    std::size_t lines = 0;
    p.convert([&](Form2& form, int) {
      lines = static_cast<std::size_t>(form.list()->model()->rowCount());
      click(&form, "PushButton1");
    });
    QCOMPARE(p.shown, 1);
    QCOMPARE(p.reports(), 0);
    QVERIFY(p.ui.texts().back().rfind("Done.\r\n", 0) == 0);
    std::size_t rows = 0;
    for (const auto& [name, table] : source) rows += table.size();
    QCOMPARE(lines, rows + source.size());  // one CREATE TABLE per table, one INSERT per row
    auto written = target(p);
    QCOMPARE(written.size(), source.size());
    for (const auto& [name, table] : source) QCOMPARE(written[name].size(), table.size());
    QVERIFY(holdsText(written["customers"], "O'Neil & Sons Hardware"));
  }

  void perTablePreviewSkipsOneTableAndExecutesTheNext() {
    Program p({{"Check1", "1"}, {"Option1", "False"}, {"Option2", "True"}});
    QVERIFY(p.window->loadAndShow());
    p.window->logic().setText5(sampleDatabase());
    p.window->logic().setText2(p.out.path());
    std::vector<std::string> firstLines;
    p.convert([&](Form2& form, int index) {
      firstLines.push_back(form.list()->model()->index(0, 0).data().toString().toStdString());
      click(&form, index == 0 ? "PushButton9" : index == 1 ? "PushButton1" : "PushButton5");
    });
    QCOMPARE(p.shown, 3);  // the executed table goes on with the next, whose "< Back" ends the run
    QCOMPARE(p.reports(), 0);
    QVERIFY(p.ui.texts().back().rfind("Done.\r\n\r\n1 table converted, 2 skipped, 0 failed;", 0) == 0);
    auto written = target(p);
    QCOMPARE(written.size(), std::size_t{1});
    const std::string& table = written.begin()->first;
    QCOMPARE(written[table].size(), source[table].size());
    QVERIFY(QString::fromStdString(firstLines[1]).contains(QString::fromStdString(table), Qt::CaseInsensitive));
    QVERIFY(!QString::fromStdString(firstLines[0]).contains(QString::fromStdString(table), Qt::CaseInsensitive));
  }

  void aRejectedStatementIsCorrectedAndTheListExecutedAgain() {
    Program p({{"Check1", "1"}, {"Option1", "True"}, {"Option2", "False"}});
    QVERIFY(p.window->loadAndShow());
    p.window->logic().setText5(sampleDatabase());
    p.window->logic().setText2(p.out.path());
    std::int32_t failedAt = 0;
    std::string errorText;
    auto replace = [](Form2& form, const char* find, const char* with) {
      onNextModal(&form, [find, with](QDialog* dialog) {
        QTest::keyClicks(child<QLineEdit>(dialog, "Text1"), find);
        QTest::keyClicks(child<QLineEdit>(dialog, "Text2"), with);
        click(dialog, "PushButton2");
      });
      click(&form, "PushButton3");
    };
    p.convert([&](Form2& form, int) {
      replace(form, "CREATE TABLE", "CREATE TABEL");  // every table definition breaks
      click(&form, "PushButton1");
      failedAt = form.session().ErrorLine();
      errorText = form.session().errorText();
      replace(form, "create tabel", "CREATE TABLE");
      click(&form, "PushButton1");
    });
    QCOMPARE(failedAt, 1);
    QVERIFY2(errorText.find("SQLException") != std::string::npos, errorText.c_str());
    QCOMPARE(p.reports(), 0);
    auto texts = p.ui.texts();
    QVERIFY(std::find(texts.begin(), texts.end(), "Error found.") != texts.end());
    QVERIFY(texts.back().rfind("Done.\r\n", 0) == 0);
    auto written = target(p);
    QCOMPARE(written.size(), source.size());
    for (const auto& [name, table] : source) QCOMPARE(written[name].size(), table.size());
  }
};

}  // namespace tw

QTEST_MAIN(tw::PreviewAppTest)
#include "preview_app_test.moc"
