// Usage: openport_helper DEVICE
// Maps a port to DEVICE in a settings store of its own, opens it through the
// serial component and prints "open", "closed" or "error: <description>".
#include "components/ComponentError.h"
#include "components/QtSerialComponent.h"
#include "tests/support/TestEnv.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char **argv)
{
    if (argc != 2)
        return 2;
    TestEnv env; // before the application, which may read the store
    QCoreApplication app(argc, argv);
    constexpr int port = 7;
    env.mapPort(port, QString::fromLocal8Bit(argv[1]));

    QTextStream out(stdout);
    QtSerialComponent component;
    try {
        component.setCommPort(port);
        component.setSettings(QStringLiteral("9600,N,8,1"));
        component.setPortOpen(true);
        out << (component.portOpen() ? "open" : "closed") << Qt::endl;
    } catch (const ComponentError &e) {
        out << "error: " << e.description() << Qt::endl;
    }
    return 0;
}
