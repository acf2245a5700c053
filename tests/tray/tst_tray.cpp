#include "dialogs/frmAbout.h"
#include "resources/ProgramIcon.h"
#include "tests/support/TestEnv.h"
#include "tray/basSubclass.h"
#include "tray/clsTaskBar.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QMenu>
#include <QTest>

#include <functional>
#include <memory>

namespace {

// Stands in for the shell: keeps a copy of every record it was handed.
struct ShellCall
{
    NotifyIconMessage message;
    NotifyIconRecord record;
};
class RecordingShell : public TrayShell
{
public:
    RecordingShell(QList<ShellCall> *calls, bool taskbar = true)
        : m_calls(calls)
        , m_taskbar(taskbar)
    {}
    bool notifyIcon(NotifyIconMessage message, const NotifyIconRecord &record) override
    {
        m_calls->append({message, record});
        return false; // nobody may depend on the answer
    }
    bool taskbarPosition(TaskbarRecord &record) override { return record.cbSize == 36 && m_taskbar; }

private:
    QList<ShellCall> *const m_calls;
    const bool m_taskbar;
};

QString summary(const ShellCall &call)
{
    static const char *const names[] = {"add", "modify", "delete"};
    return QStringLiteral("%1 %2 flags=%3 cb=%4")
        .arg(QLatin1String(names[call.message]))
        .arg(call.record.uID)
        .arg(call.record.uFlags)
        .arg(call.record.uCallbackMessage, 0, 16);
}

// A window that records the events that reach it and answers them as told.
class EventCatcher : public QWidget
{
public:
    QList<QEvent::Type> received;
    QList<qint32> mouseMessages;

protected:
    bool event(QEvent *event) override
    {
        received.append(event->type());
        if (event->type() == TrayCallbackEvent::eventType())
            mouseMessages.append(static_cast<TrayCallbackEvent *>(event)->mouseMessage());
        if (event->type() >= QEvent::User)
            return true;
        return QWidget::event(event);
    }
};

QList<frmAbout *> aboutBoxes()
{
    QList<frmAbout *> boxes;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *box = qobject_cast<frmAbout *>(w); box && box->isVisible())
            boxes.append(box);
    return boxes;
}

OsVersionInfo version(quint32 platform, quint32 major, quint32 minor)
{
    return {0, major, minor, 0, platform, {}};
}

} // namespace

using Script = std::function<void(clsTaskBar &)>;
using EventPtr = std::shared_ptr<QEvent>;
Q_DECLARE_METATYPE(Script)
Q_DECLARE_METATYPE(OsVersionInfo)
Q_DECLARE_METATYPE(EventPtr)

class tst_tray : public QObject
{
    Q_OBJECT

private:
    TestEnv m_env;
    QList<ShellCall> m_calls;
    QList<QAction *> m_popupDefaults;
    QList<QWidget *> m_popupOwners;

    void resetModule(bool taskbar = true)
    {
        m_calls.clear();
        basSubclassTest::reset(std::make_unique<RecordingShell>(&m_calls, taskbar));
    }

private slots:
    void init()
    {
        resetModule();
        m_popupDefaults.clear();
        m_popupOwners.clear();
        basSubclassTest::setVersionQuery({});
        basSubclassTest::setMenuPopup([this](QMenu *menu, QWidget *owner) {
            m_popupDefaults.append(menu->defaultAction());
            m_popupOwners.append(owner);
        });
    }
    void cleanup()
    {
        qDeleteAll(aboutBoxes());
        basSubclassTest::reset(std::make_unique<RecordingShell>(&m_calls));
    }

    void shellCalls_data()
    {
        QTest::addColumn<Script>("script");
        QTest::addColumn<QStringList>("expected");
        const QIcon icon = programIcon();
        QTest::newRow("add, no tip") << Script([icon](clsTaskBar &t) { t.AddIcon(icon, 1); })
                                     << QStringList{"add 1 flags=3 cb=701"};
        QTest::newRow("tip after add keeps message") << Script([icon](clsTaskBar &t) {
            t.AddIcon(icon, 1);
            t.ChangeTip("Ombrix", 1);
        }) << QStringList{"add 1 flags=3 cb=701", "modify 1 flags=4 cb=701"};
        QTest::newRow("change icon") << Script([icon](clsTaskBar &t) { t.ChangeIcon(icon, 2); })
                                     << QStringList{"modify 2 flags=2 cb=0"};
        QTest::newRow("delete keeps last flags") << Script([](clsTaskBar &t) {
            t.ChangeTip("x", 5);
            t.DeleteIcon(5);
        }) << QStringList{"modify 5 flags=4 cb=0", "delete 5 flags=4 cb=0"};
        QTest::newRow("delete all 0") << Script([](clsTaskBar &t) { t.DeleteAllIcons(0); }) << QStringList{};
        QTest::newRow("delete all negative")
            << Script([](clsTaskBar &t) { t.DeleteAllIcons(-5); }) << QStringList{};
        QTest::newRow("delete all 3 in order")
            << Script([](clsTaskBar &t) { t.DeleteAllIcons(3); })
            << QStringList{"delete 1 flags=7 cb=0", "delete 2 flags=7 cb=0", "delete 3 flags=7 cb=0"};
        QTest::newRow("window and taskbar query make no icon call") << Script([](clsTaskBar &t) {
            t.hwnd(nullptr);
            t.Exists();
        }) << QStringList{};
    }
    void shellCalls()
    {
        QFETCH(Script, script);
        QFETCH(QStringList, expected);
        clsTaskBar taskBar(std::make_unique<RecordingShell>(&m_calls));
        script(taskBar);
        QStringList got;
        for (const auto &call : std::as_const(m_calls)) {
            got.append(summary(call));
            QCOMPARE(call.record.cbSize, 88u);
        }
        QCOMPARE(got, expected);
    }

    void tipField_data()
    {
        QTest::addColumn<QString>("tip");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("program tip") << "Ombrix" << QByteArray("Ombrix");
        QTest::newRow("empty") << "" << QByteArray();
        QTest::newRow("62 chars") << QString(62, 'a') << QByteArray(62, 'a');
        QTest::newRow("63 chars fit") << QString(63, 'b') << QByteArray(63, 'b');
        QTest::newRow("64 chars") << QString(64, 'c') << QByteArray(63, 'c');
        QTest::newRow("100 chars") << QString(100, 'd') << QByteArray(63, 'd');
        QTest::newRow("two-byte chars never split")
            << QString(40, QChar(0xe9)) << QString(31, QChar(0xe9)).toUtf8();
        QTest::newRow("zero inside ends tip") << QString("ab") + QChar(0) + "cd" << QByteArray("ab");
    }
    void tipField()
    {
        QFETCH(QString, tip);
        QFETCH(QByteArray, expected);
        clsTaskBar taskBar(std::make_unique<RecordingShell>(&m_calls));
        taskBar.ChangeTip(tip, 1);
        QCOMPARE(m_calls.size(), 1);
        const auto &field = m_calls.front().record.szTip;
        const QByteArray bytes(field.data(), qsizetype(field.size()));
        QCOMPARE(bytes.left(expected.size()), expected);
        QCOMPARE(bytes.at(expected.size()), '\0');
        QCOMPARE(bytes.back(), '\0');
        if (expected.size() < 62)
            QCOMPARE(bytes.mid(expected.size() + 1, 62 - expected.size()),
                     QByteArray(62 - expected.size(), ' '));
    }

    void qtShellIcons()
    {
        QWidget window;
        clsTaskBar taskBar(std::make_unique<QtTrayShell>());
        auto &shell = static_cast<QtTrayShell &>(taskBar.shell());
        taskBar.ChangeTip("no icon yet", 4); // not detected, not fatal
        QVERIFY(!shell.icon(4));

        taskBar.hwnd(&window);
        taskBar.AddIcon(programIcon(), 1);
        taskBar.AddIcon(programIcon(), 2);
        QSystemTrayIcon *icon = shell.icon(1);
        QVERIFY(icon);
        QVERIFY(icon->isVisible());
        QVERIFY(!icon->icon().isNull());
        QVERIFY(icon->toolTip().isEmpty());
        taskBar.ChangeTip("Ombrix", 1);
        QCOMPARE(icon->toolTip(), "Ombrix");
        QVERIFY(shell.icon(2)->toolTip().isEmpty());
        taskBar.ChangeTip("", 1);
        QVERIFY(icon->toolTip().isEmpty());

        taskBar.DeleteIcon(1);
        QVERIFY(!shell.icon(1));
        QVERIFY(shell.icon(2));
        taskBar.DeleteAllIcons(3);
        QVERIFY(!shell.icon(2));
    }

    void qtShellActivation_data()
    {
        QTest::addColumn<QSystemTrayIcon::ActivationReason>("reason");
        QTest::addColumn<qint32>("mouseMessage");
        QTest::newRow("double-click") << QSystemTrayIcon::DoubleClick << 0x203;
        QTest::newRow("context") << QSystemTrayIcon::Context << 0x205;
        QTest::newRow("left click") << QSystemTrayIcon::Trigger << 0x202;
    }
    void qtShellActivation()
    {
        QFETCH(QSystemTrayIcon::ActivationReason, reason);
        QFETCH(qint32, mouseMessage);
        EventCatcher window;
        clsTaskBar taskBar(std::make_unique<QtTrayShell>());
        taskBar.hwnd(&window);
        taskBar.AddIcon(programIcon(), 1);
        emit static_cast<QtTrayShell &>(taskBar.shell()).icon(1)->activated(reason);
        QTRY_COMPARE(window.mouseMessages, QList<qint32>{mouseMessage});
    }

    void versionRule_data()
    {
        QTest::addColumn<OsVersionInfo>("info");
        QTest::addColumn<bool>("hasTray");
        QTest::newRow("platform 1") << version(1, 4, 0) << true;
        QTest::newRow("NT 3.50") << version(2, 3, 50) << false;
        QTest::newRow("NT 3.51") << version(2, 3, 51) << true;
        QTest::newRow("NT 10.0") << version(2, 10, 0) << true;
        QTest::newRow("NT sum past 16 bits") << version(2, 327, 68) << false;
        QTest::newRow("platform 0") << version(0, 3, 51) << false;
        QTest::newRow("platform 3") << version(3, 10, 0) << false;
    }
    void versionRule()
    {
        QFETCH(OsVersionInfo, info);
        QFETCH(bool, hasTray);
        basSubclassTest::setVersionQuery([info](OsVersionInfo &out) {
            const quint32 size = out.dwOSVersionInfoSize;
            out = info;
            out.dwOSVersionInfoSize = size;
            return size == 148;
        });
        EventCatcher window;
        QCOMPARE(SubclassForm(&window, nullptr, "Ombrix", nullptr), hasTray);
        QCOMPARE(m_calls.size(), hasTray ? 2 : 0);
    }

    void subclassForm_data()
    {
        QTest::addColumn<bool>("taskbar");
        QTest::addColumn<bool>("withWindow");
        QTest::addColumn<bool>("result");
        QTest::newRow("this system, taskbar") << true << true << true;
        QTest::newRow("no taskbar") << false << true << false;
        QTest::newRow("no window") << true << false << false;
    }
    void subclassForm()
    {
        QFETCH(bool, taskbar);
        QFETCH(bool, withWindow);
        QFETCH(bool, result);
        resetModule(taskbar);
        EventCatcher window;
        window.setWindowIcon(programIcon());
        QCOMPARE(SubclassForm(withWindow ? &window : nullptr, nullptr, "Ombrix", nullptr), result);
        QStringList got;
        for (const auto &call : std::as_const(m_calls))
            got.append(summary(call));
        const QStringList expected =
            result ? QStringList{"add 1 flags=3 cb=701", "modify 1 flags=4 cb=701"} : QStringList{};
        QCOMPARE(got, expected);
        QCOMPARE(TaskBar().CallbackMessage(), qint16(result ? 0x701 : 0));
        if (!result)
            return;
        // The tip call still carries the window and icon the add call set.
        for (const auto &call : std::as_const(m_calls)) {
            QCOMPARE(call.record.hWnd.data(), &window);
            QCOMPARE(call.record.hIcon.cacheKey(), window.windowIcon().cacheKey());
        }
        QCOMPARE(m_calls.back().record.tipText(), QByteArray("Ombrix"));
    }

    void otherEventsUntouched_data()
    {
        QTest::addColumn<bool>("iconAdded");
        QTest::addColumn<EventPtr>("event");
        QTest::addColumn<bool>("reachesWindow");
        const auto callback = [](quint32 message, qint32 mouse) {
            return std::make_shared<TrayCallbackEvent>(message, mouse);
        };
        QTest::newRow("key press") << true
                                   << EventPtr(std::make_shared<QKeyEvent>(QEvent::KeyPress, Qt::Key_A,
                                                                           Qt::NoModifier))
                                   << true;
        QTest::newRow("user event") << true << std::make_shared<QEvent>(QEvent::User) << true;
        QTest::newRow("other message") << true << EventPtr(callback(0x700, 0x203)) << true;
        QTest::newRow("before icon added") << false << EventPtr(callback(0x701, 0x203)) << true;
        QTest::newRow("tray message") << true << EventPtr(callback(0x701, 0x200)) << false;
    }
    void otherEventsUntouched()
    {
        QFETCH(bool, iconAdded);
        QFETCH(EventPtr, event);
        QFETCH(bool, reachesWindow);
        EventCatcher window;
        QVERIFY(iconAdded ? SubclassForm(&window, nullptr, "Ombrix", nullptr) : HookWindow(&window));
        window.received.clear();
        const bool handled = QApplication::sendEvent(&window, event.get());
        QCOMPARE(window.received.contains(event->type()), reachesWindow);
        // The window's own answer comes back; the tray message is taken by the hook.
        if (event->type() >= QEvent::User)
            QVERIFY(handled);
        QVERIFY(aboutBoxes().isEmpty());
    }

    void trayMessages_data()
    {
        QTest::addColumn<qint32>("mouseMessage");
        QTest::addColumn<bool>("withDefault");
        QTest::addColumn<QStringList>("popups"); // the default item of each pop-up
        QTest::addColumn<int>("aboutBoxes");
        QTest::newRow("move") << 0x200 << true << QStringList{} << 0;
        QTest::newRow("left down") << 0x201 << true << QStringList{} << 0;
        QTest::newRow("left up") << 0x202 << true << QStringList{} << 0;
        QTest::newRow("left double-click") << 0x203 << true << QStringList{} << 1;
        QTest::newRow("right down") << 0x204 << true << QStringList{} << 0;
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
        EventCatcher window;
        QMenu menu;
        menu.setDefaultAction(menu.addAction("&Open Ombrix")); // left from elsewhere; must not survive
        QAction *about = menu.addAction("&About Ombrix");
        QVERIFY(SubclassForm(&window, &menu, "Ombrix", withDefault ? about : nullptr));
        QCOMPARE(WindowProc(&window, 0x701, 0, mouseMessage), 0);
        QStringList got;
        for (QAction *item : std::as_const(m_popupDefaults))
            got.append(item ? item->text() : "none");
        QCOMPARE(got, popups);
        QCOMPARE(::aboutBoxes().size(), aboutBoxes);
        for (QWidget *owner : std::as_const(m_popupOwners))
            QCOMPARE(owner, &window);
    }

    void doubleClickWithModalOpen()
    {
        EventCatcher window;
        QVERIFY(SubclassForm(&window, nullptr, "Ombrix", nullptr));
        QWidget other;
        other.show();
        QDialog dialog;
        dialog.setModal(true);
        dialog.show();
        QTRY_COMPARE(QApplication::activeModalWidget(), &dialog);
        other.activateWindow();
        QApplication::sendEvent(&window, std::make_unique<TrayCallbackEvent>(0x701, 0x203).get());
        QVERIFY(aboutBoxes().isEmpty());
        QTRY_VERIFY(dialog.isActiveWindow());
        dialog.close();
        QApplication::sendEvent(&window, std::make_unique<TrayCallbackEvent>(0x701, 0x203).get());
        QCOMPARE(aboutBoxes().size(), 1);
    }

    void unhook()
    {
        auto window = std::make_unique<EventCatcher>();
        QVERIFY(!UnhookWindow(window.get()));
        QVERIFY(SubclassForm(window.get(), nullptr, "Ombrix", nullptr));
        TaskBar().DeleteIcon(1);
        QVERIFY(UnhookWindow(window.get()));
        QCOMPARE(summary(m_calls.back()), "delete 1 flags=4 cb=701");
        window->received.clear();
        QApplication::sendEvent(window.get(), std::make_unique<TrayCallbackEvent>(0x701, 0x203).get());
        QCOMPARE(window->received, QList<QEvent::Type>{TrayCallbackEvent::eventType()});
        QVERIFY(aboutBoxes().isEmpty());

        // A window destroyed while hooked takes its hook along.
        QVERIFY(HookWindow(window.get()));
        window.reset();
        QVERIFY(!UnhookWindow(nullptr));
    }
};

QTEST_MAIN(tst_tray)
#include "tst_tray.moc"
