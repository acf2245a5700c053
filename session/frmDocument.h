#pragma once

#include "common/SharedTimer.h"
#include "session/ElidingLabel.h"
#include "session/SerialSession.h"

#include <QKeySequence>
#include <QMdiSubWindow>

#include <array>

class FileDialogComponent;
class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class SerialComponent;
class ShapeIndicator;

// A logging session's window: the port settings, the log file, the
// Activate / De-Activate button, the activity indicator and the status line.
// It owns the session's serial component and file dialog; closing the window
// ends the session and releases its port. The session itself (activation,
// capture, error reports, status texts) is a SerialSession; the window shows
// it and hands it the settings its controls hold.
class frmDocument : public QMdiSubWindow
{
    Q_OBJECT
    Q_DISABLE_COPY(frmDocument)

public:
    // Components default to the real ones; tests may hand in their own, which
    // the window then owns.
    explicit frmDocument(QWidget *parent = nullptr, SerialComponent *serial = nullptr,
                         FileDialogComponent *dialog = nullptr);
    ~frmDocument() override;

    // Toggles the session between idle and active: opens the port with the
    // chosen settings, or closes it.
    void Command1_Click();
    // A session is active while its button offers to de-activate it.
    bool isActive() const;
    // Reports a capture error to the error log and the external program.
    void LogErrors(const QString &Desc);
    // The COM number the port list names; -1 for none.
    int portNumber() const;

    static QString defaultLogFile();
    static QString defaultOutFile();

    // Controls, by their designed names.
    std::array<QGroupBox *, 2> Frame1{};
    std::array<QLabel *, 8> Label1{};
    QComboBox *Combo2 = nullptr;
    std::array<QComboBox *, 5> Combo1{};
    QLineEdit *txtLogFile = nullptr;
    std::array<QPushButton *, 2> Command3{};
    QCheckBox *chkLinefeeds = nullptr;
    QLineEdit *txtOutFile = nullptr;
    QPushButton *Command1 = nullptr;
    std::array<ShapeIndicator *, 1> Shape1{};
    std::array<ElidingLabel *, 1> StatusBar1{}; // cut with "…"; the hover text is whole
    SharedTimer Timer2; // the indicator's 50 ms tick, shared by every session whose indicator is red
    SerialComponent *MSComm1 = nullptr;
    FileDialogComponent *CommonDialog1 = nullptr;

signals:
    // The user asked for the "Serial Ports" dialog from the port list.
    void portsRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void createControls();
    void createPortControls(QWidget *ports);
    void createFileControls(QWidget *files);
    void Form_Load();
    void Command3_Click(int Index);
    void Timer2_Timer();
    void showStatus(const QString &text, const QString &detail);
    void setListsEnabled(bool enabled);
    QString settingsString() const;
    void updatePortToolTip();
    void showPortMenu(QWidget *from, const QPoint &pos);

    // The window menu's shortcuts, held back until the window first shows.
    QList<std::pair<QAction *, QList<QKeySequence>>> m_heldShortcuts;
    QWidget *m_client = nullptr;
    SerialSession *m_session = nullptr;
    qint32 m_tickCount = 0;
};
