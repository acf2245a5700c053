#include "components/PortMap.h"
#include "tests/support/Pty.h"
#include "tests/support/TestEnv.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

#include <memory>
#include <vector>

// The port table: map entries matched with the devices of a directory of
// stable links to pseudo-terminals, as the port dialog, `ombrixd --ports`
// and the port list's hover text get them.
class tst_PortMap : public QObject
{
    Q_OBJECT
    TestEnv m_env;
    QTemporaryDir m_byId;

    // A row as "COM3 value -> node 'description' flags"; P present, E entry, N network.
    static QString text(const PortMap::Row &r)
    {
        return QStringLiteral("COM%1 %2 -> %3 '%4' %5%6%7")
            .arg(QString::number(r.port), r.value, r.node, r.description, r.present ? u"P" : u"-",
                 r.hasEntry ? u"E" : u"-", r.network ? u"N" : u"-");
    }

private slots:
    void rows_data()
    {
        // "n=value"; @A is link usb-A, #A the node it leads to, ~A that node without /dev/, % the home.
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QStringList>("links");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("link named") << QStringList{"3=@A"} << QStringList{"A"}
                                    << QStringList{"COM3 @A -> #A '' PE-"};
        QTest::newRow("second name listed once")
            << QStringList{"8=#A", "3=@A"} << QStringList{"A"}
            << QStringList{"COM3 @A -> #A '' PE-", "COM8 #A -> #A '' PE-"};
        QTest::newRow("link with a slash after it, which opens nothing")
            << QStringList{"3=@A/"} << QStringList{"A"} << QStringList{"COM3 @A/ -> @A/ '' -E-"};
        QTest::newRow("bare name from /dev")
            << QStringList{"6=~A"} << QStringList{"A"} << QStringList{"COM6 ~A -> #A '' PE-"};
        QTest::newRow("devices without entry last, by name")
            << QStringList{"4=@B"} << QStringList{"C", "B", "A"}
            << QStringList{"COM4 @B -> #B '' PE-", "COM0 @A -> #A '' P--", "COM0 @C -> #C '' P--"};
        QTest::newRow("missing device")
            << QStringList{"5=%/gone"} << QStringList{} << QStringList{"COM5 %/gone -> %/gone '' -E-"};
        QTest::newRow("network address, untrimmed")
            << QStringList{"9= tcp://127.0.0.1:2000 "} << QStringList{"A"}
            << QStringList{"COM9 tcp://127.0.0.1:2000 ->  '' -EN", "COM0 @A -> #A '' P--"};
        QTest::newRow("keys out of range ignored")
            << QStringList{"0=@A", "256=@A", "255=%/x"} << QStringList{}
            << QStringList{"COM255 %/x -> %/x '' -E-"};
    }
    void rows()
    {
        QFETCH(QStringList, entries);
        QFETCH(QStringList, links);
        QDir(m_byId.path()).removeRecursively();
        QDir().mkpath(m_byId.path());
        qputenv("OMBRIX_SERIAL_BY_ID", m_byId.path().toLocal8Bit());
        QFile::remove(m_env.filePath(QStringLiteral(".config/Ombrix/Ombrix.conf")));
        std::vector<std::unique_ptr<Pty>> ptys;
        const auto expand = [this, &links, &ptys](QString text) {
            for (qsizetype i = 0; i < links.size(); ++i) {
                const QString node = QFileInfo(ptys[size_t(i)]->slavePath()).canonicalFilePath();
                text.replace(u'@' + links[i], m_byId.filePath(links[i]))
                    .replace(u'#' + links[i], node)
                    .replace(u'~' + links[i], node.mid(5));
            }
            return text.replace(u'%', m_env.path());
        };
        for (const QString &name : links) {
            ptys.push_back(std::make_unique<Pty>());
            QVERIFY(QFile::link(ptys.back()->slavePath(), m_byId.filePath(name)));
        }
        for (const QString &entry : entries)
            m_env.mapPort(entry.section(u'=', 0, 0).toInt(), expand(entry.section(u'=', 1)));

        QStringList seen; // this machine's own serial ports left out
        for (const PortMap::Row &row : PortMap::rows()) {
            if (row.hasEntry || row.value.startsWith(m_byId.path()))
                seen << text(row);
            if (row.port != 0) // the hover text's row is the table's
                QCOMPARE(text(PortMap::row(row.port)), text(row));
        }
        QFETCH(QStringList, rows);
        for (QString &row : rows)
            row = expand(row);
        QCOMPARE(seen, rows);
    }
};

QTEST_GUILESS_MAIN(tst_PortMap)
#include "tst_PortMap.moc"
