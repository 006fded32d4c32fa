#include <QApplication>
#include <QMainWindow>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("Kivo");
    QMainWindow window;
    window.setWindowTitle("Kivo");
    window.show();
    return app.exec();
}
