#include "components/QtSerialComponent.h"
#include "tests/support/TestEnv.h"

#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTest>

#include <memory>

// The device simulator, as tests and people use it: it maps a COM number to
// its pseudo-terminal, sends, and reports what it sent.
class tst_simport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { m_env = std::make_unique<TestEnv>(); }
    void sendsWhatItReports_data();
    void sendsWhatItReports();
    void refusesBadPort();

private:
    std::unique_ptr<TestEnv> m_env;
};

void tst_simport::sendsWhatItReports_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("expectedStart");
    QTest::addColumn<qint64>("size");
    QTest::newRow("count pattern") << QStringList{"--pattern", "count", "--bytes", "600"}
                                   << QByteArray("\x00\x01\x02", 3) << qint64(600);
    QTest::newRow("random, paced") << QStringList{"--pattern", "random", "--bytes", "4000", "--rate", "40000"}
                                   << QByteArray() << qint64(4000);
    QTest::newRow("file") << QStringList{"--file", "FILE"} << QByteArray("file contents\r\n") << qint64(15);
}

void tst_simport::sendsWhatItReports()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, expectedStart);
    QFETCH(qint64, size);
    const QString file = m_env->filePath("input.bin");
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("file contents\r\n");
    }
    arguments.replaceInStrings(QStringLiteral("FILE"), file);

    QProcess simport;
    simport.start(QStringLiteral(SIMPORT), QStringList{"--port", "42", "--exit-when-read"} + arguments);
    QVERIFY(simport.waitForStarted());
    QTRY_VERIFY(simport.canReadLine());
    const QString mapping = QString::fromUtf8(simport.readLine()).trimmed();
    QVERIFY2(mapping.startsWith(QStringLiteral("COM42 -> /dev/pts/")), qPrintable(mapping));
    QCOMPARE(QSettings("Ombrix", "Ombrix").value("Ports/COM42").toString(), mapping.section(" -> ", 1));

    QtSerialComponent port;
    QByteArray received;
    connect(&port, &SerialComponent::OnComm, this, [&] {
        while (port.inBufferCount() > 0)
            received += port.input();
    });
    port.setCommPort(42);
    port.setPortOpen(true);
    QVERIFY(port.portOpen());
    // It ends once the port has read everything (the event loop must run for that).
    QTRY_COMPARE_WITH_TIMEOUT(simport.state(), QProcess::NotRunning, 30000);
    QCOMPARE(simport.exitCode(), 0);
    QTRY_COMPARE(received.size(), size);
    QVERIFY(received.startsWith(expectedStart));

    const QString report = QString::fromUtf8(simport.readAll()).trimmed();
    const QString expected =
        QStringLiteral("sent %1 bytes, sha256 %2")
            .arg(size)
            .arg(QString::fromLatin1(QCryptographicHash::hash(received, QCryptographicHash::Sha256).toHex()));
    QCOMPARE(report, expected);
    // The mapping is taken back at the end.
    QVERIFY(!QSettings("Ombrix", "Ombrix").contains("Ports/COM42"));
}

void tst_simport::refusesBadPort()
{
    for (const char *port : {"0", "256", "x"}) {
        QProcess simport;
        simport.start(QStringLiteral(SIMPORT), {"--port", QString::fromLatin1(port)});
        QVERIFY(simport.waitForFinished(10000));
        QCOMPARE(simport.exitCode(), 2);
        QVERIFY(simport.readAllStandardError().contains("--port"));
    }
}

QTEST_GUILESS_MAIN(tst_simport)
#include "tst_simport.moc"
