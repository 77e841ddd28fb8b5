// mirt-unit-sim: a simulated MIRT Orvel unit for demos and manual checks.
#include "sim/unitshow.h"
#include "sim/unitsimulator.h"
#include "store/unittablemodel.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QHostAddress>

#include <cstdio>

namespace {

// Makes sure the application's unit directory holds a row for this unit, so
// that the desktop application can connect to it without typing.
void addToDirectory(quint16 port)
{
    const QString key = QStringLiteral("127.0.0.1:%1").arg(port);
    UnitTableModel units;
    units.load();
    for (int row = 0; row < units.rowCount(); ++row)
        if (units.data(units.index(row, 0)).toString() == key)
            return;
    const int row = units.rowCount();
    if (!units.insertRows(row, 1))
        return;
    units.setData(units.index(row, 0), key);
    units.setData(units.index(row, 1), QStringLiteral("studio"));
    units.save();
    std::fprintf(stderr, "added %s to the unit directory\n", qPrintable(key));
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("mirt-unit-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Simulated MIRT Orvel unit"));
    parser.addHelpOption();
    const QCommandLineOption portOption(QStringLiteral("port"), QStringLiteral("TCP port (default 8080)."),
                                        QStringLiteral("port"), QStringLiteral("8080"));
    const QCommandLineOption passwordOption(QStringLiteral("password"),
                                            QStringLiteral("Login password (default tavrik)."),
                                            QStringLiteral("password"), QStringLiteral("tavrik"));
    const QCommandLineOption linesOption(QStringLiteral("lines"), QStringLiteral("Number of lines, 12 or 6."),
                                         QStringLiteral("lines"), QStringLiteral("12"));
    const QCommandLineOption callsOption(QStringLiteral("calls"),
                                         QStringLiteral("Start made-up incoming calls every few seconds."));
    const QCommandLineOption showOption(
        QStringLiteral("show"),
        QStringLiteral("Play a scripted show over and over: calls answered, held, aired and dropped by the unit."));
    const QCommandLineOption verboseOption(QStringLiteral("verbose"), QStringLiteral("Print every frame."));
    const QCommandLineOption directoryOption(
        QStringLiteral("add-to-directory"),
        QStringLiteral("Add 127.0.0.1:<port> to the application's unit directory."));
    const QCommandLineOption listenOption(QStringLiteral("listen"),
                                          QStringLiteral("Address to listen on (default 127.0.0.1)."),
                                          QStringLiteral("address"), QStringLiteral("127.0.0.1"));
    parser.addOptions({portOption, passwordOption, linesOption, callsOption, showOption, verboseOption, directoryOption,
                       listenOption});
    parser.process(app);

    bool ok = false;
    const uint port = parser.value(portOption).toUInt(&ok);
    if (!ok || port > 65535) {
        std::fprintf(stderr, "mirt-unit-sim: bad port %s\n", qPrintable(parser.value(portOption)));
        return 2;
    }
    const uint lines = parser.value(linesOption).toUInt(&ok);
    if (!ok || (lines != 12 && lines != 6)) {
        std::fprintf(stderr, "mirt-unit-sim: --lines must be 12 or 6\n");
        return 2;
    }
    const QHostAddress address(parser.value(listenOption));
    if (address.isNull()) {
        std::fprintf(stderr, "mirt-unit-sim: bad address %s\n", qPrintable(parser.value(listenOption)));
        return 2;
    }

    UnitSimulator unit;
    unit.setRecording(false);
    unit.setPassword(parser.value(passwordOption));
    unit.setNumLines(lines);
    unit.setVerbose(parser.isSet(verboseOption));
    if (!unit.start(quint16(port), address)) {
        std::fprintf(stderr, "mirt-unit-sim: cannot listen on %s:%u: %s\n", qPrintable(address.toString()), port,
                     qPrintable(unit.errorString()));
        return 1;
    }
    if (parser.isSet(callsOption))
        unit.setCalls(true);
    UnitShow show(unit);
    if (parser.isSet(showOption)) {
        show.setSteps(UnitShow::demo());
        show.start(true);
    }
    if (parser.isSet(directoryOption))
        addToDirectory(unit.port());

    std::fprintf(stderr, "mirt-unit-sim: listening on %s:%u\n", qPrintable(address.toString()), unsigned(unit.port()));
    return app.exec();
}
