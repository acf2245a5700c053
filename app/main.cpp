#include "resources/LoadResource.h"
#include "session/frmDocument.h"

#include <QApplication>
#include <QIcon>
#include <QMainWindow>
#include <QMdiArea>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Ombrix"));
    QApplication::setApplicationName(QStringLiteral("Ombrix"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/ombrix.png")));
    installFontSubstitutions();

    QMainWindow frame;
    frame.setObjectName(QStringLiteral("frmMain"));
    frame.setWindowTitle(QStringLiteral("Ombrix"));
    auto *area = new QMdiArea(&frame);
    frame.setCentralWidget(area);
    frame.resize(491, 308); // 7365 x 4620 twips

    auto *session = new frmDocument;
    area->addSubWindow(session);
    session->setWindowTitle(LoadResource(2143));
    session->show();

    frame.show();
    return app.exec();
}
