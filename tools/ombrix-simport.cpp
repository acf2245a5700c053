// ombrix-simport: simulates a serial device for trying Ombrix without
// hardware, and for tests and benchmarks. It creates a pseudo-terminal,
// points COM<n> of Ombrix's port map at it, and sends bytes from a file,
// standard input or a generated pattern, at a chosen rate. At the end it
// reports how many bytes it sent and their SHA-256, to compare with the log.

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

void requestStop(int)
{
    stopRequested = 1;
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

bool writeAll(int fd, const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size() && !stopRequested) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        } else {
            pollfd p{fd, POLLOUT, 0};
            ::poll(&p, 1, 100); // the reader is behind: wait for room
        }
    }
    return done == bytes.size();
}

int waitingAtReader(int slaveFd)
{
    int waiting = 0;
    return ::ioctl(slaveFd, FIONREAD, &waiting) == 0 ? waiting : 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ombrix-simport"));
    QTextStream out(stdout);
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
    const int port = parser.value(portOption).toInt(&ok);
    if (!ok || port < 1 || port > 255) {
        err << "ombrix-simport: --port must be a number from 1 to 255\n";
        return 2;
    }
    const double rate = parser.isSet(rateOption) ? parser.value(rateOption).toDouble(&ok) : 0;
    const qsizetype burst = parser.value(burstOption).toLongLong();
    const qint64 length = parser.isSet(bytesOption) ? parser.value(bytesOption).toLongLong() : -1;
    if (rate < 0 || burst <= 0) {
        err << "ombrix-simport: --rate and --burst must be positive\n";
        return 2;
    }

    QFile input;
    std::unique_ptr<Source> source;
    if (parser.isSet(fileOption)) {
        input.setFileName(parser.value(fileOption));
        if (!input.open(QIODevice::ReadOnly)) {
            err << "ombrix-simport: cannot read " << input.fileName() << ": " << input.errorString() << '\n';
            return 1;
        }
        source = std::make_unique<FileSource>(&input);
    } else if (parser.isSet(stdinOption)) {
        if (!input.open(stdin, QIODevice::ReadOnly)) {
            err << "ombrix-simport: cannot read standard input\n";
            return 1;
        }
        source = std::make_unique<FileSource>(&input);
    } else {
        const QString kind = parser.value(patternOption);
        if (kind != QLatin1String("count") && kind != QLatin1String("random") &&
            kind != QLatin1String("text")) {
            err << "ombrix-simport: --pattern is count, random or text\n";
            return 2;
        }
        source = std::make_unique<PatternSource>(kind, length, parser.value(seedOption).toUInt());
    }

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
    const QString key = QStringLiteral("Ports/COM%1").arg(port);
    const QVariant previous = settings.value(key);
    settings.setValue(key, device);
    settings.sync();
    out << "COM" << port << " -> " << device << Qt::endl;

    struct sigaction action = {};
    action.sa_handler = requestStop;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    QCryptographicHash hash(QCryptographicHash::Sha256);
    qint64 sent = 0;
    QElapsedTimer clock;
    clock.start();
    bool failed = false;
    while (!stopRequested) {
        if (rate > 0) {
            // Keep to the schedule: burst k leaves at k * burst / rate seconds.
            const qint64 due = qint64(double(sent) / rate * 1e9);
            const qint64 now = clock.nsecsElapsed();
            if (due > now) {
                const timespec pause{time_t((due - now) / 1000000000), long((due - now) % 1000000000)};
                nanosleep(&pause, nullptr);
                continue;
            }
        }
        const QByteArray bytes = source->next(rate > 0 ? burst : 65536);
        if (bytes.isEmpty())
            break;
        if (!writeAll(master, bytes)) {
            failed = !stopRequested;
            break;
        }
        hash.addData(bytes);
        sent += bytes.size();
    }

    out << "sent " << sent << " bytes, sha256 " << hash.result().toHex() << Qt::endl;

    // Closing the master now would throw away what the reader has not read:
    // stay until it has, or until stopped.
    // Bytes just written take a moment to reach the reader's queue, so the
    // queue must be seen empty a few times in a row.
    for (int emptyChecks = 0; !stopRequested && !(parser.isSet(exitOption) && emptyChecks >= 3);) {
        emptyChecks = waitingAtReader(slave) == 0 ? emptyChecks + 1 : 0;
        ::poll(nullptr, 0, 50);
    }

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
