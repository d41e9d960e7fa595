// The SQL Preview window as the conversion run opens it: the sample database converted
// through the real window into a folder of FoxPro tables made by the program's engine,
// in per-file and per-table preview, with each way of closing the window.
#include <QDir>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <map>

#include "convert/conversion_run.h"
#include "modal_helper.h"
#include "platform/case_rules.h"
#include "platform/jet/provider.h"
#include "platform/vfp/provider.h"
#include "preview/qt/form2.h"
#include "preview/qt/qt_preview_window.h"
#include "support/fake_clipboard.h"
#include "support/fake_shell.h"
#include "support/fake_ui.h"

using tw::testing::child;

namespace tw {

class PreviewRunTest : public QObject {
  Q_OBJECT

 private:
  const QString sample = QStringLiteral(TW_BINARY_DIR "/bin/Samples/sample.mdb");
  std::unique_ptr<QTemporaryDir> folder;
  data::DataAccess access;
  FakeUi ui;
  FakeClipboard clipboard;
  FakeShell shell;
  MainWindowModel window;
  ConversionState state;
  // What each showing of the window held: its first statement, and its line count.
  std::vector<std::pair<std::string, std::size_t>> shown;

  // Runs the conversion; `act` answers each showing of the window (by its index) by
  // clicking the named button, or the close box for "close".
  void convert(std::vector<const char*> act) {
    QtPreviewWindow preview(clipboard, shell, nullptr, &ui);
    preview.setOnCreated([&](Form2& form) {
      QPointer<Form2> guarded(&form);
      const std::size_t index = shown.size();
      shown.push_back(
          {state.statements.empty() ? "" : std::string(state.statements.item(0)), state.statements.size()});
      const char* what = index < act.size() ? act[index] : "PushButton5";
      QTimer::singleShot(0, &form, [guarded, what] {
        if (!guarded) return;
        if (std::string(what) == "close") guarded->close();
        else QTest::mouseClick(child<QPushButton>(guarded.data(), what), Qt::LeftButton);
      });
    });
    const Locale locale("en_US");  // the run keeps a reference: it must outlive the run
    ConversionRun run(access, ui, window, state, locale, &preview);
    run.StartConverting();
  }

  // Row count per table of a connection string's database.
  std::map<std::string, std::int64_t> tables(const std::string& connection) {
    std::map<std::string, std::int64_t> out;
    auto conn = access.createConnection();
    conn->Open(connection);
    auto schema = conn->OpenSchema(data::kSchemaTables);
    std::vector<std::string> names;
    for (; !schema->Eof(); schema->MoveNext()) {
      const std::string* type = schema->value("TABLE_TYPE").get<std::string>();
      const std::string* name = schema->value("TABLE_NAME").get<std::string>();
      if (name && type && *type == "TABLE") names.push_back(*name);
    }
    for (const auto& name : names) {
      data::Recordset rs;
      rs.Open("SELECT * FROM `" + name + "`", *conn);
      out[asciiLower(name)] = rs.RecordCount();
    }
    conn->Close();
    return out;
  }
  std::map<std::string, std::int64_t> sourceTables() {
    return tables("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + sample.toStdString());
  }
  std::map<std::string, std::int64_t> targetTables() {
    return tables("Provider=vfpoledb.1;Data Source=" + window.text2 + ";");
  }
  int reports() const {
    int n = 0;
    for (const auto& b : ui.boxes) n += b.title == "Application Error";
    return n;
  }

 private slots:
  void initTestCase() {
    if (!QFile::exists(sample)) QSKIP("the sample database has not been built");
    jet::registerAccessProviders(access);
    data::registerFoxProProvider(access);
  }
  void init() {
    folder = std::make_unique<QTemporaryDir>();
    QVERIFY(folder->isValid());
    window = MainWindowModel();
    window.text5 = sample.toStdString();
    window.text2 = folder->path().toStdString();
    window.check1 = 1;
    state = ConversionState();
    ui = FakeUi();
    shown.clear();
  }

  void perFileExecuteWritesEveryTable() {
    window.option1 = true;
    window.option2 = false;
    convert({"PushButton1"});
    QCOMPARE(shown.size(), std::size_t{1});
    QCOMPARE(reports(), 0);
    QCOMPARE(QString::fromStdString(ui.boxes.back().text), QString("Done."));
    auto source = sourceTables();
    QVERIFY(source.size() >= 2);
    QCOMPARE(targetTables(), source);
    QVERIFY(state.SQLFormOK);
    QVERIFY(!state.FoxPro_conn->isOpen());
  }

  void perFileBackOrCloseBoxExecutesNothing() {
    window.option1 = true;
    window.option2 = false;
    for (const char* way : {"PushButton5", "close"}) {
      convert({way});
      QVERIFY(targetTables().empty());
      QVERIFY(!state.SQLFormOK);
      QCOMPARE(QString::fromStdString(ui.boxes.back().text), QString("Done."));
    }
    QCOMPARE(shown.size(), std::size_t{2});
    QCOMPARE(reports(), 0);
  }

  void perTableSkipsOneTableAndExecutesTheNext() {
    window.option1 = false;
    window.option2 = true;
    convert({"PushButton9", "PushButton1"});
    // The executed table goes on with the next, whose "< Back" ends the run: three
    // showings, one table written.
    QCOMPARE(shown.size(), std::size_t{3});
    QCOMPARE(reports(), 0);
    auto source = sourceTables();
    auto target = targetTables();
    QCOMPARE(target.size(), std::size_t{1});
    const std::string written = target.begin()->first;
    QCOMPARE(target[written], source[written]);
    // The executed table is the one the second window showed, not the skipped one.
    QVERIFY(QString::fromStdString(shown[1].first).contains(QString::fromStdString(written), Qt::CaseInsensitive));
    QVERIFY(!QString::fromStdString(shown[0].first).contains(QString::fromStdString(written), Qt::CaseInsensitive));
    QCOMPARE(QString::fromStdString(ui.boxes.back().text), QString("Done."));
  }

  void perTableSkippingEveryTableWalksThroughAllOfThem() {
    window.option1 = false;
    window.option2 = true;
    std::vector<const char*> skipAll(20, "PushButton9");
    convert(skipAll);
    QCOMPARE(shown.size(), sourceTables().size());
    QVERIFY(targetTables().empty());
  }

  void perTableBackOrCloseBoxEndsTheRun() {
    window.option1 = false;
    window.option2 = true;
    for (const char* way : {"PushButton5", "close"}) {
      convert({way});
      QVERIFY(targetTables().empty());
      QVERIFY(state.StopAfterPreview);
    }
    QCOMPARE(shown.size(), std::size_t{2});
  }
};

}  // namespace tw

QTEST_MAIN(tw::PreviewRunTest)
#include "preview_run_test.moc"
