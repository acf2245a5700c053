#pragma once

#include <QDialog>

class FileDialogComponent;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The error options dialog: edits the command line started on each reported
// error and the error-log switch. It reads Globals::OnErrorRunApp and
// Globals::LogErrorsToFile when it opens and writes them back only on OK.
class frmOptions : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY(frmOptions)

public:
    // `dialog` stands in for the file chooser (tests); the window owns it.
    explicit frmOptions(FileDialogComponent *dialog = nullptr);

    // Opens a new instance modally with no owner and returns once it closed.
    static void showModal();

    // Controls, by their designed names.
    QCheckBox *Check1 = nullptr;
    QGroupBox *Frame1 = nullptr;
    QLineEdit *Text1 = nullptr;
    QLabel *Label1 = nullptr;
    QPushButton *Command1 = nullptr;
    QPushButton *Command2 = nullptr;
    QPushButton *Command3 = nullptr;
    FileDialogComponent *CommonDialog1 = nullptr;

private:
    void createControls();
    void Form_Load();
    void Command1_Click();
    void Command2_Click();

    // The switch as it was loaded, so that OK can tell whether the user
    // touched the box.
    qint32 m_loadedLogErrors = 0;
    bool m_loadedChecked = false;
};
