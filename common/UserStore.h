#pragma once

#include <QSettings>
#include <QStringList>

// The per-user settings store: the port map (group "Ports"), the main
// window's placement (group "Settings") and the remembered answers about
// error programs (group "ErrorPrograms"). Every reader and writer opens it
// here, so that all of them mean the same file.
namespace UserStore {

// A fresh handle; changes are written when it goes, or at sync().
inline QSettings open()
{
    return QSettings(QStringLiteral("Ombrix"), QStringLiteral("Ombrix"));
}

// The files the store reads a value from, in its order of lookup: this
// application's, the organisation's, then the system-wide ones. Fixed for
// the life of the process.
inline QStringList files()
{
    return {
        open().fileName(),
        QSettings(QSettings::UserScope, QStringLiteral("Ombrix")).fileName(),
        QSettings(QSettings::SystemScope, QStringLiteral("Ombrix"), QStringLiteral("Ombrix")).fileName(),
        QSettings(QSettings::SystemScope, QStringLiteral("Ombrix")).fileName(),
    };
}

} // namespace UserStore
