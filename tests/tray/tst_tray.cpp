#include "dialogs/frmAbout.h"
#include "resources/ProgramIcon.h"
#include "tests/support/TestEnv.h"
#include "tray/basSubclass.h"
#include "tray/clsTaskBar.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QMenu>
#include <QTest>

#include <memory>

namespace {

// Stands in for the shell: counts the icon calls and says whether a taskbar exists.
class RecordingShell : public TrayShell
{
public:
    RecordingShell(int *calls, bool taskbar)
        : m_calls(calls)
        , m_taskbar(taskbar)
    {}
    bool notifyIcon(NotifyIconMessage, const NotifyIconRecord &) override { return ++*m_calls, false; }
    bool taskbarPosition(TaskbarRecord &record) override { return record.cbSize == 36 && m_taskbar; }

private:
    int *const m_calls;
    const bool m_taskbar;
};

QList<frmAbout *> aboutBoxes()
{
    QList<frmAbout *> boxes;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *box = qobject_cast<frmAbout *>(w); box && box->isVisible())
            boxes.append(box);
    return boxes;
}

} // namespace

Q_DECLARE_METATYPE(OsVersionInfo)

class tst_tray : public QObject
{
    Q_OBJECT

private:
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

    void versionRule_data()
    {
        QTest::addColumn<OsVersionInfo>("info");
        QTest::addColumn<bool>("hasTray");
        const auto version = [](quint32 platform, quint32 major, quint32 minor) {
            return OsVersionInfo{0, major, minor, 0, platform, {}};
        };
        QTest::newRow("platform 1") << version(1, 4, 0) << true;
        QTest::newRow("NT 3.50") << version(2, 3, 50) << false;
        QTest::newRow("NT 3.51") << version(2, 3, 51) << true;
        QTest::newRow("NT sum past 16 bits") << version(2, 327, 68) << false;
        QTest::newRow("platform 0") << version(0, 3, 51) << false;
    }
    void versionRule()
    {
        QFETCH(OsVersionInfo, info);
        QFETCH(bool, hasTray);
        basSubclassTest::setVersionQuery([info](OsVersionInfo &out) {
            const quint32 size = out.dwOSVersionInfoSize;
            out = info;
            return size == OsVersionInfo::RecordSize;
        });
        QWidget window;
        QCOMPARE(SubclassForm(&window, nullptr, "Ombrix", nullptr), hasTray);
        QCOMPARE(m_calls, hasTray ? 2 : 0); // the icon, then its tip
    }

    void subclassForm_data()
    {
        QTest::addColumn<bool>("taskbar");
        QTest::addColumn<bool>("withWindow");
        QTest::newRow("this system, taskbar") << true << true;
        QTest::newRow("no taskbar") << false << true;
        QTest::newRow("no window") << true << false;
    }
    void subclassForm()
    {
        QFETCH(bool, taskbar);
        QFETCH(bool, withWindow);
        resetModule(taskbar);
        QWidget window;
        const bool result = taskbar && withWindow;
        QCOMPARE(SubclassForm(withWindow ? &window : nullptr, nullptr, "Ombrix", nullptr), result);
        QCOMPARE(TaskBar().CallbackMessage(), qint16(result ? 0x701 : 0));
    }

    void trayMessages_data()
    {
        QTest::addColumn<qint32>("mouseMessage");
        QTest::addColumn<bool>("withDefault");
        QTest::addColumn<QStringList>("popups");
        QTest::addColumn<int>("aboutBoxes");
        QTest::newRow("move") << 0x200 << true << QStringList{} << 0;
        QTest::newRow("left up") << 0x202 << true << QStringList{} << 0;
        QTest::newRow("left double-click") << 0x203 << true << QStringList{} << 1;
        QTest::newRow("right up, default bold") << 0x205 << true << QStringList{"&About Ombrix"} << 0;
        QTest::newRow("right up, no default") << 0x205 << false << QStringList{"none"} << 0;
        QTest::newRow("right double-click") << 0x206 << true << QStringList{} << 0;
    }
    void trayMessages()
    {
        QFETCH(qint32, mouseMessage);
        QFETCH(bool, withDefault);
        QFETCH(QStringList, popups);
        QFETCH(int, aboutBoxes);
        QWidget window;
        QMenu menu;
        menu.setDefaultAction(menu.addAction("&Open Ombrix")); // left from elsewhere; must not survive
        QAction *about = menu.addAction("&About Ombrix");
        QVERIFY(SubclassForm(&window, &menu, "Ombrix", withDefault ? about : nullptr));
        // Through the hook, as the icon's callback reaches the window.
        QApplication::sendEvent(&window, std::make_unique<TrayCallbackEvent>(0x701, mouseMessage).get());
        QCOMPARE(m_popups, popups);
        QCOMPARE(::aboutBoxes().size(), aboutBoxes);
    }

    void doubleClickWithModalOpen()
    {
        QWidget window;
        QVERIFY(SubclassForm(&window, nullptr, "Ombrix", nullptr));
        QDialog dialog;
        dialog.setModal(true);
        dialog.show();
        QTRY_COMPARE(QApplication::activeModalWidget(), &dialog);
        QApplication::sendEvent(&window, std::make_unique<TrayCallbackEvent>(0x701, 0x203).get());
        QVERIFY(aboutBoxes().isEmpty());
        dialog.close();
        QApplication::sendEvent(&window, std::make_unique<TrayCallbackEvent>(0x701, 0x203).get());
        QCOMPARE(aboutBoxes().size(), 1);
    }
};

QTEST_MAIN(tst_tray)
#include "tst_tray.moc"
