#include "components/PortNumbering.h"
#include "components/SerialDevices.h"
#include "session/SerialSession.h"
#include "tests/support/Files.h"
#include "tests/support/SerialFixture.h"

#include <QDir>
#include <QSettings>

#include <vector>

// USB serial devices numbered from a directory of stable links to pseudo-terminals.
class tst_PortNumbering : public QObject
{
    Q_OBJECT
    TestEnv m_env;
    QTemporaryDir m_byId;
    const QString m_store = m_env.filePath(QStringLiteral(".config/Ombrix/Ombrix.conf"));

    QString link(const QString &name) const { return m_byId.filePath(name); }
    // The map as the file holds it, "COM3=<link name>" for links of the directory.
    QStringList storedMap() const
    {
        QStringList lines = QString::fromUtf8(readFile(m_store)).split(u'\n').filter(QStringLiteral("COM"));
        return lines.replaceInStrings(m_byId.path() + u'/', QString());
    }

private slots:
    void init()
    {
        QDir(m_byId.path()).removeRecursively();
        QDir().mkpath(m_byId.path());
        QFile::remove(m_store);
        qputenv("OMBRIX_SERIAL_BY_ID", m_byId.path().toLocal8Bit());
    }

    void numbers_data()
    {
        QTest::addColumn<QStringList>("entries"); // "n=value"; a value "@" names the first link's device
        QTest::addColumn<QStringList>("links");
        QTest::addColumn<QStringList>("stored");
        QTest::newRow("first device") << QStringList{} << QStringList{"usb-A"} << QStringList{"COM3=usb-A"};
        QTest::newRow("named numbers skipped")
            << QStringList{"3=/dev/x", "4=tcp://h:1"} << QStringList{"usb-A"}
            << QStringList{"COM3=/dev/x", "COM4=tcp://h:1", "COM5=usb-A"};
        QTest::newRow("two at once, in name order")
            << QStringList{"4=/dev/x"} << QStringList{"usb-B", "usb-A"}
            << QStringList{"COM3=usb-A", "COM4=/dev/x", "COM5=usb-B"};
        QTest::newRow("device named through its node")
            << QStringList{"9=@"} << QStringList{"usb-A"} << QStringList{"COM9=@"};
    }
    void numbers()
    {
        QFETCH(QStringList, entries);
        QFETCH(QStringList, links);
        std::vector<std::unique_ptr<Pty>> ptys;
        for (const QString &name : links) {
            ptys.push_back(std::make_unique<Pty>());
            QVERIFY(QFile::link(ptys.back()->slavePath(), link(name)));
        }
        const QString node = canonical(ptys.front()->slavePath());
        for (const QString &entry : entries)
            m_env.mapPort(entry.section(u'=', 0, 0).toInt(),
                          entry.section(u'=', 1).replace(QStringLiteral("@"), node));
        PortNumbering numbering;
        QSignalSpy numbered(&numbering, &PortNumbering::numbered);
        numbering.start();
        QFETCH(QStringList, stored);
        QCOMPARE(storedMap(), stored.replaceInStrings(QStringLiteral("@"), node)); // in the file at once
        QCOMPARE(numbered.size(), links.size() - entries.filter(u"@").size());
    }

    // Numbered while running; a replug keeps the number and the session logs on.
    void replug()
    {
        PortNumbering numbering;
        numbering.start();
        PluggableDevice adapter{link(QStringLiteral("usb-A")), {}};
        QVERIFY(adapter.plugIn());
        QTRY_COMPARE_WITH_TIMEOUT(storedMap(), QStringList{"COM3=usb-A"}, 30000);
        const QString log = m_env.filePath(QStringLiteral("replug.log"));
        SerialSession session;
        session.setLogFile(log);
        QCOMPARE(session.activate(3, QStringLiteral("9600,N,8,1"), 0), SerialSession::Activation::Opened);
        QVERIFY(adapter.pty->write("before "));
        QTRY_COMPARE_WITH_TIMEOUT(readFile(log), QByteArray("before "), 30000);
        adapter.pull(true);
        QVERIFY(adapter.plugIn());
        QTRY_VERIFY_WITH_TIMEOUT(openHere(adapter.device()), 30000);
        QVERIFY(adapter.pty->write("after"));
        QTRY_COMPARE_WITH_TIMEOUT(readFile(log), QByteArray("before after"), 30000);
        PluggableDevice second{link(QStringLiteral("usb-B")), {}};
        QVERIFY(second.plugIn());
        QTRY_COMPARE_WITH_TIMEOUT(storedMap(), (QStringList{"COM3=usb-A", "COM4=usb-B"}), 30000);
    }
};

QTEST_GUILESS_MAIN(tst_PortNumbering)
#include "tst_PortNumbering.moc"
