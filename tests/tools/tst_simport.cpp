#include "components/QtSerialComponent.h"
#include "tests/support/Files.h"
#include "tests/support/TestEnv.h"

#include <QCryptographicHash>
#include <QProcess>
#include <QSettings>
#include <QTest>

// The device simulator, as tests and people use it: it maps a COM number to
// its pseudo-terminal, sends, reports what it sent, and gives the map back.
class tst_simport : public QObject
{
    Q_OBJECT
    TestEnv m_env;

private slots:
    void sendsWhatItReports_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("expected"); // empty: the count pattern, 0x00 0x01 ...
        QTest::addColumn<QString>("previous");    // the map entry before; empty: none
        const auto row = [](const char *name, const QStringList &arguments, const QByteArray &expected,
                            const char *previous) {
            QTest::newRow(name) << arguments << expected << QString(previous);
        };
        row("file, entry replaced", {"--file", "FILE"}, QByteArray("file\r\n\x00\xff", 8), "/dev/ttyUSB9");
        row("pattern, no entry before", {"--pattern", "count", "--bytes", "600"}, {}, "");
    }

    void sendsWhatItReports()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, expected);
        QFETCH(QString, previous);
        QVERIFY(writeFile(m_env.filePath("input.bin"), expected));
        arguments.replaceInStrings(QStringLiteral("FILE"), m_env.filePath("input.bin"));
        previous.isEmpty() ? m_env.unmapPort(42) : m_env.mapPort(42, previous);
        if (expected.isEmpty())
            for (int i = 0; i < 600; ++i)
                expected += char(i);

        QProcess simport;
        simport.start(QStringLiteral(SIMPORT), QStringList{"--port", "42", "--exit-when-read"} + arguments);
        QTRY_VERIFY_WITH_TIMEOUT(simport.canReadLine(), 30000);
        const QString mapping = QString::fromUtf8(simport.readLine()).trimmed();
        QCOMPARE(mapping, "COM42 -> " + QSettings("Ombrix", "Ombrix").value("Ports/COM42").toString());

        QtSerialComponent port;
        QByteArray received;
        connect(&port, &SerialComponent::OnComm, this, [&] { received += port.input(); });
        port.setCommPort(42);
        port.setPortOpen(true);
        QVERIFY(port.portOpen());
        // It ends once the port has read everything (the event loop must run for that).
        QTRY_COMPARE_WITH_TIMEOUT(simport.state(), QProcess::NotRunning, 30000);
        QCOMPARE(simport.exitCode(), 0);
        QCOMPARE(received, expected);
        const QByteArray sha = QCryptographicHash::hash(expected, QCryptographicHash::Sha256).toHex();
        QCOMPARE(simport.readAll().trimmed(),
                 "sent " + QByteArray::number(expected.size()) + " bytes, sha256 " + sha);
        QCOMPARE(QSettings("Ombrix", "Ombrix").value("Ports/COM42").toString(), previous);
    }
};

QTEST_GUILESS_MAIN(tst_simport)
#include "tst_simport.moc"
