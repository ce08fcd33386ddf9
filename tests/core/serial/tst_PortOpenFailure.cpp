#include "serial/PortOpenFailure.h"

#include <QTemporaryDir>
#include <QTest>

#include <cerrno>

#include <grp.h>
#include <unistd.h>

using Reason = PortOpenFailure::Reason;

class tst_PortOpenFailure : public QObject
{
    Q_OBJECT

private slots:
    void reasonForError_data()
    {
        QTest::addColumn<int>("error");
        QTest::addColumn<Reason>("reason");
        QTest::newRow("ENOENT: unplugged or stale link") << ENOENT << Reason::Missing;
        QTest::newRow("ENXIO: node without hardware") << ENXIO << Reason::Missing;
        QTest::newRow("ENODEV") << ENODEV << Reason::Missing;
        QTest::newRow("EACCES: not in the group") << EACCES << Reason::NoAccess;
        QTest::newRow("EPERM") << EPERM << Reason::NoAccess;
        QTest::newRow("EBUSY: exclusive use") << EBUSY << Reason::Busy;
        QTest::newRow("EWOULDBLOCK: locked") << EWOULDBLOCK << Reason::Busy;
        QTest::newRow("ENOTTY") << ENOTTY << Reason::NotTerminal;
        QTest::newRow("EIO") << EIO << Reason::Other;
    }
    void reasonForError()
    {
        QFETCH(int, error);
        QFETCH(Reason, reason);
        QCOMPARE(PortOpenFailure::reasonForError(error), reason);
    }

    // The group to join is the device node's, reached through a by-id style link.
    void groupComesFromTheDeviceNode()
    {
        const group *dialout = ::getgrnam("dialout");
        if (!dialout)
            QSKIP("no dialout group on this machine");
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString node = dir.filePath("ttyUSB7");
        const QString link = dir.filePath("usb-Adapter_1234-if00-port0");
        QFile file(node);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        if (::chown(QFile::encodeName(node).constData(), uid_t(-1), dialout->gr_gid) != 0)
            QSKIP("cannot give the file to the dialout group");
        QVERIFY(QFile::link(node, link));
        QCOMPARE(PortOpenFailure::deviceGroup(link), QStringLiteral("dialout"));
        QCOMPARE(PortOpenFailure::deviceGroup(dir.filePath("missing")), QString());
        // Root's group is nothing a user joins.
        if (::getuid() == 0 && ::chown(QFile::encodeName(node).constData(), uid_t(-1), 0) == 0)
            QCOMPARE(PortOpenFailure::deviceGroup(link), QString());

        const QString failed = QStringLiteral("/dev/ttyUSB7");
        PortOpenFailure failure(Reason::NoAccess, failed);
        failure.setGroup(QStringLiteral("dialout"));
        for (const QString &text : {failure.operatorText(), failure.commandLineText()}) {
            QVERIFY2(text.contains(failed) && text.contains(QStringLiteral("нет доступа")) &&
                         text.contains(QStringLiteral("dialout")),
                     qPrintable(text));
        }
    }

    void fromErrorLooksTheGroupUpOnlyForAccess()
    {
        QCOMPARE(PortOpenFailure::fromError("/dev/null", ENOENT).group(), QString());
        const PortOpenFailure other = PortOpenFailure::fromError("/dev/ttyS0", EIO);
        QVERIFY2(other.commandLineText().startsWith("cannot open serial port /dev/ttyS0: ") &&
                     other.commandLineText().size() > 40,
                 qPrintable(other.commandLineText()));
    }
};

QTEST_GUILESS_MAIN(tst_PortOpenFailure)
#include "tst_PortOpenFailure.moc"
