#include "app/icons.h"
#include "app/kivoapp.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("Kivo");
    // The launcher entry the desktop matches the windows with.
    QApplication::setDesktopFileName("kivo");
    QApplication::setWindowIcon(kivo::AppIcon());
    kivo::CKivoApp kivoApp;
    // The first argument, when given, is a project file to open.
    if (!kivoApp.Start(QApplication::arguments().mid(1)))
        return 1;
    return app.exec();
}
