#pragma once

#include <QCommandLineParser>
#include <QList>
#include <QString>
#include <QStringList>

// The command line of one program, read before any application object
// exists, so that --help, --version and a mistyped option need no display.
// A program describes each of its options once, as one row of its Program
// table; the parser and the --help text are both made from that table.
// --help and --version are added to every table. A program with windows
// also takes Qt's own options (-style, -platform, -session, ...): they are
// checked and skipped here and stay in argv for the application object.
class CommandLine
{
public:
    struct Option
    {
        QString name;           // long name, used as --name
        QString valueName;      // empty for a switch
        QString description;    // one sentence for --help
        QString defaultValue;   // value() when the option is not given
        QString shortName = {}; // one letter, used as -x; most have none
    };

    struct Program
    {
        QString name;          // as typed: mirt-desktop
        QString version;       // printed by --version
        QString description;   // one line under the usage
        QStringList synopsis;  // each way to call it, without the name
        QList<Option> options; // without --help and --version
        bool takesQtOptions = false;
    };

    explicit CommandLine(Program program);

    // Reads the arguments (program name first). Returns -1 when the program
    // is to go on; otherwise the exit code, with the help, the version or the
    // error already printed: 0 after --help or --version, 2 for a wrong
    // command line.
    int parse(const QStringList& arguments);
    int parse(int argc, char** argv);

    bool isSet(const QString& name) const;
    QString value(const QString& name) const;

    // A usage error found by the program itself: prints the message and the
    // usage to the standard error stream and returns 2, the exit code.
    int usageError(const QString& message) const;
    // A one-line error about a value: prints it and returns 2.
    int valueError(const QString& message) const;

    QString helpText() const;

private:
    QString usage() const;
    // How many arguments Qt's option at arguments[i] takes up (1 or 2), 0 if
    // it is none of Qt's, -1 if its value is missing.
    static int qtOptionLength(const QStringList& arguments, int i);
    bool takesValue(const QString& argument) const;

    Program m_program;
    QCommandLineParser m_parser;
};
