#include "tests/support/SerialFixture.h"

#include <QTimer>

// Coalesced receive events: fewer events than arrivals, every byte in order.
class tst_ReadThrottle : public QObject
{
    Q_OBJECT
    TestEnv m_env;

private slots:
    // A device sending 16 bytes every millisecond, each a wake-up of its own:
    // between two throttle ticks the receiver hears at most twice (once at
    // the tick, once more if that tick found the device quiet).
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

    // A receiver that cannot write (its log file will not open) leaves the
    // bytes; it hears of them again with the next arrival, not at every tick.
    void bytesLeftWaitingWaitForTheNextArrival()
    {
        Pty pty;
        auto component = openComponent(m_env, 1, pty.slavePath());
        Receiver rx(*component);
        rx.drain = false;
        QVERIFY(pty.write("kept"));
        QTRY_COMPARE(rx.events.size(), 1);
        QVERIFY(throttleTicksPass(5));
        QCOMPARE(rx.events.size(), 1);
        QVERIFY(pty.write("more"));
        QTRY_COMPARE(rx.events.size(), 2);
        QCOMPARE(component->input(), QByteArray("keptmore"));
    }
};

QTEST_GUILESS_MAIN(tst_ReadThrottle)
#include "tst_ReadThrottle.moc"
