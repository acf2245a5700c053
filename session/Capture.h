#pragma once

#include "session/LogWriter.h"

#include <QByteArray>
#include <QString>

class SerialComponent;

// The byte path of one session, free of widgets: on each receive event it
// appends every byte the serial component holds to the log file, which stays
// open until close() or a failed write. Bytes taken
// from the component but not written (a write that failed) are kept, in
// order, and written first at the next event whose file opens; bytes the
// component still holds when the file cannot be opened stay there.
class Capture
{
public:
    enum class Outcome {
        Written,   // every waiting byte is in the file
        FileError, // the file could not be opened or written; nothing is lost
    };

    // A receive event: drains `comm` into the file at `logPath` (trimmed
    // of blanks).
    Outcome receive(SerialComponent &comm, const QString &logPath);

    // Closes the log file; the next receive event opens it again.
    void close() { m_writer.close(); }
    bool isFileOpen() const { return m_writer.isOpen(); }

    // Bytes taken from the component that wait for a writable file.
    qsizetype heldBytes() const { return m_held.size(); }
    // Every byte taken from the component so far; all but heldBytes() are
    // in the log.
    qint64 takenBytes() const { return m_taken; }
    // Why the last FileError happened.
    QString error() const { return m_error; }

private:
    bool writeAll(const QByteArray &bytes);

    LogWriter m_writer;
    QByteArray m_held;
    qint64 m_taken = 0;
    QString m_error;
};
