#include "tray/TrayShell.h"

#include <QCoreApplication>

#include <algorithm>

QByteArray NotifyIconRecord::tipText() const
{
    const auto end = std::find(szTip.begin(), szTip.end(), '\0');
    return QByteArray(szTip.data(), static_cast<qsizetype>(end - szTip.begin()));
}

TrayCallbackEvent::TrayCallbackEvent(quint32 message, qint32 mouseMessage)
    : QEvent(eventType())
    , m_message(message)
    , m_mouseMessage(mouseMessage)
{}

QEvent::Type TrayCallbackEvent::eventType()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

QtTrayShell::QtTrayShell(QObject *parent)
    : QObject(parent)
{}

QtTrayShell::~QtTrayShell()
{
    // Icons parented to their window go with it; the others are ours.
    for (Entry &entry : m_icons)
        if (entry.icon && !entry.icon->parent())
            delete entry.icon.data();
}

bool QtTrayShell::notifyIcon(NotifyIconMessage message, const NotifyIconRecord &record)
{
    const qint32 id = record.uID;
    auto found = m_icons.find(id);
    // An icon whose window was destroyed went with it.
    if (found != m_icons.end() && !found->icon) {
        m_icons.erase(found);
        found = m_icons.end();
    }

    switch (message) {
    case NIM_ADD: {
        if (found != m_icons.end())
            return false;
        Entry entry;
        entry.window = record.hWnd;
        // Parented to its window, an icon never outlives the window its
        // callbacks go to.
        entry.icon = new QSystemTrayIcon(record.hWnd ? static_cast<QObject *>(record.hWnd.data()) : nullptr);
        connect(entry.icon, &QSystemTrayIcon::activated, this,
                [this, id](QSystemTrayIcon::ActivationReason reason) { activated(id, reason); });
        apply(entry, record);
        entry.icon->show();
        m_icons.insert(id, entry);
        return true;
    }
    case NIM_MODIFY:
        if (found == m_icons.end())
            return false;
        apply(*found, record);
        return true;
    case NIM_DELETE:
        if (found == m_icons.end())
            return false;
        found->icon->hide();
        delete found->icon.data();
        m_icons.erase(found);
        return true;
    }
    return false;
}

void QtTrayShell::apply(Entry &entry, const NotifyIconRecord &record)
{
    if (record.uFlags & NIF_MESSAGE)
        entry.callbackMessage = record.uCallbackMessage;
    if (record.uFlags & NIF_ICON)
        entry.icon->setIcon(record.hIcon);
    if (record.uFlags & NIF_TIP)
        entry.icon->setToolTip(QString::fromLocal8Bit(record.tipText()));
}

bool QtTrayShell::taskbarPosition(TaskbarRecord &record)
{
    Q_UNUSED(record);
    return QSystemTrayIcon::isSystemTrayAvailable();
}

QSystemTrayIcon *QtTrayShell::icon(qint32 id) const
{
    const auto found = m_icons.constFind(id);
    return found == m_icons.cend() ? nullptr : found->icon.data();
}

qint32 QtTrayShell::mouseMessage(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::DoubleClick:
        return TrayMouse::LeftDoubleClick;
    case QSystemTrayIcon::Context:
        return TrayMouse::RightUp;
    case QSystemTrayIcon::Trigger:
        return TrayMouse::LeftUp;
    case QSystemTrayIcon::MiddleClick:
        return TrayMouse::MiddleUp;
    case QSystemTrayIcon::Unknown:
        break;
    }
    return TrayMouse::Move;
}

void QtTrayShell::activated(qint32 id, QSystemTrayIcon::ActivationReason reason)
{
    const auto found = m_icons.constFind(id);
    // Without a callback message (added without NIF_MESSAGE) the icon reports nothing.
    if (found == m_icons.cend() || !found->window || found->callbackMessage == 0)
        return;
    // Posted, not sent: the handler may run a menu loop, and it must not run
    // inside the tray icon's own mouse handling.
    QCoreApplication::postEvent(found->window,
                                new TrayCallbackEvent(found->callbackMessage, mouseMessage(reason)));
}
