#pragma once

#include "tray/TrayShell.h"

#include <memory>

// One tray icon record and the shell's operations on it. Every call sets
// some fields of the record and hands the whole record to the shell; what the
// shell answers is not looked at, except by Exists.
class clsTaskBar
{
    Q_DISABLE_COPY(clsTaskBar)

public:
    static constexpr quint32 TrayCallback = 0x701;

    explicit clsTaskBar(std::unique_ptr<TrayShell> shell);

    void ChangeIcon(const QIcon &hIcon, qint32 ID);
    // Write-only: the window that receives the icon's callback messages.
    void hwnd(QWidget *frm);
    qint16 CallbackMessage() const;
    void AddIcon(const QIcon &hIcon, qint32 ID);
    bool Exists();
    void ChangeTip(const QString &sNewTip, qint32 ID);
    void DeleteIcon(qint32 ID);
    void DeleteAllIcons(qint16 nIcons);

    TrayShell &shell() const { return *m_shell; }

    // The tip field for `tip`: at most 63 bytes of text in the system code
    // page, a zero byte, blanks, and a zero byte in the last place.
    static std::array<char, NotifyIconRecord::TipSize> tipField(const QString &tip);

private:
    void notify(NotifyIconMessage message);

    std::unique_ptr<TrayShell> const m_shell;
    NotifyIconRecord m_nid;
    TaskbarRecord m_abd;
};
