#pragma once

#include <QObject>

#include <functional>

// A timer with the interface of a QTimer that shares one real timer with
// every other active SharedTimer of the same interval. Hundreds of session
// windows each run a 50 ms indicator timer: sharing turns thousands of timer
// events and event-loop wake-ups a second into twenty. All SharedTimers of
// one interval fire together, in the order they were started; a timer
// started between two ticks first fires at the next shared tick, so its
// first interval may be shorter than the others. Main thread only.
class SharedTimer : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(SharedTimer)

public:
    explicit SharedTimer(QObject *parent = nullptr);
    ~SharedTimer() override;

    void setInterval(int ms); // takes effect at the next start(); restarts an active timer
    int interval() const { return m_interval; }
    bool isActive() const { return m_active; }
    void start();
    void stop();

    // Runs `handler` at each timeout in place of emitting timeout(): a
    // direct call, where hundreds of timers ticking together notice what an
    // emission costs. A timeout() emitted by hand reaches it too. Once only.
    void callOnTimeout(std::function<void()> handler);

    // How many real timers are running for all SharedTimers.
    static int clockCount();

signals:
    void timeout();

private:
    friend class SharedClock;
    std::function<void()> m_handler;
    int m_interval = 0;
    bool m_active = false;
};
