#include "app/frmMain.h"
#include "common/Globals.h"
#include "components/FileDialogComponent.h"
#include "components/QtSerialComponent.h"
#include "config/PrivateProfile.h"
#include "resources/LoadResource.h"
#include "session/frmDocument.h"
#include "tests/support/Pty.h"
#include "tests/support/TestEnv.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QMdiArea>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QTest>

#include <memory>

namespace {

// Answers each file dialog as the test says and remembers how it was asked.
class ScriptedFileDialog : public FileDialogComponent
{
public:
    QStringList answers; // one per dialog; an empty answer cancels
    QStringList shown;   // "open <filter> <flags> <ext>" per dialog

    bool ShowOpen() override { return show(QStringLiteral("open")); }
    bool ShowSave() override { return show(QStringLiteral("save")); }

private:
    bool show(const QString &kind)
    {
        shown << QStringLiteral("%1 %2 %3 %4 [%5]")
                     .arg(kind, Filter())
                     .arg(Flags())
                     .arg(FilterIndex())
                     .arg(DefaultExt());
        const QString answer = answers.isEmpty() ? QString() : answers.takeFirst();
        if (answer.isEmpty())
            return false;
        setFileName(answer);
        return true;
    }
};

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class tst_frmMain : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void menuTexts();
    void firstStart();
    void closeItemFollowsSessions();
    void saveWithoutNameAsksForOne();
    void openReplacesEverySessionInactive();
    void cancelledDialogsChangeNothing();
    void startUpActivatesMarkedSessions();
    void placementRoundTrip_data();
    void placementRoundTrip();

private:
    std::unique_ptr<frmMain> makeMain(ScriptedFileDialog *dialog = nullptr,
                                      const QString &fileName = QString());
    QString path(const QString &name) const { return m_env->filePath(name); }
    std::unique_ptr<TestEnv> m_env;
};

void tst_frmMain::initTestCase()
{
    m_env = std::make_unique<TestEnv>();
    setLanguageOverride(Language::English);
}

void tst_frmMain::init()
{
    Globals::Password.clear();
    Globals::OnErrorRunApp.clear();
    Globals::LogErrorsToFile = 0;
    QSettings(QStringLiteral("Ombrix"), QStringLiteral("Ombrix")).remove(QStringLiteral("Settings"));
}

void tst_frmMain::cleanup()
{
    QFile::remove(QCoreApplication::applicationDirPath() + QStringLiteral("/default.bvx"));
}

std::unique_ptr<frmMain> tst_frmMain::makeMain(ScriptedFileDialog *dialog, const QString &fileName)
{
    auto window = std::make_unique<frmMain>(dialog);
    window->MDIForm_Load(fileName);
    return window;
}

void tst_frmMain::menuTexts()
{
    auto w = makeMain();
    QCOMPARE(w->mnuFile->title(), QStringLiteral("&File"));
    const QStringList expected = {"&New", "&Open", "&Close", "", "&Save", "Save &As...", "", "E&xit"};
    QStringList texts;
    for (QAction *action : w->mnuFile->actions())
        texts << action->text();
    QCOMPARE(texts, expected);
    QCOMPARE(w->mnuFileNew->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_N));
    QCOMPARE(w->mnuFileOpen->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
    QCOMPARE(w->mnuFileSave->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
    QCOMPARE(w->windowTitle(), QStringLiteral("Ombrix"));
    const QList<QSize> sizes = w->windowIcon().availableSizes();
    for (int side : {16, 32, 48})
        QVERIFY(sizes.contains(QSize(side, side)));
}

void tst_frmMain::firstStart()
{
    auto w = makeMain();
    QCOMPARE(w->sessions().size(), 1);
    QCOMPARE(w->sessions().first()->windowTitle(), QStringLiteral("RS232 Serial Data Logger"));
    QCOMPARE(QDir::currentPath(), QCoreApplication::applicationDirPath());
    QCOMPARE(w->geometry().topLeft(), QPoint(67, 67)); // 1000 twips
    QCOMPARE(w->size(), QSize(467, 333));              // 7000 x 5000 twips
    QVERIFY(w->close());

    const QByteArray saved =
        readFile(QCoreApplication::applicationDirPath() + QStringLiteral("/default.bvx"));
    QVERIFY(saved.startsWith("[Ombrix]\r\nNumSessions=1\r\nWindowState=0\r\nPassword=\r\n[Session1]\r\n"));
    QVERIFY(saved.endsWith("AutoActivate=0\r\nOnErrorRunApp=\r\nLogErrors=0\r\n"));
    QSettings settings(QStringLiteral("Ombrix"), QStringLiteral("Ombrix"));
    QCOMPARE(settings.value("Settings/MainLeft").toString(), QStringLiteral("1000"));
    QCOMPARE(settings.value("Settings/MainTop").toString(), QStringLiteral("1000"));
    QCOMPARE(settings.value("Settings/MainWidth").toString(), QStringLiteral("7000"));
    QCOMPARE(settings.value("Settings/MainHeight").toString(), QStringLiteral("5000"));
    QVERIFY(w->sessions().isEmpty());
}

void tst_frmMain::closeItemFollowsSessions()
{
    auto w = makeMain();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    w->mdiArea->setActiveSubWindow(w->sessions().first());
    emit w->mnuFile->aboutToShow();
    QVERIFY(w->mnuFileClose->isEnabled());
    w->mnuFileClose->trigger();
    QTRY_VERIFY(w->sessions().isEmpty());
    emit w->mnuFile->aboutToShow();
    QVERIFY(!w->mnuFileClose->isEnabled());
    w->mnuFileNew->trigger();
    QCOMPARE(w->sessions().size(), 1);
    emit w->mnuFile->aboutToShow();
    QVERIFY(w->mnuFileClose->isEnabled());
}

void tst_frmMain::saveWithoutNameAsksForOne()
{
    auto *dialog = new ScriptedFileDialog;
    dialog->answers = {path("first.bvx"), path("second.bvx")};
    auto w = makeMain(dialog);
    w->mnuFileSave->trigger();
    QCOMPARE(dialog->shown,
             QStringList{"save Ombrix Configuration (*.BVX)|*.bvx|All Files (*.*)|*.* 4 1 [bvx]"});
    QCOMPARE(w->CurrentFileName, path("first.bvx"));
    QVERIFY(QFile::exists(path("first.bvx")));

    // Save goes to the current file without asking; Save As moves it.
    w->NewSession();
    w->mnuFileSave->trigger();
    QCOMPARE(dialog->shown.size(), 1);
    QCOMPARE(PrivateProfile(path("first.bvx")).readInt("Ombrix", "NumSessions"), 2);
    w->mnuFileSaveAs->trigger();
    QCOMPARE(dialog->shown.size(), 2);
    QCOMPARE(dialog->FileName(), path("second.bvx"));
    QCOMPARE(w->CurrentFileName, path("second.bvx"));
    QVERIFY(QFile::exists(path("second.bvx")));
}

void tst_frmMain::openReplacesEverySessionInactive()
{
    // A file of three sessions, all marked for start-up.
    {
        frmMain writer;
        writer.MDIForm_Load(QString());
        writer.closeAllSessions();
        for (int i = 0; i < 3; ++i) {
            frmDocument *s = writer.NewSession();
            s->txtLogFile->setText(QStringLiteral("/logs/%1").arg(i));
            s->Command1->setText(LoadResource(2160));
        }
        QVERIFY(writer.writeprofilesettings(path("three.bvx")));
    }
    Pty pty;
    m_env->mapPort(30, pty.slavePath());
    auto *dialog = new ScriptedFileDialog;
    dialog->answers = {path("three.bvx")};
    auto w = makeMain(dialog);
    frmDocument *active = w->sessions().first();
    active->Combo2->setCurrentIndex(30);
    active->Command1_Click();
    QVERIFY(active->MSComm1->portOpen());
    for (int i = 0; i < 4; ++i)
        w->NewSession();

    w->mnuFileOpen->trigger();
    QCOMPARE(dialog->shown, QStringList{"open Ombrix Files (*.BVX)|*.bvx|All Files (*.*)|*.* 4100 1 []"});
    QCOMPARE(w->CurrentFileName, path("three.bvx"));
    const QList<frmDocument *> open = w->sessions();
    QCOMPARE(open.size(), 3);
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(open[i]->txtLogFile->text(), QStringLiteral("/logs/%1").arg(i));
        QVERIFY(!open[i]->isActive());
    }
    // The port of the closed active session is free again.
    QtSerialComponent probe;
    probe.setCommPort(30);
    probe.setPortOpen(true);
    QVERIFY(probe.portOpen());
}

void tst_frmMain::cancelledDialogsChangeNothing()
{
    auto *dialog = new ScriptedFileDialog;
    dialog->answers = {QString(), QString()};
    auto w = makeMain(dialog);
    w->NewSession();
    w->CurrentFileName.clear();
    w->mnuFileOpen->trigger();
    w->mnuFileSaveAs->trigger();
    QCOMPARE(dialog->shown.size(), 2);
    QCOMPARE(w->sessions().size(), 2);
    QVERIFY(w->CurrentFileName.isEmpty());
}

void tst_frmMain::startUpActivatesMarkedSessions()
{
    Pty a;
    Pty b;
    m_env->mapPort(31, a.slavePath());
    m_env->mapPort(32, b.slavePath());
    QFile config(path("active.bvx"));
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write("[Ombrix]\r\nNumSessions=3\r\n"
                 "[Session1]\r\nLogFile=" +
                 path("a.log").toUtf8() +
                 "\r\nConnector=31\r\nBaudRate=6\r\nDatabits=3\r\nAutoActivate=1\r\n"
                 "[Session2]\r\nConnector=0\r\nAutoActivate=0\r\n"
                 "[Session3]\r\nLogFile=" +
                 path("b.log").toUtf8() +
                 "\r\nConnector=32\r\nBaudRate=12\r\nDatabits=3\r\nAutoActivate=1\r\n");
    config.close();
    auto w = makeMain(nullptr, path("active.bvx"));
    const QList<frmDocument *> open = w->sessions();
    QCOMPARE(open.size(), 3);
    QVERIFY(open[0]->isActive());
    QVERIFY(!open[1]->isActive());
    QVERIFY(open[2]->isActive());
    QCOMPARE(open[2]->windowTitle(), QStringLiteral("COM32 RS232 Serial Data Logger"));
    QCOMPARE(w->AutoActivateMarks(), (QVector<qint16>{0, 0, 0, 0, 0}));
    QVERIFY(a.write("from a"));
    QVERIFY(b.write("from b"));
    QTRY_COMPARE(readFile(path("a.log")), QByteArray("from a"));
    QTRY_COMPARE(readFile(path("b.log")), QByteArray("from b"));

    QVERIFY(w->close());
    const PrivateProfile saved(QCoreApplication::applicationDirPath() + QStringLiteral("/default.bvx"));
    QCOMPARE(saved.readInt("Session1", "AutoActivate"), 1);
    QCOMPARE(saved.readInt("Session2", "AutoActivate"), 0);
    QCOMPARE(saved.readInt("Session3", "AutoActivate"), 1);
}

void tst_frmMain::placementRoundTrip_data()
{
    QTest::addColumn<QStringList>("stored");
    QTest::addColumn<QRect>("pixels");
    QTest::addColumn<QStringList>("after");
    QTest::newRow("as stored") << QStringList{"1500", "-60", "9000", "6000"} << QRect(100, -4, 600, 400)
                               << QStringList{"1500", "-60", "9000", "6000"};
    QTest::newRow("fractions") << QStringList{"1000.4", "1000", "7000", "5000"} << QRect(67, 67, 467, 333)
                               << QStringList{"1000", "1000", "7000", "5000"};
    QTest::newRow("not numbers keep the design")
        << QStringList{"abc", "", "7000", "1e99"} << QRect(0, 0, 467, 308)
        << QStringList{"0", "0", "7000", "4620"};
}

void tst_frmMain::placementRoundTrip()
{
    QFETCH(QStringList, stored);
    QFETCH(QRect, pixels);
    QFETCH(QStringList, after);
    {
        QSettings settings(QStringLiteral("Ombrix"), QStringLiteral("Ombrix"));
        const char *keys[] = {"MainLeft", "MainTop", "MainWidth", "MainHeight"};
        for (int i = 0; i < 4; ++i)
            settings.setValue(QStringLiteral("Settings/") + QLatin1String(keys[i]), stored[i]);
    }
    auto w = makeMain();
    QCOMPARE(QRect(w->pos(), w->size()), pixels);
    QVERIFY(w->close());
    QSettings settings(QStringLiteral("Ombrix"), QStringLiteral("Ombrix"));
    QCOMPARE((QStringList{settings.value("Settings/MainLeft").toString(),
                          settings.value("Settings/MainTop").toString(),
                          settings.value("Settings/MainWidth").toString(),
                          settings.value("Settings/MainHeight").toString()}),
             after);
}

QTEST_MAIN(tst_frmMain)
#include "tst_frmMain.moc"
