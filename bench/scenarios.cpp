// Whole-console scenarios: a console window (offscreen) logged into the
// simulated unit over loopback, measured with wall and process CPU clocks.
// In the idle scenarios the unit runs on a thread of its own and its
// processor time is taken out; elsewhere it runs in the same thread, so its
// own work (writing frames) is counted against the console: those figures
// are upper bounds of the console's cost.
#include "bench/scenarios.h"
#include "bench/frames.h"
#include "bench/simthread.h"
#include "bench/wait.h"

#include "console/chat.h"
#include "console/colorbutton.h"
#include "console/line.h"
#include "console/lines.h"
#include "console/mirtgui.h"
#include "ipc/ipcobject.h"
#include "ipc/ipcqt.h"
#include "sim/unitsimulator.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QImage>
#include <QPixmap>
#include <QPointer>
#include <QScrollBar>
#include <QStringList>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>
#include <stdexcept>

#include <unistd.h>

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else
#define CALLGRIND_START_INSTRUMENTATION
#define CALLGRIND_STOP_INSTRUMENTATION
#endif

namespace {

const QString kHost = QStringLiteral("127.0.0.1");

double cpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

double rssBytes()
{
    long pages = 0;
    long resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return double(resident) * double(sysconf(_SC_PAGESIZE));
}

// Counts the paint events a widget receives.
class PaintWatch : public QObject
{
public:
    explicit PaintWatch(QWidget* widget)
        : m_widget(widget)
    {
        widget->installEventFilter(this);
    }
    ~PaintWatch() override
    {
        if (m_widget)
            m_widget->removeEventFilter(this);
    }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++count;
        return false;
    }

private:
    QPointer<QWidget> m_widget;
};

std::unique_ptr<MIRTGui> openConsole(const UnitSimulator& sim)
{
    return std::make_unique<MIRTGui>(kHost, int(sim.port()), QStringLiteral("bench"), QStringLiteral("tavrik"));
}

} // namespace

void bringUp(MIRTGui& gui)
{
    check(waitFor([&] { return gui.session().getState() == IPCObject::IPC_READY; }, 10000), "console did not log in");
    // The unit's answer to "resync" has arrived once the last line shows its
    // state; anything sent before that would be overwritten by it.
    Line* last = gui.lines()->line(Lines::MaxLines - 1);
    check(waitFor([&] { return !last->state().status.isEmpty(); }, 10000), "no full status from the unit");
    gui.consoleView().resize(1024, 768);
    PaintWatch paints(gui.consoleView().viewport());
    check(waitFor([&] { return paints.count > 0; }, 10000), "console was not painted");
}

void runOpen(Figures& out)
{
    UnitSimulator sim;
    check(sim.start(0), "simulated unit did not start");

    const auto openOnce = [&] {
        QElapsedTimer clock;
        clock.start();
        std::unique_ptr<MIRTGui> gui = openConsole(sim);
        PaintWatch paints(gui->connectionView().viewport());
        check(waitFor([&] { return paints.count > 0; }, 10000), "console was not painted");
        const double ms = double(clock.nsecsElapsed()) / 1e6;
        gui.reset();
        runFor(20);
        return ms;
    };

    // The first console of the process also fills the shared image cache
    // and loads fonts and styles.
    const double first = openOnce();

    // The 24 images the panels draw, decoded from the resources into pixmaps
    // as the cache does (QImage, so no pixmap cache can answer instead).
    QStringList paths = {QStringLiteral(":/icons/ardeno_logo_300.png"), QStringLiteral(":/icons/mirt_logo_300.png"),
                         QStringLiteral(":/icons/ardeno_logo_100.png"), QStringLiteral(":/icons/mirt_logo_100.png")};
    for (const char* mood :
         {"neutral", "happy", "sad", "crying", "angry", "rude", "shocked", "embarassed", "eyeroll", "crazy"}) {
        paths << QStringLiteral(":/icons/emoticon_%1.png").arg(QLatin1String(mood));
        paths << QStringLiteral(":/icons/emoticon_%1_26.png").arg(QLatin1String(mood));
    }
    std::vector<double> decode;
    for (int round = 0; round < 7; ++round) {
        QElapsedTimer clock;
        clock.start();
        int loaded = 0;
        for (const QString& path : paths) {
            const QPixmap pixmap = QPixmap::fromImage(QImage(path));
            loaded += pixmap.isNull() ? 0 : 1;
        }
        decode.push_back(double(clock.nsecsElapsed()) / 1e6);
        check(loaded == 24, "an image did not load");
    }

    std::vector<double> opens;
    for (int round = 0; round < 9; ++round)
        opens.push_back(openOnce());

    // For reference: until the drawn console shows the unit's full status
    // (login and "resync" over loopback included).
    std::vector<double> readies;
    for (int round = 0; round < 5; ++round) {
        QElapsedTimer clock;
        clock.start();
        std::unique_ptr<MIRTGui> gui = openConsole(sim);
        bringUp(*gui);
        readies.push_back(double(clock.nsecsElapsed()) / 1e6);
        gui.reset();
        runFor(20);
    }

    const double openMs = median(opens);
    const double decodeMs = median(decode);
    out.emplace_back("open_console_first_ms", first);
    out.emplace_back("open_console_ms", openMs);
    out.emplace_back("image_decode_ms", decodeMs);
    out.emplace_back("open_vs_image_decode", decodeMs > 0 ? openMs / decodeMs : 0.0);
    out.emplace_back("open_to_ready_ms", median(readies));
}

void runIdle(Figures& out, int seconds, int consoles)
{
    // The unit on a thread of its own: its ticks and writes are not the
    // consoles' work, and its processor time is taken out of the figure.
    SimThread unit;
    std::vector<std::unique_ptr<MIRTGui>> open;
    for (int i = 0; i < consoles; ++i) {
        open.push_back(
            std::make_unique<MIRTGui>(kHost, int(unit.port()), QStringLiteral("bench"), QStringLiteral("tavrik")));
        bringUp(*open.back());
    }

    // Twelve held calls with priority: every HOLD lamp blinks fast (the
    // costliest blink), and each tick of the unit advances twelve timers.
    for (unsigned i = 0; i < 12; ++i) {
        Message m;
        m.set_name("line_status");
        m.params().set_uint("line_id", i);
        m.params().set_string("status", "on hold");
        m.params().set_bool("priority", true);
        m.params().set_uint("time", 60 + i);
        unit.run([&](UnitSimulator& sim) { sim.sendMessage(m); });
    }
    check(waitFor(
              [&] {
                  for (const auto& gui : open)
                      for (unsigned i = 0; i < 12; ++i)
                          if (!gui->lines()->line(i)->holdButton().isBlinking())
                              return false;
                  return true;
              },
              10000),
          "lines did not start blinking");
    runFor(1000);

    PaintWatch paints(open.front()->consoleView().viewport());
    QElapsedTimer wall;
    const double cpu0 = cpuSeconds();
    const double unit0 = unit.cpuSeconds();
    wall.start();
    CALLGRIND_START_INSTRUMENTATION;
    runFor(seconds * 1000);
    CALLGRIND_STOP_INSTRUMENTATION;
    const double unitCpu = unit.cpuSeconds() - unit0;
    const double cpu = cpuSeconds() - cpu0 - unitCpu;
    const double wallSeconds = double(wall.nsecsElapsed()) / 1e9;

    if (consoles == 1) {
        out.emplace_back("idle_cpu_share", cpu / wallSeconds);
        out.emplace_back("idle_paints_per_s", double(paints.count) / wallSeconds);
        out.emplace_back("idle_unit_cpu_share", unitCpu / wallSeconds);
    } else {
        const std::string n = std::to_string(consoles);
        out.emplace_back("idle_cpu_share_" + n + "_consoles", cpu / wallSeconds);
        out.emplace_back("idle_unit_cpu_share_" + n + "_consoles", unitCpu / wallSeconds);
    }
    open.clear();
    runFor(100);
}

void runMemory(Figures& out, int consoles)
{
    UnitSimulator sim;
    check(sim.start(0), "simulated unit did not start");
    runFor(100);
    const double before = rssBytes();

    std::vector<std::unique_ptr<MIRTGui>> open;
    double afterFirst = 0;
    for (int i = 0; i < consoles; ++i) {
        open.push_back(openConsole(sim));
        bringUp(*open.back());
        if (i == 0) {
            runFor(500);
            afterFirst = rssBytes();
        }
    }
    runFor(1000);
    const double after = rssBytes();
    const double mib = 1024.0 * 1024.0;

    out.emplace_back("rss_per_console_mb", (after - before) / consoles / mib);
    out.emplace_back("rss_first_console_mb", (afterFirst - before) / mib);
    if (consoles > 1)
        out.emplace_back("rss_per_further_console_mb", (after - afterFirst) / (consoles - 1) / mib);
    open.clear();
    runFor(100);
}

// A console brought up against a unit that keeps no record of what it
// receives and whose clock does not tick: a tick would move the timer the
// last frame of a burst sets.
std::unique_ptr<MIRTGui> quietConsole(UnitSimulator& sim)
{
    check(sim.start(0), "simulated unit did not start");
    sim.setRecording(false);
    sim.setTickInterval(3600 * 1000);
    std::unique_ptr<MIRTGui> gui = openConsole(sim);
    bringUp(*gui);
    runFor(500);
    return gui;
}

void runBurst(Figures& out, unsigned frameCount)
{
    UnitSimulator sim;
    std::unique_ptr<MIRTGui> gui = quietConsole(sim);

    // Encoded beforehand: the unit sends as fast as its socket takes them.
    QByteArray bytes;
    for (unsigned i = 0; i < frameCount; ++i) {
        const std::string f = frames::lineStatus(i % 12, i);
        bytes.append(f.data(), int(f.size()));
        bytes.append('\0');
    }
    const unsigned lastLine = (frameCount - 1) % 12;
    const QString lastTimer = Line::timerText(100 + frameCount - 1);
    const LinePanel& lastPanel = gui->lines()->line(lastLine)->panel();

    // The window stays responsive when its event loop keeps turning.
    StallProbe probe(10);
    QElapsedTimer clock;
    PaintWatch paints(gui->consoleView().viewport());
    clock.start();
    probe.start();
    sim.sendRaw(bytes);
    if (!waitFor([&] { return lastPanel.textTimer() == lastTimer; }, 120000)) {
        std::fprintf(stderr, "burst: line %u shows %s, wanted %s; session state %d, %lld bytes waiting\n", lastLine,
                     qPrintable(lastPanel.textTimer()), qPrintable(lastTimer), int(gui->session().getState()),
                     gui->session().get_dc_qt() ? gui->session().get_dc_qt()->bytesAvailable() : -1LL);
        check(false, "last frame never arrived");
    }
    const int paintsAtLast = paints.count;
    check(waitFor([&] { return paints.count > paintsAtLast; }, 10000), "last frame never painted");
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    probe.stop();

    out.emplace_back("burst_seconds", seconds);
    out.emplace_back("burst_frames_per_s", frameCount / seconds);
    out.emplace_back("burst_max_stall_ms", probe.stallMs());
    out.emplace_back("burst_paints", paints.count);
}

void runChatBurst(Figures& out, unsigned lineCount)
{
    UnitSimulator sim;
    std::unique_ptr<MIRTGui> gui = quietConsole(sim);

    // A window's worth of short chat lines in one write, as a unit relaying
    // a flood of chat would send them.
    QByteArray bytes;
    for (unsigned i = 0; i < lineCount; ++i)
        bytes += "<chat_data from=\"flood\" text=\"line " + QByteArray::number(i) + "\"/>" + '\0';
    const QString last = QStringLiteral("line %1").arg(lineCount - 1);
    const QTextDocument* doc = gui->chat()->history().document();

    StallProbe probe(10);
    QElapsedTimer clock;
    const double cpu0 = cpuSeconds();
    clock.start();
    probe.start();
    sim.sendRaw(bytes);
    check(waitFor([&] { return doc->lastBlock().text().trimmed().endsWith(last); }, 120000),
          "last chat line never shown");
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    const double cpu = cpuSeconds() - cpu0;
    probe.stop();
    // The history stays within its bound all the while.
    check(doc->blockCount() <= Chat::MAX_HISTORY_LINES + Chat::HISTORY_TRIM_SLACK, "chat history over its bound");

    out.emplace_back("chat_burst_seconds", seconds);
    // Process CPU time of the same (the unit's writing included): what the
    // burst costs whatever else the machine is doing.
    out.emplace_back("chat_burst_cpu_seconds", cpu);
    out.emplace_back("chat_burst_max_stall_ms", probe.stallMs());
    out.emplace_back("chat_history_lines", doc->blockCount());
}
