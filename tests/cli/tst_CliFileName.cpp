#include "CliTestSupport.h"
#include "setup/IniFile.h"
#include "cli/CliExit.h"
#include "cli/CliFileName.h"

#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

using namespace CliTestSupport;

class tst_CliFileName : public QObject
{
    Q_OBJECT

private slots:
    void bytesComeBackExactly_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("ASCII") << QByteArray("plant.ini");
        QTest::newRow("UTF-8") << QByteArray("\xD0\xBF\xD1\x87.ini");
        QTest::newRow("invalid byte") << QByteArray("plant\xFF.ini");
        QTest::newRow("Latin-1 letter") << QByteArray("old\xE9.ini");
        QTest::newRow("cut sequence") << QByteArray("a\xE2\x82");
        QTest::newRow("encoded surrogate") << QByteArray("\xED\xB2\x80");
        QTest::newRow("four bytes") << QByteArray("\xF0\x9F\x98\x80\xFF");
        QTest::newRow("U+FEFF first") << QByteArray("\xEF\xBB\xBF") + "a.ini";
        QTest::newRow("U+FEFF twice inside") << QByteArray("a\xEF\xBB\xBF\xEF\xBB\xBF.ini");
    }

    void bytesComeBackExactly()
    {
        QFETCH(QByteArray, bytes);
        const QString name = CliFileName::fromArgument(bytes);
        QCOMPARE(CliFileName::toNative(name), bytes);
        // QFile::decodeName drops U+FEFF as a byte order mark.
        if (!QString::fromUtf8(bytes).contains(QChar::ReplacementCharacter) &&
            !bytes.contains("\xEF\xBB\xBF"))
            QCOMPARE(name, QFile::decodeName(bytes));
    }

    void commandsReachTheFileByItsBytes()
    {
        QTemporaryDir dir;
        const QByteArray folder = QFile::encodeName(dir.path());
        // The program's own file code writes and reads the name as given.
        IniFile ini;
        ini.setNativeFileName(folder + "/plant\xFF.ini");
        ini.writeString(QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("v"));
        QVERIFY(ini.save());
        QVERIFY(::access((folder + "/plant\xFF.ini").constData(), F_OK) == 0);
        QVERIFY(::access((folder + "/plant\xEF\xBF\xBD.ini").constData(), F_OK) != 0);
        IniFile back;
        back.setNativeFileName(folder + "/plant\xFF.ini");
        QVERIFY(back.load());
        QCOMPARE(back.readString(QStringLiteral("S"), QStringLiteral("k")), QStringLiteral("v"));

        // restore finds an existing file whose name is not UTF-8 (and reads its section).
        auto bus = startBus({});
        QVERIFY(bus);
        const QByteArray old = folder + "/old\xE9.ini";
        const int fd = ::open(old.constData(), O_WRONLY | O_CREAT, 0644);
        QVERIFY(fd >= 0);
        const QByteArray text = QStringLiteral("[  ПЧ     #6]\nEnable=true\nTypeName=KX200\n").toUtf8();
        QCOMPARE(::write(fd, text.constData(), size_t(text.size())), ssize_t(text.size()));
        ::close(fd);
        const Run run = runCli(bus->slavePath(), {"restore", CliFileName::fromArgument(old)});
        QCOMPARE(run.code, int(CliExit::Failure));
        QVERIFY2(!run.err.contains(QStringLiteral("no such file")), qPrintable(run.err));
        QVERIFY2(run.err.contains(QStringLiteral("CD05: missing")), qPrintable(run.err));
        // diff of two files opens both by their bytes too.
        const Run diff = runCli(bus->slavePath(), {"diff", CliFileName::fromArgument(old),
                                                   CliFileName::fromArgument(old)});
        QVERIFY2(!diff.err.contains(QStringLiteral("no such file")), qPrintable(diff.err));
        QVERIFY2(diff.out.contains(QStringLiteral("slot 6 CD05")), qPrintable(diff.out));
    }
};

QTEST_GUILESS_MAIN(tst_CliFileName)
#include "tst_CliFileName.moc"
