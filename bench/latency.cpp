// Frame to pixels: the time from the unit's write of a "line_status" change
// to the end of the first paint of the console view that shows it.
//
// The simulated unit runs on its own thread and writes changes at a steady
// rate, cycling over the twelve lines, each going round a whole call
// (ringing, handset, hold, screened hold, air, idle), while the call log
// records them as it does for a user. Each change carries its number in the
// "time" attribute, so the console's model says which change a line shows.
//
// The end of a paint is seen in BenchApplication::notify: right after the
// view's top-level window has handled an update request in which its
// viewport was painted (the paint and the copy of the painted picture to
// the window system), or right after a paint of the viewport outside one.
// A change counts as shown by that paint when the line's model holds it or a
// later change, its panel's texts and its lamps' looks are those of that
// change, and the painted region covers the panel (whose texts every change
// alters; a lamp is repainted only when its colour changes, and its look is
// set in the same turn as the panel's texts). A change that a later one of its line replaced before
// any paint showed it is counted at the paint that showed the later one,
// from its own write.
#include "bench/eventhook.h"
#include "bench/scenarios.h"
#include "bench/simthread.h"
#include "bench/wait.h"

#include "calllog/calllog.h"
#include "console/line.h"
#include "console/lines.h"
#include "console/mirtgui.h"
#include "ipc/ipcobject.h"
#include "message/message.h"
#include "sim/unitsimulator.h"

#include <QElapsedTimer>
#include <QPaintEvent>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <time.h>

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else
#define CALLGRIND_START_INSTRUMENTATION
#define CALLGRIND_STOP_INSTRUMENTATION
#endif

namespace {

const int kLines = 12;
// One whole call; the connected steps show the change's number as their time.
const char* const kCycle[] = {"ringing", "on handset", "on hold", "on screened hold", "on air", "on hook (idle)"};
const int kSteps = 6;
// The numbers below this are used once before the run, to learn the looks.
const int kFirst = kLines * kSteps;

int lineOf(int seq)
{
    return seq % kLines;
}
int stepOf(int seq)
{
    return (seq / kLines) % kSteps;
}

Message change(int seq)
{
    Message m;
    m.set_name("line_status");
    m.params().set_uint("line_id", unsigned(lineOf(seq)));
    m.params().set_string("status", kCycle[stepOf(seq)]);
    m.params().set_uint("time", unsigned(seq));
    return m;
}

struct Look
{
    ColorButton::ButtonStates state;
    ColorButton::ButtonColors first;
    ColorButton::ButtonColors second;
    bool operator==(const Look& o) const { return state == o.state && first == o.first && second == o.second; }
};

Look lookOf(const ColorButton& b)
{
    return {b.state(), b.firstColor(), b.secondColor()};
}

// What a line shows for one step of the call, read off the console once.
struct Shown
{
    std::array<Look, 3> lamps; // ANSWER, HOLD, AIR
    QString text;              // the panel's first text line
    LinePanel::TextPanelColor colour;
    bool connected;
};

std::array<Look, 3> lampsOf(Line& line)
{
    return {lookOf(line.answerButton()), lookOf(line.holdButton()), lookOf(line.airButton())};
}

// The rectangle an item covers in the viewport.
QRect inView(const QGraphicsView& view, const QGraphicsItem& item)
{
    return view.mapFromScene(item.sceneBoundingRect()).boundingRect();
}

double percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, size_t(std::ceil(p * double(v.size()))) - 1);
    return v[i];
}

class LatencyRun
{
public:
    LatencyRun(int rate, int seconds)
        : m_rate(rate)
        , m_total(rate * seconds)
        , m_written(new std::atomic<qint64>[size_t(rate * seconds)])
    {
    }

    void run(Figures& out, const std::string& prefix);

private:
    void learnLooks();
    void painted(const QRegion& region);
    bool shows(int seq) const;
    void startSending();

    const int m_rate;
    const int m_total;
    std::unique_ptr<std::atomic<qint64>[]> m_written;
    std::atomic<int> m_sent{0};
    QElapsedTimer m_clock;

    SimThread m_unit;
    std::unique_ptr<CallLog> m_log;
    std::unique_ptr<MIRTGui> m_gui;
    std::array<Shown, kSteps> m_shown{};
    // Per line: the oldest change not yet seen on the screen.
    std::array<int, kLines> m_next{};
    std::vector<double> m_latencies;
    // From the write to the line's model holding the change, for the same
    // changes: the receive path apart from the wait for the paint.
    std::vector<double> m_toModel;
    // What the paints since the last update request covered.
    QRegion m_region;
    bool m_painted = false;
    int m_depth = 0;
    int m_paints = 0;
    // Time spent in the view's update requests (paint and copy out).
    qint64 m_requestStart = 0;
    double m_paintMs = 0;
};

void LatencyRun::learnLooks()
{
    // Every step on every line once, slowly: this also draws each look
    // once, as a console that has been running a while has.
    Lines& lines = *m_gui->lines();
    for (int step = 0; step < kSteps; ++step) {
        for (int line = 0; line < kLines; ++line) {
            const int seq = step * kLines + line;
            const Message m = change(seq);
            m_unit.run([&](UnitSimulator& sim) { sim.sendMessage(m); });
            Line& l = *lines.line(unsigned(line));
            check(waitFor([&] { return l.state().time == uint64_t(seq) && l.state().status == kCycle[step]; }, 10000),
                  "a change did not reach the line");
        }
        Line& first = *lines.line(0);
        m_shown[size_t(step)] = {lampsOf(first), first.panel().textLine1(), first.panel().textPanelColor(),
                                 !first.panel().textTimer().isEmpty()
                                     && first.panel().textTimer() == Line::timerText(uint64_t(step * kLines))};
    }
    // The idle step brings no time; a ringing line shows none either.
    check(m_shown[0].connected == false && m_shown[1].connected && m_shown[5].connected == false,
          "the call's steps do not look as expected");
    runFor(300);
}

bool LatencyRun::shows(int seq) const
{
    Line& line = *m_gui->lines()->line(unsigned(lineOf(seq)));
    const Shown& want = m_shown[size_t(stepOf(seq))];
    if (line.state().time != uint64_t(seq) || line.state().status != kCycle[stepOf(seq)])
        return false;
    if (lampsOf(line) != want.lamps || line.panel().textPanelColor() != want.colour)
        return false;
    return want.connected ? line.panel().textTimer() == Line::timerText(uint64_t(seq))
                          : line.panel().textLine1() == want.text;
}

void LatencyRun::painted(const QRegion& region)
{
    const qint64 now = m_clock.nsecsElapsed();
    ++m_paints;
    const QGraphicsView& view = m_gui->consoleView();
    for (int l = 0; l < kLines; ++l) {
        int& next = m_next[size_t(l)];
        if (next >= kFirst + m_total || next >= kFirst + m_sent.load())
            continue;
        Line& line = *m_gui->lines()->line(unsigned(l));
        const int current = int(line.state().time);
        if (current < next || current >= kFirst + m_total || lineOf(current) != l || !shows(current))
            continue;
        // The paint must have covered the panel, whose texts every change
        // alters. A lamp is repainted only when its colour changes (a new
        // look may start on the colour it showed): its look is checked above.
        if (!region.intersects(inView(view, line.panel())))
            continue;
        for (; next <= current; next += kLines)
            m_latencies.push_back(double(now - m_written[size_t(next - kFirst)].load()) / 1e6);
    }
}

void LatencyRun::startSending()
{
    // On the unit's thread: a precise timer wakes it at least every
    // millisecond (every 20 ms at 50 a second), and it writes every change
    // that is due by then, stamping each just before its write.
    const int period = std::max(1, 1000 / m_rate);
    m_unit.run([this, period](UnitSimulator& sim) {
        auto* timer = new QTimer(&sim);
        timer->setTimerType(Qt::PreciseTimer);
        const qint64 start = m_clock.nsecsElapsed();
        QObject::connect(timer, &QTimer::timeout, timer, [this, timer, start, &sim] {
            const qint64 due = std::min<qint64>(m_total, (m_clock.nsecsElapsed() - start) * m_rate / 1000000000 + 1);
            for (int i = m_sent.load(); i < due; ++i) {
                const Message m = change(kFirst + i);
                m_written[size_t(i)].store(m_clock.nsecsElapsed());
                sim.sendMessage(m);
                m_sent.store(i + 1);
            }
            if (m_sent.load() >= m_total)
                timer->deleteLater();
        });
        timer->start(period);
    });
}

void LatencyRun::run(Figures& out, const std::string& prefix)
{
    m_clock.start();
    m_unit.run([](UnitSimulator& sim) {
        sim.setRecording(false);
        // The unit's clock would move the times the changes carry.
        sim.setTickInterval(3600 * 1000);
    });

    // The call log as the program keeps it, in a folder of its own.
    QTemporaryDir dir;
    check(dir.isValid(), "no temporary folder");
    CallLog::Options options;
    options.path = dir.filePath(QStringLiteral("calls.sqlite"));
    options.privateFolder = true;
    m_log = std::make_unique<CallLog>(options);
    check(waitFor([&] { return m_log->state() == CallLog::Ready; }, 10000), "the call log did not open");

    m_gui = std::make_unique<MIRTGui>(QStringLiteral("127.0.0.1"), int(m_unit.port()), QStringLiteral("bench"),
                                      QStringLiteral("tavrik"));
    m_log->attach(m_gui->session(), QStringLiteral("127.0.0.1:%1").arg(m_unit.port()));
    bringUp(*m_gui);
    learnLooks();

    for (int l = 0; l < kLines; ++l)
        m_next[size_t(l)] = kFirst + l;
    m_latencies.reserve(size_t(m_total));

    QWidget* view = &m_gui->consoleView();
    QWidget* viewport = m_gui->consoleView().viewport();
    BenchApplication::watch() = [this, view, viewport](QObject* receiver, QEvent* event, bool done) {
        const QEvent::Type type = event->type();
        const bool request = type == QEvent::UpdateRequest && (receiver == view || receiver == view->windowHandle());
        if (!done) {
            if (request && m_depth++ == 0)
                m_requestStart = m_clock.nsecsElapsed();
            return;
        }
        if (receiver == viewport && type == QEvent::Paint) {
            m_region += static_cast<QPaintEvent*>(event)->region();
            m_painted = true;
        } else if (request) {
            if (--m_depth == 0)
                m_paintMs += double(m_clock.nsecsElapsed() - m_requestStart) / 1e6;
        } else {
            return;
        }
        // The end of the outermost update request, or a paint outside one.
        if (m_painted && m_depth == 0) {
            painted(m_region);
            m_region = QRegion();
            m_painted = false;
        }
    };

    // Connected after the console's own models, so it runs after them.
    QObject::connect(&m_gui->session(), &IPCObject::recvLineStatus, &m_gui->session(), [this](const Message& msg) {
        const int seq = int(msg.params().get_uint("time", 0));
        if (seq >= kFirst && seq < kFirst + m_sent.load())
            m_toModel.push_back(double(m_clock.nsecsElapsed() - m_written[size_t(seq - kFirst)].load()) / 1e6);
    });
    const double cpu0 = threadCpuMs();
    // Under valgrind --tool=callgrind --collect-atstart=no, only the
    // measured part is profiled.
    CALLGRIND_START_INSTRUMENTATION;
    startSending();
    const int seconds = m_total / m_rate;
    const bool all = waitFor(
        [&] {
            for (int l = 0; l < kLines; ++l)
                if (m_next[size_t(l)] < kFirst + m_total)
                    return false;
            return true;
        },
        (seconds * 4 + 60) * 1000);
    CALLGRIND_STOP_INSTRUMENTATION;
    BenchApplication::watch() = nullptr;
    if (!all) {
        std::fprintf(stderr, "latency at %d/s: %d of %d written, %zu seen\n", m_rate, m_sent.load(), m_total,
                     m_latencies.size());
        check(false, "changes were never seen on the screen");
    }
    check(m_latencies.size() == size_t(m_total), "a change was counted twice or not at all");
    // The last change is the one the screen shows at the end.
    check(shows(kFirst + m_total - 1), "the last change is not the one shown");

    out.emplace_back(prefix + "p50_ms", percentile(m_latencies, 0.50));
    out.emplace_back(prefix + "p99_ms", percentile(m_latencies, 0.99));
    out.emplace_back(prefix + "max_ms", percentile(m_latencies, 1.0));
    out.emplace_back(prefix + "paints_per_s", double(m_paints) / seconds);
    out.emplace_back(prefix + "to_model_p50_ms", percentile(m_toModel, 0.50));
    out.emplace_back(prefix + "to_model_p99_ms", percentile(m_toModel, 0.99));
    // What the GUI thread spends, whatever the machine's load: per change,
    // and per paint of the view.
    out.emplace_back(prefix + "gui_cpu_us_per_change", (threadCpuMs() - cpu0) * 1e3 / m_total);
    out.emplace_back(prefix + "paint_ms_mean", m_paints > 0 ? m_paintMs / m_paints : 0.0);

    m_gui.reset();
    m_log.reset();
}

} // namespace

void runLatency(Figures& out, int seconds)
{
    // MIRT_BENCH_LATENCY_RATE=1000 runs one rate alone (for a profiler).
    const int only = qEnvironmentVariableIntValue("MIRT_BENCH_LATENCY_RATE");
    if (only != 1000) {
        LatencyRun busy(50, seconds);
        busy.run(out, "frame_to_pixels_");
    }
    runFor(200);
    if (only != 50) {
        LatencyRun stress(1000, seconds);
        stress.run(out, "frame_to_pixels_1000_");
    }
}
