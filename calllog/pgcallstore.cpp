#include "calllog/pgcallstore.h"

#include "calllog/callfold.h"
#include "calllog/libpq.h"
#include "support/qtcompat.h"

#include <QAtomicInt>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QTimeZone>
#include <QVariant>

namespace {

QAtomicInt connectionCounter;

// ---- All the SQL of the PostgreSQL back end ------------------------------

// The advisory locks of this program: schema changes, the day's
// housekeeping.
const char* const kMigrateLock = "SELECT pg_advisory_xact_lock(7306021501)";
const char* const kHousekeepingLock = "SELECT pg_try_advisory_xact_lock(7306021502)";
const char* const kChannel = "mirt_calls";

// Milliseconds since the epoch to timestamptz and back, exactly.
QString ts(const QString& value)
{
    return QStringLiteral("(timestamptz 'epoch' + (%1)::bigint * interval '1 millisecond')").arg(value);
}
QString ms(const QString& column)
{
    return QStringLiteral("(extract(epoch FROM %1) * 1000)::bigint").arg(column);
}

// A call's caller: the first two of its folded texts, name and location.
const char* const kCallerName = "split_part(calls.folded, E'\\n', 1)";
const char* const kCallerLocation = "split_part(calls.folded, E'\\n', 2)";
// Which callers a name and location stand for: the same folded name, and
// the same location unless one of the two has none. Binds name, location,
// location.
QString callerMatch(const QString& nameColumn, const QString& locationColumn)
{
    return QStringLiteral("%1 = ? AND (? = '' OR %2 = ? OR %2 = '')").arg(nameColumn, locationColumn);
}

// The columns of every SELECT of whole calls, in the order readRecord reads.
QString columns()
{
    return QStringLiteral("id, uid, unit, username, line, %1, %2, %3, %4, %5, hold_ms, air_ms, wait_ms, outcome,"
                          " priority, partial, name, location, topic, notes, gender, mood, total_ms,"
                          " COALESCE((SELECT flag FROM caller_flags f WHERE f.name_folded = %6"
                          " AND f.location_folded = %7), '')")
        .arg(ms("first_seen"), ms("answered"), ms("first_on_air"), ms("ended"), ms("last_seen"),
             QLatin1String(kCallerName), QLatin1String(kCallerLocation));
}

const char* const kSchema1[] = {
    "CREATE TABLE calls ("
    " id bigserial PRIMARY KEY,"
    " uid text NOT NULL UNIQUE,"
    " unit text NOT NULL,"
    " username text NOT NULL DEFAULT '',"
    " line integer NOT NULL,"
    " first_seen timestamptz NOT NULL,"
    " answered timestamptz,"
    " first_on_air timestamptz,"
    " ended timestamptz,"
    " last_seen timestamptz NOT NULL,"
    " hold_ms bigint NOT NULL DEFAULT 0,"
    " air_ms bigint NOT NULL DEFAULT 0,"
    " wait_ms bigint,"
    " total_ms bigint NOT NULL DEFAULT 0,"
    " outcome text,"
    " priority boolean NOT NULL DEFAULT false,"
    " partial boolean NOT NULL DEFAULT false,"
    " name text NOT NULL DEFAULT '',"
    " location text NOT NULL DEFAULT '',"
    " topic text NOT NULL DEFAULT '',"
    " notes text NOT NULL DEFAULT '',"
    " gender text NOT NULL DEFAULT '',"
    " mood text NOT NULL DEFAULT '',"
    " folded text NOT NULL DEFAULT '',"
    " owner text)",
    "CREATE INDEX calls_by_time ON calls (first_seen)",
    "CREATE INDEX calls_by_unit ON calls (unit, line, first_seen)",
    "CREATE INDEX calls_open ON calls (unit) WHERE ended IS NULL",
    // The other identities of a call two desks recorded apart while the
    // server was away: the later desk's writes find the merged call.
    "CREATE TABLE call_uids (uid text PRIMARY KEY, call bigint NOT NULL REFERENCES calls (id) ON DELETE CASCADE)",
    "CREATE INDEX call_uids_by_call ON call_uids (call)",
    // The flags of callers (see CallerHistory), by folded name and location.
    "CREATE TABLE caller_flags (name_folded text NOT NULL, location_folded text NOT NULL, flag text NOT NULL,"
    " PRIMARY KEY (name_folded, location_folded))",
    "CREATE TABLE leases (unit text PRIMARY KEY, owner text NOT NULL, generation bigint NOT NULL,"
    " heartbeat timestamptz NOT NULL, active boolean NOT NULL)",
};
const char* const kMetaTable = "CREATE TABLE IF NOT EXISTS mirt_meta (key text PRIMARY KEY, value text NOT NULL)";
const char* const kReadVersion = "SELECT value::integer FROM mirt_meta WHERE key = 'schema_version'";
const char* const kWriteVersion = "INSERT INTO mirt_meta VALUES ('schema_version', ?) ON CONFLICT (key) DO UPDATE"
                                  " SET value = excluded.value";
const char* const kHasTrigram = "SELECT 1 FROM pg_extension WHERE extname = 'pg_trgm'";
const char* const kCreateTrigram = "CREATE EXTENSION IF NOT EXISTS pg_trgm";
const char* const kHasIndex = "SELECT 1 FROM pg_indexes WHERE indexname = 'calls_fold'";
const char* const kCreateIndex = "CREATE INDEX calls_fold ON calls USING gin (folded gin_trgm_ops)";

const char* const kLeaseForUpdate = "SELECT owner, generation, active, %1, %2 FROM leases WHERE unit = ? FOR UPDATE";
const char* const kLeaseRow = "INSERT INTO leases VALUES (?, '', 0, 'epoch', false) ON CONFLICT (unit) DO NOTHING";
const char* const kLeaseTake = "UPDATE leases SET owner = ?, generation = ?, heartbeat = %1, active = true"
                               " WHERE unit = ?";
const char* const kLeaseRenew = "UPDATE leases SET heartbeat = %1 WHERE unit = ? AND owner = ? AND generation = ?";
const char* const kLeaseRelease = "UPDATE leases SET active = false, heartbeat = %1 WHERE unit = ? AND owner = ?"
                                  " AND generation = ?";
const char* const kLeaseDrop = "UPDATE leases SET active = false, heartbeat = 'epoch' WHERE owner = ?";
const char* const kLeaseCheck = "SELECT 1 FROM leases WHERE unit = ? AND owner = ? AND generation = ? AND active"
                                " FOR SHARE";

const char* const kFind = "SELECT id, %1 FROM calls WHERE uid = ? UNION ALL SELECT c.id, %2 FROM call_uids a"
                          " JOIN calls c ON c.id = a.call WHERE a.uid = ? LIMIT 1";
const char* const kAlias = "INSERT INTO call_uids VALUES (?, ?) ON CONFLICT (uid) DO NOTHING";
// The same call seen by another desk: same unit and line, first seen
// within the window, the nearest first.
const char* const kFindNear = "SELECT id, %1 FROM calls WHERE unit = ? AND line = ? AND first_seen BETWEEN %2 AND %3"
                              " ORDER BY abs(extract(epoch FROM first_seen - %4)) LIMIT 1";
const char* const kRecordColumns = "unit, username, line, first_seen, answered, first_on_air, ended, last_seen,"
                                   " hold_ms, air_ms, wait_ms, outcome, priority, partial, name, location, topic,"
                                   " notes, gender, mood, total_ms, folded, owner";
const char* const kNotify = "SELECT pg_notify('mirt_calls', '')";

const char* const kUnits = "WITH RECURSIVE u(unit) AS (SELECT min(unit) FROM calls UNION ALL"
                           " SELECT (SELECT min(unit) FROM calls WHERE unit > u.unit) FROM u"
                           " WHERE u.unit IS NOT NULL) SELECT unit FROM u WHERE unit IS NOT NULL";
// By the desk's local day (the session's time zone), hashed in memory.
// The totals of a day, over calls or over the matches of a search.
const char* const kDayTotals = "count(*), count(*) FILTER (WHERE ended IS NOT NULL AND outcome = 'answered'),"
                               " count(*) FILTER (WHERE ended IS NOT NULL AND outcome = 'aired'),"
                               " count(*) FILTER (WHERE outcome = 'missed'), avg(wait_ms)";
// By the desk's local day (the session's time zone), hashed in memory.
const char* const kDays = "SELECT first_seen::date, %1 FROM calls%2 GROUP BY 1 ORDER BY 1 DESC";
// A search reads each matching call once: the trigram index finds them, and
// what the totals and the window's orders need of them is kept (m); the
// totals come as one JSON array on the first row (on every row they would be
// sorted and sent thousands of times), beside the newest rows of the
// window's order, read whole by their key. Two queries, one for the rows and
// one for the totals, would read the matches twice, the first of them often
// through the time index past every call that does not match. The LIMIT
// tells the planner how few rows o gives: without it, it guesses thousands
// and joins them by reading the whole table in key order.
// %1 the filter, %2 the order, %3 the limit, %4 the columns, %5 what the
// order needs beyond the totals' columns (the fewer kept, the less to sort).
const char* const kSearch
    = "WITH m AS MATERIALIZED (SELECT id, first_seen, ended, outcome, wait_ms%5 FROM calls%1),"
      " d AS (SELECT json_agg(json_build_array(day::text, c, a, r, x, w) ORDER BY day DESC) AS days FROM"
      " (SELECT first_seen::date AS day, count(*) AS c,"
      " count(*) FILTER (WHERE ended IS NOT NULL AND outcome = 'answered') AS a,"
      " count(*) FILTER (WHERE ended IS NOT NULL AND outcome = 'aired') AS r,"
      " count(*) FILTER (WHERE outcome = 'missed') AS x, avg(wait_ms) AS w FROM m GROUP BY 1) AS t),"
      " o AS (SELECT cid, rn FROM (SELECT id AS cid, row_number() OVER (ORDER BY %2) AS rn FROM m) AS s"
      " WHERE rn <= %3 LIMIT %3)"
      " SELECT %4, CASE WHEN COALESCE(o.rn, 1) = 1 THEN d.days::text END FROM d"
      " LEFT JOIN (o JOIN calls ON calls.id = o.cid) ON true ORDER BY o.rn";
const char* const kCloseAbandoned = "UPDATE calls SET ended = last_seen, partial = true,"
                                    " outcome = COALESCE(outcome, 'missed') WHERE ended IS NULL AND NOT EXISTS"
                                    " (SELECT 1 FROM leases l WHERE l.unit = calls.unit AND l.owner = calls.owner"
                                    " AND %1)";
const char* const kNewest = "SELECT %1 FROM calls";
const char* const kRetentionDays = "SELECT value::integer FROM mirt_meta WHERE key = 'retention_days'";
const char* const kSetRetentionDays = "INSERT INTO mirt_meta VALUES ('retention_days', ?) ON CONFLICT (key)"
                                      " DO UPDATE SET value = excluded.value";
// Housekeeping is due once a day for the whole station.
const char* const kHousekeepingDue = "SELECT 1 FROM mirt_meta WHERE key = 'housekeeping'"
                                     " AND value::timestamptz > clock_timestamp() - interval '23 hours'";
const char* const kHousekeepingDone = "INSERT INTO mirt_meta VALUES ('housekeeping', clock_timestamp()::text)"
                                      " ON CONFLICT (key) DO UPDATE SET value = excluded.value";

// ---------------------------------------------------------------------------

const QChar kFieldBreak = QLatin1Char('\n');

QString folded(const CallRecord& r)
{
    return CallFold::fold(r.name) + kFieldBreak + CallFold::fold(r.location) + kFieldBreak + CallFold::fold(r.topic)
        + kFieldBreak + CallFold::fold(r.notes);
}

QVariant nullable(qint64 value)
{
    return value > 0 ? QVariant(value) : nullValue<qint64>();
}

QVariant notNull(const QString& text)
{
    return text.isNull() ? QVariant(QStringLiteral("")) : QVariant(text);
}

QString likePattern(QString word)
{
    word.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    word.replace(QLatin1Char('%'), QLatin1String("\\%"));
    word.replace(QLatin1Char('_'), QLatin1String("\\_"));
    return QLatin1Char('%') + word + QLatin1Char('%');
}

CallRecord readRecord(const QSqlQuery& q)
{
    CallRecord r;
    r.id = q.value(0).toLongLong();
    r.uid = q.value(1).toString();
    r.unitKey = q.value(2).toString();
    r.username = q.value(3).toString();
    r.line = q.value(4).toInt();
    r.firstSeen = q.value(5).toLongLong();
    r.answered = q.value(6).toLongLong();
    r.firstOnAir = q.value(7).toLongLong();
    r.ended = q.value(8).toLongLong();
    r.lastSeen = q.value(9).toLongLong();
    r.holdMs = q.value(10).toLongLong();
    r.airMs = q.value(11).toLongLong();
    r.waitMs = q.value(12).isNull() ? -1 : q.value(12).toLongLong();
    r.outcome = CallRecord::outcomeFromKey(q.value(13).toString());
    r.priority = q.value(14).toBool();
    r.partial = q.value(15).toBool();
    r.name = q.value(16).toString();
    r.location = q.value(17).toString();
    r.topic = q.value(18).toString();
    r.notes = q.value(19).toString();
    r.gender = q.value(20).toString();
    r.mood = q.value(21).toString();
    r.totalMs = q.value(22).toLongLong();
    r.callerFlag = q.value(23).toString();
    return r;
}

void bindRecord(QSqlQuery& q, const CallRecord& r, const QString& text, const QString& owner)
{
    const QString outcome = CallRecord::outcomeKey(r.outcome);
    q.addBindValue(notNull(r.unitKey));
    q.addBindValue(notNull(r.username));
    q.addBindValue(r.line);
    q.addBindValue(r.firstSeen);
    q.addBindValue(nullable(r.answered));
    q.addBindValue(nullable(r.firstOnAir));
    q.addBindValue(nullable(r.ended));
    q.addBindValue(r.lastSeen);
    q.addBindValue(r.holdMs);
    q.addBindValue(r.airMs);
    q.addBindValue(r.waitMs >= 0 ? QVariant(r.waitMs) : nullValue<qint64>());
    q.addBindValue(outcome.isEmpty() ? nullValue<QString>() : QVariant(outcome));
    q.addBindValue(r.priority);
    q.addBindValue(r.partial);
    q.addBindValue(notNull(r.name));
    q.addBindValue(notNull(r.location));
    q.addBindValue(notNull(r.topic));
    q.addBindValue(notNull(r.notes));
    q.addBindValue(notNull(r.gender));
    q.addBindValue(notNull(r.mood));
    q.addBindValue(r.totalMs);
    q.addBindValue(text);
    q.addBindValue(owner.isEmpty() ? nullValue<QString>() : QVariant(owner));
}

// The placeholders of bindRecord, times converted.
QString recordValues()
{
    const QString t = ts(QStringLiteral("?"));
    return QStringLiteral("?, ?, ?, %1, %1, %1, %1, %1, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?").arg(t);
}

PGconn* connectionOf(const QSqlDatabase& db)
{
    if (!db.isValid() || !db.driver())
        return nullptr;
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "PGconn*") != 0)
        return nullptr;
    return *static_cast<PGconn* const*>(handle.data());
}

} // namespace

QString PgCallStore::testConnection(const LogDatabase& database)
{
    Options options;
    options.mode = ReadOnly;
    PgCallStore store(database, options);
    if (store.open())
        return QStringLiteral("Connected: %1.").arg(store.serverDescription());
    if (store.failure() == CannotOpen && !store.m_serverVersion.isEmpty())
        return QStringLiteral("Connected: PostgreSQL %1, no call log yet (made when the program first uses it).")
            .arg(store.m_serverVersion);
    return store.errorText();
}

PgCallStore::PgCallStore(const LogDatabase& database)
    : PgCallStore(database, Options())
{
}

PgCallStore::PgCallStore(const LogDatabase& database, const Options& options)
    : m_database(database)
    , m_options(options)
    , m_connection(QStringLiteral("mirt_calllog_pg_%1").arg(connectionCounter.fetchAndAddRelaxed(1)))
{
}

PgCallStore::~PgCallStore()
{
    close();
}

bool PgCallStore::isOpen() const
{
    return m_db.isOpen() && !m_lost;
}

void PgCallStore::close()
{
    if (m_db.isValid()) {
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_connection);
    }
}

QString PgCallStore::location() const
{
    return m_database.describe();
}

bool PgCallStore::hasSearchIndex() const
{
    return m_index;
}

void PgCallStore::setBusyTimeout(int ms)
{
    if (isOpen())
        QSqlQuery(m_db).exec(QStringLiteral("SET lock_timeout = %1").arg(std::max(1, ms)));
}

QString PgCallStore::serverDescription() const
{
    return m_serverVersion.isEmpty()
        ? QString()
        : QStringLiteral("PostgreSQL %1, schema version %2").arg(m_serverVersion).arg(m_version);
}

bool PgCallStore::failWith(const QSqlError& error, const QString& what)
{
    const QString code = error.nativeErrorCode();
    const PGconn* connection = connectionOf(m_db);
    const bool lost = !m_db.isOpen() || !connection || Libpq::status(connection) != CONNECTION_OK;
    QString text = error.databaseText().trimmed();
    if (text.isEmpty())
        text = error.driverText().trimmed();
    text = text.section(QLatin1Char('\n'), 0, 0);
    if (lost || code.startsWith(QLatin1String("08")) || code.startsWith(QLatin1String("57P"))) {
        // Closed by close(), once the queries of the operation are gone.
        m_lost = true;
        return fail(Unreachable, QStringLiteral("%1 cannot be reached (%2)").arg(location(), text));
    }
    Failure failure = OtherFailure;
    if (code.startsWith(QLatin1String("28")) || code == QLatin1String("3D000"))
        failure = CannotOpen;
    else if (code == QLatin1String("42501") || code == QLatin1String("25006"))
        failure = ReadOnlyLog;
    else if (code == QLatin1String("53100"))
        failure = DiskFull;
    else if (code == QLatin1String("40001") || code == QLatin1String("40P01") || code == QLatin1String("55P03"))
        failure = Busy;
    if (failure == ReadOnlyLog)
        return fail(failure, QStringLiteral("%1 may not be written by this user (%2)").arg(location(), text));
    return fail(failure, QStringLiteral("%1: %2 failed (%3)").arg(location(), what, text));
}

bool PgCallStore::exec(QSqlQuery& query, const QString& what)
{
    return query.exec() || failWith(query.lastError(), what);
}

bool PgCallStore::exec(const QString& sql, const QString& what)
{
    QSqlQuery query(m_db);
    return query.exec(sql) || failWith(query.lastError(), what);
}

bool PgCallStore::prepare(QSqlQuery& query, const QString& sql, const QVariantList& values)
{
    query.setForwardOnly(true);
    if (!query.prepare(sql))
        return failWith(query.lastError(), QStringLiteral("preparing"));
    for (const QVariant& v : values)
        query.addBindValue(v);
    return true;
}

bool PgCallStore::inTransaction(const QString& what, const std::function<bool()>& body)
{
    if (!m_db.transaction())
        return failWith(m_db.lastError(), what);
    const bool ok = body() && (m_db.commit() || failWith(m_db.lastError(), what));
    if (!ok && isOpen())
        m_db.rollback();
    return ok;
}

bool PgCallStore::open()
{
    close();
    clearFailure();
    m_lost = false;
    m_index = false;
    m_othersWrote = false;
    m_db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_connection);
    if (!m_db.isValid())
        return fail(OtherFailure,
                    QStringLiteral("the PostgreSQL driver of Qt is not installed (package libqt5sql5-psql)"));
    m_db.setHostName(m_database.host);
    if (m_database.port > 0)
        m_db.setPort(m_database.port);
    m_db.setDatabaseName(m_database.database);
    m_db.setUserName(m_database.user);
    m_db.setPassword(m_database.password);
    m_db.setConnectOptions(m_database.connectOptions());
    if (!m_db.open()) {
        const QString text = m_db.lastError().databaseText().trimmed().section(QLatin1Char('\n'), 0, 0);
        close();
        return fail(Unreachable, QStringLiteral("%1 cannot be reached (%2)").arg(location(), text));
    }
    if (const PGconn* connection = connectionOf(m_db)) {
        const int version = Libpq::serverVersion(connection);
        m_serverVersion = QStringLiteral("%1.%2").arg(version / 10000).arg(version % 10000);
    }
    QSqlQuery(m_db).exec(QStringLiteral("SET client_min_messages = warning"));
    // The per-day totals of a search over a season of calls group in
    // memory rather than on the server's disk.
    QSqlQuery(m_db).exec(QStringLiteral("SET work_mem = '32MB'"));
    // Compiling a search to machine code costs more than the search: the
    // planner's guess of a search's cost passes the server's threshold.
    QSqlQuery(m_db).exec(QStringLiteral("SET jit = off"));
    // Days are counted in this desk's time zone, as on a file of its own.
    QSqlQuery(m_db).exec(
        QStringLiteral("SET TIME ZONE '%1'").arg(QString::fromUtf8(QTimeZone::systemTimeZoneId()).remove('\'')));
    const bool ok = m_options.mode == ReadWrite ? migrate() : (m_version = schemaVersion()) >= 0;
    if (ok && m_version < 1) {
        fail(CannotOpen, QStringLiteral("%1 holds no call log yet").arg(location()));
    } else if (ok && m_version > SchemaVersion) {
        fail(TooNew, QStringLiteral("%1 was written by a newer version of this program").arg(location()));
    } else if (ok) {
        QSqlQuery index(m_db);
        m_index = m_options.searchIndex && index.exec(QLatin1String(kHasIndex)) && index.next();
        QSqlDriver* driver = m_db.driver();
        QObject::connect(driver, &QSqlDriver::notification, driver,
                         [this](const QString&, QSqlDriver::NotificationSource source, const QVariant&) {
                             if (source != QSqlDriver::OtherSource)
                                 return;
                             m_othersWrote = true;
                             if (m_options.onChange)
                                 m_options.onChange();
                         });
        if (driver->subscribeToNotification(QLatin1String(kChannel)))
            return true;
        failWith(driver->lastError(), QStringLiteral("listening for changes"));
    }
    close();
    return false;
}

int PgCallStore::schemaVersion()
{
    QSqlQuery meta(m_db);
    if (!meta.exec(QStringLiteral("SELECT to_regclass('mirt_meta') IS NOT NULL")) || !meta.next()) {
        failWith(meta.lastError(), QStringLiteral("reading the version"));
        return -1;
    }
    if (!meta.value(0).toBool())
        return 0;
    QSqlQuery query(m_db);
    if (!query.exec(QLatin1String(kReadVersion))) {
        failWith(query.lastError(), QStringLiteral("reading the version"));
        return -1;
    }
    return query.next() ? query.value(0).toInt() : 0;
}

bool PgCallStore::migrate()
{
    const QString what = QStringLiteral("updating the schema");
    return inTransaction(what, [&] {
        // Desks that start together wait here for each other; the second
        // finds the schema made.
        if (!exec(QLatin1String(kMigrateLock), what) || !exec(QLatin1String(kMetaTable), what))
            return false;
        m_version = schemaVersion();
        if (m_version < 0)
            return false;
        if (m_version > SchemaVersion)
            return true;
        while (m_version < SchemaVersion) {
            QSqlQuery version(m_db);
            if (!migrateStep(m_version) || !prepare(version, QLatin1String(kWriteVersion), {m_version + 1})
                || !exec(version, what))
                return false;
            ++m_version;
        }
        if (!m_options.searchIndex)
            return true;
        // The extension needs rights a station may not give this role: the
        // search works without it, reading every call.
        QSqlQuery probe(m_db);
        bool trigram = probe.exec(QLatin1String(kHasTrigram)) && probe.next();
        if (!trigram && exec(QStringLiteral("SAVEPOINT trigram"), what)) {
            trigram = QSqlQuery(m_db).exec(QLatin1String(kCreateTrigram));
            if (!exec(QLatin1String(trigram ? "RELEASE SAVEPOINT trigram" : "ROLLBACK TO SAVEPOINT trigram"), what))
                return false;
        }
        QSqlQuery index(m_db);
        if (trigram && !(index.exec(QLatin1String(kHasIndex)) && index.next()))
            return exec(QLatin1String(kCreateIndex), what);
        return true;
    });
}

// Step n takes a database from version n to n + 1. Never change a step that
// has shipped: add one.
bool PgCallStore::migrateStep(int version)
{
    switch (version) {
    case 0:
        for (const char* sql : kSchema1)
            if (!exec(QLatin1String(sql), QStringLiteral("making the schema")))
                return false;
        return true;
    default:
        return fail(OtherFailure, QStringLiteral("%1: no way to update version %2").arg(location()).arg(version));
    }
}

bool PgCallStore::notify()
{
    return exec(QLatin1String(kNotify), QStringLiteral("telling the other desks"));
}

QString PgCallStore::now() const
{
    if (m_options.leaseClock)
        return ts(QString::number(m_options.leaseClock()));
    return QStringLiteral("clock_timestamp()");
}

QString PgCallStore::leaseAlive() const
{
    return QStringLiteral("(heartbeat > %1 - interval '%2 milliseconds' AND heartbeat <= %1 + interval '1 second')")
        .arg(now())
        .arg(LeaseExpiryMs);
}

bool PgCallStore::save(const QVector<Write>& batch, QStringList* refusedUnits)
{
    if (!isOpen())
        return fail(OtherFailure, QStringLiteral("%1 is not open").arg(location()));
    clearFailure();
    if (batch.isEmpty())
        return true;
    QStringList refused;
    const QString what = QStringLiteral("writing a call");
    const bool ok = inTransaction(what, [&] {
        QSqlQuery lease(m_db), find(m_db), near(m_db), alias(m_db), update(m_db), insert(m_db);
        const QString t = ts(QStringLiteral("?"));
        if (!prepare(lease, QLatin1String(kLeaseCheck))
            || !prepare(find, QString::fromLatin1(kFind).arg(ms("last_seen"), ms("c.last_seen")))
            || !prepare(alias, QLatin1String(kAlias))
            || !prepare(near, QString::fromLatin1(kFindNear).arg(ms("last_seen"), t, t, t))
            || !prepare(update,
                        QStringLiteral("UPDATE calls SET (%1) = (%2) WHERE id = ?")
                            .arg(QLatin1String(kRecordColumns), recordValues()))
            || !prepare(insert,
                        QStringLiteral("INSERT INTO calls (%1, uid) VALUES (%2, ?) ON CONFLICT (uid) DO NOTHING")
                            .arg(QLatin1String(kRecordColumns), recordValues())))
            return false;
        QHash<QString, bool> allowed;
        for (const Write& w : batch) {
            const CallRecord& r = w.record;
            if (w.generation > 0) {
                const QString key = r.unitKey + QLatin1Char('\n') + QString::number(w.generation);
                auto it = allowed.find(key);
                if (it == allowed.end()) {
                    lease.addBindValue(notNull(r.unitKey));
                    lease.addBindValue(m_options.owner);
                    lease.addBindValue(w.generation);
                    if (!exec(lease, what))
                        return false;
                    it = allowed.insert(key, lease.next());
                    lease.finish();
                }
                if (!it.value()) {
                    if (!refused.contains(r.unitKey))
                        refused << r.unitKey;
                    continue;
                }
            }
            find.addBindValue(notNull(r.uid));
            find.addBindValue(notNull(r.uid));
            if (!exec(find, what))
                return false;
            bool found = find.next();
            QSqlQuery* row = &find;
            if (!found && w.merge) {
                near.addBindValue(notNull(r.unitKey));
                near.addBindValue(r.line);
                near.addBindValue(r.firstSeen - MergeWindowMs);
                near.addBindValue(r.firstSeen + MergeWindowMs);
                near.addBindValue(r.firstSeen);
                if (!exec(near, what))
                    return false;
                found = near.next();
                row = &near;
            }
            if (found) {
                const qint64 id = row->value(0).toLongLong();
                const bool newer = row->value(1).toLongLong() > r.lastSeen;
                row->finish();
                if (row == &near) {
                    alias.addBindValue(notNull(r.uid));
                    alias.addBindValue(id);
                    if (!exec(alias, what))
                        return false;
                }
                if (w.keepNewer && newer)
                    continue;
                bindRecord(update, r, folded(r), m_options.owner);
                update.addBindValue(id);
                if (!exec(update, what))
                    return false;
                continue;
            }
            row->finish();
            if (!w.isNew)
                continue;
            bindRecord(insert, r, folded(r), m_options.owner);
            insert.addBindValue(notNull(r.uid));
            if (!exec(insert, what))
                return false;
        }
        return notify();
    });
    if (refusedUnits)
        *refusedUnits = ok ? refused : QStringList();
    return ok;
}

bool PgCallStore::deleteWhere(const QString& condition, const QVariantList& values, int* count)
{
    QSqlQuery del(m_db);
    if (!prepare(del, QStringLiteral("DELETE FROM calls WHERE ") + condition, values)
        || !exec(del, QStringLiteral("deleting calls")))
        return false;
    if (count)
        *count = del.numRowsAffected();
    return notify();
}

bool PgCallStore::remove(const QVector<qint64>& ids)
{
    if (!isOpen())
        return fail(OtherFailure, QStringLiteral("%1 is not open").arg(location()));
    clearFailure();
    QStringList list;
    for (qint64 id : ids)
        list << QString::number(id);
    if (list.isEmpty())
        return true;
    return inTransaction(QStringLiteral("deleting calls"), [&] {
        return deleteWhere(QStringLiteral("id IN (%1)").arg(list.join(QLatin1Char(','))), {}, nullptr);
    });
}

CallStore::Retention PgCallStore::applyRetention(int days, qint64 nowMs, bool dryRun)
{
    Retention result;
    if (!isOpen()) {
        fail(OtherFailure, QStringLiteral("%1 is not open").arg(location()));
        return result;
    }
    clearFailure();
    result.ok = inTransaction(QStringLiteral("deleting old calls"), [&] {
        QSqlQuery newest(m_db);
        if (!newest.exec(QString::fromLatin1(kNewest).arg(ms("max(COALESCE(ended, last_seen))"))))
            return failWith(newest.lastError(), QStringLiteral("deleting old calls"));
        if (days <= 0 || !newest.next() || newest.value(0).isNull())
            return true;
        const qint64 newestMs = newest.value(0).toLongLong();
        if (nowMs < newestMs) {
            const auto time = [](qint64 ms) {
                return QDateTime::fromMSecsSinceEpoch(ms, Qt::LocalTime).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
            };
            result.refused = QStringLiteral("the clock of this computer (%1) is before the newest call in the log"
                                            " (%2); no old calls are deleted until it is right")
                                 .arg(time(nowMs), time(newestMs));
            return true;
        }
        const QString condition = QStringLiteral("ended IS NOT NULL AND first_seen < %1").arg(ts(QStringLiteral("?")));
        const qint64 cutoff = std::min(nowMs, newestMs) - qint64(days) * 24 * 3600 * 1000;
        if (!dryRun)
            return deleteWhere(condition, {cutoff}, &result.calls);
        QSqlQuery count(m_db);
        if (!prepare(count, QStringLiteral("SELECT count(*) FROM calls WHERE ") + condition, {cutoff})
            || !exec(count, QStringLiteral("counting old calls")) || !count.next())
            return false;
        result.calls = count.value(0).toInt();
        return true;
    });
    return result;
}

bool PgCallStore::scrub()
{
    // The server's own vacuum reclaims deleted rows; what is kept beyond
    // that is the station's backups, which are the administrator's.
    return isOpen();
}

bool PgCallStore::othersWrote()
{
    const bool wrote = m_othersWrote;
    m_othersWrote = false;
    return wrote;
}

int PgCallStore::sharedRetentionDays()
{
    QSqlQuery q(m_db);
    if (!isOpen() || !q.exec(QLatin1String(kRetentionDays)) || !q.next())
        return -1;
    return q.value(0).toInt();
}

bool PgCallStore::setSharedRetentionDays(int days)
{
    if (!isOpen())
        return fail(OtherFailure, QStringLiteral("%1 is not open").arg(location()));
    clearFailure();
    QSqlQuery q(m_db);
    return prepare(q, QLatin1String(kSetRetentionDays), {QString::number(std::max(0, days))})
        && exec(q, QStringLiteral("keeping the retention"));
}

bool PgCallStore::claimHousekeeping()
{
    if (!isOpen())
        return false;
    clearFailure();
    bool mine = false;
    inTransaction(QStringLiteral("housekeeping"), [&] {
        QSqlQuery lock(m_db), due(m_db);
        if (!lock.exec(QLatin1String(kHousekeepingLock)) || !lock.next() || !lock.value(0).toBool())
            return true;
        if (due.exec(QLatin1String(kHousekeepingDue)) && due.next())
            return true;
        mine = exec(QLatin1String(kHousekeepingDone), QStringLiteral("housekeeping"));
        return mine;
    });
    return mine;
}

QString PgCallStore::where(const CallFilter& filter, QVariantList& values) const
{
    QStringList conditions;
    const QStringList words = CallFold::fold(filter.text).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString& word : words) {
        // With the trigram index the server finds any part of three
        // letters or more from the index; shorter ones it reads call by call.
        conditions << QStringLiteral("folded LIKE ?");
        values << likePattern(word);
    }
    if (!filter.unitKey.isEmpty()) {
        conditions << QStringLiteral("unit = ?");
        values << filter.unitKey;
    }
    if (filter.outcome == CallRecord::Pending) {
        conditions << QStringLiteral("ended IS NULL");
    } else if (filter.outcome > 0) {
        // An open call is in progress, whatever it came to so far.
        conditions << QStringLiteral("ended IS NOT NULL AND outcome = ?");
        values << CallRecord::outcomeKey(CallRecord::Outcome(filter.outcome));
    }
    if (filter.from > 0) {
        conditions << QStringLiteral("first_seen >= ") + ts(QStringLiteral("?"));
        values << filter.from;
    }
    if (filter.to > 0) {
        conditions << QStringLiteral("first_seen < ") + ts(QStringLiteral("?"));
        values << filter.to;
    }
    return conditions.isEmpty() ? QString() : QStringLiteral(" WHERE ") + conditions.join(QStringLiteral(" AND "));
}

// The window's orders; what is empty or unknown goes last either way, and
// equal keys newest first.
QString PgCallStore::orderBy(const CallSort& sort)
{
    const QString direction = QLatin1String(sort.descending ? " DESC" : " ASC");
    const QString column = QLatin1String(sortKeyColumn(sort.key));
    QString keys;
    switch (sort.key) {
    case CallSort::Time:
        return QStringLiteral("first_seen%1, id%1").arg(direction);
    case CallSort::Unit:
    case CallSort::Line:
    case CallSort::Total:
        keys = column + direction;
        break;
    case CallSort::Name:
    case CallSort::Location:
    case CallSort::Topic:
        keys = QStringLiteral("%1 = '', lower(%1)%2").arg(column, direction);
        break;
    case CallSort::Wait:
        keys = QStringLiteral("wait_ms IS NULL, wait_ms") + direction;
        break;
    case CallSort::OnAir:
        keys = QStringLiteral("air_ms <= 0, air_ms") + direction;
        break;
    case CallSort::Outcome:
        keys = QStringLiteral("CASE WHEN ended IS NULL THEN 0 WHEN outcome = 'missed' THEN 1"
                              " WHEN outcome = 'answered' THEN 2 WHEN outcome = 'aired' THEN 3 ELSE 4 END")
            + direction;
        break;
    }
    return keys + QStringLiteral(", first_seen DESC, id DESC");
}

// The column a sort key orders by; none for the time and the outcome, whose
// order is made of first_seen, id, ended and outcome.
const char* PgCallStore::sortKeyColumn(CallSort::Key key)
{
    switch (key) {
    case CallSort::Unit:
        return "unit";
    case CallSort::Line:
        return "line";
    case CallSort::Name:
        return "name";
    case CallSort::Location:
        return "location";
    case CallSort::Topic:
        return "topic";
    case CallSort::Wait:
        return "wait_ms";
    case CallSort::OnAir:
        return "air_ms";
    case CallSort::Total:
        return "total_ms";
    case CallSort::Time:
    case CallSort::Outcome:
        break;
    }
    return "";
}

// What orderBy() reads beyond id, first_seen, ended, outcome and wait_ms.
QString PgCallStore::sortColumn(const CallSort& sort)
{
    const QString column = QLatin1String(sortKeyColumn(sort.key));
    return column.isEmpty() || sort.key == CallSort::Wait ? QString() : QStringLiteral(", ") + column;
}

CallQueryResult PgCallStore::query(const CallFilter& filter, int limit)
{
    return querySorted(filter, CallSort(), limit);
}

CallQueryResult PgCallStore::querySorted(const CallFilter& filter, const CallSort& sort, int limit)
{
    CallQueryResult result;
    if (!isOpen()) {
        result.error = errorText().isEmpty() ? QStringLiteral("%1 is not open").arg(location()) : errorText();
        return result;
    }
    clearFailure();
    QVariantList values;
    const QString where = this->where(filter, values);
    const auto addDay = [&result](const QDate& day, const QVariantList& v) {
        DayTotals d;
        d.day = day;
        d.calls = v.value(0).toInt();
        d.answered = v.value(1).toInt();
        d.aired = v.value(2).toInt();
        d.missed = v.value(3).toInt();
        d.meanWaitMs = v.value(4).isNull() ? -1 : qRound64(v.value(4).toDouble());
        result.matching += d.calls;
        result.days.append(d);
    };
    if (!filter.text.trimmed().isEmpty()) {
        // A search: the matching calls are read once, for the rows and the
        // totals alike (see kSearch).
        QSqlQuery rows(m_db);
        if (!prepare(rows,
                     QString::fromLatin1(kSearch).arg(where, orderBy(sort), QString::number(std::max(0, limit)),
                                                      columns(), sortColumn(sort)),
                     values)
            || !exec(rows, QStringLiteral("searching"))) {
            result.error = errorText();
            return result;
        }
        while (rows.next()) {
            if (result.days.isEmpty() && !rows.value(24).isNull()) {
                const QJsonArray days = QJsonDocument::fromJson(rows.value(24).toString().toUtf8()).array();
                for (const QJsonValue& day : days) {
                    const QJsonArray d = day.toArray();
                    QVariantList v;
                    for (int i = 1; i <= 5; ++i)
                        v << (d.at(i).isNull() ? QVariant() : QVariant(d.at(i).toDouble()));
                    addDay(QDate::fromString(d.at(0).toString(), Qt::ISODate), v);
                }
            }
            if (!rows.value(0).isNull())
                result.rows.append(readRecord(rows));
        }
    } else {
        QSqlQuery rows(m_db);
        if (!prepare(rows,
                     QStringLiteral("SELECT %1 FROM calls%2 ORDER BY %3 LIMIT %4")
                         .arg(columns(), where, orderBy(sort))
                         .arg(std::max(0, limit)),
                     values)
            || !exec(rows, QStringLiteral("searching"))) {
            result.error = errorText();
            return result;
        }
        while (rows.next())
            result.rows.append(readRecord(rows));
        QSqlQuery days(m_db);
        if (!prepare(days, QString::fromLatin1(kDays).arg(QLatin1String(kDayTotals), where), values)
            || !exec(days, QStringLiteral("counting"))) {
            result.error = errorText();
            return result;
        }
        while (days.next())
            addDay(days.value(0).toDate(), {days.value(1), days.value(2), days.value(3), days.value(4), days.value(5)});
    }
    result.units = units();
    result.ok = true;
    return result;
}

bool PgCallStore::forEachCall(const CallFilter& filter, const std::function<bool(const CallRecord&)>& visit)
{
    if (!isOpen())
        return fail(OtherFailure, QStringLiteral("%1 is not open").arg(location()));
    clearFailure();
    QVariantList values;
    const QString where = this->where(filter, values);
    QSqlQuery rows(m_db);
    if (!prepare(rows, QStringLiteral("SELECT %1 FROM calls%2 ORDER BY first_seen, id").arg(columns(), where), values)
        || !exec(rows, QStringLiteral("reading calls")))
        return false;
    while (rows.next())
        if (!visit(readRecord(rows)))
            break;
    return true;
}

QStringList PgCallStore::units()
{
    QStringList out;
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    if (!isOpen() || !q.exec(QLatin1String(kUnits)))
        return out;
    while (q.next())
        out << q.value(0).toString();
    return out;
}

QVector<CallRecord> PgCallStore::recentCalls(const QString& unitKey, qint64 sinceMs)
{
    QVector<CallRecord> out;
    if (!isOpen())
        return out;
    QSqlQuery q(m_db);
    if (!prepare(q,
                 QStringLiteral("SELECT %1 FROM calls WHERE unit = ? AND (ended IS NULL OR ended >= %2)"
                                " ORDER BY first_seen, id")
                     .arg(columns(), ts(QStringLiteral("?"))),
                 {unitKey, sinceMs})
        || !exec(q, QStringLiteral("reading open calls")))
        return out;
    while (q.next())
        out.append(readRecord(q));
    return out;
}

CallStore::Lease PgCallStore::claimLease(const QString& unitKey)
{
    Lease lease;
    if (!isOpen()) {
        fail(OtherFailure, QStringLiteral("%1 is not open").arg(location()));
        return lease;
    }
    clearFailure();
    const QString what = QStringLiteral("taking the unit's lease");
    inTransaction(what, [&] {
        QSqlQuery make(m_db), row(m_db), take(m_db);
        const QString expires = ms(QStringLiteral("heartbeat + interval '%1 milliseconds'").arg(LeaseExpiryMs))
            + QStringLiteral(" - ") + ms(now());
        if (!prepare(make, QLatin1String(kLeaseRow), {unitKey}) || !exec(make, what)
            || !prepare(row, QString::fromLatin1(kLeaseForUpdate).arg(leaseAlive(), expires), {unitKey})
            || !exec(row, what) || !row.next())
            return false;
        const QString owner = row.value(0).toString();
        const bool mine = owner == m_options.owner;
        // Nobody held it yet, or this program did last.
        lease.continued = mine || owner.isEmpty();
        const bool taken = row.value(2).toBool() && row.value(3).toBool();
        qint64 generation = row.value(1).toLongLong();
        if (!mine && taken) {
            lease.expiresInMs = std::max<qint64>(0, row.value(4).toLongLong());
            return true;
        }
        if (!(mine && taken))
            ++generation;
        if (!prepare(take, QString::fromLatin1(kLeaseTake).arg(now()), {m_options.owner, generation, unitKey})
            || !exec(take, what))
            return false;
        lease.held = true;
        lease.generation = generation;
        return true;
    });
    if (failure() != NoFailure)
        lease = Lease();
    return lease;
}

bool PgCallStore::changeLease(const QString& sql, const QVariantList& values, const QString& what)
{
    if (!isOpen())
        return fail(OtherFailure, QStringLiteral("%1 is not open").arg(location()));
    clearFailure();
    QSqlQuery q(m_db);
    if (!prepare(q, sql, values) || !exec(q, what))
        return false;
    return q.numRowsAffected() > 0;
}

bool PgCallStore::renewLease(const QString& unitKey, qint64 generation)
{
    return changeLease(QString::fromLatin1(kLeaseRenew).arg(now()), {unitKey, m_options.owner, generation},
                       QStringLiteral("renewing the unit's lease"));
}

bool PgCallStore::releaseLease(const QString& unitKey, qint64 generation)
{
    return changeLease(QString::fromLatin1(kLeaseRelease).arg(now()), {unitKey, m_options.owner, generation},
                       QStringLiteral("giving up the unit's lease"));
}

bool PgCallStore::dropLeases()
{
    return changeLease(QLatin1String(kLeaseDrop), {m_options.owner}, QStringLiteral("giving up the leases"))
        || failure() == NoFailure;
}

bool PgCallStore::closeAbandoned()
{
    if (!isOpen())
        return fail(OtherFailure, QStringLiteral("%1 is not open").arg(location()));
    clearFailure();
    return inTransaction(QStringLiteral("closing calls left open"), [&] {
        return exec(QString::fromLatin1(kCloseAbandoned).arg(leaseAlive()), QStringLiteral("closing calls left open"))
            && notify();
    });
}

// The caller history is read from the calls themselves: their folded texts
// begin with the caller's name and location.
QVector<CallerSummary> PgCallStore::findCallers(const QString& text, int limit)
{
    QVector<CallerSummary> out;
    if (!isOpen()) {
        fail(OtherFailure, QStringLiteral("%1 is not open").arg(location()));
        return out;
    }
    clearFailure();
    const QString folded = CallFold::fold(text);
    if (folded.isEmpty() || limit <= 0)
        return out;
    QSqlQuery q(m_db);
    // The trigram index narrows the calls to those with the text anywhere.
    if (!prepare(
            q,
            QStringLiteral("SELECT (array_agg(name ORDER BY first_seen DESC))[1],"
                           " (array_agg(location ORDER BY first_seen DESC))[1], count(*), %1,"
                           " COALESCE(max(f.flag), '') FROM calls LEFT JOIN caller_flags f ON f.name_folded = %2"
                           " AND f.location_folded = %3"
                           " WHERE folded LIKE ? AND %2 LIKE ? GROUP BY %2, %3 ORDER BY max(first_seen)"
                           " DESC LIMIT ?")
                .arg(ms(QStringLiteral("max(first_seen)")), QLatin1String(kCallerName), QLatin1String(kCallerLocation)),
            {likePattern(folded), likePattern(folded), limit})
        || !exec(q, QStringLiteral("looking up callers")))
        return out;
    while (q.next()) {
        CallerSummary c;
        c.name = q.value(0).toString();
        c.location = q.value(1).toString();
        c.calls = q.value(2).toInt();
        c.lastCall = q.value(3).toLongLong();
        c.flag = q.value(4).toString();
        out.append(c);
    }
    return out;
}

CallerHistory PgCallStore::callerHistory(const QString& name, const QString& town, int limit)
{
    CallerHistory result;
    if (!isOpen()) {
        result.error = QStringLiteral("%1 is not open").arg(location());
        return result;
    }
    clearFailure();
    const QString foldedName = CallFold::fold(name);
    const QString foldedLocation = CallFold::fold(town);
    if (foldedName.isEmpty()) {
        result.ok = true;
        return result;
    }
    const QVariantList key = {foldedName, foldedLocation, foldedLocation};
    const QString calls = callerMatch(QLatin1String(kCallerName), QLatin1String(kCallerLocation));
    const QString what = QStringLiteral("reading a caller's calls");
    QSqlQuery count(m_db), flag(m_db), rows(m_db);
    if (!prepare(count, QStringLiteral("SELECT count(*), count(ended) FROM calls WHERE ") + calls, key)
        || !exec(count, what) || !count.next()) {
        result.error = errorText();
        return result;
    }
    result.calls = count.value(0).toInt();
    result.endedCalls = count.value(1).toInt();
    if (!prepare(flag,
                 QStringLiteral("SELECT flag FROM caller_flags WHERE %1 AND flag <> ''"
                                " ORDER BY location_folded = ? DESC LIMIT 1")
                     .arg(callerMatch(QStringLiteral("name_folded"), QStringLiteral("location_folded"))),
                 key + QVariantList{foldedLocation})
        || !exec(flag, what)) {
        result.error = errorText();
        return result;
    }
    if (flag.next())
        result.flag = flag.value(0).toString();
    if (!prepare(rows,
                 QStringLiteral("SELECT %1 FROM calls WHERE %2 ORDER BY first_seen DESC, id DESC LIMIT %3")
                     .arg(columns(), calls)
                     .arg(std::max(0, limit)),
                 key)
        || !exec(rows, what)) {
        result.error = errorText();
        return result;
    }
    while (rows.next())
        result.rows.append(readRecord(rows));
    result.ok = true;
    return result;
}

bool PgCallStore::setCallerFlag(const QString& name, const QString& town, const QString& flag)
{
    if (!isOpen())
        return fail(OtherFailure, QStringLiteral("%1 is not open").arg(location()));
    clearFailure();
    const QString foldedName = CallFold::fold(name);
    const QString foldedLocation = CallFold::fold(town);
    const QString text = flag.simplified().left(CallerHistory::MaxFlagLength);
    int changed = 0;
    const QString what = QStringLiteral("setting a caller's flag");
    const bool ok = inTransaction(what, [&] {
        QSqlQuery q(m_db);
        if (!prepare(q,
                     QStringLiteral("INSERT INTO caller_flags SELECT DISTINCT %1, %2, ? FROM calls WHERE %3"
                                    " ON CONFLICT (name_folded, location_folded) DO UPDATE SET flag = excluded.flag")
                         .arg(QLatin1String(kCallerName), QLatin1String(kCallerLocation),
                              callerMatch(QLatin1String(kCallerName), QLatin1String(kCallerLocation))),
                     {text, foldedName, foldedLocation, foldedLocation})
            || !exec(q, what))
            return false;
        changed = q.numRowsAffected();
        return notify();
    });
    if (ok && changed <= 0)
        return fail(OtherFailure, QStringLiteral("%1 holds no calls of %2").arg(location(), name));
    return ok;
}
