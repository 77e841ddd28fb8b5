#pragma once

#include "calllog/callrecord.h"

#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

class QIODevice;
class QSqlError;
class QSqlQuery;

// The call log's SQLite file: opens it (WAL journal, busy timeout), brings
// its schema up to date step by step, and writes, searches, exports and
// deletes calls. Synchronous and bound to the thread that opened it: the
// call log runs one on its worker thread, the command-line export and the
// tests use one directly.
//
// Times are stored as milliseconds since the epoch (UTC). The schema version
// is SQLite's user_version; a file from a newer program is left untouched.
class CallStore
{
public:
    // The version this program writes; files of every earlier version are
    // migrated when opened.
    static constexpr int SchemaVersion = 2;

    // What went wrong, for the one message the user sees.
    enum Failure {
        NoFailure,
        CannotOpen,
        Locked,
        Corrupt,
        ReadOnlyFile,
        TooNew,
        OtherFailure,
    };

    enum Mode {
        ReadWrite,
        // Reads only: no migration, no retention, nothing written (the
        // command-line export).
        ReadOnly,
    };

    explicit CallStore(const QString& path);
    ~CallStore();
    CallStore(const CallStore&) = delete;
    CallStore& operator=(const CallStore&) = delete;

    // Opens (creating the file and its folder when missing), checks and
    // migrates it. nowMs is the moment retention is counted back from; a
    // retention of 0 days keeps everything. Calls a program left open when
    // it stopped are ended at the moment they were last seen.
    bool open(int busyTimeoutMs, int retentionDays, qint64 nowMs, Mode mode = ReadWrite);
    bool isOpen() const;
    void close();

    QString path() const { return m_path; }
    Failure failure() const { return m_failure; }
    // What is wrong, naming the file ("... is read-only"); empty while all
    // is well.
    QString errorText() const { return m_error; }
    int schemaVersion();

    // Inserts new calls and updates known ones (by uid), in one transaction.
    // A record whose row was deleted meanwhile is not brought back unless
    // isNew says this is its first write.
    struct Write
    {
        CallRecord record;
        bool isNew = false;
    };
    bool save(const QVector<Write>& batch);
    bool remove(const QVector<qint64>& ids);

    CallQueryResult query(const CallFilter& filter, int limit);
    // Oldest first; the number of rows written goes to rows.
    bool exportCsv(const CallFilter& filter, QIODevice& out, int* rows = nullptr);
    QStringList units();

private:
    bool fail(const QSqlError& error, const QString& what);
    bool exec(QSqlQuery& query, const QString& what);
    bool exec(const QString& sql, const QString& what);
    // body in one write transaction: committed when body and the commit
    // succeed, rolled back otherwise. The texts name the steps in errors.
    bool inTransaction(const QString& starting, const QString& committing, const std::function<bool()>& body);
    bool migrate(int from);
    bool initialise(int retentionDays, qint64 nowMs, Mode mode);
    bool housekeeping(int retentionDays, qint64 nowMs);
    // WHERE clause (with a leading " WHERE " or empty) and its values.
    QString where(const CallFilter& filter, QVariantList& values) const;
    CallRecord readRecord(const QSqlQuery& query) const;

    QString m_path;
    QString m_connection;
    QSqlDatabase m_db;
    Failure m_failure = NoFailure;
    QString m_error;
};
