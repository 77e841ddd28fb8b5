// The two programs as a user starts them from a shell with no display at all
// (over ssh, from cron): what they print, how they exit, and that none of
// these command lines needs a window.
#include "calllog/sqlitecallstore.h"
#include "tests/support/settings.h"

#include <QDateTime>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // A call log with no calls yet, where mirt-desktop looks for it.
        const QString home = testsupport::isolateSettings();
        SqliteCallStore log(home + QStringLiteral("/data/MIRT Desktop Control/calls.sqlite"));
        QVERIFY(log.open());
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
        row("help", desktop, "--help", 0, "Usage: mirt-desktop [--high-contrast] [Qt option]...\n", "", false);
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
        err.replace(QLatin1String("@out"), file);
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* display : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(QLatin1String(display));
        process.setProcessEnvironment(environment);
        process.start(program, arguments.split(QLatin1Char(' ')).replaceInStrings(QStringLiteral("@out"), file));
        QVERIFY(process.waitForFinished(30000));
        const QString stdOut = QString::fromLocal8Bit(process.readAllStandardOutput());
        const QString stdErr = QString::fromLocal8Bit(process.readAllStandardError());

        // With no display, an application object for windows would have
        // aborted the program.
        QVERIFY2(process.exitStatus() == QProcess::NormalExit && process.exitCode() == exitCode, qPrintable(stdErr));
        QVERIFY2(out.isEmpty() ? stdOut.isEmpty() : stdOut.startsWith(out), qPrintable(stdOut));
        const QStringList lines = stdErr.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.value(0), err);
        QCOMPARE(lines.size() > 1, usage);
        if (usage)
            QVERIFY2(lines.value(1).startsWith("Usage: " + QFileInfo(program).fileName() + ' '), qPrintable(stdErr));
        QCOMPARE(QFileInfo::exists(file), exitCode == 0 && arguments.contains(QLatin1String("@out")));
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_cli.moc"
