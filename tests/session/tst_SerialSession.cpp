#include "common/Globals.h"
#include "resources/ResourceText.h"
#include "session/ErrorReport.h"
#include "session/SerialSession.h"
#include "session/SessionSettings.h"
#include "tests/support/Files.h"
#include "tests/support/Pty.h"
#include "tests/support/SessionFixture.h"
#include "tests/support/TestEnv.h"

#include <QDir>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>

namespace {

QStringList errorLogLines()
{
    return QString::fromUtf8(readFile(ErrorReport::logPath()))
        .split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
}

} // namespace

// The session without a window, as the logging service runs it: activation,
// the byte path into the log file, status texts and error reports. Built
// against the widget-free libraries only.
class tst_SerialSession : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void settingsString_data();
    void settingsString();
    void sameLine();
    void activation_data();
    void activation();

    void appendsToTheNamedFile();
    void unwritableLogLosesNothing_data();
    void unwritableLogLosesNothing();
    void destroyingAnActiveSessionWritesWhatArrived();

    void errorLogLine();
    void errorOptions_data();
    void errorOptions();
    void programStartsWithoutShell();

private:
    std::unique_ptr<TestEnv> m_env;
};

void tst_SerialSession::initTestCase()
{
    m_env = std::make_unique<TestEnv>();
    setLanguageOverride(Language::English);
    std::signal(SIGXFSZ, SIG_IGN); // a write past the file size limit fails instead
}

void tst_SerialSession::init()
{
    QFile::remove(ErrorReport::logPath());
    Globals::LogErrorsToFile = 0;
    Globals::OnErrorRunApp.clear();
}

void tst_SerialSession::settingsString_data()
{
    QTest::addColumn<QList<int>>("positions"); // baud, parity, data, stop
    QTest::addColumn<QString>("expected");
    QTest::newRow("defaults") << QList<int>{6, 0, 3, 0} << "9600,N,8,1";
    QTest::newRow("mark, 5 bits, 2 stop, 110") << QList<int>{0, 3, 0, 2} << "110,M,5,2";
    QTest::newRow("even, 7 bits, 1.5 stop") << QList<int>{8, 1, 2, 1} << "19200,E,7,1.5";
    QTest::newRow("odd, 6 bits") << QList<int>{12, 2, 1, 0} << "115200,O,6,1";
    QTest::newRow("space") << QList<int>{1, 4, 3, 0} << "300,S,8,1";
    // A list without a selection gives an empty field, which the component refuses.
    QTest::newRow("no baud selected") << QList<int>{-1, 2, 3, 0} << ",O,8,1";
}

void tst_SerialSession::settingsString()
{
    QFETCH(QList<int>, positions);
    QFETCH(QString, expected);
    SessionSettings s;
    s.baud = positions[0];
    s.parity = positions[1];
    s.dataBits = positions[2];
    s.stopBits = positions[3];
    QCOMPARE(s.settingsString(), expected);
}

void tst_SerialSession::sameLine()
{
    // Only the port and its line settings decide whether a running session may go on.
    const SessionSettings a;
    const auto differs = [&a](auto change) {
        SessionSettings b = a;
        change(b);
        return !a.sameLine(b);
    };
    QVERIFY(!differs([](SessionSettings &b) {
        b.logFile = QStringLiteral("/elsewhere.log");
        b.outFile.clear();
        b.lineFeeds = 1;
        b.autoActivate = true;
    }));
    QVERIFY(differs([](SessionSettings &b) { b.port = 4; }));
    QVERIFY(differs([](SessionSettings &b) { b.baud = 12; }));
    QVERIFY(differs([](SessionSettings &b) { b.parity = 2; }));
    QVERIFY(differs([](SessionSettings &b) { b.dataBits = 1; }));
    QVERIFY(differs([](SessionSettings &b) { b.stopBits = 1; }));
    QVERIFY(differs([](SessionSettings &b) { b.flow = 3; }));
}

void tst_SerialSession::activation_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("flow");
    QTest::addColumn<QString>("refuse"); // "closed": stays closed after opening; else the call that raises
    QTest::addColumn<SerialSession::Activation>("outcome");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QStringList>("calls");
    using A = SerialSession::Activation;
    QTest::newRow("NONE") << 0 << 0 << "" << A::NoPort << "Status:" << QStringList{};
    QTest::newRow("xon/xoff") << 3 << 1 << "" << A::Opened << "Status: Open"
                              << QStringList{"port 3", "settings 9600,N,8,1", "lineswitch 1", "handshaking 1",
                                             "open 1"};
    // Opto-RS: hardware handshake with the line switch cleared.
    QTest::newRow("Opto-RS") << 4 << 3 << "" << A::Opened << "Status: Open"
                             << QStringList{"port 4", "settings 9600,N,8,1", "handshaking 2", "lineswitch 0",
                                            "open 1"};
    QTest::newRow("not available") << 5 << 0 << "closed" << A::NotAvailable << "Status: Device Not Available."
                                   << QStringList{"port 5", "settings 9600,N,8,1", "lineswitch 1",
                                                  "handshaking 0", "open 1"};
    QTest::newRow("setting refused") << 6 << 0 << "settings 9600,N,8,1" << A::Failed
                                     << "Status: - Error - Broken settings 9600,N,8,1"
                                     << QStringList{"port 6", "settings 9600,N,8,1"};
    // A setting that fails only at open leaves the port open: it is closed again.
    QTest::newRow("open raises") << 7 << 0 << "open 1" << A::Failed << "Status: - Error - Broken open 1"
                                 << QStringList{"port 7",       "settings 9600,N,8,1",
                                                "lineswitch 1", "handshaking 0",
                                                "open 1",       "open 0"};
}

void tst_SerialSession::activation()
{
    QFETCH(int, port);
    QFETCH(int, flow);
    QFETCH(QString, refuse);
    QFETCH(SerialSession::Activation, outcome);
    QFETCH(QString, status);
    QFETCH(QStringList, calls);
    auto *serial = new RecordingSerial;
    serial->opens = refuse != QLatin1String("closed");
    serial->raiseOn = refuse;
    SerialSession session(serial);
    QCOMPARE(session.activate(port, QStringLiteral("9600,N,8,1"), flow), outcome);
    QCOMPARE(session.status(), status);
    QCOMPARE(serial->calls, calls);
    QCOMPARE(session.isActive(), outcome == SerialSession::Activation::Opened);
    QCOMPARE(serial->open, session.isActive());
    if (outcome == SerialSession::Activation::NotAvailable)
        QVERIFY2(session.statusDetail().contains(QStringLiteral("/dev/ttyS4")),
                 qPrintable(session.statusDetail()));

    session.deactivate();
    QCOMPARE(session.status(), QStringLiteral("Status: Closed"));
    QVERIFY(!session.isActive() && !serial->open);
}

void tst_SerialSession::appendsToTheNamedFile()
{
    Pty pty;
    m_env->mapPort(20, pty.slavePath());
    const QString log = m_env->filePath(QStringLiteral("grown.log"));
    QVERIFY(writeFile(log, "kept"));
    SerialSession session;
    session.setLogFile(log);
    QSignalSpy changes(&session, &SerialSession::statusChanged);
    QCOMPARE(session.activate(20, QStringLiteral("9600,N,8,1"), 0), SerialSession::Activation::Opened);
    QVERIFY(pty.write("one"));
    QTRY_COMPARE(readFile(log), QByteArray("keptone"));
    // The file is closed between batches: another program may add to it,
    // and the next batch goes after what it wrote.
    {
        QFile other(log);
        QVERIFY(other.open(QIODevice::Append));
        other.write("two");
    }
    QVERIFY(pty.write("three"));
    QTRY_COMPARE(readFile(log), QByteArray("keptonetwothree"));

    // A new name, read with blanks trimmed, takes effect with the next bytes.
    const QString second = m_env->filePath(QStringLiteral("second.log"));
    session.setLogFile(QStringLiteral("  ") + second + QStringLiteral(" "));
    QVERIFY(pty.write("four"));
    QTRY_COMPARE(readFile(second), QByteArray("four"));
    QCOMPARE(readFile(log), QByteArray("keptonetwothree"));
    // The service prints every change: a steady stream is one "Open".
    QCOMPARE(changes.size(), 1);
    QCOMPARE(session.status(), QStringLiteral("Status: Open"));
}

void tst_SerialSession::unwritableLogLosesNothing_data()
{
    QTest::addColumn<QString>("why"); // in the status detail
    QTest::newRow("emptied") << "no log file named";
    QTest::newRow("missing directory") << "No such file or directory";
    QTest::newRow("a directory") << "Is a directory";
    QTest::newRow("locked by another program") << "in use by another program";
    QTest::newRow("device full") << "No space left on device"; // opens, takes no byte
    QTest::newRow("file size limit") << "File too large";      // takes part of a batch
}

void tst_SerialSession::unwritableLogLosesNothing()
{
    QFETCH(QString, why);
    const QByteArray fault = QTest::currentDataTag();
    Globals::LogErrorsToFile = 1;
    Pty pty;
    m_env->mapPort(21, pty.slavePath());
    const QString log = m_env->filePath(QString::fromLatin1(fault) + QStringLiteral(".log"));
    SerialSession session;
    session.setPortName(QStringLiteral("COM21"));
    session.setLogFile(log);
    QCOMPARE(session.activate(21, QStringLiteral("9600,N,8,1"), 0), SerialSession::Activation::Opened);
    QByteArray sent = randomBytes(1000);
    QVERIFY(pty.write(sent));
    QTRY_COMPARE(readFile(log), sent);

    int lockFd = -1;
    rlimit unlimited = {};
    bool limited = false;
    if (fault == "emptied") {
        session.setLogFile(QStringLiteral("   "));
    } else if (fault == "missing directory") {
        session.setLogFile(m_env->filePath(QStringLiteral("gone/x.log")));
    } else if (fault == "a directory") {
        session.setLogFile(m_env->path());
    } else if (fault == "device full") {
        session.setLogFile(QStringLiteral("/dev/full"));
    } else if (fault == "locked by another program") {
        // An open file description lock conflicts even within this process.
        lockFd = ::open(QFile::encodeName(log).constData(), O_WRONLY | O_CLOEXEC);
        struct flock lock = {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        QCOMPARE(::fcntl(lockFd, F_OFD_SETLK, &lock), 0);
    } else {
        // The next batch of ten fits four bytes; the error log stays small enough.
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &unlimited), 0);
        rlimit small = unlimited;
        small.rlim_cur = rlim_t(sent.size() + 4);
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
        limited = true;
    }

    // Each receive event fails and is reported once.
    for (int event = 1; event <= 2; ++event) {
        const QByteArray burst = QByteArray::number(event).repeated(10);
        sent += burst;
        QVERIFY(pty.write(burst));
        QTRY_COMPARE(errorLogLines().size(), event);
        QCOMPARE(session.status(), QStringLiteral("Status: File I/O Error"));
        QVERIFY2(session.statusDetail().contains(why), qPrintable(session.statusDetail()));
    }
    QVERIFY(errorLogLines().constLast().startsWith(QStringLiteral("Ombrix Error: COM21, File I/O Error, ")));

    if (lockFd >= 0)
        ::close(lockFd);
    if (limited)
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &unlimited), 0);
    session.setLogFile(log);
    QVERIFY(pty.write("after"));
    sent += "after";
    // Everything taken, once and in order: what was held goes before what came later.
    QTRY_COMPARE(readFile(log), sent);
    QCOMPARE(session.status(), QStringLiteral("Status: Open"));
    QCOMPARE(errorLogLines().size(), 2);
}

void tst_SerialSession::destroyingAnActiveSessionWritesWhatArrived()
{
    Pty pty;
    m_env->mapPort(22, pty.slavePath());
    const QString log = m_env->filePath(QStringLiteral("last.log"));
    auto session = std::make_unique<SerialSession>();
    session->setLogFile(log);
    QCOMPARE(session->activate(22, QStringLiteral("9600,N,8,1"), 0), SerialSession::Activation::Opened);
    QVERIFY(pty.write("first"));
    QTRY_COMPARE(readFile(log), QByteArray("first"));
    // Bytes waiting in the kernel, no event run for them yet.
    QVERIFY(pty.write("last"));
    QVERIFY(pty.waitQueuedAtSlave(4));
    session.reset();
    QCOMPARE(readFile(log), QByteArray("firstlast"));
}

void tst_SerialSession::errorLogLine()
{
    QCOMPARE(ErrorReport::line(QStringLiteral("COM1"), QStringLiteral("File I/O Error"),
                               QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7))),
             QByteArray("Ombrix Error: COM1, File I/O Error, 03-04-2026, 05:06:07\r\n"));
    QCOMPARE(ErrorReport::line(QStringLiteral("NONE"), QStringLiteral("a, b"),
                               QDateTime(QDate(2026, 12, 31), QTime(23, 59, 58))),
             QByteArray("Ombrix Error: NONE, a, b, 12-31-2026, 23:59:58\r\n"));
}

void tst_SerialSession::errorOptions_data()
{
    QTest::addColumn<int>("logToFile");
    QTest::addColumn<bool>("runApp");
    QTest::newRow("neither") << 0 << false;
    QTest::newRow("log only") << 1 << false;
    QTest::newRow("log, any non-zero value") << -7 << false;
    QTest::newRow("program only") << 0 << true;
    QTest::newRow("both") << 1 << true;
}

void tst_SerialSession::errorOptions()
{
    QFETCH(int, logToFile);
    QFETCH(bool, runApp);
    const QString marker = m_env->filePath(QStringLiteral("started"));
    QFile::remove(marker);
    Globals::LogErrorsToFile = logToFile;
    Globals::OnErrorRunApp = runApp ? QStringLiteral("touch \"%1\"").arg(marker) : QString();
    QVERIFY(writeFile(ErrorReport::logPath(), "earlier line\r\n"));
    SerialSession session(new RecordingSerial);
    session.setPortName(QStringLiteral("COM3"));
    session.LogErrors(QStringLiteral("File I/O Error"));
    if (runApp)
        QTRY_VERIFY(QFile::exists(marker));
    const QStringList lines = errorLogLines();
    QCOMPARE(lines.size(), logToFile ? 2 : 1);
    QCOMPARE(lines.first(), QStringLiteral("earlier line"));
    static const QRegularExpression format(
        QStringLiteral("^Ombrix Error: COM3, File I/O Error, \\d\\d-\\d\\d-\\d{4}, \\d\\d:\\d\\d:\\d\\d$"));
    QVERIFY2(lines.size() == 1 || format.match(lines.last()).hasMatch(), qPrintable(lines.last()));
    QCOMPARE(session.status(), QString()); // reporting never touches the status
}

void tst_SerialSession::programStartsWithoutShell()
{
    // From an empty working directory, which must stay empty.
    QTemporaryDir cwd;
    const QString home = QDir::currentPath();
    QVERIFY(QDir::setCurrent(cwd.path()));
    const QString dir = m_env->filePath(QStringLiteral("noshell"));
    QVERIFY(QDir().mkpath(dir));
    // Through a shell, this would create "a" and expand $HOME.
    QVERIFY(
        ErrorReport::startProgram(QStringLiteral("touch %1/a;touch %1/$HOME \"%1/with blank\"").arg(dir)));
    QTRY_VERIFY(QFile::exists(dir + QStringLiteral("/with blank")));
    QVERIFY(QFile::exists(dir + QStringLiteral("/a;touch")));
    QVERIFY(QFile::exists(dir + QStringLiteral("/$HOME")));
    QVERIFY(!QFile::exists(dir + QStringLiteral("/a")));
    // Nothing to start, or nothing that starts: skipped quietly.
    QVERIFY(!ErrorReport::startProgram(QStringLiteral("   ")));
    QVERIFY(!ErrorReport::startProgram(m_env->filePath(QStringLiteral("no-such-program"))));
    QCOMPARE(QDir(cwd.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList());
    QVERIFY(QDir::setCurrent(home));
}

QTEST_GUILESS_MAIN(tst_SerialSession)
#include "tst_SerialSession.moc"
