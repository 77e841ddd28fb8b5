#include "app/mainwindow.h"

#include <QApplication>

// The images live in a static library: register them before the first use.
static void initIcons() { Q_INIT_RESOURCE(icons); }

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    initIcons();
    QApplication::setAttribute(Qt::AA_DontUseNativeMenuBar, true);
    QApplication::setApplicationName(QStringLiteral("MIRT Desktop Control"));
    // X11 cannot take the 256 px image as a window icon in one request; 128 px fits.
    QApplication::setWindowIcon(QPixmap(QStringLiteral(":/icons/app.png")).scaledToWidth(128, Qt::SmoothTransformation));

    // Heap-held so it is destroyed (and saves the directory) before the
    // application object goes.
    auto* window = new MainWindow(nullptr);
    window->show();
    const int result = app.exec();
    delete window;
    return result;
}
