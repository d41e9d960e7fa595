// The Qt implementations of the platform interfaces: the settings file (private from its
// creation), the file and folder choosers, message boxes, cursor files, the skin and the
// face colour.
#include <sys/stat.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <filesystem>
#include <fstream>

#include "platform/qt/qt_appearance.h"
#include "platform/qt/qt_file_dialogs.h"
#include "platform/qt/qt_settings.h"
#include "platform/qt/qt_ui.h"
#include "support/scratch_folder.h"

using namespace tw;

namespace {
unsigned modeOf(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 0777) : 0xFFFFu;
}

// Runs `answer` on the next modal dialog of type T once it is shown.
template <class T, class F>
void whenShown(F answer) {
  QTimer::singleShot(0, [answer] {
    auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
    QVERIFY(dialog);
    answer(dialog);
  });
}
}  // namespace

class QtPlatformTest : public QObject {
  Q_OBJECT

 private slots:
  void settingsFileIsPrivateFromItsCreation() {
    ScratchFolder dir;
    const std::string path = dir.file("cfg/Quernfield.conf");
    {
      QtSettingsStore store(path);
      QVERIFY(std::filesystem::exists(path));
      QCOMPARE(modeOf(path), 0600u);
      QCOMPARE(store.read("AccessPassword", "none"), std::string("none"));
      store.write("AccessPassword", "p@ss; =\\ word \xc3\xa9");
      store.write("FreeTableFolder", "");
      store.write("Check1", "1");
      QCOMPARE(modeOf(path), 0600u);
    }
    QtSettingsStore again(path);
    QCOMPARE(again.read("AccessPassword", ""), std::string("p@ss; =\\ word \xc3\xa9"));
    QCOMPARE(again.read("FreeTableFolder", "x"), std::string(""));
    QCOMPARE(again.read("Check1", "0"), std::string("1"));
    std::ifstream text(path);
    std::string first;
    std::getline(text, first);
    QCOMPARE(first, std::string("[Tablewright]"));
  }

  void anOpenSettingsFileIsNarrowedAndAnUnwritableOneFailsByName() {
    ScratchFolder dir;
    const std::string path = dir.file("wide.conf");
    std::ofstream(path) << "[Tablewright]\nCheck1=0\n";
    ::chmod(path.c_str(), 0644);
    QtSettingsStore store(path);
    QCOMPARE(modeOf(path), 0600u);
    QCOMPARE(store.read("Check1", "1"), std::string("0"));

    std::ofstream(dir.file("plain")) << "a file, not a folder";
    QtSettingsStore broken(dir.file("plain/settings.conf"));
    QCOMPARE(broken.read("Check1", "1"), std::string("1"));
    try {
      broken.write("Check1", "0");
      QFAIL("the write should fail");
    } catch (const std::runtime_error& e) {
      QVERIFY2(std::string(e.what()).find("plain/settings.conf") != std::string::npos, e.what());
    }
  }

  void fileFiltersBecomeQtNameFilters() {
    std::vector<FileFilterEntry> entries = ParseFileFilter(
        "All Microsoft Databases (*.mdb,*.accdb)|*.*db|Microsoft Database (*.mdb)|*.mdb|"
        "Microsoft 2007 Database (*.accdb)|*.accdb|");
    QCOMPARE(entries.size(), std::size_t(3));
    QCOMPARE(entries[0], (FileFilterEntry{"All Microsoft Databases (*.mdb,*.accdb)", {"*.*db"}}));
    QCOMPARE(ParseFileFilter("Both|*.a; *.b|Dangling"), (std::vector<FileFilterEntry>{{"Both", {"*.a", "*.b"}}}));
    QVERIFY(ParseFileFilter("").empty());
    QCOMPARE(QtNameFilters("Microsoft Database (*.dbc)|*.dbc|"), QStringList{"Microsoft Database (*.dbc) (*.dbc)"});
    QCOMPARE(QtNameFilters("Both|*.a;*.b|"), QStringList{"Both (*.a *.b)"});
  }

  void theFileDialogTakesANameThatDoesNotExistYet() {
    ScratchFolder dir;
    QtFileDialogs dialogs;
    const std::string wanted = dir.file("new.dbc");
    QString title;
    QStringList filters;
    whenShown<QFileDialog>([&](QFileDialog* d) {
      title = d->windowTitle();
      filters = d->nameFilters();
      d->selectFile(QString::fromStdString(wanted));
      static_cast<QDialog*>(d)->accept();
    });
    QCOMPARE(dialogs.openFile("Select Foxpro Database", "Microsoft Database (*.dbc)|*.dbc|", ""), wanted);
    QCOMPARE(title, QString("Select Foxpro Database"));
    QCOMPARE(filters, QStringList{"Microsoft Database (*.dbc) (*.dbc)"});

    // The user reads each entry by its own description, the first one chosen; Qt does not
    // repeat the patterns after it.
    QStringList shown;
    int chosen = -1;
    whenShown<QFileDialog>([&](QFileDialog* d) {
      if (auto* types = d->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"))) {
        for (int i = 0; i < types->count(); ++i) shown << types->itemText(i);
        chosen = types->currentIndex();
      }
      d->reject();
    });
    QCOMPARE(dialogs.openFile("Select Access Database",
                              "All Microsoft Databases (*.mdb,*.accdb)|*.*db|Microsoft Database (*.mdb)|*.mdb|"
                              "Microsoft 2007 Database (*.accdb)|*.accdb|",
                              ""),
             std::string());
    QCOMPARE(shown, (QStringList{"All Microsoft Databases (*.mdb,*.accdb)", "Microsoft Database (*.mdb)",
                                 "Microsoft 2007 Database (*.accdb)"}));
    QCOMPARE(chosen, 0);
  }

  void theFolderPickerPreselectsAndReturnsLongPathsWhole() {
    ScratchFolder dir;
    // A folder whose path is well over 260 characters.
    std::string deep = dir.path();
    while (deep.size() < 300) deep += "/" + std::string(40, 'd');
    std::filesystem::create_directories(deep);
    QtFileDialogs dialogs;
    QString shownDirectory, shownTitle;
    whenShown<QFileDialog>([&](QFileDialog* d) {
      shownDirectory = d->directory().absolutePath();
      shownTitle = d->windowTitle();
      static_cast<QDialog*>(d)->accept();
    });
    std::string chosen = dialogs.browseForFolder("Please select folder:", deep);
    QCOMPARE(shownTitle, QString("Please select folder:"));
    QCOMPARE(shownDirectory.toStdString(), std::filesystem::path(deep).parent_path().string());
    QCOMPARE(chosen, deep);
    QVERIFY(chosen.find('\0') == std::string::npos);
    whenShown<QFileDialog>([](QFileDialog* d) { d->reject(); });
    QCOMPARE(dialogs.browseForFolder("Please select folder:", dir.file("missing")), std::string());
  }

  void messageBoxesBreakLinesAtBothFormsAndUseTheRightIcon() {
    QtUi ui;
    QString text, title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    whenShown<QMessageBox>([&](QMessageBox* box) {
      text = box->text();
      title = box->windowTitle();
      icon = box->icon();
      box->button(QMessageBox::Ok)->click();
    });
    ui.messageBox("Application Error", "a\r\nb\rc", MessageIcon::Exclamation, MessageButtons::Ok);
    QCOMPARE(text, QString("a\nb\nc"));
    QCOMPARE(title, QString("Application Error"));
    QCOMPARE(icon, QMessageBox::Warning);
    whenShown<QMessageBox>([](QMessageBox* box) { box->button(QMessageBox::Yes)->click(); });
    QCOMPARE(ui.messageBox("t", "q?", MessageIcon::Question, MessageButtons::YesNo), MessageAnswer::Yes);
    whenShown<QMessageBox>([](QMessageBox* box) { box->button(QMessageBox::No)->click(); });
    QCOMPARE(ui.messageBox("t", "q?", MessageIcon::Question, MessageButtons::YesNo), MessageAnswer::No);
  }

  void cursorFilesRoundTripWithTheirHotSpot() {
    ScratchFolder dir;
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    for (int i = 0; i < 32; ++i) image.setPixel(i, i, qRgb(10, 20, 30));
    WriteCursorFile(dir.file("hand.cur"), image, 9, 2);
    QCursor cursor = LoadCursorFile(dir.file("hand.cur"));
    QCOMPARE(cursor.hotSpot(), QPoint(9, 2));
    QImage back = cursor.pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(back.size(), QSize(32, 32));
    QCOMPARE(back.pixel(5, 5), qRgb(10, 20, 30));
    QCOMPARE(qAlpha(back.pixel(5, 6)), 0);

    std::ofstream(dir.file("not.cur")) << "GIF89a not a cursor at all";
    try {
      LoadCursorFile(dir.file("not.cur"));
      QFAIL("a foreign file must not load");
    } catch (const std::runtime_error& e) {
      QVERIFY2(std::string(e.what()).find("not.cur") != std::string::npos, e.what());
    }
  }

  void theSkinIsAStyleSheetAndTheFaceColourReachesOnlyPlainControls() {
    ScratchFolder dir;
    QWidget window;
    auto* label = new QLabel("l", &window);
    auto* check = new QCheckBox("c", &window);
    auto* frame = new QGroupBox("f", &window);
    auto* button = new QPushButton("b", &window);
    auto* edit = new QLineEdit(&window);
    ApplyFormBackColor(window);
    const QColor face = QApplication::palette().color(QPalette::Button);
    for (QWidget* w : std::initializer_list<QWidget*>{&window, label, check, frame}) {
      QVERIFY(w->autoFillBackground());
      QCOMPARE(w->palette().color(QPalette::Window), face);
    }
    QVERIFY(!button->autoFillBackground());
    QVERIFY(!edit->autoFillBackground());

    std::filesystem::create_directories(dir.file("x"));
    std::ofstream(dir.file("x/o.cjs")) << "QPushButton { color: rgb(1, 2, 3); }";
    ApplySkinFile(window, dir.file("x/o.cjs"));
    QVERIFY(window.styleSheet().contains("rgb(1, 2, 3)"));
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, ApplySkinFile(window, dir.file("x")));
  }
};

QTEST_MAIN(QtPlatformTest)
#include "qt_platform_test.moc"
