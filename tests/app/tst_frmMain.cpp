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
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QLineEdit>
#include <QMdiArea>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QTimer>

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
    void menuTree_data();
    void menuTree();
    void trayMenuShowsOpenAndAbout();
    void windowListFollowsSessions();
    void arrangements_data();
    void arrangements();
    void helpIndex_data();
    void helpIndex();
    void passwordGuard_data();
    void passwordGuard();
    void minimisedWithoutTrayStaysReachable();
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
    for (QAction *action : w->mnuFile->actions()) {
        if (action->isVisible())
            texts << action->text();
    }
    QCOMPARE(texts, expected);
    QCOMPARE(w->mnuFileNew->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_N));
    QCOMPARE(w->mnuFileOpen->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
    QCOMPARE(w->mnuFileSave->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
    QCOMPARE(w->windowTitle(), QStringLiteral("Ombrix"));
    const QList<QSize> sizes = w->windowIcon().availableSizes();
    for (int side : {16, 32, 48})
        QVERIFY(sizes.contains(QSize(side, side)));
}

void tst_frmMain::menuTree_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("english");
    QTest::addColumn<QString>("japanese");
    QTest::addColumn<bool>("visible");
    QTest::addColumn<QKeySequence>("shortcut");
    const struct
    {
        const char *name, *english, *japanese;
        bool visible;
        QKeySequence shortcut;
    } rows[] = {
        {"mnuFile", "&File", "ファイル(&F)", true, {}},
        {"mnuFileNew", "&New", "新規(&N)", true, QKeySequence(Qt::CTRL | Qt::Key_N)},
        {"mnuFileOpen", "&Open", "開く(&O)", true, QKeySequence(Qt::CTRL | Qt::Key_O)},
        {"mnuFileClose", "&Close", "閉じる(&C)", true, {}},
        {"mnuFileSave", "&Save", "保存(&S)", true, QKeySequence(Qt::CTRL | Qt::Key_S)},
        {"mnuFileSaveAs", "Save &As...", "名前を付けて保存(&A)", true, {}},
        {"mnuOptions(0)", "&Options...", "オプション(&O)", false, {}},
        {"mPassword", "&Password...", "パスワード(&P)", false, {}},
        {"mnuFileBar6", "", "", false, {}},
        {"mnuFileExit", "E&xit", "終了(&x)", true, {}},
        {"mnuWindow", "&Window", "ウィンドウ(&W)", true, {}},
        {"mnuWindowCascade", "&Cascade", "重ねて表示(&C)", true, {}},
        {"mnuWindowTileHorizontal", "Tile &Horizontal", "上下に並べる(&H)", true, {}},
        {"mnuWindowTileVertical", "Tile &Vertical", "左右に並べる(&V)", true, {}},
        {"mnuWindowArrangeIcons", "&Arrange Icons", "アイコンの整列(&A)", true, {}},
        {"mnuHelp", "&Help", "ヘルプ(&H)", true, {}},
        {"mnuHelpContents", "&Index", "インデックス(&I)", true, {}},
        {"mnuHelpSearch", "&Search for help on...", "検索(&S)", false, {}},
        {"mnuVelder", "Velder on the &Web", "Velder社ウェッブサイト(&W)", true, {}},
        {"mnuHelpAbout", "&About...", "バージョン情報(&A)", true, {}},
        {"mnuPopUp", "Popup Menu", "Popup Menu", false, {}},
        {"mnuOpen", "&Open Ombrix", "Ombrixを開く(&O)", true, {}},
        {"mnuHide", "&Hide Ombrix", "Ombrixを隠す(&H)", false, {}},
        {"mnuExit", "E&xit Ombrix", "Ombrixの終了(&x)", false, {}},
        {"mnuAbout", "&About Ombrix", "バージョン情報(&A)", true, {}},
    };
    for (const auto &row : rows)
        QTest::newRow(row.name) << QString::fromLatin1(row.name) << QString::fromUtf8(row.english)
                                << QString::fromUtf8(row.japanese) << row.visible << row.shortcut;
}

void tst_frmMain::menuTree()
{
    QFETCH(QString, name);
    QFETCH(QString, english);
    QFETCH(QString, japanese);
    QFETCH(bool, visible);
    QFETCH(QKeySequence, shortcut);
    for (Language language : {Language::English, Language::Japanese}) {
        setLanguageOverride(language);
        frmMain w;
        ApplyResourceStrings(&w);
        QList<QAction *> found;
        for (QAction *action : w.findChildren<QAction *>(name))
            found << action;
        for (QMenu *menu : w.findChildren<QMenu *>(name))
            found << menu->menuAction();
        QVERIFY2(!found.isEmpty(), qPrintable(name));
        QAction *action = found.constFirst();
        QCOMPARE(action->text(), language == Language::English ? english : japanese);
        QCOMPARE(action->isVisible(), visible);
        QCOMPARE(action->shortcut(), shortcut);
    }
    setLanguageOverride(Language::English);
    frmMain w;
    QVERIFY(!w.mnuHelpSearch->isEnabled());
}

void tst_frmMain::trayMenuShowsOpenAndAbout()
{
    auto w = makeMain();
    QStringList shown;
    for (QAction *action : w->mnuPopUp->actions()) {
        if (action->isVisible())
            shown << (action->isSeparator() ? QStringLiteral("-") : action->text());
    }
    QCOMPARE(shown, (QStringList{"&Open Ombrix", "-", "&About Ombrix"}));
    // Exit in the tray menu is File > Exit: the close sequence with its save.
    w->mnuExit->trigger();
    QVERIFY(QFile::exists(QCoreApplication::applicationDirPath() + QStringLiteral("/default.bvx")));
    QVERIFY(w->sessions().isEmpty());
}

void tst_frmMain::windowListFollowsSessions()
{
    auto w = makeMain();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    frmDocument *second = w->NewSession();
    second->setWindowTitle(QStringLiteral("COM7 RS232 Serial Data Logger"));
    w->mdiArea->setActiveSubWindow(w->sessions().first());
    emit w->mnuWindow->aboutToShow();
    QStringList entries;
    QAction *secondEntry = nullptr;
    for (QAction *action : w->mnuWindow->actions()) {
        if (!action->isCheckable())
            continue;
        entries << QStringLiteral("%1%2").arg(action->isChecked() ? "* " : "", action->text());
        if (action->text().contains(QLatin1String("COM7")))
            secondEntry = action;
    }
    QCOMPARE(entries, (QStringList{"* &1 RS232 Serial Data Logger", "&2 COM7 RS232 Serial Data Logger"}));
    secondEntry->trigger();
    QCOMPARE(w->mdiArea->activeSubWindow(), second);
    // Rebuilt, not added to, each time the menu drops down.
    second->close();
    QTRY_COMPARE(w->sessions().size(), 1);
    emit w->mnuWindow->aboutToShow();
    QCOMPARE(w->mnuWindow->actions().size(), 4 + 2);
}

void tst_frmMain::arrangements_data()
{
    QTest::addColumn<int>("mode");
    QTest::newRow("cascade") << int(frmMain::Cascade);
    QTest::newRow("tile horizontal") << int(frmMain::TileHorizontal);
    QTest::newRow("tile vertical") << int(frmMain::TileVertical);
    QTest::newRow("arrange icons") << int(frmMain::ArrangeIcons);
}

void tst_frmMain::arrangements()
{
    QFETCH(int, mode);
    auto w = makeMain();
    w->resize(1200, 900);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    w->NewSession();
    w->NewSession();
    const QList<frmDocument *> open = w->sessions();
    if (mode == frmMain::ArrangeIcons) {
        open[0]->showMinimized();
        open[2]->showMinimized();
    }
    w->arrange(mode);
    const QRect area = w->mdiArea->viewport()->rect();
    switch (mode) {
    case frmMain::Cascade:
        QVERIFY(open[0]->pos() != open[1]->pos() && open[1]->pos() != open[2]->pos());
        break;
    case frmMain::TileHorizontal:
        for (int i = 0; i < 3; ++i)
            QCOMPARE(open[i]->pos(), QPoint(0, area.height() * i / 3));
        break;
    case frmMain::TileVertical:
        for (int i = 0; i < 3; ++i)
            QCOMPARE(open[i]->pos(), QPoint(area.width() * i / 3, 0));
        break;
    case frmMain::ArrangeIcons:
        QCOMPARE(open[0]->geometry().bottom(), area.bottom());
        QCOMPARE(open[2]->geometry().bottom(), area.bottom());
        QCOMPARE(open[0]->x(), 0);
        QCOMPARE(open[2]->x(), open[0]->width());
        break;
    }
}

void tst_frmMain::helpIndex_data()
{
    QTest::addColumn<bool>("fileThere");
    QTest::addColumn<bool>("viewerThere");
    QTest::newRow("file and viewer") << true << true;
    QTest::newRow("no help file") << false << true;
    QTest::newRow("no viewer") << true << false;
}

void tst_frmMain::helpIndex()
{
    QFETCH(bool, fileThere);
    QFETCH(bool, viewerThere);
    // A viewer that notes what it was asked to open and stays until ended.
    const QString marker = path("viewer-opened");
    const QString viewer = path("viewer.sh");
    QFile::remove(marker);
    {
        QFile script(viewer);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\necho \"$1\" > '" + marker.toUtf8() + "'\nexec sleep 600\n");
        script.setPermissions(script.permissions() | QFile::ExeOwner);
    }
    frmMain::setHelpViewer(viewerThere ? viewer : QStringLiteral(""));
    const QString help = frmMain::helpFilePath();
    const bool hadHelp = QFile::exists(help);
    QByteArray kept;
    if (hadHelp) {
        QFile old(help);
        QVERIFY(old.open(QIODevice::ReadOnly));
        kept = old.readAll();
    }
    QFile::remove(help);
    if (fileThere) {
        QFile file(help);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }

    auto w = makeMain();
    w->mnuHelpContents->trigger();
    if (fileThere && viewerThere) {
        QTRY_VERIFY(QFile::exists(marker));
        QCOMPARE(readFile(marker).trimmed(), help.toUtf8());
        auto *process = w->findChild<QProcess *>();
        QVERIFY(process);
        QTRY_COMPARE(process->state(), QProcess::Running);
        QVERIFY(w->close()); // ends the viewer it started
        QCOMPARE(process->state(), QProcess::NotRunning);
    } else {
        QVERIFY(!w->findChild<QProcess *>());
        QVERIFY(!QFile::exists(marker));
    }

    frmMain::setHelpViewer(QString());
    QFile::remove(help);
    if (hadHelp) {
        QFile restore(help);
        QVERIFY(restore.open(QIODevice::WriteOnly));
        restore.write(kept);
    }
}

void tst_frmMain::passwordGuard_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("maximisedBefore");
    QTest::addColumn<QString>("answer"); // null: Cancel
    QTest::addColumn<bool>("prompted");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("restored");
    QTest::newRow("right") << "s3cret" << false << "s3cret" << true << "" << true;
    QTest::newRow("right after maximised") << "s3cret" << true << "s3cret" << true << "" << true;
    QTest::newRow("wrong") << "s3cret" << false << "S3cret" << true << "Invalid password" << false;
    QTest::newRow("trailing blank") << "s3cret" << false << "s3cret " << true << "Invalid password" << false;
    QTest::newRow("empty") << "s3cret" << false << "" << true << "" << false;
    QTest::newRow("cancel") << "s3cret" << false << QString() << true << "" << false;
    QTest::newRow("no password") << "" << false << QString() << false << "" << true;
}

void tst_frmMain::passwordGuard()
{
    QFETCH(QString, password);
    QFETCH(bool, maximisedBefore);
    QFETCH(QString, answer);
    QFETCH(bool, prompted);
    QFETCH(QString, message);
    QFETCH(bool, restored);
    auto w = makeMain();
    Globals::TrayActive = true; // the rule hides a minimised window only when a tray can bring it back
    Globals::Password = password;
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    if (maximisedBefore)
        w->setWindowState(Qt::WindowMaximized);
    w->setWindowState(Qt::WindowMinimized);
    QVERIFY(w->isHidden());             // only the tray icon is left
    QTRY_VERIFY(Globals::WasMinimized); // the next tick of Timer1

    bool sawPrompt = false;
    bool stayedHidden = false;
    QString shownMessage;
    QTimer::singleShot(0, this, [&] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog || dialog->objectName() != QLatin1String("Form2"))
            return;
        sawPrompt = true;
        // Hidden while it asks; the tray's Open cannot get past the prompt.
        w->mnuOpen->trigger();
        stayedHidden = w->isHidden() && QApplication::activeModalWidget() == dialog;
        if (!answer.isNull()) {
            // A wrong answer brings a message box up after the prompt closes.
            QTimer::singleShot(0, this, [&] {
                if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                    shownMessage = box->text();
                    box->button(QMessageBox::Ok)->click();
                }
            });
            dialog->findChild<QLineEdit *>(QStringLiteral("Text1"))->setText(answer);
            dialog->findChild<QPushButton *>(QStringLiteral("Command1"))->click();
        } else {
            dialog->findChild<QPushButton *>(QStringLiteral("Command2"))->click();
        }
    });
    w->mnuOpen->trigger(); // the tray menu's Open

    QCOMPARE(sawPrompt, prompted);
    QCOMPARE(stayedHidden, prompted);
    QCOMPARE(shownMessage, message);
    if (restored) {
        QVERIFY(w->isVisible());
        QCOMPARE(w->windowState(), Qt::WindowNoState);
    } else {
        QVERIFY(w->isHidden());
        QVERIFY(w->windowState().testFlag(Qt::WindowMinimized));
    }
    Globals::TrayActive = false;
    Globals::Password.clear();
}

void tst_frmMain::minimisedWithoutTrayStaysReachable()
{
    Globals::TrayActive = false;
    auto w = makeMain();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    w->setWindowState(Qt::WindowMinimized);
    QVERIFY(!w->isHidden());
    QVERIFY(w->windowState().testFlag(Qt::WindowMinimized));
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
