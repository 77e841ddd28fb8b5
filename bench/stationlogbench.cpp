// The station log's figures, on a private PostgreSQL server started for the
// run and on a SQLite file of the same size:
//   log_query_pg_ms        a text search as the log window makes it (newest
//                          2,000 rows and per-day totals) over 1,000,000
//                          calls on the server; median of 9.
//   log_query_1m_ms        the same search on a SQLite file of 1,000,000
//                          calls, with its trigram index.
//   log_write_stall_pg_ms  the longest stall of the event loop while a
//                          session logs 10,000 status changes to the server
//                          (20 every 2 ms over loopback); median of three.
// The calls are made by the databases themselves (a million through the
// store's own writes would take minutes): the same texts the log writes,
// folded as CallFold folds plain ASCII.
#include "bench/scenarios.h"
#include "bench/wait.h"

#include "calllog/calllog.h"
#include "calllog/pgcallstore.h"
#include "calllog/sqlitecallstore.h"
#include "ipc/ipcobject.h"
#include "sim/unitsimulator.h"
#include "tests/support/pgserver.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimer>

namespace {

const int kCalls = 1000000;
// A caller looked up by name: about 14,000 of the million calls match.
const char* const kSearch = "ada okafor";

// Runs statements on a connection of its own; throws on the first failure.
void run(QSqlDatabase db, const QStringList& statements)
{
    for (const QString& sql : statements) {
        QSqlQuery q(db);
        if (!q.exec(sql))
            throw std::runtime_error(qPrintable(QStringLiteral("%1: %2").arg(sql.left(60), q.lastError().text())));
    }
}

// Name, place, topic and notes of call i, as SQL over an integer i.
const char* const kTexts
    = "(ARRAY['Ada','Bert','Carla','Dev','Elsie','Frank','Gita','Hugo'])[1 + i % 8] || ' ' ||"
      " (ARRAY['Smith','Okafor','Novak','Haddad','Jensen','Moreau','Silva','Walsh','Ito'])[1 + i % 9]";
const char* const kPlace = "(ARRAY['Harbour Street','Northfield','Kingsbridge','The Mill','Old Town','Dockside',"
                           "'Quay'])[1 + i % 7]";
const char* const kTopic = "(ARRAY['Traffic on the ring road','Bin collections','Football results','Lost cat',"
                           "'Road works'])[1 + i % 5]";

double timeSearch(CallStore& store)
{
    CallFilter filter;
    filter.text = QString::fromLatin1(kSearch);
    std::vector<double> wall;
    for (int i = 0; i < 9; ++i) {
        QElapsedTimer clock;
        clock.start();
        const CallQueryResult result = store.query(filter, 2000);
        wall.push_back(double(clock.nsecsElapsed()) / 1e6);
        check(result.ok && result.matching > 0, "the search found nothing");
    }
    return median(wall);
}

double pgQuery(const testsupport::PgServer& server, const LogDatabase& station)
{
    {
        PgCallStore made(station);
        check(made.open(), "the station log did not open");
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("bench_fill"));
    db.setHostName(server.socketFolder());
    db.setPort(5432);
    db.setDatabaseName(station.database);
    db.setUserName(QStringLiteral("postgres"));
    check(db.open(), "no connection to fill the station log");
    const QString now = QString::number(QDateTime::currentMSecsSinceEpoch());
    run(db,
        {QStringLiteral("INSERT INTO calls (uid, unit, username, line, first_seen, answered, ended, last_seen,"
                        " wait_ms, total_ms, outcome, name, location, topic, folded)"
                        " SELECT 'bench-' || i, '10.0.0.' || (1 + i % 3) || ':8080', 'studio', i % 12, t, t,"
                        " t + interval '2 minutes', t + interval '2 minutes', i % 60000, 120000,"
                        " (ARRAY['missed','answered','aired'])[1 + i % 3], n, p, c,"
                        " lower(n || E'\\n' || p || E'\\n' || c || E'\\n')"
                        " FROM (SELECT i, timestamptz 'epoch' + (%1 - 7776000000 + i * 7776::bigint)"
                        " * interval '1 millisecond' AS t, %2 AS n, %3 AS p, %4 AS c"
                        " FROM generate_series(0, %5) AS i) AS s")
             .arg(now, QLatin1String(kTexts), QLatin1String(kPlace), QLatin1String(kTopic))
             .arg(kCalls - 1),
         QStringLiteral("VACUUM ANALYZE calls")});
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("bench_fill"));
    PgCallStore store(station);
    check(store.open() && store.hasSearchIndex(), "the station log has no search index");
    return timeSearch(store);
}

double sqliteQuery(const QString& path)
{
    {
        SqliteCallStore made(path);
        check(made.open() && made.hasSearchIndex(), "the file has no search index");
    }
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bench_fill"));
        db.setDatabaseName(path);
        check(db.open(), "the file did not open to be filled");
        QString texts = QString::fromLatin1(kTexts) + QLatin1Char('\n') + kPlace + QLatin1Char('\n') + kTopic;
        // The same made-up calls in SQLite's words: its arrays are JSON.
        texts.replace(QRegularExpression(QStringLiteral("\\(ARRAY\\[([^]]*)\\]\\)\\[1 \\+ i % (\\d)\\]")),
                      QStringLiteral("json_extract(json_array(\\1), '$[' || (i % \\2) || ']')"));
        const QStringList parts = texts.split(QLatin1Char('\n'));
        const QString now = QString::number(QDateTime::currentMSecsSinceEpoch());
        run(db,
            {QStringLiteral("WITH RECURSIVE s(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM s WHERE i < %1)"
                            " INSERT INTO calls (uid, unit, username, line, first_seen, answered, ended, last_seen,"
                            " wait_ms, total_ms, outcome, name, location, topic, folded)"
                            " SELECT 'bench-' || i, '10.0.0.' || (1 + i % 3) || ':8080', 'studio', i % 12, t, t,"
                            " t + 120000, t + 120000, i % 60000, 120000,"
                            " json_extract('[\"missed\",\"answered\",\"aired\"]', '$[' || (i % 3) || ']'),"
                            " n, p, c, lower(n || char(10) || p || char(10) || c || char(10))"
                            " FROM (SELECT i, %2 - 7776000000 + i * 7776 AS t, %3 AS n, %4 AS p, %5 AS c FROM s)")
                 .arg(kCalls - 1)
                 .arg(now, parts.at(0), parts.at(1), parts.at(2)),
             QStringLiteral("INSERT INTO calls_fold(calls_fold) VALUES ('rebuild')"), QStringLiteral("ANALYZE")});
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("bench_fill"));
    SqliteCallStore store(path);
    check(store.open(), "the file did not open");
    return timeSearch(store);
}

// The longest gap between two ticks of a 1 ms timer while the unit sends
// changes that the log writes to the server, beyond the timer's period.
double stallRound(const LogDatabase& station, const QString& outbox, int changes)
{
    CallLog::Options options;
    options.path = outbox;
    options.database = station;
    CallLog log(options);
    check(waitFor([&] { return log.state() == CallLog::Ready; }, 10000), "the station log did not open");
    UnitSimulator sim;
    check(sim.start(0), "simulated unit did not start");
    sim.setRecording(false);
    sim.setTickInterval(3600 * 1000);
    IPCObject session;
    log.attach(session, QStringLiteral("127.0.0.1:%1").arg(sim.port()));
    int received = 0;
    QObject::connect(&session, &IPCObject::recvLineStatus, [&] { ++received; });
    session.connectIPC(QStringLiteral("127.0.0.1"), sim.port(), QStringLiteral("tavrik"), QStringLiteral("bench"));
    check(waitFor([&] { return received >= 12; }, 10000), "the session did not log in");
    received = 0;
    static const char* const cycle[] = {"ringing", "on handset", "on hold", "on air", "on hook (idle)"};
    int sent = 0;
    QTimer sender;
    sender.setTimerType(Qt::PreciseTimer);
    QObject::connect(&sender, &QTimer::timeout, [&] {
        for (int i = 0; i < 20 && sent < changes; ++i, ++sent) {
            Message m;
            m.set_name("line_status");
            m.params().set_uint("line_id", unsigned(sent % 12));
            m.params().set_string("status", cycle[(sent / 12) % 5]);
            m.params().set_uint("time", 0);
            sim.sendMessage(m);
        }
        if (sent >= changes)
            sender.stop();
    });
    StallProbe probe(1, Qt::PreciseTimer);
    probe.start();
    sender.start(2);
    check(waitFor([&] { return received >= changes; }, 120000), "not every change arrived");
    probe.stop();
    bool done = false;
    const int ticket = log.flush();
    QObject::connect(&log, &CallLog::flushed, [&](int t) { done = done || t == ticket; });
    check(waitFor([&] { return done; }, 60000), "the log did not flush");
    check(!log.isOff() && log.statusText().isEmpty(), "the station log is not caught up");
    return probe.stallMs();
}

} // namespace

void runStationLog(Figures& out)
{
    testsupport::PgServer server;
    check(server.start(), "the private PostgreSQL server did not start");
    QTemporaryDir dir;
    std::vector<double> stalls;
    for (int round = 0; round < 3; ++round) {
        LogDatabase station;
        check(LogDatabase::parse(server.uri(server.createDatabase()), station), "no station URI");
        stalls.push_back(stallRound(station, dir.filePath(QStringLiteral("r%1/calls.sqlite").arg(round)), 10000));
    }
    out.emplace_back("log_write_stall_pg_ms", median(stalls));
    LogDatabase station;
    check(LogDatabase::parse(server.uri(server.createDatabase()), station), "no station URI");
    out.emplace_back("log_query_pg_ms", pgQuery(server, station));
    out.emplace_back("log_query_1m_ms", sqliteQuery(dir.filePath(QStringLiteral("million.sqlite"))));
}
