// mirt_historybench: the caller history's two figures, each a "name: value"
// line on the standard output.
//   history_lookup_ms  the completion lookup as a console makes it (earlier
//                      callers whose name contains two to four typed
//                      letters, newest first) through the log's caller
//                      lookup thread, question to answer, over a log of
//                      100,000 calls; median of 40 questions.
//   typing_stall_ms    the longest stall of the GUI thread's event loop
//                      while 50 characters are typed into a console's Name
//                      field, one every 40 ms, with completion on over the
//                      same log (the list's first showing included): the
//                      longest gap of a 1 ms timer beyond its period.
//                      typing_list_shown counts the answers that showed a
//                      list, so a run where completion never worked fails;
//                      typing_stall_without_history_ms is the same typing
//                      into a console without a history source.
//   typing_stall_cpu_ms and typing_stall_without_history_cpu_ms
//                      the same longest gaps in the GUI thread's processor
//                      time, which other processes on a busy machine do not
//                      stretch.
#include "app/logcallerhistory.h"
#include "bench/wait.h"
#include "calllog/callerlookup.h"
#include "calllog/calllog.h"
#include "calllog/sqlitecallstore.h"
#include "console/customgraphicsview.h"
#include "console/display.h"
#include "console/infoedit.h"
#include "console/lines.h"
#include "console/mirtgui.h"
#include "console/namecompleter.h"
#include "sim/unitsimulator.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <ctime>
#include <exception>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else
#define CALLGRIND_START_INSTRUMENTATION
#define CALLGRIND_STOP_INSTRUMENTATION
#define CALLGRIND_DUMP_STATS_AT(name)
#endif

namespace {

// 100,000 calls over 90 days from about 20,000 callers: first and last
// names and towns drawn at random, so a short part of a name matches many.
void fill(CallStore& store, int count)
{
    static const char* const first[]
        = {"Ada",   "Bert",  "Carla", "Dev",   "Elsie", "Frank", "Gita",  "Hugo",    "Ines", "Jon",
           "Kemal", "Lena",  "Mo",    "Nell",  "Omar",  "Pia",   "Ruth",  "Sanjay",  "Tove", "Umar",
           "Vera",  "Wanda", "Xavi",  "Yusuf", "Zoe",   "Anna",  "Brian", "Chantal", "Dana", "Ewan"};
    static const char* const last[]
        = {"Smith",    "Mackenzie", "Okafor", "Novak",  "Haddad",   "Jensen", "Moreau", "Silva",
           "Kowalski", "Brennan",   "Ito",    "Walsh",  "Andersen", "Byrne",  "Costa",  "Duval",
           "Evans",    "Fischer",   "Garcia", "Hansen", "Ivanov",   "Jones",  "Khan",   "Larsen"};
    static const char* const places[]
        = {"Harbour Street", "Northfield", "Kingsbridge", "The Mill", "Old Town", "Dockside",  "Quay",
           "Fishmarket",     "Riverside",  "Hillcrest",   "Eastgate", "Westbury", "Marsh End", "Newland",
           "Abbeyfield",     "Bankside",   "Crossways",   "Dale",     "Elmwood",  "Fairview",  "Glenside",
           "Heath",          "Ironbridge", "Juniper",     "Kirkby",   "Longmoor", "Meadow",    "Netherby"};
    std::mt19937 random(31);
    const auto pick
        = [&](auto& table) { return QString::fromLatin1(table[random() % (sizeof(table) / sizeof(table[0]))]); };
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const qint64 span = 90LL * 24 * 3600 * 1000;
    QVector<CallStore::Write> batch;
    for (int i = 0; i < count; ++i) {
        CallRecord r;
        r.uid = QStringLiteral("history-bench-%1").arg(i);
        r.unitKey = QStringLiteral("10.0.0.1:8080");
        r.line = i % 12;
        r.firstSeen = now - span + qint64(i) * (span / count);
        r.lastSeen = r.ended = r.firstSeen + 120000;
        r.outcome = CallRecord::Outcome(1 + random() % 3);
        r.name = pick(first) + QLatin1Char(' ') + pick(last);
        r.location = pick(places);
        r.topic = QStringLiteral("Topic %1").arg(random() % 50);
        batch.append({r, true});
        if (batch.size() == 5000) {
            check(store.save(batch), "filling the log failed");
            batch.clear();
        }
    }
    check(store.save(batch), "filling the log failed");
}

double lookupMs(CallLog& log)
{
    CallerLookup* lookup = log.callerLookup();
    const int channel = lookup->newChannel();
    int awaited = 0;
    int found = 0;
    const QMetaObject::Connection answers = QObject::connect(
        lookup, &CallerLookup::callersFound, [&](int ticket, const QVector<CallerSummary>& callers, const QString&) {
            if (ticket == awaited) {
                awaited = 0;
                found += callers.isEmpty() ? 0 : 1;
            }
        });
    const QStringList typed
        = {QStringLiteral("an"),  QStringLiteral("ko"),   QStringLiteral("ewa"), QStringLiteral("zoe h"),
           QStringLiteral("dev"), QStringLiteral("ivan"), QStringLiteral("sa"),  QStringLiteral("qx")};
    std::vector<double> times;
    // The first question opens the reader's connection: not counted.
    for (int i = -1; i < 40; ++i) {
        QElapsedTimer clock;
        clock.start();
        awaited = lookup->findCallers(channel, typed.at((i + 8) % typed.size()), NameCompleter::MaxShown);
        check(waitFor([&] { return awaited == 0; }, 10000), "the lookup did not answer");
        if (i >= 0)
            times.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    QObject::disconnect(answers);
    check(found >= 30, "the lookups found nothing");
    return median(times);
}

struct Stall
{
    double ms = 0;
    double cpuMs = 0;
    int shown = 0;
};

// With log null, the same typing without completion.
Stall typingStall(CallLog* log)
{
    UnitSimulator sim;
    check(sim.start(0), "simulated unit did not start");
    sim.setTickInterval(3600 * 1000);
    MIRTGui gui(QStringLiteral("127.0.0.1"), sim.port(), QStringLiteral("bench"), QStringLiteral("tavrik"));
    std::unique_ptr<LogCallerHistory> source;
    if (log) {
        source = std::make_unique<LogCallerHistory>(*log);
        gui.setCallerHistory(source.get());
    }
    check(waitFor([&] { return gui.session().getState() == IPCObject::IPC_READY; }, 10000), "no console");
    check(sim.ring(0, CallerInfo()) && sim.setLineState(0, "on hold"), "no call");
    gui.selectLine(0);
    QLineEdit& name = gui.infoEdit()->nameEditor();
    check(waitFor([&] { return name.isEnabled(); }, 10000), "the editor stayed off");
    CustomGraphicsView& view = gui.consoleView();
    QApplication::setActiveWindow(&view);
    // Best effort: whether the key reached the console is checked next.
    static_cast<void>(QTest::qWaitForWindowActive(&view));
    QTest::keyClick(&view, Qt::Key_E, Qt::ControlModifier);
    check(name.hasFocus(), "the Name field has no focus");

    int shown = 0;
    if (source)
        QObject::connect(source.get(), &CallerHistorySource::callersFound, [&] {
            QMetaObject::invokeMethod(
                &gui, [&] { shown += gui.nameCompleter()->isShown() ? 1 : 0; }, Qt::QueuedConnection);
        });
    const QString text = QStringLiteral("Anna Mackenzie of Harbour Street, calling again!!!");
    int typed = 0;
    QTimer typist;
    typist.setTimerType(Qt::PreciseTimer);
    QObject::connect(&typist, &QTimer::timeout, [&] {
        QTest::keyClick(&view, text.at(typed).toLatin1());
        if (++typed == text.size())
            typist.stop();
    });
    // The console's first painting, and the repaint that moving the focus
    // asks for, are done before the typing starts: they are not typing.
    waitFor([] { return false; }, 300);
    StallProbe probe(1, Qt::PreciseTimer);
    QTimer cpuProbe;
    cpuProbe.setTimerType(Qt::PreciseTimer);
    double lastCpu = 0;
    double worstCpu = 0;
    QObject::connect(&cpuProbe, &QTimer::timeout, [&] {
        const double now = threadCpuMs();
        worstCpu = std::max(worstCpu, now - lastCpu);
        lastCpu = now;
    });
    // Under valgrind --tool=callgrind --instr-atstart=no only the typing is
    // profiled, each of the two runs as its own part.
    CALLGRIND_START_INSTRUMENTATION;
    probe.start();
    lastCpu = threadCpuMs();
    cpuProbe.start(1);
    typist.start(40);
    check(waitFor([&] { return typed == text.size(); }, 20000), "typing did not finish");
    waitFor([] { return false; }, 200);
    probe.stop();
    cpuProbe.stop();
    CALLGRIND_STOP_INSTRUMENTATION;
    CALLGRIND_DUMP_STATS_AT(log ? "typing with history" : "typing without history");
    check(name.text() == text, "the Name field lost keystrokes");
    return {probe.stallMs(), worstCpu, shown};
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QStandardPaths::setTestModeEnabled(true);
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    prepareDisplay();
    QApplication app(argc, argv);
    try {
        QTemporaryDir dir;
        check(dir.isValid(), "no temporary folder");
        const QString path = dir.filePath(QStringLiteral("calls.sqlite"));
        {
            SqliteCallStore store(path);
            check(store.open(), "the log did not open");
            fill(store, 100000);
        }
        CallLog::Options options;
        options.path = path;
        options.retentionDays = 0;
        CallLog log(options);
        check(waitFor([&] { return log.state() == CallLog::Ready; }, 30000), "the log did not open");
        const double lookup = lookupMs(log);
        const Stall without = typingStall(nullptr);
        const Stall with = typingStall(&log);
        check(with.shown > 0, "no list was shown while typing");
        std::printf("history_lookup_ms: %.4g\n", lookup);
        std::printf("typing_stall_ms: %.4g\n", with.ms);
        std::printf("typing_list_shown: %d\n", with.shown);
        std::printf("typing_stall_without_history_ms: %.4g\n", without.ms);
        std::printf("typing_stall_cpu_ms: %.4g\n", with.cpuMs);
        std::printf("typing_stall_without_history_cpu_ms: %.4g\n", without.cpuMs);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "history: %s\n", e.what());
        return 1;
    }
    return 0;
}
