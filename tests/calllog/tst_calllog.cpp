// The call log below the window: the records a scripted show leaves on a
// real SQLite file (two consoles of one unit over loopback, one of them
// dropping out mid-call), the rules of the recorder fed with hostile and
// unusual status messages, the exported CSV read back by an independent
// reader, a first-version file brought up to date, files that cannot be
// used, and retention.
#include "csvreader.h"

#include "calllog/calllog.h"
#include "calllog/callrecorder.h"
#include "calllog/pgcallstore.h"
#include "calllog/sqlitecallstore.h"
#include "calllog/waitingcalls.h"
#include "console/lines.h"
#include "ipc/ipcobject.h"
#include "sim/unitshow.h"
#include "sim/unitsimulator.h"
#include "tests/support/barrier.h"
#include "tests/support/files.h"
#include "tests/support/pgserver.h"
#include "tests/support/settings.h"
#include "tests/support/wait.h"

#include <QBuffer>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QGraphicsScene>
#include <QProcess>
#include <QSocketNotifier>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <csignal>
#include <memory>
#include <optional>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// 2024-03-05 10:00:00 UTC; show times are seconds after it.
const qint64 showStart = 1709632800000LL;
qint64 at(double seconds)
{
    return showStart + qint64(seconds * 1000);
}

using testsupport::modeOf;
using testsupport::readAll;
using testsupport::scaled;
using testsupport::waitFor;

QString secs(qint64 ms)
{
    return QString::number(double(ms) / 1000);
}

// A call in one line a table row can hold:
// "L<line> <first>-<ended> <outcome> w<wait> h<hold> a<air>" in seconds of
// the show, then " prio", " partial" and the caller's name (" #<size>" when
// it is long).
QString summary(const CallRecord& r)
{
    QString text = QStringLiteral("L%1 %2-%3 %4 w%5 h%6 a%7")
                       .arg(r.line)
                       .arg(secs(r.firstSeen - showStart))
                       .arg(r.isOpen() ? QStringLiteral("open") : secs(r.ended - showStart))
                       .arg(CallRecord::outcomeKey(r.outcome))
                       .arg(r.waitMs < 0 ? QStringLiteral("-") : secs(r.waitMs))
                       .arg(secs(r.holdMs))
                       .arg(secs(r.airMs));
    if (r.priority)
        text += QStringLiteral(" prio");
    if (r.partial)
        text += QStringLiteral(" partial");
    if (!r.name.isEmpty())
        text += r.name.size() > 20 ? QStringLiteral(" #%1").arg(r.name.size()) : QLatin1Char(' ') + r.name;
    // The total, when it is not the time between the moments (after a step
    // of the clock).
    if (r.totalMs != (r.isOpen() ? r.lastSeen : r.ended) - r.firstSeen)
        text += QStringLiteral(" t") + secs(r.totalMs);
    return text;
}

// The rest of a call: user|answered|first on air|location|topic|notes|gender|mood.
QString details(const CallRecord& r)
{
    const auto moment = [](qint64 ms) { return ms == 0 ? QStringLiteral("-") : secs(ms - showStart); };
    return QStringList{r.username, moment(r.answered), moment(r.firstOnAir), r.location, r.topic, r.notes, r.gender,
                       r.mood}
        .join(QLatin1Char('|'));
}

// The private PostgreSQL server of this program, started at first use, and
// a database of its own for each folder a row logs into.
testsupport::PgServer& pg()
{
    static testsupport::PgServer server;
    if (server.socketFolder().isEmpty() && !server.start())
        qFatal("no PostgreSQL server: %s", qPrintable(server.error()));
    return server;
}

LogDatabase stationFor(const QString& path)
{
    static QHash<QString, QString> databases;
    if (!databases.contains(path))
        databases.insert(path, pg().createDatabase());
    LogDatabase database;
    LogDatabase::parse(pg().uri(databases.value(path)), database);
    return database;
}

// A log on the file at path, or given a URI or station, on the server.
CallLog::Options optionsFor(const QString& path, CallRecorder::Clock clock = {}, bool station = false)
{
    CallLog::Options options;
    options.path = path;
    options.clock = std::move(clock);
    if (station)
        options.database = stationFor(path);
    else if (path.startsWith(QLatin1String("postgresql:")))
        LogDatabase::parse(path, options.database);
    return options;
}

// The log's answer to a search for every call, through its own worker;
// none when no answer came.
std::optional<CallQueryResult> queryAll(CallLog& log)
{
    std::optional<CallQueryResult> answer;
    const int ticket = log.query(CallFilter(), 100000);
    QMetaObject::Connection c
        = QObject::connect(&log, &CallLog::queryFinished, [&](int t, const CallQueryResult& result) {
              if (t == ticket)
                  answer = result;
          });
    waitFor([&] { return answer.has_value(); });
    QObject::disconnect(c);
    return answer;
}

QVector<CallRecord> allCalls(CallLog& log)
{
    return queryAll(log).value_or(CallQueryResult()).rows;
}

// Every call of the log, newest first, as summary() puts it.
QStringList summaries(CallLog& log)
{
    QStringList out;
    for (const CallRecord& r : allCalls(log))
        out << summary(r);
    return out;
}

bool flushed(CallLog& log)
{
    bool done = false;
    const int ticket = log.flush();
    QMetaObject::Connection c = QObject::connect(&log, &CallLog::flushed, [&](int t) { done = done || t == ticket; });
    const bool ok = waitFor([&] { return done; });
    QObject::disconnect(c);
    return ok;
}

QString uidsOf(const QVector<CallRecord>& rows)
{
    QStringList uids;
    for (const CallRecord& r : rows)
        uids << r.uid;
    uids.sort();
    return uids.join(QLatin1Char(' '));
}

// The uids of the calls a search finds in a store, sorted, and the count of
// matching calls when it says otherwise.
QString found(CallStore& store, const QString& text)
{
    CallFilter filter;
    filter.text = text;
    const CallQueryResult result = store.query(filter, 10);
    if (!result.ok)
        return QStringLiteral("failed: ") + store.errorText();
    const QString uids = uidsOf(result.rows);
    return result.matching == result.rows.size() ? uids : uids + QStringLiteral(" (%1 matching)").arg(result.matching);
}

std::unique_ptr<SqliteCallStore> openStore(const QString& path, bool index = true, const QString& owner = QString(),
                                           std::function<qint64()> leaseClock = {});

// The row's store: the file at path, or the database of path on the server.
std::unique_ptr<CallStore> openOn(bool station, const QString& path, const QString& owner = QString(),
                                  std::function<qint64()> leaseClock = {})
{
    if (!station)
        return openStore(path, true, owner, std::move(leaseClock));
    PgCallStore::Options options;
    options.owner = owner;
    options.leaseClock = std::move(leaseClock);
    auto store = std::make_unique<PgCallStore>(stationFor(path), options);
    if (store->open())
        return store;
    qWarning("%s", qPrintable(store->errorText()));
    return nullptr;
}

std::unique_ptr<SqliteCallStore> openStore(const QString& path, bool index, const QString& owner,
                                           std::function<qint64()> leaseClock)
{
    SqliteCallStore::Options options;
    options.searchIndex = index;
    options.owner = owner;
    options.leaseClock = std::move(leaseClock);
    auto store = std::make_unique<SqliteCallStore>(path, options);
    if (store->open())
        return store;
    qWarning("%s", qPrintable(store->errorText()));
    return nullptr;
}

// A call of a minute, answered and over.
CallRecord call(const QString& uid, const QString& name, qint64 firstSeen)
{
    CallRecord r;
    r.uid = uid;
    r.name = name;
    r.unitKey = QStringLiteral("unit:1");
    r.firstSeen = firstSeen;
    r.lastSeen = r.ended = firstSeen + 60000;
    r.totalMs = 60000;
    r.outcome = CallRecord::Answered;
    return r;
}

bool saved(CallStore& store, const QVector<CallRecord>& calls)
{
    QVector<CallStore::Write> batch;
    for (const CallRecord& r : calls)
        batch.append({r, true});
    return store.save(batch);
}

// The names of the tables, indexes and triggers of a log file.
QStringList schemaObjects(const QString& path)
{
    QStringList names;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("schema"));
        db.setDatabaseName(path);
        QSqlQuery q(db);
        if (db.open() && q.exec(QStringLiteral("SELECT name FROM sqlite_master")))
            while (q.next())
                names << q.value(0).toString();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("schema"));
    return names;
}

// Another program's connection, holding the file in a write transaction
// until released.
struct Lock
{
    explicit Lock(const QString& path)
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("lock"));
        db.setDatabaseName(path);
        held = db.open() && QSqlQuery(db).exec(QStringLiteral("BEGIN EXCLUSIVE"));
    }
    ~Lock() { release(); }
    void release()
    {
        if (!QSqlDatabase::contains(QStringLiteral("lock")))
            return;
        QSqlQuery(QSqlDatabase::database(QStringLiteral("lock"))).exec(QStringLiteral("ROLLBACK"));
        QSqlDatabase::removeDatabase(QStringLiteral("lock"));
    }
    bool held = false;
};

// How far the time of day has stepped away from the show's clock.
qint64 clockStep = 0;

// Feeds a session what a unit would report, from a tiny script of steps
// separated by ";":
//   @S            the clock is now S seconds into the show
//   jump S        the time of day steps S seconds (clockStep)
//   tick          a "timer_tick"
//   ready         the session logs in and hears every line is idle
//   join          the session logs in; the lines follow in later steps
//   down          the session is lost
//   L<n> <status>[ time=<s>][ prio]   a "line_status" (words may have spaces)
//   I<n> <name>   an "ancillary_data" with that name ("-": blank, "#n": n letters)
// False on a step it does not know.
bool play(IPCObject& session, qint64& now, const QString& script)
{
    const QRegularExpression lineStep(QStringLiteral("^L(\\S+) (.+?)(?: time=(\\d+))?( prio)?$"));
    const QRegularExpression infoStep(QStringLiteral("^I(\\S+) (.*)$"));
    for (QString step : script.split(QLatin1Char(';'))) {
        step = step.trimmed();
        QRegularExpressionMatch match;
        Message m;
        if (step.startsWith(QLatin1Char('@'))) {
            now = at(step.mid(1).toDouble());
        } else if (step.startsWith(QLatin1String("jump "))) {
            clockStep += qint64(step.mid(5).toDouble() * 1000);
        } else if (step == QLatin1String("tick")) {
            m.set_name("timer_tick");
            session.rx_message(m);
        } else if (step == QLatin1String("ready") || step == QLatin1String("join")) {
            session.setState(IPCObject::IPC_READY);
            for (int line = 0; step == QLatin1String("ready") && line < 12; ++line)
                play(session, now, QStringLiteral("L%1 on hook (idle)").arg(line));
        } else if (step == QLatin1String("down")) {
            session.setState(IPCObject::IPC_DISCONNECTED);
        } else if ((match = lineStep.match(step)).hasMatch()) {
            m.set_name("line_status");
            m.params().set_qstring("line_id", match.captured(1));
            m.params().set_qstring("status", match.captured(2));
            if (!match.captured(3).isEmpty())
                m.params().set_qstring("time", match.captured(3));
            if (!match.captured(4).isEmpty())
                m.params().set_bool("priority", true);
            session.rx_message(m);
        } else if ((match = infoStep.match(step)).hasMatch()) {
            QString name = match.captured(2);
            if (name == QLatin1String("-"))
                name.clear();
            else if (name.startsWith(QLatin1Char('#')))
                name = QString(name.mid(1).toInt(), QLatin1Char('x'));
            m.set_name("ancillary_data");
            m.params().set_qstring("line_id", match.captured(1));
            m.params().set_qstring("name", name);
            session.rx_message(m);
        } else {
            qWarning("bad step %s", qPrintable(step));
            return false;
        }
    }
    return true;
}

// One console as the program has it, as far as the log is concerned: a
// session and the line model that reacts to it (and wipes the caller
// information of ringing and idle lines, as real consoles do).
struct Console
{
    QString user;
    IPCObject session;
    QGraphicsScene scene{0, 0, 1024, 768};
    Lines lines{scene, session};
};

// A simulated unit with consoles logged in, a call log on a file in a
// temporary folder, and a clock the test sets.
struct ShowRig
{
    bool start()
    {
        CallLog::Options options
            = optionsFor(dir.filePath(QStringLiteral("data/calls.sqlite")), [this] { return now; });
        options.batchMs = 5;
        log = std::make_unique<CallLog>(options);
        if (!dir.isValid() || !sim.start(0))
            return false;
        // The unit's clock is the show's: ticked as the show goes on.
        sim.setTickInterval(3600 * 1000);
        sim.setRingTimeout(3600);
        key = QStringLiteral("127.0.0.1:%1").arg(sim.port());
        return waitFor([this] { return log->state() == CallLog::Ready; });
    }

    void add(const char* user)
    {
        consoles.push_back(std::make_unique<Console>());
        consoles.back()->user = QLatin1String(user);
        log->attach(consoles.back()->session, key);
    }

    bool connect(Console& c)
    {
        c.session.connectIPC(QStringLiteral("127.0.0.1"), sim.port(), QStringLiteral("tavrik"), c.user);
        return waitFor([&] { return c.session.getState() == IPCObject::IPC_READY; }) && settle();
    }

    // Plays a show, one step after the other, each settled before the next:
    // "<seconds> <what> <line>", where what is "ring" or "notes" with the
    // caller's details after the line ("name|location|topic", the notes add
    // "|notes|gender|mood" by number), "busy" (busied out at the unit), an
    // action of the staff, or "off"/"on" with the number of a console
    // instead of a line.
    bool play(const QString& script)
    {
        using S = ShowStep;
        const QHash<QString, S::Action> actions = {
            {"answer", S::Answer}, {"hold", S::Hold}, {"screen", S::ScreenedHold}, {"air", S::Air}, {"lock", S::Lock},
            {"prio", S::Priority}, {"drop", S::Drop}};
        for (QString step : script.split(QLatin1Char(';'))) {
            step = step.trimmed();
            const qint64 ms = step.section(QLatin1Char(' '), 0, 0).toLongLong() * 1000;
            const QString what = step.section(QLatin1Char(' '), 1, 1);
            const unsigned n = step.section(QLatin1Char(' '), 2, 2).toUInt();
            const QStringList info = step.section(QLatin1Char(' '), 3).split(QLatin1Char('|'));
            for (; ticked < ms / 1000; ++ticked)
                sim.tick();
            now = showStart + ms;
            if (what == QLatin1String("ring")) {
                UnitShow::apply(sim, S::ring(ms, n, info.value(0), info.value(1), info.value(2)));
            } else if (what == QLatin1String("notes")) {
                UnitShow::apply(sim,
                                S::notes(ms, n, info.value(0), info.value(1), info.value(2), info.value(3),
                                         info.value(4).toUInt(), info.value(5).toUInt()));
            } else if (what == QLatin1String("busy")) {
                sim.setLineState(n, QStringLiteral("disabled (busied out)"));
            } else if (what == QLatin1String("off")) {
                consoles.at(n)->session.disconnectIPC();
                const auto ready = std::count_if(consoles.begin(), consoles.end(), [](const auto& c) {
                    return c->session.getState() == IPCObject::IPC_READY;
                });
                if (!waitFor([&] { return sim.loggedInCount() == ready; }))
                    return false;
            } else if (what == QLatin1String("on")) {
                if (!connect(*consoles.at(n)))
                    return false;
            } else if (actions.contains(what)) {
                UnitShow::apply(sim, S::act(ms, n, actions.value(what)));
            } else {
                qWarning("bad step %s", qPrintable(step));
                return false;
            }
            if (!settle())
                return false;
        }
        return true;
    }

    // Everything the unit sent has been handled by every console, and so has
    // everything the consoles sent in answer and the unit's answers to that:
    // the first pass hands every console what the unit sent, the second
    // brings their answers to the unit, the third the unit's answers back.
    bool settle()
    {
        for (int pass = 0; pass < 3; ++pass)
            for (const auto& c : consoles)
                if (c->session.getState() == IPCObject::IPC_READY && !testsupport::roundTrip(c->session, sim))
                    return false;
        return true;
    }

    QTemporaryDir dir;
    qint64 now = showStart;
    qint64 ticked = 0;
    std::unique_ptr<CallLog> log;
    UnitSimulator sim;
    QString key;
    std::vector<std::unique_ptr<Console>> consoles;
};

} // namespace

class TestCallLog : public QObject
{
    Q_OBJECT

    // The scripted show runs once; each row of showRecords checks one call.
    QVector<CallRecord> m_show;
    QString m_showKey;

    // A fresh folder for each test function and row, and the log's file in it.
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;

private slots:
    void initTestCase()
    {
        testsupport::isolateSettings();

        ShowRig rig;
        QVERIFY(rig.start());
        m_showKey = rig.key;
        rig.add("studio");
        rig.add("screener");
        QVERIFY(rig.play(QString::fromUtf8(
            // Before any console looks: line 8 has a caller on hold already.
            "0 ring 7 Walter|Dockside|Parking; 0 hold 7; 0 on 0; 0 on 1; "
            "10 ring 0 Mia|Leeds|Weather; 20 ring 1 Zoë Müller|Köln|Traffic; 20 air 7; 27 answer 1; 30 drop 0; "
            "35 notes 1 Zoë Müller|Köln, Ehrenfeld|Traffic on the \"A1\"|Called at 9:58,\nagain now|2|4; "
            "40 ring 2 Bob|Leeds|Bins; 45 answer 2; 45 drop 7; 50 ring 3 Ana|Quay|Music; 50 hold 2; 60 drop 1; "
            "62 air 3; 63 lock 3; 70 ring 4 Priya|Kingsbridge|Allotments; 71 prio 4; 75 screen 4; 80 air 2; "
            "80 ring 5 Omar|Northfield|Football; 85 answer 5; 90 ring 6 Kim|Harbour|Ferries; 90 hold 5; "
            "95 air 4; 95 answer 6; "
            // A busied-out line is no call.
            "96 busy 8; 97 drop 8; "
            // The first console goes; the second carries on.
            "100 off 0; 105 air 5; 110 ring 9 Hugo|Old Town|Trains; 110 drop 2; "
            // Then the second goes too: nobody sees the unit for a while.
            "115 off 1; 120 drop 3; 125 hold 5; 125 drop 6; 130 drop 4; "
            // Back: the calls still going on go on; the one that ended is over.
            "140 on 0; 145 answer 9; 150 on 1; 160 drop 5; 170 ring 8 Lena|Fishmarket|Gulls; 172 answer 8; "
            "180 drop 8; 190 drop 9")));

        // Every call is over; two consoles watched the show, and each line
        // still has one record per call (showRecords).
        QCOMPARE(rig.log->recorder(rig.key)->openCalls().size(), 0);
        QVERIFY(flushed(*rig.log));
        m_show = allCalls(*rig.log);
        QVERIFY2(!rig.log->isOff(), qPrintable(rig.log->statusText()));
    }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_path = m_dir->filePath(QStringLiteral("calls.sqlite"));
    }

    void showRecords_data()
    {
        QTest::addColumn<QString>("call");
        QTest::addColumn<QString>("rest");
        const char* const rows[][3] = {
            {"missed", "L0 10-30 missed w- h0 a0", "studio|-|-|||||"},
            {"answered, notes typed, dropped", "L1 20-60 answered w7 h0 a0 Zoë Müller",
             "studio|27|-|Köln, Ehrenfeld|Traffic on the \"A1\"|Called at 9:58,\nagain now|female|angry"},
            {"held then aired", "L2 40-110 aired w5 h30 a30 Bob", "studio|45|80|Leeds|Bins||unknown|neutral"},
            {"aired with lock, dropped unseen", "L3 50-115 aired w12 h0 a53 partial Ana",
             "studio|-|62|Quay|Music||unknown|neutral"},
            {"priority, aired, dropped unseen", "L4 70-115 aired w5 h20 a20 prio partial Priya",
             "studio|-|95|Kingsbridge|Allotments||unknown|neutral"},
            // Off the air and held while nobody looked: the same caller
            // after the gap, held for as long as the unit says.
            {"through both consoles dropping out", "L5 80-160 aired w5 h50 a10 Omar",
             "studio|85|105|Northfield|Football||unknown|neutral"},
            {"ended while nobody looked", "L6 90-115 answered w5 h0 a0 partial Kim",
             "studio|95|-|Harbour|Ferries||unknown|neutral"},
            {"in progress at first sight", "L7 0-45 aired w- h20 a25 partial Walter",
             "studio|-|20|Dockside|Parking||unknown|neutral"},
            {"after a busied-out spell", "L8 170-180 answered w2 h0 a0 Lena",
             "studio|172|-|Fishmarket|Gulls||unknown|neutral"},
            {"ringing through the gap", "L9 110-190 answered w35 h0 a0 Hugo",
             "screener|145|-|Old Town|Trains||unknown|neutral"},
        };
        for (const auto& row : rows)
            QTest::newRow(row[0]) << QString::fromUtf8(row[1]) << QString::fromUtf8(row[2]);
    }

    void showRecords()
    {
        QFETCH(QString, call);
        QFETCH(QString, rest);
        const int line = call.section(QLatin1Char(' '), 0, 0).mid(1).toInt();
        QVector<CallRecord> onLine;
        for (const CallRecord& r : qAsConst(m_show))
            if (r.line == line)
                onLine << r;
        QCOMPARE(onLine.size(), 1);
        QCOMPARE(onLine.first().unitKey, m_showKey);
        QCOMPARE(summary(onLine.first()), call);
        QCOMPARE(details(onLine.first()), rest);
    }

    // The script is what one session reports (see play()); the result lists
    // every record the recorder reported last, one per call. A call in
    // progress at first sight, and one found idle after a gap: showRecords.
    void recorderRules_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("calls");
        const char* const rows[][3] = {
            {"missed", "ready; @5; L0 ringing; @25; L0 on hook (idle)", "L0 5-25 missed w- h0 a0"},
            {"busied out is no call",
             "ready; L0 disabled (busied out); @9; L0 on hook (idle); L1 not installed; L2 disabled (loop thru)", ""},
            {"an unknown word keeps the call, uncounted",
             "ready; L0 ringing; @5; L0 conference; @10; L0 on hold; @20; L0 on hook (idle)",
             "L0 0-20 answered w10 h10 a0"},
            {"an unknown word opens nothing", "ready; L0 conference; @5; L0 on hook (idle)", ""},
            {"remote states count as taken and aired",
             "ready; L3 ringing; @4; L3 remote (on handset); @6; L3 remote (on hold); @10; L3 remote (on air); @30; "
             "L3 on hook (idle)",
             "L3 0-30 aired w4 h4 a20"},
            {"taken straight from idle waits nothing", "ready; L1 on handset; @3; L1 on hook (idle)",
             "L1 0-3 answered w0 h0 a0"},
            {"priority at any moment", "ready; L0 ringing; @2; L0 ringing prio; @3; L0 ringing; @4; L0 on hook (idle)",
             "L0 0-4 missed w- h0 a0 prio"},
            // After a gap: the same call only when the unit's word shows it.
            {"back in the same state, as long as it showed plus the time away",
             "ready; L0 ringing; @10; L0 on hold; I0 Ann; @20; down; @50; join; L0 on hold time=40; I0 Anna Berg; "
             "@60; L0 on hook (idle)",
             "L0 0-60 answered w10 h50 a0 Anna Berg"},
            {"ended, and another caller held meanwhile: two calls, each with its caller",
             "ready; L0 ringing; @10; L0 on hold; I0 Ann; @20; down; @50; join; L0 on hold time=5; I0 Bob; @60; "
             "L0 on hook (idle)",
             "L0 0-20 answered w10 h10 a0 partial Ann; L0 50-60 answered w- h10 a0 partial Bob"},
            {"the same state with too short a time and no name: two calls",
             "ready; L0 ringing; @10; L0 on hold; @20; down; @50; join; L0 on hold time=5; I0 -; @60; "
             "L0 on hook (idle)",
             "L0 0-20 answered w10 h10 a0 partial; L0 50-60 answered w- h10 a0 partial"},
            {"a new call with no name yet",
             "ready; L0 ringing; @10; L0 on hold; I0 Ann; @20; down; @50; join; L0 ringing time=2; I0 -; @55; "
             "L0 on hook (idle)",
             "L0 0-20 answered w10 h10 a0 partial Ann; L0 50-55 missed w- h0 a0 partial"},
            {"the same name, the state entered again a short time ago",
             "ready; L0 ringing; @10; L0 on hold; I0 Ann; @20; down; @50; join; L0 on hold time=5; I0 Ann; @60; "
             "L0 on hook (idle)",
             "L0 0-60 answered w10 h25 a0 Ann"},
            {"the same name, held after being on air",
             "ready; L0 ringing; @10; L0 on air; I0 Ann; @20; down; @50; join; L0 on hold time=3; I0 Ann; @60; "
             "L0 on hook (idle)",
             "L0 0-60 aired w10 h13 a10 Ann"},
            {"a second report before the caller information: the first decides",
             "ready; L0 ringing; @10; L0 on hold; I0 Ann; @20; down; @50; join; L0 on hold time=40; @55; "
             "L0 on hook (idle)",
             "L0 0-55 answered w10 h45 a0 Ann"},
            {"no caller information at all: decided on the status after a while",
             "ready; L0 ringing; @10; L0 on hold; I0 Ann; @20; down; @50; join; L0 on hold time=40",
             "L0 0-open answered w10 h10 a0 Ann"},
            {"a hostile time cannot reach before the gap",
             "ready; L0 ringing; @10; L0 on air; @20; down; @50; join; L0 on air time=4294967295; @60; "
             "L0 on hook (idle)",
             "L0 0-60 aired w10 h0 a50"},
            // Shown for 5 s by the unit's ticks, whatever the time of day did.
            {"the time shown is counted in the unit's ticks",
             "ready; L0 ringing; @10; L0 on hold; @20; tick; tick; tick; tick; tick; down; @50; join; "
             "L0 on hold time=34; I0 -; @60; L0 on hook (idle)",
             "L0 0-60 answered w10 h50 a0"},
            {"a step of the clock during a hold changes no time",
             "ready; L0 ringing; @10; L0 on hold; @20; jump 3600; @40; L0 on hook (idle)",
             "L0 0-3640 answered w10 h30 a0 t40"},
            {"a wipe while ringing keeps the name, a cleared editor does not",
             "ready; L0 ringing; @1; L0 on hold; I0 Ann; @2; L0 remote (on hold); I0 -; @3; L0 on hook (idle)",
             "L0 0-3 answered w1 h2 a0 Ann"},
            {"typed away on a held line", "ready; L0 ringing; @1; L0 on hold; I0 Ann; I0 -; @3; L0 on hook (idle)",
             "L0 0-3 answered w1 h2 a0"},
            {"caller information after the end is no news",
             "ready; L0 ringing; @1; L0 on handset; I0 Ann; @3; L0 on hook (idle); I0 Bob",
             "L0 0-3 answered w1 h0 a0 Ann"},
            {"an overlong name is cut", "ready; L0 on hold; I0 #5000; @1; L0 on hook (idle)",
             "L0 0-1 answered w0 h1 a0 #1000"},
            {"a call still on when the program stops", "ready; L0 ringing; @3; L0 on air", "L0 0-open aired w3 h0 a0"},
        };
        for (const auto& row : rows)
            QTest::newRow(row[0]) << QString::fromUtf8(row[1]) << QString::fromUtf8(row[2]);
    }

    void recorderRules()
    {
        QFETCH(QString, script);
        QFETCH(QString, calls);

        qint64 now = showStart;
        clockStep = 0;
        // The time of day may step; durations follow the show's own clock.
        CallRecorder recorder(
            QStringLiteral("unit:1"), [&] { return now + clockStep; }, [&] { return now; });
        IPCObject session;
        recorder.attach(&session);
        QMap<QString, CallRecord> latest;
        QStringList order;
        connect(&recorder, &CallRecorder::recordChanged, [&](const CallRecord& r) {
            if (!latest.contains(r.uid))
                order << r.uid;
            latest.insert(r.uid, r);
        });
        QVERIFY(play(session, now, script));

        // A line left undecided is decided a little later.
        const auto seen = [&] {
            QStringList out;
            for (const QString& uid : qAsConst(order))
                out << summary(latest.value(uid));
            return out.join(QStringLiteral("; "));
        };
        waitFor([&] { return seen() == calls; }, CallRecorder::DecideMs * 2);
        QCOMPARE(seen(), calls);
    }

    void csvRoundTrip_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("CRLF and a lone CR") << QStringLiteral("one\r\ntwo\rthree");
        QTest::newRow("spaces kept") << QStringLiteral("  padded  ");
        QTest::newRow("empty") << QString();
        QTest::newRow("everything") << QStringLiteral("\"Ünïcødé\",\r\n\"quoted\"\n,");
    }

    void csvRoundTrip()
    {
        QFETCH(QString, text);
        SqliteCallStore store(m_path);
        QVERIFY2(store.open(), qPrintable(store.errorText()));

        CallRecord r;
        r.uid = QStringLiteral("csv-1");
        r.unitKey = QStringLiteral("10.0.0.5:8080");
        r.username = r.name = r.location = r.topic = r.notes = text;
        r.line = 11;
        r.firstSeen = at(0.4);
        r.answered = at(12);
        r.firstOnAir = at(40);
        r.lastSeen = r.ended = at(100);
        r.waitMs = 11600;
        r.holdMs = 20400;
        r.airMs = 59999;
        r.totalMs = r.ended - r.firstSeen;
        r.outcome = CallRecord::Aired;
        r.priority = true;
        r.gender = QStringLiteral("female");
        r.mood = QStringLiteral("happy");
        QVERIFY(store.save({{r, true}}));

        QBuffer out;
        out.open(QIODevice::WriteOnly);
        int rows = 0;
        QVERIFY(store.exportCsv(CallFilter(), out, &rows));
        QCOMPARE(rows, 1);

        const CsvReadResult csv = readCsv(out.data());
        QVERIFY2(csv.ok, qPrintable(csv.error));
        QCOMPARE(csv.records.size(), 2);
        const QStringList header = csv.records.at(0);
        const QStringList row = csv.records.at(1);
        const auto field = [&](const char* name) {
            const int i = header.indexOf(QLatin1String(name));
            return i < 0 ? QStringLiteral("<no column %1>").arg(QLatin1String(name)) : row.at(i);
        };
        // Durations in whole seconds, rounded; the line as people count it.
        const std::pair<const char*, QString> expected[] = {
            {"User", text},       {"Name", text},       {"Location", text},   {"Topic", text},    {"Notes", text},
            {"Unit", r.unitKey},  {"Line", "12"},       {"Outcome", "aired"}, {"Wait (s)", "12"}, {"On hold (s)", "20"},
            {"On air (s)", "60"}, {"Total (s)", "100"}, {"Priority", "yes"},  {"Partial", "no"}};
        for (const auto& [column, value] : expected)
            QCOMPARE(field(column), value);
        // Local times with their offset that name the same instants.
        const QRegularExpression iso(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d[+-]\\d\\d:\\d\\d$"));
        const std::pair<const char*, qint64> times[]
            = {{"First seen", at(0)}, {"Answered", at(12)}, {"First on air", at(40)}, {"Ended", at(100)}};
        for (const auto& [column, ms] : times) {
            QVERIFY2(iso.match(field(column)).hasMatch(), qPrintable(field(column)));
            QCOMPARE(QDateTime::fromString(field(column), Qt::ISODate).toMSecsSinceEpoch(), ms);
        }
    }

    // A file of each earlier version, written by hand as that version left
    // it, is brought up to date: calls kept, searchable through the new
    // folded copy, and the triggers of version 2 (which called the index
    // and so stopped a SQLite without it from writing) gone.
    void migratesEarlierVersions_data()
    {
        QTest::addColumn<int>("version");
        QTest::newRow("version 1") << 1;
        QTest::newRow("version 2, with its trigram triggers") << 2;
    }

    void migratesEarlierVersions()
    {
        QFETCH(int, version);
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("old"));
            db.setDatabaseName(m_path);
            QVERIFY(db.open());
            QSqlQuery q(db);
            QStringList sql
                = {"CREATE TABLE calls (id INTEGER PRIMARY KEY, uid TEXT NOT NULL UNIQUE, unit TEXT NOT NULL,"
                   " username TEXT NOT NULL DEFAULT '', line INTEGER NOT NULL, first_seen INTEGER NOT NULL,"
                   " answered INTEGER, first_on_air INTEGER, ended INTEGER, last_seen INTEGER NOT NULL,"
                   " hold_ms INTEGER NOT NULL DEFAULT 0, air_ms INTEGER NOT NULL DEFAULT 0, wait_ms INTEGER,"
                   " outcome TEXT, priority INTEGER NOT NULL DEFAULT 0, partial INTEGER NOT NULL DEFAULT 0,"
                   " name TEXT NOT NULL DEFAULT '', location TEXT NOT NULL DEFAULT '', topic TEXT NOT NULL DEFAULT '',"
                   " notes TEXT NOT NULL DEFAULT '', gender TEXT NOT NULL DEFAULT '', mood TEXT NOT NULL DEFAULT '')",
                   "CREATE INDEX calls_by_time ON calls(first_seen)",
                   "CREATE INDEX calls_by_unit ON calls(unit, first_seen)",
                   "INSERT INTO calls VALUES (1, 'old-1', 'unit:1', 'studio', 2, 1709632800000, 1709632805000, NULL,"
                   " 1709632860000, 1709632860000, 10000, 0, 5000, 'answered', 1, 0, 'Grétchen', 'Ehrenfeld',"
                   " 'Potholes', 'Wants a call back', 'female', 'sad')",
                   "INSERT INTO calls VALUES (2, 'old-2', 'unit:1', 'studio', 3, 1709632900000, NULL, NULL,"
                   " 1709632920000, 1709632920000, 0, 0, NULL, 'missed', 0, 0, '', '', '', '', '', '')"};
            if (version == 2)
                sql << "CREATE VIRTUAL TABLE calls_search USING fts5(name, location, topic, notes,"
                       " content='calls', content_rowid='id', tokenize='trigram')"
                    << "CREATE TRIGGER calls_search_insert AFTER INSERT ON calls BEGIN"
                       " INSERT INTO calls_search(rowid, name, location, topic, notes)"
                       " VALUES (new.id, new.name, new.location, new.topic, new.notes); END"
                    << "INSERT INTO calls_search(calls_search) VALUES ('rebuild')";
            sql << QStringLiteral("PRAGMA user_version = %1").arg(version);
            for (const QString& statement : qAsConst(sql))
                QVERIFY2(q.exec(statement), qPrintable(q.lastError().text()));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("old"));

        SqliteCallStore store(m_path);
        QVERIFY2(store.open(), qPrintable(store.errorText()));
        QCOMPARE(store.schemaVersion(), SqliteCallStore::SchemaVersion);
        const CallQueryResult result = store.query(CallFilter{"gretch ehrenf", {}, -1, 0, 0}, 10);
        QVERIFY(result.ok);
        QCOMPARE(result.rows.size(), 1);
        QCOMPARE(summary(result.rows.first()), QStringLiteral("L2 0-60 answered w5 h10 a0 prio Grétchen"));
        QCOMPARE(result.rows.first().totalMs, qint64(60000));
        QCOMPARE(details(result.rows.first()),
                 QStringLiteral("studio|5|-|Ehrenfeld|Potholes|Wants a call back|female|sad"));

        // New and changed calls are found, and no longer by what they said.
        CallRecord changed = result.rows.first();
        changed.notes = QStringLiteral("Called back on Friday");
        QVERIFY(store.save({{changed, false}}));
        QVERIFY(saved(store, {call("new-1", "Ludwig", at(3))}));
        QCOMPARE(found(store, QStringLiteral("udwi")), QStringLiteral("new-1"));
        QCOMPARE(found(store, QStringLiteral("friday")), QStringLiteral("old-1"));
        QCOMPARE(found(store, QStringLiteral("wants")), QString());
        store.close();
        QVERIFY(store.open());
        QCOMPARE(found(store, QString()), QStringLiteral("new-1 old-1 old-2"));
        QCOMPARE(schemaObjects(m_path).filter(QStringLiteral("calls_search")), QStringList());
    }

    // What the log does with a file it cannot use as it is: only a
    // read-only log or one of a newer version turns it off; a damaged one
    // is kept aside and a new one started; one that cannot be opened yet is
    // tried again, the calls waiting. The consoles go on regardless.
    void unusableFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("status");
        QTest::addColumn<int>("calls"); // in the log at the end
        QTest::newRow("damaged") << "damaged"
                                 << "The call log %1 was damaged. It was kept as %2, and a new call log was started."
                                 << 1;
        QTest::newRow("read-only (0444)") << "read-only"
                                          << "The call log is off: %1 is read-only. Calls are not being recorded;"
                                             " the consoles work as usual."
                                          << 0;
        QTest::newRow("from a newer program")
            << "newer"
            << "The call log is off: %1 was written by a newer version of this program. Calls are not being"
               " recorded; the consoles work as usual."
            << 0;
        QTest::newRow("a folder in its place") << "folder"
                                               << "The call log is behind: 1 call waiting (%1 cannot be opened (it is"
                                                  " a folder))"
                                               << 0;
    }

    void unusableFile()
    {
        QFETCH(QString, kind);
        QFETCH(QString, status);
        QFETCH(int, calls);

        const QString& path = m_path;
        if (kind == QLatin1String("damaged")) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(8192, '\x5a'));
        } else if (kind == QLatin1String("folder")) {
            QVERIFY(QDir().mkpath(path));
        } else {
            QVERIFY(openStore(path));
            if (kind == QLatin1String("newer")) {
                QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("newer"));
                db.setDatabaseName(path);
                QVERIFY(db.open() && QSqlQuery(db).exec(QStringLiteral("PRAGMA user_version = 99")));
                db.close();
            } else {
                QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
            }
            QSqlDatabase::removeDatabase(QStringLiteral("newer"));
        }
        const QByteArray before = readAll(path);
        const int modeBefore = modeOf(path);

        QStringList messages;
        qint64 now = at(0);
        {
            CallLog::Options options = optionsFor(path, [&] { return now; });
            options.busyTimeoutMs = 200;
            CallLog log(options);
            connect(&log, &CallLog::statusChanged, [&](const QString& text) { messages << text; });
            QVERIFY(waitFor([&] { return !messages.isEmpty(); }));

            // The recorder goes on as if nothing happened.
            IPCObject session;
            log.attach(session, QStringLiteral("unit"));
            QVERIFY(play(session, now, QStringLiteral("ready; L3 ringing; I3 Nell")));
            QCOMPARE(log.recorder(QStringLiteral("unit"))->openCalls().size(), 1);
            QVERIFY(
                waitFor([&] { return !log.statusText().isEmpty() && (kind != "folder" || log.behindCalls() == 1); }));

            QString aside;
            for (const QString& name : QDir(m_dir->path()).entryList({"calls.damaged-*.sqlite"}))
                aside = m_dir->filePath(name);
            QCOMPARE(log.statusText(),
                     status.replace(QLatin1String("%1"), QDir::toNativeSeparators(path))
                         .replace(QLatin1String("%2"), QDir::toNativeSeparators(aside)));
            QCOMPARE(log.isOff(), kind == "read-only" || kind == "newer");
            if (kind == QLatin1String("damaged"))
                QCOMPARE(readAll(aside), before);
            else if (kind == QLatin1String("folder"))
                QVERIFY(QDir().rmdir(path));
            // The search answers with the log's trouble, and nothing else
            // changes.
            const std::optional<CallQueryResult> answer = queryAll(log);
            QVERIFY(answer);
            if (log.isOff())
                QVERIFY(!answer->ok);
            if (kind == QLatin1String("folder"))
                QVERIFY(waitFor([&] { return log.statusText().isEmpty(); }, scaled(10000)));
            QVERIFY(flushed(log));
        }
        if (calls > 0 || kind == QLatin1String("folder")) {
            const auto store = openStore(path);
            QVERIFY(store);
            QCOMPARE(found(*store, QStringLiteral("nell")).isEmpty(), false);
        } else {
            // A file the log could not use is left as it was.
            QCOMPARE(readAll(path), before);
            QCOMPARE(modeOf(path), modeBefore);
        }
    }

    // Another program holds the file past the busy timeout while calls go
    // on: they wait, the user is told, and all are written once it lets go.
    void lockedWhileRecording()
    {
        qint64 now = at(0);
        CallLog::Options options = optionsFor(m_path, [&] { return now; });
        options.busyTimeoutMs = 100;
        options.batchMs = 5;
        CallLog log(options);
        IPCObject session;
        log.attach(session, QStringLiteral("unit"));
        QVERIFY(play(session, now, QStringLiteral("ready; L0 ringing")));
        QVERIFY(waitFor([&] { return log.isWriting(QStringLiteral("unit")); }));
        QVERIFY(flushed(log));

        Lock lock(m_path);
        QVERIFY(lock.held);
        QVERIFY(play(session, now, QStringLiteral("@5; L0 on hold; I0 Ann; L1 ringing; @9; L1 on hook (idle)")));
        const QString waiting
            = QStringLiteral("The call log is behind: 2 calls waiting (%1 is locked by another program)")
                  .arg(QDir::toNativeSeparators(m_path));
        QVERIFY2(waitFor([&] { return log.statusText() == waiting; }), qPrintable(log.statusText()));
        lock.release();
        QVERIFY(waitFor([&] { return log.statusText().isEmpty(); }, scaled(20000)));
        const QStringList calls = summaries(log);
        QCOMPARE(calls, (QStringList{"L1 5-9 missed w- h0 a0", "L0 0-open answered w5 h0 a0 Ann"}));
    }

    // A log started late (as the program starts it, once its window is up),
    // or destroyed before it started, still writes what was reported before.
    void startedLate_data()
    {
        QTest::addColumn<bool>("start");
        QTest::newRow("started after the calls") << true;
        QTest::newRow("never started") << false;
    }

    void startedLate()
    {
        QFETCH(bool, start);
        qint64 now = at(0);
        {
            CallLog::Options options = optionsFor(m_path, [&] { return now; });
            options.startNow = false;
            CallLog log(options);
            IPCObject session;
            log.attach(session, QStringLiteral("unit"));
            QVERIFY(play(session, now, QStringLiteral("ready; L0 ringing; @9; L0 on hook (idle)")));
            if (start) {
                log.start();
                QVERIFY(flushed(log));
            }
        }
        CallLog log(optionsFor(m_path, [&] { return now; }));
        const QStringList calls = summaries(log);
        QCOMPARE(calls, QStringList{"L0 0-9 missed w- h0 a0"});
    }

    // A full disk, made in a child process with a file size limit: the
    // calls wait, and are written when there is room again; quitting with
    // no room at all, they are reported lost rather than left half-written.
    void diskFull_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::newRow("room again later") << "full";
        QTest::newRow("no room at quit") << "full at quit";
    }

    void diskFull()
    {
        QFETCH(QString, mode);
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {"--child", mode, m_path});
        QVERIFY(child.waitForFinished(scaled(60000)));
        const QString out = QString::fromUtf8(child.readAllStandardOutput());
        QVERIFY2(child.exitCode() == 0, qPrintable(out + child.readAllStandardError()));
        QVERIFY2(out.contains(QStringLiteral("The call log is behind: 2 calls waiting (")), qPrintable(out));
    }

    // Quitting while the file is locked waits a few seconds, then keeps the
    // calls in an owner-only side file, which the next start writes in.
    void quitWhileBehind()
    {
        qint64 now = at(0);
        std::optional<Lock> lock;
        {
            CallLog::Options options = optionsFor(m_path, [&] { return now; });
            options.busyTimeoutMs = 100;
            options.quitWaitMs = 300;
            CallLog log(options);
            IPCObject session;
            log.attach(session, QStringLiteral("unit"));
            QVERIFY(play(session, now, QStringLiteral("ready; L0 ringing")));
            QVERIFY(waitFor([&] { return log.isWriting(QStringLiteral("unit")); }));
            lock.emplace(m_path);
            QVERIFY(lock->held);
            QVERIFY(play(session, now, QStringLiteral("@4; L0 on air; I0 Omar; L2 ringing")));
        }
        const QStringList waiting = WaitingCalls::find(m_path);
        QCOMPARE(waiting.size(), 1);
        QCOMPARE(modeOf(waiting.first()), 0600);
        lock.reset();

        CallLog log(optionsFor(m_path, [] { return at(60); }));
        const QStringList calls = summaries(log);
        QCOMPARE(calls, (QStringList{"L2 4-4 missed w- h0 a0 partial", "L0 0-4 aired w4 h0 a0 partial Omar"}));
        QCOMPARE(WaitingCalls::find(m_path), QStringList());
    }

    // Calls deleted from the log leave no trace of their text in the file
    // or its journal.
    void deletedTextIsGone()
    {
        CallLog log(optionsFor(m_path));
        const auto store = openStore(m_path);
        QVERIFY(store);
        QVERIFY(saved(*store, {call("gone", "Zbigniewówna Quetzalcoatl", at(0)), call("kept", "Ada", at(1))}));
        store->close();
        const auto bytes = [&] { return readAll(m_path) + readAll(m_path + QStringLiteral("-wal")); };
        QVERIFY(bytes().contains("Quetzalcoatl"));
        QVector<qint64> ids;
        for (const CallRecord& r : allCalls(log))
            if (r.uid == QLatin1String("gone"))
                ids << r.id;
        log.remove(ids);
        QVERIFY(flushed(log));
        QCOMPARE(uidsOf(allCalls(log)), QStringLiteral("kept"));
        for (const char* text : {"Quetzalcoatl", "quetzalcoatl", "Zbigniew", "zbigniew"})
            QVERIFY2(!bytes().contains(text), text);
    }

    // Leases between two programs, on a clock the test moves: one writer
    // per unit, taken over when its lease expires or is given up, and the
    // old writer's late writes refused. The same on a station server.
    void leases_data()
    {
        QTest::addColumn<bool>("station");
        QTest::newRow("file") << false;
        QTest::newRow("station server") << true;
    }

    void leases()
    {
        QFETCH(bool, station);
        qint64 clock = 1000000;
        const auto a = openOn(station, m_path, QStringLiteral("A"), [&] { return clock; });
        const auto b = openOn(station, m_path, QStringLiteral("B"), [&] { return clock; });
        QVERIFY(a && b);
        QCOMPARE(a->claimLease("u").generation, qint64(1));
        const CallStore::Lease refused = b->claimLease("u");
        QVERIFY(!refused.held);
        QCOMPARE(refused.expiresInMs, qint64(CallStore::LeaseExpiryMs));
        CallRecord open = call("open", "Ann", at(0));
        open.unitKey = QStringLiteral("u");
        open.ended = 0;
        QVERIFY(a->save({{open, true, 1}}));

        clock += CallStore::LeaseExpiryMs - 1;
        QVERIFY(!b->claimLease("u").held);
        QVERIFY(a->renewLease("u", 1));
        // A living owner's open calls stay open when another program starts.
        QVERIFY(b->closeAbandoned());
        QVERIFY(b->recentCalls("u", at(0)).first().isOpen());

        // A freezes: its lease expires, B takes the unit.
        clock += CallStore::LeaseExpiryMs + 1;
        const CallStore::Lease taken = b->claimLease("u");
        QVERIFY(taken.held && !taken.continued);
        QCOMPARE(taken.generation, qint64(2));
        QStringList units;
        open.name = QStringLiteral("written late");
        QVERIFY(a->save({{open, false, 1}}, &units));
        QCOMPARE(units, QStringList{"u"});
        QVERIFY(!a->renewLease("u", 1));
        QCOMPARE(a->failure(), CallStore::NoFailure);
        QCOMPARE(b->recentCalls("u", at(0)).first().name, QStringLiteral("Ann"));

        // Given up, it is free at once; expired, its owner's calls end.
        QVERIFY(b->releaseLease("u", 2));
        QCOMPARE(a->claimLease("u").generation, qint64(3));
        QVERIFY(a->dropLeases());
        QVERIFY(b->closeAbandoned());
        QCOMPARE(summary(b->recentCalls("u", at(0)).first()), QStringLiteral("L0 0-60 answered w- h0 a0 partial Ann"));
    }

    // Programs that start together on an empty folder, or desks on an
    // empty database, update the schema once between them, and both start.
    void noMigrationRace_data()
    {
        QTest::addColumn<bool>("station");
        QTest::newRow("file") << false;
        QTest::newRow("station server") << true;
    }

    void noMigrationRace()
    {
        QFETCH(bool, station);
        for (int round = 0; round < 10; ++round) {
            QTemporaryDir dir;
            const QString file = dir.filePath(QStringLiteral("log/calls.sqlite"));
            const QString path = station ? pg().uri(pg().createDatabase()) : file;
            QProcess one, two;
            one.start(QCoreApplication::applicationFilePath(), {"--child", "open", path});
            two.start(QCoreApplication::applicationFilePath(), {"--child", "open", path});
            for (QProcess* p : {&one, &two}) {
                QVERIFY(p->waitForFinished(scaled(30000)));
                QVERIFY2(p->exitCode() == 0, p->readAll().constData());
            }
            if (!station)
                QCOMPARE(schemaObjects(path).count(QStringLiteral("calls")), 1);
        }
    }

    // Two programs on one file, both watching one unit: one writes, and the
    // other takes over within a lease when the first is killed or frozen,
    // continuing its open call; a frozen writer's late writes are refused.
    // One record per call all the same.
    void twoPrograms_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<bool>("station");
        QTest::newRow("the writer killed") << int(SIGKILL) << false;
        QTest::newRow("the writer frozen") << int(SIGSTOP) << false;
        QTest::newRow("the writer frozen, on a station server") << int(SIGSTOP) << true;
        QTest::newRow("the writer killed, on a station server") << int(SIGKILL) << true;
    }

    void twoPrograms()
    {
        QFETCH(int, signal);
        QFETCH(bool, station);
        UnitSimulator sim;
        QVERIFY(sim.start(0));
        sim.setTickInterval(3600 * 1000);
        QProcess programs[2];
        QByteArray said[2];
        const auto saying = [&](int i, const char* text) {
            said[i] += programs[i].readAllStandardOutput();
            return said[i].endsWith(QByteArray(text) + '\n');
        };
        const auto says = [&](int i, const char* text) {
            return waitFor([&] { return saying(i, text); }, scaled(CallStore::LeaseExpiryMs + 5000));
        };
        // Two desks, each with a home of its own, on one server.
        for (QProcess& program : programs)
            program.start(QCoreApplication::applicationFilePath(),
                          {"--child", "record",
                           station ? m_dir->filePath(QString::number(&program - programs) + "/calls.sqlite") : m_path,
                           QString::number(sim.port()), station ? stationFor(m_path).uri() : QString()});
        QVERIFY(waitFor([&] { return saying(0, "writing") || saying(1, "writing"); }, scaled(10000)));
        const int writer = said[0].endsWith("writing\n") ? 0 : 1;
        QVERIFY(waitFor([&] { return sim.loggedInCount() == 2; }));
        const auto calls = [&] {
            QStringList out;
            if (const auto store = openOn(station, m_path))
                for (const CallRecord& r : store->query(CallFilter(), 20).rows)
                    out << QStringLiteral("L%1 %2 %3%4%5")
                               .arg(r.line)
                               .arg(CallRecord::outcomeKey(r.outcome), r.name, r.isOpen() ? " open" : "",
                                    r.partial ? " partial" : "");
            return out;
        };
        // A ten-call show: four calls, one held while the writer is killed
        // or frozen, five more at the other desk.
        QStringList expected;
        const auto call = [&](unsigned line, const QString& name) {
            expected << QStringLiteral("L%1 answered %2").arg(line).arg(name);
            return sim.ring(line, name) && sim.setLineState(line, "on handset")
                && sim.setLineState(line, "on hook (idle)");
        };
        for (unsigned line = 1; line <= 4; ++line)
            QVERIFY(call(line, QStringLiteral("Early %1").arg(line)));
        QVERIFY(sim.ring(0, "Anna") && sim.setLineState(0, "on hold"));
        QVERIFY(waitFor([&] { return calls().contains("L0 answered Anna open") && calls().size() == 5; }));

        QElapsedTimer stopped;
        stopped.start();
        ::kill(pid_t(programs[writer].processId()), signal);
        QVERIFY(says(1 - writer, "writing"));
        QVERIFY(stopped.elapsed() <= scaled(CallStore::LeaseExpiryMs + 2000));
        QVERIFY(sim.setLineState(0, "on hook (idle)"));
        expected << "L0 answered Anna";
        for (unsigned line = 5; line <= 9; ++line)
            QVERIFY(call(line, QStringLiteral("Late %1").arg(line)));
        if (signal == SIGSTOP) {
            QTest::qWait(int(std::max<qint64>(0, 20000 - stopped.elapsed())));
            ::kill(pid_t(programs[writer].processId()), SIGCONT);
            QVERIFY(says(writer, "following"));
        }
        // Every call once and whole, the held one written to its end by the
        // second desk; the thawed writer's late writes changed nothing.
        const auto sortedCalls = [&] {
            QStringList out = calls();
            out.sort();
            return out;
        };
        expected.sort();
        QVERIFY(waitFor([&] { return sortedCalls() == expected; }));
        for (QProcess& program : programs) {
            program.closeWriteChannel();
            QVERIFY(program.state() == QProcess::NotRunning || program.waitForFinished(scaled(10000)));
        }
        QCOMPARE(sortedCalls(), expected);
    }

    // The log window's view follows another program's writes.
    void othersWritesSeen()
    {
        CallLog log(optionsFor(m_path));
        QVERIFY(waitFor([&] { return log.state() == CallLog::Ready; }));
        QSignalSpy changed(&log, &CallLog::changed);
        const auto other = openStore(m_path);
        QVERIFY(other && saved(*other, {call("theirs", "Ida", at(0))}));
        QVERIFY(waitFor([&] { return !changed.isEmpty(); }, scaled(2000) + 500));
    }

    // Files are the owner's alone from their first byte; older ones are
    // made so; the folder the program owns is 0700.
    void permissions_data()
    {
        QTest::addColumn<int>("before"); // 0: no file yet
        QTest::newRow("a fresh log under umask 022") << 0;
        QTest::newRow("a log an older version made 0644") << 0644;
    }

    void permissions()
    {
        QFETCH(int, before);
        const QString path = m_dir->filePath(QStringLiteral("own/calls.sqlite"));
        if (before) {
            QVERIFY(openStore(path));
            QVERIFY(::chmod(QFile::encodeName(path).constData(), mode_t(before)) == 0);
            QVERIFY(::chmod(QFile::encodeName(QFileInfo(path).path()).constData(), 0755) == 0);
        }
        const mode_t umaskBefore = ::umask(022);
        {
            CallLog::Options options = optionsFor(path);
            options.privateFolder = true;
            CallLog log(options);
            QVERIFY(waitFor([&] { return log.state() == CallLog::Ready; }));
            QVERIFY(QFile::exists(path + QStringLiteral("-wal")));
            for (const char* suffix : {"", "-wal", "-shm"})
                QCOMPARE(modeOf(path + suffix), 0600);
            QCOMPARE(modeOf(QFileInfo(path).path()), 0700);
        }
        ::umask(umaskBefore);
    }

    void retention_data()
    {
        QTest::addColumn<int>("days");
        QTest::addColumn<qint64>("ageMs");
        QTest::addColumn<bool>("kept");
        const qint64 day = 24 * 3600 * 1000LL;
        QTest::newRow("89 days") << 90 << 89 * day << true;
        QTest::newRow("exactly 90 days") << 90 << 90 * day << true;
        QTest::newRow("90 days and a moment") << 90 << 90 * day + 1 << false;
        QTest::newRow("8 days, kept for 7 days") << 7 << 8 * day << false;
        // A call newer than the clock: the clock is wrong, nothing goes.
        QTest::newRow("the clock before the newest call") << 1 << -day << true;
    }

    void retention()
    {
        QFETCH(int, days);
        QFETCH(qint64, ageMs);
        QFETCH(bool, kept);

        const qint64 now = at(0);
        {
            const auto store = openStore(m_path);
            QVERIFY(store);
            QVERIFY(saved(*store, {call("probe", "Old", now - ageMs), call("fresh", "New", now - 60000)}));
        }
        // Through the log, as at a start of the program, and again a day
        // later, after another program logged a call newer than both.
        qint64 clock = now;
        CallLog::Options options = optionsFor(m_path, [&] { return clock; });
        options.retentionDays = days;
        options.retentionIntervalMs = 50;
        CallLog log(options);
        QCOMPARE(uidsOf(allCalls(log)), QLatin1String(kept ? "fresh probe" : "fresh"));
        QCOMPARE(log.statusText().contains(QLatin1String("Old calls were not deleted: the clock of this computer")),
                 ageMs < 0);
        if (!kept)
            return;
        const auto other = openStore(m_path);
        QVERIFY(other && saved(*other, {call("later", "Later", now + qint64(days + 365) * 24 * 3600 * 1000)}));
        clock = now + qint64(days + 366) * 24 * 3600 * 1000;
        QVERIFY(waitFor([&] { return uidsOf(allCalls(log)) == QLatin1String("later"); }));
        QVERIFY(waitFor([&] { return log.statusText().isEmpty(); }));
    }

    void callsLeftOpenEndWhenLastSeen()
    {
        qint64 now = at(0);
        {
            CallLog log(optionsFor(m_path, [&] { return now; }));
            IPCObject session;
            log.attach(session, QStringLiteral("unit"));
            // The program stops while the call is on air.
            QVERIFY(play(session, now, QStringLiteral("join; L4 ringing; @7; L4 on air; @20")));
            QVERIFY(waitFor([&] { return log.isWriting(QStringLiteral("unit")); }));
        }
        CallLog log(optionsFor(m_path, [] { return at(3600); }));
        const QVector<CallRecord> calls = allCalls(log);
        QCOMPARE(calls.size(), 1);
        QCOMPARE(summary(calls.first()), QStringLiteral("L4 0-20 aired w- h0 a13 partial"));
    }

    // Every search row, with the trigram index and without it (as on a
    // SQLite that lacks the tokenizer), gives the same calls.
    void searchFindsPartsOfWords_data()
    {
        QTest::addColumn<int>("store"); // 0: file, 1: file without index, 2: station server
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("names");
        for (int store : {0, 1, 2}) {
            const auto row = [store](const char* name, const char* text, const QStringList& names) {
                const char* kinds[] = {"index", "no index", "station server"};
                QTest::newRow(qPrintable(QStringLiteral("%1, %2").arg(QLatin1String(name), kinds[store])))
                    << store << QString::fromUtf8(text) << names;
            };
            row("everything", "", {"Ada", "Bert", "Zoë", "Émile"});
            row("accents and case folded", "ZOE", {"Zoë"});
            row("an accent finds the plain letter", "é", {"Ada", "Bert", "Zoë", "Émile"});
            row("a name with its accent", "Émile", {"Émile"});
            row("without it", "emile", {"Émile"});
            row("letters that are no accent", "STRASSE ODEGARD", {"Émile"});
            row("in the notes", "call  back", {"Bert"});
            row("two words, both needed", "lost cat", {"Zoë"});
            row("two words, one missing", "lost dog", {});
            row("two letters with an accent", "zö", {"Zoë"});
            row("wildcards are letters", "%", {"Bert"});
            row("search syntax is text", "OR NEAR(", {});
        }
    }

    void searchFindsPartsOfWords()
    {
        QFETCH(int, store);
        QFETCH(QString, text);
        QFETCH(QStringList, names);
        const bool index = store != 1;
        const bool station = store == 2;
        {
            // Written with the index; searched as the row says.
            const auto store = openOn(station, m_path);
            QVERIFY(store);
            // name, location, topic, notes
            const QStringList calls[] = {{"Ada", "Harbour Street", "Traffic", ""},
                                         {"Bert", "Kingsbridge", "Prices up 10%", "Wants a CALL back"},
                                         {"Zoë", "Northfield", "Lost cat", "Black and white"},
                                         {"Émile", "Straße 4, Ødegård", "", ""}};
            QVector<CallRecord> batch;
            for (const QStringList& c : calls) {
                CallRecord r = call(c.at(0), c.at(0), at(batch.size() + 1));
                r.location = c.at(1);
                r.topic = c.at(2);
                r.notes = c.at(3);
                batch << r;
            }
            QVERIFY(saved(*store, batch));
        }
        const auto reading = station ? openOn(true, m_path) : openStore(m_path, index);
        QVERIFY(reading);
        QCOMPARE(reading->hasSearchIndex(), index);
        QStringList seen;
        for (const CallRecord& r : reading->query(CallFilter{text, {}, -1, 0, 0}, 10).rows)
            seen << r.name;
        seen.sort();
        QCOMPARE(seen, names);
    }

    // The station server stops for 5 s in the middle of a show, and the
    // writing desk dies meanwhile with its outbox: the other desk kept the
    // calls of that time in its own, and says so; once the server is back
    // every call is there once, in order, and other desks' writes reach the
    // log again within a second.
    void stationServerGoesAway()
    {
        qint64 now = at(0);
        CallLog::Options options = optionsFor(
            m_path, [&] { return now; }, true);
        options.batchMs = 5;
        auto writer = std::make_unique<CallLog>(options);
        options.path = m_dir->filePath(QStringLiteral("desk/calls.sqlite"));
        CallLog log(options);
        IPCObject session, other;
        writer->attach(other, QStringLiteral("unit"));
        QVERIFY(play(other, now, QStringLiteral("ready")));
        QVERIFY(waitFor([&] { return writer->isWriting(QStringLiteral("unit")); }));
        log.attach(session, QStringLiteral("unit"));
        const auto play2 = [&](const char* script) {
            for (const QString& step : QString::fromLatin1(script).split(QLatin1Char(';')))
                if (!play(other, now, step) || !play(session, now, step))
                    return false;
            return true;
        };
        QVERIFY(play2("ready; L0 ringing; @2; L0 on handset; I0 Ada; @9; L0 on hook (idle)"));
        QVERIFY(waitFor([&] { return allCalls(log).size() == 1; }));
        QVERIFY(pg().stop());
        QVERIFY(play2("@20; L1 ringing; @22; L1 on handset; I1 Bo; @29; L1 on hook (idle); @31; L2 ringing"));
        const QRegularExpression waiting(
            QStringLiteral("^Station server unreachable since \\d\\d:\\d\\d: [2-3] calls waiting$"));
        QVERIFY2(waitFor([&] { return waiting.match(log.statusText()).hasMatch(); }, scaled(15000)),
                 qPrintable(log.statusText()));
        writer.reset();
        QVERIFY(QFile::remove(m_dir->filePath(QStringLiteral("station-outbox.sqlite"))));
        QTest::qWait(5000);
        QVERIFY(pg().restart());
        QVERIFY(play(session, now, QStringLiteral("@40; L2 on handset; I2 Cy; @45; L2 on hook (idle)")));
        QVERIFY2(
            waitFor([&] { return log.statusText().isEmpty() && log.isWriting(QStringLiteral("unit")); }, scaled(30000)),
            qPrintable(log.statusText()));
        QVERIFY(flushed(log));
        const QStringList calls = summaries(log);
        QCOMPARE(calls,
                 QStringList({"L2 31-45 answered w9 h0 a0 Cy", "L1 20-29 answered w2 h0 a0 Bo",
                              "L0 0-9 answered w2 h0 a0 Ada"}));
        QSignalSpy changed(&log, &CallLog::changed);
        const auto store = openOn(true, m_path);
        QVERIFY(store && saved(*store, {call("theirs", "Ida", at(50))}));
        QVERIFY(waitFor([&] { return !changed.isEmpty(); }, 1000));
    }

    // This computer's calls copied to the station server twice: each once,
    // and a call the server has newer stays as the server has it.
    void copyToStation()
    {
        const auto local = openStore(m_path);
        const auto station = openOn(true, m_path);
        CallRecord later = call("b", "Bo", at(60));
        QVERIFY(local && station && saved(*local, {call("a", "Ada", at(0)), later, call("c", "Cy", at(120))}));
        later.name = QStringLiteral("Bo, named at the studio");
        later.lastSeen += 1000;
        QVERIFY(saved(*station, {later}));
        int copied = 0;
        QVERIFY(station->copyFrom(*local, &copied) && station->copyFrom(*local, &copied));
        QCOMPARE(copied, 3);
        QCOMPARE(found(*station, QString()), QStringLiteral("a b c"));
        QCOMPARE(found(*station, QStringLiteral("studio")), QStringLiteral("b"));
    }

    // A file made with the index takes calls where the index cannot be
    // kept, and the next program that can keep it brings it up to date.
    void indexComesAndGoes()
    {
        QVERIFY(openStore(m_path, true));
        {
            const auto without = openStore(m_path, false);
            QVERIFY(without && saved(*without, {call("there", "Jolanta", at(0))}));
            QCOMPARE(found(*without, QStringLiteral("jola")), QStringLiteral("there"));
        }
        const auto with = openStore(m_path, true);
        QVERIFY(with && with->hasSearchIndex());
        QCOMPARE(found(*with, QStringLiteral("jola")), QStringLiteral("there"));
    }
};

namespace {

// A program that records one unit's calls into the log at path, as
// mirt-desktop does with one console open, and says on its output when it
// becomes the unit's writer and when it stops being it. It ends when its
// input closes.
int recordingProgram(const QString& path, const QString& port, const QString& uri)
{
    QTextStream out(stdout);
    CallLog::Options options = optionsFor(uri.isEmpty() ? path : uri);
    options.path = path;
    options.batchMs = 5;
    CallLog log(options);
    IPCObject session;
    const QString key = QStringLiteral("127.0.0.1:") + port;
    log.attach(session, key);
    session.connectIPC(QStringLiteral("127.0.0.1"), port.toUInt(), QStringLiteral("tavrik"), QStringLiteral("desk"));
    bool writing = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (log.isWriting(key) == writing)
            return;
        writing = !writing;
        out << (writing ? "writing" : "following") << Qt::endl;
    });
    poll.start(20);
    QSocketNotifier input(0, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char byte;
        if (::read(0, &byte, 1) <= 0)
            QCoreApplication::quit();
    });
    return QCoreApplication::exec();
}

// The parts of the tests that must run in a process of their own.
int child(const QString& mode, const QString& path, const QString& port, const QString& uri)
{
    if (mode == QLatin1String("record"))
        return recordingProgram(path, port, uri);
    if (mode == QLatin1String("open") && path.startsWith(QLatin1String("postgresql:"))) {
        PgCallStore store(optionsFor(path).database);
        if (store.open() && store.schemaVersion() == PgCallStore::SchemaVersion)
            return 0;
        qWarning("%s", qPrintable(store.errorText()));
        return 1;
    }
    if (mode == QLatin1String("open")) {
        SqliteCallStore store(path);
        if (store.open() && store.schemaVersion() == SqliteCallStore::SchemaVersion)
            return 0;
        qWarning("%s", qPrintable(store.errorText()));
        return 1;
    }
    if (mode != QLatin1String("full") && mode != QLatin1String("full at quit"))
        return 2;
    QTextStream out(stdout);
    qint64 now = at(0);
    CallLog::Options options = optionsFor(path, [&] { return now; });
    options.batchMs = 5;
    options.quitWaitMs = 300;
    auto log = std::make_unique<CallLog>(options);
    IPCObject session;
    log->attach(session, QStringLiteral("unit"));
    play(session, now, QStringLiteral("ready"));
    if (!waitFor([&] { return log->isWriting(QStringLiteral("unit")); }))
        return 3;
    // No file of this process may grow past 1 KiB now: the log's journal
    // cannot take another page. Without a handler the signal would kill it.
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    const rlim_t hard = limit.rlim_max;
    limit.rlim_cur = 1024;
    ::setrlimit(RLIMIT_FSIZE, &limit);
    // A second call while behind is counted too.
    play(session, now, QStringLiteral("L0 ringing; @3; L0 on handset; I0 Rafaela"));
    if (!waitFor([&] { return log->behindCalls() == 1; }))
        return 4;
    play(session, now, QStringLiteral("L1 ringing"));
    if (!waitFor([&] { return log->behindCalls() == 2; }))
        return 4;
    out << log->statusText() << "\n";
    if (mode == QLatin1String("full at quit")) {
        // Quitting with no room for the side file either: the calls are
        // lost and said to be, not half a side file left as if they waited.
        limit.rlim_cur = 16;
        ::setrlimit(RLIMIT_FSIZE, &limit);
        log.reset();
        return WaitingCalls::find(path).isEmpty() ? 0 : 7;
    }
    limit.rlim_cur = hard;
    ::setrlimit(RLIMIT_FSIZE, &limit);
    if (!waitFor([&] { return !log->isBehind(); }, scaled(20000)))
        return 5;
    const QStringList calls = summaries(*log);
    out << calls.join(QLatin1String("; ")) << "\n";
    return calls == QStringList{"L1 3-open  w- h0 a0", "L0 0-open answered w3 h0 a0 Rafaela"} ? 0 : 6;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 4 && QByteArray(argv[1]) == "--child") {
        QCoreApplication app(argc, argv);
        return child(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]),
                     QString::fromLocal8Bit(argc > 4 ? argv[4] : ""), QString::fromLocal8Bit(argc > 5 ? argv[5] : ""));
    }
    QApplication app(argc, argv);
    TestCallLog test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_calllog.moc"
