#include "components/ComponentError.h"
#include "components/PortMap.h"
#include "tests/support/Files.h"
#include "tests/support/SerialFixture.h"

#include <cerrno>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

// Why a port did not open, in words a user can act on.
class tst_PortDiagnosis : public QObject
{
    Q_OBJECT
    TestEnv m_env;

private slots:
    void openFailures_data()
    {
        QTest::addColumn<QString>("device");      // null: COM255 not in the map
        QTest::addColumn<QString>("holder");      // "session": held by this process; "program": by another
        QTest::addColumn<QString>("description"); // empty: stays closed without an error
        const QString plain = m_env.filePath(QStringLiteral("plain.txt"));
        QVERIFY(writeFile(plain, {}));
        QTest::newRow("missing path") << m_env.filePath(QStringLiteral("no-such-device")) << ""
                                      << "";
        QTest::newRow("unmapped COM255") << QString() << ""
                                         << "";
        QTest::newRow("regular file") << plain << ""
                                      << ": not a serial device";
        QTest::newRow("held by a session, through a link") << "link"
                                                           << "session"
                                                           << " is in use by another session";
        QTest::newRow("held by another program") << "pty"
                                                 << "program"
                                                 << " is in use by openport_helper (process %1)";
    }

    void openFailures()
    {
        QFETCH(QString, device);
        QFETCH(QString, holder);
        QFETCH(QString, description);
        Pty pty;
        std::unique_ptr<QtSerialComponent> session;
        std::unique_ptr<Holder> program;
        if (!holder.isEmpty()) {
            const QString link = m_env.filePath(QStringLiteral("serial-link"));
            QFile::remove(link);
            QVERIFY(QFile::link(pty.slavePath(), link));
            device = device == QLatin1String("link") ? link : pty.slavePath();
        }
        if (holder == QLatin1String("session"))
            session = openComponent(m_env, 1, pty.slavePath());
        if (holder == QLatin1String("program")) {
            program = std::make_unique<Holder>(pty.slavePath());
            QVERIFY(program->isHolding());
            description = description.arg(program->pid());
        }
        if (device.isNull() && QFileInfo::exists(QStringLiteral("/dev/ttyS254")))
            QSKIP("this machine has the device");
        device.isNull() ? m_env.unmapPort(255) : m_env.mapPort(255, device);

        QtSerialComponent component;
        QSignalSpy spy(&component, &SerialComponent::OnComm);
        component.setCommPort(255);
        try {
            component.setPortOpen(true);
            QVERIFY2(description.isEmpty(), "no error raised");
            // Nothing at the path: the description names the path the map gave.
            QCOMPARE(component.openFailureDescription(),
                     QStringLiteral("COM255: no device at ") + PortMap::devicePath(255));
        } catch (const ComponentError &e) {
            QCOMPARE(e.description(), canonical(device) + description);
        }
        QVERIFY(!component.portOpen());
        QCOMPARE(spy.count(), 0);
        if (session) { // the holder is undisturbed by the attempt
            Receiver rx(*session);
            QVERIFY(pty.write("still here"));
            QTRY_COMPARE(rx.bytes, QByteArray("still here"));
        }
    }

    void classify()
    {
        using K = PortDiagnosis::Kind;
        using E = QSerialPort;
        const struct
        {
            QSerialPort::SerialPortError error;
            QString text;
            K kind;
        } rows[] = {
            {E::PermissionError, QStringLiteral("Permission error while locking the device"), K::InUse},
            {E::PermissionError, qt_error_string(EACCES), K::PermissionDenied},
            {E::PermissionError, qt_error_string(EPERM), K::PermissionDenied},
            {E::ResourceError, qt_error_string(EBUSY), K::InUse},
            {E::UnsupportedOperationError, qt_error_string(EINVAL), K::UnsupportedSetting},
            {E::UnsupportedOperationError, qt_error_string(ENOTTY), K::NotSerial},
            {E::UnknownError, qt_error_string(EISDIR), K::NotSerial},
            {E::DeviceNotFoundError, qt_error_string(ENOENT), K::NoDevice},
            {E::ResourceError, qt_error_string(EIO), K::Other},
        };
        for (const auto &row : rows)
            QVERIFY2(PortDiagnosis::classify(row.error, row.text) == row.kind, qPrintable(row.text));
    }

    // The wording from the facts, for the cases a test running as root
    // cannot produce for real.
    void describe()
    {
        using K = PortDiagnosis::Kind;
        const struct
        {
            PortDiagnosis::Facts facts;
            const char *expected;
        } rows[] = {
            {{.kind = K::PermissionDenied, .group = "dialout", .groupMayOpen = true, .user = "alice"},
             ": permission denied; run 'sudo usermod -aG dialout alice', then log in again"},
            {{.kind = K::PermissionDenied, .group = "uucp", .groupMayOpen = true, .inGroupAfterLogin = true},
             ": permission denied; log in again to join group uucp"},
            {{.kind = K::PermissionDenied, .group = "dialout", .groupMayOpen = true},
             ": permission denied; join group dialout, then log in again"},
            {{.kind = K::PermissionDenied, .group = "dialout", .user = "alice"}, ": permission denied"},
            {{.kind = K::PermissionDenied, .group = "root", .groupMayOpen = true, .user = "alice"},
             ": permission denied"},
            {{.kind = K::PermissionDenied, .groupMayOpen = true, .user = "alice"}, ": permission denied"},
            {{.kind = K::InUse, .holder = "sertool", .holderPid = 4242},
             " is in use by sertool (process 4242)"},
            {{.kind = K::InUse, .holderPid = 4242}, " is in use by process 4242"},
            {{.kind = K::InUse}, " is in use by another program"},
            {{.kind = K::InUse, .holder = "ombrix", .holderPid = 7, .heldByThisProcess = true},
             " is in use by another session"},
            {{.kind = K::NotSerial}, ": not a serial device"},
            {{.kind = K::UnsupportedSetting}, ": unsupported setting"},
            {{.kind = K::Other}, ": could not be opened"},
            {{.kind = K::Other, .systemText = "Input/output error"}, ": Input/output error"},
        };
        for (const auto &row : rows) {
            PortDiagnosis::Facts facts = row.facts;
            facts.device = QStringLiteral("/dev/ttyUSB0");
            QCOMPARE(PortDiagnosis::describe(facts), facts.device + QLatin1String(row.expected));
        }
        const PortDiagnosis::Facts none{.kind = K::NoDevice, .device = "/dev/serial/by-id/usb-x", .port = 3};
        QCOMPARE(PortDiagnosis::describe(none), QStringLiteral("COM3: no device at /dev/serial/by-id/usb-x"));
    }

    // Root opens anything, so the refusals an ordinary user meets are tried
    // by a helper process running as "nobody".
    void openAsAnotherUser_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("group"); // empty: as the pseudo-terminal comes
        QTest::addColumn<QString>("outcome");
        QTest::newRow("no permission for the group") << 0600 << ""
                                                     << "error: %1: permission denied";
        QTest::newRow("group dialout may open")
            << 0660 << "dialout"
            << "error: %1: permission denied; run 'sudo usermod -aG dialout nobody', then log in again";
    }

    void openAsAnotherUser()
    {
        QFETCH(int, mode);
        QFETCH(QString, group);
        QFETCH(QString, outcome);
        if (::geteuid() != 0)
            QSKIP("needs root to start a process as another user");
        Pty pty;
        const QByteArray path = pty.slavePath().toLocal8Bit();
        if (!group.isEmpty()) {
            const ::group *gr = ::getgrnam(group.toLocal8Bit().constData());
            if (!gr)
                QSKIP("this machine has no such group");
            QVERIFY(::chown(path.constData(), uid_t(-1), gr->gr_gid) == 0);
        }
        QVERIFY(::chmod(path.constData(), mode_t(mode)) == 0);
        QProcess helper;
        helper.setChildProcessModifier([] {
            constexpr gid_t nobody = 65534;
            if (::setgroups(0, nullptr) != 0 || ::setgid(nobody) != 0 || ::setuid(nobody) != 0)
                ::_exit(3);
        });
        helper.start(QStringLiteral(OPENPORT_HELPER), {pty.slavePath()});
        QVERIFY2(helper.waitForFinished(30000), qPrintable(helper.errorString()));
        QCOMPARE(helper.exitCode(), 0);
        QCOMPARE(QString::fromLocal8Bit(helper.readAllStandardOutput()).trimmed(),
                 outcome.replace(QLatin1String("%1"), canonical(pty.slavePath())));
    }
};

QTEST_GUILESS_MAIN(tst_PortDiagnosis)
#include "tst_PortDiagnosis.moc"
