#pragma once

#include "components/FileDialogComponent.h"

#include <QPointer>
#include <QStringList>

class QFileDialog;
class QWidget;

// A file dialog over QFileDialog. The filter text is a list of
// "description|pattern" pairs; descriptions are shown as given and patterns
// match file names without regard to case. Never asks about overwriting.
class QtFileDialogComponent : public FileDialogComponent
{
    Q_OBJECT
    Q_DISABLE_COPY(QtFileDialogComponent)

public:
    // `owner` is the window the dialog is modal to.
    explicit QtFileDialogComponent(QWidget *owner);

    bool ShowOpen() override;
    bool ShowSave() override;

    // The name filters handed to QFileDialog for a filter text: one entry per
    // pair, "description (patterns)", patterns separated by blanks.
    static QStringList nameFilters(const QString &filter);
    // True for a pattern list of "*.EXE" only: on systems whose programs have
    // no such extension the filter lists executable files instead.
    static bool isProgramPattern(const QString &patterns);

    // Prefer Qt's own dialog over a platform one (tests drive it directly).
    static void setUseNativeDialog(bool use);

private:
    bool show(bool save);

    QPointer<QWidget> m_owner;
};
