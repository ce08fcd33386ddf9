// Saving the traffic log: CSV that a spreadsheet-compatible parser reads back field for field
// (commas, quotes, Cyrillic), and a failed save that leaves the earlier file alone.
#include "bus/TrafficExport.h"
#include "bus/TrafficLine.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {
// Reads a CSV file with Python's csv module (the dialect spreadsheets write) and returns the
// rows as JSON.
QJsonArray readWithPython(const QString &path)
{
    QProcess python;
    python.start(QStringLiteral("python3"),
                 {QStringLiteral("-c"),
                  QStringLiteral("import csv, json, sys\n"
                                 "with open(sys.argv[1], newline='', encoding='utf-8-sig') as f:\n"
                                 "    print(json.dumps(list(csv.reader(f))))\n"),
                  path});
    if (!python.waitForFinished(30000) || python.exitCode() != 0)
        return {};
    return QJsonDocument::fromJson(python.readAllStandardOutput()).array();
}
} // namespace

class tst_TrafficExport : public QObject
{
    Q_OBJECT

private slots:
    void csvReadsBackInASpreadsheetParser()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("python3")).isEmpty())
            QSKIP("python3 is not installed");
        // A KX100 command, whose meaning holds a comma.
        TrafficEntry entry;
        entry.time = 1700000000123;
        entry.model = TrafficEntry::Model::KX100;
        entry.address = 4;
        entry.result = 0;
        entry.responseMs = 17;
        entry.request = QByteArray::fromHex("041000010001020003D8D0");
        entry.reply = QByteArray::fromHex("041000010001505C");

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("журнал.csv"));
        QCOMPARE(TrafficExport::formatOf(path), TrafficExport::Format::Csv);
        QVERIFY(TrafficExport::save(path, {entry}, TrafficExport::Format::Csv, nullptr));
        const QJsonArray rows = readWithPython(path);
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[0].toArray().size(), 8);
        QCOMPARE(rows[0].toArray()[0].toString(), QStringLiteral("Время"));
        const QJsonArray row = rows[1].toArray();
        QCOMPARE(row.size(), 8);
        QCOMPARE(row[1].toString(), QStringLiteral("4"));
        QCOMPARE(row[2].toString(), QStringLiteral("KX100"));
        QCOMPARE(row[3].toString(), QStringLiteral("04 10 00 01 00 01 02 00 03 D8 D0"));
        QCOMPARE(row[5].toString(), QStringLiteral("команда пуск, реверс = 3"));
        QCOMPARE(row[7].toString(), QStringLiteral("17"));

        // Quotes, commas and line breaks of any field survive the quoting.
        const QString awkward = QStringLiteral("а,б \"в\"\nг");
        QFile file(dir.filePath(QStringLiteral("fields.csv")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(TrafficLine::csvRecord({awkward, QStringLiteral("ПЧ"), QString()}).toUtf8());
        file.close();
        const QJsonArray back = readWithPython(file.fileName());
        QCOMPARE(back.size(), 1);
        QCOMPARE(back[0].toArray()[0].toString(), awkward);
        QCOMPARE(back[0].toArray()[1].toString(), QStringLiteral("ПЧ"));
        QCOMPARE(back[0].toArray()[2].toString(), QString());
    }

    void failedSaveKeepsTheEarlierFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("log.txt"));
        TrafficEntry entry;
        entry.address = 1;
        QVERIFY(TrafficExport::save(path, {entry}, TrafficExport::Format::Text, nullptr));
        const QByteArray before = [&] {
            QFile f(path);
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }();
        QVERIFY(before.contains("#1"));
        QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        QString why;
        const bool saved =
            TrafficExport::save(path, {entry, entry}, TrafficExport::Format::Text, &why);
        QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                              QFileDevice::ExeOwner);
        if (saved)
            QSKIP("the directory stays writable (running as root)");
        QVERIFY(!why.isEmpty());
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);
    }
};

QTEST_GUILESS_MAIN(tst_TrafficExport)
#include "tst_TrafficExport.moc"
