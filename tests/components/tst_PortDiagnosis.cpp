#include "components/ComponentError.h"
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
    // Rows: how the device is reached ("missing", "pty", "link") and who holds it.
    void openFailures_data()
    {
        QTest::addColumn<QString>("device");
        QTest::addColumn<QString>("holder");      // "session": this process; "program": another
        QTest::addColumn<QString>("description"); // empty: stays closed without an error
        const auto row = [](const char *name, QString device, QString holder, QString description) {
            QTest::newRow(name) << device << holder << description;
        };
        row("missing path", "missing", "", "");
        row("held by a session, through a link", "link", "session", " is in use by another session");
        row("held by another program", "pty", "program", " is in use by openport_helper (process %1)");
    }

    void openFailures()
    {
        QFETCH(QString, device);
        QFETCH(QString, holder);
        QFETCH(QString, description);
        Pty pty;
        const QString link = m_env.filePath("serial-link");
        QFile::remove(link);
        QVERIFY(QFile::link(pty.slavePath(), link));
        device = device == "link"  ? link
                 : device == "pty" ? pty.slavePath()
                                   : m_env.filePath("no-such-device");
        const auto session = holder == "session" ? openComponent(m_env, 1, pty.slavePath()) : nullptr;
        const auto program = holder == "program" ? std::make_unique<Holder>(pty.slavePath()) : nullptr;
        description.replace("%1", QString::number(program ? program->processId() : 0));
        m_env.mapPort(255, device);

        QtSerialComponent component;
        QSignalSpy spy(&component, &SerialComponent::OnComm);
        component.setCommPort(255);
        try {
            component.setPortOpen(true);
            QVERIFY2(description.isEmpty(), "no error raised"); // nothing there: named as the map gave it
            QCOMPARE(component.openFailureDescription(), "COM255: no device at " + device);
        } catch (const ComponentError &e) {
            QCOMPARE(e.description(), canonical(device) + description);
        }
        QVERIFY(!component.portOpen());
        QCOMPARE(spy.count(), 0);
    }

    void classify()
    {
        using K = PortDiagnosis::Kind;
        using E = QSerialPort;
        const std::tuple<E::SerialPortError, QString, K> rows[] = {
            {E::PermissionError, QStringLiteral("Permission error while locking the device"), K::InUse},
            {E::PermissionError, qt_error_string(EACCES), K::PermissionDenied},
            {E::ResourceError, qt_error_string(EBUSY), K::InUse},
            {E::UnsupportedOperationError, qt_error_string(EINVAL), K::UnsupportedSetting},
            {E::UnsupportedOperationError, qt_error_string(ENOTTY), K::NotSerial},
            {E::DeviceNotFoundError, qt_error_string(ENOENT), K::NoDevice},
        };
        for (const auto &[error, text, kind] : rows)
            QVERIFY2(PortDiagnosis::classify(error, text) == kind, qPrintable(text));
    }

    // The advice the facts allow, for the cases a test running as root cannot produce for real.
    void describe()
    {
        constexpr auto K = PortDiagnosis::Kind::PermissionDenied;
        const std::pair<PortDiagnosis::Facts, const char *> rows[] = {
            {{.kind = K, .group = "dialout", .groupMayOpen = true, .user = "al"},
             ": permission denied; run 'sudo usermod -aG dialout al', then log in again"},
            {{.kind = K, .group = "uucp", .groupMayOpen = true, .inGroupAfterLogin = true},
             ": permission denied; log in again to join group uucp"},
            {{.kind = K, .group = "dialout", .user = "al"}, ": permission denied"},
            {{.kind = K, .group = "root", .groupMayOpen = true, .user = "al"}, ": permission denied"},
        };
        for (auto [facts, expected] : rows) {
            facts.device = QStringLiteral("/dev/ttyUSB0");
            QCOMPARE(PortDiagnosis::describe(facts), facts.device + QLatin1String(expected));
        }
    }

    // Root opens anything: the refusal an ordinary user meets is tried by a helper running as "nobody",
    // on a device its group may open.
    void openAsAnotherUser()
    {
        if (::geteuid() != 0)
            QSKIP("needs root to start a process as another user");
        Pty pty;
        const QByteArray path = pty.slavePath().toLocal8Bit();
        const ::group *dialout = ::getgrnam("dialout");
        if (!dialout)
            QSKIP("this machine has no group dialout");
        QVERIFY(::chown(path.constData(), uid_t(-1), dialout->gr_gid) == 0 &&
                ::chmod(path.constData(), 0660) == 0);
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
                 "error: " + canonical(pty.slavePath()) +
                     ": permission denied; run 'sudo usermod -aG dialout nobody', then log in again");
    }
};

QTEST_GUILESS_MAIN(tst_PortDiagnosis)
#include "tst_PortDiagnosis.moc"
