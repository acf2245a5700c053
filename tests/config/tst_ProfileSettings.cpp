#include "common/Globals.h"
#include "config/PrivateProfile.h"
#include "config/ProfileSettings.h"
#include "resources/LoadResource.h"
#include "session/frmDocument.h"
#include "tests/support/TestEnv.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <memory>

using ProfileSettings::Refused;

namespace {

// The smallest workspace: session windows in a list, no frame around them.
class Workspace : public ProfileWorkspace
{
public:
    ~Workspace() override { closeAllSessions(); }

    void closeAllSessions() override
    {
        while (!windows.isEmpty())
            delete windows.takeLast();
    }
    frmDocument *NewSession() override
    {
        auto *w = new frmDocument;
        w->setAttribute(Qt::WA_DeleteOnClose, false);
        windows.append(w);
        return w;
    }
    QList<frmDocument *> sessions() const override { return windows; }
    int mainWindowState() const override { return state; }
    void setMainWindowState(int value) override { state = value; }
    QVector<qint16> &AutoActivateMarks() override { return marks; }

    QList<frmDocument *> windows;
    int state = 0;
    QVector<qint16> marks{0, 0};
};

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

QList<int> positions(const frmDocument *w)
{
    return {w->Combo2->currentIndex(),    w->Combo1[0]->currentIndex(), w->Combo1[1]->currentIndex(),
            w->Combo1[2]->currentIndex(), w->Combo1[3]->currentIndex(), w->Combo1[4]->currentIndex()};
}

} // namespace

class tst_ProfileSettings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void savesTheExampleExactly();
    void loadsTheExample();
    void defaultPath();
    void noSessionsStored_data();
    void noSessionsStored();
    void savingWithoutSessions();
    void staleSectionsStay();
    void closedSessionRenumbers();
    void autoActivateMarks_data();
    void autoActivateMarks();
    void missingKeysSelectFirstEntry();
    void refusedValue_data();
    void refusedValue();
    void valuesReadWhole();
    void windowState_data();
    void windowState();

private:
    QString path(const QString &name) const { return m_env->filePath(name); }
    std::unique_ptr<TestEnv> m_env;
};

void tst_ProfileSettings::initTestCase()
{
    m_env = std::make_unique<TestEnv>();
    setLanguageOverride(Language::English);
}

void tst_ProfileSettings::init()
{
    Globals::Password.clear();
    Globals::OnErrorRunApp.clear();
    Globals::LogErrorsToFile = 0;
}

void tst_ProfileSettings::cleanup()
{
    QFile::remove(ProfileSettings::resolvePath(QString()));
}

void tst_ProfileSettings::savesTheExampleExactly()
{
    Workspace ws;
    frmDocument *first = ws.NewSession();
    first->txtLogFile->setText(QStringLiteral("C:\\Ombrix.txt"));
    first->txtOutFile->setText(QStringLiteral("C:\\COMOutputFile.txt"));
    frmDocument *second = ws.NewSession();
    second->txtLogFile->setText(QStringLiteral("D:\\logs\\scale.txt"));
    second->txtOutFile->clear();
    second->Combo2->setCurrentIndex(2);
    second->Combo1[0]->setCurrentIndex(8);
    second->Combo1[1]->setCurrentIndex(1);
    second->Combo1[2]->setCurrentIndex(2);
    second->Combo1[3]->setCurrentIndex(0);
    second->Combo1[4]->setCurrentIndex(1);
    second->Command1->setText(LoadResource(2160)); // active
    QVERIFY(ProfileSettings::writeprofilesettings(ws, path("example.bvx")));
    QCOMPARE(readFile(path("example.bvx")),
             readFile(QStringLiteral(OMBRIX_TEST_DATA "/profile/example.bvx")));
}

void tst_ProfileSettings::loadsTheExample()
{
    Workspace ws;
    ws.NewSession(); // whatever was open goes
    Globals::LogErrorsToFile = 5;
    QVERIFY(ProfileSettings::getprofilesettings(ws, QStringLiteral(OMBRIX_TEST_DATA "/profile/example.bvx")));
    QCOMPARE(ws.windows.size(), 2);
    QCOMPARE(ws.windows[0]->txtLogFile->text(), QStringLiteral("C:\\Ombrix.txt"));
    QCOMPARE(positions(ws.windows[0]), (QList<int>{0, 6, 0, 3, 0, 0}));
    QCOMPARE(ws.windows[1]->txtLogFile->text(), QStringLiteral("D:\\logs\\scale.txt"));
    QCOMPARE(ws.windows[1]->txtOutFile->text(), QString());
    QCOMPARE(positions(ws.windows[1]), (QList<int>{2, 8, 1, 2, 0, 1}));
    QCOMPARE(ws.windows[1]->Combo1[1]->currentText(), QStringLiteral("Even"));
    QCOMPARE(ws.marks, (QVector<qint16>{0, 0, 1, 0}));
    QVERIFY(!ws.windows[1]->isActive()); // marked, not activated: start-up does that
    QCOMPARE(Globals::LogErrorsToFile, 0);
    QCOMPARE(Globals::OnErrorRunApp, QString());
}

void tst_ProfileSettings::defaultPath()
{
    const QString expected = QCoreApplication::applicationDirPath() + QStringLiteral("/default.bvx");
    QCOMPARE(ProfileSettings::resolvePath(QString()), expected);
    QCOMPARE(ProfileSettings::resolvePath(QStringLiteral("/x/y.bvx")), QStringLiteral("/x/y.bvx"));
    Workspace ws;
    ws.NewSession()->txtLogFile->setText(QStringLiteral("/var/log/default-path.log"));
    QVERIFY(ProfileSettings::writeprofilesettings(ws, QString()));
    QVERIFY(readFile(expected).contains("LogFile=/var/log/default-path.log\r\n"));
    ws.closeAllSessions();
    QVERIFY(ProfileSettings::getprofilesettings(ws, QString()));
    QCOMPARE(ws.windows.first()->txtLogFile->text(), QStringLiteral("/var/log/default-path.log"));
}

void tst_ProfileSettings::noSessionsStored_data()
{
    QTest::addColumn<QByteArray>("content"); // null: no file at all
    QTest::addColumn<QString>("password");
    QTest::newRow("missing file") << QByteArray() << QString();
    QTest::newRow("not a configuration") << QByteArray("hello\r\n[Other]\r\nx=1\r\n") << QString();
    QTest::newRow("no sessions, a password") << QByteArray("[Ombrix]\r\nNumSessions=0\r\nPassword=pw\r\n"
                                                           "OnErrorRunApp=ignored\r\nLogErrors=1\r\n")
                                             << QStringLiteral("pw");
}

void tst_ProfileSettings::noSessionsStored()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, password);
    const QString file = path("nosessions.bvx");
    QFile::remove(file);
    if (!content.isNull())
        writeFile(file, content);
    Globals::Password = QStringLiteral("old");
    Globals::OnErrorRunApp = QStringLiteral("kept");
    Globals::LogErrorsToFile = 3;
    Workspace ws;
    ws.NewSession();
    ws.NewSession();
    ws.marks = {0, 7};
    ws.state = 2;
    QVERIFY(ProfileSettings::getprofilesettings(ws, file));
    QCOMPARE(ws.windows.size(), 1);
    QCOMPARE(ws.windows[0]->txtLogFile->text(), frmDocument::defaultLogFile());
    QCOMPARE(positions(ws.windows[0]), (QList<int>{0, 6, 0, 3, 0, 0}));
    QCOMPARE(Globals::Password, password);
    QCOMPARE(Globals::OnErrorRunApp, QStringLiteral("kept"));
    QCOMPARE(Globals::LogErrorsToFile, 3);
    QCOMPARE(ws.marks, (QVector<qint16>{0, 7}));
    QCOMPARE(ws.state, 0);
}

void tst_ProfileSettings::savingWithoutSessions()
{
    Workspace ws;
    Globals::OnErrorRunApp = QStringLiteral("notify-send ombrix");
    Globals::LogErrorsToFile = 1;
    QVERIFY(ProfileSettings::writeprofilesettings(ws, path("empty.bvx")));
    QCOMPARE(readFile(path("empty.bvx")),
             QByteArray("[Ombrix]\r\nNumSessions=0\r\nWindowState=0\r\nPassword=\r\n"
                        "OnErrorRunApp=notify-send ombrix\r\nLogErrors=1\r\n"));
    Globals::OnErrorRunApp.clear();
    Globals::LogErrorsToFile = 0;
    QVERIFY(ProfileSettings::getprofilesettings(ws, path("empty.bvx")));
    QCOMPARE(Globals::OnErrorRunApp, QString());
    QCOMPARE(Globals::LogErrorsToFile, 0);
}

void tst_ProfileSettings::staleSectionsStay()
{
    Workspace ws;
    for (int i = 0; i < 5; ++i)
        ws.NewSession()->txtLogFile->setText(QStringLiteral("/logs/%1").arg(i + 1));
    QVERIFY(ProfileSettings::writeprofilesettings(ws, path("five.bvx")));
    delete ws.windows.takeLast();
    delete ws.windows.takeLast();
    QVERIFY(ProfileSettings::writeprofilesettings(ws, path("five.bvx")));
    const PrivateProfile file(path("five.bvx"));
    QCOMPARE(file.readInt("Ombrix", "NumSessions"), 3);
    QCOMPARE(file.readString("Session5", "LogFile"), QStringLiteral("/logs/5"));
    QVERIFY(file.hasKey("Session5", "OnErrorRunApp"));
    QVERIFY(ProfileSettings::getprofilesettings(ws, path("five.bvx")));
    QCOMPARE(ws.windows.size(), 3);
}

void tst_ProfileSettings::closedSessionRenumbers()
{
    Workspace ws;
    for (const char *name : {"A", "B", "C"})
        ws.NewSession()->txtLogFile->setText(QLatin1String(name));
    delete ws.windows.takeAt(1);
    QVERIFY(ProfileSettings::writeprofilesettings(ws, path("renumbered.bvx")));
    const PrivateProfile file(path("renumbered.bvx"));
    QCOMPARE(file.readString("Session1", "LogFile"), QStringLiteral("A"));
    QCOMPARE(file.readString("Session2", "LogFile"), QStringLiteral("C"));
    QVERIFY(!file.hasKey("Session3", "LogFile"));
}

void tst_ProfileSettings::autoActivateMarks_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<qint16>("mark");
    QTest::newRow("1") << QByteArray("1") << qint16(1);
    QTest::newRow("blank then 1") << QByteArray(" 1") << qint16(1);
    QTest::newRow("2") << QByteArray("2") << qint16(0);
    QTest::newRow("0") << QByteArray("0") << qint16(0);
    QTest::newRow("-1") << QByteArray("-1") << qint16(0);
    QTest::newRow("words") << QByteArray("abc") << qint16(0);
    QTest::newRow("65537") << QByteArray("65537") << qint16(0);
}

void tst_ProfileSettings::autoActivateMarks()
{
    QFETCH(QByteArray, value);
    QFETCH(qint16, mark);
    writeFile(path("marks.bvx"),
              "[Ombrix]\r\nNumSessions=2\r\n[Session1]\r\nAutoActivate=1\r\n[Session2]\r\nAutoActivate=" +
                  value + "\r\n");
    Workspace ws;
    QVERIFY(ProfileSettings::getprofilesettings(ws, path("marks.bvx")));
    QCOMPARE(ws.marks, (QVector<qint16>{0, 1, mark, 0}));
}

void tst_ProfileSettings::missingKeysSelectFirstEntry()
{
    writeFile(path("sparse.bvx"), "[Ombrix]\r\nNumSessions=1\r\n[Session1]\r\nConnector=3\r\nParity=1\r\n");
    Workspace ws;
    QVERIFY(ProfileSettings::getprofilesettings(ws, path("sparse.bvx")));
    frmDocument *w = ws.windows.first();
    QCOMPARE(positions(w), (QList<int>{3, 0, 1, 0, 0, 0}));
    QCOMPARE(w->Combo1[0]->currentText(), QStringLiteral("110"));
    QCOMPARE(w->Combo1[2]->currentText(), QStringLiteral("5"));
    QCOMPARE(w->txtLogFile->text(), QString()); // a missing string is empty, not the default
}

void tst_ProfileSettings::refusedValue_data()
{
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("value");
    QTest::newRow("parity beyond its list") << QByteArray("Parity") << QByteArray("5");
    QTest::newRow("port below -1") << QByteArray("Connector") << QByteArray("-2");
    QTest::newRow("port beyond COM255") << QByteArray("Connector") << QByteArray("256");
    QTest::newRow("check state 3") << QByteArray("AppendLinefeeds") << QByteArray("3");
}

void tst_ProfileSettings::refusedValue()
{
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, value);
    // The refused value comes first, so it is the one read for its key.
    writeFile(path("refused.bvx"), "[Ombrix]\r\nNumSessions=2\r\n[Session1]\r\n" + key + '=' + value +
                                       "\r\nAppendLinefeeds=1\r\nConnector=4\r\nParity=2\r\nDatabits=2\r\n"
                                       "FlowControl=3\r\n[Session2]\r\nConnector=7\r\nOnErrorRunApp=prog\r\n"
                                       "LogErrors=1\r\n");

    // At start-up the load stops at the refused key.
    Workspace startup;
    QVERIFY(!ProfileSettings::getprofilesettings(startup, path("refused.bvx"), Refused::StopLoad));
    QCOMPARE(startup.windows.size(), 1);
    QCOMPARE(startup.windows[0]->Combo1[4]->currentIndex(), 0); // keys after it were not read
    QCOMPARE(Globals::OnErrorRunApp, QString());

    // From File > Open the field keeps what it had and the rest loads.
    Workspace opened;
    QVERIFY(ProfileSettings::getprofilesettings(opened, path("refused.bvx"), Refused::SkipValue));
    QCOMPARE(opened.windows.size(), 2);
    frmDocument *w = opened.windows[0];
    QCOMPARE(w->Combo1[4]->currentIndex(), 3);
    QCOMPARE(w->Combo1[2]->currentIndex(), 2);
    if (key == "Parity")
        QCOMPARE(w->Combo1[1]->currentIndex(), 0);
    if (key == "Connector")
        QCOMPARE(w->Combo2->currentIndex(), 0);
    QCOMPARE(opened.windows[1]->Combo2->currentIndex(), 7);
    QCOMPARE(Globals::OnErrorRunApp, QStringLiteral("prog"));
    QCOMPARE(Globals::LogErrorsToFile, 1);
}

void tst_ProfileSettings::valuesReadWhole()
{
    Workspace ws;
    frmDocument *w = ws.NewSession();
    const QString longPath = QStringLiteral("/logs/") + QString(250, QLatin1Char('x'));
    w->txtLogFile->setText(longPath);
    w->txtOutFile->setText(QStringLiteral(" \"quoted\" "));
    w->Combo2->setCurrentIndex(-1);
    w->chkLinefeeds->setChecked(true);
    Globals::Password = QStringLiteral(" secret ");
    Globals::OnErrorRunApp = QStringLiteral("notify-send \"Ombrix; error\" $(x)");
    QVERIFY(ProfileSettings::writeprofilesettings(ws, path("whole.bvx")));
    Globals::Password.clear();
    Globals::OnErrorRunApp.clear();
    QVERIFY(ProfileSettings::getprofilesettings(ws, path("whole.bvx")));
    w = ws.windows.first();
    QCOMPARE(w->txtLogFile->text(), longPath);
    QCOMPARE(w->txtOutFile->text(), QStringLiteral(" \"quoted\" "));
    QCOMPARE(w->Combo2->currentIndex(), -1);
    QVERIFY(w->chkLinefeeds->isChecked());
    QCOMPARE(Globals::Password, QStringLiteral(" secret "));
    QCOMPARE(Globals::OnErrorRunApp, QStringLiteral("notify-send \"Ombrix; error\" $(x)"));
}

void tst_ProfileSettings::windowState_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("loaded");
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("sessions");
    QTest::newRow("minimised") << QByteArray("WindowState=1\r\nNumSessions=1") << true << 1 << 1;
    QTest::newRow("maximised, low 16 bits") << QByteArray("WindowState=65538") << true << 2 << 1;
    QTest::newRow("refused state") << QByteArray("WindowState=3\r\nNumSessions=1") << false << 0 << 0;
    QTest::newRow("absurd session count") << QByteArray("NumSessions=2000000000") << false << 0 << 0;
    QTest::newRow("negative session count") << QByteArray("NumSessions=-4") << false << 0 << 0;
}

void tst_ProfileSettings::windowState()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, loaded);
    QFETCH(int, state);
    QFETCH(int, sessions);
    writeFile(path("state.bvx"), "[Ombrix]\r\n" + content + "\r\n");
    Workspace ws;
    QCOMPARE(ProfileSettings::getprofilesettings(ws, path("state.bvx")), loaded);
    QCOMPARE(ws.state, state);
    QCOMPARE(ws.windows.size(), sessions);
}

QTEST_MAIN(tst_ProfileSettings)
#include "tst_ProfileSettings.moc"
