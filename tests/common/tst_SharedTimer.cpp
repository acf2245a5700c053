#include "common/SharedTimer.h"

#include <QSignalSpy>
#include <QTest>

#include <memory>
#include <vector>

class tst_SharedTimer : public QObject
{
    Q_OBJECT

private slots:
    void manyTimersShareOneClock();
    void handlersMayStopAndDeleteOthers();
    void newIntervalMovesToAnotherClock();
};

void tst_SharedTimer::manyTimersShareOneClock()
{
    std::vector<std::unique_ptr<SharedTimer>> timers;
    std::vector<std::unique_ptr<QSignalSpy>> spies;
    for (int i = 0; i < 300; ++i) {
        timers.push_back(std::make_unique<SharedTimer>());
        timers.back()->setInterval(10);
        spies.push_back(std::make_unique<QSignalSpy>(timers.back().get(), &SharedTimer::timeout));
        timers.back()->start();
    }
    QCOMPARE(SharedTimer::clockCount(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(spies.back()->count() >= 3, 10000);
    // Every member fires at each tick: none is more than one tick behind.
    for (const auto &spy : spies)
        QVERIFY(spy->count() >= spies.back()->count() - 1);

    for (auto &timer : timers)
        timer->stop();
    QCOMPARE(SharedTimer::clockCount(), 0);
    QVERIFY(!timers.front()->isActive());
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
        doomed = nullptr;
        first->stop();
    });
    QSignalSpy thirdSpy(third.get(), &SharedTimer::timeout);
    QTRY_VERIFY_WITH_TIMEOUT(thirdSpy.count() >= 2, 10000);
    QCOMPARE(doomedFired, 0);
    QVERIFY(!first->isActive());
    third->stop();
    QCOMPARE(SharedTimer::clockCount(), 0);
}

void tst_SharedTimer::newIntervalMovesToAnotherClock()
{
    SharedTimer a, b;
    a.setInterval(7);
    b.setInterval(7);
    a.start();
    b.start();
    QCOMPARE(SharedTimer::clockCount(), 1);
    b.setInterval(9);
    QVERIFY(b.isActive());
    QCOMPARE(SharedTimer::clockCount(), 2);
    QSignalSpy spy(&b, &SharedTimer::timeout);
    QVERIFY(spy.wait(10000));
    a.stop();
    b.stop();
    QCOMPARE(SharedTimer::clockCount(), 0);
}

QTEST_GUILESS_MAIN(tst_SharedTimer)
#include "tst_SharedTimer.moc"
