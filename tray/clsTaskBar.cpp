#include "tray/clsTaskBar.h"

#include <algorithm>

clsTaskBar::clsTaskBar(std::unique_ptr<TrayShell> shell)
    : m_shell(std::move(shell))
{
    m_nid.cbSize = NotifyIconRecord::RecordSize;
    m_nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    m_nid.szTip.fill('\0');
}

void clsTaskBar::notify(NotifyIconMessage message)
{
    m_shell->notifyIcon(message, m_nid);
}

void clsTaskBar::ChangeIcon(const QIcon &hIcon, qint32 ID)
{
    m_nid.uFlags = NIF_ICON;
    m_nid.uID = ID;
    m_nid.hIcon = hIcon;
    notify(NIM_MODIFY);
}

void clsTaskBar::hwnd(QWidget *frm)
{
    m_nid.hWnd = frm;
}

qint16 clsTaskBar::CallbackMessage() const
{
    return static_cast<qint16>(m_nid.uCallbackMessage);
}

void clsTaskBar::AddIcon(const QIcon &hIcon, qint32 ID)
{
    // Added without a tip; ChangeTip sets it by a second call.
    m_nid.uFlags = NIF_MESSAGE | NIF_ICON;
    m_nid.uCallbackMessage = TrayCallback;
    m_nid.uID = ID;
    m_nid.hIcon = hIcon;
    notify(NIM_ADD);
}

bool clsTaskBar::Exists()
{
    m_abd.cbSize = TaskbarRecord::RecordSize;
    return m_shell->taskbarPosition(m_abd);
}

std::array<char, NotifyIconRecord::TipSize> clsTaskBar::tipField(const QString &tip)
{
    constexpr qsizetype room = NotifyIconRecord::TipSize - 1;
    // Shorten by whole characters so a multi-byte character is never cut.
    QString text = tip;
    QByteArray bytes = text.toLocal8Bit();
    while (bytes.size() > room) {
        text.chop(text.size() > 1 && text.back().isLowSurrogate() ? 2 : 1);
        bytes = text.toLocal8Bit();
    }
    // A zero byte inside the tip ends it there, as it would for the shell.
    if (const qsizetype zero = bytes.indexOf('\0'); zero >= 0)
        bytes.truncate(zero);

    std::array<char, NotifyIconRecord::TipSize> field;
    field.fill(' ');
    std::copy(bytes.cbegin(), bytes.cend(), field.begin());
    field[static_cast<std::size_t>(bytes.size())] = '\0';
    field.back() = '\0';
    return field;
}

void clsTaskBar::ChangeTip(const QString &sNewTip, qint32 ID)
{
    m_nid.szTip = tipField(sNewTip);
    m_nid.uFlags = NIF_TIP;
    m_nid.uID = ID;
    notify(NIM_MODIFY);
}

void clsTaskBar::DeleteIcon(qint32 ID)
{
    m_nid.uID = ID;
    notify(NIM_DELETE);
}

void clsTaskBar::DeleteAllIcons(qint16 nIcons)
{
    for (qint32 id = 1; id <= nIcons; ++id) {
        m_nid.uID = id;
        notify(NIM_DELETE);
    }
}
