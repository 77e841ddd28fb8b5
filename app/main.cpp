#include "app/calllogwindow.h"
#include "app/logexport.h"
#include "app/mainwindow.h"
#include "calllog/calllog.h"

#include <QApplication>
#include <QTextStream>

int main(int argc, char* argv[])
{
    // The export writes a file and needs no display, so it runs without the
    // widgets' application object.
    if (LogExport::requested(argc, argv)) {
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("MIRT Desktop Control"));
        QTextStream err(stderr);
        return LogExport::run(QCoreApplication::arguments(), CallLog::defaultPath(), err);
    }

    // Scaled by the screen's factor as the desktop sets it, fractional ones
    // too: a 150 % desktop gets 1.5, not 2 (Qt 5 rounds by default). These
    // must be set before the application object exists.
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
    QApplication app(argc, argv);
    QApplication::setAttribute(Qt::AA_DontUseNativeMenuBar, true);
    QApplication::setApplicationName(QStringLiteral("MIRT Desktop Control"));
    // X11 cannot take the 256 px image as a window icon in one request; 128 px fits.
    QApplication::setWindowIcon(QPixmap(QStringLiteral(":/icons/app.png")).scaledToWidth(128, Qt::SmoothTransformation));

    // Declared before the main window, so it outlives the window and its
    // consoles, which write to it.
    CallLog::Options options;
    options.path = CallLog::defaultPath();
    options.retentionDays = CallLogWindow::retentionDays();
    CallLog callLog(options);

    // Declared after the application object, so it is destroyed first: its
    // destructor saves the unit directory while Qt is still fully up.
    MainWindow window(nullptr);
    window.setCallLog(&callLog);
    window.show();
    return app.exec();
}
