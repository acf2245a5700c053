#include "components/ReadThrottle.h"

#include "components/DeviceWait.h"

#include <QAbstractSocket>
#include <QSerialPort>
#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <unistd.h>
#endif

namespace {

// One read of the descriptor asks for this much.
constexpr qint64 readChunk = 65536;
// A tick, a wake-up or a close reads this much at most before the program
// sees to its other work, so that a device faster than the disk cannot keep
// it there (nor keep a close from finishing).
constexpr qint64 readLimit = 4 * ReadThrottle::writeBytes;
// A device that brings this much a second is busy. Pausing saves wake-ups
// where each brings a few bytes; a busy device brings plenty with each, and
// pausing it would only hold it back, so the interval after a busy one reads
// freely.
constexpr qint64 busyBytesPerSecond = 102400;
// What a wake-up that finds this much in the port's buffer says about the
// device: more than a slow one brings in an interval.
constexpr qint64 busyIntervalBytes = busyBytesPerSecond * ReadThrottle::intervalMs / 1000;
// A terminal's read returns at most its line buffer: a read that filled it
// may have left more behind (the next read moves it up), a shorter one
// emptied the kernel.
constexpr qint64 lineBuffer = 4096;
// Quiet intervals before the port is watched again.
constexpr int quietIntervalsToWatch = 3;

} // namespace

ReadThrottle::ReadThrottle(QSerialPort &port, QObject *parent)
    : ReadThrottle(port, &port, nullptr, parent)
{
}

ReadThrottle::ReadThrottle(QAbstractSocket &socket, QObject *parent)
    : ReadThrottle(socket, nullptr, &socket, parent)
{
}

ReadThrottle::ReadThrottle(QIODevice &device, QSerialPort *port, QAbstractSocket *socket, QObject *parent)
    : QObject(parent)
    , m_device(device)
    , m_port(port)
    , m_socket(socket)
{
    m_timer.setInterval(intervalMs);
    m_timer.callOnTimeout([this] {
        // Ticks are shared by every port: one armed less than half an
        // interval ago waits for the next, so events stay at least that far
        // apart.
        if (m_armed.isValid() && m_armed.elapsed() < intervalMs / 2)
            return;
        if (m_onTick) {
            const std::function<void()> onTick = m_onTick; // may delete this
            onTick();
        }
    });
}

void ReadThrottle::setReadBufferSize(qint64 size)
{
    if (m_port)
        m_port->setReadBufferSize(size);
    else
        m_socket->setReadBufferSize(size);
}

void ReadThrottle::reset()
{
    setReadBufferSize(0);
    m_paused = false;
    m_capped = false;
    m_busyInterval = false;
    m_quietIntervals = 0;
}

void ReadThrottle::arm()
{
    m_armed.start();
    m_timer.start();
}

void ReadThrottle::stop()
{
    m_timer.stop();
}

bool ReadThrottle::arrivedWhileArmed()
{
    if (!m_busyInterval && m_device.bytesAvailable() < busyIntervalBytes)
        pause();
    return m_paused;
}

bool ReadThrottle::readFreely(QByteArray &into)
{
    if (m_device.bytesAvailable() > 0)
        into.append(m_device.readAll());
    // A fast device is read on until the kernel holds nothing. A terminal
    // hands over one line buffer per read; going back to the event loop
    // between them costs a poll and a wake-up each, which held a fast device
    // to three quarters of what a plain blocking reader takes.
    return readDescriptor(into, readLimit, Until::Empty);
}

void ReadThrottle::keepPaused()
{
    if (m_paused)
        setPortWatching(false);
}

bool ReadThrottle::readAtTick(QByteArray &into)
{
    if (m_paused && !m_capped)
        return readPaused(into);
    resume();
    return readFreely(into);
}

void ReadThrottle::readAtClose(QByteArray &into)
{
    resume();
    readFreely(into); // a device gone now is closed anyway
}

bool ReadThrottle::intervalEnded(qint64 arrived)
{
    // Busy is a rate: on a loaded machine the ticks come late, and an
    // interval stretched to ten times its length brings ten times the bytes
    // without the device being any faster. Taking a slow device for a busy
    // one would read it at every arrival, loading the machine further.
    const qint64 length = qMax<qint64>(m_armed.elapsed(), intervalMs);
    m_busyInterval = arrived * 1000 >= busyBytesPerSecond * length;
    if (arrived > 0) {
        // Still coming: stay armed. A busy device reads freely until the
        // next tick; a slow one stays paused.
        m_quietIntervals = 0;
        arm();
        if (m_busyInterval)
            resume();
        return true;
    }
    // A device that paused for a moment mostly goes on: it is read at the
    // ticks for a few intervals more, which costs one read each, rather than
    // woken for at its next bytes and paused again.
    if (++m_quietIntervals < quietIntervalsToWatch) {
        arm();
        return false;
    }
    // Quiet: watch the device again; the next arrival is reported at once.
    m_quietIntervals = 0;
    m_timer.stop();
    resume();
    return false;
}

QSocketNotifier *ReadThrottle::portReadNotifier() const
{
    if (!m_port || !m_port->isOpen())
        return nullptr;
    const auto notifiers = m_port->findChildren<QSocketNotifier *>(Qt::FindDirectChildrenOnly);
    for (QSocketNotifier *notifier : notifiers) {
        if (notifier->type() == QSocketNotifier::Read)
            return notifier;
    }
    return nullptr;
}

void ReadThrottle::setPortWatching(bool on)
{
    if (QSocketNotifier *notifier = portReadNotifier())
        notifier->setEnabled(on);
}

void ReadThrottle::pause()
{
    // The kernel holds KiBs, far more than one interval's worth at serial
    // speeds, and a faster device is not paused at all (busyIntervalBytes).
#ifdef Q_OS_UNIX
    if (portReadNotifier()) {
        setPortWatching(false);
        m_paused = true;
        return;
    }
#endif
    setReadBufferSize(qMax<qint64>(m_device.bytesAvailable(), 1));
    m_paused = true;
    m_capped = true;
}

void ReadThrottle::resume()
{
    if (!m_paused)
        return;
    if (m_capped)
        setReadBufferSize(0);
    else
        setPortWatching(true);
    m_paused = false;
    m_capped = false;
}

bool ReadThrottle::readPaused(QByteArray &into)
{
    // What the port buffered came first.
    if (m_device.bytesAvailable() > 0) {
        into.append(m_device.readAll());
        setPortWatching(false);
    }
    return readDescriptor(into, readLimit, Until::ShortRead);
}

bool ReadThrottle::readDescriptor(QByteArray &into, qint64 limit, Until until)
{
#ifdef Q_OS_UNIX
    char chunk[readChunk];
    const int fd = int(m_port ? m_port->handle() : m_socket->socketDescriptor());
    for (qint64 taken = 0; taken < limit;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n > 0) {
            into.append(chunk, qsizetype(n));
            taken += n;
            if (until == Until::ShortRead && n < lineBuffer)
                break;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        // A terminal read without data gives 0 (no minimum count is set) or
        // EAGAIN; so does one that was hung up, which poll tells apart. On
        // a socket 0 is the end of the stream. A failing read means the
        // device is gone, as when the port's own read fails.
        if (n == 0)
            return !m_port || portHungUp(*m_port);
        return errno != EAGAIN && errno != EWOULDBLOCK;
    }
#else
    Q_UNUSED(into)
    Q_UNUSED(limit)
    Q_UNUSED(until)
#endif
    return false;
}
