#include "daemon/LoggingService.h"
#include "resources/ResourceText.h"
#include "tests/support/Pty.h"
#include "tests/support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <QTextStream>

#include <memory>

namespace {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct SessionLine
{
    int port;
    QString log;
    bool autoActivate = true;
    int baud = 6;
};

QByteArray configuration(const QList<SessionLine> &sessions)
{
    QByteArray text = "[Ombrix]\r\nNumSessions=" + QByteArray::number(sessions.size()) + "\r\n";
    for (int i = 0; i < sessions.size(); ++i) {
        const SessionLine &s = sessions.at(i);
        text += "[Session" + QByteArray::number(i + 1) + "]\r\nLogFile=" + s.log.toUtf8() +
                "\r\nConnector=" + QByteArray::number(s.port) + "\r\nBaudRate=" + QByteArray::number(s.baud) +
                "\r\nDatabits=3\r\nAutoActivate=" + (s.autoActivate ? "1" : "0") + "\r\n";
    }
    return text;
}

} // namespace

class tst_LoggingService : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void check_data();
    void check();
    void reloadKeepsUnchangedSessions();

private:
    void writeConfig(const QByteArray &content);
    std::unique_ptr<TestEnv> m_env;
    QString m_config;
};

void tst_LoggingService::initTestCase()
{
    m_env = std::make_unique<TestEnv>();
    m_config = m_env->filePath("service.bvx");
    setLanguageOverride(Language::English);
}

void tst_LoggingService::writeConfig(const QByteArray &content)
{
    QFile file(m_config);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

void tst_LoggingService::check_data()
{
    QTest::addColumn<QByteArray>("content"); // %LOG% stands for a writable log file
    QTest::addColumn<bool>("all");
    QTest::addColumn<QStringList>("problems"); // a part of each problem line, in order
    const QByteArray start = "[Ombrix]\r\nNumSessions=1\r\n[Session1]\r\n";
    QTest::newRow("good") << start + "LogFile=%LOG%\r\nConnector=30\r\nAutoActivate=1\r\n"
                          << false << QStringList{};
    QTest::newRow("missing device") << start + "LogFile=%LOG%\r\nConnector=31\r\nAutoActivate=1\r\n"
                                    << false << QStringList{"COM31 opens", "does not exist"};
    QTest::newRow("a regular file as device") << start + "LogFile=%LOG%\r\nConnector=32\r\nAutoActivate=1\r\n"
                                              << false << QStringList{"not a character device"};
    QTest::newRow("log under a regular file")
        << start + "LogFile=/etc/passwd/x.log\r\nConnector=30\r\nAutoActivate=1\r\n"
        << false << QStringList{"/etc/passwd is not a directory"};
    QTest::newRow("log directory missing")
        << start + "LogFile=%LOG%.d/sub/x.log\r\nConnector=30\r\nAutoActivate=1\r\n"
        << false << QStringList{"does not exist"};
    QTest::newRow("empty log name") << start + "LogFile=  \r\nConnector=30\r\nAutoActivate=1\r\n"
                                    << false << QStringList{"no log file"};
    QTest::newRow("refused value") << start +
                                          "LogFile=%LOG%\r\nConnector=30\r\nParity=9\r\nAutoActivate=1\r\n"
                                   << false << QStringList{"[Session1] Parity=9"};
    QTest::newRow("NONE with --all") << start + "LogFile=%LOG%\r\nConnector=0\r\n"
                                     << true << QStringList{"names no port"};
    QTest::newRow("unmarked sessions are not looked at")
        << start + "LogFile=/etc/passwd/x\r\nConnector=31\r\nAutoActivate=0\r\n"
        << false << QStringList{};
    QTest::newRow("two sessions on one device")
        << QByteArray("[Ombrix]\r\nNumSessions=2\r\n[Session1]\r\nLogFile=%LOG%\r\nConnector=30\r\n"
                      "AutoActivate=1\r\n[Session2]\r\nLogFile=%LOG%\r\nConnector=33\r\nAutoActivate=1\r\n")
        << false << QStringList{"as session 1 does"};
    QTest::newRow("damaged count") << QByteArray("[Ombrix]\r\nNumSessions=99999\r\n") << false
                                   << QStringList{"NumSessions=99999"};
}

void tst_LoggingService::check()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, all);
    QFETCH(QStringList, problems);
    Pty pty;
    m_env->mapPort(30, pty.slavePath());
    m_env->mapPort(31, m_env->filePath("unplugged"));
    m_env->mapPort(32, m_config);
    const QString link = m_env->filePath("link-to-pty");
    QFile::remove(link);
    QVERIFY(QFile::link(pty.slavePath(), link));
    m_env->mapPort(33, link); // the same device under another name
    writeConfig(content.replace("%LOG%", m_env->filePath("check.log").toUtf8()));

    LoggingService service(m_config, all);
    QString text;
    QTextStream out(&text);
    const int found = service.check(out);
    out.flush();
    const QStringList lines = text.split(QLatin1Char('\n'));
    QStringList reported;
    for (const QString &line : lines) {
        if (line.startsWith(QLatin1String("Problem: ")))
            reported << line;
    }
    QCOMPARE(found, reported.size());
    QCOMPARE(reported.size(), problems.isEmpty() ? 0 : 1);
    for (const QString &part : problems)
        QVERIFY2(reported.first().contains(part), qPrintable(text));
    QVERIFY(!QFile::exists(m_env->filePath("check.log"))); // a check opens and creates nothing
    QCOMPARE(service.sessionCount(), 0);
}

void tst_LoggingService::reloadKeepsUnchangedSessions()
{
    Pty a, b, c;
    m_env->mapPort(40, a.slavePath());
    m_env->mapPort(41, b.slavePath());
    m_env->mapPort(42, c.slavePath());
    const QString logA = m_env->filePath("a.log"), logB = m_env->filePath("b.log");
    const QString logC = m_env->filePath("c.log"), logA2 = m_env->filePath("a2.log");
    writeConfig(configuration({{40, logA}, {41, logB}, {42, logC, false}}));

    LoggingService service(m_config, false);
    QSignalSpy messages(&service, &LoggingService::message);
    QVERIFY(service.start());
    QCOMPARE(service.activeCount(), 2);
    QVERIFY(a.write("a1"));
    QVERIFY(b.write("b1"));
    QTRY_COMPARE(readFile(logA), QByteArray("a1"));
    QTRY_COMPARE(readFile(logB), QByteArray("b1"));

    // COM40 keeps its line settings and gets a new log name, COM41 changes
    // baud rate, COM42 is now marked.
    writeConfig(configuration({{40, logA2}, {41, logB, true, 12}, {42, logC}}));
    messages.clear();
    // Bytes that wait at COM40 across the reload: a kept port never closes,
    // so they go to the new log name.
    QVERIFY(a.write("a2"));
    QVERIFY(service.reload());
    QStringList text;
    for (const QList<QVariant> &m : std::as_const(messages))
        text << m.first().toString();
    QVERIFY2(text.contains(QStringLiteral("Reloaded %1: 1 kept, 1 stopped, 2 started").arg(m_config)),
             qPrintable(text.join('\n')));
    QVERIFY2(text.contains(QStringLiteral("COM41: Status: Closed")), qPrintable(text.join('\n')));
    QVERIFY2(!text.join('\n').contains(QStringLiteral("COM40")), qPrintable(text.join('\n')));
    QCOMPARE(service.activeCount(), 3);
    QVERIFY(c.write("c1"));
    QTRY_COMPARE(readFile(logA2), QByteArray("a2"));
    QTRY_COMPARE(readFile(logC), QByteArray("c1"));
    QCOMPARE(readFile(logA), QByteArray("a1"));

    // A file that cannot be read leaves everything running.
    QVERIFY(QFile::remove(m_config));
    QVERIFY(!service.reload());
    QCOMPARE(service.activeCount(), 3);

    service.stop();
    QCOMPARE(service.sessionCount(), 0);
}

QTEST_GUILESS_MAIN(tst_LoggingService)
#include "tst_LoggingService.moc"
