#pragma once

#include <QObject>
#include <QString>

class QWidget;

// The contract of a window's file dialog: properties set before showing, the
// two Show calls, and FileName read afterwards. The instance keeps FileName
// between uses.
class FileDialogComponent : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(FileDialogComponent)

public:
    static constexpr int FlagHideReadOnly = 4;
    static constexpr int FlagFileMustExist = 4096;

    using QObject::QObject;
    ~FileDialogComponent() override = default;

    QString FileName() const { return m_fileName; }
    void setFileName(const QString &name) { m_fileName = name; }
    QString Filter() const { return m_filter; }
    void setFilter(const QString &filter) { m_filter = filter; }
    QString DefaultExt() const { return m_defaultExt; }
    void setDefaultExt(const QString &ext) { m_defaultExt = ext; }
    int Flags() const { return m_flags; }
    void setFlags(int flags) { m_flags = flags; }
    int FilterIndex() const { return m_filterIndex; }
    void setFilterIndex(int index) { m_filterIndex = index; }

    // Show the modal dialog. True when the user chose a file (FileName is then
    // its full path); false on cancel, FileName unchanged.
    virtual bool ShowOpen() = 0;
    virtual bool ShowSave() = 0;

private:
    QString m_fileName;
    QString m_filter;
    QString m_defaultExt;
    int m_flags = 0;
    int m_filterIndex = 1;
};
