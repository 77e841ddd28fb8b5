#include "app/mainwindow.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setAttribute(Qt::AA_DontUseNativeMenuBar, true);
    QApplication::setApplicationName(QStringLiteral("MIRT Desktop Control"));
    // X11 cannot take the 256 px image as a window icon in one request; 128 px fits.
    QApplication::setWindowIcon(QPixmap(QStringLiteral(":/icons/app.png")).scaledToWidth(128, Qt::SmoothTransformation));

    // Declared after the application object, so it is destroyed first: its
    // destructor saves the unit directory while Qt is still fully up.
    MainWindow window(nullptr);
    window.show();
    return app.exec();
}
