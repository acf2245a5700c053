// ombrix-simport: simulates a serial device for trying Ombrix without
// hardware, and for tests and benchmarks. It creates a pseudo-terminal,
// points COM<n> of Ombrix's port map at it, and sends bytes from a file,
// standard input or a generated pattern, at a chosen rate. When the sending
// ends it reports how many bytes it sent and their SHA-256, to compare with
// the log. Stopped (Ctrl+C), it gives its reader a few seconds to read what
// is still on the way, and says what the reader took if it left some unread.

#include "common/UserStore.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QSettings>
#include <QTextStream>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t stopRequested = 0;

// The first stop request ends the sending, a second one the wait for the reader.
void requestStop(int)
{
    stopRequested = stopRequested + 1;
}

// Where the bytes come from.
class Source
{
public:
    virtual ~Source() = default;
    // Up to `max` next bytes; empty at the end.
    virtual QByteArray next(qsizetype max) = 0;
};

class FileSource : public Source
{
public:
    explicit FileSource(QFile *file)
        : m_file(file)
    {}
    QByteArray next(qsizetype max) override { return m_file->read(max); }

private:
    QFile *m_file;
};

// A generated pattern of a given length (-1: endless).
class PatternSource : public Source
{
public:
    PatternSource(const QString &kind, qint64 length, quint32 seed)
        : m_kind(kind)
        , m_left(length)
        , m_random(seed)
    {}
    QByteArray next(qsizetype max) override
    {
        const qsizetype n = m_left < 0 ? max : qsizetype(qMin<qint64>(max, m_left));
        QByteArray bytes(n, Qt::Uninitialized);
        for (qsizetype i = 0; i < n; ++i, ++m_position) {
            if (m_kind == QLatin1String("random"))
                bytes[i] = char(m_random.generate() & 0xFF);
            else if (m_kind == QLatin1String("text"))
                bytes[i] = text().at(m_position % text().size());
            else // count: every byte value in turn
                bytes[i] = char(m_position & 0xFF);
        }
        if (m_left > 0)
            m_left -= n;
        return bytes;
    }

private:
    static const QByteArray &text()
    {
        static const QByteArray line = "The quick brown fox jumps over the lazy dog 0123456789\r\n";
        return line;
    }
    QString m_kind;
    qint64 m_left;
    qint64 m_position = 0;
    QRandomGenerator m_random;
};

// Writes `bytes` to the master, waiting while the reader is behind; stops
// early on a stop request. How many bytes went out, or -1 on an error.
qsizetype writeAll(int fd, const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size() && !stopRequested) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return -1;
        } else {
            pollfd p{fd, POLLOUT, 0};
            ::poll(&p, 1, 100); // the reader is behind: wait for room
        }
    }
    return done;
}

int waitingAtReader(int slaveFd)
{
    int waiting = 0;
    return ::ioctl(slaveFd, FIONREAD, &waiting) == 0 ? waiting : 0;
}

// The bytes sent, with their SHA-256. The last ones are also kept as they
// are, so that the hash can end where the reader stopped reading: the kernel
// holds some 20 KiB for a pseudo-terminal's reader, far less than is kept.
class SentBytes
{
public:
    void add(const QByteArray &bytes)
    {
        m_all.addData(bytes);
        m_tail += bytes;
        m_count += bytes.size();
        if (m_tail.size() >= 2 * keptBytes) {
            m_early.addData(QByteArrayView(m_tail).first(m_tail.size() - keptBytes));
            m_tail.remove(0, m_tail.size() - keptBytes);
        }
    }
    qint64 count() const { return m_count; }
    QByteArray hash() const { return m_all.result().toHex(); }
    // The hash of the first `count` bytes; empty when they are no longer known.
    QByteArray hashOfFirst(qint64 count)
    {
        const qint64 hashed = m_count - m_tail.size();
        if (count < hashed)
            return {};
        m_early.addData(QByteArrayView(m_tail).first(count - hashed));
        m_tail.clear();
        return m_early.result().toHex();
    }

private:
    static constexpr qsizetype keptBytes = 1 << 20;
    QCryptographicHash m_all{QCryptographicHash::Sha256};
    QCryptographicHash m_early{QCryptographicHash::Sha256}; // all but m_tail
    QByteArray m_tail;
    qint64 m_count = 0;
};

// How long a stop request waits for the reader to read what was sent.
constexpr int readerWaitMs = 3000;

enum class Ending { AllRead, TimeUp, StoppedAgain };

// Closing the master throws away what the reader has not read: stay until it
// has read everything, and until stopped unless `exitWhenRead`. Once stopped,
// wait at most readerWaitMs; a second stop request ends at once. Bytes just
// written take a moment to reach the reader's queue, so the queue must be
// seen empty a few times in a row.
Ending waitForReader(int slave, bool exitWhenRead)
{
    QElapsedTimer sinceStop;
    for (int emptyChecks = 0;;) {
        emptyChecks = waitingAtReader(slave) == 0 ? emptyChecks + 1 : 0;
        if (emptyChecks >= 3 && (exitWhenRead || stopRequested))
            return Ending::AllRead;
        if (stopRequested > 1)
            return Ending::StoppedAgain;
        if (stopRequested && !sinceStop.isValid())
            sinceStop.start();
        if (sinceStop.isValid() && sinceStop.hasExpired(readerWaitMs))
            return Ending::TimeUp;
        ::poll(nullptr, 0, 50);
    }
}

// Reads, and so counts, what the reader left in the pseudo-terminal: the
// count the reader's line discipline shows stops at 4 KiB, while the kernel
// holds more behind it.
qint64 takeUnread(int slave)
{
    ::fcntl(slave, F_SETFL, ::fcntl(slave, F_GETFL) | O_NONBLOCK);
    qint64 unread = 0;
    char buffer[65536];
    for (int emptyReads = 0; emptyReads < 3;) {
        const ssize_t n = ::read(slave, buffer, sizeof buffer);
        emptyReads = n > 0 ? 0 : emptyReads + 1;
        unread += qMax<ssize_t>(n, 0);
        if (n <= 0)
            ::poll(nullptr, 0, 20);
    }
    return unread;
}

// One line when the reader did not read everything: what it did read, to
// compare with its log, and why the rest was not waited for.
void reportUnread(QTextStream &out, SentBytes &sent, qint64 unread, Ending ending)
{
    if (unread <= 0)
        return;
    const qint64 read = sent.count() - unread;
    const QByteArray hash = sent.hashOfFirst(read);
    out << "read " << read << " bytes, "
        << (hash.isEmpty() ? QByteArray("too many to hash") : "sha256 " + hash) << "; the last " << unread
        << " bytes sent were not read: "
        << (ending == Ending::TimeUp ? QStringLiteral("nobody read them within %1 s").arg(readerWaitMs / 1000)
                                     : QStringLiteral("stopped again before they were read"))
        << Qt::endl;
}

struct Options
{
    int port = 0;
    double rate = 0; // bytes per second; 0: as fast as read
    qsizetype burst = 16;
    bool exitWhenRead = false;
};

// The bytes to send: a file, standard input or a pattern. An exit status
// when they cannot be had, else -1.
int openSource(bool fromFile, const QString &file, bool fromStdin, const QString &kind, qint64 length,
               quint32 seed, QFile &input, std::unique_ptr<Source> &source)
{
    QTextStream err(stderr);
    if (fromFile) {
        input.setFileName(file);
        if (!input.open(QIODevice::ReadOnly)) {
            err << "ombrix-simport: cannot read " << input.fileName() << ": " << input.errorString() << '\n';
            return 1;
        }
        source = std::make_unique<FileSource>(&input);
    } else if (fromStdin) {
        if (!input.open(stdin, QIODevice::ReadOnly)) {
            err << "ombrix-simport: cannot read standard input\n";
            return 1;
        }
        source = std::make_unique<FileSource>(&input);
    } else {
        if (kind != QLatin1String("count") && kind != QLatin1String("random") &&
            kind != QLatin1String("text")) {
            err << "ombrix-simport: --pattern is count, random or text\n";
            return 2;
        }
        source = std::make_unique<PatternSource>(kind, length, seed);
    }
    return -1;
}

// The options and the source of the bytes; an exit status when they are
// wrong, else -1.
int parseArguments(const QCoreApplication &app, Options &options, QFile &input,
                   std::unique_ptr<Source> &source)
{
    QTextStream err(stderr);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Simulates a serial device on a pseudo-terminal and maps COM<n> of Ombrix's port map to it."));
    parser.addHelpOption();
    const QCommandLineOption portOption({"p", "port"}, "The COM number to map (1-255).", "n");
    const QCommandLineOption fileOption({"f", "file"}, "Send the bytes of this file.", "path");
    const QCommandLineOption stdinOption("stdin", "Send what arrives on standard input.");
    const QCommandLineOption patternOption("pattern", "Send a generated pattern: count, random or text.",
                                           "kind", "count");
    const QCommandLineOption bytesOption({"n", "bytes"}, "Length of the pattern (default: endless).",
                                         "count");
    const QCommandLineOption rateOption({"r", "rate"}, "Bytes per second (default: as fast as read).",
                                        "bytes");
    const QCommandLineOption burstOption("burst", "Bytes per write when paced (default 16).", "bytes", "16");
    const QCommandLineOption seedOption("seed", "Seed of the random pattern.", "n", "1");
    const QCommandLineOption exitOption(
        "exit-when-read", "Exit once everything sent has been read, instead of waiting to be stopped.");
    parser.addOptions({portOption, fileOption, stdinOption, patternOption, bytesOption, rateOption,
                       burstOption, seedOption, exitOption});
    parser.process(app);

    bool ok = false;
    options.port = parser.value(portOption).toInt(&ok);
    if (!ok || options.port < 1 || options.port > 255) {
        err << "ombrix-simport: --port must be a number from 1 to 255\n";
        return 2;
    }
    options.rate = parser.isSet(rateOption) ? parser.value(rateOption).toDouble(&ok) : 0;
    options.burst = parser.value(burstOption).toLongLong();
    options.exitWhenRead = parser.isSet(exitOption);
    const qint64 length = parser.isSet(bytesOption) ? parser.value(bytesOption).toLongLong() : -1;
    if (options.rate < 0 || options.burst <= 0) {
        err << "ombrix-simport: --rate and --burst must be positive\n";
        return 2;
    }

    return openSource(parser.isSet(fileOption), parser.value(fileOption), parser.isSet(stdinOption),
                      parser.value(patternOption), length, parser.value(seedOption).toUInt(), input, source);
}

// Sends until the source ends or a stop is requested; false when a write failed.
bool send(int master, Source &source, const Options &options, SentBytes &sent)
{
    QElapsedTimer clock;
    clock.start();
    while (!stopRequested) {
        if (options.rate > 0) {
            // Keep to the schedule: burst k leaves at k * burst / rate seconds.
            const qint64 due = qint64(double(sent.count()) / options.rate * 1e9);
            const qint64 now = clock.nsecsElapsed();
            if (due > now) {
                const timespec pause{time_t((due - now) / 1000000000), long((due - now) % 1000000000)};
                nanosleep(&pause, nullptr);
                continue;
            }
        }
        const QByteArray bytes = source.next(options.rate > 0 ? options.burst : 65536);
        if (bytes.isEmpty())
            return true;
        // A stop request may cut a write short: what went out counts.
        const qsizetype written = writeAll(master, bytes);
        if (written < 0)
            return false;
        sent.add(bytes.first(written));
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ombrix-simport"));
    QTextStream out(stdout);
    QTextStream err(stderr);

    Options options;
    QFile input;
    std::unique_ptr<Source> source;
    if (const int status = parseArguments(app, options, input, source); status >= 0)
        return status;

    int master = -1;
    int slave = -1;
    char name[256] = {};
    termios raw{};
    cfmakeraw(&raw);
    if (openpty(&master, &slave, name, &raw, nullptr) != 0) {
        err << "ombrix-simport: cannot create a pseudo-terminal: " << strerror(errno) << '\n';
        return 1;
    }
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    // The slave stays open here too: it tells how much the reader has not
    // read yet, and keeps the device alive between the reader's opens.
    const QString device = QString::fromLocal8Bit(name);

    QSettings settings = UserStore::open();
    const QString key = QStringLiteral("Ports/COM%1").arg(options.port);
    const QVariant previous = settings.value(key);
    settings.setValue(key, device);
    settings.sync();
    out << "COM" << options.port << " -> " << device << Qt::endl;

    struct sigaction action = {};
    action.sa_handler = requestStop;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    SentBytes sent;
    const bool failed = !send(master, *source, options, sent);
    out << "sent " << sent.count() << " bytes, sha256 " << sent.hash() << Qt::endl;
    const Ending ending = waitForReader(slave, options.exitWhenRead);
    if (ending != Ending::AllRead)
        reportUnread(out, sent, takeUnread(slave), ending);

    if (previous.isValid())
        settings.setValue(key, previous);
    else
        settings.remove(key);
    settings.sync();
    ::close(slave);
    ::close(master);
    if (failed)
        err << "ombrix-simport: writing to " << device << " failed\n";
    return failed ? 1 : 0;
}
