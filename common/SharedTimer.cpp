#include "common/SharedTimer.h"

#include <QList>
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
        ++m_live;
        if (!m_timer.isActive())
            m_timer.start();
    }
    // The real timer stops with the last member. The clock itself stays (it
    // may be ticking right now) and serves the next start() of its interval.
    void remove(SharedTimer *member)
    {
        const qsizetype at = m_members.indexOf(member);
        if (at < 0)
            return;
        // A tick under way walks the list by position: leave a gap it skips.
        if (m_ticking > 0)
            m_members[at] = nullptr;
        else
            m_members.removeAt(at);
        if (--m_live == 0)
            m_timer.stop();
    }
    bool isRunning() const { return m_timer.isActive(); }

private:
    void tick()
    {
        // A member may stop, start or delete members (itself included) from
        // its handler, or run a nested event loop in which the clock ticks
        // again: those removed leave gaps, those added wait for the next
        // tick, and the gaps go when the outermost tick ends. Walking by
        // position costs nothing per member, which hundreds of sessions
        // ticking twenty times a second while idle notice.
        ++m_ticking;
        const qsizetype count = m_members.size();
        const int interval = int(m_timer.interval());
        for (qsizetype i = 0; i < count && i < m_members.size(); ++i) {
            SharedTimer *const member = m_members.at(i);
            if (!member || !member->m_active || member->m_interval != interval)
                continue;
            if (member->m_handler) {
                // A copy: the handler may delete its timer.
                const std::function<void()> handler = member->m_handler;
                handler();
            } else {
                emit member->timeout();
            }
        }
        if (--m_ticking == 0)
            m_members.removeAll(nullptr);
    }

    QTimer m_timer;
    QList<SharedTimer *> m_members; // in start order; null: removed during a tick
    qsizetype m_live = 0;
    int m_ticking = 0; // depth of ticks under way
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

void SharedTimer::callOnTimeout(std::function<void()> handler)
{
    m_handler = std::move(handler);
    connect(this, &SharedTimer::timeout, this, [this] { m_handler(); });
}

int SharedTimer::clockCount()
{
    int running = 0;
    for (const auto &[interval, clock] : clocks())
        running += clock->isRunning() ? 1 : 0;
    return running;
}
