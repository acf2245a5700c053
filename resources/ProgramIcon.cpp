#include "resources/ProgramIcon.h"

QIcon programIcon()
{
    QIcon icon;
    for (int size : {16, 32, 48, 256})
        icon.addFile(QStringLiteral(":/icons/ombrix-%1.png").arg(size), QSize(size, size));
    return icon;
}
