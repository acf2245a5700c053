#pragma once

#include <QByteArray>
#include <QString>

// A pseudo-terminal pair standing in for a serial device: the slave is the
// "device" a component opens, the master is the far end that sends bytes.
// The master stays open for the object's life, since closing it loses bytes
// still queued in the kernel and signals a hang-up to the reader.
class Pty
{
public:
    Pty();
    ~Pty();
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;

    bool isValid() const { return m_master >= 0; }
    QString slavePath() const { return m_slavePath; }
    int masterFd() const { return m_master; }

    // Writes every byte to the master, waiting while the kernel buffer is full
    // and `drain` is not yet reading. Returns false on an error.
    bool write(const QByteArray &bytes);

    // Closes the far end: the reader sees a hang-up.
    void closeMaster();

    // Waits, without running the event loop, until at least `count` bytes
    // written to the master are queued for the slave's reader (left unread).
    // Opens the slave once more, which a terminal held exclusively allows
    // only to root; returns false then, or when the timeout passes. Call it
    // while the device is open elsewhere: a last close discards queued bytes.
    bool waitQueuedAtSlave(qsizetype count, int timeoutMs = 10000) const;

private:
    int m_master = -1;
    QString m_slavePath;
};
