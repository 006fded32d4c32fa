// Writes the application icon as the desktop's icon set: FOLDER/hicolor/
// <size>x<size>/apps/kivo.png and, for project files, .../mimetypes/
// application-x-kivo.png.
#include "app/icons.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QPixmap>
#include <cstdio>

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: kivo-icons FOLDER\n");
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]) + "/hicolor";
    const QIcon icon = kivo::AppIcon();
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString folder = QString("%1/%2x%2").arg(root).arg(size);
        QPixmap pixmap = icon.pixmap(QSize(size, size));
        for (const char *kind : {"apps/kivo.png", "mimetypes/application-x-kivo.png"}) {
            const QString path = folder + "/" + kind;
            if (!QDir().mkpath(QFileInfo(path).path()) || !pixmap.save(path, "PNG")) {
                std::fprintf(stderr, "kivo-icons: cannot write %s\n", qPrintable(path));
                return 1;
            }
        }
    }
    return 0;
}
