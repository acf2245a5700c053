#include "components/QtFileDialogComponent.h"

#include <QFileDialog>
#include <QFileInfo>

namespace {
bool useNativeDialog = true;
}

QtFileDialogComponent::QtFileDialogComponent(QWidget *owner)
    : FileDialogComponent(owner)
    , m_owner(owner)
{}

void QtFileDialogComponent::setUseNativeDialog(bool use)
{
    useNativeDialog = use;
}

QStringList QtFileDialogComponent::nameFilters(const QString &filter)
{
    QStringList result;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts.at(i + 1).trimmed();
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        if (patterns.isEmpty())
            patterns = QStringLiteral("*");
        // The dialog hides the "(patterns)" part, so the description shows as given.
        result << parts.at(i) + QStringLiteral(" (") + patterns + QLatin1Char(')');
    }
    return result;
}

bool QtFileDialogComponent::ShowOpen()
{
    return show(false);
}

bool QtFileDialogComponent::ShowSave()
{
    return show(true);
}

bool QtFileDialogComponent::show(bool save)
{
    QFileDialog dialog(m_owner);
    dialog.setOption(QFileDialog::DontUseNativeDialog, !useNativeDialog);
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode((Flags() & FlagFileMustExist) ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    if (!DefaultExt().isEmpty())
        dialog.setDefaultSuffix(DefaultExt());

    const QStringList filters = nameFilters(Filter());
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        const int index = qBound(1, FilterIndex(), int(filters.size()));
        dialog.selectNameFilter(filters.at(index - 1));
    }

    if (!FileName().isEmpty()) {
        const QFileInfo preset(FileName());
        if (preset.dir().exists())
            dialog.setDirectory(preset.absolutePath());
        dialog.selectFile(preset.fileName());
    }

    if (dialog.exec() != QDialog::Accepted)
        return false;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty())
        return false;
    setFileName(chosen.constFirst());
    return true;
}
