#include "cli/CliOutput.h"

#include "CliTestSupport.h"

#include <QtTest>

using CliTestSupport::readBack;

class tst_CliOutput : public QObject
{
    Q_OBJECT

private slots:
    void textModeWithProgressOnATerminal()
    {
        FILE *out = std::tmpfile();
        FILE *err = std::tmpfile();
        QVERIFY(out && err);
        {
            CliOutput output(false, out, err);
            QVERIFY(!output.progressShown()); // a file is no terminal
            output.setProgressEnabled(true);
            output.progress("UpLoad: 1 / 2");
            output.progress("UpLoad: 2 / 2");
            output.result("done", QJsonObject{{"ok", true}});
            output.error("bad");
            output.text("plain");
        }
        // Each progress line overwrites the previous one; the next output starts a new line.
        QCOMPARE(readBack(out),
                 QStringLiteral("\rUpLoad: 1 / 2\x1b[K\rUpLoad: 2 / 2\x1b[K\ndone\nplain\n"));
        QCOMPARE(readBack(err), QStringLiteral("drivelink-cli: bad\n"));
    }

    void jsonModePrintsObjectsOnly()
    {
        FILE *out = std::tmpfile();
        FILE *err = std::tmpfile();
        QVERIFY(out && err);
        {
            CliOutput output(true, out, err);
            output.setProgressEnabled(true); // never in JSON mode
            output.progress("UpLoad: 1 / 2");
            output.text("heading");
            output.result("done", QJsonObject{{"address", 3}, {"model", "KX200"}});
            output.error("bad");
        }
        QCOMPARE(readBack(out), QStringLiteral("{\"address\":3,\"model\":\"KX200\"}\n"));
        QCOMPARE(readBack(err), QStringLiteral("drivelink-cli: bad\n"));
    }
};

QTEST_GUILESS_MAIN(tst_CliOutput)
#include "tst_CliOutput.moc"
