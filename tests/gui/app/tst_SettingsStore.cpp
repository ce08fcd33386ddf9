#include "FakeCommLink.h"
#include "RecordingDialogs.h"

#include "setup/IniFile.h"
#include "app/MRUManager.h"
#include "app/SectionedToolBar.h"
#include "app/SettingsStore.h"
#include "app/TMainForm.h"
#include "app/WindowClasses.h"
#include "views/TTrafficLogForm.h"
#include "bus/BusHost.h"
#include "bus/TDM.h"
#include "bus/TInverterBase.h"
#include "params/ParameterSet.h"
#include "serial/TComm32.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMdiSubWindow>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

// Stand-ins for the program's window classes, under the names the store uses (local to this
// test, so they never clash with the real classes).
class TLEDForm : public QWidget
{
    Q_OBJECT
};
class TMonitorForm : public QWidget
{
    Q_OBJECT
};

void registerStandIns()
{
    using Kind = WindowClasses::Kind;
    WindowClasses::registerClass("TLEDForm", Kind::MdiChild, [] { return new TLEDForm; });
    WindowClasses::registerClass("TMonitorForm", Kind::MdiChild, [] { return new TMonitorForm; });
}

// A line that notes how many child windows exist when the main window opens it.
class PortProbe : public FakeCommLink
{
public:
    TMainForm *form = nullptr;
    int childrenAtStart = -1;

    bool StartComm() override
    {
        childrenAtStart = form ? int(form->childWindows().size()) : -1;
        return FakeCommLink::StartComm();
    }
};

// The program's window with its own bus host and line; the line is a real port when asked.
struct Station
{
    std::unique_ptr<CommLink> line;
    std::unique_ptr<BusHost> host;
    std::unique_ptr<TMainForm> form;

    explicit Station(std::unique_ptr<CommLink> link) : line(std::move(link))
    {
        host = std::make_unique<BusHost>(line.get(), BusHost::Role::Forwarded);
        form = std::make_unique<TMainForm>(host.get(), line.get());
        registerStandIns();
    }
    ~Station()
    {
        form.reset();
        host.reset();
    }
    TDM &registry() { return host->registry(); }
    TComm32 &port() { return *qobject_cast<TComm32 *>(line.get()); }
    QWidget *frame(QWidget *window) { return window->parentWidget(); }
};

// Windows-1251 bytes of a text of ASCII and Russian letters.
QByteArray windows1251(const QString &text)
{
    QByteArray bytes;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x80)
            bytes += char(u);
        else if (u >= 0x0410 && u <= 0x044F)
            bytes += char(0xC0 + (u - 0x0410));
        else if (u == 0x0401)
            bytes += char(0xA8);
        else if (u == 0x0451)
            bytes += char(0xB8);
        else
            bytes += '?';
    }
    return bytes;
}

QByteArray readAll(const QString &fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

const QString Monitor3 = QStringLiteral("Монитор:  ПЧ     #3");

} // namespace

class tst_SettingsStore : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void fileNameFollowsTheConfigDirectory();
    void roundTrip();
    void readBeforeThePortOpensWrittenOnClose();
    void windowNeverShownDoesNotWipeTheStore();
    void trafficLogReopensWithoutEnteringTheWindowList();
    void olderWindowsStoreLoads();
    void maximisedWindowComesBackMaximised();
    void interruptedSaveKeepsThePreviousFile();
    void unreadableStoreIsReportedAndLeftAlone();

private:
    QString storeName() const { return m_dir.filePath("tst_SettingsStore.INI"); }

    QTemporaryDir m_dir;
    RecordingDialogs *m_dialogs = nullptr;
};

void tst_SettingsStore::init()
{
    QVERIFY(m_dir.isValid());
    QFile::remove(storeName());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.path()));
    m_dialogs = RecordingDialogs::installNew();
}

void tst_SettingsStore::cleanup()
{
    IniFile::setBeforeRenameHook({});
    OperatorDialogs::install(nullptr);
}

void tst_SettingsStore::fileNameFollowsTheConfigDirectory()
{
    QCOMPARE(SettingsStore::defaultFileName(), storeName());
    const QString home = QDir::homePath() + "/.config/tst_SettingsStore.INI";
    qputenv("XDG_CONFIG_HOME", "");
    QCOMPARE(SettingsStore::defaultFileName(), home);
    qputenv("XDG_CONFIG_HOME", "relative/dir");
    QCOMPARE(SettingsStore::defaultFileName(), home);
    qunsetenv("XDG_CONFIG_HOME");
    QCOMPARE(SettingsStore::defaultFileName(), home);
}

void tst_SettingsStore::roundTrip()
{
    QList<int32_t> params[3];
    {
        Station first(std::make_unique<TComm32>());
        first.port().setCommPort("COM2");
        first.port().setBaudRate(19200);
        first.port().setParity(pOdd);
        first.port().setStopBits(sb2_0);
        first.port().setByteSize(7);
        first.registry().CreateKX100(1);
        first.registry().CreateKX200(2);
        first.registry().CreateKX300(3);
        // Every parameter of every set moves off its default.
        for (int slot = 1; slot <= 3; ++slot) {
            TInverterBase *driver = first.registry().GetInverter(slot);
            const ParameterSet &set = ParameterSet::forModel(driver->GetTypeName());
            QVERIFY(!set.isEmpty());
            for (const ParameterDef &def : set.rows())
                driver->setParam(def.index, def.defaultValue + def.index + slot);
            params[slot - 1] = driver->Params();
        }
        QWidget *led = first.form->ShowChildWindow("TLEDForm", QString());
        QWidget *monitor = first.form->ShowChildWindow("TMonitorForm", Monitor3);
        first.frame(led)->setGeometry(0, 0, 320, 240);
        first.frame(monitor)->setGeometry(330, 20, 260, 180);
        first.form->toolBar()->setLayout({"AddressBtn", "SpeedItem4", "LedBtn"});
        first.form->mruManager()->add("/plants/a.ini");
        first.form->mruManager()->add("/plants/b.ini");
        first.form->setWindowState(Qt::WindowNoState);
        first.form->setGeometry(100, 80, 500, 400);

        SettingsStore store(*first.form, SettingsStore::defaultFileName());
        QVERIFY(store.save());
    }
    QVERIFY(m_dialogs->shown.isEmpty());

    Station second(std::make_unique<TComm32>());
    SettingsStore store(*second.form, SettingsStore::defaultFileName());
    QVERIFY(store.restore());
    QVERIFY(m_dialogs->shown.isEmpty());

    QCOMPARE(second.port().commPort(), QStringLiteral("COM2"));
    QCOMPARE(second.port().baudRate(), 19200);
    QCOMPARE(second.port().parity(), pOdd);
    QCOMPARE(second.port().stopBits(), sb2_0);
    QCOMPARE(second.port().byteSize(), 7);
    const char *models[] = {"KX100", "KX200", "KX300"};
    for (int slot = 1; slot <= 3; ++slot) {
        QCOMPARE(second.registry().GetTypeName(slot), QString::fromLatin1(models[slot - 1]));
        QCOMPARE(second.registry().GetInverter(slot)->Params(), params[slot - 1]);
    }
    QVERIFY(!second.registry().HasInverter(0));

    const QList<QWidget *> children = second.form->childWindows();
    QCOMPARE(children.size(), 2);
    QVERIFY(children[0]->inherits("TLEDForm"));
    QCOMPARE(second.frame(children[0])->geometry(), QRect(0, 0, 320, 240));
    QVERIFY(children[1]->inherits("TMonitorForm"));
    QCOMPARE(children[1]->windowTitle(), Monitor3);
    QCOMPARE(second.frame(children[1])->geometry(), QRect(330, 20, 260, 180));

    QCOMPARE(second.form->toolBar()->layout(), (QStringList{"AddressBtn", "SpeedItem4", "LedBtn"}));
    QCOMPARE(second.form->mruManager()->items(), (QStringList{"/plants/b.ini", "/plants/a.ini"}));
    QVERIFY(!(second.form->windowState() & Qt::WindowMaximized));
    QCOMPARE(second.form->geometry(), QRect(100, 80, 500, 400));
}

void tst_SettingsStore::readBeforeThePortOpensWrittenOnClose()
{
    IniFile seed(storeName());
    seed.parse("[MDI Section]\nCount=1\nForm1=TLEDForm\n[" + TDM::SectionName(6) +
               "]\nEnable=true\nTypeName=KX100\n");
    QVERIFY(seed.save());

    auto probe = std::make_unique<PortProbe>();
    PortProbe *line = probe.get();
    Station station(std::move(probe));
    line->form = station.form.get();
    SettingsStore *store = InstallSettingsStore(*station.form);
    QCOMPARE(store->fileName(), storeName());

    station.form->show();
    QCOMPARE(line->startCount, 1);
    QCOMPARE(line->childrenAtStart, 1); // the store's window was there before the port opened
    QVERIFY(station.registry().HasInverter(6));

    station.form->ShowChildWindow("TMonitorForm", Monitor3);
    station.registry().CreateKX200(7);
    QVERIFY(station.form->close());
    QCOMPARE(line->stopCount, 1);

    // The windows open when the close began are kept, although the close has shut them.
    IniFile stored(storeName());
    QVERIFY(stored.load());
    QCOMPARE(stored.readInteger("MDI Section", "Count", -1), 2);
    QCOMPARE(stored.readString("MDI Section", "Form1"), QStringLiteral("TLEDForm"));
    QCOMPARE(stored.readString("MDI Section", "Form2"), QStringLiteral("TMonitorForm"));
    QCOMPARE(stored.readString("MDI Section", "TMonitorForm.Caption"), Monitor3);
    QCOMPARE(stored.readString(TDM::SectionName(7), "TypeName"), QStringLiteral("KX200"));
    QCOMPARE(stored.readString(TDM::SectionName(6), "TypeName"), QStringLiteral("KX100"));
    QVERIFY(stored.valueExists("TMainForm", "NormPos"));
    QCOMPARE(stored.readString("TMainForm", "Visible"), QStringLiteral("1"));
    QVERIFY(stored.valueExists("TMainForm.Toolbar", "Count"));
}

void tst_SettingsStore::windowNeverShownDoesNotWipeTheStore()
{
    IniFile seed(storeName());
    seed.parse("[" + TDM::SectionName(6) + "]\nEnable=true\nTypeName=KX100\n");
    QVERIFY(seed.save());
    const QByteArray before = readAll(storeName());

    Station station(std::make_unique<FakeCommLink>());
    InstallSettingsStore(*station.form);
    station.form->close();
    QCOMPARE(readAll(storeName()), before);
}

void tst_SettingsStore::trafficLogReopensWithoutEnteringTheWindowList()
{
    {
        Station station(std::make_unique<FakeCommLink>());
        InstallSettingsStore(*station.form);
        station.form->show();
        station.form->TrafficLogItemClick();
        station.form->trafficLogWindow()->parentWidget()->setGeometry(40, 30, 500, 300);
        QVERIFY(station.form->close());
    }
    IniFile stored(storeName());
    QVERIFY(stored.load());
    QCOMPARE(stored.readBool(SettingsStore::TrafficLogSection, SettingsStore::TrafficLogOpenKey,
                             false),
             true);
    QVERIFY(!stored.readString("MDI Section", "Form2").contains("Traffic"));
    QVERIFY(!stored.readString("MDI Section", "Form1").contains("Traffic"));

    // Reopened after the start-up windows, which still include the status panel.
    Station again(std::make_unique<FakeCommLink>());
    InstallSettingsStore(*again.form);
    again.form->show();
    QTRY_VERIFY(again.form->trafficLogWindow());
    QTRY_COMPARE(again.form->childWindows().size(), 2);
    QCOMPARE(again.form->trafficLogWindow()->parentWidget()->geometry(), QRect(40, 30, 500, 300));
}

void tst_SettingsStore::olderWindowsStoreLoads()
{
    const QString text =
        "[TMainForm]\r\nFlags=0\r\nShowCmd=1\r\nMinMaxPos=-1,-1,-4,-4\r\n"
        "NormPos=20,30,620,530\r\nActiveControl=\r\nVisible=1\r\n"
        "[TMainForm.MRUManager1]\r\nItem_0=C:\\Наладка\\Цех 2.ini\r\n"
        "[" +
        TDM::SectionName(4) +
        "]\r\nEnable=true\r\nTypeName=KX100\r\nEnable=false\r\n"
        "[RS232 Section]\r\nCOM Port=COM2\r\nBaud Rate=9600\r\nParity=2\r\nStop Bits=0\r\n"
        "Byte Size=8\r\n"
        "[MDI Section]\r\nCount=1\r\nForm1=TMonitorForm\r\n"
        "TMonitorForm.Caption=Монитор:  ПЧ     #4\r\nTMonitorForm.Top=10\r\n"
        "TMonitorForm.Left=15\r\nTMonitorForm.Width=280\r\nTMonitorForm.Height=190\r\n";
    QFile file(storeName());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(windows1251(text));
    file.close();

    Station station(std::make_unique<TComm32>());
    SettingsStore store(*station.form, storeName());
    QVERIFY(store.restore());
    QVERIFY(m_dialogs->shown.isEmpty());
    QCOMPARE(station.registry().GetTypeName(4), QStringLiteral("KX100"));
    // A key written twice is named, as when a setup file is opened.
    QVERIFY(station.form->messagePanel()->text().contains(QStringLiteral("повторы")));
    QCOMPARE(station.port().commPort(), QStringLiteral("COM2"));
    QCOMPARE(station.form->mruManager()->items(), QStringList{"C:\\Наладка\\Цех 2.ini"});
    const QList<QWidget *> children = station.form->childWindows();
    QCOMPARE(children.size(), 1);
    QCOMPARE(children[0]->windowTitle(), QStringLiteral("Монитор:  ПЧ     #4"));
    QCOMPARE(station.frame(children[0])->geometry(), QRect(15, 10, 280, 190));
    QCOMPARE(station.form->geometry(), QRect(20, 30, 600, 500));
}

void tst_SettingsStore::maximisedWindowComesBackMaximised()
{
    IniFile seed(storeName());
    seed.parse("[TMainForm]\nFlags=2\nShowCmd=2\nNormPos=10,10,410,310\n");
    QVERIFY(seed.save());
    Station station(std::make_unique<FakeCommLink>());
    station.form->setWindowState(Qt::WindowNoState);
    SettingsStore store(*station.form, storeName());
    QVERIFY(store.restore());
    QVERIFY(station.form->windowState() & Qt::WindowMaximized);
    QVERIFY(!(station.form->windowState() & Qt::WindowMinimized));
}

void tst_SettingsStore::interruptedSaveKeepsThePreviousFile()
{
    Station station(std::make_unique<TComm32>());
    SettingsStore store(*station.form, storeName());
    station.registry().CreateKX100(1);
    QVERIFY(store.save());
    const QByteArray before = readAll(storeName());
    QVERIFY(!before.isEmpty());

    station.registry().CreateKX300(2);
    station.form->mruManager()->add("/new.ini");
    QString written;
    IniFile::setBeforeRenameHook([&written](const QString &temp, const QString &) {
        written = QString::fromUtf8(readAll(temp));
        return false; // the save breaks off between writing and renaming
    });
    QVERIFY(!store.save());
    QVERIFY(written.contains("/new.ini")); // the new content had been written in full
    QCOMPARE(m_dialogs->shown.size(), 1);
    QCOMPARE(readAll(storeName()), before);
    QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files), QStringList{"tst_SettingsStore.INI"});

    IniFile reread(storeName());
    QVERIFY(reread.load());
    QCOMPARE(reread.readString(TDM::SectionName(1), "TypeName"), QStringLiteral("KX100"));
    QCOMPARE(reread.readString(TDM::SectionName(2), "Enable"), QStringLiteral("false"));
}

void tst_SettingsStore::unreadableStoreIsReportedAndLeftAlone()
{
    QVERIFY(QDir(m_dir.path()).mkdir("tst_SettingsStore.INI"));
    Station station(std::make_unique<FakeCommLink>());
    SettingsStore store(*station.form, storeName());
    QVERIFY(!store.restore());
    QCOMPARE(m_dialogs->shown.size(), 1);
    QVERIFY(m_dialogs->shown.first().text.contains("tst_SettingsStore.INI"));
    QVERIFY(!store.save());
    QCOMPARE(m_dialogs->shown.size(), 2);
    QVERIFY(QFileInfo(storeName()).isDir());
    QVERIFY(QDir(m_dir.path()).rmdir("tst_SettingsStore.INI"));
}

QTEST_MAIN(tst_SettingsStore)
#include "tst_SettingsStore.moc"
