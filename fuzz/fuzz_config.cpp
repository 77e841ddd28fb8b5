// The key=value files of a unit's settings, as Config::load reads them.
//
// Properties: loading never fails on an existing file; every load
// replaces what the map held; and the echo that load prints never shows
// the value of a password key (the output is captured in a scratch file).
#include "fuzz/fuzzcheck.h"

#include "store/config.h"

#include <QByteArray>
#include <QFile>
#include <QMap>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

std::string g_input;
std::string g_echo;

void removeScratch()
{
    ::unlink(g_input.c_str());
    ::unlink(g_echo.c_str());
}

std::string makeScratch(const char* pattern)
{
    std::string name = pattern;
    const int fd = ::mkstemp(&name[0]);
    FUZZ_CHECK(fd >= 0);
    ::close(fd);
    return name;
}

QByteArray readAll(const std::string& path)
{
    QFile f(QString::fromStdString(path));
    FUZZ_CHECK(f.open(QIODevice::ReadOnly));
    return f.readAll();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size)
{
    if (g_input.empty()) {
        g_input = makeScratch("/tmp/mirt-fuzz-config-XXXXXX");
        g_echo = makeScratch("/tmp/mirt-fuzz-echo-XXXXXX");
        std::atexit(removeScratch);
    }
    FILE* in = std::fopen(g_input.c_str(), "wb");
    FUZZ_CHECK(in && std::fwrite(data, 1, size, in) == size);
    std::fclose(in);

    // The echo goes to standard output: point it at the scratch file for the
    // length of the call.
    std::fflush(stdout);
    const int saved = ::dup(STDOUT_FILENO);
    FILE* echo = std::fopen(g_echo.c_str(), "wb");
    FUZZ_CHECK(saved >= 0 && echo);
    ::dup2(::fileno(echo), STDOUT_FILENO);

    Config config;
    QMap<QString, QString> values;
    values.insert(QStringLiteral("stale"), QStringLiteral("entry"));
    const bool loaded = config.load(QString::fromStdString(g_input), values);

    std::fflush(stdout);
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    std::fclose(echo);
    FUZZ_CHECK(loaded);

    const QByteArray file(reinterpret_cast<const char*>(data), int(size));
    // load starts from an empty map.
    FUZZ_CHECK(!values.contains(QStringLiteral("stale")) || file.contains("stale="));

    // Everything the echo may show legitimately: every line of a key that is
    // not a password, as read and as printed, and the mask.
    QByteArray allowed = Config::maskedValue;
    for (const QByteArray& raw : file.split('\n')) {
        const QString line = QString::fromUtf8(raw);
        const int eq = line.indexOf(QLatin1Char('='));
        if (line.left(eq < 0 ? line.size() : eq).contains(QLatin1String("password"), Qt::CaseInsensitive)) {
            // The key itself is shown, only its value is masked.
            allowed += '\n' + line.left(eq).toUtf8() + " = " + Config::maskedValue + '\n';
            continue;
        }
        allowed += '\n' + line.toUtf8() + '\n';
        if (eq >= 0)
            allowed += (line.left(eq) + QLatin1String(" = ") + line.mid(eq + 1)).toUtf8() + '\n';
    }
    const QByteArray shown = readAll(g_echo);
    for (auto it = values.constBegin(); it != values.constEnd(); ++it) {
        if (!it.key().contains(QLatin1String("password"), Qt::CaseInsensitive))
            continue;
        const QByteArray value = it.value().toUtf8();
        // A value short enough to occur by chance in other text proves nothing.
        if (value.size() >= 6 && !allowed.contains(value))
            FUZZ_CHECK(!shown.contains(value));
    }
    return 0;
}
