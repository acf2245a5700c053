#include "components/QtSerialComponent.h"
#include "tests/support/Files.h"
#include "tests/support/TestEnv.h"

#include <QCryptographicHash>
#include <QProcess>
#include <QSettings>
#include <QTest>

// The device simulator maps a COM number to its pseudo-terminal, sends, reports and gives the map back.
class tst_simport : public QObject
{
    Q_OBJECT
    TestEnv m_env;

private slots:
    void sendsWhatItReports_data()
    {
        QTest::addColumn<QStringList>("arguments"); // either sends every byte value once
        QTest::addColumn<QString>("previous");      // the map entry before; empty: none
        QTest::newRow("file, entry replaced") << QStringList{"--file", "FILE"} << QString("/dev/ttyUSB9");
        QTest::newRow("pattern, no entry")
            << QStringList{"--pattern", "count", "--bytes", "256"} << QString();
    }

    void sendsWhatItReports()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, previous);
        const QByteArray expected = allByteValues();
        QVERIFY(writeFile(m_env.filePath("input.bin"), expected));
        arguments.replaceInStrings("FILE", m_env.filePath("input.bin"));
        previous.isEmpty() ? m_env.unmapPort(42) : m_env.mapPort(42, previous);
        QProcess simport;
        simport.start(SIMPORT, QStringList{"--port", "42", "--exit-when-read"} + arguments);
        QTRY_VERIFY_WITH_TIMEOUT(simport.canReadLine(), 30000);
        const auto mapped = [] { return QSettings("Ombrix", "Ombrix").value("Ports/COM42").toString(); };
        QCOMPARE(QString::fromUtf8(simport.readLine()).trimmed(), "COM42 -> " + mapped());

        QtSerialComponent port;
        QByteArray received;
        connect(&port, &SerialComponent::OnComm, this, [&] { received += port.input(); });
        port.setCommPort(42);
        port.setPortOpen(true);
        // It ends once the port has read everything (the event loop must run for that).
        QTRY_COMPARE_WITH_TIMEOUT(simport.state(), QProcess::NotRunning, 30000);
        QCOMPARE(simport.exitCode(), 0);
        QCOMPARE(received, expected);
        const QByteArray sha = QCryptographicHash::hash(expected, QCryptographicHash::Sha256).toHex();
        QCOMPARE(simport.readAll().trimmed(),
                 "sent " + QByteArray::number(expected.size()) + " bytes, sha256 " + sha);
        QCOMPARE(mapped(), previous);
    }
};

QTEST_GUILESS_MAIN(tst_simport)
#include "tst_simport.moc"
