#include "dialogs/frmOptions.h"

#include "common/Globals.h"
#include "common/Twips.h"
#include "components/QtFileDialogComponent.h"
#include "dialogs/ScreenCentre.h"
#include "resources/DesignForm.h"
#include "resources/LoadResource.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

using DesignForm::place;

// Designed client area, in twips.
constexpr int clientWidth = 5040;
constexpr int clientHeight = 3465;

constexpr int browseFlags = FileDialogComponent::FlagFileMustExist | FileDialogComponent::FlagHideReadOnly;

} // namespace

frmOptions::frmOptions(FileDialogComponent *dialog)
    : QDialog(nullptr, DesignForm::dialogFlags)
{
    setObjectName(QStringLiteral("frmOptions"));
    // Fixed English captions: this window is not localised.
    setWindowTitle(QStringLiteral("Ombrix Options"));
    installFontSubstitutions();
    setFont(DesignForm::font());
    setFixedSize(Twips::toPixels(clientWidth), Twips::toPixels(clientHeight));

    CommonDialog1 = dialog ? dialog : new QtFileDialogComponent(this);
    CommonDialog1->setParent(this);
    CommonDialog1->setObjectName(QStringLiteral("CommonDialog1"));

    createControls();
    Form_Load();

    connect(Command1, &QPushButton::clicked, this, &frmOptions::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &frmOptions::Command2_Click);
    // Cancel, Escape and the close box all end in reject(), which stores nothing.
    connect(Command3, &QPushButton::clicked, this, &QDialog::reject);
    new ScreenCentre(this);
}

void frmOptions::showModal()
{
    frmOptions dialog;
    dialog.exec();
}

void frmOptions::createControls()
{
    Check1 = new QCheckBox(QStringLiteral("Log all errors to file: ErrorLog.txt"), this);
    place(Check1, "Check1", 240, 1380, 4755, 315);
    Frame1 = new QGroupBox(QStringLiteral("Run external program when errors occur:"), this);
    place(Frame1, "Frame1", 60, 1920, 4935, 1515);
    Text1 = new QLineEdit(Frame1);
    place(Text1, "Text1", 240, 720, 3555, 315);
    Label1 = new QLabel(QStringLiteral("Command Line:"), Frame1);
    place(Label1, "Label1", 240, 480, 3615, 195);
    Command1 = new QPushButton(QStringLiteral("Browse..."), Frame1);
    place(Command1, "Command1", 3840, 720, 915, 315);
    Command2 = new QPushButton(QStringLiteral("OK"), this);
    place(Command2, "Command2", 3780, 180, 1095, 375);
    Command3 = new QPushButton(QStringLiteral("Cancel"), this);
    place(Command3, "Command3", 3780, 600, 1095, 375);

    Command2->setDefault(true);
    Command2->setAutoDefault(true);

    setTabOrder(Check1, Text1);
    setTabOrder(Text1, Command1);
    setTabOrder(Command1, Command2);
    setTabOrder(Command2, Command3);
    Check1->setFocus();
}

void frmOptions::Form_Load()
{
    Text1->setText(Globals::OnErrorRunApp);
    m_loadedLogErrors = Globals::LogErrorsToFile;
    m_loadedChecked = m_loadedLogErrors != 0;
    Check1->setChecked(m_loadedChecked);
}

void frmOptions::Command1_Click()
{
    CommonDialog1->setFlags(browseFlags);
    CommonDialog1->setFilter(QStringLiteral("Programs (*.EXE)|*.EXE|All Files (*.*)|*.*"));
    CommonDialog1->setFilterIndex(1);
    // The chooser keeps its last name between uses; start it without one.
    CommonDialog1->setFileName(QString());
    if (!CommonDialog1->ShowOpen())
        return;
    // The path goes in as it is, unquoted even with blanks in it: the user
    // may type arguments behind it.
    const QString chosen = CommonDialog1->FileName();
    if (!chosen.isEmpty())
        Text1->setText(chosen);
}

void frmOptions::Command2_Click()
{
    Globals::OnErrorRunApp = Text1->text();
    Globals::AcceptedRunApp = Globals::OnErrorRunApp;
    // A hand-edited configuration can hold any number here, which the box
    // can only show as "on". Keep such a value unless the user changed the box.
    const bool checked = Check1->isChecked();
    if (checked != m_loadedChecked || m_loadedLogErrors == 0 || m_loadedLogErrors == 1)
        Globals::LogErrorsToFile = checked ? 1 : 0;
    accept();
}
