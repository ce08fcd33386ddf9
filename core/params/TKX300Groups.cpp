#include "params/TKX300Groups.h"

#include "params/ParameterRowTable.h"
#include "params/ParameterSet.h"

namespace {

TKX300Group makeGroup(int number, char letter, const QString &prefix, int count, QStringList pages,
                      QSize size, bool mdiChild, int registerBase)
{
    TKX300Group group;
    group.number = number;
    group.letter = QLatin1Char(letter);
    group.className = QStringLiteral("TKX300%1DnLdForm").arg(QLatin1Char(letter));
    group.captionPrefix = prefix;
    group.tableName = ParameterRowTable::kx300GroupName(group.letter);
    group.count = count;
    group.pages = std::move(pages);
    group.size = size;
    group.mdiChild = mdiChild;
    group.readOnly = letter == 'U';
    group.registerBase = registerBase;
    return group;
}

QList<TKX300Group> makeGroups()
{
    const QSize standard(549, 301);
    const auto prefix = [](char letter) {
        return QStringLiteral("KX310(%1-Константы ):   ПЧ     #").arg(QLatin1Char(letter));
    };
    QList<TKX300Group> groups;
    groups << makeGroup(1, 'U', QStringLiteral("KX300(U-Parameters):   ПЧ     #"), 50,
                        {"U1", "U2", "U3"}, standard, true, -1);
    groups << makeGroup(2, 'A', prefix('A'), 21, {"A1", "A2"}, standard, false, 0x0100);
    groups << makeGroup(3, 'B', prefix('B'), 33, {"B1+B2", "B3...B5", "B6...B9"}, QSize(566, 301),
                        true, -1);
    groups << makeGroup(4, 'C', prefix('C'), 34, {"C1...C4", "C5...C8"}, standard, false, -1);
    groups << makeGroup(5, 'D', prefix('D'), 23, {"D1", "D2+D3", "D4+D5"}, standard, false, 0x0280);
    groups << makeGroup(6, 'E', prefix('E'), 33, {"E1+E2", "E3...E5"}, standard, false, -1);
    groups << makeGroup(7, 'F', prefix('F'), 23, {"F1", "F2...F7"}, standard, false, 0x0380);
    groups << makeGroup(8, 'H', prefix('H'), 32, {"H1+H2", "H3...H5"}, standard, false, 0x0400);
    groups << makeGroup(9, 'L', prefix('L'), 35, {"L1...L3", "L4...L6", "L7+L8"}, standard, false,
                        -1);
    groups << makeGroup(10, 'O', prefix('O'), 14, {"O1", "O2"}, standard, false, 0x0500);
    return groups;
}

QList<TKX300Groups::TreeNode> makeTree()
{
    QList<TKX300Groups::TreeNode> nodes;
    const auto add = [&nodes](const QString &text, int depth, int group) {
        nodes.append({text, depth, group});
    };
    // Subgroups of a lettered group: letter plus 1 ... last.
    const auto subgroups = [&add](QChar letter, int last, int depth, int group) {
        for (int i = 1; i <= last; ++i)
            add(QString(letter) + QString::number(i), depth, group);
    };
    add(QStringLiteral("K X -300"), 0, 0);
    add(QStringLiteral("U"), 1, 0);
    add(QStringLiteral("U"), 2, 0);
    subgroups(QLatin1Char('U'), 3, 3, 1);
    add(QStringLiteral("A"), 1, 0);
    subgroups(QLatin1Char('A'), 2, 2, 2);
    add(QStringLiteral("B - O"), 1, 0);
    const struct
    {
        char letter;
        int last;
        int group;
    } settings[] = {{'B', 9, 3}, {'C', 8, 4}, {'D', 5, 5}, {'E', 5, 6},
                    {'F', 7, 7}, {'H', 5, 8}, {'L', 8, 9}, {'O', 2, 10}};
    for (const auto &s : settings) {
        add(QString(QLatin1Char(s.letter)), 2, 0);
        subgroups(QLatin1Char(s.letter), s.last, 3, s.group);
    }
    return nodes;
}

} // namespace

const QList<TKX300Group> &TKX300Groups::all()
{
    static const QList<TKX300Group> groups = makeGroups();
    return groups;
}

const TKX300Group *TKX300Groups::byNumber(int number)
{
    if (number < 1 || number > Count)
        return nullptr;
    return &all()[number - 1];
}

const TKX300Group *TKX300Groups::byLetter(QChar letter)
{
    for (const TKX300Group &group : all())
        if (group.letter == letter.toUpper())
            return &group;
    return nullptr;
}

const TKX300Group *TKX300Groups::byClassName(const QString &className)
{
    for (const TKX300Group &group : all())
        if (group.className == className)
            return &group;
    return nullptr;
}

const QList<TKX300Groups::TreeNode> &TKX300Groups::tree()
{
    static const QList<TreeNode> nodes = makeTree();
    return nodes;
}

ParameterTransfer::Plan TKX300Groups::plan(const TKX300Group &group, QString *error)
{
    const auto fail = [error, &group](const QString &why) {
        if (error)
            *error = QStringLiteral("Group %1: %2").arg(group.letter).arg(why);
        return ParameterTransfer::Plan{};
    };
    const ParameterRowTable &table = ParameterRowTable::embedded(group.tableName);
    QString why;
    ParameterTransfer::Plan plan =
        ParameterTransfer::makePlan(table, ParameterSet::forModel(QStringLiteral("KX300")), &why);
    if (plan.count() == 0)
        return fail(why);
    if (table.group() != QString(group.letter))
        return fail(QStringLiteral("the rows belong to group %1").arg(table.group()));
    if (plan.count() != group.count)
        return fail(QStringLiteral("%1 rows instead of %2").arg(plan.count()).arg(group.count));
    if (table.pages() != group.pages)
        return fail(
            QStringLiteral("pages %1 instead of %2")
                .arg(table.pages().join(QLatin1Char(',')), group.pages.join(QLatin1Char(','))));
    for (int i = 0; i < plan.count(); ++i) {
        const ParameterRow &row = plan.rows[i];
        if (group.registerBase >= 0 && row.registerNumber != group.registerBase + i)
            return fail(QStringLiteral("%1 has register %2 instead of %3")
                            .arg(row.code)
                            .arg(row.registerNumber)
                            .arg(group.registerBase + i));
        // The driver keeps register r in its table entry r.
        if (plan.paramIndexes[i] != row.registerNumber)
            return fail(QStringLiteral("%1 lives in table entry %2, not in entry %3")
                            .arg(row.code)
                            .arg(plan.paramIndexes[i])
                            .arg(row.registerNumber));
    }
    if (group.readOnly) {
        plan.uploadOnly = true;
        plan.defaults.clear();
    } else {
        if (!table.hasDefaults())
            return fail(QStringLiteral("a row has no Default value"));
        plan.commitAfterWrite = true;
    }
    if (error)
        error->clear();
    return plan;
}
