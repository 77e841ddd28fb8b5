#pragma once

#include "calllog/callstore.h"

#include <QPair>
#include <QSet>
#include <QSqlDatabase>

#include <functional>

class QSqlError;
class QSqlQuery;

// The call log in one SQLite file, the default that needs no set-up. WAL
// journal, a busy timeout for the other programs of this computer that
// share the file, secure deletion. The schema version is SQLite's
// user_version; each step runs in a write transaction that reads the version
// again first, so two programs that start together migrate once.
//
// Each call keeps a folded copy of its texts (CallFold), which every search
// reads. Where SQLite has the trigram tokenizer (3.34 on) a full-text index
// over that copy finds any part of three letters or more; it is kept by this
// class's own writes, not by triggers, so the same file still takes writes
// on a SQLite without the tokenizer (which searches the copy with LIKE and
// marks the index stale for the next program that has it).
//
// Leases live in a table of the file and are timed by the monotonic clock
// every program on this computer shares, so no change of the wall clock
// expires or prolongs one.
class SqliteCallStore : public CallStore
{
public:
    static constexpr int SchemaVersion = 4;

    struct Options
    {
        int busyTimeoutMs = 5000;
        Mode mode = ReadWrite;
        // false: do as a SQLite without the trigram tokenizer does.
        bool searchIndex = true;
        // Who this program is (a UUID per run): marks its open calls and
        // its leases.
        QString owner;
        // Milliseconds on the computer's monotonic clock.
        std::function<qint64()> leaseClock;
    };

    explicit SqliteCallStore(const QString& path);
    SqliteCallStore(const QString& path, const Options& options);
    ~SqliteCallStore() override;

    bool open() override;
    bool isOpen() const override;
    void close() override;
    QString location() const override;
    bool hasSearchIndex() const override;
    const QString& path() const { return m_path; }
    int schemaVersion();
    void setBusyTimeout(int ms) override;

    bool save(const QVector<Write>& batch, QStringList* refusedUnits = nullptr) override;
    bool remove(const QVector<qint64>& ids) override;
    CallQueryResult query(const CallFilter& filter, int limit) override;
    CallQueryResult querySorted(const CallFilter& filter, const CallSort& sort, int limit) override;
    bool forEachCall(const CallFilter& filter, const std::function<bool(const CallRecord&)>& visit) override;
    QStringList units() override;
    QVector<CallRecord> recentCalls(const QString& unitKey, qint64 sinceMs) override;

    Lease claimLease(const QString& unitKey) override;
    bool renewLease(const QString& unitKey, qint64 generation) override;
    bool releaseLease(const QString& unitKey, qint64 generation) override;
    bool dropLeases() override;

    bool closeAbandoned() override;
    Retention applyRetention(int days, qint64 nowMs, bool dryRun) override;
    bool scrub() override;
    bool othersWrote() override;

    QVector<CallerSummary> findCallers(const QString& text, int limit) override;
    CallerHistory callerHistory(const QString& name, const QString& location, int limit) override;
    bool setCallerFlag(const QString& name, const QString& location, const QString& flag) override;

private:
    // A caller's key: folded name and location.
    using CallerKey = QPair<QString, QString>;
    // Counts the calls of each caller again after a write or a deletion,
    // inside its transaction; a caller without calls goes, flag and all.
    bool recountCallers(const QSet<CallerKey>& keys);
    // The callers tables are there (a file read without migrating may be
    // older).
    bool hasCallers();
    bool failWith(const QSqlError& error, const QString& what);
    bool exec(QSqlQuery& query, const QString& what);
    bool exec(const QString& sql, const QString& what);
    // body in one write transaction: committed when body and the commit
    // succeed, rolled back otherwise.
    bool inTransaction(const QString& what, const std::function<bool()>& body);
    bool initialise();
    bool migrate();
    bool migrateStep(int version);
    bool probeTrigram();
    // Creates, drops or rebuilds the search index as this SQLite allows.
    bool upkeepIndex();
    bool tableExists(const QString& name);
    bool deleteRows(const QString& condition, const QVariantList& values, int* count);
    QString where(const CallFilter& filter, QVariantList& values) const;
    QString columns() const;
    CallRecord readRecord(const QSqlQuery& query) const;
    QString orderBy(const CallSort& sort) const;
    qint64 leaseNow() const;
    // Runs one statement on the leases; true when it changed a row.
    bool changeLease(const QString& sql, const QVariantList& values, const QString& what);
    QString leaseAlive(const QString& table) const;

    QString m_path;
    Options m_options;
    QString m_connection;
    QSqlDatabase m_db;
    int m_version = 0;
    // The tokenizer is there and the index over the folded texts exists.
    bool m_trigram = false;
    bool m_index = false;
    qint64 m_dataVersion = -1;
};
