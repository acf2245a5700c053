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
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <sys/resource.h>
#include <tuple>
#include <unistd.h>
#include <utility>

using Activation = SerialSession::Activation;

// The session without a window, as the logging service runs it: activation,
// the byte path into the log file, status texts and error reports.
class tst_SerialSession : public QObject
{
    Q_OBJECT

    TestEnv m_env;

    std::unique_ptr<SerialSession> openSession(Pty &pty, int port, const QString &log)
    {
        m_env.mapPort(port, pty.slavePath());
        auto session = std::make_unique<SerialSession>();
        session->setPortName(QStringLiteral("COM%1").arg(port));
        session->setLogFile(log);
        session->setIdleClose(24 * 3600 * 1000); // the tests give the idle ticks themselves
        const auto outcome = session->activate(port, QStringLiteral("9600,N,8,1"), 0);
        return outcome == Activation::Opened ? std::move(session) : nullptr;
    }
    static bool ticks(SerialSession &session, int count)
    {
        auto *timer = session.findChild<SharedTimer *>(QStringLiteral("idleClose"));
        for (int i = 0; timer && timer->isActive() && i < count; ++i)
            emit timer->timeout();
        return timer != nullptr;
    }
    // Whether another program could take the write lock on the file now.
    static bool lockable(const QString &path)
    {
        const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CLOEXEC);
        struct flock lock = {F_WRLCK, SEEK_SET, 0, 0, 0};
        const bool locked = fd >= 0 && ::fcntl(fd, F_OFD_SETLK, &lock) == 0;
        ::close(fd);
        return locked;
    }
    static QStringList errorLogLines()
    {
        return QString::fromUtf8(readFile(ErrorReport::logPath()))
            .split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    }

private slots:
    void initTestCase()
    {
        setLanguageOverride(Language::English);
        std::signal(SIGXFSZ, SIG_IGN); // a write past the file size limit fails instead
    }

    void settings()
    {
        SessionSettings unselected; // a list without a selection gives a field the component refuses
        unselected.baud = -1;
        QCOMPARE(unselected.settingsString(), QStringLiteral(",N,8,1"));
        // Only the port and its line settings decide whether a running session may go on.
        const SessionSettings a;
        for (int SessionSettings::*field :
             {&SessionSettings::port, &SessionSettings::baud, &SessionSettings::parity,
              &SessionSettings::dataBits, &SessionSettings::stopBits, &SessionSettings::flow}) {
            SessionSettings b;
            b.*field += 1;
            QVERIFY(!a.sameLine(b));
        }
        SessionSettings b;
        std::tie(b.logFile, b.outFile, b.lineFeeds, b.autoActivate) =
            std::tuple(QStringLiteral("/x"), QString(), 1, true);
        QVERIFY(a.sameLine(b));
    }

    void activation_data()
    {
        // refuse: "closed" if the port stays closed after opening, else the call that raises
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("flow");
        QTest::addColumn<QString>("refuse");
        QTest::addColumn<Activation>("outcome");
        QTest::addColumn<QString>("calls");
        using enum Activation;
        const QString s = QStringLiteral("port %1;set 9600,N,8,1;");
        QTest::newRow("xon/xoff") << 3 << 1 << "" << Opened << s.arg(3) + "dtr 1;flow 1;open 1";
        // Opto-RS: hardware handshake with the line switch cleared.
        QTest::newRow("Opto-RS") << 4 << 3 << "" << Opened << s.arg(4) + "flow 2;dtr 0;open 1";
        QTest::newRow("absent") << 5 << 0 << "closed" << NotAvailable << s.arg(5) + "dtr 1;flow 0;open 1";
        QTest::newRow("setting refused") << 6 << 0 << "set 9600,N,8,1" << Failed << s.arg(6).chopped(1);
        // A setting that fails only at open leaves the port open: it is closed again.
        QTest::newRow("at open") << 7 << 0 << "open 1" << Failed << s.arg(7) + "dtr 1;flow 0;open 1;open 0";
    }
    void activation()
    {
        QFETCH(int, port);
        QFETCH(int, flow);
        QFETCH(QString, refuse);
        QFETCH(Activation, outcome);
        auto *serial = new RecordingSerial;
        serial->opens = refuse != u"closed";
        serial->raiseOn = refuse;
        SerialSession session(serial);
        QCOMPARE(session.activate(port, QStringLiteral("9600,N,8,1"), flow), outcome);
        const QString status = outcome == Activation::Opened ? QStringLiteral("Open")
                               : outcome == Activation::NotAvailable
                                   ? QStringLiteral("Device Not Available.")
                                   : QStringLiteral("- Error - Broken ") + refuse;
        QCOMPARE(session.status(), QStringLiteral("Status: ") + status);
        QTEST(serial->calls.join(u';'), "calls");
        QCOMPARE(session.isActive(), outcome == Activation::Opened);
        if (outcome == Activation::NotAvailable) // names the device it looked for
            QVERIFY2(session.statusDetail().contains(u"/dev/ttyS4"), qPrintable(session.statusDetail()));
        session.deactivate();
        QCOMPARE(session.status(), QStringLiteral("Status: Closed"));
        QVERIFY(!session.isActive() && !serial->open);
    }

    void appendsUntilTheEnd()
    {
        const QString log = m_env.filePath(QStringLiteral("grown.log"));
        QVERIFY(writeFile(log, "kept"));
        Pty pty;
        auto session = openSession(pty, 20, log);
        QVERIFY(session);
        QSignalSpy changes(session.get(), &SerialSession::statusChanged);
        QVERIFY(pty.write("one"));
        QTRY_COMPARE_WITH_TIMEOUT(readFile(log), QByteArray("keptone"), 30000);
        QVERIFY(pty.write("three"));
        QTRY_COMPARE_WITH_TIMEOUT(readFile(log), QByteArray("keptonethree"), 30000);
        QCOMPARE(changes.size(), 0); // the service prints every change: a steady stream is none
        QVERIFY(pty.write("last"));
        QVERIFY(pty.waitQueuedAtSlave(4)); // waiting in the kernel, no event run for them yet
        session.reset();                   // writes what arrived
        QCOMPARE(readFile(log), QByteArray("keptonethreelast"));
        // A device gone for good: nothing can arrive any more, and the status says so instead of "Open".
        session = openSession(pty, 20, log);
        QVERIFY(session);
        pty.closeMaster();
        QTRY_VERIFY_WITH_TIMEOUT(session->status().startsWith(u"Status: - Error - "), 30000);
        QVERIFY2(session->status().contains(u"no longer available"), qPrintable(session->status()));
    }

    void unwritableLogLosesNothing_data()
    {
        QTest::addColumn<QString>("target"); // empty: the log itself, locked or over the size limit
        QTest::addColumn<QString>("why");    // in the status detail
        QTest::newRow("emptied") << QStringLiteral("   ") << "no log file named";
        QTest::newRow("locked by another program") << QString() << "in use by another program";
        QTest::newRow("device full") << QStringLiteral("/dev/full")
                                     << "No space left on device";         // takes no byte
        QTest::newRow("file size limit") << QString() << "File too large"; // takes part of a batch
    }
    void unwritableLogLosesNothing()
    {
        QFETCH(QString, target);
        QFETCH(QString, why);
        QFile::remove(ErrorReport::logPath());
        Globals::LogErrorsToFile = 1;
        const QString log = m_env.filePath(QTest::currentDataTag() + QStringLiteral(".log"));
        Pty pty;
        auto session = openSession(pty, 21, log);
        QVERIFY(session);
        QByteArray sent = randomBytes(1000);
        QVERIFY(pty.write(sent));
        QTRY_COMPARE_WITH_TIMEOUT(readFile(log), sent, 30000);

        int lockFd = -1;
        rlimit unlimited = {};
        const bool limited = why == u"File too large";
        if (!target.isEmpty()) {
            session->setLogFile(target);
        } else if (limited) { // the next batch of ten fits four bytes; the error log stays below the limit
            QCOMPARE(::getrlimit(RLIMIT_FSIZE, &unlimited), 0);
            rlimit small = unlimited;
            small.rlim_cur = rlim_t(sent.size() + 4);
            QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
        } else { // an open file description lock conflicts even within this process
            QVERIFY(ticks(*session, 3));
            lockFd = ::open(QFile::encodeName(log).constData(), O_WRONLY | O_CLOEXEC);
            struct flock lock = {};
            lock.l_type = F_WRLCK;
            QCOMPARE(::fcntl(lockFd, F_OFD_SETLK, &lock), 0);
        }
        for (int event = 1; event <= 2; ++event) { // each receive event fails and is reported
            const QByteArray burst = QByteArray::number(event).repeated(10);
            sent += burst;
            QVERIFY(pty.write(burst));
            QTRY_VERIFY_WITH_TIMEOUT(errorLogLines().size() >= event, 30000);
            QCOMPARE(session->status(), QStringLiteral("Status: File I/O Error"));
            QVERIFY2(session->statusDetail().contains(why), qPrintable(session->statusDetail()));
        }
        QVERIFY(errorLogLines().constLast().startsWith(u"Ombrix Error: COM21, File I/O Error, "));
        const qsizetype reported = errorLogLines().size(); // a loaded machine may split a burst
        if (lockFd >= 0)
            ::close(lockFd);
        if (limited)
            QCOMPARE(::setrlimit(RLIMIT_FSIZE, &unlimited), 0);
        session->setLogFile(log);
        QVERIFY(pty.write("after"));
        sent += "after";
        // Everything taken, once and in order: what was held goes before what came later.
        QTRY_COMPARE_WITH_TIMEOUT(readFile(log), sent, 30000);
        QCOMPARE(session->status(), QStringLiteral("Status: Open"));
        QCOMPARE(errorLogLines().size(), reported);
    }

    // What a user may do with a log file that the session holds open.
    void logFileWhileOpen_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QByteArray>("log");   // afterwards; "new" was sent after the action
        QTest::addColumn<QByteArray>("other"); // the file the log was renamed to, or the field names
        QTest::newRow("field edited") << "edit" << QByteArray("old") << QByteArray("new");
        QTest::newRow("renamed (log rotation)") << "mv" << QByteArray("new") << QByteArray("old");
        QTest::newRow("a directory on its path renamed") << "mvdir" << QByteArray("new") << QByteArray("old");
        QTest::newRow("deleted") << "rm" << QByteArray("new") << QByteArray();
        QTest::newRow("replaced") << "replace" << QByteArray("othernew") << QByteArray();
        QTest::newRow("truncated") << "truncate" << QByteArray("new") << QByteArray();
        QTest::newRow("no bytes for 2 of 3 ticks, then 3") << "idle" << QByteArray("oldnew") << QByteArray();
        QTest::newRow("de-activated") << "deactivate" << QByteArray("old") << QByteArray();
        QTest::newRow("session gone (window closed)") << "destroy" << QByteArray("old") << QByteArray();
    }
    void logFileWhileOpen()
    {
        QFETCH(QString, action);
        const QString dir = m_env.filePath(action), log = dir + "/sub/log";
        const QString other = action == u"mvdir" ? dir + ".old/sub/log" : log + ".other";
        QVERIFY(QDir().mkpath(dir + "/sub"));
        Pty pty;
        auto session = openSession(pty, 22, log);
        QVERIFY(session && pty.write("old"));
        QTRY_COMPARE_WITH_TIMEOUT(readFile(log), QByteArray("old"), 30000);
        QVERIFY(!lockable(log)); // held: others may read it, not write it
        const bool edit = action == u"edit";
        const QHash<QString, std::function<bool()>> actions = {
            {"edit", [&] { return session->setLogFile(other), true; }},
            {"mv", [&] { return QFile::rename(log, other); }},
            {"mvdir", [&] { return QFile::rename(dir, dir + ".old") && QDir().mkpath(dir + "/sub"); }},
            {"rm", [&] { return QFile::remove(log); }},
            {"replace",
             [&] { return writeFile(other, "other") && ::rename(qPrintable(other), qPrintable(log)) == 0; }},
            {"truncate", [&] { return ::truncate(qPrintable(log), 0) == 0; }},
            {"idle",
             [&] { return ticks(*session, 2) && !lockable(log) && ticks(*session, 1) && lockable(log); }},
            {"deactivate", [&] { return session->deactivate(), lockable(log); }},
            {"destroy", [&] { return session.reset(), lockable(log); }}, // released
        };
        QVERIFY(actions.value(action)());
        if (session && session->isActive()) {
            QVERIFY(pty.write("new"));
            const QString target = edit ? other : log;
            QTRY_VERIFY_WITH_TIMEOUT(readFile(target).endsWith("new"), 30000);
            QVERIFY(!QFile::exists(other) || lockable(edit ? log : other)); // the file it left is released
        }
        QTEST(readFile(log), "log");
        QTEST(readFile(other), "other");
    }

    void errorReports()
    {
        QCOMPARE(ErrorReport::line(QStringLiteral("COM1"), QStringLiteral("a, b"),
                                   QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7))),
                 QByteArray("Ombrix Error: COM1, a, b, 03-04-2026, 05:06:07\r\n"));
        const QString marker = m_env.filePath(QStringLiteral("started"));
        for (const auto &[logToFile, runApp] : {std::pair{0, false}, {-7, false}, {0, true}, {1, true}}) {
            QFile::remove(marker);
            Globals::LogErrorsToFile = logToFile; // any value but 0 logs
            Globals::OnErrorRunApp = runApp ? QStringLiteral("touch \"%1\"").arg(marker) : QString();
            Globals::AcceptedRunApp = Globals::OnErrorRunApp;
            QVERIFY(writeFile(ErrorReport::logPath(), "earlier line\r\n"));
            SerialSession session(new RecordingSerial);
            session.setPortName(QStringLiteral("COM3"));
            session.LogErrors(QStringLiteral("File I/O Error"));
            if (runApp)
                QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker), 30000);
            const QStringList lines = errorLogLines();
            QCOMPARE(lines.size(), logToFile ? 2 : 1);
            QCOMPARE(lines.first(), QStringLiteral("earlier line"));
            QVERIFY(lines.size() == 1 || lines.last().startsWith(u"Ombrix Error: COM3, File I/O Error, "));
        }
    }

    void programStartsWithoutShell()
    {
        QTemporaryDir cwd; // an empty working directory, which must stay empty
        const QString home = QDir::currentPath();
        QVERIFY(QDir::setCurrent(cwd.path()));
        const QString dir = m_env.filePath(QStringLiteral("noshell"));
        QVERIFY(QDir().mkpath(dir));
        // Through a shell, this would create "a" and expand $HOME.
        QVERIFY(ErrorReport::startProgram(
            QStringLiteral("touch %1/a;touch %1/$HOME \"%1/with blank\"").arg(dir)));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(dir + "/with blank"), 30000);
        QVERIFY(QFile::exists(dir + "/a;touch") && QFile::exists(dir + "/$HOME") &&
                !QFile::exists(dir + "/a"));
        // Nothing to start, or nothing that starts: skipped quietly.
        QVERIFY(!ErrorReport::startProgram(QStringLiteral("   ")) &&
                !ErrorReport::startProgram(dir + "/none"));
        QVERIFY(QDir(cwd.path()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
        QVERIFY(QDir::setCurrent(home));
    }
};

QTEST_GUILESS_MAIN(tst_SerialSession)
#include "tst_SerialSession.moc"
