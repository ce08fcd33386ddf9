#include "params/ParameterField.h"
#include "params/ParameterRowTable.h"
#include "params/ParameterSet.h"

#include <QTemporaryFile>
#include <QTest>

namespace {

const ParameterRow &rowOf(const QString &table, const QString &code)
{
    const ParameterRow *row = ParameterRowTable::embedded(table).findCode(code);
    if (!row)
        qFatal("no row %s in %s", qPrintable(code), qPrintable(table));
    return *row;
}

// A row given as "<table> <code>", e.g. "kx100 CD003".
const ParameterRow &rowAt(const QString &where)
{
    return rowOf(where.section(QLatin1Char(' '), 0, 0), where.section(QLatin1Char(' '), 1));
}

// One well-formed row; tests break it in one place at a time.
QByteArray goodRow(int index = 0, const QByteArray &code = "X1-01", const QByteArray &page = "P1")
{
    return R"({"model": "KX300", "group": "A", "index": )" + QByteArray::number(index) +
           R"(, "code": ")" + code + R"(", "key": ")" + code + R"(", "caption": "c", "page": ")" +
           page + R"(", "register": )" + QByteArray::number(100 + index) +
           R"(, "kind": "integer", "min": 0, "max": 10, "flags": []})";
}

} // namespace

class tst_ParameterRowTable : public QObject
{
    Q_OBJECT

private slots:
    void embeddedTables_data();
    void embeddedTables();
    void exactStrings_data();
    void exactStrings();
    void itemsOfRepeatedLists_data();
    void itemsOfRepeatedLists();
    void fieldsUsersCannotChange();
    void numericFields_data();
    void numericFields();
    void shownAndRegisterValues_data();
    void shownAndRegisterValues();
    void registersAndKeys_data();
    void registersAndKeys();
    void groupDefaults();
    void monitorGroup();
    void everyRowFitsItsRegister();
    void malformedTable_data();
    void malformedTable();
    void failedLoadKeepsRows();
    void loadFromFile();
};

void tst_ParameterRowTable::embeddedTables_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QStringList>("pages");
    QTest::addColumn<QList<int>>("pageSizes");

    QTest::newRow("kx100") << 108 << QStringList{"CD001...", "CD021...", "CD041...",
                                                 "CD061...", "CD081...", "CD100..."}
                           << QList<int>{20, 20, 20, 20, 20, 8};
    QTest::newRow("kx200") << 49 << QStringList{"CD01...", "CD21...", "CD41..."}
                           << QList<int>{20, 20, 9};
    QTest::newRow("kx300_u") << 50 << QStringList{"U1", "U2", "U3"} << QList<int>{28, 14, 8};
    QTest::newRow("kx300_a") << 21 << QStringList{"A1", "A2"} << QList<int>{6, 15};
    QTest::newRow("kx300_b") << 33 << QStringList{"B1+B2", "B3...B5", "B6...B9"}
                             << QList<int>{10, 13, 10};
    QTest::newRow("kx300_c") << 34 << QStringList{"C1...C4", "C5...C8"} << QList<int>{21, 13};
    QTest::newRow("kx300_d") << 23 << QStringList{"D1", "D2+D3", "D4+D5"} << QList<int>{9, 6, 8};
    QTest::newRow("kx300_e") << 33 << QStringList{"E1+E2", "E3...E5"} << QList<int>{19, 14};
    QTest::newRow("kx300_f") << 23 << QStringList{"F1", "F2...F7"} << QList<int>{13, 10};
    QTest::newRow("kx300_h") << 32 << QStringList{"H1+H2", "H3...H5"} << QList<int>{9, 23};
    QTest::newRow("kx300_l") << 35 << QStringList{"L1...L3", "L4...L6", "L7+L8"}
                             << QList<int>{13, 13, 9};
    QTest::newRow("kx300_o") << 14 << QStringList{"O1", "O2"} << QList<int>{5, 9};
}

void tst_ParameterRowTable::embeddedTables()
{
    QFETCH(int, count);
    QFETCH(QStringList, pages);
    QFETCH(QList<int>, pageSizes);

    const QString name = QTest::currentDataTag();
    const bool kx300 = name.startsWith("kx300_");
    const QString model = kx300 ? QString("KX300") : name.toUpper();
    const QString group = kx300 ? name.right(1).toUpper() : QString();

    const ParameterRowTable &table = ParameterRowTable::embedded(name);
    QVERIFY2(table.errorString().isEmpty(), qPrintable(table.errorString()));
    QCOMPARE(table.count(), count);
    QCOMPARE(table.model(), model);
    QCOMPARE(table.group(), group);
    QCOMPARE(table.pages(), pages);
    QList<int> sizes;
    int next = 0;
    for (const QString &page : pages) {
        const QList<int> indices = table.rowsOnPage(page);
        sizes.append(int(indices.size()));
        for (int index : indices)
            QCOMPARE(index, next++); // pages hold consecutive rows in working-copy order
    }
    QCOMPARE(sizes, pageSizes);
    QCOMPARE(next, count);

    // The letter of a group window finds the same table.
    if (!group.isEmpty())
        QCOMPARE(ParameterRowTable::kx300GroupName(group.at(0).toLower()), name);
}

void tst_ParameterRowTable::exactStrings_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("itemCount");
    QTest::addColumn<int>("item");
    QTest::addColumn<QString>("itemText");

    // Tag: table and code of the row.
    QTest::newRow("kx100 CD002") << "Выбор режима управления" << 9 << 8 << "8: Порт/Клеммы  ";
    QTest::newRow("kx100 CD008") << "Действие кнопки СТОП" << 3 << 2 << "";
    QTest::newRow("kx100 CD040") << "Режим дискр.выхода(MA-MB-MC) " << 18 << 17
                                 << "17: OH1 Перегрев";
    QTest::newRow("kx100 CD051") << "Управление после сбоя" << 3 << 2
                                 << "2: Продолжение управления на время питания процессораi      ";
    QTest::newRow("kx100 CD108") << "Контроь четности" << 3 << 0 << "0: Нет контроля";
    QTest::newRow("kx200 CD41") << "Останов при провалах питания" << 3 << 1 << "1 Да";
    QTest::newRow("kx200 CD45*") << "Резерв" << 3 << 2 << "2: Разрешено";
    QTest::newRow("kx300_a A1-00") << "Резерв " << 2 << 1 << "1: резерв";
    QTest::newRow("kx300_d D5-03")
        << "Способ ограничения скорости" << 2 << 1 << "2: Программной уставкой";
    QTest::newRow("kx300_f F1-05")
        << "Направление вращения" << 2 << 0 << "0:  Против часовой стрелки";
    QTest::newRow("kx300_h H4-07") << "Выбор уровня сигнала" << 3 << 2 << "";
    QTest::newRow("kx300_l L6-01")
        << "Определение момента 1" << 5 << 1 << "1: Включено при согласовании скорости     ";
    QTest::newRow("kx300_l L6-04")
        << "Определение момента 2" << 5 << 1 << "1: Включено при согласовании скорости   ";
}

void tst_ParameterRowTable::exactStrings()
{
    QFETCH(QString, caption);
    QFETCH(int, itemCount);
    QFETCH(int, item);
    QFETCH(QString, itemText);

    const ParameterRow &row = rowAt(QTest::currentDataTag());
    QCOMPARE(row.caption, caption);
    QVERIFY(row.isList());
    QCOMPARE(row.items.size(), itemCount);
    QCOMPARE(row.items.at(item), itemText);
}

void tst_ParameterRowTable::itemsOfRepeatedLists_data()
{
    QTest::addColumn<QString>("sameAs");

    QTest::newRow("kx100 CD036") << "CD035";
    QTest::newRow("kx100 CD038") << "CD035";
    QTest::newRow("kx100 CD095") << "CD092";
    QTest::newRow("kx100 CD103") << "CD070";
    QTest::newRow("kx200 CD30") << "CD24";
    QTest::newRow("kx200 CD43") << "CD41";
    QTest::newRow("kx300_f F1-04") << "F1-02";
    QTest::newRow("kx300_h H3-04") << "H3-01";
    QTest::newRow("kx300_l L8-07") << "L1-01";
    QTest::newRow("kx300_o O2-06") << "O2-01";
}

void tst_ParameterRowTable::itemsOfRepeatedLists()
{
    QFETCH(QString, sameAs);

    const QString where = QTest::currentDataTag();
    const ParameterRow &row = rowAt(where);
    QVERIFY(row.isList());
    QVERIFY(!row.items.isEmpty());
    QCOMPARE(row.items, rowOf(where.section(' ', 0, 0), sameAs).items);
}

void tst_ParameterRowTable::fieldsUsersCannotChange()
{
    // KX100: only the list of CD002 is disabled and only CD106 is read-only.
    for (const ParameterRow &row : ParameterRowTable::embedded("kx100").rows()) {
        QCOMPARE(row.disabled, row.code == "CD002");
        QCOMPARE(row.readOnly, row.code == "CD106");
        QVERIFY(!row.asterisk);
    }
    QVERIFY(rowOf("kx100", "CD002").isList());
    QVERIFY(!rowOf("kx100", "CD002").isEditable());
    QCOMPARE(rowOf("kx100", "CD106").kind, FieldKind::Integer);

    // KX200: readouts, last fault, version and address are read-only; CD45..CD49 carry the
    // asterisk in their code while their keys stay plain.
    const QStringList readOnly = {"CD01", "CD02", "CD03", "CD04", "CD23", "CD44", "CD48*"};
    const QStringList starred = {"CD45*", "CD46*", "CD47*", "CD48*", "CD49*"};
    for (const ParameterRow &row : ParameterRowTable::embedded("kx200").rows()) {
        QCOMPARE(row.readOnly, readOnly.contains(row.code));
        QCOMPARE(row.asterisk, starred.contains(row.code));
        QVERIFY(!row.disabled);
        QCOMPARE(row.key, QStringLiteral("CD%1").arg(row.index + 1, 2, 10, QLatin1Char('0')));
    }
    QCOMPARE(ParameterRowTable::embedded("kx200").findKey("cd45")->code, QString("CD45*"));

    QVERIFY(rowOf("kx300_a", "A1-00").disabled);
    QVERIFY(!rowOf("kx300_a", "A1-01").disabled);
}

void tst_ParameterRowTable::numericFields_data()
{
    QTest::addColumn<bool>("fixed");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<qint64>("rawMinimum");
    QTest::addColumn<qint64>("rawMaximum");
    QTest::addColumn<double>("minimum");
    QTest::addColumn<double>("maximum");

    QTest::newRow("kx100 CD003") << true << 1 << 1500LL << 2550LL << 150.0 << 255.0;
    QTest::newRow("kx100 CD013") << true << 1 << 1LL << 5100LL << 0.1 << 510.0;
    QTest::newRow("kx100 CD047") << false << 0 << -100LL << 100LL << -100.0 << 100.0;
    QTest::newRow("kx100 CD068") << true << 3 << 0LL << 65530LL << 0.0 << 65.53;
    QTest::newRow("kx200 CD09") << true << 2 << 0LL << 40000LL << 0.0 << 400.0;
    QTest::newRow("kx200 CD44") << false << 0 << 0LL << 460LL << 0.0 << 460.0;
    QTest::newRow("kx300_b B5_05") << true << 2 << 0LL << 1000LL << 0.0 << 10.0;
    QTest::newRow("kx300_b B5_07") << true << 1 << -1000LL << 1000LL << -100.0 << 100.0;
    QTest::newRow("kx300_b B6-02") << true << 1 << 0LL << 100LL << 0.0 << 10.0;
    QTest::newRow("kx300_c C5-06") << true << 3 << 0LL << 500LL << 0.0 << 0.5;
    QTest::newRow("kx300_e E1-01") << false << 0 << 155LL << 255LL << 155.0 << 255.0;
    QTest::newRow("kx300_e E5-01") << true << 2 << 0LL << 65535LL << 0.0 << 655.35;
    QTest::newRow("kx300_f F1-09") << true << 1 << 0LL << 20LL << 0.0 << 2.0;
    QTest::newRow("kx300_o O2-07") << false << 0 << 0LL << 65535LL << 0.0 << 65535.0;
}

void tst_ParameterRowTable::numericFields()
{
    QFETCH(bool, fixed);
    QFETCH(int, decimals);
    QFETCH(qint64, rawMinimum);
    QFETCH(qint64, rawMaximum);
    QFETCH(double, minimum);
    QFETCH(double, maximum);

    const ParameterRow &row = rowAt(QTest::currentDataTag());
    QCOMPARE(row.kind, fixed ? FieldKind::FixedPoint : FieldKind::Integer);
    QCOMPARE(row.decimals, decimals);
    QVERIFY(row.bounded);
    QCOMPARE(row.rawMinimum, rawMinimum);
    QCOMPARE(row.rawMaximum, rawMaximum);
    QCOMPARE(row.minimum(), minimum);
    QCOMPARE(row.maximum(), maximum);
    QVERIFY(row.items.isEmpty());
}

void tst_ParameterRowTable::shownAndRegisterValues_data()
{
    QTest::addColumn<qint64>("raw");
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("typed");
    QTest::addColumn<qint64>("stored");

    QTest::newRow("kx300_b B6-02") << 25LL << "2.5" << 2.5 << 25LL;
    QTest::newRow("kx300_f F1-09") << 15LL << "1.5" << 1.5 << 15LL;
    QTest::newRow("kx300_e E5-01") << 190LL << "1.90" << 1.9 << 190LL;
    QTest::newRow("kx200 CD09") << 5000LL << "50.00" << 50.05 << 5005LL;
    QTest::newRow("kx100 CD003") << 1500LL << "150.0" << 2.3 << 23LL;
    QTest::newRow("kx100 CD068") << 65530LL << "65.530" << 0.007 << 7LL;
    QTest::newRow("kx300_b B5_07") << -5LL << "-0.5" << -0.5 << -5LL;
    QTest::newRow("kx100 CD047") << -5LL << "-5" << -5.0 << -5LL;
    QTest::newRow("kx300_b B5_05") << 123LL << "1.23" << 1.23 << 123LL;
}

void tst_ParameterRowTable::shownAndRegisterValues()
{
    QFETCH(qint64, raw);
    QFETCH(QString, text);
    QFETCH(double, typed);
    QFETCH(qint64, stored);

    const ParameterRow &row = rowAt(QTest::currentDataTag());
    QCOMPARE(row.formatValue(raw), text);
    QCOMPARE(row.toRaw(typed), stored);
    // What a field shows comes back unchanged when stored again.
    QCOMPARE(row.toRaw(text.toDouble()), raw);
}

void tst_ParameterRowTable::registersAndKeys_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("registerNumber");
    QTest::addColumn<int>("index");

    QTest::newRow("kx100 CD001") << "n001" << 0x0101 << 0;
    QTest::newRow("kx100 CD106") << "n106" << 0x016A << 105;
    QTest::newRow("kx200 CD16") << "CD16" << 0x0016 << 15;
    QTest::newRow("kx200 CD45*") << "CD45" << 0x0700 << 44;
    QTest::newRow("kx200 CD48*") << "CD48" << 0x0802 << 47;
    QTest::newRow("kx300_b B5_05") << "B5-05" << 0x0198 << 19;
    QTest::newRow("kx300_c C8-08") << "C8-08" << 0x022A << 33;
    QTest::newRow("kx300_h H5-01") << "H5-01" << 0x041C << 28;
    QTest::newRow("kx300_l L8-07") << "L8-07" << 0x04AA << 34;
    QTest::newRow("kx300_u U2-01") << "U2-01" << 0x0080 << 28;
}

void tst_ParameterRowTable::registersAndKeys()
{
    QFETCH(QString, key);
    QFETCH(int, registerNumber);
    QFETCH(int, index);

    const QString where = QTest::currentDataTag();
    const ParameterRowTable &rows = ParameterRowTable::embedded(where.section(' ', 0, 0));
    const ParameterRow &row = rowAt(where);
    QCOMPARE(row.key, key);
    QCOMPARE(row.registerNumber, registerNumber);
    QCOMPARE(row.index, index);
    QCOMPARE(rows.findKey(key.toLower()), &row);
    QCOMPARE(rows.findRegister(registerNumber), &row);
}

void tst_ParameterRowTable::groupDefaults()
{
    // The KX100 and KX200 editors take their defaults from the parameter sets.
    QVERIFY(!ParameterRowTable::embedded("kx100").hasDefaults());
    QVERIFY(ParameterRowTable::embedded("kx200").defaults().isEmpty());
    QVERIFY(!ParameterRowTable::embedded("kx300_u").hasDefaults());

    const QList<int32_t> b = ParameterRowTable::embedded("kx300_b").defaults();
    const QList<int32_t> expected = {1,   1,  0, 0, 0, 1,   5,  50,   0, 50,   0,
                                     150, 20, 0, 0, 0, 100, 10, 1000, 0, 1000, 0,
                                     0,   0,  0, 0, 0, 0,   0,  80,   0, 5,    10};
    QCOMPARE(b, expected);

    // Group defaults that differ from the read defaults of the parameter set.
    QCOMPARE(rowOf("kx300_d", "D5-03").defaultValue.value_or(-1), 0);
    QCOMPARE(rowOf("kx300_h", "H3-06").defaultValue.value_or(-1), 1000);
    QCOMPARE(rowOf("kx300_o", "O2-07").defaultValue.value_or(-1), 1);

    for (QChar group : QStringLiteral("abcdefhlo")) {
        const ParameterRowTable &table =
            ParameterRowTable::embedded(ParameterRowTable::kx300GroupName(group));
        QVERIFY2(table.hasDefaults(), qPrintable(table.group()));
        for (const ParameterRow &row : table.rows()) {
            if (row.isList())
                QVERIFY2(*row.defaultValue >= 0 && *row.defaultValue < row.items.size(),
                         qPrintable(row.code));
            else
                QVERIFY2(*row.defaultValue >= row.rawMinimum && *row.defaultValue <= row.rawMaximum,
                         qPrintable(row.code));
        }
    }
}

void tst_ParameterRowTable::monitorGroup()
{
    const ParameterRowTable &u = ParameterRowTable::embedded("kx300_u");
    for (const ParameterRow &row : u.rows()) {
        QVERIFY2(row.readOnly, qPrintable(row.code));
        QVERIFY2(!row.bounded, qPrintable(row.code)); // values are shown as read
        QCOMPARE(row.firstItemOnly, row.code == "U1-14" || row.code == "U1-28");
    }
    // Counters, times, bit masks and fault codes cannot be negative: their words show unsigned.
    const QStringList unsignedRows = {"U1-10", "U1-11", "U1-12", "U1-13", "U1-25", "U2-01", "U2-02",
                                      "U2-11", "U2-12", "U2-13", "U2-14", "U3-01", "U3-02", "U3-03",
                                      "U3-04", "U3-05", "U3-06", "U3-07", "U3-08"};
    for (const ParameterRow &row : u.rows())
        QCOMPARE(row.unsignedWord, unsignedRows.contains(row.code));
    QCOMPARE(ParameterField::show(rowOf("kx300_u", "U1-13"), -25536).text, QString("40000"));
    QCOMPARE(ParameterField::show(rowOf("kx300_u", "U1-13"), -25536).value, -25536);
    QCOMPARE(ParameterField::show(rowOf("kx300_u", "U1-09"), -100).text, QString("-10.0"));
    QCOMPARE(rowOf("kx300_u", "U1-14").items, QStringList{"Резерв"});
    QCOMPARE(rowOf("kx300_u", "U1-28").items, QStringList{"Резерв"});
    QCOMPARE(rowOf("kx300_u", "U1-04").items.size(), 4);
    QCOMPARE(rowOf("kx300_u", "U1-01").decimals, 2);
    QCOMPARE(rowOf("kx300_u", "U1-03").decimals, 1);
    QCOMPARE(rowOf("kx300_u", "U1-07").kind, FieldKind::Integer);
    QCOMPARE(rowOf("kx300_u", "U1-08").caption, QString("Выходная мощеость"));
}

void tst_ParameterRowTable::everyRowFitsItsRegister()
{
    // No field offers a value its register cannot carry, and no default needs one.
    for (const QString &name : ParameterRowTable::embeddedNames()) {
        const ParameterRowTable &table = ParameterRowTable::embedded(name);
        QVERIFY2(!table.isEmpty(), qPrintable(table.errorString()));
        const ParameterSet &set = ParameterSet::forModel(table.model());
        for (const ParameterRow &row : table.rows()) {
            const QByteArray where = (name + QLatin1Char(' ') + row.code).toUtf8();
            if (row.bounded) {
                QVERIFY2(ParameterRow::fitsRegister(row.rawMinimum) &&
                             ParameterRow::fitsRegister(row.rawMaximum),
                         where);
                QVERIFY2(row.rawMinimum >= 0 || row.rawMaximum <= 0x7FFF, where);
            }
            if (row.defaultValue)
                QVERIFY2(ParameterRow::fitsRegister(*row.defaultValue), where);
            const ParameterDef *def = set.findKey(row.key);
            QVERIFY2(def && ParameterRow::fitsRegister(def->defaultValue), where);
        }
    }
    // Typing beyond what the register carries stops at the field's maximum.
    const ParameterField::Edited typed = ParameterField::edit(rowAt("kx300_e E2-01"), "1000.00");
    QCOMPARE(typed.correctedText, QString("655.35"));
    QCOMPARE(typed.value, 65535);
}

void tst_ParameterRowTable::malformedTable_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("reason");

    const QByteArray row0 = goodRow(0);
    auto broken = [&](const char *from, const char *to) {
        QByteArray line = goodRow(1, "X1-02");
        const int at = line.indexOf(from);
        if (at < 0)
            qFatal("pattern %s not in row", from);
        return row0 + "\n" + line.replace(at, int(qstrlen(from)), to) + "\n";
    };

    QTest::newRow("empty") << QByteArray("\n\n") << "no rows";
    QTest::newRow("not JSON") << row0 + "\n{\"model\": \n"
                              << "line 2: not valid JSON";
    QTest::newRow("array") << row0 + "\n[1, 2]\n"
                           << "line 2: not a JSON object";
    QTest::newRow("unknown field") << broken("\"flags\"", "\"flag\"") << "unknown field \"flag\"";
    QTest::newRow("no kind") << broken("\"kind\": \"integer\", ", "")
                             << "line 2: \"kind\" is missing";
    QTest::newRow("unknown kind") << broken("\"integer\"", "\"float\"") << "unknown kind";
    QTest::newRow("index gap") << broken("\"index\": 1", "\"index\": 2")
                               << "index 2 where 1 was expected";
    QTest::newRow("index text") << broken("\"index\": 1", "\"index\": \"1\"")
                                << "\"index\" is not a number";
    QTest::newRow("repeated code") << row0 + "\n" + goodRow(1, "X1-01") << "\"X1-01\" repeated";
    QTest::newRow("repeated register")
        << broken("\"register\": 101", "\"register\": 100") << "register 100 repeated";
    QTest::newRow("register too big")
        << broken("\"register\": 101", "\"register\": 65536") << "\"register\" is out of range";
    QTest::newRow("list without items")
        << broken("\"kind\": \"integer\", \"min\": 0, \"max\": 10", "\"kind\": \"list\"")
        << "non-empty \"items\"";
    QTest::newRow("list with bounds")
        << broken("\"kind\": \"integer\"", "\"kind\": \"list\"") << "list field has no bounds";
    QTest::newRow("item not text") << broken("\"kind\": \"integer\", \"min\": 0, \"max\": 10",
                                             "\"kind\": \"list\", \"items\": [\"a\", 1]")
                                   << "non-text entry";
    QTest::newRow("fractional integer bound")
        << broken("\"max\": 10", "\"max\": 10.5") << "not a whole number of register units";
    QTest::newRow("bound beyond the register")
        << broken("\"max\": 10", "\"max\": 65536") << "exceed what a 16-bit register carries";
    QTest::newRow("signed bound beyond the register")
        << broken("\"min\": 0, \"max\": 10", "\"min\": -1, \"max\": 40000")
        << "exceed what a 16-bit register carries";
    QTest::newRow("bad scale") << broken("\"integer\"", "\"fixed\", \"scale\": 0.2")
                               << "\"scale\" must be";
    QTest::newRow("fixed without scale")
        << broken("\"integer\"", "\"fixed\"") << "\"scale\" must be";
    QTest::newRow("bound finer than scale")
        << broken("\"integer\", \"min\": 0", "\"fixed\", \"scale\": 0.1, \"min\": 0.05")
        << "\"min\" is not a whole number";
    QTest::newRow("min above max") << broken("\"min\": 0", "\"min\": 11") << "above \"max\"";
    QTest::newRow("min only") << broken(", \"max\": 10", "") << "go together";
    QTest::newRow("editable without bounds")
        << broken(", \"min\": 0, \"max\": 10", "") << "needs \"min\" and \"max\"";
    QTest::newRow("unknown flag") << broken("[]", "[\"hidden\"]") << "unknown flag \"hidden\"";
    QTest::newRow("repeated flag") << broken("[]", "[\"readOnly\", \"readOnly\"]") << "repeated";
    QTest::newRow("asterisk without star") << broken("[]", "[\"asterisk\"]") << "asterisk";
    QTest::newRow("disabled number") << broken("[]", "[\"disabled\"]") << "only a list field";
    QTest::newRow("default text") << broken("\"flags\"", "\"default\": \"1\", \"flags\"")
                                  << "\"default\" is not a number";
    QTest::newRow("other window") << broken("\"group\": \"A\"", "\"group\": \"B\"")
                                  << "another window";
    QTest::newRow("group of KX100")
        << broken("\"model\": \"KX300\"", "\"model\": \"KX100\"") << "does not fit model";
    QTest::newRow("split page") << goodRow(0, "X1-01", "P1") + "\n" + goodRow(1, "X1-02", "P2") +
                                       "\n" + goodRow(2, "X1-03", "P1")
                                << "line 3: page \"P1\" is split";
}

void tst_ParameterRowTable::malformedTable()
{
    QFETCH(QByteArray, data);
    QFETCH(QString, reason);

    ParameterRowTable table;
    QVERIFY(!table.parse(data, "test.jsonl"));
    QVERIFY(table.isEmpty());
    QVERIFY2(table.errorString().startsWith("test.jsonl"), qPrintable(table.errorString()));
    QVERIFY2(table.errorString().contains(reason), qPrintable(table.errorString()));
}

void tst_ParameterRowTable::failedLoadKeepsRows()
{
    ParameterRowTable table;
    QVERIFY(table.loadEmbedded("kx300_a"));
    QCOMPARE(table.count(), 21);

    QVERIFY(!table.parse(goodRow(0) + "\n" + goodRow(5, "X1-02"), "bad"));
    QCOMPARE(table.count(), 21);
    QCOMPARE(table.group(), QString("A"));
    QVERIFY(!table.errorString().isEmpty());

    QVERIFY(!table.loadEmbedded("kx300_z"));
    QVERIFY(table.errorString().contains("kx300_z"));
    QCOMPARE(table.count(), 21);
    QVERIFY(!ParameterRowTable::embedded("kx400").errorString().isEmpty());
    QVERIFY(ParameterRowTable::embedded("kx400").isEmpty());
    QVERIFY(ParameterRowTable::kx300GroupName('G').isEmpty());

    // A sound table clears the previous error.
    QVERIFY(table.parse("\xEF\xBB\xBF" + goodRow(0) + "\r\n\r\n" + goodRow(1, "X1-02") + "\r\n"));
    QCOMPARE(table.count(), 2);
    QVERIFY(table.errorString().isEmpty());
}

void tst_ParameterRowTable::loadFromFile()
{
    ParameterRowTable table;
    QVERIFY(!table.loadFile("/nonexistent/rows.jsonl"));
    QVERIFY(table.errorString().contains("/nonexistent/rows.jsonl"));

    QTemporaryFile file;
    QVERIFY(file.open());
    file.write(goodRow(0) + "\n" + goodRow(1, "X1-02", "P2") + "\n");
    file.close();
    QVERIFY2(table.loadFile(file.fileName()), qPrintable(table.errorString()));
    QCOMPARE(table.pages(), (QStringList{"P1", "P2"}));
    QCOMPARE(table.at(1).code, QString("X1-02"));
}

QTEST_GUILESS_MAIN(tst_ParameterRowTable)
#include "tst_ParameterRowTable.moc"
