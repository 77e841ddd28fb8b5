// The two programs as a user starts them from a shell with no display at all
// (over ssh, from cron): what they print, how they exit, and that none of
// these command lines needs a window.
#include "calllog/pgcallstore.h"
#include "calllog/sqlitecallstore.h"
#include "tests/support/pgserver.h"
#include "tests/support/settings.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

class TestCommandLine : public QObject
{
    Q_OBJECT

    // A station server with its log, on its socket and with TLS on
    // 127.0.0.1; and a listener that takes connections and never answers.
    testsupport::PgServer m_pg;
    QTcpServer m_silent;

private slots:
    void initTestCase()
    {
        // A call log with no calls yet, where mirt-desktop looks for it.
        const QString home = testsupport::isolateSettings();
        SqliteCallStore log(home + QStringLiteral("/data/MIRT Desktop Control/calls.sqlite"));
        QVERIFY(log.open());
        QVERIFY2(m_pg.start(true), qPrintable(m_pg.error()));
        QVERIFY(m_pg.sql("postgres", "CREATE DATABASE mirt"));
        LogDatabase station;
        QVERIFY(LogDatabase::parse(m_pg.uri(QStringLiteral("mirt")), station));
        PgCallStore made(station);
        QVERIFY2(made.open(), qPrintable(made.errorText()));
        QVERIFY(m_silent.listen(QHostAddress::LocalHost, 0));
    }

    void run_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("arguments"); // @out: a file in a new folder
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("out"); // what standard output starts with; empty: nothing
        QTest::addColumn<QString>("err"); // the first line of standard error; empty: nothing
        QTest::addColumn<bool>("usage");  // whether the usage follows that line
        const auto row = [](const char* name, const char* program, const char* arguments, int exitCode, const char* out,
                            const char* err, bool usage) {
            QTest::newRow(name) << program << arguments << exitCode << out << err << usage;
        };
        const char* desktop = MIRT_DESKTOP;
        const char* sim = MIRT_UNIT_SIM;
        row("help", desktop, "--help", 0, "Usage: mirt-desktop [--high-contrast] [--log-db <uri>] [Qt option]...\n", "",
            false);
        row("version", desktop, "--version", 0, "mirt-desktop " MIRT_VERSION "\n", "", false);
        row("unknown option", desktop, "--frobnicate", 2, "", "mirt-desktop: Unknown option 'frobnicate'.", true);
        row("export without a file", desktop, "--export-log", 2, "",
            "mirt-desktop: Missing value after '--export-log'.", true);
        row("a date that is none", desktop, "--export-log @out --since yesterday", 2, "",
            "mirt-desktop: --since wants a date such as 2024-03-05 or 2024-03-05T18:00:00+01:00, not 'yesterday'",
            false);
        row("Qt's options in every form", desktop, "--style=Fusion -reverse -session 1a2b --export-log @out", 0, "",
            "mirt-desktop: wrote 0 calls to @out", false);
        row("Qt's option without its value", desktop, "-style", 2, "", "mirt-desktop: Missing value after '-style'.",
            true);
        row("a value like Qt's option", desktop, "--export-log @out --unit -name", 0, "",
            "mirt-desktop: wrote 0 calls to @out", false);
        row("export option alone", desktop, "--since 2024-03-05", 2, "",
            "mirt-desktop: --since goes with --export-log.", true);
        row("a stray word", desktop, "--export-log @out calls", 2, "", "mirt-desktop: Unexpected argument 'calls'.",
            true);
        // @sock: the server's socket folder, @pg its TCP port, @ca its
        // certificate, @silent the listener's port. A line ending in "..."
        // is compared up to there.
        row("a URI that is none", desktop, "--log-db mysql://db/mirt --export-log @out", 2, "",
            "mirt-desktop: --log-db: 'mysql://db/mirt' is not a call log URI (postgresql://... or sqlite:PATH)", false);
        row("a URI that does not parse", desktop, "--log-db postgresql://[::1/mirt", 2, "",
            "mirt-desktop: --log-db: 'postgresql://[::1/mirt' does not parse: ...", false);
        row("a port that is none", desktop, "--log-db postgresql://db:99999/mirt --export-log @out", 2, "",
            "mirt-desktop: --log-db: 'postgresql://db:99999/mirt': 99999 is no port", false);
        row("a parameter the log does not use", desktop, "--log-db postgresql:///mirt?sslcert=x --export-log @out", 2,
            "",
            "mirt-desktop: --log-db: 'postgresql:///mirt?sslcert=x': the call log does not use the parameter sslcert",
            false);
        row("no database", desktop, "--log-db postgresql://db --export-log @out", 2, "",
            "mirt-desktop: --log-db: 'postgresql://db' names no database", false);
        row("a wrong password", desktop, "--log-db postgresql://desk:wrong@/mirt?host=@sock&port=@pg --export-log @out",
            1, "",
            "mirt-desktop: the station server mirt on @sock:@pg cannot be reached (connection to server on socket "
            "\"@sock/.s.PGSQL.@pg\" failed: FATAL:  password authentication failed for user \"desk\")",
            false);
        row("a server that never answers", desktop, "--log-db postgresql://127.0.0.1:@silent/mirt --export-log @out", 1,
            "", "mirt-desktop: the station server mirt on 127.0.0.1:@silent cannot be reached (...", false);
        row("TLS required", desktop,
            "--log-db postgresql://postgres@127.0.0.1:@pg/mirt?sslmode=require --export-log @out", 0, "",
            "mirt-desktop: wrote 0 calls to @out", false);
        row("TLS with the server's name checked", desktop,
            "--log-db postgresql://postgres@127.0.0.1:@pg/mirt?sslmode=verify-full&sslrootcert=@ca --export-log @out",
            0, "", "mirt-desktop: wrote 0 calls to @out", false);
        row("unit help", sim, "--help", 0, "Usage: mirt-unit-sim [option]...\n", "", false);
        row("unit takes no Qt option", sim, "-style Fusion", 2, "", "mirt-unit-sim: Unknown option 'style'.", true);
        row("unit port without a value", sim, "--port", 2, "", "mirt-unit-sim: Missing value after '--port'.", true);
        row("unit lines that are none", sim, "--lines 7", 2, "", "mirt-unit-sim: --lines must be 12 or 6", false);
    }

    void run()
    {
        QFETCH(QString, program);
        QFETCH(QString, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QFETCH(bool, usage);

        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const QString file = folder.filePath(QStringLiteral("calls.csv"));
        const std::pair<const char*, QString> places[] = {{"@out", file},
                                                          {"@sock", m_pg.socketFolder()},
                                                          {"@pg", QString::number(m_pg.tcpPort())},
                                                          {"@ca", m_pg.tls().caFile},
                                                          {"@silent", QString::number(m_silent.serverPort())}};
        QStringList words = arguments.split(QLatin1Char(' '));
        for (const auto& [place, value] : places) {
            err.replace(QLatin1String(place), value);
            words.replaceInStrings(QLatin1String(place), value);
        }
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* display : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(QLatin1String(display));
        process.setProcessEnvironment(environment);
        QElapsedTimer took;
        took.start();
        process.start(program, words);
        QVERIFY(process.waitForFinished(30000));
        // Nothing waits on a server past the connect timeout.
        QVERIFY(took.elapsed() < (LogDatabase::ConnectTimeoutSeconds + 4) * 1000);
        const QString stdOut = QString::fromLocal8Bit(process.readAllStandardOutput());
        const QString stdErr = QString::fromLocal8Bit(process.readAllStandardError());

        // With no display, an application object for windows would have
        // aborted the program.
        QVERIFY2(process.exitStatus() == QProcess::NormalExit && process.exitCode() == exitCode, qPrintable(stdErr));
        QVERIFY2(out.isEmpty() ? stdOut.isEmpty() : stdOut.startsWith(out), qPrintable(stdOut));
        const QStringList lines = stdErr.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        if (err.endsWith(QLatin1String("...")))
            QVERIFY2(lines.value(0).startsWith(err.chopped(3)), qPrintable(lines.value(0)));
        else
            QCOMPARE(lines.value(0), err);
        QCOMPARE(lines.size() > 1, usage);
        if (usage)
            QVERIFY2(lines.value(1).startsWith("Usage: " + QFileInfo(program).fileName() + ' '), qPrintable(stdErr));
        QCOMPARE(QFileInfo::exists(file), exitCode == 0 && arguments.contains(QLatin1String("@out")));
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_cli.moc"
