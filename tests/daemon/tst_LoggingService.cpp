#include "common/Globals.h"
#include "daemon/LoggingService.h"
#include "resources/ResourceText.h"
#include "tests/support/Files.h"
#include "tests/support/Pty.h"
#include "tests/support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <QTextStream>

#include <memory>
#include <tuple>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// A configuration of sessions given as "port log autoActivate [baud]".
QByteArray configuration(const QStringList &sessions)
{
    QByteArray text = "[Ombrix]\r\nNumSessions=" + QByteArray::number(sessions.size()) + "\r\n";
    for (int i = 0; i < sessions.size(); ++i) {
        const QStringList f = sessions.at(i).split(u' ');
        text +=
            QStringLiteral("[Session%1]\r\nConnector=%2\r\nLogFile=%3\r\nAutoActivate=%4\r\nBaudRate=%5\r\n")
                .arg(i + 1)
                .arg(f.value(0), f.value(1), f.value(2), f.value(3, QStringLiteral("6")))
                .toUtf8();
    }
    return text;
}

} // namespace

class tst_LoggingService : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void problems_data();
    void problems();
    void reloadKeepsUnchangedSessions();
    void errorProgramOnlyFromOwnFile();

private:
    std::unique_ptr<TestEnv> m_env;
    QString m_config;
};

void tst_LoggingService::initTestCase()
{
    m_env = std::make_unique<TestEnv>();
    m_config = m_env->filePath("service.bvx");
    setLanguageOverride(Language::English);
}

void tst_LoggingService::problems_data()
{
    // COM30 is a pseudo-terminal, COM31 a missing device, COM32 a regular
    // file, COM33 a link to COM30's device; %L is a writable log file, %R a
    // read-only directory.
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("all");
    QTest::addColumn<QString>("found"); // kind and session of each problem
    QTest::newRow("good") << configuration({"30 %L 1", "31 /etc/passwd/x 0"}) << false << "";
    QTest::newRow("missing device") << configuration({"31 %L 1"}) << false << "Device1";
    QTest::newRow("regular file as device") << configuration({"30 %L 0", "32 %L 1"}) << false << "Device2";
    QTest::newRow("log under a regular file")
        << configuration({"30 /etc/passwd/x.log 1"}) << false << "LogFile1";
    QTest::newRow("log directory missing") << configuration({"30 %L.d/sub/x.log 1"}) << false << "LogFile1";
    QTest::newRow("read-only log directory") << configuration({"30 %R/x.log 1"}) << false << "LogFile1";
    QTest::newRow("no log name") << configuration({"30 \t 1"}) << false << "LogFile1";
    QTest::newRow("refused value") << configuration({"30 %L 1 13"}) << false << "RefusedValue1";
    QTest::newRow("refused, not started") << configuration({"31 %L 0 13"}) << true << "RefusedValue1";
    QTest::newRow("refused window state")
        << QByteArray("[Ombrix]\r\nWindowState=3\r\n") << false << "RefusedValue0";
    QTest::newRow("NONE with --all") << configuration({"0 %L 0"}) << true << "NoPort1";
    QTest::newRow("one device twice") << configuration({"30 %L 1", "33 %L 1"}) << false << "SharedDevice2";
    QTest::newRow("damaged count") << QByteArray("[Ombrix]\r\nNumSessions=99999\r\n") << false
                                   << "DamagedCount0";
    QTest::newRow("unreadable") << QByteArray() << false << "Unreadable0";
}

void tst_LoggingService::problems()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, all);
    QFETCH(QString, found);
    static const char *const kinds[] = {"Unreadable", "DamagedCount", "RefusedValue", "NoPort",
                                        "Device",     "LogFile",      "SharedDevice"};
    Pty pty;
    m_env->mapPort(30, pty.slavePath());
    m_env->mapPort(31, m_env->filePath("unplugged"));
    m_env->mapPort(32, m_config);
    const QString link = m_env->filePath("link-to-pty");
    QFile::remove(link);
    QVERIFY(QFile::link(pty.slavePath(), link));
    m_env->mapPort(33, link);
    const QString log = m_env->filePath("check.log");
    QFile::remove(m_config);
    const QString readOnly = m_env->filePath("read-only");
    QVERIFY(QDir().mkpath(readOnly) && QFile::setPermissions(readOnly, QFile::ReadOwner | QFile::ExeOwner));
    if (content.contains("%R") && ::geteuid() == 0)
        QSKIP("root may write into any directory");
    if (!content.isNull())
        QVERIFY(writeFile(m_config, content.replace("%L", log.toUtf8()).replace("%R", readOnly.toUtf8())));

    LoggingService service(m_config, all);
    QStringList seen;
    for (const LoggingService::Problem &p : service.problems())
        seen << kinds[int(p.kind)] + QString::number(p.session);
    QCOMPARE(seen.join(u' '), found);

    QString text;
    QTextStream out(&text);
    QCOMPARE(service.check(out), seen.size());
    QVERIFY(!QFile::exists(log)); // a check opens and creates nothing
    QCOMPARE(service.sessionCount(), 0);
}

void tst_LoggingService::reloadKeepsUnchangedSessions()
{
    Pty a, b, c;
    const QString logA = m_env->filePath("a.log"), logA2 = m_env->filePath("a2.log");
    const QString logB = m_env->filePath("b.log"), logC = m_env->filePath("c.log");
    for (auto [port, pty] : {std::pair{40, &a}, {41, &b}, {42, &c}})
        m_env->mapPort(port, pty->slavePath());
    QVERIFY(
        writeFile(m_config, configuration({"40 " + logA + " 1", "41 " + logB + " 1", "42 " + logC + " 0"})));
    LoggingService service(m_config, false);
    QVERIFY(service.start());
    QVERIFY(a.write("a1"));
    QTRY_COMPARE_WITH_TIMEOUT(readFile(logA), QByteArray("a1"), 30000);

    // COM40 keeps its settings under a new log name, COM41 changes its baud
    // rate, COM42 is marked now. Bytes waiting at COM40 across the reload go
    // to the new name: a kept port never closes.
    QVERIFY(writeFile(m_config,
                      configuration({"40 " + logA2 + " 1", "41 " + logB + " 1 12", "42 " + logC + " 1"})));
    QVERIFY(a.write("a2"));
    QSignalSpy messages(&service, &LoggingService::message);
    QVERIFY(service.reload());
    QCOMPARE(messages.last().first().toString(), "Reloaded " + m_config + ": 1 kept, 1 stopped, 2 started");
    QVERIFY(c.write("c1"));
    QTRY_COMPARE_WITH_TIMEOUT(readFile(logA2), QByteArray("a2"), 30000);
    QTRY_COMPARE_WITH_TIMEOUT(readFile(logC), QByteArray("c1"), 30000);
    QCOMPARE(readFile(logA), QByteArray("a1"));

    QVERIFY(QFile::remove(m_config)); // a file that cannot be read leaves everything running
    QVERIFY(!service.reload());
    QCOMPARE(service.activeCount(), 3);
}

QTEST_GUILESS_MAIN(tst_LoggingService)
#include "tst_LoggingService.moc"

// Nobody is asked: a program is taken only from a file that no one but its
// owner or root may change, and a refusal is said once per reading.
void tst_LoggingService::errorProgramOnlyFromOwnFile()
{
    // Modes of the directory and the file, the owner of the directory above
    // (0: root), and whether the program is taken.
    constexpr uid_t nobody = 65534;
    const std::tuple<mode_t, mode_t, uid_t, bool> rows[] = {
        {0700, 0644, 0, true},  {0700, 0664, 0, false},      {0777, 0600, 0, false},
        {01777, 0600, 0, true}, {0755, 0644, nobody, false},
    };
    const QString above = m_env->filePath("above"), dir = above + "/own", config = dir + "/own.bvx";
    QVERIFY(QDir().mkpath(dir));
    for (const auto &[dirMode, fileMode, owner, started] : rows) {
        if (owner != 0 && ::geteuid() != 0)
            QSKIP("giving a directory to another user needs root");
        QVERIFY(writeFile(config, "[Ombrix]\r\nNumSessions=1\r\n[Session1]\r\nOnErrorRunApp=touch x\r\n"));
        QVERIFY(::chmod(QFile::encodeName(dir), dirMode) == 0 &&
                ::chmod(QFile::encodeName(config), fileMode) == 0 &&
                ::chown(QFile::encodeName(above), owner ? owner : ::geteuid(), gid_t(-1)) == 0);
        LoggingService service(config, false);
        QSignalSpy messages(&service, &LoggingService::message);
        service.start();
        QCOMPARE(Globals::AcceptedRunApp, started ? QStringLiteral("touch x") : QString());
        QCOMPARE(messages.count() - 1, started ? 0 : 1); // besides "No session ... is to be started"
        QString checked;
        QTextStream out(&checked);
        service.check(out);
        QCOMPARE(checked.contains(u"touch x (not started"), !started);
    }
}
