#pragma once

#include <QByteArray>
#include <QString>

// Appends bytes to a log file. The file is opened for each batch and closed
// again, so that between batches other programs may read, copy or truncate
// it; while it is open, others may read it but not write it (a write lock
// that cooperating programs honour).
class LogWriter
{
public:
    LogWriter() = default;
    ~LogWriter();
    LogWriter(const LogWriter &) = delete;
    LogWriter &operator=(const LogWriter &) = delete;

    // Opens `path` for appending, creating it when missing. Fails for an
    // empty path, a directory, no access, or a file another program holds
    // the write lock on. On failure error() says why.
    bool open(const QString &path);

    // Writes all of `bytes` at the end of the file, retrying short writes.
    // Returns the number written: less than bytes.size() means a write failed
    // (error() says why) and the rest was not written.
    qsizetype write(const QByteArray &bytes);

    void close();
    bool isOpen() const { return m_fd >= 0; }
    QString error() const { return m_error; }

private:
    int m_fd = -1;
    QString m_error;
};
