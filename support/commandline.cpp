#include "support/commandline.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace {

enum QtValue {
    NoValue,
    NextArgument, // -style Fusion
    NextOrJoined, // -style Fusion or -style=Fusion
    JoinedOnly,   // -dialogs=none
};

// The options Qt's application objects, platform plugins and widget styles
// read from argv in Qt 5.15 and Qt 6, with the X11 ones Qt still lists. The
// session manager restarts a program with -session, so refusing these would
// break session restore as well as the usual switches.
const struct
{
    const char* name;
    QtValue value;
} kQtOptions[] = {
    {"-platform", NextArgument},
    {"-platformpluginpath", NextArgument},
    {"-platformtheme", NextArgument},
    {"-plugin", NextArgument},
    {"-qmljsdebugger", NextOrJoined},
    {"-qwindowgeometry", NextArgument},
    {"-qwindowicon", NextArgument},
    {"-qwindowtitle", NextArgument},
    {"-reverse", NoValue},
    {"-session", NextArgument},
    {"-testability", NoValue},
    {"-style", NextOrJoined},
    {"-stylesheet", NextOrJoined},
    {"-widgetcount", NoValue},
    {"-display", NextArgument},
    {"-geometry", NextArgument},
    {"-title", NextArgument},
    {"-icon", NextArgument},
    {"-name", NextArgument},
    {"-visual", NextArgument},
    {"-ncols", NextArgument},
    {"-cmap", NoValue},
    {"-sync", NoValue},
    {"-nograb", NoValue},
    {"-dograb", NoValue},
    {"-fontengine", NextArgument},
    {"-dialogs", JoinedOnly},
};

void print(FILE* stream, const QString& text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

} // namespace

CommandLine::CommandLine(Program program)
    : m_program(std::move(program))
{
    m_program.options.prepend(
        {QStringLiteral("version"), {}, QStringLiteral("Print the version and exit."), {}, QStringLiteral("v")});
    m_program.options.prepend(
        {QStringLiteral("help"), {}, QStringLiteral("Print this help and exit."), {}, QStringLiteral("h")});
    // Single-dash words are Qt's options, so -export-log means --export-log
    // rather than -e -x -p ...
    m_parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const Option& option : qAsConst(m_program.options)) {
        QStringList names{option.name};
        if (!option.shortName.isEmpty())
            names.prepend(option.shortName);
        QCommandLineOption parserOption(names, option.description, option.valueName);
        if (!option.defaultValue.isEmpty())
            parserOption.setDefaultValue(option.defaultValue);
        m_parser.addOption(parserOption);
    }
}

int CommandLine::parse(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return parse(arguments);
}

int CommandLine::parse(const QStringList& arguments)
{
    QStringList own{arguments.value(0, m_program.name)};
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (argument == QLatin1String("--")) {
            own += arguments.mid(i);
            break;
        }
        if (m_program.takesQtOptions) {
            const int length = qtOptionLength(arguments, i);
            if (length < 0)
                return usageError(QStringLiteral("Missing value after '%1'.").arg(argument));
            if (length > 0) {
                i += length - 1;
                continue;
            }
        }
        own << argument;
        // Our own option's value goes with it, so that a value such as
        // "-name" is not taken for one of Qt's options.
        if (takesValue(argument) && i + 1 < arguments.size())
            own << arguments.at(++i);
    }

    if (!m_parser.parse(own))
        return usageError(m_parser.errorText());
    if (m_parser.isSet(QStringLiteral("help"))) {
        print(stdout, helpText());
        return 0;
    }
    if (m_parser.isSet(QStringLiteral("version"))) {
        print(stdout, QStringLiteral("%1 %2\n").arg(m_program.name, m_program.version));
        return 0;
    }
    if (!m_parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("Unexpected argument '%1'.").arg(m_parser.positionalArguments().constFirst()));
    return -1;
}

bool CommandLine::isSet(const QString& name) const
{
    return m_parser.isSet(name);
}

QString CommandLine::value(const QString& name) const
{
    return m_parser.value(name);
}

int CommandLine::usageError(const QString& message) const
{
    print(stderr,
          QStringLiteral("%1: %2\n%3Try '%1 --help' for more information.\n").arg(m_program.name, message, usage()));
    return 2;
}

int CommandLine::valueError(const QString& message) const
{
    print(stderr, QStringLiteral("%1: %2\n").arg(m_program.name, message));
    return 2;
}

QString CommandLine::usage() const
{
    QString text;
    for (int i = 0; i < m_program.synopsis.size(); ++i)
        text += QStringLiteral("%1 %2 %3\n")
                    .arg(i == 0 ? QStringLiteral("Usage:") : QStringLiteral("      "), m_program.name,
                         m_program.synopsis.at(i));
    return text;
}

QString CommandLine::helpText() const
{
    QStringList names;
    int width = 0;
    for (const Option& option : m_program.options) {
        QString name = QStringLiteral("--") + option.name;
        if (!option.shortName.isEmpty())
            name.prepend(QStringLiteral("-%1, ").arg(option.shortName));
        if (!option.valueName.isEmpty())
            name += QStringLiteral(" <%1>").arg(option.valueName);
        names << name;
        width = std::max(width, int(name.size()));
    }
    // Descriptions are wrapped to fit 80 columns beside the names.
    const int indent = 2 + width + 2;
    QString text = usage() + m_program.description + QStringLiteral("\n\nOptions:\n");
    for (int i = 0; i < names.size(); ++i) {
        QString line = QStringLiteral("  ") + names.at(i).leftJustified(width + 2);
        const QStringList words = m_program.options.at(i).description.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        int column = indent;
        for (const QString& word : words) {
            if (column > indent && column + 1 + word.size() > 79) {
                text += line + QLatin1Char('\n');
                line = QString(indent, QLatin1Char(' '));
                column = indent;
            }
            if (column > indent) {
                line += QLatin1Char(' ');
                ++column;
            }
            line += word;
            column += word.size();
        }
        text += line + QLatin1Char('\n');
    }
    if (m_program.takesQtOptions)
        text += QStringLiteral("\nQt's own options, such as -style, -platform, -display and -session,\n"
                               "are passed on to Qt.\n");
    return text + QStringLiteral("\nSee %1(1) for more.\n").arg(m_program.name);
}

int CommandLine::qtOptionLength(const QStringList& arguments, int i)
{
    QString argument = arguments.at(i);
    // Qt reads --style as -style.
    if (argument.startsWith(QLatin1String("--")))
        argument.remove(0, 1);
    for (const auto& option : kQtOptions) {
        const QLatin1String name(option.name);
        if (argument == name) {
            if (option.value == NoValue)
                return 1;
            if (option.value == JoinedOnly)
                return 0;
            return i + 1 < arguments.size() ? 2 : -1;
        }
        if ((option.value == NextOrJoined || option.value == JoinedOnly)
            && argument.startsWith(name + QLatin1Char('=')))
            return 1;
    }
    return 0;
}

bool CommandLine::takesValue(const QString& argument) const
{
    if (!argument.startsWith(QLatin1Char('-')) || argument.contains(QLatin1Char('=')))
        return false;
    const QString name = argument.mid(argument.startsWith(QLatin1String("--")) ? 2 : 1);
    for (const Option& option : m_program.options)
        if (option.name == name)
            return !option.valueName.isEmpty();
    return false;
}
