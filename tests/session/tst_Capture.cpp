#include "common/Globals.h"
#include "components/ComponentError.h"
#include "components/QtSerialComponent.h"
#include "resources/LoadResource.h"
#include "session/ErrorReport.h"
#include "session/ShapeIndicator.h"
#include "session/frmDocument.h"
#include "tests/support/Pty.h"
#include "tests/support/TestEnv.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace {

// Records what the session asks of its port, in order, and opens or refuses
// as told. Only for what a real port cannot show: the calls themselves.
class RecordingSerial : public SerialComponent
{
public:
    QStringList calls;
    bool opens = true;
    QString raiseOn; // a call name that throws
    bool open = false;

    void setInputMode(int mode) override { calls << QStringLiteral("mode %1").arg(mode); }
    void setCommPort(int port) override { record(QStringLiteral("port %1").arg(port)); }
    void setSettings(const QString &settings) override { record(QStringLiteral("settings ") + settings); }
    void setHandshaking(int mode) override { record(QStringLiteral("handshaking %1").arg(mode)); }
    void setLineSwitch(bool on) override { record(QStringLiteral("lineswitch %1").arg(on)); }
    bool portOpen() const override { return open; }
    void setPortOpen(bool value) override
    {
        record(QStringLiteral("open %1").arg(value));
        open = value && opens;
    }
    int commEvent() const override { return 0; }
    qint64 inBufferCount() const override { return 0; }
    QByteArray input() override { return {}; }
    QString lostDeviceDescription() const override { return {}; }

private:
    void record(const QString &call)
    {
        calls << call;
        if (!raiseOn.isEmpty() && call.startsWith(raiseOn)) {
            if (call.startsWith(QLatin1String("open")))
                open = true; // raises after opening, as a late setting failure does
            throw ComponentError(QStringLiteral("Broken ") + raiseOn);
        }
    }
};

QByteArray randomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(20261206);
    generator.fillRange(reinterpret_cast<quint32 *>(bytes.data()), size / 4);
    return bytes;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList errorLogLines()
{
    const QByteArray text = readFile(ErrorReport::logPath());
    QStringList lines = QString::fromUtf8(text).split(QStringLiteral("\r\n"));
    lines.removeAll(QString());
    return lines;
}

} // namespace

Q_DECLARE_METATYPE(Language)

class tst_Capture : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void activationCalls_data();
    void activationCalls();
    void activationFailures_data();
    void activationFailures();
    void toggleOverRealPort_data();
    void toggleOverRealPort();

    void bytesArriveUnchanged_data();
    void bytesArriveUnchanged();
    void existingLogGrowsAtItsEnd();
    void pathChangeTakesEffectAtNextEvent();
    void unopenableLogKeepsBytesAndReportsOncePerEvent_data();
    void unopenableLogKeepsBytesAndReportsOncePerEvent();
    void failedWriteLosesNothing();
    void lostDeviceShowsError();
    void closingTheWindowWritesWhatArrived();

    void errorLogLine_data();
    void errorLogLine();
    void errorOptions_data();
    void errorOptions();
    void programStartsWithoutShell();

private:
    struct Session
    {
        std::unique_ptr<Pty> pty;
        std::unique_ptr<frmDocument> window;
        QString log;
    };
    // A session window on COM<port> mapped to a fresh pseudo-terminal,
    // logging to `log`, activated.
    Session activeSession(int port, const QString &logName);
    QString status(frmDocument &w) const { return w.StatusBar1[0]->text(); }

    std::unique_ptr<TestEnv> m_env;
};

void tst_Capture::initTestCase()
{
    m_env = std::make_unique<TestEnv>();
    installFontSubstitutions();
}

void tst_Capture::init()
{
    QFile::remove(ErrorReport::logPath());
    Globals::LogErrorsToFile = 0;
    Globals::OnErrorRunApp.clear();
}

void tst_Capture::cleanup()
{
    setLanguageOverride(std::nullopt);
    QFile::remove(ErrorReport::logPath());
}

tst_Capture::Session tst_Capture::activeSession(int port, const QString &logName)
{
    Session s;
    s.pty = std::make_unique<Pty>();
    m_env->mapPort(port, s.pty->slavePath());
    s.window = std::make_unique<frmDocument>();
    s.window->setAttribute(Qt::WA_DeleteOnClose, false);
    // Rows of one test function get files of their own.
    const QString tag =
        QString::fromUtf8(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('-'));
    s.log = m_env->filePath(tag.isEmpty() ? logName : tag + QLatin1Char('-') + logName);
    s.window->txtLogFile->setText(s.log);
    s.window->Combo2->setCurrentIndex(port);
    s.window->Command1_Click();
    return s;
}

void tst_Capture::activationCalls_data()
{
    QTest::addColumn<Language>("language");
    QTest::addColumn<QList<int>>("positions"); // port, baud, parity, data, stop, flow
    QTest::addColumn<QStringList>("calls");
    QTest::newRow("defaults") << Language::English << QList<int>{1, 6, 0, 3, 0, 0}
                              << QStringList{"port 1", "settings 9600,N,8,1", "lineswitch 1", "handshaking 0",
                                             "open 1"};
    QTest::newRow("mark, 5 bits, 2 stop, 110 baud")
        << Language::English << QList<int>{255, 0, 3, 0, 2, 1}
        << QStringList{"port 255", "settings 110,M,5,2", "lineswitch 1", "handshaking 1", "open 1"};
    QTest::newRow("even, 7 bits, 1.5 stop")
        << Language::English << QList<int>{3, 8, 1, 2, 1, 2}
        << QStringList{"port 3", "settings 19200,E,7,1.5", "lineswitch 1", "handshaking 2", "open 1"};
    QTest::newRow("odd in Japanese") << Language::Japanese << QList<int>{4, 12, 2, 3, 0, 0}
                                     << QStringList{"port 4", "settings 115200,O,8,1", "lineswitch 1",
                                                    "handshaking 0", "open 1"};
    QTest::newRow("space in Japanese, Opto-RS")
        << Language::Japanese << QList<int>{5, 1, 4, 1, 0, 3}
        << QStringList{"port 5", "settings 300,S,6,1", "handshaking 2", "lineswitch 0", "open 1"};
}

void tst_Capture::activationCalls()
{
    QFETCH(Language, language);
    QFETCH(QList<int>, positions);
    QFETCH(QStringList, calls);
    setLanguageOverride(language);
    auto *port = new RecordingSerial;
    frmDocument w(nullptr, port);
    w.setAttribute(Qt::WA_DeleteOnClose, false);
    w.Combo2->setCurrentIndex(positions[0]);
    for (int i = 0; i < 5; ++i)
        w.Combo1[i]->setCurrentIndex(positions[i + 1]);
    port->calls.clear();

    w.Command1_Click();
    QCOMPARE(port->calls, calls);
    QCOMPARE(status(w), LoadResource(2161) + ' ' + LoadResource(2163));
    QCOMPARE(w.windowTitle(), w.Combo2->currentText() + ' ' + LoadResource(2143));
    QCOMPARE(w.Command1->text(), LoadResource(2160));
    QVERIFY(w.isActive());
    QVERIFY(!w.Combo2->isEnabled());
    for (QComboBox *list : w.Combo1)
        QVERIFY(!list->isEnabled());
    QVERIFY(w.txtLogFile->isEnabled() && w.Command3[0]->isEnabled());

    // The toggle recognises the localised caption; the port closes even if
    // the component already reports it closed.
    port->open = false;
    port->calls.clear();
    const QString title = w.windowTitle();
    w.Command1_Click();
    QCOMPARE(port->calls, QStringList{});
    QCOMPARE(status(w), LoadResource(2161) + ' ' + LoadResource(2162));
    QCOMPARE(w.Command1->text(), LoadResource(2159));
    QCOMPARE(w.windowTitle(), title); // still names the port last opened
    QVERIFY(w.Combo2->isEnabled() && w.Combo1[4]->isEnabled());
}

void tst_Capture::activationFailures_data()
{
    QTest::addColumn<QString>("portText"); // selected or typed
    QTest::addColumn<bool>("opens");
    QTest::addColumn<QString>("raiseOn");
    QTest::addColumn<QString>("expectedStatus");
    QTest::addColumn<bool>("closedAfter");
    QTest::newRow("NONE") << "NONE" << true << ""
                          << "Status:" << false;
    QTest::newRow("device not available") << "COM2" << false << ""
                                          << "Status: Device Not Available." << false;
    QTest::newRow("setting refused") << "COM2" << true << "settings"
                                     << "Status: - Error - Broken settings" << false;
    QTest::newRow("open raises") << "COM2" << true << "open 1"
                                 << "Status: - Error - Broken open 1" << true;
    QTest::newRow("typed port names no entry") << "COM999" << true << ""
                                               << "Status: - Error - Invalid port number" << false;
}

void tst_Capture::activationFailures()
{
    QFETCH(QString, portText);
    QFETCH(bool, opens);
    QFETCH(QString, raiseOn);
    QFETCH(QString, expectedStatus);
    QFETCH(bool, closedAfter);
    setLanguageOverride(Language::English);
    auto *port = new RecordingSerial;
    port->opens = opens;
    port->raiseOn = raiseOn;
    frmDocument w(nullptr, port);
    w.setAttribute(Qt::WA_DeleteOnClose, false);
    w.setWindowTitle(QStringLiteral("before"));
    if (portText == QLatin1String("COM999")) {
        w.Combo2->setEditText(portText);
        // A port that names no entry reaches the component as an invalid number.
        port->raiseOn = QStringLiteral("port -1");
    } else {
        w.Combo2->setCurrentIndex(w.Combo2->findText(portText));
    }
    w.Command1_Click();

    if (portText == QLatin1String("COM999"))
        QVERIFY(status(w).startsWith(QStringLiteral("Status: - Error - Broken port -1")));
    else
        QCOMPARE(status(w), expectedStatus);
    QCOMPARE(w.Command1->text(), QStringLiteral("Activate"));
    QVERIFY(w.Combo2->isEnabled() && w.Combo1[0]->isEnabled());
    QCOMPARE(w.windowTitle(), portText == QLatin1String("NONE") ? QStringLiteral("RS232 Serial Data Logger")
                                                                : QStringLiteral("before"));
    QVERIFY(!port->open);
    QCOMPARE(port->calls.endsWith(QStringLiteral("open 0")), closedAfter);
}

void tst_Capture::toggleOverRealPort_data()
{
    QTest::addColumn<QString>("device"); // "pty", "missing", "busy"
    QTest::addColumn<QString>("expectedStatus");
    QTest::newRow("open") << "pty"
                          << "Status: Open";
    QTest::newRow("missing device") << "missing"
                                    << "Status: Device Not Available.";
    QTest::newRow("busy device") << "busy"
                                 << "Status: - Error - ";
}

void tst_Capture::toggleOverRealPort()
{
    QFETCH(QString, device);
    QFETCH(QString, expectedStatus);
    setLanguageOverride(Language::English);
    Pty pty;
    m_env->mapPort(9, device == QLatin1String("missing") ? m_env->filePath("unplugged") : pty.slavePath());
    QtSerialComponent holder;
    if (device == QLatin1String("busy")) {
        holder.setCommPort(9);
        holder.setPortOpen(true);
        QVERIFY(holder.portOpen());
    }
    frmDocument w;
    w.setAttribute(Qt::WA_DeleteOnClose, false);
    w.Combo2->setCurrentIndex(9);
    w.Command1_Click();
    QVERIFY2(status(w).startsWith(expectedStatus), qPrintable(status(w)));
    QCOMPARE(w.MSComm1->portOpen(), device == QLatin1String("pty"));
    if (device == QLatin1String("busy"))
        QVERIFY2(status(w).contains(QStringLiteral("in use")), qPrintable(status(w)));
    if (device == QLatin1String("pty")) {
        w.Command1_Click();
        QCOMPARE(status(w), QStringLiteral("Status: Closed"));
        QVERIFY(!w.MSComm1->portOpen());
        // The device is free again for another program.
        holder.setCommPort(9);
        holder.setPortOpen(true);
        QVERIFY(holder.portOpen());
    }
}

void tst_Capture::bytesArriveUnchanged_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QByteArray every;
    for (int i = 0; i < 256; ++i)
        every.append(char(i));
    QTest::newRow("every byte value") << every;
    QTest::newRow("line ends and controls") << QByteArray("a\r\nb\rc\n\0\x11\x13\xff", 12);
    QTest::newRow("16 MiB burst") << randomBytes(16 * 1024 * 1024);
}

void tst_Capture::bytesArriveUnchanged()
{
    QFETCH(QByteArray, bytes);
    Session s = activeSession(10, QStringLiteral("unchanged.log"));
    QCOMPARE(status(*s.window), QStringLiteral("Status: Open"));
    QVERIFY(!QFile::exists(s.log));
    QVERIFY(s.pty->write(bytes));
    QTRY_COMPARE_WITH_TIMEOUT(QFileInfo(s.log).size(), bytes.size(), 60000);
    QVERIFY(readFile(s.log) == bytes);
    QCOMPARE(status(*s.window), QStringLiteral("Status: Open"));
}

void tst_Capture::existingLogGrowsAtItsEnd()
{
    Session s = activeSession(11, QStringLiteral("existing.log"));
    {
        QFile log(s.log);
        QVERIFY(log.open(QIODevice::WriteOnly));
        log.write("kept\n");
    }
    QVERIFY(s.pty->write("added"));
    QTRY_COMPARE(readFile(s.log), QByteArray("kept\nadded"));
}

void tst_Capture::pathChangeTakesEffectAtNextEvent()
{
    Session s = activeSession(12, QStringLiteral("first.log"));
    QVERIFY(s.pty->write("one"));
    QTRY_COMPARE(readFile(s.log), QByteArray("one"));
    const QString second = m_env->filePath("second.log");
    s.window->txtLogFile->setText(QStringLiteral("  ") + second + QStringLiteral(" ")); // blanks trimmed
    QVERIFY(s.pty->write("two"));
    QTRY_COMPARE(readFile(second), QByteArray("two"));
    QCOMPARE(readFile(s.log), QByteArray("one"));
}

void tst_Capture::unopenableLogKeepsBytesAndReportsOncePerEvent_data()
{
    QTest::addColumn<QString>("badPath");
    QTest::newRow("emptied") << "";
    QTest::newRow("blanks only") << "   ";
    QTest::newRow("missing directory") << "/nonexistent-dir/x.log";
    QTest::newRow("a directory") << "/tmp";
    QTest::newRow("locked by another writer") << "locked";
}

void tst_Capture::unopenableLogKeepsBytesAndReportsOncePerEvent()
{
    QFETCH(QString, badPath);
    Globals::LogErrorsToFile = 1;
    Session s = activeSession(13, QStringLiteral("recovered.log"));
    int lockFd = -1;
    if (badPath == QLatin1String("locked")) {
        // Another writer holds the file: it may be read, not written.
        badPath = m_env->filePath("locked.log");
        lockFd = ::open(QFile::encodeName(badPath).constData(), O_WRONLY | O_CREAT, 0644);
        struct flock lock = {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        QCOMPARE(::fcntl(lockFd, F_OFD_SETLK, &lock), 0);
    }
    s.window->txtLogFile->setText(badPath);

    QByteArray sent;
    for (int event = 1; event <= 3; ++event) {
        // Wait for each burst's event before the next, so each is one event.
        const QByteArray burst = QByteArray::number(event).repeated(10);
        sent += burst;
        QVERIFY(s.pty->write(burst));
        QTRY_COMPARE(errorLogLines().size(), event);
        QCOMPARE(status(*s.window), QStringLiteral("Status: File I/O Error"));
    }
    QVERIFY(errorLogLines().constLast().startsWith(QStringLiteral("Ombrix Error: COM13, File I/O Error, ")));
    QTest::qWait(200); // proving an absence: no report without a new arrival
    QCOMPARE(errorLogLines().size(), 3);

    if (lockFd >= 0)
        ::close(lockFd);
    s.window->txtLogFile->setText(s.log);
    QVERIFY(s.pty->write("end"));
    sent += "end";
    QTRY_COMPARE(readFile(s.log), sent);
    QCOMPARE(status(*s.window), QStringLiteral("Status: Open"));
    QCOMPARE(errorLogLines().size(), 3);
}

void tst_Capture::failedWriteLosesNothing()
{
    // A file that opens but takes no bytes (a full disk) must not lose what
    // was taken from the port.
    Globals::LogErrorsToFile = 1;
    Session s = activeSession(14, QStringLiteral("after-full.log"));
    s.window->txtLogFile->setText(QStringLiteral("/dev/full"));
    const QByteArray first = randomBytes(64 * 1024);
    QVERIFY(s.pty->write(first));
    QTRY_VERIFY(errorLogLines().size() >= 1);
    QCOMPARE(status(*s.window), QStringLiteral("Status: File I/O Error"));

    s.window->txtLogFile->setText(s.log);
    QVERIFY(s.pty->write("tail"));
    QTRY_COMPARE_WITH_TIMEOUT(QFileInfo(s.log).size(), first.size() + 4, 20000);
    QVERIFY(readFile(s.log) == first + "tail");
}

void tst_Capture::lostDeviceShowsError()
{
    Session s = activeSession(15, QStringLiteral("lost.log"));
    QVERIFY(s.pty->write("before"));
    QTRY_COMPARE(readFile(s.log), QByteArray("before"));
    s.pty->closeMaster();
    QTRY_VERIFY(status(*s.window).startsWith(QStringLiteral("Status: - Error - ")));
    QVERIFY2(status(*s.window).contains(QStringLiteral("no longer available")),
             qPrintable(status(*s.window)));
    QCOMPARE(s.window->Shape1[0]->FillColor(), ShapeIndicator::Red);
    QVERIFY(s.window->isActive()); // still recorded as active
    QTRY_COMPARE_WITH_TIMEOUT(s.window->Shape1[0]->FillColor(), ShapeIndicator::Green, 2000);
}

void tst_Capture::closingTheWindowWritesWhatArrived()
{
    Session s = activeSession(16, QStringLiteral("closing.log"));
    QVERIFY(s.pty->write("first"));
    QTRY_COMPARE(readFile(s.log), QByteArray("first"));
    // Bytes that reach the port while the next event is held back.
    QVERIFY(s.pty->write("last"));
    QVERIFY(s.pty->waitQueuedAtSlave(4));
    s.window.reset();
    QCOMPARE(readFile(s.log), QByteArray("firstlast"));
}

void tst_Capture::errorLogLine_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QDateTime>("when");
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("padded date and time")
        << "COM1"
        << "File I/O Error" << QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7))
        << QByteArray("Ombrix Error: COM1, File I/O Error, 03-04-2026, 05:06:07\r\n");
    QTest::newRow("afternoon, commas kept")
        << "NONE"
        << "a, b, c" << QDateTime(QDate(2026, 12, 31), QTime(23, 59, 58))
        << QByteArray("Ombrix Error: NONE, a, b, c, 12-31-2026, 23:59:58\r\n");
}

void tst_Capture::errorLogLine()
{
    QFETCH(QString, port);
    QFETCH(QString, description);
    QFETCH(QDateTime, when);
    QFETCH(QByteArray, line);
    QCOMPARE(ErrorReport::line(port, description, when), line);
}

void tst_Capture::errorOptions_data()
{
    QTest::addColumn<int>("logToFile");
    QTest::addColumn<bool>("runApp");
    QTest::newRow("neither") << 0 << false;
    QTest::newRow("log only") << 1 << false;
    QTest::newRow("log, any non-zero value") << -7 << false;
    QTest::newRow("program only") << 0 << true;
    QTest::newRow("both") << 1 << true;
}

void tst_Capture::errorOptions()
{
    QFETCH(int, logToFile);
    QFETCH(bool, runApp);
    const QString marker = m_env->filePath("started");
    QFile::remove(marker);
    Globals::LogErrorsToFile = logToFile;
    Globals::OnErrorRunApp = runApp ? QStringLiteral("touch \"%1\"").arg(marker) : QString();
    frmDocument w;
    w.setAttribute(Qt::WA_DeleteOnClose, false);
    w.Combo2->setCurrentIndex(3);
    {
        QFile old(ErrorReport::logPath());
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("earlier line\r\n");
    }
    w.LogErrors(QStringLiteral("File I/O Error"));
    w.LogErrors(QStringLiteral("Second"));
    if (runApp)
        QTRY_VERIFY(QFile::exists(marker));
    const QStringList lines = errorLogLines();
    QCOMPARE(lines.size(), logToFile ? 3 : 1);
    QCOMPARE(lines.first(), QStringLiteral("earlier line"));
    if (logToFile) {
        static const QRegularExpression format(QStringLiteral(
            "^Ombrix Error: COM3, File I/O Error, \\d\\d-\\d\\d-\\d{4}, \\d\\d:\\d\\d:\\d\\d$"));
        QVERIFY2(format.match(lines.at(1)).hasMatch(), qPrintable(lines.at(1)));
    }
    QCOMPARE(status(w), QStringLiteral("Status:")); // reporting never touches the status line
    if (!runApp) {
        QTest::qWait(100); // proving an absence
        QVERIFY(!QFile::exists(marker));
    }
}

void tst_Capture::programStartsWithoutShell()
{
    const QString dir = m_env->filePath("noshell");
    QVERIFY(QDir().mkpath(dir));
    // Started through a shell, these would create "a" and the output of id.
    QVERIFY(
        ErrorReport::startProgram(QStringLiteral("touch %1/a;touch %1/$(id) \"%1/with blank\"").arg(dir)));
    QTRY_VERIFY(QFile::exists(dir + QStringLiteral("/with blank")));
    QVERIFY(QFile::exists(dir + QStringLiteral("/a;touch")));
    QVERIFY(QFile::exists(dir + QStringLiteral("/$(id)")));
    QVERIFY(!QFile::exists(dir + QStringLiteral("/a")));
    // Nothing to start, or nothing that starts: skipped quietly.
    QVERIFY(!ErrorReport::startProgram(QStringLiteral("   ")));
    QVERIFY(!ErrorReport::startProgram(m_env->filePath("no-such-program")));
}

QTEST_MAIN(tst_Capture)
#include "tst_Capture.moc"
