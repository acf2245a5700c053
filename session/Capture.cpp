#include "session/Capture.h"

#include "components/SerialComponent.h"

Capture::Outcome Capture::receive(SerialComponent &comm, const QString &logPath)
{
    if (!m_writer.open(logPath.trimmed())) {
        m_error = m_writer.error();
        return Outcome::FileError;
    }

    // What an earlier event could not write goes first, to keep the order.
    bool ok = m_held.isEmpty() || writeAll(std::exchange(m_held, {}));
    while (ok && comm.inBufferCount() > 0) {
        const QByteArray bytes = comm.input();
        m_taken += bytes.size();
        ok = writeAll(bytes);
    }
    if (!ok) {
        // Reopened at the next event: a full disk or a file that went bad
        // may be writable again by then.
        m_error = m_writer.error();
        m_writer.close();
    }
    return ok ? Outcome::Written : Outcome::FileError;
}

bool Capture::writeAll(const QByteArray &bytes)
{
    const qsizetype written = m_writer.write(bytes);
    if (written == bytes.size())
        return true;
    m_held = bytes.mid(written);
    return false;
}
