#include "dialogs/frmAbout.h"
#include "tests/support/TestEnv.h"
#include "tray/basSubclass.h"
#include "tray/clsTaskBar.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QTest>

#include <memory>

namespace {

// Stands in for the shell: counts the icon calls and says whether a taskbar exists.
class RecordingShell : public TrayShell
{
public:
    int *calls;
    bool taskbar;
    RecordingShell(int *calls, bool taskbar)
        : calls(calls)
        , taskbar(taskbar)
    {}
    bool notifyIcon(NotifyIconMessage, const NotifyIconRecord &) override { return ++*calls, false; }
    bool taskbarPosition(TaskbarRecord &record) override { return record.cbSize == 36 && taskbar; }
};

QList<frmAbout *> aboutBoxes()
{
    QList<frmAbout *> boxes;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->isVisible() && qobject_cast<frmAbout *>(w))
            boxes.append(static_cast<frmAbout *>(w));
    return boxes;
}

} // namespace

Q_DECLARE_METATYPE(OsVersionInfo)

class tst_tray : public QObject
{
    Q_OBJECT
    TestEnv m_env;
    int m_calls = 0;
    QStringList m_popups; // the default item of each pop-up menu, "none" for none

    void resetModule(bool taskbar = true)
    {
        m_calls = 0;
        basSubclassTest::reset(std::make_unique<RecordingShell>(&m_calls, taskbar));
    }

private slots:
    void init()
    {
        resetModule();
        m_popups.clear();
        basSubclassTest::setVersionQuery({});
        basSubclassTest::setMenuPopup([this](QMenu *menu, QWidget *) {
            m_popups << (menu->defaultAction() ? menu->defaultAction()->text() : QStringLiteral("none"));
        });
    }
    void cleanup() { qDeleteAll(aboutBoxes()); }

    // Whether the program gets a tray icon: the version rule with injected
    // records, whether a taskbar exists, whether there is a window.
    void subclassForm_data()
    {
        QTest::addColumn<OsVersionInfo>("info"); // platform 0: this system's own record
        QTest::addColumn<bool>("taskbar");
        QTest::addColumn<bool>("withWindow");
        QTest::addColumn<bool>("hasTray");
        const auto version = [](quint32 platform, quint32 major, quint32 minor) {
            return OsVersionInfo{0, major, minor, 0, platform, {}};
        };
        QTest::newRow("this system") << OsVersionInfo{} << true << true << true;
        QTest::newRow("no taskbar") << OsVersionInfo{} << false << true << false;
        QTest::newRow("no window") << OsVersionInfo{} << true << false << false;
        QTest::newRow("platform 1") << version(1, 4, 0) << true << true << true;
        QTest::newRow("NT 3.50") << version(2, 3, 50) << true << true << false;
        QTest::newRow("NT 3.51") << version(2, 3, 51) << true << true << true;
        QTest::newRow("NT sum past 16 bits") << version(2, 327, 68) << true << true << false;
    }
    void subclassForm()
    {
        QFETCH(OsVersionInfo, info);
        QFETCH(bool, taskbar);
        QFETCH(bool, withWindow);
        resetModule(taskbar);
        if (info.dwMajorVersion) {
            basSubclassTest::setVersionQuery([info](OsVersionInfo &out) {
                const bool asked = out.dwOSVersionInfoSize == OsVersionInfo::RecordSize;
                out = info;
                return asked;
            });
        }
        QWidget window;
        QFETCH(bool, hasTray);
        QCOMPARE(SubclassForm(withWindow ? &window : nullptr, nullptr, "Ombrix", nullptr), hasTray);
        QCOMPARE(m_calls, hasTray ? 2 : 0); // the icon, then its tip
        QCOMPARE(TaskBar().CallbackMessage(), qint16(hasTray ? 0x701 : 0));
    }

    void trayMessages_data()
    {
        QTest::addColumn<qint32>("mouseMessage");
        QTest::addColumn<bool>("withDefault");
        QTest::addColumn<QStringList>("popups");
        QTest::addColumn<int>("aboutBoxes");
        QTest::newRow("left double-click") << 0x203 << true << QStringList{} << 1;
        QTest::newRow("right up, default bold")
            << 0x205 << true << QStringList{"&About Ombrix", "&About Ombrix"} << 0;
        QTest::newRow("right up, no default") << 0x205 << false << QStringList{"none", "none"} << 0;
    }
    void trayMessages()
    {
        QFETCH(qint32, mouseMessage);
        QFETCH(bool, withDefault);
        QWidget window;
        QMenu menu;
        menu.setDefaultAction(menu.addAction("&Open Ombrix")); // left from elsewhere; must not survive
        QAction *about = menu.addAction("&About Ombrix");
        QVERIFY(SubclassForm(&window, &menu, "Ombrix", withDefault ? about : nullptr));
        // Through the hook, as the icon's callback reaches the window; twice, as an impatient user.
        for (int i = 0; i < 2; ++i)
            QApplication::sendEvent(&window, std::make_unique<TrayCallbackEvent>(0x701, mouseMessage).get());
        QTEST(m_popups, "popups");
        QTEST(int(::aboutBoxes().size()), "aboutBoxes");
    }
};

QTEST_MAIN(tst_tray)
#include "tst_tray.moc"
