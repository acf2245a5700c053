#include "QtSerialComponent.h"

#include "ComponentError.h"
#include "PortDiagnosis.h"
#include "PortMap.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QSocketNotifier>

#include <utility>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// Counts nesting for the lifetime of a scope, also when an exception leaves it.
class DepthGuard
{
public:
    explicit DepthGuard(int &depth)
        : m_depth(depth)
    {
        ++m_depth;
    }
    ~DepthGuard() { --m_depth; }
    DepthGuard(const DepthGuard &) = delete;
    DepthGuard &operator=(const DepthGuard &) = delete;

private:
    int &m_depth;
};

// One read takes what the kernel holds, up to QSerialPort's read chunk. A
// tick takes one chunk so that bytes held back while reading was paused are
// reported with it; anything beyond follows through the read notifier.
constexpr int readsPerTick = 1;
// Closing takes everything the kernel still holds, within reason: a device
// that sends faster than we read must not keep the close from finishing.
constexpr int readsOnClose = 64;
// A throttle interval that brings this much is busy. Pausing reads (see
// pauseReading) saves wake-ups where each brings a few bytes; a busy device
// brings plenty with each, and pausing it would only hold it back, so the
// interval after a busy one reads freely.
constexpr qint64 busyIntervalBytes = 2048;
// A change in a watched directory comes in bursts (udev makes the node, then
// its links, then sets its group): try once the burst is over.
constexpr int settleMs = 50;

// Identifies a symbolic link itself (not its target), so that a link made
// anew is told from one left as it was; empty when `path` is no link.
QString linkStamp(const QString &path)
{
#ifdef Q_OS_UNIX
    struct stat st = {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISLNK(st.st_mode))
        return {};
    return QStringLiteral("%1:%2.%3")
        .arg(quint64(st.st_ino))
        .arg(qint64(st.st_ctim.tv_sec))
        .arg(qint64(st.st_ctim.tv_nsec));
#else
    Q_UNUSED(path);
    return {};
#endif
}

bool isPseudoTerminal(const QString &device)
{
    return device.startsWith(QLatin1String("/dev/pts/"));
}

bool isAsciiDigits(const QString &text)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

} // namespace

QtSerialComponent::QtSerialComponent(QObject *parent)
    : SerialComponent(parent)
{
    m_throttle.setInterval(throttleIntervalMs);
    connect(&m_port, &QSerialPort::readyRead, this, &QtSerialComponent::onReadyRead);
    connect(&m_port, &QSerialPort::errorOccurred, this, &QtSerialComponent::onErrorOccurred);
    connect(&m_throttle, &SharedTimer::timeout, this, &QtSerialComponent::onThrottleTimeout);
    m_retry.setInterval(retryIntervalMs);
    connect(&m_retry, &QTimer::timeout, this, [this] { tryReopen(true); });
    m_settle.setSingleShot(true);
    m_settle.setInterval(settleMs);
    connect(&m_settle, &QTimer::timeout, this, [this] { tryReopen(false); });
}

QtSerialComponent::~QtSerialComponent()
{
    // No signals from here: the receiver may be half destroyed already.
    m_throttle.stop();
    stopWaiting();
    disconnect(&m_port, nullptr, this, nullptr);
    if (m_port.isOpen())
        m_port.close();
}

void QtSerialComponent::setInputMode(int mode)
{
    if (mode != 1) // byte arrays are the only input mode
        throw ComponentError(QStringLiteral("Invalid property value"));
}

void QtSerialComponent::setCommPort(int port)
{
    if (port < PortMap::firstPort || port > PortMap::lastPort)
        throw ComponentError(QStringLiteral("Invalid port number"));
    // The device is looked up at open, so a port map edited in between counts.
    m_commPort = port;
}

void QtSerialComponent::setSettings(const QString &settings)
{
    LineSettings parsed;
    if (!parseSettings(settings, &parsed))
        throw ComponentError(QStringLiteral("Invalid setting"));
    m_settings = parsed;
    if (m_port.isOpen()) {
        // A live change that the device rejects (a pseudo-terminal refuses
        // parity and short characters with "Invalid argument") leaves the
        // port open as it was; the values apply in full at the next open.
        DepthGuard busy(m_busy);
        applyLineSettings();
    }
}

void QtSerialComponent::setHandshaking(int mode)
{
    switch (mode) {
    case 0:
        m_flow = QSerialPort::NoFlowControl;
        break;
    case 1:
        m_flow = QSerialPort::SoftwareControl;
        break;
    case 2:
        m_flow = QSerialPort::HardwareControl;
        break;
    default:
        throw ComponentError(QStringLiteral("Invalid property value"));
    }
    if (m_port.isOpen()) {
        DepthGuard busy(m_busy);
        m_port.setFlowControl(m_flow);
    }
}

void QtSerialComponent::setLineSwitch(bool on)
{
    m_lineSwitch = on;
    if (m_port.isOpen()) {
        // A device without modem lines (a pseudo-terminal) refuses; that is
        // no reason to fail.
        DepthGuard busy(m_busy);
        m_port.setDataTerminalReady(on);
    }
}

bool QtSerialComponent::portOpen() const
{
    return m_port.isOpen() || m_waiting;
}

void QtSerialComponent::setPortOpen(bool open)
{
    if (open)
        openPort();
    else
        closePort();
}

int QtSerialComponent::commEvent() const
{
    return m_event;
}

qint64 QtSerialComponent::inBufferCount() const
{
    return m_salvaged.size() + (m_port.isOpen() ? m_port.bytesAvailable() : 0);
}

QByteArray QtSerialComponent::input()
{
    // Salvaged bytes arrived before anything the port holds now.
    QByteArray bytes;
    bytes.swap(m_salvaged);
    if (m_port.isOpen() && m_port.bytesAvailable() > 0) {
        bytes.append(m_port.readAll());
        // Reading from the port makes it watch the device again.
        if (m_paused)
            setPortWatching(false);
    }
    return bytes;
}

void QtSerialComponent::setRetryInterval(int ms)
{
    m_retry.setInterval(qMax(ms, 1));
}

QString QtSerialComponent::describeOpenError(QSerialPort::SerialPortError error, const QString &errorString,
                                             const QString &device)
{
    return PortDiagnosis::describe(PortDiagnosis::examine(error, errorString, device));
}

bool QtSerialComponent::parseSettings(const QString &text, LineSettings *out)
{
    const QStringList fields = text.split(QLatin1Char(','));
    if (fields.size() != 4)
        return false;
    const QString baud = fields.at(0).trimmed();
    const QString parity = fields.at(1).trimmed().toUpper();
    const QString data = fields.at(2).trimmed();
    const QString stop = fields.at(3).trimmed();

    LineSettings s;
    bool ok = false;
    s.baudRate = baud.toInt(&ok);
    if (!isAsciiDigits(baud) || !ok || s.baudRate <= 0)
        return false;

    if (parity == QLatin1String("N"))
        s.parity = QSerialPort::NoParity;
    else if (parity == QLatin1String("E"))
        s.parity = QSerialPort::EvenParity;
    else if (parity == QLatin1String("O"))
        s.parity = QSerialPort::OddParity;
    else if (parity == QLatin1String("M"))
        s.parity = QSerialPort::MarkParity;
    else if (parity == QLatin1String("S"))
        s.parity = QSerialPort::SpaceParity;
    else
        return false;

    if (data == QLatin1String("5"))
        s.dataBits = QSerialPort::Data5;
    else if (data == QLatin1String("6"))
        s.dataBits = QSerialPort::Data6;
    else if (data == QLatin1String("7"))
        s.dataBits = QSerialPort::Data7;
    else if (data == QLatin1String("8"))
        s.dataBits = QSerialPort::Data8;
    else
        return false;

    // Linux terminals have no 1.5 stop bits. A receiver set for one stop bit
    // reads frames sent with 1.5 or 2 correctly, so 1.5 opens with one.
    if (stop == QLatin1String("1") || stop == QLatin1String("1.5"))
        s.stopBits = QSerialPort::OneStop;
    else if (stop == QLatin1String("2"))
        s.stopBits = QSerialPort::TwoStop;
    else
        return false;

    *out = s;
    return true;
}

void QtSerialComponent::applyLineSettings()
{
    // Before open these only record the values, which open() then applies in
    // one go; on an open port a value the device refuses is reported through
    // errorOccurred, which our callers mark as their own.
    m_port.setBaudRate(m_settings.baudRate);
    m_port.setParity(m_settings.parity);
    m_port.setDataBits(m_settings.dataBits);
    m_port.setStopBits(m_settings.stopBits);
}

void QtSerialComponent::openPort()
{
    if (portOpen())
        return;
    const QString configured = PortMap::devicePath(m_commPort);
    const QString device = PortMap::resolvedPath(configured);

    DepthGuard busy(m_busy);
    m_configured = configured;
    m_device = device;
    m_openFailure.clear();
    m_lostDescription.clear();
    m_reportLoss = true;
    // The link as it is when the device is opened: a device that goes and
    // comes back before the loss is noticed still comes back through a new one.
    m_linkAtOpen = linkStamp(QDir(QStringLiteral("/dev")).absoluteFilePath(configured));
    QSerialPort::SerialPortError error = QSerialPort::NoError;
    QString errorString;
    if (openDevice(device, &error, &errorString))
        return;
    // A device that is not there is not an error: the port stays closed
    // and portOpen() says so.
    if (error == QSerialPort::DeviceNotFoundError) {
        PortDiagnosis::Facts facts;
        facts.kind = PortDiagnosis::Kind::NoDevice;
        facts.device = configured;
        facts.port = m_commPort;
        m_openFailure = PortDiagnosis::describe(facts);
        return;
    }
    throw ComponentError(describeOpenError(error, errorString, device));
}

bool QtSerialComponent::openDevice(const QString &device, QSerialPort::SerialPortError *error,
                                   QString *errorString)
{
    m_port.setPortName(device);
    applyLineSettings();
    m_port.setFlowControl(m_flow);
    m_port.setReadBufferSize(0);
    m_paused = false;
    m_capped = false;
    m_busyInterval = false;
    m_lossPending = false;
    if (!m_port.open(QIODevice::ReadWrite)) {
        *error = m_port.error();
        *errorString = m_port.errorString();
        m_port.clearError();
        return false;
    }
    m_port.setDataTerminalReady(m_lineSwitch);
    return true;
}

void QtSerialComponent::closePort()
{
    if (m_waiting) {
        // The port itself closed when the device went; only the wait is left,
        // and what the receiver could not write before the loss: it gets one
        // last event, as at any close.
        stopWaiting();
        if (m_inOnComm == 0 && !m_salvaged.isEmpty())
            raise(EventReceive);
        return;
    }
    if (!m_port.isOpen() || m_closing)
        return;
    m_closing = true;
    m_throttle.stop();
    {
        DepthGuard busy(m_busy);
        resumeReading();
        pullPending(readsOnClose);
    }
    // Bytes held back by the throttle, or left by a receiver that could not
    // write them, get one last event so that the receiver can write them
    // before the port goes. A receiver that closes
    // from its own OnComm handler is draining already and finds them in
    // input() when it goes on.
    if (m_inOnComm == 0 && m_port.isOpen() && inBufferCount() > 0)
        raise(EventReceive);
    if (m_port.isOpen()) {
        DepthGuard busy(m_busy);
        m_salvaged.append(m_port.readAll());
        m_port.close();
        m_port.clearError();
    }
    m_paused = false;
    m_capped = false;
    m_closing = false;
}

void QtSerialComponent::pullPending(int maxReads)
{
    for (int i = 0; i < maxReads && m_port.isOpen(); ++i) {
        // With a zero timeout this only takes what the kernel holds already
        // (an empty poll sets TimeoutError, which is ignored).
        if (!m_port.waitForReadyRead(0))
            break;
    }
}

QSocketNotifier *QtSerialComponent::portReadNotifier() const
{
    // QSerialPort watches its descriptor with a read notifier of its own.
    const auto notifiers = m_port.findChildren<QSocketNotifier *>(Qt::FindDirectChildrenOnly);
    for (QSocketNotifier *notifier : notifiers) {
        if (notifier->type() == QSocketNotifier::Read)
            return notifier;
    }
    return nullptr;
}

void QtSerialComponent::setPortWatching(bool on)
{
    if (QSocketNotifier *notifier = portReadNotifier())
        notifier->setEnabled(on);
}

void QtSerialComponent::pauseReading()
{
    // A device that sends a few bytes at a time would wake us once per
    // burst. While the throttle runs, the port stops watching the device and
    // each tick reads what the kernel gathered meanwhile (readPaused); it
    // holds KiBs, far more than one interval's worth at serial speeds, and a
    // faster device is not paused at all (busyIntervalBytes).
#ifdef Q_OS_UNIX
    if (portReadNotifier()) {
        setPortWatching(false);
        m_paused = true;
        return;
    }
#endif
    // Without a notifier to switch off, capping the read buffer at what it
    // holds makes the port's next wake-up find it full and stop watching.
    m_port.setReadBufferSize(qMax<qint64>(m_port.bytesAvailable(), 1));
    m_paused = true;
    m_capped = true;
}

void QtSerialComponent::resumeReading()
{
    if (!m_paused)
        return;
    if (m_capped)
        m_port.setReadBufferSize(0);
    else
        setPortWatching(true);
    m_paused = false;
    m_capped = false;
}

void QtSerialComponent::readPaused()
{
    // What the port buffered came first.
    if (m_port.bytesAvailable() > 0) {
        m_salvaged.append(m_port.readAll());
        setPortWatching(false);
    }
#ifdef Q_OS_UNIX
    const int fd = int(m_port.handle());
    char chunk[16384];
    for (int i = 0; i < 64; ++i) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n > 0) {
            m_salvaged.append(chunk, qsizetype(n));
            if (size_t(n) < sizeof chunk)
                break;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        // A terminal read without data gives 0 (no minimum count is set) or
        // EAGAIN; so does one that was hung up, which poll tells apart. A
        // failing read means the device is gone, as when the port's own
        // read fails.
        if ((n == 0 && hungUp()) || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK))
            m_lossPending = true;
        break;
    }
#endif
}

void QtSerialComponent::raise(int event)
{
    m_event = event;
    if (event == EventReceive)
        m_reportLoss = true;
    {
        DepthGuard inOnComm(m_inOnComm);
        emit OnComm();
    }
    // What the receiver left waiting (its log file could not be opened) is
    // not news: only bytes beyond it raise the next event, so a failing
    // receiver hears of each arrival once, not at every tick.
    m_countAfterEvent = inBufferCount();
}

void QtSerialComponent::deviceLost(bool notify)
{
    m_throttle.stop();
    {
        // Take what the port still buffers before closing discards it.
        DepthGuard busy(m_busy);
        m_salvaged.append(m_port.readAll());
        m_port.close();
        m_port.clearError();
    }
    m_paused = false;
    m_capped = false;
    if (!notify) // the port was closing anyway
        return;
    // Bytes salvaged beyond what the receiver has heard of are news; so is
    // the loss, unless the device went again right after a reopen, before
    // anything came: the receiver's last word is then still the first loss.
    const bool news = m_reportLoss || inBufferCount() > m_countAfterEvent;
    startWaiting();
    if (!news)
        return;
    // Bytes that came before the loss are reported as received data first,
    // for a receiver that reads only on EventReceive.
    if (!m_salvaged.isEmpty())
        raise(EventReceive);
    if (m_waiting) // unless the receiver closed the port meanwhile
        raise(EventDeviceLost);
}

void QtSerialComponent::startWaiting()
{
    m_waiting = true;
    m_waitCandidate.clear();
    m_lostDescription = tr("%1: the device is no longer available; waiting for it to return").arg(m_device);
    m_retry.start();
    watchDeviceDirectories();
}

void QtSerialComponent::stopWaiting()
{
    m_waiting = false;
    m_retry.stop();
    m_settle.stop();
    m_watcher.reset();
}

void QtSerialComponent::watchDeviceDirectories()
{
    // The directories that show the device coming back: the configured
    // path's (a by-id link) and the device node's, or the nearest ancestor
    // that exists when a directory went with the device.
    if (!m_watcher) {
        m_watcher = std::make_unique<QFileSystemWatcher>();
        connect(m_watcher.get(), &QFileSystemWatcher::directoryChanged, this, [this] {
            watchDeviceDirectories();
            m_settle.start();
        });
    }
    QStringList wanted;
    for (const QString &path :
         {QDir::cleanPath(QDir(QStringLiteral("/dev")).absoluteFilePath(m_configured)), m_device}) {
        QFileInfo dir(QFileInfo(path).absolutePath());
        while (!dir.isDir() && !dir.isRoot())
            dir.setFile(dir.absolutePath());
        if (!wanted.contains(dir.absoluteFilePath()))
            wanted.append(dir.absoluteFilePath());
    }
    const QStringList watched = m_watcher->directories();
    for (const QString &dir : watched) {
        if (!wanted.contains(dir))
            m_watcher->removePath(dir);
    }
    for (const QString &dir : std::as_const(wanted)) {
        if (!watched.contains(dir))
            m_watcher->addPath(dir);
    }
}

void QtSerialComponent::tryReopen(bool scheduled)
{
    if (!m_waiting || m_port.isOpen())
        return;
    // A cheap look first: most tries find nothing there.
    const QString path = QDir(QStringLiteral("/dev")).absoluteFilePath(m_configured);
    const QString away = tr("%1: the device is no longer available; waiting for it to return").arg(m_device);
    if (!QFileInfo::exists(path)) {
        noteWaitReason(away, scheduled);
        return;
    }
    const QString stamp = linkStamp(path);
    const QString device = PortMap::resolvedPath(m_configured);
    // A pseudo-terminal whose far end closed is gone for good: its number is
    // soon given to another one, quite likely someone's shell, which is not
    // ours to read. One comes back only when the link to it is made anew.
    if (isPseudoTerminal(device) && (stamp.isEmpty() || stamp == m_linkAtOpen)) {
        noteWaitReason(away, scheduled);
        return;
    }
    PortDiagnosis::Facts facts;
    facts.device = device;
#ifdef Q_OS_UNIX
    // Only a character device can be the device back; opening anything else
    // (a FIFO, a file left in its place) is no business of ours.
    struct stat st = {};
    if (::stat(QFile::encodeName(device).constData(), &st) == 0 && !S_ISCHR(st.st_mode)) {
        facts.kind = PortDiagnosis::Kind::NotSerial;
        noteWaitReason(tr("%1; still trying to reopen it").arg(PortDiagnosis::describe(facts)), scheduled);
        return;
    }
#endif
    QSerialPort::SerialPortError error = QSerialPort::NoError;
    QString errorString;
    bool opened = false;
    {
        DepthGuard busy(m_busy);
        opened = openDevice(device, &error, &errorString);
        if (opened && hungUp()) {
            // A terminal whose far end is gone opens but reads nothing ever.
            m_port.close();
            m_port.clearError();
            noteWaitReason(away, scheduled);
            return;
        }
    }
    if (opened) {
        stopWaiting();
        m_linkAtOpen = stamp;
        m_device = device;
        m_reportLoss = false;
        return;
    }
    if (error == QSerialPort::DeviceNotFoundError) {
        noteWaitReason(away, scheduled);
        return;
    }
    noteWaitReason(tr("%1; still trying to reopen it").arg(describeOpenError(error, errorString, device)),
                   scheduled);
}

void QtSerialComponent::noteWaitReason(const QString &reason, bool scheduled)
{
    // Tries prompted by a directory change may catch a device half set up
    // (udev has yet to give it its group); only the regular tries, one
    // retry interval apart, may tell the receiver of a new reason, and only
    // when two of them in a row agree.
    if (!scheduled)
        return;
    if (reason == m_lostDescription) {
        m_waitCandidate.clear();
        return;
    }
    if (reason != m_waitCandidate) {
        m_waitCandidate = reason;
        return;
    }
    m_waitCandidate.clear();
    m_lostDescription = reason;
    raise(EventDeviceLost);
}

bool QtSerialComponent::hungUp()
{
#ifdef Q_OS_UNIX
    pollfd p{int(m_port.handle()), POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLNVAL)) != 0;
#else
    return false;
#endif
}

void QtSerialComponent::arm()
{
    m_armed.start();
    m_throttle.start();
}

void QtSerialComponent::onReadyRead()
{
    // Reads of our own (pullPending) are reported by their caller.
    if (m_busy > 0 || m_closing)
        return;
    if (m_throttle.isActive()) {
        if (!m_busyInterval && m_port.bytesAvailable() < busyIntervalBytes)
            pauseReading();
        return;
    }
    // Armed before raising, so that a nested event loop in the receiver
    // finds the port throttled.
    arm();
    raise(EventReceive);
}

void QtSerialComponent::onErrorOccurred(QSerialPort::SerialPortError error)
{
    // Only a failing read means the device is gone (an unplugged adapter, or
    // the far end of a pseudo-terminal closed). Everything else -- a setting
    // refused, no modem lines, the empty poll of a tick, NotOpenError after
    // a close -- leaves the port as it is.
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError)
        return;
    if (!m_port.isOpen())
        return;
    if (m_busy > 0) {
        m_lossPending = true;
        return;
    }
    // Close at once: an open port whose device is gone keeps reporting the
    // error hundreds of thousands of times a second.
    deviceLost(!m_closing);
}

void QtSerialComponent::onThrottleTimeout()
{
    // Ticks are shared by every port: one armed less than half an interval
    // ago waits for the next, so events stay at least that far apart.
    if (m_armed.isValid() && m_armed.elapsed() < throttleIntervalMs / 2)
        return;
    if (!m_port.isOpen() || m_closing) {
        m_throttle.stop();
        return;
    }
    m_lossPending = false;
    {
        DepthGuard busy(m_busy);
        if (m_paused && !m_capped) {
            readPaused();
        } else {
            resumeReading();
            pullPending(readsPerTick);
        }
    }
    if (m_lossPending) {
        deviceLost(true);
        return;
    }
    // What the port holds beyond what the receiver left came in this interval.
    m_busyInterval = inBufferCount() - m_countAfterEvent >= busyIntervalBytes;
    if (inBufferCount() > m_countAfterEvent) {
        // Still coming: report, and stay armed. A busy device reads freely
        // until the next tick; a slow one stays paused.
        arm();
        if (m_busyInterval)
            resumeReading();
        raise(EventReceive);
        return;
    }
    // Quiet: watch the device again; the next arrival raises OnComm at once.
    m_throttle.stop();
    resumeReading();
}
