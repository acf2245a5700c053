#include "common/Globals.h"
#include "config/PrivateProfile.h"
#include "config/ProfileSettings.h"
#include "resources/LoadResource.h"
#include "session/frmDocument.h"
#include "tests/support/Files.h"
#include "tests/support/TestEnv.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <memory>

using namespace ProfileSettings;

namespace {

// The smallest workspace: session windows in a list, no frame around them.
class Workspace : public ProfileWorkspace
{
public:
    ~Workspace() override { closeAllSessions(); }
    void closeAllSessions() override { qDeleteAll(std::exchange(windows, {})); }
    frmDocument *NewSession() override
    {
        windows.append(new frmDocument);
        windows.last()->setAttribute(Qt::WA_DeleteOnClose, false);
        return windows.last();
    }
    QList<frmDocument *> sessions() const override { return windows; }
    int mainWindowState() const override { return state; }
    void setMainWindowState(int value) override { state = value; }
    QVector<qint16> &AutoActivateMarks() override { return marks; }

    QList<frmDocument *> windows;
    int state = 0;
    QVector<qint16> marks{0, 0};
};

// A session window's lists: port, baud, parity, data bits, stop bits, flow.
QList<int> positions(const frmDocument *w)
{
    return {w->Combo2->currentIndex(),    w->Combo1[0]->currentIndex(), w->Combo1[1]->currentIndex(),
            w->Combo1[2]->currentIndex(), w->Combo1[3]->currentIndex(), w->Combo1[4]->currentIndex()};
}

const QString example = QStringLiteral(OMBRIX_TEST_DATA "/profile/example.bvx");

} // namespace

// The load and save over session windows: what the windows and the main
// window's state get, and what a save writes of them.
class tst_ProfileSettings : public QObject
{
    Q_OBJECT

    QString path(const QString &name) const { return m_env->filePath(name); }
    std::unique_ptr<TestEnv> m_env;

private slots:
    void initTestCase()
    {
        m_env = std::make_unique<TestEnv>();
        setLanguageOverride(Language::English);
    }

    void init()
    {
        Globals::Password.clear();
        Globals::OnErrorRunApp.clear();
        Globals::LogErrorsToFile = 0;
    }

    // Loaded over an open session, then saved again byte for byte.
    void exampleLoadsAndSavesUnchanged()
    {
        Workspace ws;
        ws.NewSession();
        ws.state = 2;
        Globals::LogErrorsToFile = 5;
        QVERIFY(getprofilesettings(ws, example));
        QCOMPARE(ws.windows.size(), 2);
        QCOMPARE(ws.windows[0]->txtLogFile->text(), QStringLiteral("C:\\Ombrix.txt"));
        QCOMPARE(positions(ws.windows[0]), (QList<int>{0, 6, 0, 3, 0, 0}));
        QCOMPARE(positions(ws.windows[1]), (QList<int>{2, 8, 1, 2, 0, 1}));
        QCOMPARE(ws.marks, (QVector<qint16>{0, 0, 1, 0}));
        QVERIFY(!ws.windows[1]->isActive()); // marked, not activated: start-up does that
        QCOMPARE(ws.state, 0);
        QCOMPARE(Globals::LogErrorsToFile, 0);
        ws.windows[1]->Command1->setText(LoadResource(2160)); // active
        QVERIFY(writeprofilesettings(ws, path("example.bvx")));
        QCOMPARE(readFile(path("example.bvx")), readFile(example));
    }

    void refusedValue_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<int>("sessionsAtStartUp"); // the load stops in this session
        QTest::newRow("parity beyond its list") << QByteArray("[Session1]\r\nParity=5") << 1;
        QTest::newRow("port below -1") << QByteArray("[Session1]\r\nConnector=-2") << 1;
        QTest::newRow("check state 3") << QByteArray("[Session1]\r\nAppendLinefeeds=3") << 1;
        QTest::newRow("window state") << QByteArray("[Ombrix]\r\nWindowState=3") << 0;
    }

    void refusedValue()
    {
        QFETCH(QByteArray, line);
        QFETCH(int, sessionsAtStartUp);
        // The refused value comes first in its section, so it is the one read for its key.
        QByteArray content =
            "[Ombrix]\r\nNumSessions=2\r\n[Session1]\r\nAppendLinefeeds=1\r\nConnector=4\r\n"
            "Parity=2\r\nFlowControl=3\r\n[Session2]\r\nConnector=7\r\nOnErrorRunApp=prog\r\n";
        const QByteArray header = line.left(line.indexOf('\n') + 1);
        QVERIFY(writeFile(path("refused.bvx"), content.replace(header, line + "\r\n")));

        // At start-up the load stops at the refused key, quietly.
        Workspace startup;
        startup.state = 2;
        QVERIFY(!getprofilesettings(startup, path("refused.bvx"), Refused::StopLoad));
        QCOMPARE(startup.windows.size(), sessionsAtStartUp);
        if (sessionsAtStartUp > 0)
            QCOMPARE(startup.windows[0]->Combo1[4]->currentIndex(), 0); // keys after it were not read
        QCOMPARE(Globals::OnErrorRunApp, QString());

        // From File > Open the field keeps what it had and the rest loads.
        Workspace opened;
        opened.state = 2;
        QVERIFY(getprofilesettings(opened, path("refused.bvx"), Refused::SkipValue));
        QCOMPARE(opened.windows.size(), 2);
        const QList<int> expected{
            line.contains("Connector") ? 0 : 4, 0, line.contains("Parity") ? 0 : 2, 0, 0, 3};
        QCOMPARE(positions(opened.windows[0]), expected);
        QCOMPARE(opened.windows[0]->chkLinefeeds->isChecked(), !line.contains("Linefeeds"));
        QCOMPARE(opened.windows[1]->Combo2->currentIndex(), 7);
        QCOMPARE(opened.state, line.contains("WindowState") ? 2 : 0);
        QCOMPARE(Globals::OnErrorRunApp, QStringLiteral("prog"));
    }

    // Sessions beyond the count stay in the file; a closed session's number
    // is taken by the next; the error options go to the last session written.
    void saveKeepsWhatItDoesNotWrite()
    {
        Workspace ws;
        for (int i = 1; i <= 5; ++i)
            ws.NewSession()->txtLogFile->setText(QStringLiteral("/logs/%1").arg(i));
        QVERIFY(writeprofilesettings(ws, QString())); // the default: default.bvx in the program directory
        QVERIFY(QFile::rename(QCoreApplication::applicationDirPath() + "/default.bvx", path("five.bvx")));
        delete ws.windows.takeAt(1);
        delete ws.windows.takeLast();
        Globals::LogErrorsToFile = 1;
        QVERIFY(writeprofilesettings(ws, path("five.bvx")));
        const PrivateProfile file(path("five.bvx"));
        QCOMPARE(file.readInt("Ombrix", "NumSessions"), 3);
        QCOMPARE(file.readString("Session2", "LogFile"), QStringLiteral("/logs/3"));
        QCOMPARE(file.readString("Session5", "LogFile"), QStringLiteral("/logs/5"));
        QCOMPARE(file.readInt("Session3", "LogErrors"), 1);
    }
};

QTEST_MAIN(tst_ProfileSettings)
#include "tst_ProfileSettings.moc"
