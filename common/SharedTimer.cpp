#include "common/SharedTimer.h"

#include <QList>
#include <QPointer>
#include <QTimer>

#include <map>
#include <memory>

// One real timer and the SharedTimers it drives.
class SharedClock
{
public:
    explicit SharedClock(int interval)
    {
        m_timer.setInterval(interval);
        m_timer.setTimerType(Qt::CoarseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { tick(); });
    }

    void add(SharedTimer *member)
    {
        m_members.append(member);
        if (!m_timer.isActive())
            m_timer.start();
    }
    // The real timer stops with the last member. The clock itself stays (it
    // may be ticking right now) and serves the next start() of its interval.
    void remove(SharedTimer *member)
    {
        m_members.removeOne(member);
        if (m_members.isEmpty())
            m_timer.stop();
    }
    bool isRunning() const { return m_timer.isActive(); }

private:
    void tick()
    {
        // A member may stop, start or delete members (itself included) from
        // its handler: walk a guarded copy and skip those no longer here.
        QList<QPointer<SharedTimer>> members;
        members.reserve(m_members.size());
        for (SharedTimer *member : std::as_const(m_members))
            members.append(member);
        const int interval = int(m_timer.interval());
        for (const QPointer<SharedTimer> &member : std::as_const(members)) {
            if (member && member->m_active && member->m_interval == interval)
                emit member->timeout();
        }
    }

    QTimer m_timer;
    QList<SharedTimer *> m_members;
};

namespace {

std::map<int, std::unique_ptr<SharedClock>> &clocks()
{
    static std::map<int, std::unique_ptr<SharedClock>> all;
    return all;
}

} // namespace

SharedTimer::SharedTimer(QObject *parent)
    : QObject(parent)
{}

SharedTimer::~SharedTimer()
{
    stop();
}

void SharedTimer::setInterval(int ms)
{
    if (ms == m_interval)
        return;
    const bool wasActive = m_active;
    stop();
    m_interval = ms;
    if (wasActive)
        start();
}

void SharedTimer::start()
{
    if (m_active)
        return;
    m_active = true;
    std::unique_ptr<SharedClock> &clock = clocks()[m_interval];
    if (!clock)
        clock = std::make_unique<SharedClock>(m_interval);
    clock->add(this);
}

void SharedTimer::stop()
{
    if (!m_active)
        return;
    m_active = false;
    const auto found = clocks().find(m_interval);
    if (found != clocks().end())
        found->second->remove(this);
}

int SharedTimer::clockCount()
{
    int running = 0;
    for (const auto &[interval, clock] : clocks())
        running += clock->isRunning() ? 1 : 0;
    return running;
}
