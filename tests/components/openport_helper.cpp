// openport_helper [--hold] DEVICE: opens DEVICE through the serial component and prints
// "open", "closed" or "error: <description>"; with --hold keeps it open until stdin closes.
#include "components/ComponentError.h"
#include "components/QtSerialComponent.h"
#include "tests/support/TestEnv.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>
#include <cstring>

int main(int argc, char **argv)
{
    const bool hold = argc == 3 && std::strcmp(argv[1], "--hold") == 0;
    if (argc != 2 && !hold)
        return 2;
    TestEnv env; // before the application, which may read the store
    QCoreApplication app(argc, argv);
    env.mapPort(7, QString::fromLocal8Bit(argv[argc - 1]));
    QTextStream out(stdout);
    QtSerialComponent component;
    try {
        component.setCommPort(7);
        component.setPortOpen(true);
        out << (component.portOpen() ? "open" : "closed") << Qt::endl;
        while (hold && std::fgetc(stdin) != EOF) {
        }
    } catch (const ComponentError &e) {
        out << "error: " << e.description() << Qt::endl;
    }
    return 0;
}
