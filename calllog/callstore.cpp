#include "calllog/callstore.h"

#include "calllog/callcsv.h"

#include <QAtomicInt>
#include <QDir>
#include <QFileInfo>
#include <QIODevice>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

QAtomicInt connectionCounter;

// Column order of every SELECT; readRecord() reads by these positions.
const char* const kSelectColumns
    = "id, uid, unit, username, line, first_seen, answered, first_on_air, ended, last_seen, hold_ms, air_ms, "
      "wait_ms, outcome, priority, partial, name, location, topic, notes, gender, mood";

// Schema steps: entry n takes a file from version n to version n + 1. A new
// file runs them all; an older one only those it lacks. Never edit a step
// that has shipped: add one.
const QStringList kSchemaSteps[CallStore::SchemaVersion] = {
    // 1: the calls, one row each.
    {QStringLiteral("CREATE TABLE calls ("
                    " id INTEGER PRIMARY KEY,"
                    " uid TEXT NOT NULL UNIQUE,"
                    " unit TEXT NOT NULL,"
                    " username TEXT NOT NULL DEFAULT '',"
                    " line INTEGER NOT NULL,"
                    " first_seen INTEGER NOT NULL,"
                    " answered INTEGER,"
                    " first_on_air INTEGER,"
                    " ended INTEGER,"
                    " last_seen INTEGER NOT NULL,"
                    " hold_ms INTEGER NOT NULL DEFAULT 0,"
                    " air_ms INTEGER NOT NULL DEFAULT 0,"
                    " wait_ms INTEGER,"
                    " outcome TEXT,"
                    " priority INTEGER NOT NULL DEFAULT 0,"
                    " partial INTEGER NOT NULL DEFAULT 0,"
                    " name TEXT NOT NULL DEFAULT '',"
                    " location TEXT NOT NULL DEFAULT '',"
                    " topic TEXT NOT NULL DEFAULT '',"
                    " notes TEXT NOT NULL DEFAULT '',"
                    " gender TEXT NOT NULL DEFAULT '',"
                    " mood TEXT NOT NULL DEFAULT '')"),
     QStringLiteral("CREATE INDEX calls_by_time ON calls(first_seen)"),
     QStringLiteral("CREATE INDEX calls_by_unit ON calls(unit, first_seen)")},
    // 2: a trigram index over the caller texts, so a search for any part of
    // a word does not read every call.
    {QStringLiteral("CREATE VIRTUAL TABLE calls_search USING fts5(name, location, topic, notes,"
                    " content='calls', content_rowid='id', tokenize='trigram')"),
     QStringLiteral("CREATE TRIGGER calls_search_insert AFTER INSERT ON calls BEGIN"
                    " INSERT INTO calls_search(rowid, name, location, topic, notes)"
                    " VALUES (new.id, new.name, new.location, new.topic, new.notes); END"),
     QStringLiteral("CREATE TRIGGER calls_search_delete AFTER DELETE ON calls BEGIN"
                    " INSERT INTO calls_search(calls_search, rowid, name, location, topic, notes)"
                    " VALUES ('delete', old.id, old.name, old.location, old.topic, old.notes); END"),
     QStringLiteral("CREATE TRIGGER calls_search_update AFTER UPDATE OF name, location, topic, notes ON calls"
                    " WHEN old.name IS NOT new.name OR old.location IS NOT new.location"
                    " OR old.topic IS NOT new.topic OR old.notes IS NOT new.notes BEGIN"
                    " INSERT INTO calls_search(calls_search, rowid, name, location, topic, notes)"
                    " VALUES ('delete', old.id, old.name, old.location, old.topic, old.notes);"
                    " INSERT INTO calls_search(rowid, name, location, topic, notes)"
                    " VALUES (new.id, new.name, new.location, new.topic, new.notes); END"),
     QStringLiteral("INSERT INTO calls_search(calls_search) VALUES ('rebuild')")},
};

QVariant nullable(qint64 ms)
{
    return ms > 0 ? QVariant(ms) : QVariant();
}

// The columns of text are NOT NULL; a null string is an empty one.
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

CallStore::Failure classify(const QSqlError& error)
{
    bool ok = false;
    // The driver reports SQLite's primary result code.
    const int code = error.nativeErrorCode().toInt(&ok) & 0xff;
    if (!ok)
        return CallStore::OtherFailure;
    switch (code) {
    case 5: // SQLITE_BUSY
    case 6: // SQLITE_LOCKED
        return CallStore::Locked;
    case 8: // SQLITE_READONLY
        return CallStore::ReadOnlyFile;
    case 11: // SQLITE_CORRUPT
    case 26: // SQLITE_NOTADB
        return CallStore::Corrupt;
    case 14: // SQLITE_CANTOPEN
        return CallStore::CannotOpen;
    default:
        return CallStore::OtherFailure;
    }
}

} // namespace

CallStore::CallStore(const QString& path)
    : m_path(path)
    , m_connection(QStringLiteral("mirt_calllog_%1").arg(connectionCounter.fetchAndAddRelaxed(1)))
{
}

CallStore::~CallStore()
{
    close();
}

bool CallStore::isOpen() const
{
    return m_db.isOpen();
}

void CallStore::close()
{
    if (m_db.isValid()) {
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_connection);
    }
}

bool CallStore::fail(const QSqlError& error, const QString& what)
{
    const QString file = QDir::toNativeSeparators(m_path);
    m_failure = classify(error);
    switch (m_failure) {
    case CannotOpen:
        m_error = QStringLiteral("%1 cannot be opened (%2)").arg(file, error.text());
        break;
    case Locked:
        m_error = QStringLiteral("%1 is locked by another program").arg(file);
        break;
    case Corrupt:
        m_error = QStringLiteral("%1 is damaged or is not a call log").arg(file);
        break;
    case ReadOnlyFile:
        m_error = QStringLiteral("%1 is read-only").arg(file);
        break;
    default:
        m_error = QStringLiteral("%1: %2 failed (%3)").arg(file, what, error.text());
        break;
    }
    return false;
}

bool CallStore::exec(QSqlQuery& query, const QString& what)
{
    if (query.exec())
        return true;
    return fail(query.lastError(), what);
}

bool CallStore::exec(const QString& sql, const QString& what)
{
    QSqlQuery query(m_db);
    if (query.exec(sql))
        return true;
    return fail(query.lastError(), what);
}

bool CallStore::open(int busyTimeoutMs, int retentionDays, qint64 nowMs, Mode mode)
{
    close();
    m_failure = NoFailure;
    m_error.clear();

    const QString file = QDir::toNativeSeparators(m_path);
    const QFileInfo info(m_path);
    if (info.isDir() || (mode == ReadWrite && !QDir().mkpath(info.absolutePath()))) {
        m_failure = CannotOpen;
        m_error = QStringLiteral("%1 cannot be opened (%2)")
                      .arg(file,
                           info.isDir() ? QStringLiteral("it is a folder")
                                        : QStringLiteral("its folder cannot be created"));
        return false;
    }

    m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    if (!m_db.isValid()) {
        m_failure = OtherFailure;
        m_error = QStringLiteral("the SQLite driver of Qt is not installed (package libqt5sql5-sqlite)");
        return false;
    }
    m_db.setDatabaseName(m_path);
    // Another program on this computer may be writing; wait for it this long.
    m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1%2")
                               .arg(std::max(0, busyTimeoutMs))
                               .arg(mode == ReadOnly ? QStringLiteral(";QSQLITE_OPEN_READONLY") : QString()));
    if (!m_db.open()) {
        fail(m_db.lastError(), QStringLiteral("opening"));
        close();
        return false;
    }

    if (!initialise(retentionDays, nowMs, mode)) {
        close();
        return false;
    }
    return true;
}

bool CallStore::initialise(int retentionDays, qint64 nowMs, Mode mode)
{
    const QString file = QDir::toNativeSeparators(m_path);
    // A file that is no database at all only shows with the first read.
    if (mode == ReadWrite) {
        QSqlQuery query(m_db);
        if (!query.exec(QStringLiteral("PRAGMA journal_mode=WAL")))
            return fail(query.lastError(), QStringLiteral("setting the journal"));
    }
    if (mode == ReadWrite
        && !exec(QStringLiteral("PRAGMA synchronous=NORMAL"), QStringLiteral("setting the sync mode")))
        return false;
    // A search reads the whole index and the matching calls; with a season
    // of calls in memory (32 MB at most) it does not go to the file for them
    // again on every keystroke.
    if (!exec(QStringLiteral("PRAGMA cache_size=-32768"), QStringLiteral("setting the cache"))
        || !exec(QStringLiteral("PRAGMA mmap_size=268435456"), QStringLiteral("setting the cache")))
        return false;
    {
        QSqlQuery query(m_db);
        if (!query.exec(QStringLiteral("PRAGMA quick_check")))
            return fail(query.lastError(), QStringLiteral("checking"));
        if (!query.next() || query.value(0).toString() != QLatin1String("ok")) {
            m_failure = Corrupt;
            m_error = QStringLiteral("%1 is damaged or is not a call log").arg(file);
            return false;
        }
    }

    const int version = schemaVersion();
    if (version < 0)
        return false;
    if (version > SchemaVersion) {
        m_failure = TooNew;
        m_error = QStringLiteral("%1 was written by a newer version of this program").arg(file);
        return false;
    }
    if (mode == ReadOnly)
        return true;
    return migrate(version) && housekeeping(retentionDays, nowMs);
}

int CallStore::schemaVersion()
{
    QSqlQuery query(m_db);
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next()) {
        fail(query.lastError(), QStringLiteral("reading the version"));
        return -1;
    }
    return query.value(0).toInt();
}

bool CallStore::migrate(int from)
{
    for (int version = from; version < SchemaVersion; ++version) {
        const bool ok = inTransaction(QStringLiteral("starting the update"), QStringLiteral("updating"), [&] {
            for (const QString& sql : kSchemaSteps[version])
                if (!exec(sql, QStringLiteral("updating to version %1").arg(version + 1)))
                    return false;
            return exec(QStringLiteral("PRAGMA user_version = %1").arg(version + 1), QStringLiteral("updating"));
        });
        if (!ok)
            return false;
    }
    return true;
}

bool CallStore::inTransaction(const QString& starting, const QString& committing, const std::function<bool()>& body)
{
    if (!exec(QStringLiteral("BEGIN IMMEDIATE"), starting))
        return false;
    const bool ok = body() && exec(QStringLiteral("COMMIT"), committing);
    if (!ok)
        QSqlQuery(m_db).exec(QStringLiteral("ROLLBACK"));
    return ok;
}

bool CallStore::housekeeping(int retentionDays, qint64 nowMs)
{
    // A write transaction at once, so a file that cannot be written is found
    // now and not in the middle of the show.
    return inTransaction(QStringLiteral("starting"), QStringLiteral("committing"), [&] {
        QSqlQuery stale(m_db);
        stale.prepare(QStringLiteral("UPDATE calls SET ended = last_seen, partial = 1,"
                                     " outcome = COALESCE(outcome, 'missed') WHERE ended IS NULL"));
        if (!exec(stale, QStringLiteral("closing calls left open")))
            return false;
        if (retentionDays <= 0)
            return true;
        QSqlQuery old(m_db);
        old.prepare(QStringLiteral("DELETE FROM calls WHERE first_seen < ?"));
        old.addBindValue(nowMs - qint64(retentionDays) * 24 * 3600 * 1000);
        return exec(old, QStringLiteral("deleting old calls"));
    });
}

bool CallStore::save(const QVector<Write>& batch)
{
    if (!isOpen())
        return false;
    if (batch.isEmpty())
        return true;
    return inTransaction(QStringLiteral("starting a write"), QStringLiteral("committing"), [&] {
        QSqlQuery update(m_db);
        update.prepare(QStringLiteral(
            "UPDATE calls SET unit = ?, username = ?, line = ?, first_seen = ?, answered = ?, first_on_air = ?,"
            " ended = ?, last_seen = ?, hold_ms = ?, air_ms = ?, wait_ms = ?, outcome = ?, priority = ?,"
            " partial = ?, name = ?, location = ?, topic = ?, notes = ?, gender = ?, mood = ? WHERE uid = ?"));
        QSqlQuery insert(m_db);
        insert.prepare(QStringLiteral(
            "INSERT INTO calls (unit, username, line, first_seen, answered, first_on_air, ended, last_seen,"
            " hold_ms, air_ms, wait_ms, outcome, priority, partial, name, location, topic, notes, gender, mood,"
            " uid) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));

        const auto bind = [](QSqlQuery& q, const CallRecord& r) {
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
            q.addBindValue(r.waitMs >= 0 ? QVariant(r.waitMs) : QVariant());
            q.addBindValue(outcome.isEmpty() ? QVariant() : QVariant(outcome));
            q.addBindValue(r.priority ? 1 : 0);
            q.addBindValue(r.partial ? 1 : 0);
            q.addBindValue(notNull(r.name));
            q.addBindValue(notNull(r.location));
            q.addBindValue(notNull(r.topic));
            q.addBindValue(notNull(r.notes));
            q.addBindValue(notNull(r.gender));
            q.addBindValue(notNull(r.mood));
            q.addBindValue(notNull(r.uid));
        };

        bool ok = true;
        for (const Write& w : batch) {
            bind(update, w.record);
            if (!exec(update, QStringLiteral("writing a call"))) {
                ok = false;
                break;
            }
            if (update.numRowsAffected() > 0 || !w.isNew)
                continue;
            bind(insert, w.record);
            if (!exec(insert, QStringLiteral("writing a call"))) {
                ok = false;
                break;
            }
        }
        update.finish();
        insert.finish();
        return ok;
    });
}

bool CallStore::remove(const QVector<qint64>& ids)
{
    if (!isOpen())
        return false;
    return inTransaction(QStringLiteral("starting a delete"), QStringLiteral("committing"), [&] {
        QSqlQuery del(m_db);
        del.prepare(QStringLiteral("DELETE FROM calls WHERE id = ?"));
        bool ok = true;
        for (qint64 id : ids) {
            del.addBindValue(id);
            if (!exec(del, QStringLiteral("deleting a call"))) {
                ok = false;
                break;
            }
        }
        del.finish();
        return ok;
    });
}

QString CallStore::where(const CallFilter& filter, QVariantList& values) const
{
    QStringList conditions;
    QStringList phrases;
    QVariantList likeValues;
    QStringList likeConditions;
    static const QRegularExpression space(QStringLiteral("\\s+"));
    const QStringList words = filter.text.split(space, Qt::SkipEmptyParts);
    for (QString word : words) {
        // The trigram index finds any part of three characters or more;
        // shorter words are looked for row by row.
        if (word.toUcs4().size() >= 3) {
            word.replace(QLatin1Char('"'), QLatin1String("\"\""));
            phrases << QLatin1Char('"') + word + QLatin1Char('"');
        } else {
            likeConditions << QStringLiteral("(name LIKE ? ESCAPE '\\' OR location LIKE ? ESCAPE '\\'"
                                             " OR topic LIKE ? ESCAPE '\\' OR notes LIKE ? ESCAPE '\\')");
            const QString pattern = likePattern(word);
            for (int i = 0; i < 4; ++i)
                likeValues << pattern;
        }
    }
    if (!phrases.isEmpty()) {
        conditions << QStringLiteral("id IN (SELECT rowid FROM calls_search WHERE calls_search MATCH ?)");
        values << phrases.join(QStringLiteral(" AND "));
    }
    conditions << likeConditions;
    values << likeValues;
    if (!filter.unitKey.isEmpty()) {
        conditions << QStringLiteral("unit = ?");
        values << filter.unitKey;
    }
    if (filter.outcome == CallRecord::Pending) {
        conditions << QStringLiteral("ended IS NULL");
    } else if (filter.outcome > 0) {
        conditions << QStringLiteral("outcome = ?");
        values << CallRecord::outcomeKey(CallRecord::Outcome(filter.outcome));
    }
    if (filter.from > 0) {
        conditions << QStringLiteral("first_seen >= ?");
        values << filter.from;
    }
    if (filter.to > 0) {
        conditions << QStringLiteral("first_seen < ?");
        values << filter.to;
    }
    if (conditions.isEmpty())
        return QString();
    return QStringLiteral(" WHERE ") + conditions.join(QStringLiteral(" AND "));
}

CallRecord CallStore::readRecord(const QSqlQuery& q) const
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
    r.priority = q.value(14).toInt() != 0;
    r.partial = q.value(15).toInt() != 0;
    r.name = q.value(16).toString();
    r.location = q.value(17).toString();
    r.topic = q.value(18).toString();
    r.notes = q.value(19).toString();
    r.gender = q.value(20).toString();
    r.mood = q.value(21).toString();
    return r;
}

CallQueryResult CallStore::query(const CallFilter& filter, int limit)
{
    CallQueryResult result;
    if (!isOpen()) {
        result.error = m_error;
        return result;
    }
    QVariantList values;
    const QString where = this->where(filter, values);

    QSqlQuery rows(m_db);
    rows.setForwardOnly(true);
    // The newest calls are chosen by time alone, and only they are read
    // whole: sorting every matching call with all its texts costs more.
    rows.prepare(QStringLiteral("SELECT %1 FROM calls WHERE id IN (SELECT id FROM calls%2"
                                " ORDER BY first_seen DESC, id DESC LIMIT ?) ORDER BY first_seen DESC, id DESC")
                     .arg(QLatin1String(kSelectColumns), where));
    for (const QVariant& v : qAsConst(values))
        rows.addBindValue(v);
    rows.addBindValue(std::max(0, limit));
    if (!exec(rows, QStringLiteral("searching"))) {
        result.error = m_error;
        return result;
    }
    while (rows.next())
        result.rows.append(readRecord(rows));
    rows.finish();

    QSqlQuery days(m_db);
    days.setForwardOnly(true);
    days.prepare(QStringLiteral("SELECT date(first_seen / 1000, 'unixepoch', 'localtime'), count(*),"
                                " sum(outcome = 'answered'), sum(outcome = 'aired'), sum(outcome = 'missed'),"
                                " avg(wait_ms) FROM calls%1 GROUP BY 1 ORDER BY 1 DESC")
                     .arg(where));
    for (const QVariant& v : qAsConst(values))
        days.addBindValue(v);
    if (!exec(days, QStringLiteral("counting"))) {
        result.error = m_error;
        return result;
    }
    while (days.next()) {
        DayTotals d;
        d.day = QDate::fromString(days.value(0).toString(), Qt::ISODate);
        d.calls = days.value(1).toInt();
        d.answered = days.value(2).toInt();
        d.aired = days.value(3).toInt();
        d.missed = days.value(4).toInt();
        d.meanWaitMs = days.value(5).isNull() ? -1 : qRound64(days.value(5).toDouble());
        result.matching += d.calls;
        result.days.append(d);
    }
    result.ok = true;
    return result;
}

bool CallStore::exportCsv(const CallFilter& filter, QIODevice& out, int* rowCount)
{
    if (rowCount)
        *rowCount = 0;
    if (!isOpen())
        return false;
    QVariantList values;
    const QString where = this->where(filter, values);
    QSqlQuery rows(m_db);
    rows.setForwardOnly(true);
    rows.prepare(
        QStringLiteral("SELECT %1 FROM calls%2 ORDER BY first_seen, id").arg(QLatin1String(kSelectColumns), where));
    for (const QVariant& v : qAsConst(values))
        rows.addBindValue(v);
    if (!exec(rows, QStringLiteral("exporting")))
        return false;
    if (out.write(CallCsv::line(CallCsv::header()).toUtf8()) < 0)
        return false;
    int count = 0;
    while (rows.next()) {
        if (out.write(CallCsv::line(CallCsv::fields(readRecord(rows))).toUtf8()) < 0)
            return false;
        ++count;
    }
    if (rowCount)
        *rowCount = count;
    return true;
}

QStringList CallStore::units()
{
    QStringList out;
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    if (!isOpen() || !q.exec(QStringLiteral("SELECT DISTINCT unit FROM calls ORDER BY unit")))
        return out;
    while (q.next())
        out << q.value(0).toString();
    return out;
}
