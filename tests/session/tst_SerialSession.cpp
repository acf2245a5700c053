#include "common/Globals.h"
#include "components/SerialComponent.h"
#include "resources/ResourceText.h"
#include "session/ErrorReport.h"
#include "session/SerialSession.h"
#include "session/SessionSettings.h"
#include "tests/support/Pty.h"
#include "tests/support/TestEnv.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

// The session without a window, as the logging service runs it. Built
// against the widget-free libraries only: it must not need a GUI.
class tst_SerialSession : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void settingsString_data();
    void settingsString();
    void sameLine_data();
    void sameLine();
    void activation_data();
    void activation();
    void oneStatusLinePerChange();
    void logFileErrorIsReportedUnderPortName();
    void destroyingAnActiveSessionWritesWhatArrived();

private:
    std::unique_ptr<TestEnv> m_env;
};

void tst_SerialSession::initTestCase()
{
    m_env = std::make_unique<TestEnv>();
    setLanguageOverride(Language::English);
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
    QTest::newRow("space, 115200") << QList<int>{12, 4, 3, 0} << "115200,S,8,1";
    // A list without a selection (-1 in the file) gives an empty field,
    // which the component refuses.
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

void tst_SerialSession::sameLine_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("same");
    QTest::newRow("log file") << "log" << true;
    QTest::newRow("out file, line feeds, auto-activate") << "other" << true;
    QTest::newRow("port") << "port" << false;
    QTest::newRow("baud") << "baud" << false;
    QTest::newRow("parity") << "parity" << false;
    QTest::newRow("flow") << "flow" << false;
}

void tst_SerialSession::sameLine()
{
    QFETCH(QString, change);
    QFETCH(bool, same);
    SessionSettings a;
    a.port = 3;
    SessionSettings b = a;
    if (change == QLatin1String("log"))
        b.logFile = QStringLiteral("/elsewhere.log");
    else if (change == QLatin1String("other")) {
        b.outFile.clear();
        b.lineFeeds = 1;
        b.autoActivate = true;
    } else if (change == QLatin1String("port"))
        b.port = 4;
    else if (change == QLatin1String("baud"))
        b.baud = 12;
    else if (change == QLatin1String("parity"))
        b.parity = 2;
    else
        b.flow = 3;
    QCOMPARE(a.sameLine(b), same);
}

void tst_SerialSession::activation_data()
{
    QTest::addColumn<QString>("device"); // "none" (port NONE), "pty", "missing"
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QString>("status");
    QTest::newRow("NONE") << "none" << int(SerialSession::Activation::NoPort) << "Status:";
    QTest::newRow("open") << "pty" << int(SerialSession::Activation::Opened) << "Status: Open";
    QTest::newRow("missing device") << "missing" << int(SerialSession::Activation::NotAvailable)
                                    << "Status: Device Not Available.";
}

void tst_SerialSession::activation()
{
    QFETCH(QString, device);
    QFETCH(int, outcome);
    QFETCH(QString, status);
    Pty pty;
    const QString missing = m_env->filePath("unplugged");
    m_env->mapPort(20, device == QLatin1String("pty") ? pty.slavePath() : missing);
    SessionSettings s;
    s.port = device == QLatin1String("none") ? 0 : 20;
    s.logFile = m_env->filePath("activation.log");

    SerialSession session;
    QCOMPARE(int(session.activate(s)), outcome);
    QCOMPARE(session.status(), status);
    QCOMPARE(session.isActive(), device == QLatin1String("pty"));
    QCOMPARE(session.serial()->portOpen(), device == QLatin1String("pty"));
    if (device == QLatin1String("missing"))
        QVERIFY2(session.statusDetail().contains(missing), qPrintable(session.statusDetail()));

    session.deactivate();
    QCOMPARE(session.status(), QStringLiteral("Status: Closed"));
    QVERIFY(!session.isActive());
    QVERIFY(!session.serial()->portOpen());
}

void tst_SerialSession::oneStatusLinePerChange()
{
    // The service prints every status change: a steady stream of bytes is
    // one "Open", not one line per receive event.
    Pty pty;
    m_env->mapPort(21, pty.slavePath());
    SessionSettings s;
    s.port = 21;
    s.logFile = m_env->filePath("steady.log");
    SerialSession session;
    QSignalSpy changes(&session, &SerialSession::statusChanged);
    QSignalSpy events(&session, &SerialSession::commEvent);
    QCOMPARE(session.activate(s), SerialSession::Activation::Opened);
    QByteArray sent;
    for (int burst = 0; burst < 5; ++burst) {
        const QByteArray bytes = QByteArray::number(burst).repeated(100);
        sent += bytes;
        QVERIFY(pty.write(bytes));
        QTRY_COMPARE(readFile(s.logFile), sent);
    }
    QVERIFY(events.size() >= 2);
    // In English the activation's "Status: Open" and capture's are the same text.
    QCOMPARE(changes.size(), 1);
    QCOMPARE(changes.at(0).at(0).toString(), QStringLiteral("Status: Open"));
    QCOMPARE(session.status(), QStringLiteral("Status: Open"));
}

void tst_SerialSession::logFileErrorIsReportedUnderPortName()
{
    Globals::LogErrorsToFile = 1;
    Pty pty;
    m_env->mapPort(22, pty.slavePath());
    SessionSettings s;
    s.port = 22;
    s.logFile = m_env->filePath("missing-dir/x.log");
    SerialSession session;
    QCOMPARE(session.activate(s), SerialSession::Activation::Opened);
    QVERIFY(pty.write("held"));
    QTRY_COMPARE(session.status(), QStringLiteral("Status: File I/O Error"));
    QVERIFY2(session.statusDetail().contains(s.logFile), qPrintable(session.statusDetail()));
    QTRY_VERIFY(readFile(ErrorReport::logPath()).startsWith("Ombrix Error: COM22, File I/O Error, "));

    // A new name takes effect with the next bytes; nothing was lost.
    const QString good = m_env->filePath("recovered.log");
    session.setLogFile(QStringLiteral(" ") + good + QStringLiteral(" "));
    QVERIFY(pty.write("more"));
    QTRY_COMPARE(readFile(good), QByteArray("heldmore"));
    QCOMPARE(session.status(), QStringLiteral("Status: Open"));
}

void tst_SerialSession::destroyingAnActiveSessionWritesWhatArrived()
{
    Pty pty;
    m_env->mapPort(23, pty.slavePath());
    SessionSettings s;
    s.port = 23;
    s.logFile = m_env->filePath("last.log");
    auto session = std::make_unique<SerialSession>();
    QCOMPARE(session->activate(s), SerialSession::Activation::Opened);
    QVERIFY(pty.write("first"));
    QTRY_COMPARE(readFile(s.logFile), QByteArray("first"));
    // Bytes waiting in the kernel, no event run for them yet.
    QVERIFY(pty.write("last"));
    QVERIFY(pty.waitQueuedAtSlave(4));
    session.reset();
    QCOMPARE(readFile(s.logFile), QByteArray("firstlast"));
}

QTEST_GUILESS_MAIN(tst_SerialSession)
#include "tst_SerialSession.moc"
