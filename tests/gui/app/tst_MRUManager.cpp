#include "app/MRUManager.h"

#include <QAction>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>

class tst_MRUManager : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void entriesFollowTheMenuAfterASeparator();
    void separatorAfterEveryTwoEntries_data();
    void separatorAfterEveryTwoEntries();
    void entryShowsTheFullNameAndReportsIt();
    void listCanChangeInsideAnEntryHandler();

private:
    // The texts of the list's part of the menu, "-" for a separator.
    QStringList listPart() const;

    QMenu *m_menu = nullptr;
    MRUManager *m_mru = nullptr;
};

void tst_MRUManager::init()
{
    m_menu = new QMenu;
    m_menu->addAction("&Открыть...");
    m_menu->addAction("В&ыход");
    m_mru = new MRUManager(m_menu);
}

void tst_MRUManager::cleanup()
{
    delete m_mru;
    delete m_menu;
}

QStringList tst_MRUManager::listPart() const
{
    QStringList texts;
    const QList<QAction *> actions = m_menu->actions();
    for (qsizetype i = 2; i < actions.size(); ++i)
        texts << (actions[i]->isSeparator() ? QStringLiteral("-") : actions[i]->text());
    return texts;
}

void tst_MRUManager::entriesFollowTheMenuAfterASeparator()
{
    QCOMPARE(m_mru->objectName(), QStringLiteral("MRUManager1"));
    QCOMPARE(m_menu->actions().size(), 2); // an empty list adds nothing
    m_mru->add("/a.ini");
    QCOMPARE(m_menu->actions().at(0)->text(), QStringLiteral("&Открыть..."));
    QCOMPARE(listPart(), (QStringList{"-", "/a.ini"}));
    m_mru->add("/b.ini");
    m_mru->add("/a.ini");
    QCOMPARE(listPart(), (QStringList{"-", "/a.ini", "/b.ini"}));
    m_mru->remove("/a.ini");
    m_mru->remove("/b.ini");
    QCOMPARE(m_menu->actions().size(), 2);
}

void tst_MRUManager::separatorAfterEveryTwoEntries_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("3") << 3 << QStringList{"-", "/2", "/1", "-", "/0"};
    QTest::newRow("4") << 4 << QStringList{"-", "/3", "/2", "-", "/1", "/0"};
    QTest::newRow("5") << 5 << QStringList{"-", "/4", "/3", "-", "/2", "/1", "-", "/0"};
}

void tst_MRUManager::separatorAfterEveryTwoEntries()
{
    QFETCH(int, count);
    QFETCH(QStringList, expected);
    for (int i = 0; i < count; ++i)
        m_mru->add(QStringLiteral("/%1").arg(i));
    QCOMPARE(listPart(), expected);
}

void tst_MRUManager::entryShowsTheFullNameAndReportsIt()
{
    m_mru->add("/home/op/R&D/plant.ini");
    m_mru->add("/b.ini");
    QAction *entry = m_menu->actions().last();
    // "&&" shows the ampersand instead of making an accelerator of the next letter.
    QCOMPARE(entry->text(), QStringLiteral("/home/op/R&&D/plant.ini"));
    QSignalSpy spy(m_mru, &MRUManager::itemClicked);
    entry->trigger();
    QCOMPARE(spy.size(), 1);
    QCOMPARE(spy.first().first().toString(), QStringLiteral("/home/op/R&D/plant.ini"));
}

void tst_MRUManager::listCanChangeInsideAnEntryHandler()
{
    m_mru->add("/a.ini");
    m_mru->add("/b.ini");
    connect(m_mru, &MRUManager::itemClicked, m_mru, [this](const QString &name) {
        m_mru->add(name); // rebuilds the menu while its entry is being triggered
    });
    m_menu->actions().last()->trigger();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(listPart(), (QStringList{"-", "/a.ini", "/b.ini"}));
}

QTEST_MAIN(tst_MRUManager)
#include "tst_MRUManager.moc"
