#pragma once

#include "calllog/callstore.h"
#include "calllog/logdatabase.h"

#include <QSqlDatabase>

#include <functional>

class QSqlError;
class QSqlQuery;

// The call log of a whole station on a PostgreSQL server, shared by every
// desk. Reached through Qt's PostgreSQL driver with a connect timeout of a
// few seconds; a connection that breaks is closed and reported as
// Unreachable, and the owner opens the store again when it retries.
//
// The schema's version lives in the table mirt_meta; every desk migrates in
// one transaction under an advisory lock, so desks that start together on an
// empty database make one schema. Times are timestamptz, counters bigint.
// The folded texts (CallFold) are searched with LIKE, helped by a pg_trgm
// GIN index where the extension is there.
//
// Leases are rows of the table leases, timed by the server's clock, which
// every desk shares. Writes notify the channel mirt_calls, which every
// store listens to: other desks' writes arrive as a change without reading
// the table. All SQL of this back end is in pgcallstore.cpp.
class PgCallStore : public CallStore
{
public:
    static constexpr int SchemaVersion = 1;

    struct Options
    {
        Mode mode = ReadWrite;
        // false: no trigram index is made or used.
        bool searchIndex = true;
        // Who this program is (a UUID per run): marks its open calls and
        // its leases.
        QString owner;
        // Milliseconds the leases are timed by; by default the server's
        // clock (for tests that move time).
        std::function<qint64()> leaseClock;
        // Called on the store's thread when another program wrote.
        std::function<void()> onChange;
    };

    // Connects and says in one line what it found: the server's version
    // and the log's schema, or the server's own error. Blocks for the
    // connect timeout at most; run it off the GUI thread.
    static QString testConnection(const LogDatabase& database);

    explicit PgCallStore(const LogDatabase& database);
    PgCallStore(const LogDatabase& database, const Options& options);
    ~PgCallStore() override;

    bool open() override;
    bool isOpen() const override;
    void close() override;
    QString location() const override;
    bool hasSearchIndex() const override;
    void setBusyTimeout(int ms) override;
    int schemaVersion();

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
    int sharedRetentionDays() override;
    bool setSharedRetentionDays(int days) override;
    bool claimHousekeeping() override;
    QString serverDescription() const override;
    QVector<CallerSummary> findCallers(const QString& text, int limit) override;
    CallerHistory callerHistory(const QString& name, const QString& location, int limit) override;
    bool setCallerFlag(const QString& name, const QString& location, const QString& flag) override;

private:
    bool failWith(const QSqlError& error, const QString& what);
    bool exec(QSqlQuery& query, const QString& what);
    bool exec(const QString& sql, const QString& what);
    bool prepare(QSqlQuery& query, const QString& sql, const QVariantList& values = {});
    bool inTransaction(const QString& what, const std::function<bool()>& body);
    bool migrate();
    bool migrateStep(int version);
    bool notify();
    QString where(const CallFilter& filter, QVariantList& values) const;
    static QString orderBy(const CallSort& sort);
    static QString sortColumn(const CallSort& sort);
    static const char* sortKeyColumn(CallSort::Key key);
    // The lease clock as SQL: the server's, or the test's.
    QString now() const;
    QString leaseAlive() const;
    bool changeLease(const QString& sql, const QVariantList& values, const QString& what);
    bool deleteWhere(const QString& condition, const QVariantList& values, int* count);

    LogDatabase m_database;
    Options m_options;
    QString m_connection;
    QSqlDatabase m_db;
    int m_version = 0;
    bool m_index = false;
    bool m_othersWrote = false;
    // The connection broke: the store reads as closed.
    bool m_lost = false;
    QString m_serverVersion;
};
