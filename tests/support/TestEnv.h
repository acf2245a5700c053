#pragma once

#include <QString>
#include <QTemporaryDir>

// A throw-away home for one test process: HOME, XDG_CONFIG_HOME and
// XDG_DATA_HOME point into a temporary directory, so the per-user settings
// store (and the port map in it) never touches a real user's files.
class TestEnv
{
public:
    TestEnv();

    QString path() const { return m_dir.path(); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }

    // Points COM<port> at `device` in the port map.
    void mapPort(int port, const QString &device);

private:
    QTemporaryDir m_dir;
};
