#include "components/ComponentError.h"
#include "components/PortMap.h"
#include "components/ReadThrottle.h"
#include "tests/support/Files.h"
#include "tests/support/SerialFixture.h"

#include <QDir>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTimer>

#include <functional>

// The component as a session drives it: opening, delivery, coalescing, closing.
class tst_QtSerialComponent : public QObject
{
    Q_OBJECT
    TestEnv m_env; // first: the settings store lives in a temporary home

private slots:
    // The store is read at each call: the user may edit it while the program runs.
    void portMap()
    {
        const QString target = m_env.filePath("device"), link = m_env.filePath("link");
        QVERIFY(writeFile(target, {}) && QFile::link(target, link) && QFile::link(link, link + "2"));
        QVERIFY(QDir().mkpath(m_env.filePath(".config/Ombrix")));
        const QString rows[][3] = {
            // COM12's entry, the device it names, that device resolved
            {"", "/dev/ttyS11", "/dev/ttyS11"},
            {"COM12=", "/dev/ttyS11", "/dev/ttyS11"},
            {"COM12=/dev/serial/by-id/usb-A,Inc", "/dev/serial/by-id/usb-A,Inc",
             "/dev/serial/by-id/usb-A,Inc"},
            {"COM12=" + link + "2", link + "2", canonical(target)},
            {"COM12=null", "null", "/dev/null"},
            {"COM12=zero", "zero", "/dev/zero"}, // rewritten in place, the same size
        };
        QDateTime edited = QDateTime::currentDateTime();
        for (const auto &[entry, device, resolved] : rows) {
            QFile conf(m_env.filePath(".config/Ombrix/Ombrix.conf"));
            QVERIFY(writeFile(conf.fileName(), ("[Ports]\n" + entry + "\n").toUtf8()));
            // Each edit a second after the last, as one made by hand would be.
            QVERIFY(conf.open(QIODevice::ReadWrite) &&
                    conf.setFileTime(edited = edited.addSecs(1), QFileDevice::FileModificationTime));
            QCOMPARE(PortMap::devicePath(12), device);
            QCOMPARE(PortMap::resolvedDevicePath(12), resolved);
        }
    }

    void bytesArriveUnchanged_data()
    {
        QTest::addColumn<QString>("settings");
        QTest::addColumn<int>("handshaking");
        QTest::addColumn<QByteArray>("bytes");
        // With XON/XOFF the line discipline takes 0x11 and 0x13.
        const QByteArray noXonXoff = allByteValues().replace('\x11', "").replace('\x13', "");
        QTest::newRow("4 MiB burst, every byte value") << "115200,N,8,1" << 0 << randomBytes(4 << 20);
        QTest::newRow("xon/xoff") << "28800,E,8,2" << 1 << noXonXoff;
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
        QVERIFY(pty.write(bytes));
        QTRY_COMPARE_WITH_TIMEOUT(rx.bytes.size(), bytes.size(), 60000);
        QVERIFY(rx.bytes == bytes);

        // A pseudo-terminal refuses parity and short characters on an open port: that must not cost the port.
        component.setSettings(QStringLiteral("19200,E,7,2"));
        component.setHandshaking(2);
        component.setLineSwitch(false);
        QVERIFY(component.portOpen());
        QVERIFY(pty.write("more"));
        QTRY_VERIFY(rx.bytes.endsWith("more"));
        QCOMPARE(rx.otherEvents(), 0);
    }

    void invalidWritesRaise()
    {
        QtSerialComponent c;
        const std::pair<std::function<void()>, const char *> rows[] = {
            {[&] { c.setSettings(QStringLiteral("9600,N,9,1")); }, "Invalid setting"},
            {[&] { c.setCommPort(0); }, "Invalid port number"},
            {[&] { c.setCommPort(256); }, "Invalid port number"},
            {[&] { c.setHandshaking(3); }, "Invalid property value"},
        };
        for (const auto &[write, description] : rows) {
            try {
                write();
                QFAIL(description);
            } catch (const ComponentError &e) {
                QCOMPARE(e.description(), QLatin1String(description));
            }
        }
    }

    void closingDeliversWaitingBytes_data()
    {
        QTest::addColumn<QString>("where");
        QTest::addColumn<bool>("drainAtClose");
        QTest::newRow("held by the component") << "component" << true;
        QTest::newRow("queued in the kernel while throttled") << "throttled" << true;
        QTest::newRow("left waiting by the receiver") << "component" << false;
    }

    void closingDeliversWaitingBytes()
    {
        QFETCH(QString, where);
        QFETCH(bool, drainAtClose);
        Pty pty;
        auto component = openComponent(m_env, 1, pty.slavePath());
        Receiver rx(*component);
        QByteArray expected;
        if (where == QLatin1String("throttled")) {
            QSignalSpy spy(component.get(), &SerialComponent::OnComm);
            QVERIFY(pty.write("first"));
            QVERIFY(spy.wait(30000)); // raised at once; the throttle runs now
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
            // No event loop runs until the close: the bytes stay with the kernel.
            QVERIFY(pty.waitQueuedAtSlave(last.size()));
        }
        const qsizetype before = rx.events.size();
        component->setPortOpen(false);
        QVERIFY(!component->portOpen());
        QCOMPARE(rx.events.mid(before), QList{SerialComponent::CommEvent::Receive});
        QVERIFY(rx.openAtEvent.last()); // raised before the port closed
        // What the receiver leaves is kept for it, also after the close.
        QCOMPARE(component->inBufferCount(), drainAtClose ? 0 : last.size());
        QCOMPARE(rx.bytes + component->input(), expected);
    }

    // Closed from its event handler, then opened on a device mapped anew; destroyed open, it lets go.
    void closeAndReopen()
    {
        Pty a, b;
        auto component = openComponent(m_env, 1, a.slavePath());
        Receiver rx(*component);
        const auto closing =
            connect(component.get(), &SerialComponent::OnComm, this, [&] { component->setPortOpen(false); });
        QVERIFY(a.write("abc"));
        QTRY_VERIFY(!component->portOpen());
        QCOMPARE(rx.events, QList{SerialComponent::CommEvent::Receive});
        QCOMPARE(rx.bytes + component->input(), QByteArray("abc"));
        disconnect(closing);
        m_env.mapPort(1, b.slavePath());
        component->setPortOpen(true);
        QVERIFY(openHere(canonical(b.slavePath())));
        component.reset();
        QVERIFY(!openHere(canonical(b.slavePath())));
    }

    // 16 bytes every millisecond, each a wake-up of its own: between two throttle ticks the receiver
    // hears at most twice (at the tick, and once more if that tick found the device quiet).
    void coalescesWhileDataKeepsComing()
    {
        SharedTimer ticks; // ticks together with the throttle, and before it
        ticks.setInterval(ReadThrottle::intervalMs);
        ticks.start();
        Pty pty;
        auto component = openComponent(m_env, 1, pty.slavePath());
        Receiver rx(*component);
        QList<qsizetype> eventsAtTick;
        connect(&ticks, &SharedTimer::timeout, this, [&] { eventsAtTick.append(rx.events.size()); });
        QByteArray sent;
        QTimer pacer;
        pacer.setTimerType(Qt::PreciseTimer);
        connect(&pacer, &QTimer::timeout, this, [&] {
            sent += QByteArray::number(sent.size() / 16).leftJustified(16, '.');
            QVERIFY(pty.write(sent.right(16)));
            if (sent.size() == 300 * 16)
                pacer.stop();
        });
        pacer.start(1);
        QTRY_VERIFY_WITH_TIMEOUT(!pacer.isActive() && rx.bytes.size() == sent.size(), 30000);
        QCOMPARE(rx.bytes, sent);
        QCOMPARE(rx.otherEvents(), 0);
        eventsAtTick.append(rx.events.size());
        for (qsizetype i = 1; i < eventsAtTick.size(); ++i)
            QVERIFY2(eventsAtTick[i] - eventsAtTick[i - 1] <= 2, qPrintable(QString::number(i)));
    }

    // A paused port is not watched: QSerialPort's own read notifier, which
    // its API does not offer, is switched off until the tick reads.
    void pausedPortIsNotWatched()
    {
        Pty pty;
        QSerialPort port(pty.slavePath());
        QVERIFY(port.open(QIODevice::ReadWrite));
        ReadThrottle throttle(port);
        QVERIFY2(throttle.usesPortNotifier(), "QSerialPort keeps no child read notifier any more: paused "
                                              "ports fall back to capping, one wake-up per tick dearer");
        throttle.arm();
        QVERIFY(throttle.arrivedWhileArmed());
        QSignalSpy woken(&port, &QSerialPort::readyRead);
        QVERIFY(pty.write("held") && pty.waitQueuedAtSlave(4));
        QCoreApplication::processEvents();
        QByteArray bytes;
        QVERIFY(!throttle.readAtTick(bytes));
        QCOMPARE(bytes, QByteArray("held"));
        QCOMPARE(woken.count(), 0);
        throttle.stop();
    }
};

QTEST_GUILESS_MAIN(tst_QtSerialComponent)
#include "tst_QtSerialComponent.moc"
