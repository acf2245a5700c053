#include "components/QtFileDialogComponent.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QRegularExpression>
#include <QSortFilterProxyModel>

#include <algorithm>

namespace {

bool useNativeDialog = true;

// Hides the files that may not be executed while a programs filter is
// chosen; folders stay, to move around.
class ExecutablesOnly : public QSortFilterProxyModel
{
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

    void setEnabled(bool enabled)
    {
        if (enabled == m_enabled)
            return;
        m_enabled = enabled;
        invalidateFilter();
    }

protected:
    bool filterAcceptsRow(int row, const QModelIndex &parent) const override
    {
        if (!m_enabled)
            return true;
        const auto *files = qobject_cast<const QFileSystemModel *>(sourceModel());
        if (!files)
            return true;
        const QFileInfo info = files->fileInfo(files->index(row, 0, parent));
        return info.isDir() || info.isExecutable();
    }

private:
    bool m_enabled = false;
};

} // namespace

QtFileDialogComponent::QtFileDialogComponent(QWidget *owner)
    : FileDialogComponent(owner)
    , m_owner(owner)
{}

void QtFileDialogComponent::setUseNativeDialog(bool use)
{
    useNativeDialog = use;
}

bool QtFileDialogComponent::isProgramPattern(const QString &patterns)
{
#ifdef Q_OS_WIN
    Q_UNUSED(patterns);
    return false;
#else
    // Programs here have no ".EXE": such a filter means "executable files".
    const QStringList list = patterns.split(QRegularExpression(QStringLiteral("[; ]")), Qt::SkipEmptyParts);
    return !list.isEmpty() && std::all_of(list.begin(), list.end(), [](const QString &pattern) {
        return pattern.compare(QLatin1String("*.exe"), Qt::CaseInsensitive) == 0;
    });
#endif
}

QStringList QtFileDialogComponent::nameFilters(const QString &filter)
{
    QStringList result;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts.at(i + 1).trimmed();
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        if (patterns.isEmpty() || isProgramPattern(patterns))
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
    // A platform's open dialog may refuse a name that does not exist yet;
    // where one may be chosen, Qt's own dialog takes it.
    const bool newNameInOpen = !save && !(Flags() & FlagFileMustExist);
    dialog.setOption(QFileDialog::DontUseNativeDialog, !useNativeDialog || newNameInOpen);
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode((Flags() & FlagFileMustExist) ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    if (!DefaultExt().isEmpty())
        dialog.setDefaultSuffix(DefaultExt());

    const QStringList filters = nameFilters(Filter());
    if (!filters.isEmpty()) {
        // Which filters stand for programs, matched by the executable
        // permission rather than by a name pattern.
        const QStringList parts = Filter().split(QLatin1Char('|'));
        QList<bool> programs;
        for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
            programs << isProgramPattern(parts.at(i + 1));
        auto *proxy = new ExecutablesOnly(&dialog);
        dialog.setProxyModel(proxy);
        const auto select = [proxy, filters, programs](const QString &chosen) {
            const qsizetype at = filters.indexOf(chosen);
            proxy->setEnabled(at >= 0 && programs.at(at));
        };
        connect(&dialog, &QFileDialog::filterSelected, &dialog, select);
        dialog.setNameFilters(filters);
        const int index = qBound(1, FilterIndex(), int(filters.size()));
        dialog.selectNameFilter(filters.at(index - 1));
        select(filters.at(index - 1));
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
