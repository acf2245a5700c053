// ombrix-benchfeed: the device side of the benchmarks. It creates one
// pseudo-terminal per port, points COM<n> of the port map at each, and on
// "go" (a line on standard input) sends a known stream of bytes into every
// port: unpaced as fast as the readers take it, or paced in bursts at a
// given rate. It watches the log files the reader writes (inotify), records
// how long each burst took from its write to its last byte in the file, keeps
// every master open until the logs hold everything (or stop growing), says
// "drained", and after a second line on standard input (the reader has been
// stopped, so whatever it buffered is in its file) compares each log with
// the stream it sent. One report line of key=value pairs goes to standard
// output; the exit status is 2 when a byte was lost or altered.

#include "common/UserStore.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSettings>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <iostream>
#include <map>
#include <memory>
#include <set>
#include <poll.h>
#include <pty.h>
#include <string>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::int64_t nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

// The stream a port sends: xorshift64* bytes, every value 0..255 occurring.
class Stream
{
public:
    explicit Stream(std::uint64_t seed)
        : m_state(seed * 0x9E3779B97F4A7C15ULL | 1)
    {}
    void fill(unsigned char *out, std::size_t n)
    {
        for (std::size_t i = 0; i < n; ++i) {
            if (m_left == 0) {
                m_state ^= m_state >> 12;
                m_state ^= m_state << 25;
                m_state ^= m_state >> 27;
                m_word = m_state * 0x2545F4914F6CDD1DULL;
                m_left = 8;
            }
            out[i] = static_cast<unsigned char>(m_word);
            m_word >>= 8;
            --m_left;
        }
    }

private:
    std::uint64_t m_state;
    std::uint64_t m_word = 0;
    int m_left = 0;
};

// Delays from a burst's write to its bytes in the log, in 0.1 ms buckets.
class Histogram
{
public:
    void add(std::int64_t ns)
    {
        const std::size_t bucket =
            std::min<std::size_t>(ns < 0 ? 0 : std::size_t(ns / 100000), m_counts.size() - 1);
        ++m_counts[bucket];
        ++m_total;
        m_max = std::max(m_max, ns);
    }
    double percentileMs(double p) const
    {
        if (m_total == 0)
            return 0;
        const auto wanted = std::uint64_t(double(m_total) * p / 100.0 + 0.999999);
        std::uint64_t seen = 0;
        for (std::size_t i = 0; i < m_counts.size(); ++i) {
            seen += m_counts[i];
            if (seen >= wanted)
                return double(i + 1) / 10.0;
        }
        return double(m_counts.size()) / 10.0;
    }
    double maxMs() const { return double(m_max) / 1e6; }
    std::uint64_t total() const { return m_total; }

private:
    std::array<std::uint64_t, 100000> m_counts{}; // up to 10 s
    std::uint64_t m_total = 0;
    std::int64_t m_max = 0;
};

struct Port
{
    int com = 0;
    int master = -1;
    int slave = -1;
    std::string device;
    std::string log;
    Stream stream{0};
    std::vector<unsigned char> pending; // the current chunk, not yet fully written
    std::size_t pendingOffset = 0;
    std::uint64_t sent = 0;
    std::uint64_t total = 0;
    // Paced sending: burst k was started at times[k]; `started` bursts so far.
    std::vector<std::int64_t> times;
    std::atomic<std::uint64_t> started{0};
    std::int64_t nextDue = 0;
    // Seen by the watcher.
    std::uint64_t accounted = 0; // bursts whose delay is recorded
    std::atomic<std::uint64_t> logSize{0};
    std::atomic<std::int64_t> completeAt{0};
    std::atomic<std::int64_t> grewAt{0}; // when the log last grew
};

struct Options
{
    int ports = 1;
    int firstCom = 1;
    std::uint64_t bytes = 0; // per port, unpaced
    double rate = 0;         // bytes a second per port, 0: unpaced
    int burst = 16;
    double seconds = 0;
    std::string logPattern;
    std::uint64_t seed = 1;
    double drainTimeout = 60;
};

std::string expand(const std::string &pattern, int com)
{
    std::string out;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] == 'n') {
            out += std::to_string(com);
            ++i;
        } else {
            out += pattern[i];
        }
    }
    return out;
}

std::string dirOf(const std::string &path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::string baseOf(const std::string &path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Watches the log files and records when bytes reach them.
class Watcher
{
public:
    Watcher(std::vector<std::unique_ptr<Port>> &ports, int burst, bool paced)
        : m_ports(ports)
        , m_burst(std::uint64_t(burst))
        , m_paced(paced)
    {
        m_inotify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        for (auto &port : m_ports) {
            const std::string dir = dirOf(port->log);
            if (!m_dirs.count(dir)) {
                const int wd =
                    inotify_add_watch(m_inotify, dir.c_str(), IN_MODIFY | IN_CREATE | IN_CLOSE_WRITE);
                m_dirs[dir] = wd;
                m_byWatch[wd] = dir;
            }
            m_byName[dirOf(port->log) + '/' + baseOf(port->log)] = port.get();
        }
    }
    ~Watcher() { close(m_inotify); }

    // Looks at the events every millisecond rather than waiting for each:
    // a watcher asleep in poll() is woken by every write of the reader, and
    // that wake-up (and the preemption it brings) is charged to the reader's
    // write, a cost of the measurement rather than of the reader. Each file
    // with news is looked at once per look, so delays read up to 1 ms long.
    void run(std::atomic<bool> &stop)
    {
        std::array<char, 64 * 1024> buffer{};
        std::set<Port *> touched;
        while (!stop.load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            bool overflow = false;
            for (;;) {
                const ssize_t n = read(m_inotify, buffer.data(), buffer.size());
                if (n <= 0)
                    break;
                for (ssize_t off = 0; off < n;) {
                    auto *event = reinterpret_cast<inotify_event *>(buffer.data() + off);
                    off += ssize_t(sizeof(inotify_event) + event->len);
                    overflow |= (event->mask & IN_Q_OVERFLOW) != 0;
                    if (event->len == 0)
                        continue;
                    const auto found = m_byName.find(m_byWatch[event->wd] + '/' + event->name);
                    if (found != m_byName.end())
                        touched.insert(found->second);
                }
            }
            const std::int64_t t = nowNs();
            if (overflow) {
                for (auto &port : m_ports)
                    observe(*port, t);
            }
            for (Port *port : touched)
                observe(*port, t);
            touched.clear();
        }
    }

    // A last look at every file, once the sender is done.
    void sweep()
    {
        const std::int64_t t = nowNs();
        for (auto &port : m_ports)
            observe(*port, t);
    }

    Histogram histogram;

private:
    void observe(Port &port, std::int64_t t)
    {
        struct stat st
        {};
        if (stat(port.log.c_str(), &st) != 0)
            return;
        const auto size = std::uint64_t(st.st_size);
        if (size <= port.logSize.load())
            return;
        port.logSize.store(size);
        port.grewAt.store(t);
        if (size >= port.total && port.completeAt.load() == 0)
            port.completeAt.store(t);
        if (!m_paced)
            return;
        const std::uint64_t done = std::min(size / m_burst, port.started.load(std::memory_order_acquire));
        for (; port.accounted < done; ++port.accounted)
            histogram.add(t - port.times[port.accounted]);
    }

    std::vector<std::unique_ptr<Port>> &m_ports;
    std::uint64_t m_burst;
    bool m_paced;
    int m_inotify = -1;
    std::map<std::string, int> m_dirs;
    std::map<int, std::string> m_byWatch;
    std::map<std::string, Port *> m_byName;
};

bool openPorts(std::vector<std::unique_ptr<Port>> &ports, const Options &o)
{
    QSettings map = UserStore::open();
    for (int i = 0; i < o.ports; ++i) {
        auto port = std::make_unique<Port>();
        port->com = o.firstCom + i;
        char name[256] = {};
        termios raw{};
        cfmakeraw(&raw);
        if (openpty(&port->master, &port->slave, name, &raw, nullptr) != 0) {
            std::perror("openpty");
            return false;
        }
        fcntl(port->master, F_SETFL, fcntl(port->master, F_GETFL) | O_NONBLOCK);
        fcntl(port->master, F_SETFD, FD_CLOEXEC);
        fcntl(port->slave, F_SETFD, FD_CLOEXEC);
        port->device = name;
        port->log = expand(o.logPattern, port->com);
        port->stream = Stream(o.seed * 1000003ULL + std::uint64_t(port->com));
        map.setValue(QStringLiteral("Ports/COM%1").arg(port->com), QString::fromStdString(port->device));
        ports.push_back(std::move(port));
    }
    map.sync();
    return map.status() == QSettings::NoError;
}

// Writes as much of the port's current chunk as the pty takes; false when
// it took nothing more.
bool pushPending(Port &port)
{
    while (port.pendingOffset < port.pending.size()) {
        const ssize_t n = write(port.master, port.pending.data() + port.pendingOffset,
                                port.pending.size() - port.pendingOffset);
        if (n < 0)
            return false;
        port.pendingOffset += std::size_t(n);
        port.sent += std::uint64_t(n);
    }
    return true;
}

// Gives up when no port took a byte for `stallSeconds`: a reader that stopped.
void sendUnpaced(std::vector<std::unique_ptr<Port>> &ports, double stallSeconds)
{
    constexpr std::size_t chunk = 64 * 1024;
    std::vector<pollfd> pfds;
    std::uint64_t lastSent = 0;
    std::int64_t progressAt = nowNs();
    for (;;) {
        std::uint64_t sentNow = 0;
        for (auto &port : ports)
            sentNow += port->sent;
        if (sentNow != lastSent) {
            lastSent = sentNow;
            progressAt = nowNs();
        } else if (nowNs() - progressAt > std::int64_t(stallSeconds * 1e9)) {
            std::cerr << "ombrix-benchfeed: the reader stopped taking bytes\n";
            return;
        }
        pfds.clear();
        std::vector<Port *> busy;
        for (auto &port : ports) {
            if (port->pendingOffset == port->pending.size() && port->sent < port->total) {
                const std::size_t n = std::size_t(std::min<std::uint64_t>(chunk, port->total - port->sent));
                port->pending.resize(n);
                port->stream.fill(port->pending.data(), n);
                port->pendingOffset = 0;
            }
            if (port->pendingOffset < port->pending.size() && !pushPending(*port)) {
                pfds.push_back({port->master, POLLOUT, 0});
                busy.push_back(port.get());
            }
        }
        bool allSent = true;
        for (auto &port : ports)
            allSent = allSent && port->sent >= port->total;
        if (allSent)
            return;
        if (!pfds.empty())
            poll(pfds.data(), nfds_t(pfds.size()), 100);
    }
}

void sendPaced(std::vector<std::unique_ptr<Port>> &ports, const Options &o)
{
    const auto period = std::int64_t(1e9 * o.burst / o.rate);
    const std::int64_t start = nowNs();
    // Spread the ports' bursts evenly over one period.
    for (std::size_t i = 0; i < ports.size(); ++i)
        ports[i]->nextDue = start + period * std::int64_t(i) / std::int64_t(ports.size());
    timespec next{};
    clock_gettime(CLOCK_MONOTONIC, &next);
    for (;;) {
        const std::int64_t t = nowNs();
        bool allSent = true;
        for (auto &port : ports) {
            Port &p = *port;
            if (p.pendingOffset < p.pending.size())
                pushPending(p);
            while (p.pendingOffset == p.pending.size() && p.sent < p.total && p.nextDue <= t) {
                const std::uint64_t k = p.started.load(std::memory_order_relaxed);
                p.times[k] = p.nextDue < t - 2 * period ? t : p.nextDue;
                p.started.store(k + 1, std::memory_order_release);
                p.pending.resize(
                    std::size_t(std::min<std::uint64_t>(std::uint64_t(o.burst), p.total - p.sent)));
                p.stream.fill(p.pending.data(), p.pending.size());
                p.pendingOffset = 0;
                pushPending(p);
                p.nextDue += period;
            }
            allSent = allSent && p.sent >= p.total;
        }
        if (allSent)
            return;
        // A 0.5 ms tick: each port's burst leaves within half a millisecond of its time.
        next.tv_nsec += 500000;
        if (next.tv_nsec >= 1000000000) {
            next.tv_nsec -= 1000000000;
            ++next.tv_sec;
        }
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
    }
}

// Compares the log with the stream the port sent; returns the offset of the
// first difference, or -1 when they are identical.
std::int64_t verify(const Port &port, std::uint64_t seed)
{
    FILE *f = std::fopen(port.log.c_str(), "rb");
    if (!f)
        return 0;
    Stream stream(seed * 1000003ULL + std::uint64_t(port.com));
    std::vector<unsigned char> got(1 << 20), want(1 << 20);
    std::uint64_t offset = 0;
    std::int64_t bad = -1;
    for (;;) {
        const std::size_t n = std::fread(got.data(), 1, got.size(), f);
        if (n == 0)
            break;
        const std::size_t expected =
            std::size_t(std::min<std::uint64_t>(n, port.total - std::min(offset, port.total)));
        stream.fill(want.data(), expected);
        if (expected < n || std::memcmp(got.data(), want.data(), n) != 0) {
            for (std::size_t i = 0; i < n; ++i)
                if (i >= expected || got[i] != want[i]) {
                    bad = std::int64_t(offset + i);
                    break;
                }
            break;
        }
        offset += n;
    }
    std::fclose(f);
    if (bad < 0 && offset != port.total)
        bad = std::int64_t(offset);
    return bad;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Feeds pseudo-terminals for Ombrix's benchmarks."));
    parser.addHelpOption();
    const QCommandLineOption portsOpt(QStringLiteral("ports"), QStringLiteral("Number of ports."),
                                      QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption firstOpt(QStringLiteral("first-com"),
                                      QStringLiteral("COM number of the first port."), QStringLiteral("n"),
                                      QStringLiteral("1"));
    const QCommandLineOption bytesOpt(QStringLiteral("bytes"), QStringLiteral("Bytes per port, unpaced."),
                                      QStringLiteral("n"));
    const QCommandLineOption rateOpt(QStringLiteral("rate"),
                                     QStringLiteral("Bytes a second per port, paced."), QStringLiteral("n"));
    const QCommandLineOption burstOpt(QStringLiteral("burst"), QStringLiteral("Bytes per burst when paced."),
                                      QStringLiteral("n"), QStringLiteral("16"));
    const QCommandLineOption secondsOpt(QStringLiteral("seconds"),
                                        QStringLiteral("Seconds of paced sending."), QStringLiteral("s"));
    const QCommandLineOption logOpt(QStringLiteral("log"),
                                    QStringLiteral("Log file of each port; %n is the COM number."),
                                    QStringLiteral("pattern"));
    const QCommandLineOption seedOpt(QStringLiteral("seed"), QStringLiteral("Seed of the streams."),
                                     QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption drainOpt(QStringLiteral("drain-timeout"),
                                      QStringLiteral("Seconds to wait for the logs."), QStringLiteral("s"),
                                      QStringLiteral("60"));
    parser.addOptions(
        {portsOpt, firstOpt, bytesOpt, rateOpt, burstOpt, secondsOpt, logOpt, seedOpt, drainOpt});
    parser.process(app);

    Options o;
    o.ports = parser.value(portsOpt).toInt();
    o.firstCom = parser.value(firstOpt).toInt();
    o.rate = parser.value(rateOpt).toDouble();
    o.burst = parser.value(burstOpt).toInt();
    o.seconds = parser.value(secondsOpt).toDouble();
    o.logPattern = parser.value(logOpt).toStdString();
    o.seed = parser.value(seedOpt).toULongLong();
    o.drainTimeout = parser.value(drainOpt).toDouble();
    const bool paced = o.rate > 0;
    const std::uint64_t perPort =
        paced ? std::uint64_t(o.rate * o.seconds) / std::uint64_t(o.burst) * std::uint64_t(o.burst)
              : parser.value(bytesOpt).toULongLong();
    if (o.ports < 1 || o.firstCom < 1 || o.firstCom + o.ports - 1 > 255 || o.burst < 1 || perPort == 0 ||
        o.logPattern.empty()) {
        std::cerr << "ombrix-benchfeed: give --ports, --log and either --bytes or --rate with --seconds\n";
        return 1;
    }

    std::vector<std::unique_ptr<Port>> ports;
    if (!openPorts(ports, o))
        return 1;
    for (auto &port : ports) {
        port->total = perPort;
        if (paced)
            port->times.resize(std::size_t(perPort / std::uint64_t(o.burst)));
        std::cout << "COM" << port->com << " " << port->device << "\n";
    }
    std::cout << "ready" << std::endl;

    std::string line;
    if (!std::getline(std::cin, line))
        return 1;

    Watcher watcher(ports, o.burst, paced);
    std::atomic<bool> stop{false};
    std::thread watching([&] { watcher.run(stop); });
    const std::int64_t go = nowNs();
    if (paced)
        sendPaced(ports, o);
    else
        sendUnpaced(ports, o.drainTimeout);
    const std::int64_t sentAt = nowNs();

    // The masters stay open until every log holds what was sent, or stopped
    // growing for a second: closing one early would throw away what the
    // kernel still holds for the reader.
    const auto deadline = sentAt + std::int64_t(o.drainTimeout * 1e9);
    for (;;) {
        bool complete = true;
        std::int64_t grew = sentAt;
        for (auto &port : ports) {
            complete = complete && port->logSize.load() >= port->total;
            grew = std::max(grew, port->grewAt.load());
        }
        const std::int64_t t = nowNs();
        if (complete || t > deadline || t - grew > 1000000000)
            break;
        struct timespec pause
        {
            0, 5000000
        };
        nanosleep(&pause, nullptr);
        watcher.sweep();
    }
    stop.store(true);
    watching.join();
    watcher.sweep();
    // Readers that buffer their log write the rest when they end: the
    // caller stops the reader, then asks for the comparison.
    std::int64_t lastGrowth = 0;
    bool completeBeforeStop = true;
    for (auto &port : ports) {
        lastGrowth = std::max(lastGrowth, port->grewAt.load());
        completeBeforeStop = completeBeforeStop && port->completeAt.load() != 0;
    }
    std::cout << "drained" << std::endl;
    std::getline(std::cin, line);
    watcher.sweep();

    std::int64_t lastComplete = 0;
    int lost = 0;
    std::uint64_t received = 0;
    for (auto &port : ports) {
        received += port->logSize.load();
        if (port->completeAt.load() == 0 || verify(*port, o.seed) >= 0) {
            ++lost;
            std::cerr << "COM" << port->com << ": log " << port->log << " differs from what was sent ("
                      << port->logSize.load() << " of " << port->total << " bytes)\n";
        }
        lastComplete = std::max(lastComplete, port->completeAt.load());
    }
    if (!completeBeforeStop)
        lastComplete = lastGrowth; // the tail came with the reader's exit
    for (auto &port : ports) {
        close(port->master);
        close(port->slave);
    }

    std::printf("seconds=%.3f sent_seconds=%.3f bytes=%" PRIu64 " received=%" PRIu64
                " exact=%d bad_ports=%d", //
                double(lastComplete - go) / 1e9, double(sentAt - go) / 1e9, perPort * std::uint64_t(o.ports),
                received, lost == 0 ? 1 : 0, lost);
    if (paced)
        std::printf(" bursts=%" PRIu64 " p50_ms=%.1f p99_ms=%.1f max_ms=%.1f", watcher.histogram.total(),
                    watcher.histogram.percentileMs(50), watcher.histogram.percentileMs(99),
                    watcher.histogram.maxMs());
    std::printf("\n");
    return lost == 0 ? 0 : 2;
}
