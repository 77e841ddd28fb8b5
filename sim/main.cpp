// mirt-unit-sim: a simulated MIRT Orvel unit for demos and manual checks.
#include "sim/unitshow.h"
#include "sim/unitsimulator.h"
#include "store/unittablemodel.h"
#include "support/commandline.h"

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
    // Every option, one row each; the manual page has an entry for each.
    CommandLine::Program program;
    program.name = QStringLiteral("mirt-unit-sim");
    program.version = QStringLiteral(MIRT_VERSION);
    program.description = QStringLiteral("Simulated MIRT Orvel unit.");
    program.synopsis = QStringList{QStringLiteral("[option]..."), QStringLiteral("--help | --version")};
    program.options = {
        {QStringLiteral("port"), QStringLiteral("port"), QStringLiteral("TCP port (default 8080)."),
         QStringLiteral("8080")},
        {QStringLiteral("password"), QStringLiteral("password"), QStringLiteral("Login password (default tavrik)."),
         QStringLiteral("tavrik")},
        {QStringLiteral("lines"), QStringLiteral("lines"), QStringLiteral("Number of lines, 12 or 6."),
         QStringLiteral("12")},
        {QStringLiteral("calls"), {}, QStringLiteral("Start made-up incoming calls every few seconds."), {}},
        {QStringLiteral("show"),
         {},
         QStringLiteral("Play a scripted show over and over: calls answered, held, aired and dropped by the unit."),
         {}},
        {QStringLiteral("verbose"), {}, QStringLiteral("Print every frame."), {}},
        {QStringLiteral("add-to-directory"),
         {},
         QStringLiteral("Add 127.0.0.1:<port> to the application's unit directory."),
         {}},
        {QStringLiteral("listen"), QStringLiteral("address"),
         QStringLiteral("Address to listen on (default 127.0.0.1)."), QStringLiteral("127.0.0.1")},
    };
    CommandLine options(program);
    const int exitCode = options.parse(argc, argv);
    if (exitCode >= 0)
        return exitCode;

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("mirt-unit-sim"));

    bool ok = false;
    const uint port = options.value(QStringLiteral("port")).toUInt(&ok);
    if (!ok || port > 65535)
        return options.valueError(QStringLiteral("--port wants a number from 0 to 65535, not '%1'")
                                      .arg(options.value(QStringLiteral("port"))));
    const uint lines = options.value(QStringLiteral("lines")).toUInt(&ok);
    if (!ok || (lines != 12 && lines != 6))
        return options.valueError(QStringLiteral("--lines must be 12 or 6"));
    const QHostAddress address(options.value(QStringLiteral("listen")));
    if (address.isNull())
        return options.valueError(
            QStringLiteral("--listen wants an IP address, not '%1'").arg(options.value(QStringLiteral("listen"))));

    UnitSimulator unit;
    unit.setRecording(false);
    unit.setPassword(options.value(QStringLiteral("password")));
    unit.setNumLines(lines);
    unit.setVerbose(options.isSet(QStringLiteral("verbose")));
    if (!unit.start(quint16(port), address)) {
        std::fprintf(stderr, "mirt-unit-sim: cannot listen on %s:%u: %s\n", qPrintable(address.toString()), port,
                     qPrintable(unit.errorString()));
        return 1;
    }
    if (options.isSet(QStringLiteral("calls")))
        unit.setCalls(true);
    UnitShow show(unit);
    if (options.isSet(QStringLiteral("show"))) {
        show.setSteps(UnitShow::demo());
        show.start(true);
    }
    if (options.isSet(QStringLiteral("add-to-directory")))
        addToDirectory(unit.port());

    std::fprintf(stderr, "mirt-unit-sim: listening on %s:%u\n", qPrintable(address.toString()), unsigned(unit.port()));
    return app.exec();
}
