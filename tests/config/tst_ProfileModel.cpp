#include "config/PrivateProfile.h"
#include "config/ProfileModel.h"
#include "tests/support/TestEnv.h"

#include <QFile>
#include <QTest>

#include <memory>

using namespace ProfileSettings;

Q_DECLARE_METATYPE(ProfileSettings::Field)
Q_DECLARE_METATYPE(SessionSettings)

// The configuration read into plain values, without windows: what the
// logging service runs.
class tst_ProfileModel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void roundTrip_data();
    void roundTrip();
    void refusedValuesAreRecordedAndLeftAtDefault_data();
    void refusedValuesAreRecordedAndLeftAtDefault();
    void unreadableOrDamaged_data();
    void unreadableOrDamaged();

private:
    QString write(const QString &name, const QByteArray &content);
    std::unique_ptr<TestEnv> m_env;
};

void tst_ProfileModel::initTestCase()
{
    m_env = std::make_unique<TestEnv>();
}

QString tst_ProfileModel::write(const QString &name, const QByteArray &content)
{
    const QString path = m_env->filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return {};
    file.write(content);
    return path;
}

void tst_ProfileModel::roundTrip_data()
{
    QTest::addColumn<SessionSettings>("settings");
    SessionSettings defaults;
    QTest::newRow("defaults") << defaults;
    SessionSettings busy;
    busy.port = 255;
    busy.baud = 12;
    busy.parity = 4;
    busy.dataBits = 0;
    busy.stopBits = 2;
    busy.flow = 3;
    busy.logFile = QStringLiteral(" /var/log/with blanks and \"quotes\" ");
    busy.outFile.clear();
    busy.lineFeeds = 2;
    busy.autoActivate = true;
    QTest::newRow("every field away from its default") << busy;
    SessionSettings unselected;
    unselected.port = -1;
    unselected.flow = -1;
    QTest::newRow("lists without a selection") << unselected;
}

void tst_ProfileModel::roundTrip()
{
    QFETCH(SessionSettings, settings);
    const QString path = m_env->filePath("roundtrip.bvx");
    QFile::remove(path);
    PrivateProfile file(path);
    file.writeInt(QStringLiteral("Ombrix"), QStringLiteral("NumSessions"), 2);
    writeSession(file, 1, SessionSettings());
    writeSession(file, 2, settings);
    QVERIFY(file.save());

    const Profile profile = readProfile(path);
    QVERIFY(profile.readable);
    QVERIFY(profile.refused.isEmpty());
    QCOMPARE(profile.sessions.size(), 2);
    QVERIFY(profile.sessions.at(1) == settings);
}

void tst_ProfileModel::refusedValuesAreRecordedAndLeftAtDefault_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<Field>("field");
    QTest::addColumn<int>("value");
    QTest::newRow("baud beyond its list") << QByteArray("BaudRate=13") << Field::BaudRate << 13;
    QTest::newRow("parity below -1") << QByteArray("Parity=-2") << Field::Parity << -2;
    QTest::newRow("port beyond COM255") << QByteArray("Connector=256") << Field::Connector << 256;
    QTest::newRow("data bits, low 16 bits") << QByteArray("Databits=65540") << Field::Databits << 4;
    QTest::newRow("stop bits") << QByteArray("Stopbits=3") << Field::Stopbits << 3;
    QTest::newRow("flow") << QByteArray("FlowControl=4") << Field::FlowControl << 4;
    QTest::newRow("check state") << QByteArray("AppendLinefeeds=3") << Field::AppendLinefeeds << 3;
}

void tst_ProfileModel::refusedValuesAreRecordedAndLeftAtDefault()
{
    QFETCH(QByteArray, line);
    QFETCH(Field, field);
    QFETCH(int, value);
    const QString path = write(QStringLiteral("refused.bvx"),
                               // The first match of a key counts: the refused line stands first.
                               "[Ombrix]\r\nNumSessions=2\r\nWindowState=7\r\n[Session1]\r\nConnector=4\r\n"
                               "[Session2]\r\n" +
                                   line +
                                   "\r\nConnector=5\r\nBaudRate=8\r\nDatabits=3\r\nParity=1\r\n"
                                   "Stopbits=2\r\nFlowControl=2\r\nAppendLinefeeds=1\r\nAutoActivate=1\r\n"
                                   "LogErrors=1\r\n");
    const Profile profile = readProfile(path);
    QCOMPARE(profile.refused.size(), 2);
    QCOMPARE(profile.refused.at(0).session, 0);
    QCOMPARE(profile.refused.at(0).field, Field::WindowState);
    QCOMPARE(profile.refused.at(1).session, 2);
    QCOMPARE(profile.refused.at(1).field, field);
    QCOMPARE(profile.refused.at(1).key, keyOf(field));
    QCOMPARE(profile.refused.at(1).value, value);

    // Reading goes on past a refusal: the other fields, the later keys and
    // the error options are all there; the refused field has its default.
    QCOMPARE(profile.sessions.size(), 2);
    QCOMPARE(profile.sessions.at(0).port, 4);
    const SessionSettings &s = profile.sessions.at(1);
    const SessionSettings defaults;
    const QList<int> expected = {
        field == Field::Connector ? defaults.port : 5,    field == Field::BaudRate ? defaults.baud : 8,
        field == Field::Parity ? defaults.parity : 1,     field == Field::Databits ? defaults.dataBits : 3,
        field == Field::Stopbits ? defaults.stopBits : 2, field == Field::FlowControl ? defaults.flow : 2};
    QCOMPARE((QList<int>{s.port, s.baud, s.parity, s.dataBits, s.stopBits, s.flow}), expected);
    QCOMPARE(s.lineFeeds, field == Field::AppendLinefeeds ? 0 : 1);
    QVERIFY(s.autoActivate);
    QCOMPARE(profile.logErrors, 1);
}

void tst_ProfileModel::unreadableOrDamaged_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<bool>("readable");
    QTest::addColumn<bool>("countValid");
    QTest::newRow("missing file") << "missing" << false << true;
    QTest::newRow("a directory") << "directory" << false << true;
    QTest::newRow("session count beyond the limit") << "count" << true << false;
    QTest::newRow("no sessions") << "empty" << true << true;
}

void tst_ProfileModel::unreadableOrDamaged()
{
    QFETCH(QString, what);
    QFETCH(bool, readable);
    QFETCH(bool, countValid);
    QString path = m_env->filePath(QStringLiteral("absent.bvx"));
    if (what == QLatin1String("directory"))
        path = m_env->path();
    else if (what == QLatin1String("count"))
        path = write(QStringLiteral("count.bvx"), "[Ombrix]\r\nNumSessions=1025\r\n");
    else if (what == QLatin1String("empty"))
        path = write(QStringLiteral("empty.bvx"), "[Ombrix]\r\nNumSessions=0\r\n");
    const Profile profile = readProfile(path);
    QCOMPARE(profile.readable, readable);
    QCOMPARE(profile.countValid, countValid);
    QVERIFY(profile.sessions.isEmpty());
}

QTEST_GUILESS_MAIN(tst_ProfileModel)
#include "tst_ProfileModel.moc"
