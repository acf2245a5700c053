#include "components/PortMap.h"
#include "tests/support/SerialFixture.h"

#include <vector>

// A device that goes away, and the wait for it to return.
class tst_DeviceWait : public QObject
{
    Q_OBJECT
    TestEnv m_env;
    static constexpr int retryMs = 50;
    const QString m_link = m_env.filePath(QStringLiteral("by-id-link"));
    const QString m_away = QStringLiteral(": the device is no longer available; waiting for it to return");

private slots:
    // The far end closes while the receiver leaves the bytes waiting.
    void farEndClosing()
    {
        Pty pty;
        const QString device = canonical(pty.slavePath()); // gone with the far end
        auto component = openComponent(m_env, 1, device);
        Receiver rx(*component);
        rx.drain = false; // as when the log can't be opened
        QVERIFY(pty.write("kept"));
        QTRY_COMPARE(component->inBufferCount(), 4);
        const qsizetype heard = rx.events.size();
        QVERIFY(throttleTicksPass(5)); // bytes left waiting are told of again with the next arrival only
        QCOMPARE(rx.events.size(), heard);
        QVERIFY(pty.write("more"));
        QTRY_COMPARE(rx.events.size(), heard + 1);
        QTRY_COMPARE(component->inBufferCount(), 8);
        pty.closeMaster();
        QTRY_COMPARE(rx.otherEvents(), 1);
        QCOMPARE(rx.events.last(), SerialComponent::CommEvent::DeviceLost);
        QVERIFY(component->portOpen()); // waiting for the device to return
        QCOMPARE(component->lostDeviceDescription(), device + m_away);
        QVERIFY(throttleTicksPass(5));
        QCOMPARE(rx.otherEvents(), 1);
        // Closing ends the wait; what the receiver left gets one last event.
        rx.drain = true;
        const qsizetype before = rx.events.size();
        component->setPortOpen(false);
        QVERIFY(!component->portOpen());
        QCOMPARE(rx.events.size() - before, 1);
        QCOMPARE(rx.bytes, QByteArray("keptmore"));
    }

    void reconnects_data()
    {
        QTest::addColumn<bool>("removeLink");
        QTest::addColumn<int>("retryInterval"); // an hour: only a change in a watched directory prompts a try
        QTest::addColumn<bool>("backAtOnce");   // through a new link, before the component saw the loss
        QTest::newRow("link removed, then made anew") << true << retryMs << false;
        QTest::newRow("link left dangling, then pointed anew") << false << retryMs << false;
        QTest::newRow("link removed, prompted by the directory") << true << 3600 * 1000 << false;
        QTest::newRow("back before the loss is seen") << true << retryMs << true;
    }

    void reconnects()
    {
        QFETCH(bool, removeLink);
        QFETCH(int, retryInterval);
        QFETCH(bool, backAtOnce);
        PluggableDevice plug{m_link, {}};
        QVERIFY(plug.plugIn());
        auto component = openComponent(m_env, 3, m_link, retryInterval);
        Receiver rx(*component);
        QVERIFY(plug.pty->write("before "));
        QTRY_COMPARE(rx.bytes, QByteArray("before "));
        const QString device = plug.device();
        plug.pull(removeLink);
        if (backAtOnce)
            QVERIFY(plug.plugIn()); // no event loop runs in between
        QTRY_COMPARE(rx.otherEvents(), 1);
        QCOMPARE(rx.events.last(), SerialComponent::CommEvent::DeviceLost);
        QVERIFY(rx.openAtEvent.last() && component->portOpen());
        if (!backAtOnce) {
            QCOMPARE(component->lostDeviceDescription(), device + m_away);
            QVERIFY(plug.plugIn());
        }
        QTRY_VERIFY_WITH_TIMEOUT(openHere(plug.device()), 30000);
        QVERIFY(plug.pty->write("after"));
        QTRY_COMPARE(rx.bytes, QByteArray("before after"));
        QCOMPARE(rx.otherEvents(), 1);
        plug.pull(true); // a second loss is news again
        QTRY_COMPARE(rx.otherEvents(), 2);
    }

    // A closed pseudo-terminal's number goes to the next one opened, which is someone else's.
    void pseudoTerminalNumberGivenOutAgain()
    {
        Pty first;
        const QString path = canonical(first.slavePath());
        auto component = openComponent(m_env, 4, path, retryMs);
        Receiver rx(*component);
        first.closeMaster();
        QTRY_COMPARE(rx.otherEvents(), 1);
        std::vector<std::unique_ptr<Pty>> others;
        while (others.size() < 64 && !QFileInfo::exists(path))
            others.push_back(std::make_unique<Pty>());
        if (!QFileInfo::exists(path))
            QSKIP("the number was not given out again");
        QSignalSpy tries(component->findChild<DeviceWait *>(), &DeviceWait::retried);
        QTRY_VERIFY(tries.count() >= 3);
        QVERIFY(!openHere(path) && component->portOpen());
        QCOMPARE(rx.otherEvents(), 1);
    }

    // The number's map entry changes while the device is away: the wait opens what it names now.
    void followsMapEntry_data()
    {
        QTest::addColumn<bool>("removedFirst"); // as the simulator ends: the entry goes, then the device
        QTest::newRow("entry pointed at another pseudo-terminal") << false;
        QTest::newRow("entry removed, then a new run of the simulator") << true;
    }

    void followsMapEntry()
    {
        QFETCH(bool, removedFirst);
        auto first = std::make_unique<Pty>();
        auto component = openComponent(m_env, 5, canonical(first->slavePath()), retryMs);
        Receiver rx(*component);
        std::unique_ptr<Pty> second;
        if (removedFirst)
            QVERIFY(PortMap::removeEntry(5));
        else
            second = std::make_unique<Pty>(); // a number of its own
        first.reset();
        QTRY_COMPARE(rx.otherEvents(), 1);
        if (removedFirst)
            second = std::make_unique<Pty>(); // most likely the first's number again
        m_env.mapPort(5, canonical(second->slavePath()));
        QTRY_VERIFY_WITH_TIMEOUT(openHere(canonical(second->slavePath())), 30000);
        QVERIFY(second->write("back"));
        QTRY_COMPARE(rx.bytes, QByteArray("back"));
        QCOMPARE(rx.otherEvents(), 1);
    }

    // Another program holds the device when it returns: the receiver hears why, once, and the wait goes on.
    void reopenBlocked()
    {
        PluggableDevice plug{m_link, {}};
        QVERIFY(plug.plugIn());
        auto component = openComponent(m_env, 3, m_link, retryMs);
        Receiver rx(*component);
        plug.pull(true);
        QTRY_COMPARE(rx.otherEvents(), 1);
        QVERIFY(plug.plugIn());
        Holder program(plug.device());
        QVERIFY(program.holding);
        QTRY_COMPARE_WITH_TIMEOUT(
            component->lostDeviceDescription(),
            QStringLiteral("%1 is in use by openport_helper (process %2); still trying to reopen it")
                .arg(plug.device())
                .arg(program.processId()),
            30000);
        QCOMPARE(rx.otherEvents(), 2);
        QVERIFY(component->portOpen());
        program.release();
        QTRY_VERIFY_WITH_TIMEOUT(openHere(plug.device()), 30000);
        QVERIFY(plug.pty->write("two"));
        QTRY_COMPARE(rx.bytes, QByteArray("two"));
        QCOMPARE(rx.otherEvents(), 2);
    }
};

QTEST_GUILESS_MAIN(tst_DeviceWait)
#include "tst_DeviceWait.moc"
