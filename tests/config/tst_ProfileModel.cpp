#include "config/ProfileModel.h"
#include "tests/support/Files.h"
#include "tests/support/TestEnv.h"

#include <QTest>

#include <memory>

using namespace ProfileSettings;

namespace {

// What a read made of the file, as one line: window state, each session as
// port/baud/parity/data/stop/flow/line feeds (A when it activates), each
// refused value as session:key=value, the last session's LogErrors.
QString describe(const Profile &p)
{
    if (!p.readable || !p.countValid)
        return p.readable ? "damaged" : "unreadable";
    QStringList parts{QString::number(p.windowState)};
    for (const SessionSettings &s : p.sessions)
        parts << QString::number(s.port) + '/' + QString::number(s.baud) + '/' + QString::number(s.parity) +
                     '/' + QString::number(s.dataBits) + '/' + QString::number(s.stopBits) + '/' +
                     QString::number(s.flow) + '/' + QString::number(s.lineFeeds) +
                     (s.autoActivate ? "A" : "");
    for (const RefusedValue &r : p.refused)
        parts << QStringLiteral("%1:%2=%3").arg(r.session).arg(r.key).arg(r.value);
    return parts.join(u' ') + " err=" + QString::number(p.logErrors);
}

} // namespace

// The configuration read into plain values, as the logging service and the
// main window's load take it.
class tst_ProfileModel : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestEnv> m_env;

private slots:
    void initTestCase() { m_env = std::make_unique<TestEnv>(); }

    void read_data()
    {
        // "|" stands for a line end; "S" for "[Ombrix]|NumSessions=1|[Session1]|".
        QTest::addColumn<QString>("content"); // null: no file
        QTest::addColumn<QString>("expected");
        static const struct
        {
            const char *name, *content, *expected;
        } rows[] = {
            {"missing file", nullptr, "unreadable"},
            {"count beyond the limit", "[Ombrix]|NumSessions=1025", "damaged"},
            {"negative count", "[Ombrix]|NumSessions=-4", "damaged"},
            {"no sessions, minimised", "[Ombrix]|WindowState=1|[Session1]|LogErrors=1", "1 err=0"},
            {"maximised, low 16 bits", "[Ombrix]|WindowState=65538|NumSessions=1", "2 0/0/0/0/0/0/0 err=0"},
            {"every key",
             "S Connector=5|BaudRate=8|Parity=1|Databits=2|Stopbits=2|FlowControl=3|AppendLinefeeds=2|"
             "AutoActivate=1|LogErrors=1",
             "0 5/8/1/2/2/3/2A err=1"},
            {"port beyond COM255", "S Connector=256|BaudRate=8", "0 0/8/0/0/0/0/0 1:Connector=256 err=0"},
            {"no selection", "S Connector=-1|FlowControl=-1", "0 -1/0/0/0/0/-1/0 err=0"},
            {"baud beyond its list", "S BaudRate=13|Connector=5", "0 5/6/0/0/0/0/0 1:BaudRate=13 err=0"},
            {"data bits, low 16 bits", "S Databits=65540", "0 0/0/0/3/0/0/0 1:Databits=4 err=0"},
            {"stop bits", "S Stopbits=3|AutoActivate=1", "0 0/0/0/0/0/0/0A 1:Stopbits=3 err=0"},
            {"flow", "S FlowControl=4", "0 0/0/0/0/0/0/0 1:FlowControl=4 err=0"},
            {"activates: blank then 1", "S AutoActivate= 1", "0 0/0/0/0/0/0/0A err=0"},
            {"activates only for 1",
             "[Ombrix]|NumSessions=2|[Session1]|AutoActivate=2|[Session2]|AutoActivate=65537",
             "0 0/0/0/0/0/0/0 0/0/0/0/0/0/0 err=0"},
            {"error options from the last session",
             "[Ombrix]|NumSessions=2|[Session1]|LogErrors=1|[Session2]|LogErrors=2",
             "0 0/0/0/0/0/0/0 0/0/0/0/0/0/0 err=2"},
        };
        for (const auto &r : rows)
            QTest::newRow(r.name) << (r.content ? QString::fromUtf8(r.content) : QString())
                                  << QString(r.expected);
    }

    void read()
    {
        QFETCH(QString, content);
        QFETCH(QString, expected);
        const QString path = m_env->filePath("read.bvx");
        QFile::remove(path);
        if (!content.isNull())
            QVERIFY(writeFile(
                path,
                content.replace("S ", "[Ombrix]|NumSessions=1|[Session1]|").replace('|', "\r\n").toUtf8()));
        QCOMPARE(describe(readProfile(path)), expected);
    }
};

QTEST_GUILESS_MAIN(tst_ProfileModel)
#include "tst_ProfileModel.moc"
