// The desktop application started as main.cpp starts it, which quits as soon
// as the event loop has shown and painted the first window: the time of the
// whole process is the time to the first window.
#include "app/icons.h"
#include "app/kivoapp.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("Kivo");
    QApplication::setDesktopFileName("kivo");
    QApplication::setWindowIcon(kivo::AppIcon());
    kivo::CKivoApp kivoApp;
    if (!kivoApp.Start(QApplication::arguments().mid(1)))
        return 1;
    // Posted behind the show and paint events the window queued; exit, not
    // quit, which would close the window and ask about unsaved changes.
    QTimer::singleShot(0, &app, [] { QCoreApplication::exit(0); });
    return app.exec();
}
