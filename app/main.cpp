#include "app/calllogwindow.h"
#include "app/logexport.h"
#include "app/mainwindow.h"
#include "calllog/calllog.h"
#include "console/display.h"

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

    // Display scaling and no OpenGL; before the application object exists.
    prepareDisplay();
    QApplication app(argc, argv);
    QApplication::setAttribute(Qt::AA_DontUseNativeMenuBar, true);
    QApplication::setApplicationName(QStringLiteral("MIRT Desktop Control"));
    // X11 cannot take the 256 px image as a window icon in one request; 128 px fits.
    QApplication::setWindowIcon(
        QPixmap(QStringLiteral(":/icons/app.png")).scaledToWidth(128, Qt::SmoothTransformation));

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
