#include "common/SharedTimer.h"

#include <QSignalSpy>
#include <QTest>

#include <memory>
#include <vector>

class tst_SharedTimer : public QObject
{
    Q_OBJECT

private slots:
    void oneRealTimerPerInterval();
    void handlersMayStopAndDeleteOthers();
};

void tst_SharedTimer::oneRealTimerPerInterval()
{
    std::vector<std::unique_ptr<SharedTimer>> timers;
    std::vector<std::unique_ptr<QSignalSpy>> spies;
    for (int i = 0; i < 100; ++i) {
        timers.push_back(std::make_unique<SharedTimer>());
        timers.back()->setInterval(10);
        spies.push_back(std::make_unique<QSignalSpy>(timers.back().get(), &SharedTimer::timeout));
        timers.back()->start();
    }
    QCOMPARE(SharedTimer::clockCount(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(spies.back()->count() >= 3, 20000);
    // All fire together at each tick.
    for (const auto &spy : spies)
        QCOMPARE(spy->count(), spies.back()->count());

    // A new interval moves a running timer to a clock of its own.
    timers.back()->setInterval(20);
    QVERIFY(timers.back()->isActive());
    QCOMPARE(SharedTimer::clockCount(), 2);
    QVERIFY(spies.back()->wait(20000));
    for (auto &timer : timers)
        timer->stop();
    QCOMPARE(SharedTimer::clockCount(), 0);
}

void tst_SharedTimer::handlersMayStopAndDeleteOthers()
{
    auto first = std::make_unique<SharedTimer>();
    auto *doomed = new SharedTimer;
    auto third = std::make_unique<SharedTimer>();
    for (SharedTimer *t : {first.get(), doomed, third.get()}) {
        t->setInterval(5);
        t->start();
    }
    int doomedFired = 0;
    connect(doomed, &SharedTimer::timeout, this, [&] { ++doomedFired; });
    // At its first tick the first timer deletes the second and stops itself.
    connect(first.get(), &SharedTimer::timeout, this, [&] {
        delete doomed;
        first->stop();
    });
    QSignalSpy thirdSpy(third.get(), &SharedTimer::timeout);
    QTRY_VERIFY_WITH_TIMEOUT(thirdSpy.count() >= 2, 20000);
    QCOMPARE(doomedFired, 0);
    third->stop();
    QCOMPARE(SharedTimer::clockCount(), 0);
}

QTEST_GUILESS_MAIN(tst_SharedTimer)
#include "tst_SharedTimer.moc"
