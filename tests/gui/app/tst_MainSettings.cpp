#include "FakeCommLink.h"
#include "PseudoTerminalPair.h"
#include "RecordingDialogs.h"

#include "setup/IniFile.h"
#include "app/MRUManager.h"
#include "app/MainSettings.h"
#include "app/RegisterWindowClasses.h"
#include "app/TMainForm.h"
#include "app/WindowClasses.h"
#include "bus/BusHost.h"
#include "bus/TDM.h"
#include "serial/TComm32.h"
#include "views/TRS232Form.h"

#include <QFile>
#include <QLabel>
#include <QMdiSubWindow>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Stand-ins for the program's window classes, under the names a setup file uses (local to this
// test, so they never clash with the real classes).
class TLEDForm : public QWidget
{
    Q_OBJECT
};
class TMonitorForm : public QWidget
{
    Q_OBJECT
};
class TKX300ADnLdForm : public QWidget
{
    Q_OBJECT
};
class TKX300BDnLdForm : public QWidget
{
    Q_OBJECT
};

const QString Monitor3 = QStringLiteral("Монитор:  ПЧ     #3");
const QString Monitor7 = QStringLiteral("Монитор:  ПЧ     #7");

} // namespace

class tst_MainSettings : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void saveWithNoChildWindow();
    void threeMonitorsComeBack();
    void programMonitorWindowsComeBack();
    void loadDoesNotDuplicateOpenWindows();
    void notRestorableClassOpensNothing_data();
    void notRestorableClassOpensNothing();
    void hugeCountOpensNoFlood();
    void captionNamingNoSlotOpensNothing();
    void absurdGeometryIsBounded();
    void openingWhilePortIsOpenDoesNotRestartIt();
    void simulatedPortStaysOutOfFilesAndInTheList();

    void saveCommandWritesTheSetup();
    void savingAListedNameMovesItToTop();
    void eleventhSavedNamePushesOutOldest();
    void unwritableFileChangesNothing();
    void saveKeepsForeignSections();
    void cancelledDialogsDoNothing();
    void openCommandLoadsWithoutRecentEntry();
    void recentEntryOpensItsFile();
    void mixedEncodingIsNamedInTheStatusBar();
    void missingRecentFileIsReported();

private:
    void createForm(CommLink *link);
    QList<QWidget *> windowsOf(const char *className) const;
    QMdiSubWindow *frameOf(QWidget *window) const;
    void closeAllChildren();
    QString path(const QString &name) const { return m_dir.filePath(name); }
    void writeFile(const QString &fileName, const QByteArray &text);

    QTemporaryDir m_dir;
    RecordingDialogs *m_dialogs = nullptr;
    TComm32 *m_port = nullptr;
    BusHost *m_host = nullptr;
    TMainForm *m_form = nullptr;
};

void tst_MainSettings::init()
{
    QVERIFY(m_dir.isValid());
    m_dialogs = RecordingDialogs::installNew();
    m_port = new TComm32;
    m_port->setCommPort("COM1");
    m_port->setParity(pEven);
    createForm(m_port);
}

void tst_MainSettings::createForm(CommLink *link)
{
    m_host = new BusHost(link, BusHost::Role::Forwarded);
    m_form = new TMainForm(m_host, link);
    // After the form: its creation registers the program's classes, which these replace.
    using Kind = WindowClasses::Kind;
    WindowClasses::registerClass("TLEDForm", Kind::MdiChild, [] { return new TLEDForm; });
    WindowClasses::registerClass("TMonitorForm", Kind::MdiChild, [] { return new TMonitorForm; });
    WindowClasses::registerClass("TKX300ADnLdForm", Kind::MdiChild,
                                 [] { return new TKX300ADnLdForm; });
    WindowClasses::registerClass("TKX300BDnLdForm", Kind::MdiChild,
                                 [] { return new TKX300BDnLdForm; });
}

void tst_MainSettings::cleanup()
{
    delete m_form;
    delete m_host;
    if (m_port)
        m_port->StopComm();
    delete m_port;
    m_port = nullptr;
    OperatorDialogs::install(nullptr);
}

QList<QWidget *> tst_MainSettings::windowsOf(const char *className) const
{
    QList<QWidget *> found;
    for (QWidget *child : m_form->childWindows())
        if (child->inherits(className))
            found << child;
    return found;
}

QMdiSubWindow *tst_MainSettings::frameOf(QWidget *window) const
{
    return qobject_cast<QMdiSubWindow *>(window->parentWidget());
}

void tst_MainSettings::closeAllChildren()
{
    m_form->CloseAllItemClick();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(m_form->childWindows().isEmpty());
}

void tst_MainSettings::writeFile(const QString &fileName, const QByteArray &text)
{
    QFile file(fileName);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
}

void tst_MainSettings::saveWithNoChildWindow()
{
    IniFile ini;
    MainSettings::SaveMainSettings(*m_form, ini);
    QCOMPARE(ini.keys("MDI Section"), QStringList{"Count"});
    QCOMPARE(ini.readInteger("MDI Section", "Count", -1), 0);
    QCOMPARE(ini.readString("RS232 Section", "COM Port"), QStringLiteral("COM1"));
    QCOMPARE(ini.readInteger("RS232 Section", "Parity", -1), 2);
}

void tst_MainSettings::threeMonitorsComeBack()
{
    const QString monitor1 = QStringLiteral("Монитор:  ПЧ     #1");
    QWidget *one = m_form->ShowChildWindow("TMonitorForm", monitor1);
    QWidget *three = m_form->ShowChildWindow("TMonitorForm", Monitor3);
    QWidget *seven = m_form->ShowChildWindow("TMonitorForm", Monitor7);
    QVERIFY(one && three && seven && three != seven);
    frameOf(one)->setGeometry(5, 6, 210, 140);
    frameOf(three)->setGeometry(10, 20, 200, 150);
    frameOf(seven)->setGeometry(30, 40, 250, 160);

    IniFile ini;
    MainSettings::SaveMainSettings(*m_form, ini);
    // The class keys are written as always and hold the last window.
    QCOMPARE(ini.readInteger("MDI Section", "Count", -1), 3);
    QCOMPARE(ini.readString("MDI Section", "Form1"), QStringLiteral("TMonitorForm"));
    QCOMPARE(ini.readString("MDI Section", "Form3"), QStringLiteral("TMonitorForm"));
    QCOMPARE(ini.readString("MDI Section", "TMonitorForm.Caption"), Monitor7);
    QCOMPARE(ini.readInteger("MDI Section", "TMonitorForm.Left", -1), 30);
    QCOMPARE(ini.readInteger("MDI Section", "TMonitorForm.Top", -1), 40);
    QCOMPARE(ini.readInteger("MDI Section", "TMonitorForm.Width", -1), 250);
    QCOMPARE(ini.readInteger("MDI Section", "TMonitorForm.Height", -1), 160);

    closeAllChildren();
    QVERIFY(MainSettings::LoadMainSettings(*m_form, ini).isEmpty());
    const QList<QWidget *> monitors = windowsOf("TMonitorForm");
    QCOMPARE(monitors.size(), 3);
    QCOMPARE(monitors[0]->windowTitle(), monitor1);
    QCOMPARE(monitors[1]->windowTitle(), Monitor3);
    QCOMPARE(monitors[2]->windowTitle(), Monitor7);
    QCOMPARE(frameOf(monitors[0])->geometry(), QRect(5, 6, 210, 140));
    QCOMPARE(frameOf(monitors[1])->geometry(), QRect(10, 20, 200, 150));
    QCOMPARE(frameOf(monitors[2])->geometry(), QRect(30, 40, 250, 160));
}

void tst_MainSettings::programMonitorWindowsComeBack()
{
    RegisterWindowClasses(); // the program's own monitor window instead of the stand-in
    m_host->registry().CreateKX100(3);
    m_host->registry().CreateKX100(7);
    m_form->ShowChildWindow("TMonitorForm", Monitor3);
    QWidget *seven = m_form->ShowChildWindow("TMonitorForm", Monitor7);
    QVERIFY(seven);
    frameOf(seven)->move(40, 30);
    IniFile ini;
    MainSettings::SaveMainSettings(*m_form, ini);
    QCOMPARE(ini.readString("MDI Section", "Form2"), QStringLiteral("TMonitorForm"));

    closeAllChildren();
    MainSettings::LoadMainSettings(*m_form, ini);
    const QList<QWidget *> children = m_form->childWindows();
    QCOMPARE(children.size(), 2);
    QCOMPARE(QString::fromLatin1(children.last()->metaObject()->className()),
             QStringLiteral("TMonitorForm"));
    QCOMPARE(children.first()->windowTitle(), Monitor3);
    QCOMPARE(children.last()->windowTitle(), Monitor7);
    QCOMPARE(frameOf(children.last())->pos(), QPoint(40, 30));
}

void tst_MainSettings::loadDoesNotDuplicateOpenWindows()
{
    QWidget *led = m_form->ShowChildWindow("TLEDForm", QString());
    QWidget *seven = m_form->ShowChildWindow("TMonitorForm", Monitor7);
    IniFile ini;
    ini.parse("[MDI Section]\nCount=2\nForm1=TMonitorForm\nForm2=TMonitorForm\n"
              "TMonitorForm.Caption=" +
              Monitor7 +
              "\nTMonitorForm.Left=50\n"
              "TMonitorForm.Top=60\nTMonitorForm.Width=300\nTMonitorForm.Height=200\n");
    MainSettings::LoadMainSettings(*m_form, ini);
    QCOMPARE(m_form->childWindows(), (QList<QWidget *>{led, seven}));
    QCOMPARE(frameOf(seven)->geometry(), QRect(50, 60, 300, 200));
}

void tst_MainSettings::notRestorableClassOpensNothing_data()
{
    QTest::addColumn<QString>("className");
    QTest::newRow("group A window") << "TKX300ADnLdForm"; // creatable, but not restorable
    QTest::newRow("group B window") << "TKX300BDnLdForm"; // written, skipped on reading
    QTest::newRow("group U window") << "TKX300UDnLdForm";
    QTest::newRow("unknown") << "TNoSuchForm";
    QTest::newRow("empty") << "";
}

void tst_MainSettings::notRestorableClassOpensNothing()
{
    QFETCH(QString, className);
    IniFile ini;
    ini.writeInteger("MDI Section", "Count", 1);
    ini.writeString("MDI Section", "Form1", className);
    ini.writeString("MDI Section", className + ".Caption", "Группа:  ПЧ     #1");
    QVERIFY(MainSettings::LoadMainSettings(*m_form, ini).isEmpty());
    QVERIFY(m_form->childWindows().isEmpty());
}

void tst_MainSettings::hugeCountOpensNoFlood()
{
    IniFile ini;
    ini.writeString("MDI Section", "Count", "2147483647");
    ini.writeString("MDI Section", "TMonitorForm.Caption", Monitor3);
    for (int n = 1; n <= 300; ++n)
        ini.writeString("MDI Section", QStringLiteral("Form%1").arg(n),
                        n % 2 ? "TMonitorForm" : "TLEDForm");
    const QStringList notes = MainSettings::LoadMainSettings(*m_form, ini);
    QCOMPARE(notes.size(), 1);
    QCOMPARE(m_form->childWindows().size(), 2);
}

void tst_MainSettings::captionNamingNoSlotOpensNothing()
{
    IniFile ini;
    ini.parse("[MDI Section]\nCount=1\nForm1=TMonitorForm\n"
              "TMonitorForm.Caption=Монитор:  ПЧ     #40\n");
    const QStringList notes = MainSettings::LoadMainSettings(*m_form, ini);
    QCOMPARE(notes.size(), 1);
    QVERIFY(m_form->childWindows().isEmpty());
}

void tst_MainSettings::absurdGeometryIsBounded()
{
    IniFile ini;
    ini.parse("[MDI Section]\nCount=1\nForm1=TLEDForm\nTLEDForm.Caption=\n"
              "TLEDForm.Left=2147483647\nTLEDForm.Top=-2147483648\n"
              "TLEDForm.Width=-300\nTLEDForm.Height=99999999\n");
    MainSettings::LoadMainSettings(*m_form, ini);
    const QList<QWidget *> leds = windowsOf("TLEDForm");
    QCOMPARE(leds.size(), 1);
    const QRect geometry = frameOf(leds.first())->geometry();
    const QSize desktop = m_form->screen()->availableVirtualSize();
    QVERIFY2(geometry.width() >= SetupFile::MinimumSide && geometry.height() <= desktop.height(),
             qPrintable(QStringLiteral("%1 x %2").arg(geometry.width()).arg(geometry.height())));
    QVERIFY(geometry.left() <= desktop.width() - SetupFile::VisibleMargin);
    QCOMPARE(geometry.top(), 0);
}

void tst_MainSettings::openingWhilePortIsOpenDoesNotRestartIt()
{
    PseudoTerminalPair line;
    QVERIFY2(line.isOpen(), qPrintable(line.errorString()));
    m_port->setCommPort(line.slavePath());
    m_port->setBaudRate(9600);
    m_port->setParity(pNone);
    QVERIFY(m_port->StartComm());
    const termios before = line.slaveAttributes();
    QCOMPARE(cfgetospeed(&before), speed_t(B9600));

    const QString file = path("plant.ini");
    writeFile(file, "[RS232 Section]\nCOM Port=COM2\nBaud Rate=19200\nParity=2\n"
                    "Stop Bits=2\nByte Size=7\n");
    QVERIFY(MainSettings::OpenSetupFile(*m_form, file));

    QCOMPARE(m_port->commPort(), QStringLiteral("COM2"));
    QCOMPARE(m_port->baudRate(), 19200);
    QCOMPARE(m_port->parity(), pEven);
    QCOMPARE(m_port->stopBits(), sb2_0);
    QCOMPARE(m_port->byteSize(), 7);
    // The running port keeps its line until it is restarted.
    QVERIFY(m_port->isOpen());
    const termios after = line.slaveAttributes();
    QCOMPARE(cfgetospeed(&after), speed_t(B9600));
    QCOMPARE(after.c_cflag & (PARENB | CSTOPB | CSIZE), before.c_cflag & (PARENB | CSTOPB | CSIZE));
    QVERIFY(m_dialogs->shown.isEmpty());
}

void tst_MainSettings::simulatedPortStaysOutOfFilesAndInTheList()
{
    PseudoTerminalPair line;
    QVERIFY2(line.isOpen(), qPrintable(line.errorString()));
    const auto savedPort = [this](const QString &file) {
        IniFile ini(file);
        return ini.load() ? ini.readString("RS232 Section", "COM Port") : QStringLiteral("?");
    };
    m_form->setSimulatedPort(line.slavePath());
    m_form->show();
    QCOMPARE(m_port->commPort(), line.slavePath());

    // Saving records the port configured for a real bus, not the simulator's device.
    const QString file = path("demo.ini");
    QVERIFY(MainSettings::SaveSetupFile(*m_form, file));
    QCOMPARE(savedPort(file), QStringLiteral("COM1"));

    // A file naming another port leaves the simulated bus in use and keeps the file's port
    // for the next save, saying so in the status bar.
    const QString plant = path("plant.ini");
    writeFile(plant, "[RS232 Section]\nCOM Port=COM2\nBaud Rate=9600\nParity=2\n"
                     "Stop Bits=0\nByte Size=8\n");
    QVERIFY(MainSettings::OpenSetupFile(*m_form, plant));
    QCOMPARE(m_port->commPort(), line.slavePath());
    QVERIFY(m_form->messagePanel()->text().contains(QStringLiteral("COM2")));
    QVERIFY(MainSettings::SaveSetupFile(*m_form, file));
    QCOMPARE(savedPort(file), QStringLiteral("COM2"));

    // With a real port chosen, the port list still offers the simulated bus to come back to.
    m_port->setCommPort(QStringLiteral("COM1"));
    TRS232Form dialog;
    QVERIFY(dialog.listedDevices().contains(line.slavePath()));
}

void tst_MainSettings::saveCommandWritesTheSetup()
{
    m_host->registry().CreateKX100(5);
    m_form->ShowChildWindow("TMonitorForm", Monitor3);
    const QString file = path("setup.ini");
    m_dialogs->saveFileNames << file;
    m_form->SaveBtnClick();

    QCOMPARE(m_dialogs->fileRequests.size(), 1);
    const OperatorDialogs::FileRequest &request = m_dialogs->fileRequests.first();
    QCOMPARE(request.filter, QStringLiteral("*.ini (Setup file) (*.ini)"));
    QCOMPARE(request.defaultSuffix, QStringLiteral("ini"));
    QVERIFY(request.confirmOverwrite);
    QVERIFY(m_dialogs->shown.isEmpty());

    IniFile ini(file);
    QVERIFY(ini.load());
    const QStringList sections = ini.sections();
    QCOMPARE(sections.size(), 34);
    QCOMPARE(sections.first(), TDM::SectionName(0));
    QCOMPARE(sections.at(32), QStringLiteral("RS232 Section"));
    QCOMPARE(sections.at(33), QStringLiteral("MDI Section"));
    QCOMPARE(ini.readString(TDM::SectionName(5), "TypeName"), QStringLiteral("KX100"));
    QCOMPARE(ini.readString("MDI Section", "TMonitorForm.Caption"), Monitor3);
    QCOMPARE(m_form->windowTitle(), "Drivelink [" + file + "]");
    QCOMPARE(m_form->mruManager()->items(), QStringList{file});
}

void tst_MainSettings::savingAListedNameMovesItToTop()
{
    for (const char *name : {"a.ini", "b.ini", "c.ini", "b.ini"}) {
        m_dialogs->saveFileNames << path(name);
        m_form->SaveBtnClick();
    }
    QCOMPARE(m_form->mruManager()->items(),
             (QStringList{path("b.ini"), path("c.ini"), path("a.ini")}));
}

void tst_MainSettings::eleventhSavedNamePushesOutOldest()
{
    for (int i = 0; i < 11; ++i) {
        m_dialogs->saveFileNames << path(QStringLiteral("f%1.ini").arg(i));
        m_form->SaveBtnClick();
    }
    const QStringList items = m_form->mruManager()->items();
    QCOMPARE(items.size(), 10);
    QCOMPARE(items.first(), path("f10.ini"));
    QVERIFY(!items.contains(path("f0.ini")));
}

void tst_MainSettings::unwritableFileChangesNothing()
{
    m_dialogs->saveFileNames << path("first.ini") << path("no/such/folder/x.ini");
    m_form->SaveBtnClick();
    const QString caption = m_form->windowTitle();
    m_form->SaveBtnClick();
    QCOMPARE(m_dialogs->shown.size(), 1);
    QVERIFY2(m_dialogs->shown.first().text.contains("no/such/folder"),
             qPrintable(m_dialogs->shown.first().text));
    QCOMPARE(m_form->windowTitle(), caption);
    QCOMPARE(m_form->mruManager()->items(), QStringList{path("first.ini")});
    QVERIFY(!QFile::exists(path("no/such/folder/x.ini")));
}

void tst_MainSettings::saveKeepsForeignSections()
{
    const QString file = path("shared.ini");
    writeFile(file, "[Operator notes]\nLine=pump 2\n[MDI Section]\nCount=9\nForm9=TLEDForm\n");
    m_dialogs->saveFileNames << file;
    m_form->SaveBtnClick();
    IniFile ini(file);
    QVERIFY(ini.load());
    QCOMPARE(ini.readString("Operator notes", "Line"), QStringLiteral("pump 2"));
    QCOMPARE(ini.keys("MDI Section"), QStringList{"Count"});
}

void tst_MainSettings::cancelledDialogsDoNothing()
{
    m_form->OpenBtnClick();
    m_form->SaveBtnClick();
    QCOMPARE(m_dialogs->fileRequests.size(), 2);
    QCOMPARE(m_form->windowTitle(), QStringLiteral("Drivelink [Untitle]"));
    QVERIFY(m_form->mruManager()->items().isEmpty());
    QVERIFY(m_dialogs->shown.isEmpty());
}

void tst_MainSettings::openCommandLoadsWithoutRecentEntry()
{
    const QString file = path("open.ini");
    writeFile(file, ("[" + TDM::SectionName(4) +
                     "]\nEnable=true\nTypeName=KX200\n"
                     "[MDI Section]\nCount=1\nForm1=TMonitorForm\nTMonitorForm.Caption=" +
                     Monitor3 + "\n")
                        .toUtf8());
    m_dialogs->openFileNames << file;
    m_form->OpenBtnClick();

    const OperatorDialogs::FileRequest &request = m_dialogs->fileRequests.first();
    QCOMPARE(request.filter, QStringLiteral("*.ini (Setup File) (*.ini)"));
    QCOMPARE(request.defaultSuffix, QStringLiteral("ini"));
    QCOMPARE(m_host->registry().GetTypeName(4), QStringLiteral("KX200"));
    QCOMPARE(windowsOf("TMonitorForm").size(), 1);
    QCOMPARE(m_form->windowTitle(), "Drivelink [" + file + "]");
    QVERIFY(m_form->mruManager()->items().isEmpty());
}

void tst_MainSettings::mixedEncodingIsNamedInTheStatusBar()
{
    // A comment another editor saved in Windows-1251 does not cost the UTF-8 sections.
    const QString file = path("mixed.ini");
    writeFile(file, "; \xEF\xF0\xE0\xE2\xEA\xE0\n[" + TDM::SectionName(5).toUtf8() +
                        "]\nEnable=true\nTypeName=KX100\n");
    m_dialogs->openFileNames << file;
    m_form->OpenBtnClick();
    QCOMPARE(m_host->registry().GetTypeName(5), QStringLiteral("KX100"));
    const auto *panel = m_form->findChild<QLabel *>(QStringLiteral("MessagePanel"));
    QVERIFY(panel);
    QVERIFY2(panel->text().contains(QStringLiteral("UTF-8 и Windows-1251")), qPrintable(panel->text()));
}

void tst_MainSettings::recentEntryOpensItsFile()
{
    m_dialogs->saveFileNames << path("one.ini") << path("two.ini");
    m_host->registry().CreateKX300(9);
    m_form->SaveBtnClick();
    m_host->registry().RemoveInverter(9);
    m_form->SaveBtnClick();

    m_form->MRUManager1Click(path("one.ini"));
    QVERIFY(m_host->registry().HasInverter(9));
    QCOMPARE(m_form->windowTitle(), "Drivelink [" + path("one.ini") + "]");
    // Opened, not saved: the list keeps its order.
    QCOMPARE(m_form->mruManager()->items(), (QStringList{path("two.ini"), path("one.ini")}));
}

void tst_MainSettings::missingRecentFileIsReported()
{
    m_host->registry().CreateKX100(2);
    m_form->MRUManager1Click(path("gone.ini"));
    QCOMPARE(m_dialogs->shown.size(), 1);
    QVERIFY(m_dialogs->shown.first().text.contains("gone.ini"));
    QCOMPARE(m_form->windowTitle(), QStringLiteral("Drivelink [Untitle]"));
    QVERIFY(m_host->registry().HasInverter(2));
}

QTEST_MAIN(tst_MainSettings)
#include "tst_MainSettings.moc"
