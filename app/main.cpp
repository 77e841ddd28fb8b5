#include "app/calllogwindow.h"
#include "app/logexport.h"
#include "app/mainwindow.h"
#include "app/quitsignals.h"
#include "app/storagedialog.h"
#include "calllog/calllog.h"
#include "console/display.h"
#include "support/commandline.h"
#include "support/qtcompat.h"

#include <QApplication>
#include <QImageReader>
#include <QPixmap>
#include <QTextStream>
#include <QTimer>

#include <dlfcn.h>

#include <optional>
#include <thread>

namespace {

// Every option of mirt-desktop, one row each; its manual page has an entry
// for each (tests/cli checks that).
CommandLine::Program program()
{
    CommandLine::Program program;
    program.name = QStringLiteral("mirt-desktop");
    program.version = QStringLiteral(MIRT_VERSION);
    program.description = QStringLiteral("Console for the telephone lines of MIRT Orvel units.");
    program.synopsis
        = QStringList{QStringLiteral("[--high-contrast] [--log-db <uri>] [Qt option]..."),
                      QStringLiteral("--export-log <file> [--since <date>] [--unit <key>] [--raw] [--log-db <uri>]"),
                      QStringLiteral("--help | --version")};
    program.options = {
        {QStringLiteral("export-log"),
         QStringLiteral("file"),
         QStringLiteral("Write the call log to <file> as CSV and exit, without a window."),
         {}},
        {QStringLiteral("since"),
         QStringLiteral("date"),
         QStringLiteral("With --export-log: only calls first seen at or after <date>, a local date (2024-03-05) or "
                        "an ISO 8601 date and time."),
         {}},
        {QStringLiteral("unit"),
         QStringLiteral("key"),
         QStringLiteral("With --export-log: only the calls of the unit <key> (address:port)."),
         {}},
        {QStringLiteral("log-db"),
         QStringLiteral("uri"),
         QStringLiteral("Use the call log at <uri> for this run, for the window and for --export-log alike: "
                        "postgresql://user@host:port/database?sslmode=require, "
                        "postgresql:///database?host=/run/postgresql or sqlite:PATH. The saved choice stays as it "
                        "is, and no old calls are deleted from this log."),
         {}},
        {QStringLiteral("raw"),
         {},
         QStringLiteral(
             "With --export-log: write every value as logged. Without it, a cell that begins with =, +, -, "
             "@, a tab or a carriage return starts with an apostrophe, so that spreadsheets show it as text."),
         {}},
        {QStringLiteral("high-contrast"),
         {},
         QStringLiteral("Draw the consoles in high contrast for this run; the choice kept in their context menu "
                        "stays as it is."),
         {}},
    };
    program.takesQtOptions = true;
    return program;
}

// Fontconfig reads some eighty configuration files and its caches the first
// time a text is measured, which the main window's layout does before the
// window can map: about half of what the start adds to that of an empty Qt
// window. Loaded on the second core while the first loads the platform plugin
// and connects to the display server, Qt then finds it ready. Looked up among
// the libraries already loaded (Qt's GUI library links fontconfig), so
// nothing is linked or loaded for it; where none is loaded, nothing happens.
// Two loads at once are safe: fontconfig keeps whichever finished first.
std::thread warmUpFonts()
{
    using Init = int (*)();
    const auto init = reinterpret_cast<Init>(dlsym(RTLD_DEFAULT, "FcInit"));
    if (!init)
        return std::thread();
    return std::thread([init] { init(); });
}

} // namespace

int main(int argc, char* argv[])
{
    // Read before any application object: --help, --version, a wrong command
    // line and the export need no display.
    CommandLine commandLine(program());
    const int exitCode = commandLine.parse(argc, argv);
    if (exitCode >= 0)
        return exitCode;

    // A log given for this run overrides the saved choice.
    std::optional<LogDatabase> given;
    if (commandLine.isSet(QStringLiteral("log-db"))) {
        LogDatabase database;
        QString error;
        if (!LogDatabase::parse(commandLine.value(QStringLiteral("log-db")), database, &error))
            return commandLine.valueError(QStringLiteral("--log-db: %1").arg(error));
        given = database;
    }

    if (commandLine.isSet(QStringLiteral("export-log"))) {
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("MIRT Desktop Control"));
        QTextStream err(stderr);
        setUtf8(err);
        LogDatabase database = given ? *given : StorageChoice::saved();
        if (!database.isServer() && database.path.isEmpty())
            database.path = CallLog::defaultPath();
        return LogExport::run(commandLine, database, err);
    }
    for (const char* exportOnly : {"since", "unit", "raw"})
        if (commandLine.isSet(QLatin1String(exportOnly)))
            return commandLine.usageError(QStringLiteral("--%1 goes with --export-log.").arg(exportOnly));

    std::thread fonts = warmUpFonts();
    // Display scaling and no OpenGL; before the application object exists.
    prepareDisplay();
    // Qt's own options are still in argv; the application object reads them.
    QApplication app(argc, argv);
    QApplication::setAttribute(Qt::AA_DontUseNativeMenuBar, true);
    QApplication::setApplicationName(QStringLiteral("MIRT Desktop Control"));
    // A Wayland compositor shows no icon a window sets: it finds the menu
    // entry by this name (the window's app id) and takes the icon from there.
    QGuiApplication::setDesktopFileName(QStringLiteral("mirt-desktop"));

    // Declared before the main window, so it outlives the window and its
    // consoles, which write to it.
    CallLog::Options options;
    options.path = CallLog::defaultPath();
    options.database = given ? *given : StorageChoice::saved();
    options.privateFolder = true;
    options.retentionDays = given ? -1 : CallLogWindow::retentionDays();
    options.startNow = false;
    if (!options.database.isServer() && !options.database.path.isEmpty())
        options.path = options.database.path;
    CallLog callLog(options);

    // Declared after the application object, so it is destroyed first: its
    // destructor saves the unit directory while Qt is still fully up.
    MainWindow window(nullptr);
    window.setCallLog(&callLog);
    if (commandLine.isSet(QStringLiteral("high-contrast")))
        window.consoleOptions().useHighContrast();
    window.show();
    if (fonts.joinable())
        fonts.join();
    // X11 cannot take the 256 px image as a window icon in one request; 128 px
    // fits. Set once the window is up: reading an image first reads the
    // descriptions of every image format plugin (PNG's own reader included),
    // which the first picture need not wait for.
    QTimer::singleShot(0, &window, [] {
        QImageReader iconReader(QStringLiteral(":/icons/app.png"), "png");
        iconReader.setAutoDetectImageFormat(false);
        QApplication::setWindowIcon(QPixmap::fromImage(iconReader.read()).scaledToWidth(128, Qt::SmoothTransformation));
    });
    // The file and SQLite once the window is up: the first picture waits
    // for neither, and a console opened before it still records from its
    // first frame (the log writes what waited in order).
    QTimer::singleShot(0, &callLog, &CallLog::start);

    // A logout or Ctrl+C closes the program as closing its window does.
    QuitSignals::closeOnQuit(window);
    return app.exec();
}
