#include "tests/support/TestEnv.h"

#include <QDir>
#include <QSettings>

TestEnv::TestEnv()
{
    qputenv("HOME", m_dir.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", m_dir.filePath(".config").toLocal8Bit());
    qputenv("XDG_DATA_HOME", m_dir.filePath(".local/share").toLocal8Bit());
    QDir().mkpath(m_dir.filePath(".config"));
}

void TestEnv::mapPort(int port, const QString &device)
{
    QSettings settings("Ombrix", "Ombrix");
    settings.setValue(QStringLiteral("Ports/COM%1").arg(port), device);
    settings.sync();
}
