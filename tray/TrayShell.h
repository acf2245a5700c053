#pragma once

#include <QEvent>
#include <QIcon>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QWidget>

#include <array>

// The icon record every tray call hands to the shell. Fields set by one call
// stay for the next; uFlags names the ones a call applies.
struct NotifyIconRecord
{
    static constexpr quint32 RecordSize = 88;
    static constexpr int TipSize = 64;

    quint32 cbSize = 0;
    QPointer<QWidget> hWnd; // receives the callback message
    qint32 uID = 0;
    quint32 uFlags = 0;
    quint32 uCallbackMessage = 0;
    QIcon hIcon;
    std::array<char, TipSize> szTip{}; // system code page, text ends at the first zero byte

    // The tip as the shell shows it: the bytes before the first zero.
    QByteArray tipText() const;
};

// Which fields of the record a call applies.
enum NotifyIconFlag : quint32 { NIF_MESSAGE = 1, NIF_ICON = 2, NIF_TIP = 4 };

enum NotifyIconMessage : quint32 { NIM_ADD = 0, NIM_MODIFY = 1, NIM_DELETE = 2 };

// The taskbar query record. Only its size is ever set.
struct TaskbarRecord
{
    static constexpr quint32 RecordSize = 36;

    quint32 cbSize = 0;
    quint32 hWnd = 0;
    quint32 uCallbackMessage = 0;
    quint32 uEdge = 0;
    std::array<qint32, 4> rc{}; // left, top, right, bottom
    qint32 lParam = 0;
};

// Mouse messages a tray icon reports through its callback message.
namespace TrayMouse {
constexpr qint32 Move = 0x200;
constexpr qint32 LeftDown = 0x201;
constexpr qint32 LeftUp = 0x202;
constexpr qint32 LeftDoubleClick = 0x203;
constexpr qint32 RightUp = 0x205;
constexpr qint32 MiddleUp = 0x208;
} // namespace TrayMouse

// The callback message of a tray icon, delivered to the window named in the
// icon's record: the message number the icon was added with and the mouse
// message that happened over the icon.
class TrayCallbackEvent : public QEvent
{
public:
    TrayCallbackEvent(quint32 message, qint32 mouseMessage);

    static QEvent::Type eventType();

    quint32 message() const { return m_message; }
    qint32 mouseMessage() const { return m_mouseMessage; }

private:
    quint32 m_message = 0;
    qint32 m_mouseMessage = 0;
};

// The shell's tray operations. Answers are true on success; the tray icon
// class never looks at them, but a shell still gives them.
class TrayShell
{
public:
    virtual ~TrayShell() = default;

    virtual bool notifyIcon(NotifyIconMessage message, const NotifyIconRecord &record) = 0;
    // True when the desktop has a taskbar (a notification area) at all.
    virtual bool taskbarPosition(TaskbarRecord &record) = 0;
};

// The shell over QSystemTrayIcon: one icon per identifier. Mouse actions on
// an icon are posted to the record's window as TrayCallbackEvent.
class QtTrayShell : public QObject, public TrayShell
{
    Q_OBJECT
    Q_DISABLE_COPY(QtTrayShell)

public:
    explicit QtTrayShell(QObject *parent = nullptr);
    ~QtTrayShell() override;

    bool notifyIcon(NotifyIconMessage message, const NotifyIconRecord &record) override;
    bool taskbarPosition(TaskbarRecord &record) override;

    // The icon shown for `id`, or nullptr.
    QSystemTrayIcon *icon(qint32 id) const;

    // Mouse message for a QSystemTrayIcon activation.
    static qint32 mouseMessage(QSystemTrayIcon::ActivationReason reason);

private:
    struct Entry
    {
        QPointer<QSystemTrayIcon> icon;
        QPointer<QWidget> window;
        quint32 callbackMessage = 0;
    };

    void apply(Entry &entry, const NotifyIconRecord &record);
    void activated(qint32 id, QSystemTrayIcon::ActivationReason reason);

    QMap<qint32, Entry> m_icons;
};
