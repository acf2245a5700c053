#include "components/ComponentError.h"
#include "components/PortDiagnosis.h"
#include "components/PortMap.h"
#include "components/QtSerialComponent.h"
#include "tests/support/Pty.h"
#include "tests/support/TestEnv.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <limits>
#include <memory>
#include <numeric>
#include <vector>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int receive = SerialComponent::EventReceive;

// Plays the session's part: on each event reads the code and, for received
// data, takes input until nothing is left waiting.
class Receiver : public QObject
{
public:
    explicit Receiver(SerialComponent &c)
        : m_c(c)
    {
        connect(&c, &SerialComponent::OnComm, this, [this] {
            events.append(m_c.commEvent());
            openAtEvent.append(m_c.portOpen());
            while (drain && m_c.commEvent() == receive && m_c.inBufferCount() > 0)
                bytes += m_c.input();
        });
    }
    qsizetype otherEvents() const { return events.size() - events.count(receive); }

    bool drain = true; // false: leave bytes waiting, as when the log can't be opened
    QByteArray bytes;
    QList<int> events;
    QList<bool> openAtEvent;

private:
    SerialComponent &m_c;
};

QByteArray everyByteValue()
{
    QByteArray bytes(256, Qt::Uninitialized);
    std::iota(bytes.begin(), bytes.end(), char(0));
    return bytes;
}

QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    std::generate(bytes.begin(), bytes.end(), [&] { return char(generator.bounded(256)); });
    return bytes;
}

QString canonical(const QString &path)
{
    return QFileInfo(path).canonicalFilePath();
}

QString programName(qint64 pid)
{
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    return comm.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(comm.readAll()).trimmed() : QString();
}

// Another program holding a device open (with a lock file, as serial
// programs do) until the object goes.
class Holder
{
public:
    explicit Holder(const QString &device)
    {
        m_process.start(QStringLiteral(OPENPORT_HELPER), {QStringLiteral("--hold"), device});
        while (m_process.waitForReadyRead(30000) && !m_process.canReadLine()) {
        }
        m_held = m_process.readLine().trimmed() == "open";
    }
    ~Holder() { release(); }
    Holder(const Holder &) = delete;
    Holder &operator=(const Holder &) = delete;

    bool isHolding() const { return m_held; }
    qint64 pid() const { return m_process.processId(); }
    void release()
    {
        m_process.closeWriteChannel();
        m_process.waitForFinished(30000);
    }

private:
    QProcess m_process;
    bool m_held = false;
};

// A device behind a link, as /dev/serial/by-id gives one: the port map names
// the link, and the device can be pulled and plugged in again.
class PluggableDevice
{
public:
    explicit PluggableDevice(const QString &link)
        : m_link(link)
    {
        plugIn();
    }
    Pty &pty() { return *m_pty; }
    QString device() const { return canonical(m_pty->slavePath()); }
    void pull(bool removeLink)
    {
        m_pty->closeMaster();
        if (removeLink)
            QFile::remove(m_link);
    }
    bool plugIn()
    {
        m_pty = std::make_unique<Pty>();
        QFile::remove(m_link);
        return QFile::link(m_pty->slavePath(), m_link);
    }

private:
    QString m_link;
    std::unique_ptr<Pty> m_pty;
};

// Whether this process holds `device`: the lock file of an open port names it.
bool openHere(const QString &device)
{
    return PortDiagnosis::findHolder(device).pid == QCoreApplication::applicationPid();
}

} // namespace

Q_DECLARE_METATYPE(PortDiagnosis::Facts)
Q_DECLARE_METATYPE(PortDiagnosis::Kind)

class tst_QtSerialComponent : public QObject
{
    Q_OBJECT

    TestEnv m_env; // first: the settings store lives in a temporary home

    std::unique_ptr<QtSerialComponent> openOn(const Pty &pty, int port = 1)
    {
        m_env.mapPort(port, pty.slavePath());
        auto component = std::make_unique<QtSerialComponent>();
        component->setInputMode(1);
        component->setCommPort(port);
        component->setSettings(QStringLiteral("9600,N,8,1"));
        component->setPortOpen(true);
        return component;
    }

    // A component on COM3 with a device behind a link, retrying quickly.
    std::unique_ptr<QtSerialComponent> openPluggable(const QString &link, int retryInterval = retryMs)
    {
        m_env.mapPort(3, link);
        auto component = std::make_unique<QtSerialComponent>();
        component->setRetryInterval(retryInterval);
        component->setCommPort(3);
        component->setSettings(QStringLiteral("9600,N,8,1"));
        component->setPortOpen(true);
        return component;
    }

    static constexpr int retryMs = 50;

private slots:
    void portMap_data()
    {
        QTest::addColumn<QString>("stored"); // null: not in the map
        QTest::addColumn<QString>("device");
        QTest::addColumn<QString>("resolved");
        const QString target = m_env.filePath(QStringLiteral("device"));
        QFile(target).open(QIODevice::WriteOnly);
        QFile::link(target, m_env.filePath(QStringLiteral("link")));
        QFile::link(m_env.filePath(QStringLiteral("link")), m_env.filePath(QStringLiteral("link2")));
        const QString link2 = m_env.filePath(QStringLiteral("link2"));
        QTest::newRow("unmapped") << QString() << "/dev/ttyS11"
                                  << "/dev/ttyS11";
        QTest::newRow("empty value") << ""
                                     << "/dev/ttyS11"
                                     << "/dev/ttyS11";
        QTest::newRow("missing path") << "/dev/ttyUSB7"
                                      << "/dev/ttyUSB7"
                                      << "/dev/ttyUSB7";
        QTest::newRow("comma in the path") << "/dev/serial/by-id/a,b"
                                           << "/dev/serial/by-id/a,b"
                                           << "/dev/serial/by-id/a,b";
        QTest::newRow("links followed") << link2 << link2 << canonical(target);
        QTest::newRow("bare name under /dev") << "null"
                                              << "null"
                                              << "/dev/null";
    }

    void portMap()
    {
        QFETCH(QString, stored);
        QFETCH(QString, device);
        QFETCH(QString, resolved);
        stored.isNull() ? m_env.unmapPort(12) : m_env.mapPort(12, stored);
        QCOMPARE(PortMap::devicePath(12), device);
        QCOMPARE(PortMap::resolvedDevicePath(12), resolved);
    }

    // The user may edit the store while the program runs; each call reads it.
    void portMapEditedOutside()
    {
        QVERIFY(QDir().mkpath(m_env.filePath(QStringLiteral(".config/Ombrix"))));
        QFile file(m_env.filePath(QStringLiteral(".config/Ombrix/Ombrix.conf")));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("[Ports]\nCOM13=/dev/serial/by-id/usb-Maker,Inc-if00\n");
        file.close();
        QCOMPARE(PortMap::devicePath(13), QStringLiteral("/dev/serial/by-id/usb-Maker,Inc-if00"));
    }

    void lifecycle()
    {
        Pty a;
        Pty b;
        auto component = openOn(a, 5);
        QVERIFY(component->portOpen());
        Receiver rx(*component);
        component->setPortOpen(true); // already open: nothing happens
        QVERIFY(a.write("A"));
        QTRY_COMPARE(rx.bytes, QByteArray("A"));
        component->setPortOpen(false);
        QVERIFY(!component->portOpen());

        m_env.mapPort(5, b.slavePath()); // seen at the next open
        component->setPortOpen(true);
        QVERIFY(b.write("B"));
        QTRY_COMPARE(rx.bytes, QByteArray("AB"));

        // Destroying an open component releases the device.
        component.reset();
        QVERIFY(openOn(b, 6)->portOpen());
    }

    void bytesArriveUnchanged_data()
    {
        QTest::addColumn<QString>("settings");
        QTest::addColumn<int>("handshaking");
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray all = everyByteValue();
        QByteArray noXonXoff = all; // XON/XOFF: the line discipline takes 0x11 and 0x13
        noXonXoff.replace('\x11', "").replace('\x13', "");
        QTest::newRow("9600,N,8,1") << "9600,N,8,1" << 0 << all;
        QTest::newRow("4 MiB burst") << "115200,N,8,1" << 0 << randomBytes(4 << 20, 1);
        QTest::newRow("110,M,5,2") << "110,M,5,2" << 0 << all;
        QTest::newRow("14400,S,7,1.5 rts/cts") << "14400,S,7,1.5" << 2 << all;
        QTest::newRow("28800,E,8,2 xon/xoff") << "28800,E,8,2" << 1 << noXonXoff;
        QTest::newRow("115200,O,6,1") << "115200,O,6,1" << 0 << all;
        QTest::newRow("blanks, lower case") << " 19200 , e , 7 , 1.5 " << 0 << all;
    }

    void bytesArriveUnchanged()
    {
        QFETCH(QString, settings);
        QFETCH(int, handshaking);
        QFETCH(QByteArray, bytes);
        Pty pty;
        m_env.mapPort(2, pty.slavePath());
        QtSerialComponent component;
        component.setCommPort(2);
        component.setSettings(settings);
        component.setHandshaking(handshaking);
        component.setLineSwitch(true); // a pseudo-terminal has no DTR: not an error
        component.setPortOpen(true);
        QVERIFY(component.portOpen());
        Receiver rx(component);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(pty.write(bytes));
        QTRY_COMPARE_WITH_TIMEOUT(rx.bytes.size(), bytes.size(), 60000);
        QVERIFY(rx.bytes == bytes);
        // A fast device is read at full speed (a pseudo-terminal moves 4 MiB
        // in a fraction of a second), not held back by the throttle.
        QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));

        // A pseudo-terminal refuses parity and short characters on an open
        // port ("Invalid argument"); that must not cost the port.
        component.setSettings(QStringLiteral("19200,E,7,2"));
        component.setHandshaking(2);
        component.setLineSwitch(false);
        QVERIFY(component.portOpen());
        QVERIFY(pty.write("more"));
        QTRY_VERIFY(rx.bytes.endsWith("more"));
        QCOMPARE(rx.otherEvents(), 0);
    }

    void invalidWritesRaise_data()
    {
        QTest::addColumn<QString>("property");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("description");
        for (const char *s : {"", "9600", "9600,N,8", "9600,N,8,1,1", "abc", "0,N,8,1", "-9600,N,8,1",
                              "+9600,N,8,1", "99999999999,N,8,1", "9600,X,8,1", "9600,NE,8,1", "9600,N,9,1",
                              "9600,N,4,1", "9600,N,8,3", "9600,N,8,1.0", "96 00,N,8,1", "9600;N;8;1"})
            QTest::addRow("settings \"%s\"", s)
                << "Settings" << QVariant(QString::fromLatin1(s)) << "Invalid setting";
        for (int port : {0, 256, -1})
            QTest::addRow("port %d", port) << "CommPort" << QVariant(port) << "Invalid port number";
        for (int mode : {3, -1})
            QTest::addRow("handshaking %d", mode)
                << "Handshaking" << QVariant(mode) << "Invalid property value";
        QTest::addRow("input mode 0") << "InputMode" << QVariant(0) << "Invalid property value";
    }

    void invalidWritesRaise()
    {
        QFETCH(QString, property);
        QFETCH(QVariant, value);
        QFETCH(QString, description);
        QtSerialComponent c;
        try {
            if (property == QLatin1String("Settings"))
                c.setSettings(value.toString());
            else if (property == QLatin1String("CommPort"))
                c.setCommPort(value.toInt());
            else if (property == QLatin1String("Handshaking"))
                c.setHandshaking(value.toInt());
            else
                c.setInputMode(value.toInt());
            QFAIL("no error raised");
        } catch (const ComponentError &e) {
            QCOMPARE(e.description(), description);
        }
    }

    void coalescesWhileDataKeepsComing()
    {
        Pty pty;
        auto component = openOn(pty);
        Receiver rx(*component);
        // A device sending 16 bytes every millisecond, each a wake-up of its own.
        constexpr int writes = 300;
        QElapsedTimer clock;
        clock.start();
        QByteArray sent;
        QList<qint64> writtenAt, eventAt, latencies; // latency: write to the event handing it over
        QEventLoop loop; // a real event loop: QTRY polls the loop only every 10 ms
        connect(component.get(), &SerialComponent::OnComm, &loop, [&] {
            eventAt.append(clock.elapsed());
            while (latencies.size() < writtenAt.size() && (latencies.size() + 1) * 16 <= rx.bytes.size())
                latencies.append(clock.elapsed() - writtenAt.at(latencies.size()));
            if (latencies.size() == writes)
                loop.quit();
        });
        QTimer pacer;
        pacer.setTimerType(Qt::PreciseTimer);
        connect(&pacer, &QTimer::timeout, this, [&] {
            writtenAt.append(clock.elapsed());
            sent += QByteArray::number(writtenAt.size()).leftJustified(16, '.');
            QVERIFY(pty.write(sent.right(16)));
            if (writtenAt.size() == writes)
                pacer.stop();
        });
        pacer.start(1);
        QTimer::singleShot(30000, &loop, &QEventLoop::quit);
        loop.exec();
        QCOMPARE(rx.bytes, sent);
        QCOMPARE(latencies.size(), writes);

        // At most one event per throttle interval, however many wake-ups...
        qint64 gap = std::numeric_limits<qint64>::max();
        for (qsizetype i = 1; i < eventAt.size(); ++i)
            gap = std::min(gap, eventAt.at(i) - eventAt.at(i - 1));
        QVERIFY2(eventAt.size() > 1 && gap >= QtSerialComponent::throttleIntervalMs / 2,
                 qPrintable(QStringLiteral("%1 events, shortest gap %2 ms").arg(eventAt.size()).arg(gap)));
        // ...and bytes wait about one interval at most (the bounds leave room
        // for a loaded machine, not for holding bytes back a second interval).
        std::sort(latencies.begin(), latencies.end());
        const qint64 typical = latencies.at(writes * 9 / 10);
        QVERIFY2(
            typical < QtSerialComponent::throttleIntervalMs * 3 / 2 && latencies.last() < 100,
            qPrintable(QStringLiteral("90% within %1 ms, worst %2 ms").arg(typical).arg(latencies.last())));
    }

    void promptAfterQuietSpell()
    {
        Pty pty;
        auto component = openOn(pty);
        Receiver rx(*component);
        QSignalSpy spy(component.get(), &SerialComponent::OnComm);
        QList<qint64> delays;
        for (int i = 0; i < 5; ++i) {
            // A quiet spell is time without data: there is nothing to wait for.
            QTest::qWait(3 * QtSerialComponent::throttleIntervalMs);
            QElapsedTimer clock;
            clock.start();
            QVERIFY(pty.write("x"));
            QVERIFY(spy.wait(5000));
            delays.append(clock.elapsed());
        }
        QCOMPARE(rx.bytes, QByteArray("xxxxx"));
        std::sort(delays.begin(), delays.end()); // raised on arrival, not at a tick
        QVERIFY2(delays.at(2) < QtSerialComponent::throttleIntervalMs / 4,
                 qPrintable(QString::number(delays.at(2))));
    }

    void bytesLeftWaitingWaitForTheNextArrival()
    {
        // A receiver that cannot write (its log file will not open) leaves
        // the bytes; it must hear of them again with the next arrival, and
        // not at every tick in between, which would report one failure fifty
        // times a second.
        Pty pty;
        auto component = openOn(pty);
        Receiver rx(*component);
        rx.drain = false;
        QSignalSpy spy(component.get(), &SerialComponent::OnComm);
        QVERIFY(pty.write("kept"));
        QVERIFY(spy.wait(5000));
        QTest::qWait(10 * QtSerialComponent::throttleIntervalMs); // proving an absence: nothing to wait on
        QCOMPARE(spy.count(), 1);
        QVERIFY(pty.write("more"));
        QTRY_COMPARE_WITH_TIMEOUT(component->inBufferCount(), 8, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(spy.count() >= 2, 5000);
        QCOMPARE(component->commEvent(), receive);
        QCOMPARE(component->input(), QByteArray("keptmore"));
        QCOMPARE(component->inBufferCount(), 0);
    }

    void openFailures_data()
    {
        QTest::addColumn<QString>("device");      // null: COM255 not in the map
        QTest::addColumn<QString>("holder");      // "session": held by this process; "program": by another
        QTest::addColumn<QString>("description"); // empty: stays closed without an error
        const QString plain = m_env.filePath(QStringLiteral("plain.txt"));
        QFile(plain).open(QIODevice::WriteOnly);
        QTest::newRow("missing path") << m_env.filePath(QStringLiteral("no-such-device")) << ""
                                      << "";
        // Unique per process: an open takes the device's lock file before it
        // finds the device missing, which a test run beside this one would see.
        QTest::newRow("missing name under /dev")
            << QStringLiteral("ttyOmbrixNone%1").arg(QCoreApplication::applicationPid()) << ""
            << "";
        QTest::newRow("unmapped COM255") << QString() << ""
                                         << "";
        QTest::newRow("directory") << m_env.path() << ""
                                   << ": not a serial device";
        QTest::newRow("null device") << "/dev/null"
                                     << ""
                                     << ": not a serial device";
        QTest::newRow("regular file") << plain << ""
                                      << ": not a serial device";
        QTest::newRow("held by a session, same path") << "pty"
                                                      << "session"
                                                      << " is in use by another session";
        QTest::newRow("held by a session, through a link") << "link"
                                                           << "session"
                                                           << " is in use by another session";
        QTest::newRow("held by another program") << "pty"
                                                 << "program"
                                                 << " is in use by openport_helper (process %1)";
        QTest::newRow("held by another program, through a link")
            << "link"
            << "program"
            << " is in use by openport_helper (process %1)";
    }

    void openFailures()
    {
        QFETCH(QString, device);
        QFETCH(QString, holder);
        QFETCH(QString, description);
        constexpr int port = 255;
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
            session = openOn(pty, 1);
        if (holder == QLatin1String("program")) {
            program = std::make_unique<Holder>(pty.slavePath());
            QVERIFY(program->isHolding());
            description = description.arg(program->pid());
        }
        if (device.isNull() && QFileInfo::exists(QStringLiteral("/dev/ttyS254")))
            QSKIP("this machine has the device");
        device.isNull() ? m_env.unmapPort(port) : m_env.mapPort(port, device);

        QtSerialComponent component;
        QSignalSpy spy(&component, &SerialComponent::OnComm);
        component.setCommPort(port);
        try {
            component.setPortOpen(true);
            QVERIFY2(description.isEmpty(), "no error raised");
            // Nothing at the path: the description names the path the map gave.
            QCOMPARE(component.openFailureDescription(),
                     QStringLiteral("COM255: no device at ") + PortMap::devicePath(port));
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

    void classifyOpenError_data()
    {
        QTest::addColumn<QSerialPort::SerialPortError>("error");
        QTest::addColumn<QString>("errorString");
        QTest::addColumn<PortDiagnosis::Kind>("kind");
        using Kind = PortDiagnosis::Kind;
        QTest::newRow("lock held") << QSerialPort::PermissionError
                                   << "Permission error while locking the device" << Kind::InUse;
        QTest::newRow("EACCES") << QSerialPort::PermissionError << qt_error_string(EACCES)
                                << Kind::PermissionDenied;
        QTest::newRow("EPERM") << QSerialPort::PermissionError << qt_error_string(EPERM)
                               << Kind::PermissionDenied;
        QTest::newRow("EBUSY") << QSerialPort::ResourceError << qt_error_string(EBUSY) << Kind::InUse;
        QTest::newRow("EINVAL") << QSerialPort::UnsupportedOperationError << qt_error_string(EINVAL)
                                << Kind::UnsupportedSetting;
        QTest::newRow("ENOTTY") << QSerialPort::UnsupportedOperationError << qt_error_string(ENOTTY)
                                << Kind::NotSerial;
        QTest::newRow("EISDIR") << QSerialPort::UnknownError << qt_error_string(EISDIR) << Kind::NotSerial;
        QTest::newRow("ENOENT") << QSerialPort::DeviceNotFoundError << qt_error_string(ENOENT)
                                << Kind::NoDevice;
        QTest::newRow("EIO") << QSerialPort::ResourceError << qt_error_string(EIO) << Kind::Other;
    }

    void classifyOpenError()
    {
        QFETCH(QSerialPort::SerialPortError, error);
        QFETCH(QString, errorString);
        QFETCH(PortDiagnosis::Kind, kind);
        QCOMPARE(int(PortDiagnosis::classify(error, errorString)), int(kind));
    }

    // The wording from the facts, for the cases a test running as root
    // cannot produce for real.
    void describeOpenFailure_data()
    {
        QTest::addColumn<PortDiagnosis::Facts>("facts");
        QTest::addColumn<QString>("expected");
        using Kind = PortDiagnosis::Kind;
        const auto facts = [](Kind kind, auto &&...set) {
            PortDiagnosis::Facts f;
            f.kind = kind;
            f.device = QStringLiteral("/dev/ttyUSB0");
            (set(f), ...);
            return f;
        };
        const auto denied = [&](const char *group, bool mayOpen, const char *user, bool afterLogin) {
            return facts(Kind::PermissionDenied, [&](PortDiagnosis::Facts &f) {
                f.group = QLatin1String(group);
                f.groupMayOpen = mayOpen;
                f.user = QLatin1String(user);
                f.inGroupAfterLogin = afterLogin;
            });
        };
        const auto heldBy = [&](const char *name, qint64 pid, bool us) {
            return facts(Kind::InUse, [&](PortDiagnosis::Facts &f) {
                f.holder = QLatin1String(name);
                f.holderPid = pid;
                f.heldByThisProcess = us;
            });
        };
        QTest::newRow("denied: join the group")
            << denied("dialout", true, "alice", false)
            << "/dev/ttyUSB0: permission denied; run 'sudo usermod -aG dialout alice', then log in again";
        QTest::newRow("denied: joined, not logged in again")
            << denied("uucp", true, "alice", true)
            << "/dev/ttyUSB0: permission denied; log in again to join group uucp";
        QTest::newRow("denied: login name unknown")
            << denied("dialout", true, "", false)
            << "/dev/ttyUSB0: permission denied; join group dialout, then log in again";
        QTest::newRow("denied: group may not open")
            << denied("dialout", false, "alice", false) << "/dev/ttyUSB0: permission denied";
        QTest::newRow("denied: group root")
            << denied("root", true, "alice", false) << "/dev/ttyUSB0: permission denied";
        QTest::newRow("denied: group unknown")
            << denied("", true, "alice", false) << "/dev/ttyUSB0: permission denied";
        QTest::newRow("in use: program known")
            << heldBy("picocom", 4242, false) << "/dev/ttyUSB0 is in use by picocom (process 4242)";
        QTest::newRow("in use: name unreadable")
            << heldBy("", 4242, false) << "/dev/ttyUSB0 is in use by process 4242";
        QTest::newRow("in use: holder not found")
            << heldBy("", 0, false) << "/dev/ttyUSB0 is in use by another program";
        QTest::newRow("in use: another session")
            << heldBy("ombrix", 77, true) << "/dev/ttyUSB0 is in use by another session";
        QTest::newRow("no device") << facts(Kind::NoDevice, [](PortDiagnosis::Facts &f) {
            f.device = QStringLiteral("/dev/serial/by-id/usb-x");
            f.port = 3;
        }) << "COM3: no device at /dev/serial/by-id/usb-x";
        QTest::newRow("not serial") << facts(Kind::NotSerial) << "/dev/ttyUSB0: not a serial device";
        QTest::newRow("setting refused")
            << facts(Kind::UnsupportedSetting) << "/dev/ttyUSB0: unsupported setting";
        QTest::newRow("other") << facts(Kind::Other, [](PortDiagnosis::Facts &f) {
            f.systemText = qt_error_string(EIO);
        }) << "/dev/ttyUSB0: " + qt_error_string(EIO);
        QTest::newRow("other, no words") << facts(Kind::Other) << "/dev/ttyUSB0: could not be opened";
    }

    void describeOpenFailure()
    {
        QFETCH(PortDiagnosis::Facts, facts);
        QFETCH(QString, expected);
        QCOMPARE(PortDiagnosis::describe(facts), expected);
    }

    // Root opens anything, so the refusals an ordinary user meets are tried
    // by a helper process running as "nobody".
    void openAsAnotherUser_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("group"); // empty: as the pseudo-terminal comes
        QTest::addColumn<bool>("heldByUs");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("allowed") << 0666 << "" << false << "open";
        QTest::newRow("no permission for the group") << 0600 << "" << false << "error: %1: permission denied";
        QTest::newRow("group dialout may open")
            << 0660 << "dialout" << false
            << "error: %1: permission denied; run 'sudo usermod -aG dialout nobody', then log in again";
        QTest::newRow("held by another program")
            << 0666 << "" << true
            << "error: %1 is in use by " + programName(QCoreApplication::applicationPid()) + " (process " +
                   QString::number(QCoreApplication::applicationPid()) + ")";
    }

    void openAsAnotherUser()
    {
        QFETCH(int, mode);
        QFETCH(QString, group);
        QFETCH(bool, heldByUs);
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
        const auto holder = heldByUs ? openOn(pty) : nullptr;
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

    void farEndClosing_data()
    {
        QTest::addColumn<bool>("midStream");
        QTest::newRow("bytes still in the port") << false;
        QTest::newRow("while data keeps coming") << true;
    }

    void farEndClosing()
    {
        QFETCH(bool, midStream);
        Pty pty;
        const QString device = QFileInfo(pty.slavePath()).canonicalFilePath(); // gone with the far end
        auto component = openOn(pty);
        Receiver rx(*component);
        QByteArray sent;
        QTimer pacer;
        connect(&pacer, &QTimer::timeout, this, [&] {
            if (sent.size() == 64 * 64) {
                pacer.stop();
                pty.closeMaster();
            } else {
                sent += randomBytes(64, quint32(sent.size()));
                QVERIFY(pty.write(sent.right(64)));
            }
        });
        if (midStream) {
            pacer.start(1);
        } else {
            rx.drain = false; // the bytes wait in the port when the device goes
            sent = "last words before the hang-up";
            QVERIFY(pty.write(sent));
            QTRY_COMPARE(component->inBufferCount(), sent.size());
            pty.closeMaster();
        }
        QTRY_COMPARE(rx.otherEvents(), 1);
        QCOMPARE(rx.events.last(), SerialComponent::EventDeviceLost);
        QVERIFY(component->portOpen()); // waiting for the device to return
        QCOMPARE(component->lostDeviceDescription(),
                 device + QStringLiteral(": the device is no longer available; waiting for it to return"));
        QTest::qWait(300); // an absence has no condition to wait on
        QCOMPARE(rx.otherEvents(), 1);

        // A pseudo-terminal may drop what it still held at the hang-up;
        // whatever came through came unchanged and in order.
        const QByteArray received = rx.bytes + component->input();
        QCOMPARE(component->inBufferCount(), 0);
        QVERIFY(!received.isEmpty() && sent.startsWith(received));
        if (!midStream)
            QCOMPARE(received, sent);
    }

    void closingDeliversWaitingBytes_data()
    {
        QTest::addColumn<QString>("where");
        QTest::addColumn<bool>("drainAtClose");
        QTest::newRow("held by the component") << "component" << true;
        QTest::newRow("queued in the kernel") << "kernel" << true;
        QTest::newRow("queued in the kernel while throttled") << "throttled" << true;
        QTest::newRow("left waiting by the receiver") << "component" << false;
    }

    void closingDeliversWaitingBytes()
    {
        QFETCH(QString, where);
        QFETCH(bool, drainAtClose);
        Pty pty;
        auto component = openOn(pty);
        Receiver rx(*component);
        QByteArray expected;
        if (where == QLatin1String("throttled")) {
            QSignalSpy spy(component.get(), &SerialComponent::OnComm);
            QVERIFY(pty.write("first"));
            QVERIFY(spy.wait(5000)); // raised at once; the throttle runs now
            expected = "first";
        }
        const QByteArray last("written just before the close");
        expected += last;
        QVERIFY(pty.write(last));
        if (where == QLatin1String("component")) {
            rx.drain = false;
            QTRY_COMPARE(component->inBufferCount(), last.size());
            rx.drain = drainAtClose;
        } else {
            // No event loop runs from here to the close: the bytes stay with
            // the kernel until the close takes them.
            QVERIFY(pty.waitQueuedAtSlave(last.size()));
        }

        const qsizetype before = rx.events.size();
        component->setPortOpen(false);
        QVERIFY(!component->portOpen());
        QCOMPARE(rx.events.size(), before + 1);
        QCOMPARE(rx.events.last(), receive);
        QVERIFY(rx.openAtEvent.last()); // raised before the port closed
        // What the receiver leaves is kept for it, also after the close.
        QCOMPARE(component->inBufferCount(), drainAtClose ? 0 : last.size());
        QCOMPARE(rx.bytes + component->input(), expected);
    }

    void closingFromTheHandler()
    {
        Pty pty;
        auto component = openOn(pty);
        Receiver rx(*component);
        connect(component.get(), &SerialComponent::OnComm, this, [&] { component->setPortOpen(false); });
        QVERIFY(pty.write("abc"));
        QTRY_VERIFY(!component->portOpen());
        QCOMPARE(rx.events, QList<int>{receive});
        QCOMPARE(rx.bytes + component->input(), QByteArray("abc"));
    }

    void manyPortsAtOnce()
    {
        constexpr int count = 32;
        std::vector<std::unique_ptr<Pty>> ptys;
        std::vector<std::unique_ptr<QtSerialComponent>> components;
        std::vector<std::unique_ptr<Receiver>> receivers;
        std::vector<QByteArray> sent(count);
        for (int i = 0; i < count; ++i) {
            ptys.push_back(std::make_unique<Pty>());
            components.push_back(openOn(*ptys.back(), 100 + i));
            QVERIFY(components.back()->portOpen());
            receivers.push_back(std::make_unique<Receiver>(*components.back()));
        }
        for (int round = 0; round < 16; ++round) {
            for (int i = 0; i < count; ++i) {
                sent[i] += randomBytes(500 + 17 * i, quint32(round * count + i));
                QVERIFY(ptys[i]->write(sent[i].right(500 + 17 * i)));
            }
        }
        for (int i = 0; i < count; ++i)
            QTRY_VERIFY(receivers[i]->bytes == sent[i]);

        ptys.front()->closeMaster();
        QTRY_COMPARE(receivers.front()->otherEvents(), 1);
        for (int i = 0; i < count; ++i)
            QCOMPARE(receivers[i]->otherEvents(), i == 0 ? 1 : 0);
        QVERIFY(std::all_of(components.begin() + 1, components.end(), [](auto &c) { return c->portOpen(); }));
    }

    void reconnects_data()
    {
        QTest::addColumn<bool>("removeLink");
        QTest::addColumn<int>("retryInterval");
        QTest::newRow("link removed, then made anew") << true << retryMs;
        QTest::newRow("link left dangling, then pointed anew") << false << retryMs;
        // No regular try within the test's time: a change in the watched
        // directories must prompt one.
        QTest::newRow("link removed, prompted by the directory") << true << 3600 * 1000;
        QTest::newRow("link left dangling, prompted by the directory") << false << 3600 * 1000;
    }

    void reconnects()
    {
        QFETCH(bool, removeLink);
        QFETCH(int, retryInterval);
        const QString link = m_env.filePath(QStringLiteral("by-id-link"));
        PluggableDevice plug(link);
        auto component = openPluggable(link, retryInterval);
        QVERIFY(component->portOpen());
        Receiver rx(*component);
        QVERIFY(plug.pty().write("before "));
        QTRY_COMPARE(rx.bytes, QByteArray("before "));

        const QString device = plug.device();
        plug.pull(removeLink);
        QTRY_COMPARE(rx.otherEvents(), 1);
        QCOMPARE(rx.events.last(), SerialComponent::EventDeviceLost);
        QVERIFY(rx.openAtEvent.last());
        QCOMPARE(component->lostDeviceDescription(),
                 device + QStringLiteral(": the device is no longer available; waiting for it to return"));
        QVERIFY(component->portOpen());

        // Back only for a moment, nothing sent: the receiver's last word, the
        // loss, still holds, so the second loss is not news.
        QVERIFY(plug.plugIn());
        const QString briefly = plug.device();
        QTRY_VERIFY_WITH_TIMEOUT(openHere(briefly), 10000);
        plug.pull(removeLink);
        QTRY_VERIFY(!openHere(briefly));
        QCOMPARE(rx.otherEvents(), 1);

        QVERIFY(plug.plugIn());
        QTRY_VERIFY_WITH_TIMEOUT(openHere(plug.device()), 10000);
        QVERIFY(component->portOpen());
        QVERIFY(plug.pty().write("after"));
        QTRY_COMPARE(rx.bytes, QByteArray("before after"));
        QCOMPARE(rx.otherEvents(), 1); // the tries in between were quiet

        // A second loss, after data came, is news again.
        plug.pull(true);
        QTRY_COMPARE(rx.otherEvents(), 2);
        QVERIFY(component->portOpen());
    }

    void closingEndsTheWait_data()
    {
        QTest::addColumn<bool>("leftWaiting");
        QTest::newRow("nothing left waiting") << false;
        QTest::newRow("bytes from before the loss left waiting") << true;
    }

    void closingEndsTheWait()
    {
        QFETCH(bool, leftWaiting);
        const QString link = m_env.filePath(QStringLiteral("by-id-link"));
        PluggableDevice plug(link);
        auto component = openPluggable(link);
        Receiver rx(*component);
        const QByteArray before("sent before the loss");
        if (leftWaiting) {
            // The receiver cannot write them (its log file is locked).
            rx.drain = false;
            QVERIFY(plug.pty().write(before));
            QTRY_COMPARE(component->inBufferCount(), before.size());
        }
        plug.pull(true);
        QTRY_COMPARE(rx.otherEvents(), 1);
        const qsizetype eventsBefore = rx.events.size();
        rx.drain = true; // the file can be written again
        component->setPortOpen(false);
        QVERIFY(!component->portOpen());
        QCOMPARE(rx.bytes, leftWaiting ? before : QByteArray());
        QCOMPARE(rx.events.size(), eventsBefore + (leftWaiting ? 1 : 0));
        QCOMPARE(rx.events.last(), leftWaiting ? receive : SerialComponent::EventDeviceLost);
        const qsizetype eventsAtClose = rx.events.size();

        QVERIFY(plug.plugIn());
        QVERIFY(plug.pty().write("unheard"));
        QTest::qWait(10 * retryMs); // proving an absence: nothing to wait on
        QVERIFY(!openHere(plug.device()));
        QCOMPARE(component->inBufferCount(), 0);
        QCOMPARE(rx.events.size(), eventsAtClose);

        // And it opens again as usual.
        component->setPortOpen(true);
        QVERIFY(openHere(plug.device()));
    }

    // The device goes and comes back, through a link made anew, before the
    // component has noticed the loss.
    void reconnectsWhenBackBeforeTheLossIsSeen()
    {
        const QString link = m_env.filePath(QStringLiteral("by-id-link"));
        PluggableDevice plug(link);
        auto component = openPluggable(link);
        Receiver rx(*component);
        QVERIFY(plug.pty().write("before "));
        QTRY_COMPARE(rx.bytes, QByteArray("before "));
        plug.pull(true);
        QVERIFY(plug.plugIn()); // no event loop ran in between
        QTRY_COMPARE(rx.otherEvents(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(openHere(plug.device()), 10000);
        QVERIFY(plug.pty().write("after"));
        QTRY_COMPARE(rx.bytes, QByteArray("before after"));
    }

    // The number of a closed pseudo-terminal goes to the next one opened,
    // which belongs to someone else.
    void pseudoTerminalNumberGivenOutAgain()
    {
        Pty first;
        const QString path = canonical(first.slavePath());
        m_env.mapPort(4, path);
        QtSerialComponent component;
        component.setRetryInterval(retryMs);
        component.setCommPort(4);
        component.setPortOpen(true);
        Receiver rx(component);
        first.closeMaster();
        QTRY_COMPARE(rx.otherEvents(), 1);

        std::vector<std::unique_ptr<Pty>> others;
        while (others.size() < 64 && !QFileInfo::exists(path))
            others.push_back(std::make_unique<Pty>());
        if (!QFileInfo::exists(path))
            QSKIP("the number was not given out again");
        QTest::qWait(10 * retryMs); // proving an absence: nothing to wait on
        QVERIFY(!openHere(path));
        QVERIFY(component.portOpen());
        QCOMPARE(rx.otherEvents(), 1);
    }

    // Something other than absence keeps the device from reopening: the
    // receiver hears why, once, and the wait goes on until it clears.
    void reopenBlocked_data()
    {
        QTest::addColumn<QString>("blocker");
        QTest::newRow("another program holds the device") << "program";
        QTest::newRow("a regular file in its place") << "file";
    }

    void reopenBlocked()
    {
        QFETCH(QString, blocker);
        const QString link = m_env.filePath(QStringLiteral("by-id-link"));
        PluggableDevice plug(link);
        auto component = openPluggable(link);
        Receiver rx(*component);
        QVERIFY(plug.pty().write("one "));
        QTRY_COMPARE(rx.bytes, QByteArray("one "));
        plug.pull(true);
        QTRY_COMPARE(rx.otherEvents(), 1);

        std::unique_ptr<Holder> program;
        QString expected;
        if (blocker == QLatin1String("program")) {
            QVERIFY(plug.plugIn());
            program = std::make_unique<Holder>(plug.device());
            QVERIFY(program->isHolding());
            expected =
                QStringLiteral("%1 is in use by openport_helper (process %2); still trying to reopen it")
                    .arg(plug.device())
                    .arg(program->pid());
        } else {
            QFile file(link);
            QVERIFY(file.open(QIODevice::WriteOnly));
            expected = canonical(link) + QStringLiteral(": not a serial device; still trying to reopen it");
        }
        QTRY_COMPARE_WITH_TIMEOUT(component->lostDeviceDescription(), expected, 10000);
        QCOMPARE(rx.otherEvents(), 2);
        QCOMPARE(rx.events.last(), SerialComponent::EventDeviceLost);
        QVERIFY(component->portOpen());

        if (program)
            program->release();
        else
            QVERIFY(plug.plugIn());
        QTRY_VERIFY_WITH_TIMEOUT(openHere(plug.device()), 10000);
        QVERIFY(plug.pty().write("two"));
        QTRY_COMPARE(rx.bytes, QByteArray("one two"));
        QCOMPARE(rx.otherEvents(), 2);
    }
};

QTEST_GUILESS_MAIN(tst_QtSerialComponent)
#include "tst_QtSerialComponent.moc"
