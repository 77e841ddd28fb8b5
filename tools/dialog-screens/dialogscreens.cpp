// Shows one configuration dialog on sample files, at the top left corner of
// the screen, so tools/dialog-screens.sh can photograph it. Not a test.
#include "dialogs/aboutdialog.h"
#include "dialogs/ipconfigdialog.h"
#include "dialogs/lineconfigdialog.h"

#include <QApplication>
#include <QDir>
#include <QTimer>

#include <cstdio>
#include <memory>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s ipconfig|lineconfig|about SAMPLE_DIR\n", argv[0]);
        return 2;
    }
    const QString which = QString::fromLocal8Bit(argv[1]);
    const QDir dir(QString::fromLocal8Bit(argv[2]));
    const QString network = dir.filePath(QStringLiteral("rc.network"));
    const QString appFile = dir.filePath(QStringLiteral("rc.app"));

    std::unique_ptr<QDialog> dialog;
    if (which == QLatin1String("ipconfig"))
        dialog = std::make_unique<IPConfigDialog>(nullptr, network, appFile);
    else if (which == QLatin1String("lineconfig"))
        dialog = std::make_unique<LineConfigDialog>(nullptr, appFile);
    else
        dialog = std::make_unique<AboutDialog>(nullptr);

    dialog->move(0, 0);
    dialog->show();
    // The size the shell script crops the screen to.
    QTimer::singleShot(200, [&] {
        std::printf("SIZE %dx%d\n", dialog->width(), dialog->height());
        std::fflush(stdout);
    });
    return app.exec();
}
