#include "calllog/sqlitecallstore.h"

#include "calllog/callfold.h"
#include "calllog/privatefile.h"

#include <QAtomicInt>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QVariant>

#include <algorithm>
#include <tuple>
#include <vector>

namespace {

QAtomicInt connectionCounter;

// The columns of every SELECT of whole calls; readRecord() reads by these
// positions. A file of an older version read without migrating (the
// export) has no total, which the moments give closely enough.
const char* const kColumns
    = "id, uid, unit, username, line, first_seen, answered, first_on_air, ended, last_seen, hold_ms, air_ms, "
      "wait_ms, outcome, priority, partial, name, location, topic, notes, gender, mood, ";
const char* const kTotal = "total_ms";
const char* const kOldTotal = "COALESCE(ended, last_seen) - first_seen";
// The flag of the call's caller, after the total; none in a file of an
// older version.
const char* const kFlag = ", COALESCE((SELECT flag FROM callers c WHERE c.name_folded = calls.caller_name"
                          " AND c.location_folded = calls.caller_location), '')";
const char* const kNoFlag = ", ''";

// The search index's condition of where(); the one pass over the matches
// joins the index instead, which spares a list of every match's key.
const char* const kInIndex = "id IN (SELECT rowid FROM calls_fold WHERE calls_fold MATCH ?)";
const char* const kJoinIndex = " calls_fold CROSS JOIN calls ON calls.id = calls_fold.rowid";

const char* const kIndexSql = "CREATE VIRTUAL TABLE calls_fold USING fts5(folded, content='calls',"
                              " content_rowid='id', tokenize='trigram case_sensitive 1')";

// Between the folded fields: no folded text holds a line break, so no
// search word matches across two fields.
const QChar kFieldBreak = QLatin1Char('\n');

QString folded(const CallRecord& r)
{
    return CallFold::fold(r.name) + kFieldBreak + CallFold::fold(r.location) + kFieldBreak + CallFold::fold(r.topic)
        + kFieldBreak + CallFold::fold(r.notes);
}

// The caller's key from a call's folded texts: its name and location.
QPair<QString, QString> callerOf(const QString& foldedTexts)
{
    const QStringList parts = foldedTexts.split(kFieldBreak);
    return {parts.value(0), parts.value(1)};
}

// Which callers a name and location stand for: the same folded name, and
// the same location unless one of the two has none. Binds name, location,
// location.
QString callerMatch(const QString& nameColumn, const QString& locationColumn)
{
    return QStringLiteral("%1 = ? AND (? = '' OR %2 = ? OR %2 = '')").arg(nameColumn, locationColumn);
}

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
    // The driver reports SQLite's result code; the low byte is the primary.
    const int code = error.nativeErrorCode().toInt(&ok) & 0xff;
    if (!ok)
        return CallStore::OtherFailure;
    switch (code) {
    case 5: // SQLITE_BUSY
    case 6: // SQLITE_LOCKED
        return CallStore::Busy;
    case 8: // SQLITE_READONLY
        return CallStore::ReadOnlyLog;
    case 10: // SQLITE_IOERR
        return CallStore::IoError;
    case 11: // SQLITE_CORRUPT
    case 26: // SQLITE_NOTADB
        return CallStore::Damaged;
    case 13: // SQLITE_FULL
        return CallStore::DiskFull;
    case 14: // SQLITE_CANTOPEN
        return CallStore::CannotOpen;
    default:
        return CallStore::OtherFailure;
    }
}

} // namespace

SqliteCallStore::SqliteCallStore(const QString& path)
    : SqliteCallStore(path, Options())
{
}

SqliteCallStore::SqliteCallStore(const QString& path, const Options& options)
    : m_path(path)
    , m_options(options)
    , m_connection(QStringLiteral("mirt_calllog_%1").arg(connectionCounter.fetchAndAddRelaxed(1)))
{
    if (!m_options.leaseClock)
        m_options.leaseClock = &CallStore::monotonicMs;
}

SqliteCallStore::~SqliteCallStore()
{
    close();
}

bool SqliteCallStore::isOpen() const
{
    return m_db.isOpen();
}

void SqliteCallStore::close()
{
    if (m_db.isValid()) {
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_connection);
    }
}

QString SqliteCallStore::location() const
{
    return QDir::toNativeSeparators(m_path);
}

bool SqliteCallStore::hasSearchIndex() const
{
    return m_index;
}

qint64 SqliteCallStore::leaseNow() const
{
    return m_options.leaseClock();
}

bool SqliteCallStore::failWith(const QSqlError& error, const QString& what)
{
    const QString file = location();
    const Failure failure = classify(error);
    switch (failure) {
    case Busy:
        return fail(failure, QStringLiteral("%1 is locked by another program").arg(file));
    case DiskFull:
        return fail(failure, QStringLiteral("the disk of %1 is full").arg(file));
    case IoError:
        return fail(failure, QStringLiteral("%1 cannot be written or read (%2)").arg(file, error.databaseText()));
    case CannotOpen:
        return fail(failure, QStringLiteral("%1 cannot be opened (%2)").arg(file, error.text()));
    case Damaged:
        return fail(failure, QStringLiteral("%1 is damaged or is not a call log").arg(file));
    case ReadOnlyLog:
        return fail(failure, QStringLiteral("%1 is read-only").arg(file));
    default:
        return fail(failure, QStringLiteral("%1: %2 failed (%3)").arg(file, what, error.text()));
    }
}

bool SqliteCallStore::exec(QSqlQuery& query, const QString& what)
{
    return query.exec() || failWith(query.lastError(), what);
}

bool SqliteCallStore::exec(const QString& sql, const QString& what)
{
    QSqlQuery query(m_db);
    return query.exec(sql) || failWith(query.lastError(), what);
}

bool SqliteCallStore::inTransaction(const QString& what, const std::function<bool()>& body)
{
    // Immediate: the write lock at once, so the body reads what it writes
    // over with no other program in between.
    if (!exec(QStringLiteral("BEGIN IMMEDIATE"), what))
        return false;
    const bool ok = body() && exec(QStringLiteral("COMMIT"), what);
    if (!ok)
        QSqlQuery(m_db).exec(QStringLiteral("ROLLBACK"));
    return ok;
}

void SqliteCallStore::setBusyTimeout(int ms)
{
    if (isOpen())
        QSqlQuery(m_db).exec(QStringLiteral("PRAGMA busy_timeout = %1").arg(std::max(0, ms)));
}

bool SqliteCallStore::open()
{
    close();
    clearFailure();
    m_trigram = m_index = false;
    m_dataVersion = -1;

    const QString file = location();
    const QFileInfo info(m_path);
    const QString folder = info.absolutePath();
    const bool writing = m_options.mode == ReadWrite;
    if (info.isDir())
        return fail(CannotOpen, QStringLiteral("%1 cannot be opened (it is a folder)").arg(file));
    if (writing) {
        if (!QFileInfo::exists(folder) && !QDir().mkpath(folder))
            return fail(CannotOpen, QStringLiteral("%1 cannot be opened (its folder cannot be created)").arg(file));
        // The owner's write bits say what the user wants, also to the
        // superuser, whom the system would let write anyway.
        if (!PrivateFile::ownerWritable(folder))
            return fail(ReadOnlyLog, QStringLiteral("the folder of %1 is read-only").arg(file));
        if (info.exists() && !PrivateFile::ownerWritable(m_path))
            return fail(ReadOnlyLog, QStringLiteral("%1 is read-only").arg(file));
        // Made owner-only before SQLite opens it: its journal files take
        // the database's mode when SQLite creates them.
        QString error;
        if (!PrivateFile::create(m_path, &error))
            return fail(CannotOpen, QStringLiteral("%1 cannot be opened (%2)").arg(file, error));
        for (const char* suffix : {"", "-wal", "-shm"})
            PrivateFile::restrict(m_path + QLatin1String(suffix));
    } else if (!info.exists()) {
        return fail(CannotOpen, QStringLiteral("%1 cannot be opened (there is no such file)").arg(file));
    }

    m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    if (!m_db.isValid())
        return fail(OtherFailure,
                    QStringLiteral("the SQLite driver of Qt is not installed (package libqt5sql5-sqlite)"));
    m_db.setDatabaseName(m_path);
    m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1%2")
                               .arg(std::max(0, m_options.busyTimeoutMs))
                               .arg(writing ? QString() : QStringLiteral(";QSQLITE_OPEN_READONLY")));
    if (!m_db.open()) {
        failWith(m_db.lastError(), QStringLiteral("opening"));
        close();
        return false;
    }
    if (!initialise()) {
        close();
        return false;
    }
    return true;
}

bool SqliteCallStore::initialise()
{
    const bool writing = m_options.mode == ReadWrite;
    // A file that is no database at all only shows with the first read.
    // Two programs that make a new file at once both switch its journal,
    // and SQLite answers one of them "busy" at once instead of waiting.
    if (writing) {
        QElapsedTimer waited;
        waited.start();
        QSqlQuery journal(m_db);
        while (!journal.exec(QStringLiteral("PRAGMA journal_mode=WAL"))) {
            if (classify(journal.lastError()) != Busy || waited.elapsed() > m_options.busyTimeoutMs)
                return failWith(journal.lastError(), QStringLiteral("setting the journal"));
            QThread::msleep(20);
        }
        if (!exec(QStringLiteral("PRAGMA synchronous=NORMAL"), QStringLiteral("setting the sync mode")))
            return false;
    }
    // Deleted callers' details are overwritten, not left in free pages.
    // A search reads the whole index and the matching calls; with a season
    // of calls in memory (32 MB at most) it does not go to the file for them
    // again on every keystroke.
    if (!exec(QStringLiteral("PRAGMA secure_delete=ON"), QStringLiteral("setting secure deletion"))
        || !exec(QStringLiteral("PRAGMA cache_size=-32768"), QStringLiteral("setting the cache"))
        || !exec(QStringLiteral("PRAGMA mmap_size=268435456"), QStringLiteral("setting the cache")))
        return false;
    {
        QSqlQuery query(m_db);
        if (!query.exec(QStringLiteral("PRAGMA quick_check")))
            return failWith(query.lastError(), QStringLiteral("checking"));
        if (!query.next() || query.value(0).toString() != QLatin1String("ok"))
            return fail(Damaged, QStringLiteral("%1 is damaged or is not a call log").arg(location()));
    }
    m_version = schemaVersion();
    if (m_version < 0)
        return false;
    if (m_version > SchemaVersion)
        return fail(TooNew, QStringLiteral("%1 was written by a newer version of this program").arg(location()));
    m_trigram = m_options.searchIndex && probeTrigram();
    if (!writing) {
        m_index = m_trigram && m_version >= 3 && tableExists(QStringLiteral("calls_fold"));
        othersWrote();
        return true;
    }
    if (!migrate() || !upkeepIndex())
        return false;
    othersWrote();
    return true;
}

int SqliteCallStore::schemaVersion()
{
    QSqlQuery query(m_db);
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next()) {
        failWith(query.lastError(), QStringLiteral("reading the version"));
        return -1;
    }
    return query.value(0).toInt();
}

bool SqliteCallStore::probeTrigram()
{
    QSqlQuery probe(m_db);
    const bool ok
        = probe.exec(QStringLiteral("CREATE VIRTUAL TABLE temp.mirt_probe USING fts5(x, tokenize='trigram')"));
    if (ok)
        probe.exec(QStringLiteral("DROP TABLE temp.mirt_probe"));
    return ok;
}

bool SqliteCallStore::tableExists(const QString& name)
{
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral("SELECT 1 FROM sqlite_master WHERE name = ?"));
    query.addBindValue(name);
    return query.exec() && query.next();
}

bool SqliteCallStore::migrate()
{
    while (m_version < SchemaVersion) {
        const bool ok = inTransaction(QStringLiteral("updating the file"), [&] {
            // Another program may have migrated since the version was read.
            m_version = schemaVersion();
            if (m_version < 0)
                return false;
            if (m_version >= SchemaVersion)
                return true;
            if (!migrateStep(m_version)
                || !exec(QStringLiteral("PRAGMA user_version = %1").arg(m_version + 1), QStringLiteral("updating")))
                return false;
            ++m_version;
            return true;
        });
        if (!ok) {
            m_version = schemaVersion();
            return false;
        }
    }
    return true;
}

// Step n takes a file from version n to n + 1. Never change a step that has
// shipped, except to take out what breaks files elsewhere: add a step.
bool SqliteCallStore::migrateStep(int version)
{
    const auto run = [this](const QStringList& statements) {
        for (const QString& sql : statements)
            if (!exec(sql, QStringLiteral("updating the file")))
                return false;
        return true;
    };
    switch (version) {
    case 0:
        return run({QStringLiteral("CREATE TABLE calls ("
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
                    QStringLiteral("CREATE INDEX calls_by_unit ON calls(unit, first_seen)")});
    case 1:
        // Once a trigram index kept by triggers. The step failed on a SQLite
        // without the tokenizer; the index is now optional and kept apart
        // from the versions (upkeepIndex), so this step has nothing to do.
        return true;
    case 2: {
        // The triggers of version 2 call the index, so a SQLite without
        // the tokenizer could not write the calls; the writer keeps the
        // index itself now. Each call gains its folded texts, its total
        // time as counted, and the program that owns it while it is open.
        if (!run({QStringLiteral("DROP TRIGGER IF EXISTS calls_search_insert"),
                  QStringLiteral("DROP TRIGGER IF EXISTS calls_search_delete"),
                  QStringLiteral("DROP TRIGGER IF EXISTS calls_search_update"),
                  QStringLiteral("ALTER TABLE calls ADD COLUMN folded TEXT NOT NULL DEFAULT ''"),
                  QStringLiteral("ALTER TABLE calls ADD COLUMN total_ms INTEGER NOT NULL DEFAULT 0"),
                  QStringLiteral("ALTER TABLE calls ADD COLUMN owner TEXT"),
                  QStringLiteral("UPDATE calls SET total_ms = max(0, COALESCE(ended, last_seen) - first_seen)"),
                  QStringLiteral("CREATE INDEX calls_open ON calls(unit) WHERE ended IS NULL"),
                  QStringLiteral("CREATE TABLE leases (unit TEXT PRIMARY KEY, owner TEXT NOT NULL,"
                                 " generation INTEGER NOT NULL, heartbeat INTEGER NOT NULL,"
                                 " active INTEGER NOT NULL)"),
                  QStringLiteral("CREATE TABLE meta (key TEXT PRIMARY KEY, value)")}))
            return false;
        QSqlQuery rows(m_db);
        rows.setForwardOnly(true);
        QSqlQuery update(m_db);
        update.prepare(QStringLiteral("UPDATE calls SET folded = ? WHERE id = ?"));
        if (!rows.exec(QStringLiteral("SELECT id, name, location, topic, notes FROM calls")))
            return failWith(rows.lastError(), QStringLiteral("updating the file"));
        while (rows.next()) {
            CallRecord r;
            r.name = rows.value(1).toString();
            r.location = rows.value(2).toString();
            r.topic = rows.value(3).toString();
            r.notes = rows.value(4).toString();
            update.addBindValue(folded(r));
            update.addBindValue(rows.value(0));
            if (!exec(update, QStringLiteral("updating the file")))
                return false;
        }
        return true;
    }
    case 3:
        // Each call names its caller (folded name and location, as in the
        // folded texts), and the callers table counts each caller's calls
        // so that the history reads neither all calls nor all texts.
        return run({QStringLiteral("ALTER TABLE calls ADD COLUMN caller_name TEXT NOT NULL DEFAULT ''"),
                    QStringLiteral("ALTER TABLE calls ADD COLUMN caller_location TEXT NOT NULL DEFAULT ''"),
                    QStringLiteral("UPDATE calls SET caller_name = substr(folded, 1, instr(folded, char(10)) - 1),"
                                   " caller_location = substr(substr(folded, instr(folded, char(10)) + 1), 1,"
                                   " instr(substr(folded, instr(folded, char(10)) + 1), char(10)) - 1)"
                                   " WHERE instr(folded, char(10)) > 0"),
                    QStringLiteral("CREATE INDEX calls_by_caller ON calls(caller_name, caller_location, first_seen)"),
                    QStringLiteral("CREATE TABLE callers (name_folded TEXT NOT NULL, location_folded TEXT NOT NULL,"
                                   " name TEXT NOT NULL, location TEXT NOT NULL, calls INTEGER NOT NULL,"
                                   " last_call INTEGER NOT NULL, flag TEXT NOT NULL DEFAULT '',"
                                   " PRIMARY KEY (name_folded, location_folded))"),
                    QStringLiteral("CREATE INDEX callers_by_last ON callers(last_call)"),
                    // SQLite takes the bare columns from the row of max().
                    QStringLiteral("INSERT INTO callers (name_folded, location_folded, name, location, calls,"
                                   " last_call) SELECT caller_name, caller_location, name, location, count(*),"
                                   " max(first_seen) FROM calls WHERE caller_name <> ''"
                                   " GROUP BY caller_name, caller_location")});
    default:
        return fail(OtherFailure, QStringLiteral("%1: no way to update version %2").arg(location()).arg(version));
    }
}

bool SqliteCallStore::upkeepIndex()
{
    return inTransaction(QStringLiteral("preparing the search"), [&] {
        const bool exists = tableExists(QStringLiteral("calls_fold"));
        if (!m_trigram) {
            // The index cannot be touched here: what this program writes
            // is missing from it until a program that can rebuilds it.
            m_index = false;
            return !exists
                || exec(QStringLiteral("INSERT OR REPLACE INTO meta VALUES ('fold_index_stale', 1)"),
                        QStringLiteral("preparing the search"));
        }
        // The index of version 2, with its own copy of the texts.
        if (tableExists(QStringLiteral("calls_search"))
            && !exec(QStringLiteral("DROP TABLE calls_search"), QStringLiteral("preparing the search")))
            return false;
        bool stale = !exists;
        if (exists) {
            QSqlQuery flag(m_db);
            stale = flag.exec(QStringLiteral("SELECT value FROM meta WHERE key = 'fold_index_stale'")) && flag.next()
                && flag.value(0).toInt() != 0;
        }
        if (!exists && !exec(QLatin1String(kIndexSql), QStringLiteral("preparing the search")))
            return false;
        if (stale
            && (!exec(QStringLiteral("INSERT INTO calls_fold(calls_fold) VALUES ('rebuild')"),
                      QStringLiteral("building the search index"))
                || !exec(QStringLiteral("DELETE FROM meta WHERE key = 'fold_index_stale'"),
                         QStringLiteral("building the search index"))))
            return false;
        m_index = true;
        return true;
    });
}

QString SqliteCallStore::columns() const
{
    return QLatin1String(kColumns) + QLatin1String(m_version >= 3 ? kTotal : kOldTotal)
        + QLatin1String(m_version >= 4 ? kFlag : kNoFlag);
}

bool SqliteCallStore::save(const QVector<Write>& batch, QStringList* refusedUnits)
{
    if (!isOpen())
        return fail(OtherFailure, QStringLiteral("%1 is not open").arg(location()));
    clearFailure();
    if (batch.isEmpty())
        return true;
    QStringList refused;
    const bool ok = inTransaction(QStringLiteral("writing calls"), [&] {
        const QString what = QStringLiteral("writing a call");
        QSqlQuery lease(m_db);
        lease.prepare(
            QStringLiteral("SELECT 1 FROM leases WHERE unit = ? AND owner = ? AND generation = ? AND active = 1"));
        QSqlQuery find(m_db);
        find.prepare(QStringLiteral("SELECT id, folded, last_seen FROM calls WHERE uid = ?"));
        QSqlQuery update(m_db);
        update.prepare(QStringLiteral(
            "UPDATE calls SET unit = ?, username = ?, line = ?, first_seen = ?, answered = ?, first_on_air = ?,"
            " ended = ?, last_seen = ?, hold_ms = ?, air_ms = ?, wait_ms = ?, outcome = ?, priority = ?,"
            " partial = ?, name = ?, location = ?, topic = ?, notes = ?, gender = ?, mood = ?, total_ms = ?,"
            " folded = ?, owner = ?, caller_name = ?, caller_location = ? WHERE id = ?"));
        QSqlQuery insert(m_db);
        insert.prepare(QStringLiteral(
            "INSERT INTO calls (unit, username, line, first_seen, answered, first_on_air, ended, last_seen,"
            " hold_ms, air_ms, wait_ms, outcome, priority, partial, name, location, topic, notes, gender, mood,"
            " total_ms, folded, owner, caller_name, caller_location, uid) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?,"
            " ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
        QSqlQuery indexDelete(m_db);
        QSqlQuery indexInsert(m_db);
        if (m_index) {
            indexDelete.prepare(
                QStringLiteral("INSERT INTO calls_fold(calls_fold, rowid, folded) VALUES ('delete', ?, ?)"));
            indexInsert.prepare(QStringLiteral("INSERT INTO calls_fold(rowid, folded) VALUES (?, ?)"));
        }

        const auto bind = [this](QSqlQuery& q, const CallRecord& r, const QString& text) {
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
            q.addBindValue(r.totalMs);
            q.addBindValue(text);
            q.addBindValue(m_options.owner.isEmpty() ? QVariant() : QVariant(m_options.owner));
            const CallerKey caller = callerOf(text);
            q.addBindValue(caller.first);
            q.addBindValue(caller.second);
        };
        QSet<CallerKey> callers;

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
            const QString text = folded(r);
            find.addBindValue(notNull(r.uid));
            if (!exec(find, what))
                return false;
            if (find.next()) {
                const qint64 id = find.value(0).toLongLong();
                const QString before = find.value(1).toString();
                const bool newer = find.value(2).toLongLong() > r.lastSeen;
                find.finish();
                if (w.keepNewer && newer)
                    continue;
                callers << callerOf(before) << callerOf(text);
                bind(update, r, text);
                update.addBindValue(id);
                if (!exec(update, what))
                    return false;
                if (m_index && before != text) {
                    indexDelete.addBindValue(id);
                    indexDelete.addBindValue(before);
                    indexInsert.addBindValue(id);
                    indexInsert.addBindValue(text);
                    if (!exec(indexDelete, what) || !exec(indexInsert, what))
                        return false;
                }
                continue;
            }
            find.finish();
            if (!w.isNew)
                continue;
            callers << callerOf(text);
            bind(insert, r, text);
            insert.addBindValue(notNull(r.uid));
            if (!exec(insert, what))
                return false;
            if (m_index) {
                indexInsert.addBindValue(insert.lastInsertId());
                indexInsert.addBindValue(text);
                if (!exec(indexInsert, what))
                    return false;
            }
        }
        return recountCallers(callers);
    });
    if (refusedUnits)
        *refusedUnits = ok ? refused : QStringList();
    return ok;
}

bool SqliteCallStore::deleteRows(const QString& condition, const QVariantList& values, int* count)
{
    QSqlQuery rows(m_db);
    rows.setForwardOnly(true);
    rows.prepare(QStringLiteral("SELECT id, folded FROM calls WHERE ") + condition);
    for (const QVariant& v : values)
        rows.addBindValue(v);
    if (!exec(rows, QStringLiteral("deleting calls")))
        return false;
    QVector<QPair<qint64, QString>> victims;
    while (rows.next())
        victims.append({rows.value(0).toLongLong(), rows.value(1).toString()});
    rows.finish();
    QSet<CallerKey> callers;
    for (const auto& victim : qAsConst(victims))
        callers << callerOf(victim.second);
    QSqlQuery del(m_db);
    del.prepare(QStringLiteral("DELETE FROM calls WHERE id = ?"));
    QSqlQuery indexDelete(m_db);
    indexDelete.prepare(QStringLiteral("INSERT INTO calls_fold(calls_fold, rowid, folded) VALUES ('delete', ?, ?)"));
    for (const auto& [id, text] : qAsConst(victims)) {
        del.addBindValue(id);
        if (!exec(del, QStringLiteral("deleting a call")))
            return false;
        if (!m_index)
            continue;
        indexDelete.addBindValue(id);
        indexDelete.addBindValue(text);
        if (!exec(indexDelete, QStringLiteral("deleting a call")))
            return false;
    }
    if (count)
        *count = victims.size();
    return recountCallers(callers);
}

bool SqliteCallStore::remove(const QVector<qint64>& ids)
{
    if (!isOpen())
        return fail(OtherFailure, QStringLiteral("%1 is not open").arg(location()));
    clearFailure();
    return inTransaction(QStringLiteral("deleting calls"), [&] {
        for (qint64 id : ids)
            if (!deleteRows(QStringLiteral("id = ?"), {id}, nullptr))
                return false;
        return true;
    });
}

CallStore::Retention SqliteCallStore::applyRetention(int days, qint64 nowMs, bool dryRun)
{
    Retention result;
    if (!isOpen()) {
        fail(OtherFailure, QStringLiteral("%1 is not open").arg(location()));
        return result;
    }
    clearFailure();
    result.ok = inTransaction(QStringLiteral("deleting old calls"), [&] {
        QSqlQuery newest(m_db);
        if (!newest.exec(QStringLiteral("SELECT max(COALESCE(ended, last_seen)) FROM calls")))
            return failWith(newest.lastError(), QStringLiteral("deleting old calls"));
        if (days <= 0 || !newest.next() || newest.value(0).isNull())
            return true;
        const qint64 newestMs = newest.value(0).toLongLong();
        newest.finish();
        if (nowMs < newestMs) {
            const auto time = [](qint64 ms) {
                return QDateTime::fromMSecsSinceEpoch(ms, Qt::LocalTime).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
            };
            result.refused = QStringLiteral("the clock of this computer (%1) is before the newest call in the log"
                                            " (%2); no old calls are deleted until it is right")
                                 .arg(time(nowMs), time(newestMs));
            return true;
        }
        const QString condition = QStringLiteral("ended IS NOT NULL AND first_seen < ?");
        const qint64 cutoff = std::min(nowMs, newestMs) - qint64(days) * 24 * 3600 * 1000;
        if (!dryRun)
            return deleteRows(condition, {cutoff}, &result.calls);
        QSqlQuery count(m_db);
        count.prepare(QStringLiteral("SELECT count(*) FROM calls WHERE ") + condition);
        count.addBindValue(cutoff);
        if (!exec(count, QStringLiteral("counting old calls")) || !count.next())
            return false;
        result.calls = count.value(0).toInt();
        return true;
    });
    return result;
}

bool SqliteCallStore::scrub()
{
    if (!isOpen())
        return fail(OtherFailure, QStringLiteral("%1 is not open").arg(location()));
    clearFailure();
    // The index keeps deleted entries until its segments are merged.
    if (m_index
        && !exec(QStringLiteral("INSERT INTO calls_fold(calls_fold) VALUES ('optimize')"),
                 QStringLiteral("clearing deleted calls")))
        return false;
    QSqlQuery checkpoint(m_db);
    if (!checkpoint.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)")) || !checkpoint.next())
        return failWith(checkpoint.lastError(), QStringLiteral("clearing deleted calls"));
    // Busy: another program is reading what the journal holds.
    return checkpoint.value(0).toInt() == 0;
}

QString SqliteCallStore::where(const CallFilter& filter, QVariantList& values) const
{
    QStringList conditions;
    QStringList phrases;
    QVariantList likeValues;
    QStringList likeConditions;
    const QString foldedColumn = QLatin1String(m_version >= 3 ? "calls.folded"
                                                              : "lower(name || ' ' || location || ' ' || "
                                                                "topic || ' ' || notes)");
    const QStringList words = CallFold::fold(filter.text).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (QString word : words) {
        // The trigram index finds any part of three characters or more;
        // shorter words are looked for call by call.
        if (m_index && word.toUcs4().size() >= 3) {
            word.replace(QLatin1Char('"'), QLatin1String("\"\""));
            phrases << QLatin1Char('"') + word + QLatin1Char('"');
        } else {
            likeConditions << foldedColumn + QStringLiteral(" LIKE ? ESCAPE '\\'");
            likeValues << likePattern(word);
        }
    }
    if (!phrases.isEmpty()) {
        conditions << QLatin1String(kInIndex);
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
        // An open call is in progress, whatever it came to so far: the
        // outcome filter means what the Outcome column shows.
        conditions << QStringLiteral("ended IS NOT NULL AND outcome = ?");
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

CallRecord SqliteCallStore::readRecord(const QSqlQuery& q) const
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
    r.totalMs = q.value(22).toLongLong();
    r.callerFlag = q.value(23).toString();
    return r;
}

CallQueryResult SqliteCallStore::query(const CallFilter& filter, int limit)
{
    return querySorted(filter, CallSort(), limit);
}

QString SqliteCallStore::orderBy(const CallSort& sort) const
{
    const QString direction = QLatin1String(sort.descending ? " DESC" : " ASC");
    const QString total = QLatin1String(m_version >= 3 ? kTotal : kOldTotal);
    // What is empty or unknown first goes last, in either direction.
    QString keys;
    switch (sort.key) {
    case CallSort::Time:
        return QStringLiteral("first_seen%1, id%1").arg(direction);
    case CallSort::Unit:
        keys = QStringLiteral("unit%1").arg(direction);
        break;
    case CallSort::Line:
        keys = QStringLiteral("line%1").arg(direction);
        break;
    case CallSort::Name:
    case CallSort::Location:
    case CallSort::Topic: {
        const char* column = sort.key == CallSort::Name ? "name"
            : sort.key == CallSort::Location            ? "location"
                                                        : "topic";
        keys = QStringLiteral("%1 = '', %1 COLLATE NOCASE%2").arg(QLatin1String(column), direction);
        break;
    }
    case CallSort::Wait:
        keys = QStringLiteral("wait_ms IS NULL, wait_ms%1").arg(direction);
        break;
    case CallSort::OnAir:
        keys = QStringLiteral("air_ms <= 0, air_ms%1").arg(direction);
        break;
    case CallSort::Total:
        keys = QStringLiteral("%1%2").arg(total, direction);
        break;
    case CallSort::Outcome:
        // The order of a call's life; an open call is in progress whatever
        // its outcome so far, as the window shows it.
        keys = QStringLiteral("CASE WHEN ended IS NULL THEN 0 WHEN outcome = 'missed' THEN 1"
                              " WHEN outcome = 'answered' THEN 2 WHEN outcome = 'aired' THEN 3 ELSE 4 END%1")
                   .arg(direction);
        break;
    }
    // Equal keys: newest first, so the limit keeps the latest of them.
    return keys + QStringLiteral(", first_seen DESC, id DESC");
}

CallQueryResult SqliteCallStore::querySorted(const CallFilter& filter, const CallSort& sort, int limit)
{
    CallQueryResult result;
    if (!isOpen()) {
        result.error = errorText().isEmpty() ? QStringLiteral("%1 is not open").arg(location()) : errorText();
        return result;
    }
    clearFailure();
    QVariantList values;
    const QString where = this->where(filter, values);
    const auto failed = [&] {
        result.error = errorText();
        return result;
    };

    // One pass over the matching calls gives the per-day totals and, in the
    // window's usual order (newest first), which calls the limit keeps: a
    // second pass through the search index and every match costs as much
    // again, and SQLite's local date of every call more than the rest.
    QSqlQuery matches(m_db);
    matches.setForwardOnly(true);
    // The outcome as the totals count it, as a number: no text to convert.
    QString from = QStringLiteral(" calls") + where;
    if (where.contains(QLatin1String(kInIndex)))
        from = QLatin1String(kJoinIndex)
            + QString(where).replace(QLatin1String(kInIndex), QStringLiteral("calls_fold MATCH ?"));
    matches.prepare(QStringLiteral("SELECT id, first_seen, CASE WHEN outcome = 'missed' THEN 1 WHEN ended IS NULL"
                                   " THEN 0 WHEN outcome = 'answered' THEN 2 WHEN outcome = 'aired' THEN 3 ELSE 0 END,"
                                   " wait_ms FROM")
                    + from);
    for (const QVariant& v : qAsConst(values))
        matches.addBindValue(v);
    if (!exec(matches, QStringLiteral("counting")))
        return failed();
    struct Day
    {
        DayTotals totals;
        double waitSum = 0;
        int waits = 0;
    };
    QHash<QDate, Day> days;
    // The calls come in the order they were written, so a day's span in
    // seconds finds most of them without working out the local date.
    QDate day;
    qint64 dayFrom = 1;
    qint64 dayTo = 0;
    std::vector<std::pair<qint64, qint64>> newest;
    const bool byTime = sort.key == CallSort::Time;
    while (matches.next()) {
        const qint64 id = matches.value(0).toLongLong();
        const qint64 firstSeen = matches.value(1).toLongLong();
        // Whole seconds truncated as SQLite's date() of the same would.
        const qint64 seconds = firstSeen / 1000;
        if (seconds < dayFrom || seconds >= dayTo) {
            day = QDateTime::fromSecsSinceEpoch(seconds).date();
            dayFrom = QDateTime(day, QTime(0, 0)).toSecsSinceEpoch();
            dayTo = QDateTime(day.addDays(1), QTime(0, 0)).toSecsSinceEpoch();
        }
        Day& d = days[day];
        ++d.totals.calls;
        switch (matches.value(2).toInt()) {
        case 1:
            ++d.totals.missed;
            break;
        case 2:
            ++d.totals.answered;
            break;
        case 3:
            ++d.totals.aired;
            break;
        }
        const QVariant wait = matches.value(3);
        if (!wait.isNull()) {
            d.waitSum += double(wait.toLongLong());
            ++d.waits;
        }
        if (byTime)
            newest.emplace_back(firstSeen, id);
    }
    matches.finish();
    for (auto it = days.begin(); it != days.end(); ++it) {
        DayTotals& d = it.value().totals;
        d.day = it.key();
        if (it.value().waits > 0)
            d.meanWaitMs = qRound64(it.value().waitSum / it.value().waits);
        result.matching += d.calls;
        result.days.append(d);
    }
    std::sort(result.days.begin(), result.days.end(),
              [](const DayTotals& a, const DayTotals& b) { return a.day > b.day; });

    QSqlQuery rows(m_db);
    rows.setForwardOnly(true);
    const QString order = orderBy(sort);
    if (byTime) {
        const std::size_t keep = std::min(newest.size(), std::size_t(std::max(0, limit)));
        const auto later
            = [descending = sort.descending](const std::pair<qint64, qint64>& a, const std::pair<qint64, qint64>& b) {
                  return descending ? a > b : a < b;
              };
        std::nth_element(newest.begin(), newest.begin() + qptrdiff(keep), newest.end(), later);
        QString ids = QStringLiteral("[");
        for (std::size_t i = 0; i < keep; ++i)
            ids += (i ? QStringLiteral(",") : QString()) + QString::number(newest[i].second);
        ids += QLatin1Char(']');
        // Read in the order of their keys; put in the window's below.
        rows.prepare(
            QStringLiteral("SELECT %1 FROM calls WHERE id IN (SELECT value FROM json_each(?))").arg(columns()));
        rows.addBindValue(ids);
    } else {
        // Every matching call is sorted by its key alone and only the calls
        // within the limit are read whole: sorting them with all their
        // texts costs more.
        rows.prepare(QStringLiteral("SELECT %1 FROM calls WHERE id IN (SELECT id FROM calls%2"
                                    " ORDER BY %3 LIMIT ?) ORDER BY %3")
                         .arg(columns(), where, order));
        for (const QVariant& v : qAsConst(values))
            rows.addBindValue(v);
        rows.addBindValue(std::max(0, limit));
    }
    if (!exec(rows, QStringLiteral("searching")))
        return failed();
    while (rows.next())
        result.rows.append(readRecord(rows));
    rows.finish();
    if (byTime)
        std::sort(result.rows.begin(), result.rows.end(),
                  [descending = sort.descending](const CallRecord& a, const CallRecord& b) {
                      return descending ? std::tie(a.firstSeen, a.id) > std::tie(b.firstSeen, b.id)
                                        : std::tie(a.firstSeen, a.id) < std::tie(b.firstSeen, b.id);
                  });
    result.units = units();
    result.ok = true;
    return result;
}

bool SqliteCallStore::forEachCall(const CallFilter& filter, const std::function<bool(const CallRecord&)>& visit)
{
    if (!isOpen())
        return fail(OtherFailure, QStringLiteral("%1 is not open").arg(location()));
    clearFailure();
    QVariantList values;
    const QString where = this->where(filter, values);
    QSqlQuery rows(m_db);
    rows.setForwardOnly(true);
    rows.prepare(QStringLiteral("SELECT %1 FROM calls%2 ORDER BY first_seen, id").arg(columns(), where));
    for (const QVariant& v : qAsConst(values))
        rows.addBindValue(v);
    if (!exec(rows, QStringLiteral("reading calls")))
        return false;
    while (rows.next())
        if (!visit(readRecord(rows)))
            break;
    return true;
}

QStringList SqliteCallStore::units()
{
    QStringList out;
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    // From one unit to the next through the index, not through every call.
    if (!isOpen()
        || !q.exec(QStringLiteral("WITH RECURSIVE u(unit) AS (SELECT min(unit) FROM calls UNION ALL"
                                  " SELECT (SELECT min(unit) FROM calls WHERE unit > u.unit) FROM u"
                                  " WHERE u.unit IS NOT NULL) SELECT unit FROM u WHERE unit IS NOT NULL")))
        return out;
    while (q.next())
        out << q.value(0).toString();
    return out;
}

QVector<CallRecord> SqliteCallStore::recentCalls(const QString& unitKey, qint64 sinceMs)
{
    QVector<CallRecord> out;
    if (!isOpen())
        return out;
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT %1 FROM calls WHERE unit = ? AND (ended IS NULL OR ended >= ?)"
                             " ORDER BY first_seen, id")
                  .arg(columns()));
    q.addBindValue(unitKey);
    q.addBindValue(sinceMs);
    if (!exec(q, QStringLiteral("reading open calls")))
        return out;
    while (q.next())
        out.append(readRecord(q));
    return out;
}

// A lease row whose holder renewed it within the expiry, on this boot of
// the computer: a heartbeat ahead of the clock is one from before a restart.
QString SqliteCallStore::leaseAlive(const QString& table) const
{
    const qint64 now = leaseNow();
    return QStringLiteral("(%1.heartbeat >= %2 AND %1.heartbeat <= %3)")
        .arg(table)
        .arg(now - LeaseExpiryMs)
        .arg(now + 1000);
}

CallStore::Lease SqliteCallStore::claimLease(const QString& unitKey)
{
    Lease lease;
    if (!isOpen()) {
        fail(OtherFailure, QStringLiteral("%1 is not open").arg(location()));
        return lease;
    }
    clearFailure();
    const QString what = QStringLiteral("taking the unit's lease");
    inTransaction(what, [&] {
        QSqlQuery row(m_db);
        row.prepare(QStringLiteral("SELECT owner, generation, active, %1, heartbeat FROM leases l WHERE unit = ?")
                        .arg(leaseAlive(QStringLiteral("l"))));
        row.addBindValue(unitKey);
        if (!exec(row, what))
            return false;
        const qint64 now = leaseNow();
        qint64 generation = 1;
        lease.continued = true;
        if (row.next()) {
            const bool mine = row.value(0).toString() == m_options.owner;
            lease.continued = mine;
            const bool taken = row.value(2).toInt() != 0 && row.value(3).toInt() != 0;
            generation = row.value(1).toLongLong();
            if (!mine && taken) {
                lease.expiresInMs = std::max<qint64>(0, row.value(4).toLongLong() + LeaseExpiryMs - now);
                return true;
            }
            // Renewing what is already ours keeps the generation.
            if (!(mine && taken))
                ++generation;
        }
        row.finish();
        QSqlQuery take(m_db);
        take.prepare(QStringLiteral("INSERT OR REPLACE INTO leases (unit, owner, generation, heartbeat, active)"
                                    " VALUES (?, ?, ?, ?, 1)"));
        take.addBindValue(unitKey);
        take.addBindValue(m_options.owner);
        take.addBindValue(generation);
        take.addBindValue(now);
        if (!exec(take, what))
            return false;
        lease.held = true;
        lease.generation = generation;
        return true;
    });
    return lease;
}

// The lease writes run in transactions that take the write lock first: a
// lone UPDATE reads before it writes and, should another program commit in
// between, fails at once instead of waiting its turn.
bool SqliteCallStore::renewLease(const QString& unitKey, qint64 generation)
{
    return changeLease(
        QStringLiteral("UPDATE leases SET heartbeat = ? WHERE unit = ? AND owner = ? AND generation = ?"),
        {leaseNow(), unitKey, m_options.owner, generation}, QStringLiteral("renewing the unit's lease"));
}

bool SqliteCallStore::releaseLease(const QString& unitKey, qint64 generation)
{
    return changeLease(
        QStringLiteral("UPDATE leases SET active = 0, heartbeat = ? WHERE unit = ? AND owner = ? AND generation = ?"),
        {leaseNow(), unitKey, m_options.owner, generation}, QStringLiteral("giving up the unit's lease"));
}

bool SqliteCallStore::dropLeases()
{
    return changeLease(QStringLiteral("UPDATE leases SET active = 0, heartbeat = ? WHERE owner = ?"),
                       {leaseNow() - 2 * LeaseExpiryMs, m_options.owner}, QStringLiteral("giving up the leases"))
        || failure() == NoFailure;
}

bool SqliteCallStore::changeLease(const QString& sql, const QVariantList& values, const QString& what)
{
    if (!isOpen())
        return fail(OtherFailure, QStringLiteral("%1 is not open").arg(location()));
    clearFailure();
    int rows = 0;
    const bool ok = inTransaction(what, [&] {
        QSqlQuery q(m_db);
        q.prepare(sql);
        for (const QVariant& v : values)
            q.addBindValue(v);
        if (!exec(q, what))
            return false;
        rows = q.numRowsAffected();
        return true;
    });
    return ok && rows > 0;
}

bool SqliteCallStore::closeAbandoned()
{
    if (!isOpen())
        return fail(OtherFailure, QStringLiteral("%1 is not open").arg(location()));
    clearFailure();
    return inTransaction(QStringLiteral("closing calls left open"), [&] {
        return exec(QStringLiteral("UPDATE calls SET ended = last_seen, partial = 1, outcome = COALESCE(outcome, "
                                   "'missed') WHERE ended IS NULL AND NOT EXISTS (SELECT 1 FROM leases l"
                                   " WHERE l.unit = calls.unit AND l.owner = calls.owner AND %1)")
                        .arg(leaseAlive(QStringLiteral("l"))),
                    QStringLiteral("closing calls left open"));
    });
}

bool SqliteCallStore::othersWrote()
{
    QSqlQuery q(m_db);
    if (!isOpen() || !q.exec(QStringLiteral("PRAGMA data_version")) || !q.next())
        return false;
    const qint64 version = q.value(0).toLongLong();
    const bool changed = m_dataVersion >= 0 && version != m_dataVersion;
    m_dataVersion = version;
    return changed;
}

bool SqliteCallStore::recountCallers(const QSet<CallerKey>& keys)
{
    const QString what = QStringLiteral("counting a caller's calls");
    QSqlQuery count(m_db);
    count.setForwardOnly(true);
    count.prepare(QStringLiteral("SELECT count(*), max(first_seen), name, location FROM calls"
                                 " WHERE caller_name = ? AND caller_location = ?"));
    QSqlQuery upsert(m_db);
    upsert.prepare(QStringLiteral("INSERT INTO callers (name_folded, location_folded, name, location, calls, last_call)"
                                  " VALUES (?, ?, ?, ?, ?, ?) ON CONFLICT (name_folded, location_folded) DO UPDATE"
                                  " SET name = excluded.name, location = excluded.location, calls = excluded.calls,"
                                  " last_call = excluded.last_call"));
    QSqlQuery drop(m_db);
    drop.prepare(QStringLiteral("DELETE FROM callers WHERE name_folded = ? AND location_folded = ?"));
    for (const CallerKey& key : keys) {
        // A call without a name is nobody's.
        if (key.first.isEmpty())
            continue;
        count.addBindValue(key.first);
        count.addBindValue(key.second);
        if (!exec(count, what) || !count.next())
            return false;
        const int calls = count.value(0).toInt();
        const QVariantList values = {key.first, key.second, count.value(2), count.value(3), calls, count.value(1)};
        count.finish();
        QSqlQuery& change = calls > 0 ? upsert : drop;
        for (int i = 0; i < (calls > 0 ? values.size() : 2); ++i)
            change.addBindValue(values.at(i));
        if (!exec(change, what))
            return false;
    }
    return true;
}

bool SqliteCallStore::hasCallers()
{
    // A reader opened before the writer brought the file up to date sees
    // the new version on its next look.
    if (isOpen() && m_version < SchemaVersion)
        m_version = std::max(m_version, schemaVersion());
    if (m_version >= 4)
        return true;
    return fail(OtherFailure, QStringLiteral("%1 has no callers yet").arg(location()));
}

QVector<CallerSummary> SqliteCallStore::findCallers(const QString& text, int limit)
{
    QVector<CallerSummary> out;
    if (!isOpen()) {
        fail(OtherFailure, QStringLiteral("%1 is not open").arg(location()));
        return out;
    }
    clearFailure();
    const QString folded = CallFold::fold(text);
    if (folded.isEmpty() || limit <= 0 || !hasCallers())
        return out;
    // Newest first through the index of last calls: a common part of names
    // stops after the first few callers.
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT name, location, calls, last_call, flag FROM callers"
                             " WHERE name_folded LIKE ? ESCAPE '\\' ORDER BY last_call DESC LIMIT ?"));
    q.addBindValue(likePattern(folded));
    q.addBindValue(limit);
    if (!exec(q, QStringLiteral("looking up callers")))
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

CallerHistory SqliteCallStore::callerHistory(const QString& name, const QString& town, int limit)
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
    if (!hasCallers()) {
        result.error = errorText();
        return result;
    }
    const QVariantList key = {foldedName, foldedLocation, foldedLocation};
    const auto run = [&](QSqlQuery& q, const QString& sql, const QVariantList& extra) {
        q.setForwardOnly(true);
        q.prepare(sql);
        for (const QVariant& v : key + extra)
            q.addBindValue(v);
        return exec(q, QStringLiteral("reading a caller's calls"));
    };
    const QString calls = callerMatch(QStringLiteral("caller_name"), QStringLiteral("caller_location"));
    QSqlQuery count(m_db);
    if (!run(count, QStringLiteral("SELECT count(*), count(ended) FROM calls WHERE ") + calls, {}) || !count.next()) {
        result.error = errorText();
        return result;
    }
    result.calls = count.value(0).toInt();
    result.endedCalls = count.value(1).toInt();
    count.finish();
    QSqlQuery flag(m_db);
    if (!run(flag,
             QStringLiteral("SELECT flag FROM callers WHERE %1 AND flag <> ''"
                            " ORDER BY location_folded = ? DESC, last_call DESC LIMIT 1")
                 .arg(callerMatch(QStringLiteral("name_folded"), QStringLiteral("location_folded"))),
             {foldedLocation})) {
        result.error = errorText();
        return result;
    }
    if (flag.next())
        result.flag = flag.value(0).toString();
    flag.finish();
    QSqlQuery rows(m_db);
    if (!run(rows,
             QStringLiteral("SELECT %1 FROM calls WHERE %2 ORDER BY first_seen DESC, id DESC LIMIT ?")
                 .arg(columns(), calls),
             {std::max(0, limit)})) {
        result.error = errorText();
        return result;
    }
    while (rows.next())
        result.rows.append(readRecord(rows));
    result.ok = true;
    return result;
}

bool SqliteCallStore::setCallerFlag(const QString& name, const QString& town, const QString& flag)
{
    if (!isOpen())
        return fail(OtherFailure, QStringLiteral("%1 is not open").arg(location()));
    clearFailure();
    if (!hasCallers())
        return false;
    const QString foldedName = CallFold::fold(name);
    const QString foldedLocation = CallFold::fold(town);
    // One line of text, as short as a note on a card.
    const QString text = flag.simplified().left(CallerHistory::MaxFlagLength);
    int changed = 0;
    const bool ok = inTransaction(QStringLiteral("setting a caller's flag"), [&] {
        QSqlQuery q(m_db);
        q.prepare(QStringLiteral("UPDATE callers SET flag = ? WHERE ")
                  + callerMatch(QStringLiteral("name_folded"), QStringLiteral("location_folded")));
        for (const QVariant& v : QVariantList{text, foldedName, foldedLocation, foldedLocation})
            q.addBindValue(v);
        if (!exec(q, QStringLiteral("setting a caller's flag")))
            return false;
        changed = q.numRowsAffected();
        return true;
    });
    if (ok && changed <= 0)
        return fail(OtherFailure, QStringLiteral("%1 holds no calls of %2").arg(location(), name));
    return ok;
}
