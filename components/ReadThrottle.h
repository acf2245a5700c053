#pragma once

#include "common/SharedTimer.h"

#include <QElapsedTimer>
#include <QObject>

#include <functional>

class QAbstractSocket;
class QIODevice;
class QSerialPort;
class QSocketNotifier;

// Keeps a busy port from waking the program once per burst. The first
// arrival after a quiet spell is reported at once, arms the throttle and
// pauses the port; while it is armed, arrivals are gathered and handed over
// at its ticks, at most one per interval, until a few intervals pass without
// bytes. Ticks are shared by every port (SharedTimer), so that hundreds of
// busy ports are served in one wake-up. A device that fills an interval with
// plenty is not paused: each wake-up reads it until the kernel holds nothing
// (readFreely), and it is written out in pieces of writeBytes.
//
// The device is a serial port or a network socket; the throttle reads its
// descriptor itself at the ticks. Gathering without wake-ups means the
// device must stop watching its descriptor between ticks, and neither class
// has a call for that. Two ways were measured:
// - QSerialPort (Qt 6.4, Linux) watches its descriptor with a read notifier
//   of its own, a direct child QSocketNotifier; switched off, the port wakes
//   the program no more until it is switched on ("paused"). QSerialPort
//   switches it on again whenever its buffer is read, so every read of the
//   port while paused is followed by switching it off once more
//   (keepPaused). This reaches past the public API: usesPortNotifier() says
//   whether it still works, and a test fails loudly when a Qt update takes
//   it away. The program then falls back to capping, correct and one
//   wake-up per tick dearer.
// - Capping the read buffer at what it holds ("capped"), public for both:
//   the device's next wake-up reads at most the cap and finds its buffer
//   full, so it stops watching until the cap is lifted. Two or three
//   wake-ups per interval on a serial port: with 255 paced ports it cost
//   38.8 % of a core against 28.1 % with the notifier switched off
//   (bench/RESULTS.md). A socket is always paused this way; 32 paced
//   network ports cost about 4 % of a core.
class ReadThrottle : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(ReadThrottle)

public:
    // Longest time between the arrival of bytes and the event that reports
    // them while data keeps coming. Each event costs a read and a write of
    // the log: a longer interval saves in proportion and delays the log by
    // as much. At 38 ms, 255 ports sending steadily take about a tenth of a
    // core and their bytes reach the logs within 50 ms.
    static constexpr int intervalMs = 38;
    // What a fast device gathers before it is written out, ahead of the tick.
    static constexpr qint64 writeBytes = 65536;

    explicit ReadThrottle(QSerialPort &port, QObject *parent = nullptr);
    explicit ReadThrottle(QAbstractSocket &socket, QObject *parent = nullptr);

    // Whether pausing switches the open port's own read notifier off
    // (below); false for a socket, or when Qt keeps no such notifier.
    bool usesPortNotifier() const { return portReadNotifier() != nullptr; }

    // A port about to open: nothing paused, capped or busy.
    void reset();
    void arm();
    void stop();
    bool isActive() const { return m_timer.isActive(); }

    // Bytes came (the first arms, the others come while armed): hold them
    // until the tick, unless the device is fast enough to fill an interval
    // anyway. True when the port was paused for that.
    bool arrivedWhileArmed();
    // A wake-up of a port that is not paused: what the port buffered and
    // what the kernel holds, into `into`; true when the device turned out to
    // be gone.
    bool readFreely(QByteArray &into);
    // The port's buffer was read: make it stop watching again if paused.
    void keepPaused();
    // A tick's read into `into`; true when the device turned out to be gone.
    bool readAtTick(QByteArray &into);
    // The close takes what the port buffered and what the kernel still
    // holds, within reason, into `into`; it never waits for more.
    void readAtClose(QByteArray &into);
    // The tick brought `arrived` new bytes. True: report them and stay
    // armed; false: nothing to report (after a few quiet intervals the
    // throttle stops and the port watches again).
    bool intervalEnded(qint64 arrived);

    // What to do at each tick of an armed throttle.
    void callOnTick(std::function<void()> handler) { m_onTick = std::move(handler); }

private:
    ReadThrottle(QIODevice &device, QSerialPort *port, QAbstractSocket *socket, QObject *parent);
    void setReadBufferSize(qint64 size);
    QSocketNotifier *portReadNotifier() const;
    void setPortWatching(bool on);
    void pause();
    void resume();
    bool readPaused(QByteArray &into);
    enum class Until { ShortRead, Empty };
    bool readDescriptor(QByteArray &into, qint64 limit, Until until);

    // The device under the throttle, and what differs between the two kinds.
    QIODevice &m_device;
    QSerialPort *const m_port = nullptr;       // a serial port...
    QAbstractSocket *const m_socket = nullptr; // ...or a socket
    std::function<void()> m_onTick;
    SharedTimer m_timer;
    QElapsedTimer m_armed;       // when this port's interval began
    bool m_paused = false;       // the port is not watched for data until the next tick
    bool m_capped = false;       // paused by capping the port's read buffer
    bool m_busyInterval = false; // the last interval brought plenty
    int m_quietIntervals = 0;    // intervals without bytes since the last that brought some
};
