#include "params/ParameterField.h"
#include "params/ParameterRowTable.h"
#include "params/ParameterSet.h"
#include "params/TKX300Groups.h"

#include <QTest>

// The ten KX300 groups against the row tables and the KX300 parameter set, and the tree of
// the group index.
class tst_TKX300Groups : public QObject
{
    Q_OBJECT

private slots:
    void groupsByNumberLetterAndClass();
    void rowsCrossCheckTheParameterSet_data();
    void rowsCrossCheckTheParameterSet();
    void defaultsAreTheGroupsOwn();
    void shownValuesStoreBackUnchanged_data();
    void shownValuesStoreBackUnchanged();
    void treeHas67NodesAndOpensOnlySubgroups();

private:
    static void addGroupRows();
};

void tst_TKX300Groups::addGroupRows()
{
    QTest::addColumn<int>("number");
    for (const TKX300Group &group : TKX300Groups::all())
        QTest::newRow(qPrintable(QString(group.letter))) << group.number;
}

void tst_TKX300Groups::groupsByNumberLetterAndClass()
{
    QCOMPARE(TKX300Groups::all().size(), 10);
    QVERIFY(!TKX300Groups::byNumber(0));
    QVERIFY(!TKX300Groups::byNumber(11));
    QVERIFY(!TKX300Groups::byNumber(-1));
    QString letters;
    for (int number = 1; number <= 10; ++number)
        letters += TKX300Groups::byNumber(number)->letter;
    QCOMPARE(letters, QStringLiteral("UABCDEFHLO"));

    const TKX300Group *b = TKX300Groups::byLetter(QLatin1Char('b'));
    QVERIFY(b);
    QCOMPARE(b->className, QStringLiteral("TKX300BDnLdForm"));
    QCOMPARE(TKX300Groups::byClassName(QStringLiteral("TKX300BDnLdForm")), b);
    QVERIFY(!TKX300Groups::byClassName(QStringLiteral("TKX300DnLdForm")));
    QVERIFY(!TKX300Groups::byLetter(QLatin1Char('G')));

    QCOMPARE(b->caption(7), QStringLiteral("KX310(B-Константы ):   ПЧ     #7"));
    QCOMPARE(TKX300Groups::byLetter(QLatin1Char('U'))->caption(31),
             QStringLiteral("KX300(U-Parameters):   ПЧ     #31"));
    // Only the B and U windows are MDI children; B is the wider window.
    for (const TKX300Group &group : TKX300Groups::all()) {
        const bool mdi = group.letter == QLatin1Char('B') || group.letter == QLatin1Char('U');
        QCOMPARE(group.mdiChild, mdi);
        QCOMPARE(group.size, group.letter == QLatin1Char('B') ? QSize(566, 301) : QSize(549, 301));
    }
}

void tst_TKX300Groups::rowsCrossCheckTheParameterSet_data()
{
    addGroupRows();
}

// The keys of the set that belong to a group, in set order, are exactly the group's rows in
// working-copy order; codes name the same parameter and registers agree.
void tst_TKX300Groups::rowsCrossCheckTheParameterSet()
{
    QFETCH(int, number);
    const TKX300Group &group = *TKX300Groups::byNumber(number);
    const ParameterSet &set = ParameterSet::forModel(QStringLiteral("KX300"));
    QVERIFY(!set.isEmpty());
    QList<const ParameterDef *> expected;
    for (const ParameterDef &def : set.rows())
        if (def.key.startsWith(group.letter))
            expected << &def;

    const ParameterRowTable &table = ParameterRowTable::embedded(group.tableName);
    QVERIFY2(!table.isEmpty(), qPrintable(table.errorString()));
    QCOMPARE(table.count(), expected.size());
    QCOMPARE(table.count(), group.count);
    QCOMPARE(table.pages(), group.pages);
    QString error;
    const ParameterTransfer::Plan plan = TKX300Groups::plan(group, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(plan.count(), group.count);
    QCOMPARE(plan.model, QStringLiteral("KX300"));
    QVERIFY(plan.downloadSkip.isEmpty());
    // The monitor group only reads; the others commit every write and have their defaults.
    QCOMPARE(plan.uploadOnly, group.readOnly);
    QCOMPARE(plan.commitAfterWrite, !group.readOnly);
    QCOMPARE(plan.defaults.size(), group.readOnly ? 0 : group.count);
    int previousRegister = -1;
    for (int i = 0; i < table.count(); ++i) {
        const ParameterRow &row = table.at(i);
        QCOMPARE(row.index, i);
        QCOMPARE(row.key, expected[i]->key);
        QString code = row.code;
        if (code.startsWith(QStringLiteral("B5_")))
            code.replace(2, 1, QLatin1Char('-'));
        QCOMPARE(code, row.key);
        QCOMPARE(row.registerNumber, expected[i]->registerNumber);
        QVERIFY(row.registerNumber > previousRegister);
        previousRegister = row.registerNumber;
        if (group.registerBase >= 0)
            QCOMPARE(row.registerNumber, group.registerBase + i);
        // The driver keeps register r in table entry r.
        QCOMPARE(plan.paramIndexes[i], row.registerNumber);
    }
}

void tst_TKX300Groups::defaultsAreTheGroupsOwn()
{
    const ParameterSet &set = ParameterSet::forModel(QStringLiteral("KX300"));
    const struct
    {
        const char *code;
        int32_t groupDefault;
    } cases[] = {{"D5-03", 0}, {"H3-06", 1000}, {"O2-07", 1}, {"A1-00", 1}, {"E5-01", 190}};
    for (const auto &c : cases) {
        const QString code = QString::fromLatin1(c.code);
        const TKX300Group &group = *TKX300Groups::byLetter(code.at(0));
        const ParameterTransfer::Plan plan = TKX300Groups::plan(group);
        const ParameterRow *row = ParameterRowTable::embedded(group.tableName).findCode(code);
        QVERIFY2(row, c.code);
        QCOMPARE(plan.defaults.at(row->index), c.groupDefault);
    }
    // These three differ from what the setup file falls back to.
    QCOMPARE(set.findKey(QStringLiteral("D5-03"))->defaultValue, 1);
    QCOMPARE(set.findKey(QStringLiteral("H3-06"))->defaultValue, 100);
    QCOMPARE(set.findKey(QStringLiteral("O2-07"))->defaultValue, 0);
}

void tst_TKX300Groups::shownValuesStoreBackUnchanged_data()
{
    addGroupRows();
}

// Every editable numeric field shows its bounds, its default and a value between them in a
// text that, typed back, stores the same register value (B5_05 included); every default lies
// within its field's bounds and every list default names an item.
void tst_TKX300Groups::shownValuesStoreBackUnchanged()
{
    QFETCH(int, number);
    const TKX300Group &group = *TKX300Groups::byNumber(number);
    const ParameterTransfer::Plan plan = TKX300Groups::plan(group);
    QCOMPARE(plan.count(), group.count);
    for (int i = 0; i < plan.count(); ++i) {
        const ParameterRow &row = plan.rows[i];
        if (row.isList()) {
            QVERIFY(!row.items.isEmpty());
            if (!group.readOnly)
                QVERIFY2(plan.defaults[i] >= 0 && plan.defaults[i] < row.items.size(),
                         qPrintable(row.code));
            continue;
        }
        if (group.readOnly) {
            QVERIFY2(!row.bounded && row.readOnly, qPrintable(row.code));
            continue;
        }
        QVERIFY2(row.bounded && ParameterField::clamps(row), qPrintable(row.code));
        const int32_t def = plan.defaults[i];
        QVERIFY2(def >= row.rawMinimum && def <= row.rawMaximum, qPrintable(row.code));
        const int64_t middle = (row.rawMinimum + row.rawMaximum) / 2;
        for (int64_t raw : {row.rawMinimum, row.rawMaximum, int64_t(def), middle}) {
            const ParameterField::Shown shown = ParameterField::show(row, int32_t(raw));
            QCOMPARE(shown.value, int32_t(raw));
            const ParameterField::Edited edited = ParameterField::edit(row, shown.text);
            QVERIFY2(!edited.corrected, qPrintable(row.code + QLatin1Char(' ') + shown.text));
            QCOMPARE(edited.value, int32_t(raw));
        }
    }
}

void tst_TKX300Groups::treeHas67NodesAndOpensOnlySubgroups()
{
    const QList<TKX300Groups::TreeNode> &tree = TKX300Groups::tree();
    QCOMPARE(tree.size(), 67);
    QCOMPARE(tree.first().text, QStringLiteral("K X -300"));
    QCOMPARE(tree.first().depth, 0);
    QList<int> subgroups(TKX300Groups::Count + 1, 0);
    for (int i = 0; i < tree.size(); ++i) {
        const TKX300Groups::TreeNode &node = tree[i];
        if (i > 0) {
            QVERIFY(node.depth >= 1);
            QVERIFY(node.depth <= tree[i - 1].depth + 1); // pre-order
        }
        const bool leaf = i + 1 == tree.size() || tree[i + 1].depth <= node.depth;
        // Exactly the leaves open a group, the one their letter names.
        QCOMPARE(node.group != 0, leaf);
        if (node.group != 0) {
            const TKX300Group *group = TKX300Groups::byNumber(node.group);
            QVERIFY(group);
            QCOMPARE(node.text.at(0), group->letter);
            QCOMPARE(node.text.size(), 2);
            ++subgroups[node.group];
        }
    }
    // U1..U3, A1..A2, B1..B9, C1..C8, D1..D5, E1..E5, F1..F7, H1..H5, L1..L8, O1..O2
    QCOMPARE(subgroups, QList<int>({0, 3, 2, 9, 8, 5, 5, 7, 5, 8, 2}));
    for (const TKX300Groups::TreeNode &node : tree)
        if (node.text == QLatin1String("B - O") || node.text == QLatin1String("C"))
            QCOMPARE(node.group, 0);
}

QTEST_GUILESS_MAIN(tst_TKX300Groups)
#include "tst_TKX300Groups.moc"
