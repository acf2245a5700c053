#include "components/ComponentError.h"
#include "components/PortMap.h"
#include "tests/support/Files.h"
#include "tests/support/SerialFixture.h"

#include <QDir>

#include <functional>

// The component as a session drives it: opening, delivery, closing.
class tst_QtSerialComponent : public QObject
{
    Q_OBJECT
    TestEnv m_env; // first: the settings store lives in a temporary home

private slots:
    void portMap_data()
    {
        QTest::addColumn<QString>("stored"); // null: not in the map
        QTest::addColumn<QString>("device");
        QTest::addColumn<QString>("resolved");
        const QString target = m_env.filePath(QStringLiteral("device"));
        const QString link = m_env.filePath("link"), link2 = m_env.filePath("link2");
        QVERIFY(writeFile(target, {}) && QFile::link(target, link) && QFile::link(link, link2));
        const auto row = [](const char *name, const QString &stored, const QString &device,
                            const QString &resolved) { QTest::newRow(name) << stored << device << resolved; };
        row("unmapped", QString(), "/dev/ttyS11", "/dev/ttyS11");
        row("empty value", "", "/dev/ttyS11", "/dev/ttyS11");
        row("missing path", "/dev/ttyUSB7", "/dev/ttyUSB7", "/dev/ttyUSB7");
        row("comma in the path", "/dev/serial/by-id/a,b", "/dev/serial/by-id/a,b", "/dev/serial/by-id/a,b");
        row("links followed", link2, link2, canonical(target));
        row("bare name under /dev", "null", "null", "/dev/null");
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
        QVERIFY(writeFile(m_env.filePath(QStringLiteral(".config/Ombrix/Ombrix.conf")),
                          "[Ports]\nCOM13=/dev/serial/by-id/usb-Maker,Inc-if00\n"));
        QCOMPARE(PortMap::devicePath(13), QStringLiteral("/dev/serial/by-id/usb-Maker,Inc-if00"));
    }

    void lifecycle()
    {
        Pty a, b;
        auto component = openComponent(m_env, 5, a.slavePath());
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
        component.reset(); // destroying an open component releases the device
        QVERIFY(openComponent(m_env, 6, b.slavePath())->portOpen());
    }

    void bytesArriveUnchanged_data()
    {
        QTest::addColumn<QString>("settings");
        QTest::addColumn<int>("handshaking");
        QTest::addColumn<QByteArray>("bytes");
        // With XON/XOFF the line discipline takes 0x11 and 0x13.
        const QByteArray noXonXoff = allByteValues().replace('\x11', "").replace('\x13', "");
        QTest::newRow("every byte value") << "9600,N,8,1" << 0 << allByteValues();
        QTest::newRow("4 MiB burst") << "115200,N,8,1" << 0 << randomBytes(4 << 20);
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

    void invalidWritesRaise()
    {
        QtSerialComponent c;
        const std::pair<std::function<void()>, const char *> rows[] = {
            {[&] { c.setSettings(QStringLiteral("9600,N,9,1")); }, "Invalid setting"},
            {[&] { c.setCommPort(0); }, "Invalid port number"},
            {[&] { c.setCommPort(256); }, "Invalid port number"},
            {[&] { c.setHandshaking(3); }, "Invalid property value"},
            {[&] { c.setInputMode(0); }, "Invalid property value"},
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
        QTest::newRow("queued in the kernel") << "kernel" << true;
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
            // No event loop runs from here to the close: the bytes stay with
            // the kernel until the close takes them.
            QVERIFY(pty.waitQueuedAtSlave(last.size()));
        }
        const qsizetype before = rx.events.size();
        component->setPortOpen(false);
        QVERIFY(!component->portOpen());
        QCOMPARE(rx.events.mid(before), QList<int>{SerialComponent::EventReceive});
        QVERIFY(rx.openAtEvent.last()); // raised before the port closed
        // What the receiver leaves is kept for it, also after the close.
        QCOMPARE(component->inBufferCount(), drainAtClose ? 0 : last.size());
        QCOMPARE(rx.bytes + component->input(), expected);
    }

    void closingFromTheHandler()
    {
        Pty pty;
        auto component = openComponent(m_env, 1, pty.slavePath());
        Receiver rx(*component);
        connect(component.get(), &SerialComponent::OnComm, this, [&] { component->setPortOpen(false); });
        QVERIFY(pty.write("abc"));
        QTRY_VERIFY(!component->portOpen());
        QCOMPARE(rx.events, QList<int>{SerialComponent::EventReceive});
        QCOMPARE(rx.bytes + component->input(), QByteArray("abc"));
    }
};

QTEST_GUILESS_MAIN(tst_QtSerialComponent)
#include "tst_QtSerialComponent.moc"
