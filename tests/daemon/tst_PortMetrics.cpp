#include "daemon/PortMetrics.h"

#include <QTest>

Q_DECLARE_METATYPE(PortSample)

// The text format of the metrics page: each row is one port (besides COM1,
// a plain one) and a line the page must hold exactly `times` times.
class tst_PortMetrics : public QObject
{
    Q_OBJECT

private slots:
    void render_data()
    {
        QTest::addColumn<PortSample>("port");
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("times");
        const PortSample p{"COM2", "/dev/ttyUSB0", 7, 5, true, 1700000000042, 1, 2, 3, 4};
        QTest::newRow("counters") << p
                                  << "ombrix_port_logged_bytes_total{com=\"COM2\",device=\"/dev/ttyUSB0\"} 5"
                                  << 1;
        QTest::newRow("errors by kind")
            << p << "ombrix_port_errors_total{com=\"COM2\",device=\"/dev/ttyUSB0\",kind=\"write\"} 4" << 1;
        QTest::newRow("milliseconds")
            << p
            << "ombrix_port_last_byte_timestamp_seconds{com=\"COM2\",device=\"/dev/ttyUSB0\"} 1700000000.042"
            << 1;
        QTest::newRow("no byte yet") << PortSample{"COM2", "x"}
                                     << "ombrix_port_last_byte_timestamp_seconds{com=\"COM2\",device=\"x\"} 0"
                                     << 1;
        QTest::newRow("escaped label") << PortSample{"COM2", "a\"b\\c\nd"}
                                       << "ombrix_port_open{com=\"COM2\",device=\"a\\\"b\\\\c\\nd\"} 0" << 1;
        QTest::newRow("one port twice")
            << PortSample{"COM1", "y"} << "ombrix_port_open{com=\"COM1\",device=\"y\"} 0" << 0;
        QTest::newRow("process") << p << "ombrix_sessions_open 1" << 1;
        QTest::newRow("version") << p << "ombrix_build_info{version=\"1.2.3\"} 1" << 1;
    }
    void render()
    {
        QFETCH(PortSample, port);
        QFETCH(QString, line);
        QFETCH(int, times);
        const QString page = PortMetrics::render({PortSample{"COM1", "/dev/ttyS0"}, port}, {"1.2.3", 2, 1});
        QCOMPARE(page.split(u'\n').count(line), times);
        QVERIFY(page.endsWith(u'\n'));
    }
};

QTEST_GUILESS_MAIN(tst_PortMetrics)
#include "tst_PortMetrics.moc"
