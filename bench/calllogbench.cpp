// The call log's two figures:
//   log_write_stall_ms  the longest stall of the event loop while a session
//                       logs 10,000 status changes (the unit sends them
//                       over loopback, in the same thread, 20 every 2 ms);
//                       median of three rounds. For comparison the same run
//                       without the log: log_write_stall_without_log_ms,
//                       and the processor time logging adds to the GUI
//                       thread per change: log_write_gui_us_per_change.
//   log_query_ms        a text search as the log window makes it (newest
//                       2,000 rows and per-day totals) over 100,000 calls;
//                       median of 15, and its CPU time (log_query_cpu_ms),
//                       which a busy machine does not inflate.
//                       log_query_short_ms searches a word of
//                       two letters (no index helps), log_query_all_ms
//                       totals every call with no search at all.
//   log_query_like_ms   the search of log_query_ms on the same file opened
//                       as where SQLite has no trigram tokenizer: the
//                       folded copy of every call read with LIKE.
#include "bench/scenarios.h"
#include "bench/wait.h"

#include "calllog/calllog.h"
#include "calllog/sqlitecallstore.h"
#include "ipc/ipcobject.h"
#include "sim/unitsimulator.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <random>
#include <stdexcept>
#include <utility>

#include <time.h>

namespace {

struct Stall
{
    double worstMs = 0;
    // Processor time of this (the GUI) thread while the changes came in.
    double cpuMs = 0;
};

// One round: the longest gap between two ticks of a 1 ms timer while the
// unit sends `changes` status changes, in ms beyond the timer's own period.
Stall stallRound(bool withLog, int changes)
{
    QTemporaryDir dir;
    check(dir.isValid(), "no temporary folder");
    std::unique_ptr<CallLog> log;
    if (withLog) {
        CallLog::Options options;
        options.path = dir.filePath(QStringLiteral("calls.sqlite"));
        log = std::make_unique<CallLog>(options);
        check(waitFor([&] { return log->state() == CallLog::Ready; }, 10000), "the log did not open");
    }

    UnitSimulator sim;
    check(sim.start(0), "simulated unit did not start");
    sim.setRecording(false);
    sim.setTickInterval(3600 * 1000);
    IPCObject session;
    if (log)
        log->attach(session, QStringLiteral("127.0.0.1:%1").arg(sim.port()));
    int received = 0;
    QObject::connect(&session, &IPCObject::recvLineStatus, [&] { ++received; });
    session.connectIPC(QStringLiteral("127.0.0.1"), sim.port(), QStringLiteral("tavrik"), QStringLiteral("bench"));
    check(waitFor([&] { return received >= 12; }, 10000), "the session did not log in");
    received = 0;

    // Each line goes round a whole call: ringing, handset, hold, air, idle.
    static const char* const cycle[] = {"ringing", "on handset", "on hold", "on air", "on hook (idle)"};
    int sent = 0;
    QTimer sender;
    sender.setTimerType(Qt::PreciseTimer);
    QObject::connect(&sender, &QTimer::timeout, [&] {
        for (int i = 0; i < 20 && sent < changes; ++i, ++sent) {
            const int line = sent % 12;
            const int step = (sent / 12) % 5;
            Message m;
            m.set_name("line_status");
            m.params().set_uint("line_id", unsigned(line));
            m.params().set_string("status", cycle[step]);
            m.params().set_uint("time", 0);
            sim.sendMessage(m);
        }
        if (sent >= changes)
            sender.stop();
    });

    StallProbe probe(1, Qt::PreciseTimer);
    const double cpu0 = threadCpuMs();
    probe.start();
    sender.start(2);
    check(waitFor([&] { return received >= changes; }, 120000), "not every change arrived");
    probe.stop();
    const double cpu = threadCpuMs() - cpu0;

    if (log) {
        bool done = false;
        const int ticket = log->flush();
        QObject::connect(log.get(), &CallLog::flushed, [&](int t) { done = done || t == ticket; });
        check(waitFor([&] { return done; }, 60000), "the log did not flush");
        check(!log->isOff(), "the log turned itself off");
    }
    return {probe.stallMs(), cpu};
}

// 100,000 made-up calls over 90 days.
void fill(CallStore& store, int count, qint64 now)
{
    static const char* const first[] = {"Ada",  "Bert", "Carla", "Dev",  "Elsie", "Frank", "Gita", "Hugo",
                                        "Ines", "Jon",  "Kemal", "Lena", "Mo",    "Nell",  "Omar", "Pia"};
    static const char* const last[] = {"Smith",  "Mackenzie", "Okafor",   "Novak",   "Haddad", "Jensen",
                                       "Moreau", "Silva",     "Kowalski", "Brennan", "Ito",    "Walsh"};
    static const char* const places[]
        = {"Harbour Street", "Northfield", "Kingsbridge", "The Mill", "Old Town", "Dockside", "Quay", "Fishmarket"};
    static const char* const topics[]
        = {"Traffic on the ring road", "Bin collections", "Football results", "Lost cat", "Road works",
           "Birthday request",         "Ferry times"};
    static const char* const notes[]
        = {"", "Called last week too", "Wants a call back", "Keep it short", "Regular caller", "Poor line"};
    std::mt19937 random(19);
    const auto pick
        = [&](auto& table) { return QString::fromLatin1(table[random() % (sizeof(table) / sizeof(table[0]))]); };
    const qint64 span = 90LL * 24 * 3600 * 1000;
    QVector<CallStore::Write> batch;
    for (int i = 0; i < count; ++i) {
        CallRecord r;
        r.uid = QStringLiteral("bench-%1").arg(i);
        r.unitKey = QStringLiteral("10.0.0.%1:8080").arg(1 + i % 3);
        r.username = QStringLiteral("studio");
        r.line = i % 12;
        r.firstSeen = now - span + qint64(i) * (span / count);
        r.waitMs = qint64(random() % 60000);
        r.answered = r.firstSeen + r.waitMs;
        r.ended = r.answered + 120000;
        r.lastSeen = r.ended;
        r.outcome = CallRecord::Outcome(1 + random() % 3);
        r.name = pick(first) + QLatin1Char(' ') + pick(last);
        r.location = pick(places);
        r.topic = pick(topics);
        r.notes = pick(notes);
        batch.append({r, true});
        if (batch.size() == 5000) {
            check(store.save(batch), "filling the log failed");
            batch.clear();
        }
    }
    check(store.save(batch), "filling the log failed");
}

// Median wall time and median CPU time of the search, in ms.
std::pair<double, double> timeQuery(CallStore& store, const QString& text, int runs)
{
    CallFilter filter;
    filter.text = text;
    std::vector<double> wall;
    std::vector<double> cpu;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer clock;
        const double cpu0 = threadCpuMs();
        clock.start();
        const CallQueryResult result = store.query(filter, 2000);
        wall.push_back(double(clock.nsecsElapsed()) / 1e6);
        cpu.push_back(threadCpuMs() - cpu0);
        check(result.ok && result.matching > 0, "the search found nothing");
    }
    return {median(wall), median(cpu)};
}

} // namespace

void runCallLog(Figures& out)
{
    // MIRT_BENCH_LOG_DIR keeps the searched file in that folder, and a
    // second run searches it again at once (for a profiler or sqlite3).
    const QString kept = qEnvironmentVariable("MIRT_BENCH_LOG_DIR");
    if (!kept.isEmpty() && QFile::exists(kept + QStringLiteral("/calls.sqlite"))) {
        SqliteCallStore store(kept + QStringLiteral("/calls.sqlite"));
        check(store.open(), "the kept log did not open");
        out.emplace_back("log_query_cpu_ms", timeQuery(store, QStringLiteral("ckenz"), 15).second);
        return;
    }
    const int changes = 10000;
    std::vector<double> with;
    std::vector<double> without;
    std::vector<double> extraCpu;
    for (int round = 0; round < 3; ++round) {
        const Stall bare = stallRound(false, changes);
        const Stall logged = stallRound(true, changes);
        without.push_back(bare.worstMs);
        with.push_back(logged.worstMs);
        extraCpu.push_back(logged.cpuMs - bare.cpuMs);
    }
    out.emplace_back("log_write_stall_ms", median(with));
    out.emplace_back("log_write_stall_without_log_ms", median(without));
    // What logging adds to the GUI thread's own work, per status change.
    out.emplace_back("log_write_gui_us_per_change", std::max(0.0, median(extraCpu)) * 1000.0 / changes);

    QTemporaryDir dir;
    check(dir.isValid(), "no temporary folder");
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const QString path
        = kept.isEmpty() ? dir.filePath(QStringLiteral("calls.sqlite")) : kept + QStringLiteral("/calls.sqlite");
    SqliteCallStore store(path);
    check(store.open(), "the log did not open");
    fill(store, 100000, now);
    const auto search = timeQuery(store, QStringLiteral("ckenz"), 15);
    out.emplace_back("log_query_ms", search.first);
    // The same without the waits of a busy machine.
    out.emplace_back("log_query_cpu_ms", search.second);
    out.emplace_back("log_query_short_ms", timeQuery(store, QStringLiteral("mo"), 15).first);
    out.emplace_back("log_query_all_ms", timeQuery(store, QString(), 15).first);
    store.close();

    SqliteCallStore::Options withoutIndex;
    withoutIndex.searchIndex = false;
    SqliteCallStore plain(path, withoutIndex);
    check(plain.open() && !plain.hasSearchIndex(), "the log did not open without its index");
    out.emplace_back("log_query_like_ms", timeQuery(plain, QStringLiteral("ckenz"), 15).first);
}
