#include "tests/support/Files.h"
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
    // The far end closes with bytes still waiting in the port.
    void farEndClosing()
    {
        Pty pty;
        const QString device = canonical(pty.slavePath()); // gone with the far end
        auto component = openComponent(m_env, 1, device);
        Receiver rx(*component);
        rx.drain = false;
        const QByteArray sent = "last words before the hang-up";
        QVERIFY(pty.write(sent));
        QTRY_COMPARE(component->inBufferCount(), sent.size());
        pty.closeMaster();
        QTRY_COMPARE(rx.otherEvents(), 1);
        QCOMPARE(rx.events.last(), SerialComponent::EventDeviceLost);
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
        QCOMPARE(rx.bytes, sent);
    }

    void reconnects_data()
    {
        QTest::addColumn<bool>("removeLink");
        QTest::addColumn<int>("retryInterval"); // an hour: only a change in a watched directory prompts a try
        QTest::addColumn<bool>("backAtOnce");   // through a new link, before the component saw the loss
        QTest::newRow("link removed, then made anew") << true << retryMs << false;
        QTest::newRow("link left dangling, then pointed anew") << false << retryMs << false;
        QTest::newRow("link removed, prompted by the directory") << true << 3600 * 1000 << false;
        QTest::newRow("link left dangling, prompted by the directory") << false << 3600 * 1000 << false;
        QTest::newRow("back before the loss is seen") << true << retryMs << true;
    }

    void reconnects()
    {
        QFETCH(bool, removeLink);
        QFETCH(int, retryInterval);
        QFETCH(bool, backAtOnce);
        PluggableDevice plug(m_link);
        auto component = openComponent(m_env, 3, m_link, retryInterval);
        Receiver rx(*component);
        QVERIFY(plug.pty().write("before "));
        QTRY_COMPARE(rx.bytes, QByteArray("before "));
        const QString device = plug.device();
        plug.pull(removeLink);
        if (backAtOnce)
            QVERIFY(plug.plugIn()); // no event loop runs in between
        QTRY_COMPARE(rx.otherEvents(), 1);
        QCOMPARE(rx.events.last(), SerialComponent::EventDeviceLost);
        QVERIFY(rx.openAtEvent.last() && component->portOpen());
        if (!backAtOnce) {
            QCOMPARE(component->lostDeviceDescription(), device + m_away);
            QVERIFY(plug.plugIn());
        }
        QTRY_VERIFY_WITH_TIMEOUT(openHere(plug.device()), 30000);
        QVERIFY(plug.pty().write("after"));
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

    // Something other than absence blocks the reopen: the receiver hears why, once.
    void reopenBlocked()
    {
        for (const bool byProgram : {true, false}) { // else a regular file in its place
            PluggableDevice plug(m_link);
            auto component = openComponent(m_env, 3, m_link, retryMs);
            Receiver rx(*component);
            plug.pull(true);
            QTRY_COMPARE(rx.otherEvents(), 1);
            std::unique_ptr<Holder> program;
            QString expected;
            if (byProgram) {
                QVERIFY(plug.plugIn());
                program = std::make_unique<Holder>(plug.device());
                QVERIFY(program->holding);
                expected =
                    QStringLiteral("%1 is in use by openport_helper (process %2); still trying to reopen it")
                        .arg(plug.device())
                        .arg(program->processId());
            } else {
                QVERIFY(writeFile(m_link, "not a device"));
                expected =
                    canonical(m_link) + QStringLiteral(": not a serial device; still trying to reopen it");
            }
            QTRY_COMPARE_WITH_TIMEOUT(component->lostDeviceDescription(), expected, 30000);
            QCOMPARE(rx.otherEvents(), 2);
            QVERIFY(component->portOpen());
            if (program)
                program->release();
            else
                QVERIFY(plug.plugIn());
            QTRY_VERIFY_WITH_TIMEOUT(openHere(plug.device()), 30000);
            QVERIFY(plug.pty().write("two"));
            QTRY_COMPARE(rx.bytes, QByteArray("two"));
            QCOMPARE(rx.otherEvents(), 2);
        }
    }
};

QTEST_GUILESS_MAIN(tst_DeviceWait)
#include "tst_DeviceWait.moc"
