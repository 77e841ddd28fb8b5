// The storage dialog for docs/storage-dialog.png (tools/storage-screen.sh):
// filled in for a private server with TLS, its connection tested for real.
// Prints "SIZE WxH" once the test has answered.
#include "app/storagedialog.h"
#include "tests/support/pgserver.h"
#include "tests/support/settings.h"

#include <QApplication>
#include <QPushButton>
#include <QTextStream>
#include <QTimer>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    testsupport::isolateSettings();
    testsupport::PgServer server;
    if (!server.start(true) || !server.sql(QStringLiteral("postgres"), QStringLiteral("CREATE DATABASE mirt")))
        return 1;
    LogDatabase station;
    LogDatabase::parse(QStringLiteral("postgresql://postgres@127.0.0.1:%1/mirt?sslmode=verify-full&sslrootcert=%2")
                           .arg(server.tcpPort())
                           .arg(server.tls().caFile),
                       station);
    StorageDialog dialog(station, QStringLiteral("/nonexistent"));
    dialog.move(0, 0);
    dialog.show();
    QObject::connect(&dialog, &StorageDialog::statusChanged, [&] {
        QTextStream(stdout) << "SIZE " << dialog.frameGeometry().width() << 'x' << dialog.frameGeometry().height()
                            << Qt::endl;
    });
    for (QPushButton* button : dialog.findChildren<QPushButton*>())
        if (button->text() == QLatin1String("Test Connection"))
            QTimer::singleShot(300, button, &QPushButton::click);
    return app.exec();
}
