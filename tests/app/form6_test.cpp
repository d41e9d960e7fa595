// The Advanced Options dialog driven through its widgets offscreen: layout, typing into
// the path, browse, OK (including a new container) and Cancel.
#include <QAccessible>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include <fstream>

#include "app/widgets/form1.h"
#include "app/widgets/form6.h"
#include "support/fake_file_dialogs.h"
#include "support/fake_settings.h"
#include "support/fake_shell.h"
#include "support/scratch_folder.h"
#include "support/scripted_qt_ui.h"

using namespace tw;

namespace {

struct Dialog {
  explicit Dialog(FakeSettingsStore stored = {}) : settings(std::move(stored)) {
    main = std::make_unique<Form1>(
        Form1Services{settings, ui, shell, dialogs, dataAccess, locale, folder.path(), [] { return 0.5; }}, ui);
    main->logic().Form_Load();  // no provider: the state is restored, the window is not needed
    ui.boxes.clear();
    form = std::make_unique<Form6>(Form6Services{settings, ui, dialogs, folder.path(),
                                                 [this](const std::string& path) {
                                                   created.push_back(path);
                                                   std::ofstream(path) << "dbc";
                                                 }},
                                   main->logic(), main.get());
    form->load();
    form->show();
  }
  template <class T>
  T* find(const char* name) {
    return form->findChild<T*>(QString::fromUtf8(name));
  }

  FakeSettingsStore settings;
  ScriptedQtUi ui;
  FakeShell shell;
  FakeFileDialogs dialogs;
  data::DataAccess dataAccess;
  Locale locale = Locale::system();
  ScratchFolder folder;
  std::unique_ptr<Form1> main;
  std::unique_ptr<Form6> form;
  std::vector<std::string> created;
};

QRect twips(int l, int t, int w, int h) { return QRect(l / 15, t / 15, w / 15, h / 15); }

}  // namespace

class Form6Test : public QObject {
  Q_OBJECT

 private slots:
  void controlsSitAtTheirPlaces() {
    Dialog d({{"DBCFile", "/stored.dbc"}});
    QCOMPARE(d.form->windowTitle(), QString("Advanced Options"));
    QCOMPARE(d.form->size(), QSize(536, 110));
    QCOMPARE(d.find<QGroupBox>("Frame2")->geometry(), twips(120, 120, 7800, 885));
    QCOMPARE(d.find<QLineEdit>("Text1")->geometry(), twips(1080, 330, 5775, 345));
    QCOMPARE(d.find<QPushButton>("PushButton5")->geometry(), twips(6960, 330, 600, 345));
    QCOMPARE(d.find<QPushButton>("PushButton1")->geometry(), twips(120, 1130, 3840, 405));
    QCOMPARE(d.find<QPushButton>("PushButton2")->geometry(), twips(4080, 1130, 3840, 405));
    QCOMPARE(d.find<QPushButton>("PushButton1")->text(), QString("OK"));
    QCOMPARE(d.find<QLineEdit>("Text1")->text(), QString("/stored.dbc"));
    QCOMPARE(QAccessible::queryAccessibleInterface(d.find<QLineEdit>("Text1"))->text(QAccessible::Name),
             QString("DBC File"));
    QVERIFY(d.form->isModal());
  }

  void typingStoresEachTextAndCancelSwitchesToFreeTables() {
    Dialog d({{"FoxproOption", "1"}, {"DBCFile", "/old.dbc"}});
    QVERIFY(d.main->logic().OptionDBC1());
    QLineEdit* text1 = d.find<QLineEdit>("Text1");
    text1->clear();
    QTest::keyClicks(text1, "/n.dbc");
    QCOMPARE(d.settings.writesOf("DBCFile").back(), std::string("/n.dbc"));
    QCOMPARE(d.settings.writesOf("DBCFile").size(), std::size_t(1 + 1 + 6));  // load + clear() + one per key
    QTest::mouseClick(d.find<QPushButton>("PushButton2"), Qt::LeftButton);
    QVERIFY(!d.form->isVisible());
    QVERIFY(!d.main->logic().OptionDBC1());
    QCOMPARE(d.main->logic().DBCPath1(), std::string("/old.dbc"));
    QCOMPARE(d.settings.values["FoxproOption"], std::string("2"));
  }

  void browseThenOkChoosesTheContainer() {
    Dialog d;
    const std::string path = d.folder.file("made.dbc");
    std::ofstream(path) << "dbc";
    d.dialogs.answers = {"", path};
    QPushButton* browse = d.find<QPushButton>("PushButton5");
    QTest::mouseClick(browse, Qt::LeftButton);
    QCOMPARE(d.find<QLineEdit>("Text1")->text(), QString());
    QTest::mouseClick(browse, Qt::LeftButton);
    QCOMPARE(d.find<QLineEdit>("Text1")->text().toStdString(), path);
    QTest::mouseClick(d.find<QPushButton>("PushButton1"), Qt::LeftButton);
    QVERIFY(!d.form->isVisible());
    QVERIFY(d.main->logic().OptionDBC1());
    QCOMPARE(d.main->logic().DBCPath1(), path);
    QVERIFY(d.ui.boxes.empty());
  }

  void okOnANewPathAsksAndYesCreatesTheContainer() {
    Dialog d;
    const std::string path = d.folder.file("new.dbc");
    QTest::keyClicks(d.find<QLineEdit>("Text1"), QString::fromStdString(path));
    d.ui.answers = {MessageAnswer::Yes};
    QTest::mouseClick(d.find<QPushButton>("PushButton1"), Qt::LeftButton);
    QCOMPARE(d.ui.boxes.size(), std::size_t(1));
    QCOMPARE(d.ui.boxes[0].buttons, MessageButtons::YesNo);
    QCOMPARE(d.created, std::vector<std::string>{path});
    QVERIFY(d.main->logic().OptionDBC1());
    QCOMPARE(d.main->logic().DBCPath1(), path);
  }

  void theHandShowsOverItsButtons() {
    Dialog d;
    QMouseEvent move(QEvent::MouseMove, QPointF(3, 3), QPointF(3, 3), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(d.find<QPushButton>("PushButton1"), &move);
    QCOMPARE(d.form->cursor().shape(), Qt::ArrowCursor);  // no pointer file: the default image
    QMouseEvent back(QEvent::MouseMove, QPointF(1, 1), QPointF(1, 1), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(d.find<QLineEdit>("Text1"), &back);
    QCOMPARE(d.form->cursor().shape(), Qt::ArrowCursor);
  }
};

QTEST_MAIN(Form6Test)
#include "form6_test.moc"
