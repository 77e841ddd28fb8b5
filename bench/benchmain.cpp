// mirt_bench [micro|open|idle|idle10|memory|burst|chatburst|latency|calllog|stationlog] [benchmark options]
//
// Prints every figure as a "name: value" line on the standard output; the
// benchmark library's own table goes to the error stream. bench.sh runs each
// mode in a process of its own. On a real X server (QT_QPA_PLATFORM=xcb)
// the console figures are named with "_xcb" before their unit
// (open_console_ms becomes open_console_xcb_ms), so both sets can stand in
// one table.
#include "bench/eventhook.h"
#include "bench/scenarios.h"
#include "console/display.h"

#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QStandardPaths>

#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

std::function<void(QObject*, QEvent*, bool)>& BenchApplication::watch()
{
    static std::function<void(QObject*, QEvent*, bool)> hook;
    return hook;
}

bool BenchApplication::notify(QObject* receiver, QEvent* event)
{
    if (!watch())
        return QApplication::notify(receiver, event);
    watch()(receiver, event, false);
    const bool handled = QApplication::notify(receiver, event);
    if (watch())
        watch()(receiver, event, true);
    return handled;
}

namespace {

std::string onPlatform(const std::string& name, const std::string& platform)
{
    if (platform == "offscreen")
        return name;
    for (const char* unit : {"_ms", "_mb", "_per_s"}) {
        const std::string u = unit;
        if (name.size() > u.size() && name.compare(name.size() - u.size(), u.size(), u) == 0)
            return name.substr(0, name.size() - u.size()) + "_" + platform + u;
    }
    return name + "_" + platform;
}

} // namespace

int main(int argc, char** argv)
{
    std::string mode = "micro";
    if (argc > 1 && argv[1][0] != '-') {
        mode = argv[1];
        // The rest goes to the benchmark library without the mode.
        for (int i = 1; i + 1 < argc; ++i)
            argv[i] = argv[i + 1];
        --argc;
    }

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Consoles keep their window geometry in the settings; never the user's.
    QStandardPaths::setTestModeEnabled(true);
    // As a user runs the program: the debug stream (which logs every message
    // as XML) is off. The session then does not even build those texts.
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));

    // The display as the program sets it up: scaling, and no OpenGL.
    prepareDisplay();
    BenchApplication app(argc, argv);

    Figures figures;
    int rc = 0;
    try {
        if (mode == "micro")
            rc = runMicro(argc, argv, figures);
        else if (mode == "open")
            runOpen(figures);
        else if (mode == "idle")
            runIdle(figures, 10, 1);
        else if (mode == "idle10")
            runIdle(figures,
                    qEnvironmentVariableIntValue("MIRT_BENCH_IDLE_SECONDS") > 0
                        ? qEnvironmentVariableIntValue("MIRT_BENCH_IDLE_SECONDS")
                        : 10,
                    10);
        else if (mode == "memory")
            runMemory(figures, 10);
        else if (mode == "burst")
            runBurst(figures, 20000);
        else if (mode == "chatburst")
            runChatBurst(figures,
                         qEnvironmentVariableIntValue("MIRT_BENCH_CHAT_LINES") > 0
                             ? unsigned(qEnvironmentVariableIntValue("MIRT_BENCH_CHAT_LINES"))
                             : 20000);
        else if (mode == "latency")
            runLatency(figures,
                       qEnvironmentVariableIntValue("MIRT_BENCH_LATENCY_SECONDS") > 0
                           ? qEnvironmentVariableIntValue("MIRT_BENCH_LATENCY_SECONDS")
                           : 30);
        else if (mode == "calllog")
            runCallLog(figures);
        else if (mode == "stationlog")
            runStationLog(figures);
        else {
            std::fprintf(stderr, "unknown mode %s\n", mode.c_str());
            return 2;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", mode.c_str(), e.what());
        return 1;
    }
    const std::string platform = mode == "micro" ? "offscreen" : QGuiApplication::platformName().toStdString();
    for (const Figure& f : figures) {
        const std::string name = onPlatform(f.first, platform);
        if (f.second >= 1e6)
            std::printf("%s: %.0f\n", name.c_str(), f.second);
        else
            std::printf("%s: %.4g\n", name.c_str(), f.second);
    }
    std::fflush(stdout);
    return rc;
}
