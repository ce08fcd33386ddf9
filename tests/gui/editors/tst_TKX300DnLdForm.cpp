#include "FakeCommLink.h"
#include "RecordingDialogs.h"

#include "app/TMainForm.h"
#include "app/WindowClasses.h"
#include "bus/BusHost.h"
#include "editors/TKX300BDnLdForm.h"
#include "editors/TKX300CDnLdForm.h"
#include "editors/TKX300DnLdForm.h"
#include "editors/TKX300UDnLdForm.h"

#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>

// The group index in the main window, with KX300 inverters at addresses 3 and 4 and a KX100
// at address 5.
class tst_TKX300DnLdForm : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void layoutAndSize();
    void expandShowsAllNodesCollapseLeavesTheRoot();
    void nodesWithoutGroupOpenNothing_data();
    void nodesWithoutGroupOpenNothing();
    void subgroupOpensItsWholeGroupOnTheFirstPage();
    void sameGroupTwiceBringsTheWindowForward();
    void anotherSlotOpensASecondWindow();
    void doubleClickOpensAndMonitorGroupIsAnMdiChild();
    void slotWithoutKX300OpensNothingAndSaysWhy();
    void cursorIsRestoredWhenCreationFails();

private:
    TKX300DnLdForm *openIndex(int slot);
    QTreeWidgetItem *node(TKX300DnLdForm *index, const QString &path) const;
    int visibleNodes(TKX300DnLdForm *index) const;
    QList<QWidget *> windowsOf(const QString &className) const;
    void choose(TKX300DnLdForm *index, const QString &path);

    RecordingDialogs *m_dialogs = nullptr;
    FakeCommLink *m_port = nullptr;
    BusHost *m_host = nullptr;
    TMainForm *m_main = nullptr;
};

void tst_TKX300DnLdForm::init()
{
    m_dialogs = RecordingDialogs::installNew();
    m_port = new FakeCommLink;
    m_host = new BusHost(m_port, BusHost::Role::Forwarded);
    m_main = new TMainForm(m_host, m_port);
    m_host->registry().CreateKX300(3);
    m_host->registry().CreateKX300(4);
    m_host->registry().CreateKX100(5);
}

void tst_TKX300DnLdForm::cleanup()
{
    // Windows parented to the main window go with it.
    for (QWidget *window : QApplication::topLevelWidgets())
        if (window != m_main && !window->parentWidget())
            delete window;
    delete m_main;
    delete m_host;
    delete m_port;
    OperatorDialogs::install(nullptr);
}

TKX300DnLdForm *tst_TKX300DnLdForm::openIndex(int slot)
{
    QWidget *window = m_main->ShowChildWindow(QStringLiteral("TKX300DnLdForm"),
                                              QStringLiteral("Загрузка:  ПЧ     #%1").arg(slot));
    return qobject_cast<TKX300DnLdForm *>(window);
}

// A node by the texts on its path, separated by '/', e.g. "K X -300/B - O/C/C5".
QTreeWidgetItem *tst_TKX300DnLdForm::node(TKX300DnLdForm *index, const QString &path) const
{
    const QStringList texts = path.split(QLatin1Char('/'));
    QTreeWidgetItem *item = index->treeView()->topLevelItem(0);
    if (!item || item->text(0) != texts.first())
        return nullptr;
    for (int i = 1; i < texts.size() && item; ++i) {
        QTreeWidgetItem *next = nullptr;
        for (int c = 0; c < item->childCount() && !next; ++c)
            if (item->child(c)->text(0) == texts[i])
                next = item->child(c);
        item = next;
    }
    return item;
}

int tst_TKX300DnLdForm::visibleNodes(TKX300DnLdForm *index) const
{
    int count = 0;
    for (QTreeWidgetItemIterator it(index->treeView()); *it; ++it) {
        bool visible = true;
        for (QTreeWidgetItem *up = (*it)->parent(); up && visible; up = up->parent())
            visible = up->isExpanded();
        count += visible ? 1 : 0;
    }
    return count;
}

QList<QWidget *> tst_TKX300DnLdForm::windowsOf(const QString &className) const
{
    QList<QWidget *> found;
    const QByteArray name = className.toLatin1();
    QList<QWidget *> all = m_main->childWindows();
    for (QWidget *window : QApplication::topLevelWidgets())
        if (!all.contains(window))
            all << window;
    for (QWidget *window : all)
        if (window->inherits(name.constData()))
            found << window;
    return found;
}

// Selects a node and presses "Выбор".
void tst_TKX300DnLdForm::choose(TKX300DnLdForm *index, const QString &path)
{
    QTreeWidgetItem *item = node(index, path);
    QVERIFY2(item, qPrintable(path));
    index->treeView()->setCurrentItem(item);
    index->chooseButton()->click();
}

void tst_TKX300DnLdForm::layoutAndSize()
{
    m_main->show();
    TKX300DnLdForm *index = openIndex(3);
    QVERIFY(index);
    QCOMPARE(index->slot(), 3);
    QCOMPARE(index->chooseButton()->text(), QStringLiteral("Выбор"));
    QCOMPARE(index->expandButton()->text(), QStringLiteral("Раскр."));
    QCOMPARE(index->collapseButton()->text(), QStringLiteral("Сверн."));
    auto *frame = qobject_cast<QMdiSubWindow *>(index->parentWidget());
    QVERIFY(frame);
    QCoreApplication::processEvents();
    QCOMPARE(index->size(), QSize(384, 213));
    QVERIFY(frame->width() > 384 && frame->height() > 213);
    // A fixed dialog frame: it can be neither resized nor maximised.
    QVERIFY(!(frame->windowFlags() & Qt::WindowMaximizeButtonHint));
    QCOMPARE(frame->minimumSize(), frame->maximumSize());
    for (QAction *action : frame->systemMenu()->actions())
        if (action->text().contains(QLatin1String("Ma&ximize")) ||
            action->text().contains(QLatin1String("&Size")))
            QVERIFY2(!action->isVisible() || !action->isEnabled(), qPrintable(action->text()));
    // The tree's texts cannot be edited.
    QCOMPARE(index->treeView()->editTriggers(), QAbstractItemView::NoEditTriggers);

    // The group windows inside the frame keep their sizes too.
    QWidget *b = index->openGroup(3);
    QWidget *u = index->openGroup(1);
    QCoreApplication::processEvents();
    QCOMPARE(b->size(), QSize(566, 301));
    QCOMPARE(u->size(), QSize(549, 301));
}

void tst_TKX300DnLdForm::expandShowsAllNodesCollapseLeavesTheRoot()
{
    TKX300DnLdForm *index = openIndex(3);
    QCOMPARE(visibleNodes(index), 1);
    index->expandButton()->click();
    QCOMPARE(visibleNodes(index), 67);
    QVERIFY(node(index, QStringLiteral("K X -300/U/U/U3")));
    QVERIFY(node(index, QStringLiteral("K X -300/B - O/O/O2")));
    index->collapseButton()->click();
    QCOMPARE(visibleNodes(index), 1);
    // Collapsing reaches every level: expanding the root alone shows its three children.
    index->treeView()->topLevelItem(0)->setExpanded(true);
    QCOMPARE(visibleNodes(index), 4);
}

void tst_TKX300DnLdForm::nodesWithoutGroupOpenNothing_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("root") << "K X -300";
    QTest::newRow("B - O") << "K X -300/B - O";
    QTest::newRow("C") << "K X -300/B - O/C";
    QTest::newRow("U level 2") << "K X -300/U/U";
}

void tst_TKX300DnLdForm::nodesWithoutGroupOpenNothing()
{
    QFETCH(QString, path);
    TKX300DnLdForm *index = openIndex(3);
    const int before = m_main->childWindows().size();
    const int topLevel = QApplication::topLevelWidgets().size();
    choose(index, path);
    QCOMPARE(m_main->childWindows().size(), before);
    QCOMPARE(QApplication::topLevelWidgets().size(), topLevel);
    // Nothing selected opens nothing either.
    index->treeView()->clearSelection();
    index->TreeViewClick();
    QCOMPARE(QApplication::topLevelWidgets().size(), topLevel);
    QVERIFY(m_dialogs->shown.isEmpty());
}

void tst_TKX300DnLdForm::subgroupOpensItsWholeGroupOnTheFirstPage()
{
    TKX300DnLdForm *index = openIndex(3);
    choose(index, QStringLiteral("K X -300/B - O/C/C5"));
    const QList<QWidget *> windows = windowsOf(QStringLiteral("TKX300CDnLdForm"));
    QCOMPARE(windows.size(), 1);
    auto *c = qobject_cast<TKX300CDnLdForm *>(windows.first());
    QVERIFY(c);
    QCOMPARE(c->windowTitle(), QStringLiteral("KX310(C-Константы ):   ПЧ     #3"));
    QVERIFY(c->isWindow()); // group C is a top-level window
    QVERIFY(c->isVisible());
    QCOMPARE(c->pageControl()->count(), 2);
    QCOMPARE(c->pageControl()->currentIndex(), 0);
    QCOMPARE(c->pageControl()->tabText(0), QStringLiteral("C1...C4"));
    // It loads itself for the slot of the index.
    QTRY_COMPARE(c->transfer().slot(), 3);
}

void tst_TKX300DnLdForm::sameGroupTwiceBringsTheWindowForward()
{
    TKX300DnLdForm *index = openIndex(3);
    choose(index, QStringLiteral("K X -300/B - O/B/B3"));
    QCOMPARE(windowsOf(QStringLiteral("TKX300BDnLdForm")).size(), 1);
    QWidget *first = windowsOf(QStringLiteral("TKX300BDnLdForm")).first();
    auto *frame = qobject_cast<QMdiSubWindow *>(first->parentWidget());
    QVERIFY(frame); // group B is an MDI child
    frame->showMinimized();
    QVERIFY(frame->isMinimized());

    // Another subgroup of the same group finds the same window and restores it.
    choose(index, QStringLiteral("K X -300/B - O/B/B7"));
    QCOMPARE(windowsOf(QStringLiteral("TKX300BDnLdForm")), QList<QWidget *>{first});
    QVERIFY(!frame->isMinimized());
    QCOMPARE(m_main->mdiArea()->activeSubWindow(), frame);
    // So does a second index window of the same slot.
    m_main->mdiArea()->setActiveSubWindow(qobject_cast<QMdiSubWindow *>(index->parentWidget()));
    choose(index, QStringLiteral("K X -300/B - O/B/B3"));
    QCOMPARE(windowsOf(QStringLiteral("TKX300BDnLdForm")).size(), 1);
    QCOMPARE(m_main->mdiArea()->activeSubWindow(), frame);
}

void tst_TKX300DnLdForm::anotherSlotOpensASecondWindow()
{
    choose(openIndex(3), QStringLiteral("K X -300/B - O/B/B3"));
    TKX300DnLdForm *second = openIndex(4);
    QCOMPARE(second->slot(), 4);
    choose(second, QStringLiteral("K X -300/B - O/B/B3"));
    QStringList captions;
    for (QWidget *window : windowsOf(QStringLiteral("TKX300BDnLdForm")))
        captions << window->windowTitle();
    captions.sort();
    QCOMPARE(captions,
             QStringList({"KX310(B-Константы ):   ПЧ     #3", "KX310(B-Константы ):   ПЧ     #4"}));
    // Closing an index leaves its group windows open.
    qobject_cast<QMdiSubWindow *>(second->parentWidget())->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(windowsOf(QStringLiteral("TKX300BDnLdForm")).size(), 2);
}

void tst_TKX300DnLdForm::doubleClickOpensAndMonitorGroupIsAnMdiChild()
{
    TKX300DnLdForm *index = openIndex(4);
    index->expandButton()->click();
    QTreeWidgetItem *u2 = node(index, QStringLiteral("K X -300/U/U/U2"));
    QVERIFY(u2);
    index->treeView()->setCurrentItem(u2);
    emit index->treeView()->itemDoubleClicked(u2, 0);
    const QList<QWidget *> windows = windowsOf(QStringLiteral("TKX300UDnLdForm"));
    QCOMPARE(windows.size(), 1);
    QCOMPARE(windows.first()->windowTitle(), QStringLiteral("KX300(U-Parameters):   ПЧ     #4"));
    QVERIFY(qobject_cast<QMdiSubWindow *>(windows.first()->parentWidget()));
}

void tst_TKX300DnLdForm::slotWithoutKX300OpensNothingAndSaysWhy()
{
    // The slot holds a KX100: its parameter table is not shown as a KX300 group.
    TKX300DnLdForm *index = openIndex(5);
    TKX300DnLdForm *empty = openIndex(6);
    const int topLevel = QApplication::topLevelWidgets().size();
    QVERIFY(!index->openGroup(2));
    QCOMPARE(m_dialogs->shown.size(), 1);
    QCOMPARE(m_dialogs->shown.first().caption, QStringLiteral("Загрузка:  ПЧ     #5"));
    QCOMPARE(m_dialogs->shown.first().text,
             QStringLiteral("The inverter at address 5 is a KX100, not a KX300"));
    // An emptied slot.
    QVERIFY(!empty->openGroup(2));
    QCOMPARE(m_dialogs->shown.last().text, QStringLiteral("No inverter at address 6"));
    QCOMPARE(QApplication::topLevelWidgets().size(), topLevel);
    QVERIFY(windowsOf(QStringLiteral("TKX300ADnLdForm")).isEmpty());
    QVERIFY(QApplication::overrideCursor() == nullptr);
}

void tst_TKX300DnLdForm::cursorIsRestoredWhenCreationFails()
{
    TKX300DnLdForm *index = openIndex(3);
    // A class whose windows cannot be created.
    WindowClasses::registerClass(QStringLiteral("TKX300DDnLdForm"), WindowClasses::Kind::TopLevel,
                                 [] { return nullptr; });
    QVERIFY(!index->openGroup(5));
    QVERIFY(QApplication::overrideCursor() == nullptr);
    // A group that opens leaves no hourglass behind either.
    QVERIFY(index->openGroup(10));
    QVERIFY(QApplication::overrideCursor() == nullptr);
    QVERIFY(!index->openGroup(0));
    QVERIFY(!index->openGroup(11));
}

QTEST_MAIN(tst_TKX300DnLdForm)
#include "tst_TKX300DnLdForm.moc"
