#pragma once

#include <QByteArray>
#include <QString>

#include <sys/types.h>

#include <vector>

// Appends bytes to a log file. The file stays open while bytes keep coming
// and its owner closes it when they stop, so that between bursts other
// programs may open, copy or lock it. While it is open, others may read it
// but not write it (a write lock that cooperating programs honour). Before
// each batch open() checks that the path still names the open file: a log
// rotated away, deleted or replaced, or one of whose directories was
// renamed, is left alone and the path opened anew.
class LogWriter
{
public:
    LogWriter() = default;
    ~LogWriter();
    LogWriter(const LogWriter &) = delete;
    LogWriter &operator=(const LogWriter &) = delete;

    // Makes `path` the open file for appending, creating it when missing;
    // keeps the file already open when `path` still names it. Fails for an
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
    bool namesOpenFile(const QString &path);
    bool openAnew(const QString &path, int retries);
    bool pathNamesFile() const;
    void watch();
    void unwatch();
    quint64 changeCount() const;

    int m_fd = -1;
    std::vector<int> m_watches; // kernel notes on the file and its directories
    quint64 m_totalSeen = 0;    // of all watches' changes
    quint64 m_changesSeen = 0;
    QString m_path;    // as open() was given it
    QByteArray m_name; // the same, encoded for the file system
    dev_t m_device = 0;
    ino_t m_inode = 0;
    QString m_error;
};
