// The main window as the user meets it, driven through its real widgets offscreen: layout
// and captions, accessibility, typing and clicking into the stored settings, Test
// Connection, a conversion of the sample database, the hover pointer and the start-up that
// ends the program.
#include <QAccessible>
#include <QCheckBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QTreeView>
#include <QtTest>
#include <filesystem>
#include <fstream>

#include "app/widgets/form1.h"
#include "app/widgets/form6.h"
#include "db/foxpro.h"
#include "platform/jet/provider.h"
#include "platform/qt/qt_appearance.h"
#include "platform/vfp/container_catalog.h"
#include "platform/vfp/file_system.h"
#include "platform/vfp/provider.h"
#include "preview/qt/form2.h"
#include "preview/qt/qt_preview_window.h"
#include "support/fake_file_dialogs.h"
#include "support/fake_settings.h"
#include "support/fake_shell.h"
#include "support/scratch_folder.h"
#include "support/scripted_qt_ui.h"

using namespace tw;

namespace {

// A main window over scripted boxes and a fake settings store, with the real providers.
struct Program {
  explicit Program(FakeSettingsStore stored = {}, bool providers = true) : settings(std::move(stored)) {
    if (providers) {
      jet::registerAccessProviders(dataAccess);
      data::registerFoxProProvider(dataAccess);
    }
    window = std::make_unique<Form1>(
        Form1Services{settings, ui, shell, dialogs, dataAccess, locale, folder.path(), [] { return 0.5; }}, ui);
  }
  template <class T>
  T* find(const char* name) {
    return window->findChild<T*>(QString::fromUtf8(name));
  }

  FakeSettingsStore settings;
  ScriptedQtUi ui;
  FakeShell shell;
  FakeFileDialogs dialogs;
  data::DataAccess dataAccess;
  Locale locale = Locale::system();
  ScratchFolder folder;
  std::unique_ptr<Form1> window;
};

QRect twips(int l, int t, int w, int h) { return QRect(l / 15, t / 15, w / 15, h / 15); }

class NullClipboard : public Clipboard {
 public:
  bool clear() override { return true; }
  bool setText(const std::string&) override { return true; }
};

std::string sampleDatabase() { return std::string(TW_BINARY_DIR) + "/bin/Samples/sample.mdb"; }

}  // namespace

class Form1Test : public QObject {
  Q_OBJECT

 private slots:
  void controlsSitAtTheirTwipsPositionsWithCaptionsThatFit() {
    Program p;
    QVERIFY(p.window->loadAndShow());
    QCOMPARE(p.window->windowTitle(), QString("Tablewright"));
    QCOMPARE(p.window->size(), QSize(536, 449));  // 6735 twips: the native-tables row below Frame2
    QCOMPARE(p.find<QCheckBox>("Check2")->geometry(), twips(120, 5295, 7800, 255));
    QCOMPARE(p.find<QPushButton>("PushButton7")->geometry(), twips(120, 5670, 7800, 405));
    QCOMPARE(p.find<QPushButton>("PushButton12")->geometry(), twips(6960, 750, 600, 405));
    QCOMPARE(p.find<QLineEdit>("Text5")->geometry(), twips(2280, 300, 4455, 345));
    QCOMPARE(p.find<QGroupBox>("Frame2")->geometry(), twips(120, 4110, 7800, 1065));
    QCOMPARE(p.find<QRadioButton>("Option2")->geometry(), twips(3600, 630, 3375, 255));
    QCOMPARE(p.find<QProgressBar>("ProgressBar1")->geometry(), twips(120, 6195, 7800, 405));
    QCOMPARE(p.find<QPushButton>("PushButton12")->parentWidget()->objectName(), QString("Frame3"));
    QCOMPARE(p.find<QLineEdit>("Text6")->echoMode(), QLineEdit::Password);
    QCOMPARE(p.find<QProgressBar>("ProgressBar1")->text(), QString("Progress Bar"));
    // The lists exist below the client area and are never seen.
    for (const char* name : {"List1", "List2"}) {
      QListView* list = p.find<QListView>(name);
      QVERIFY(list);
      QVERIFY(!list->isVisible());
      QVERIFY(list->geometry().top() >= p.window->height());
    }
    QFontInfo font(p.window->font());
    QVERIFY2(font.family() == "Arial" || font.family() == "Liberation Sans", qPrintable(font.family()));
    // Every caption fits its control.
    for (QAbstractButton* b : p.window->findChildren<QAbstractButton*>()) {
      int room = b->width() - (qobject_cast<QPushButton*>(b) ? 8 : 20);
      QVERIFY2(b->fontMetrics().horizontalAdvance(b->text()) <= room, qPrintable(b->text()));
    }
    for (QLabel* l : p.window->findChildren<QLabel*>())
      QVERIFY2(l->fontMetrics().horizontalAdvance(l->text()) <= l->width(), qPrintable(l->text()));
  }

  void everyControlHasAnAccessibleName() {
    Program p;
    QVERIFY(p.window->loadAndShow());
    int named = 0;
    for (QWidget* w : p.window->findChildren<QWidget*>()) {
      if (!w->isVisible() || w->objectName().isEmpty()) continue;
      QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
      QVERIFY(a);
      QVERIFY2(!a->text(QAccessible::Name).isEmpty(), qPrintable(w->objectName()));
      ++named;
    }
    QVERIFY(named >= 20);
    auto name = [&](const char* object) {
      return QAccessible::queryAccessibleInterface(p.find<QWidget>(object))->text(QAccessible::Name);
    };
    QCOMPARE(name("Text5"), QString("MDB or ACCDB File"));
    QCOMPARE(name("Text2"), QString("Folder containing DBF/s"));
    QCOMPARE(name("PushButton7"), QString("Start Converting"));
    QCOMPARE(name("Frame3"), QString("FoxPro Login"));
  }

  void typingAndClickingStoreTheirKeysAtOnce() {
    Program p({{"FoxproOption", "1"}});
    QVERIFY(p.window->loadAndShow());
    QVERIFY(p.window->logic().OptionDBC1());
    QTest::keyClicks(p.find<QLineEdit>("Text5"), "/a.mdb");
    QCOMPARE(p.settings.writesOf("AccessMDBFile"),
             (std::vector<std::string>{"/", "/a", "/a.", "/a.m", "/a.md", "/a.mdb"}));
    QTest::keyClicks(p.find<QLineEdit>("Text6"), "pw");
    QCOMPARE(p.settings.values["AccessPassword"], std::string("pw"));
    QCOMPARE(p.find<QLineEdit>("Text6")->displayText(), QString("**"));
    QTest::keyClicks(p.find<QLineEdit>("Text2"), "/f");
    QCOMPARE(p.settings.values["FoxproOption"], std::string("2"));
    QVERIFY(!p.window->logic().OptionDBC1());

    QTest::mouseClick(p.find<QCheckBox>("Check1"), Qt::LeftButton);
    QCOMPARE(p.settings.values["Check1"], std::string("0"));
    QVERIFY(!p.find<QRadioButton>("Option1")->isEnabled());
    QVERIFY(!p.find<QRadioButton>("Option2")->isEnabled());
    QTest::mouseClick(p.find<QCheckBox>("Check1"), Qt::LeftButton);
    QVERIFY(p.find<QRadioButton>("Option2")->isEnabled());
    QTest::mouseClick(p.find<QRadioButton>("Option2"), Qt::LeftButton);
    QCOMPARE(p.settings.values["Option1"], std::string("False"));
    QCOMPARE(p.settings.values["Option2"], std::string("True"));
    QVERIFY(p.window->logic().Option2());

    // The sample buttons fill the fields on screen too.
    QTest::mouseClick(p.find<QPushButton>("PushButton4"), Qt::LeftButton);
    QCOMPARE(p.find<QLineEdit>("Text5")->text().toStdString(), p.folder.path() + "/Samples/sample.mdb");
    QCOMPARE(p.find<QLineEdit>("Text6")->text(), QString("pw"));
  }

  void theStoredStateIsShownAfterStartUp() {
    Program p({{"Option1", "False"},
               {"Option2", "True"},
               {"Check1", "0"},
               {"FreeTableFolder", "/dbf"},
               {"AccessMDBFile", "/a.mdb"}});
    QVERIFY(p.window->loadAndShow());
    QVERIFY(p.find<QRadioButton>("Option2")->isChecked());
    QVERIFY(!p.find<QRadioButton>("Option1")->isChecked());
    QVERIFY(!p.find<QCheckBox>("Check1")->isChecked());
    QVERIFY(!p.find<QRadioButton>("Option2")->isEnabled());
    QCOMPARE(p.find<QLineEdit>("Text2")->text(), QString("/dbf"));
    QCOMPARE(p.find<QLineEdit>("Text5")->text(), QString("/a.mdb"));
  }

  void aFailedLoadStepIsReportedAndTheWindowStillOpens() {
    Program p({{"Check1", "yes please"}});
    QVERIFY(p.window->loadAndShow());
    QCOMPARE(p.ui.boxes.size(), std::size_t(1));
    QCOMPARE(p.ui.boxes[0].title, std::string("Application Error"));
    QVERIFY(p.ui.boxes[0].text.find("in Tavrel2021/08/31.Form1.Form_Load at line 118") != std::string::npos);
    QVERIFY(p.window->isVisible());
  }

  void theProgramEndsWithoutShowingTheWindowWhenTheLayerIsMissing() {
    Program p({}, /*providers=*/false);
    QVERIFY(!p.window->loadAndShow());
    QVERIFY(!p.window->isVisible());
    QCOMPARE(p.ui.boxes.size(), std::size_t(1));
    QVERIFY(p.ui.boxes[0].text.find("Provider cannot be found") != std::string::npos);
  }

  void testConnectionBothWays() {
    Program p;
    QVERIFY(p.window->loadAndShow());
    QPushButton* test = p.find<QPushButton>("PushButton8");
    std::vector<int> pointerDuringBox;
    p.ui.onBox = [&](const FakeUi::Box&) { pointerDuringBox.push_back(p.ui.pointer()); };
    QTest::mouseClick(test, Qt::LeftButton);  // empty container path
    p.window->logic().setText2(p.folder.path());
    QTest::mouseClick(test, Qt::LeftButton);
    QCOMPARE(p.ui.texts(), (std::vector<std::string>{"Could not connect.", "Connection successful."}));
    QCOMPARE(pointerDuringBox, (std::vector<int>{kPointerHourglass, kPointerHourglass}));
    QCOMPARE(p.ui.pointer(), kPointerDefault);
  }

  void startConvertingConvertsTheSampleAndStaysResponsive() {
    if (!std::filesystem::exists(sampleDatabase())) QSKIP("the sample database is not built");
    Program p({{"Check1", "0"}});
    QVERIFY(p.window->loadAndShow());
    ScratchFolder out;
    p.window->logic().setText5(sampleDatabase());
    p.window->logic().setText2(out.path());
    p.window->logic().setYieldInterval(std::chrono::milliseconds(0));
    QPushButton* start = p.find<QPushButton>("PushButton7");
    QProgressBar* bar = p.find<QProgressBar>("ProgressBar1");
    int yields = 0, pressesDuringRun = 0, hourglassSeen = 0, maxValue = 0;
    QStringList captions;
    p.ui.onYield = [&] {
      ++yields;
      if (p.ui.pointer() == kPointerHourglass) ++hourglassSeen;
      if (!captions.contains(bar->text())) captions << bar->text();
      maxValue = std::max(maxValue, bar->value());
      if (pressesDuringRun++ == 0) QTest::mouseClick(start, Qt::LeftButton);  // ignored
    };
    QTest::mouseClick(start, Qt::LeftButton);
    QVERIFY(yields > 0);
    QVERIFY(hourglassSeen > 0);
    const std::vector<std::string> texts = p.ui.texts();
    QVERIFY2(texts.back().rfind("Done.\r\n\r\n", 0) == 0, texts.back().c_str());
    long done =
        std::count_if(texts.begin(), texts.end(), [](const std::string& t) { return t.rfind("Done.", 0) == 0; });
    QCOMPARE(done, 1L);
    for (const auto& b : p.ui.boxes) QVERIFY2(b.title != "Application Error", b.text.c_str());
    QVERIFY2(captions.filter("Please wait.. Processing table").size() >= 2, qPrintable(captions.join('|')));
    QVERIFY(maxValue > 50);
    QCOMPARE(bar->text(), QString("Progress Bar"));
    QCOMPARE(bar->value(), 0);
    QCOMPARE(p.ui.pointer(), kPointerDefault);
    int tables = 0;
    for (const auto& e : std::filesystem::directory_iterator(out.path())) tables += e.path().extension() == ".dbf";
    QCOMPARE(tables, p.window->logic().List2().count());
    QVERIFY(tables >= 2);
  }

  void previewModeShowsTheSqlPreviewWindowOverTheMainWindow() {
    if (!std::filesystem::exists(sampleDatabase())) QSKIP("the sample database is not built");
    Program p({{"Check1", "1"}});
    QVERIFY(p.window->loadAndShow());
    ScratchFolder out;
    p.window->logic().setText5(sampleDatabase());
    p.window->logic().setText2(out.path());
    NullClipboard clipboard;
    QtPreviewWindow preview(clipboard, p.shell, p.window.get(), &p.ui);
    p.window->logic().setPreviewWindow(&preview);
    int shown = 0, rows = 0;
    bool owned = false;
    preview.setOnCreated([&](Form2& form) {
      ++shown;
      owned = form.parentWidget() == p.window.get();
      QTimer::singleShot(0, &form, [&form, &rows] {
        rows = form.list()->model()->rowCount();
        static_cast<QDialog&>(form).reject();  // "< Back": nothing is executed
      });
    });
    QTest::mouseClick(p.find<QPushButton>("PushButton7"), Qt::LeftButton);
    QCOMPARE(shown, 1);  // once per file
    QVERIFY(owned);
    QVERIFY2(rows > 2, qPrintable(QString::number(rows)));
    const std::string last = p.ui.texts().back();
    QVERIFY2(last.rfind("Done.\r\n", 0) == 0 && last.find("\r\n\r\nNothing was written.") != std::string::npos,
             last.c_str());
    for (const auto& e : std::filesystem::directory_iterator(out.path()))
      QVERIFY2(e.path().extension() != ".dbf", e.path().c_str());
  }

  void aPerTablePreviewThatExecutesEveryTableConvertsThemAll() {
    if (!std::filesystem::exists(sampleDatabase())) QSKIP("the sample database is not built");
    Program p({{"Check1", "1"}, {"Option1", "False"}, {"Option2", "True"}});
    QVERIFY(p.window->loadAndShow());
    ScratchFolder out;
    p.window->logic().setText5(sampleDatabase());
    p.window->logic().setText2(out.path());
    NullClipboard clipboard;
    QtPreviewWindow preview(clipboard, p.shell, p.window.get(), &p.ui);
    p.window->logic().setPreviewWindow(&preview);
    int shown = 0;
    preview.setOnCreated([&](Form2& form) {
      ++shown;
      QTimer::singleShot(0, &form, [&form] { form.findChild<QPushButton*>("PushButton1")->click(); });
    });
    QTest::mouseClick(p.find<QPushButton>("PushButton7"), Qt::LeftButton);
    const int tables = p.window->logic().List2().count();
    QCOMPARE(shown, tables);
    int written = 0;
    for (const auto& e : std::filesystem::directory_iterator(out.path())) written += e.path().extension() == ".dbf";
    QCOMPARE(written, tables);
    const std::string last = p.ui.texts().back();
    const std::string expected = "Done.\r\n\r\n" + std::to_string(tables) + " tables converted, 0 skipped, 0 failed;";
    QCOMPARE(last.substr(0, expected.size()), expected);
  }

  void aContainerMadeInTheDialogIsWhereTestConnectionAndTheRunGo() {
    if (!std::filesystem::exists(sampleDatabase())) QSKIP("the sample database is not built");
    Program p({{"Check1", "0"}});
    QVERIFY(p.window->loadAndShow());
    p.window->setCreateContainer(
        [](const std::string& path) { vfp::createContainer(*vfp::makeRealFileSystem(false), path); });
    ScratchFolder out;
    p.window->logic().setText2(out.path());  // free tables first
    p.window->logic().setText5(sampleDatabase());
    const std::string dbc = out.file("made.dbc");
    QTimer::singleShot(0, [&] {
      QWidget* dialog = QApplication::activeModalWidget();
      if (!dialog) return;
      QTest::keyClicks(dialog->findChild<QLineEdit*>("Text1"), QString::fromStdString(dbc));
      QTest::mouseClick(dialog->findChild<QPushButton*>("PushButton1"), Qt::LeftButton);
    });
    p.ui.answers = {MessageAnswer::Yes};  // create it
    QTest::mouseClick(p.find<QPushButton>("PushButton12"), Qt::LeftButton);
    QVERIFY(std::filesystem::exists(dbc));
    QVERIFY(p.window->logic().OptionDBC1());

    QTest::mouseClick(p.find<QPushButton>("PushButton8"), Qt::LeftButton);
    QCOMPARE(p.ui.texts().back(), std::string("Connection successful."));
    QTest::mouseClick(p.find<QPushButton>("PushButton7"), Qt::LeftButton);
    QVERIFY(p.ui.texts().back().rfind("Done.\r\n", 0) == 0);
    for (const auto& b : p.ui.boxes) QVERIFY2(b.title != "Application Error", b.text.c_str());
    // The tables went into the container: listed by it, not merely lying in the folder.
    VectorTextList tables;
    AddTablesToFoxproListbox(p.dataAccess, p.ui, p.window->logic(), tables);
    QCOMPARE(tables.count(), p.window->logic().List2().count());
    QVERIFY(tables.count() >= 2);
  }

  void textFieldsSelectTheirWholeTextOnFocus() {
    Program p({{"AccessMDBFile", "/some/file.mdb"}});
    QVERIFY(p.window->loadAndShow());
    QLineEdit* text5 = p.find<QLineEdit>("Text5");
    QApplication::setActiveWindow(p.window.get());
    QVERIFY(QTest::qWaitForWindowActive(p.window.get()));
    p.find<QLineEdit>("Text2")->setFocus(Qt::OtherFocusReason);
    text5->deselect();
    text5->setFocus(Qt::OtherFocusReason);
    QCOMPARE(text5->selectedText(), QString("/some/file.mdb"));
  }

  void theHandShowsOverButtonsButNeverReplacesTheHourglass() {
    Program p;
    QImage hand(16, 16, QImage::Format_ARGB32);
    hand.fill(Qt::red);
    WriteCursorFile(p.folder.file("HAND-M.CUR"), hand, 3, 4);
    QVERIFY(p.window->loadAndShow());
    QVERIFY(p.ui.hasCustomPointer());
    auto move = [](QWidget* w, QPoint at) {
      QMouseEvent e(QEvent::MouseMove, at, w->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
      QApplication::sendEvent(w, &e);
    };
    QPushButton* help = p.find<QPushButton>("PushButton5");
    move(help, QPoint(5, 5));
    QCOMPARE(p.ui.pointer(), kPointerCustom);
    QCOMPARE(p.window->cursor().shape(), Qt::BitmapCursor);
    QCOMPARE(p.window->cursor().hotSpot(), QPoint(3, 4));
    // A label has no handler: the hand stays. The frame's own surface restores the default.
    QLabel* label = p.find<QLabel>("Label5");
    QGroupBox* frame = p.find<QGroupBox>("Frame1");
    move(frame, label->geometry().center());
    QCOMPARE(p.ui.pointer(), kPointerCustom);
    move(frame, QPoint(frame->width() - 3, frame->height() - 3));
    QCOMPARE(p.ui.pointer(), kPointerDefault);
    p.ui.setPointer(kPointerHourglass);
    move(help, QPoint(5, 5));
    move(p.window.get(), QPoint(2, 2));
    QCOMPARE(p.ui.pointer(), kPointerHourglass);
    QCOMPARE(p.window->cursor().shape(), Qt::WaitCursor);
    QCOMPARE(p.find<QLineEdit>("Text5")->cursor().shape(), Qt::WaitCursor);
  }

  void theDbcButtonOpensTheAdvancedOptionsOverTheWindow() {
    Program p;
    QVERIFY(p.window->loadAndShow());
    p.window->logic().setText2(p.folder.path());
    const std::string path = p.folder.file("db.dbc");
    std::ofstream(path) << "dbc";
    bool seen = false;
    QTimer::singleShot(0, [&] {
      auto* dialog = dynamic_cast<Form6*>(QApplication::activeModalWidget());
      if (!dialog) return;
      seen = dialog->parentWidget() == p.window.get() && dialog->isModal();
      QTest::keyClicks(dialog->findChild<QLineEdit*>("Text1"), QString::fromStdString(path));
      QTest::mouseClick(dialog->findChild<QPushButton*>("PushButton1"), Qt::LeftButton);
    });
    QTest::mouseClick(p.find<QPushButton>("PushButton12"), Qt::LeftButton);
    QVERIFY(seen);
    QVERIFY(p.window->logic().OptionDBC1());
    QCOMPARE(p.window->logic().DBCPath1(), path);
    QCOMPARE(p.settings.values["FoxproOption"], std::string("1"));
  }

  void assistiveTechnologyEditsAndTogglesReachTheLogic() {
    Program p({{"FoxproOption", "1"}});
    QVERIFY(p.window->loadAndShow());
    QCOMPARE(QAccessible::queryAccessibleInterface(p.window.get())->role(), QAccessible::Window);
    QAccessibleInterface* text2 = QAccessible::queryAccessibleInterface(p.find<QLineEdit>("Text2"));
    text2->editableTextInterface()->insertText(0, QString::fromStdString(p.folder.path()));
    QCOMPARE(p.settings.values["FreeTableFolder"] + p.settings.values["FoxproOption"], p.folder.path() + "2");
    QAccessibleInterface* check1 = QAccessible::queryAccessibleInterface(p.find<QCheckBox>("Check1"));
    check1->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    QCOMPARE(p.settings.values["Check1"], std::string("0"));
    QVERIFY(!p.find<QRadioButton>("Option2")->isEnabled());
    // Test Connection tests the folder set above; then one set from outside the logic.
    QTest::mouseClick(p.find<QPushButton>("PushButton8"), Qt::LeftButton);
    p.find<QLineEdit>("Text2")->setText("/proc/1");
    QTest::mouseClick(p.find<QPushButton>("PushButton8"), Qt::LeftButton);
    QCOMPARE(p.ui.texts(), (std::vector<std::string>{"Connection successful.", "Could not connect."}));
    // What the logic itself shows is stored once, not once more through the field.
    const std::size_t folders = p.settings.writesOf("FreeTableFolder").size();
    const std::size_t options = p.settings.writesOf("Option2").size();
    p.window->logic().PushButton3_Click();
    p.window->logic().setOption2(true);
    QCOMPARE(p.settings.writesOf("FreeTableFolder").size() + p.settings.writesOf("Option2").size(),
             folders + options + 2);
  }

  void theNativeTablesBoxHasARowOfItsOwnAndIsKept() {
    Program p({{"NativeTables", "1"}});
    QVERIFY(p.window->loadAndShow());
    QCheckBox* check2 = p.find<QCheckBox>("Check2");
    QVERIFY(check2->isChecked() && p.window->logic().Check2() == 1);
    QCOMPARE(QAccessible::queryAccessibleInterface(check2)->text(QAccessible::Name), check2->text());
    QTest::mouseClick(check2, Qt::LeftButton, Qt::NoModifier, QPoint(8, check2->height() / 2));
    QCOMPARE(p.settings.values["NativeTables"], std::string("0"));
    QCOMPARE(p.window->logic().Check2(), 0);
  }

  void enterOnAFocusedButtonClicksIt() {
    Program p;
    QVERIFY(p.window->loadAndShow());
    QApplication::setActiveWindow(p.window.get());
    QVERIFY(QTest::qWaitForWindowActive(p.window.get()));
    QPushButton* help = p.find<QPushButton>("PushButton5");
    help->setFocus(Qt::TabFocusReason);
    QTest::keyClick(help, Qt::Key_Return);
    QTest::keyClick(help, Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(p.ui.texts(), (std::vector<std::string>{HelpText(), HelpText()}));
  }

  void droppedFilesAndFoldersAreChosenAndOtherFilesIgnored() {
    Program p;
    QVERIFY(p.window->loadAndShow());
    const std::string mdb = p.folder.file("dropped.accdb"), txt = p.folder.file("notes.txt");
    std::ofstream(mdb) << "x";
    std::ofstream(txt) << "x";
    auto drop = [&](QWidget* target, const std::vector<std::string>& paths) {
      QMimeData data;
      QList<QUrl> urls;
      for (const std::string& path : paths) urls << QUrl::fromLocalFile(QString::fromStdString(path));
      data.setUrls(urls);
      QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(target, &enter);
      QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
      if (enter.isAccepted()) QApplication::sendEvent(target, &dropped);
      return enter.isAccepted();
    };
    QVERIFY(!drop(p.window.get(), {mdb, txt}));
    QVERIFY(drop(p.window.get(), {mdb}));
    QCOMPARE(p.settings.values["AccessMDBFile"], mdb);
    // Onto a text field, paths mean what they mean on the window.
    QVERIFY(drop(p.find<QLineEdit>("Text2"), {p.folder.path()}));
    QCOMPARE(p.settings.values["FreeTableFolder"], p.folder.path());
    QCOMPARE(p.find<QLineEdit>("Text2")->text().toStdString(), p.folder.path());
  }
};

QTEST_MAIN(Form1Test)
#include "form1_test.moc"
