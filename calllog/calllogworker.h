#pragma once

#include "calllog/callrecord.h"
#include "calllog/callstore.h"
#include "calllog/logdatabase.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QVector>

#include <functional>
#include <memory>

class QTimer;

// The call log's side of its worker thread: owns the store (and so the
// database connection, which lives in this thread only) and everything that
// waits on it. Created by CallLog and moved to its thread; every operation
// arrives as a queued call, in order, so a search sees every record
// reported before it.
//
// Records wait in a backlog, one entry per call (the latest state wins), and
// are written in batches. A fault that passes (the file locked past the busy
// timeout, a full disk, an I/O error, a file that cannot be opened yet)
// keeps them there and tries again with a growing pause; a damaged file is
// moved aside and a new one started; only a read-only log or one of a newer
// version turns the log off. Calls that still wait at quit go to a side file
// that the next start writes in.
//
// The worker also keeps the units' writer leases: it takes the lease of
// each unit the program watches, renews the ones it holds, and writes a
// unit's calls only while it holds the lease and the recorder has adopted
// the calls found in the log (leaseGained, adopt).
class CallLogWorker : public QObject
{
    Q_OBJECT

public:
    struct Settings
    {
        // This computer's file: the log itself, or beside it the outbox and
        // the waiting calls of a log on a station server.
        QString path;
        // Sqlite: the file at path; Postgres: the station server.
        LogDatabase database;
        int busyTimeoutMs = 5000;
        int batchMs = 200;
        // The log's folder is the program's own: made 0700.
        bool privateFolder = false;
        bool searchIndex = true;
        // This program, for leases and open calls.
        QString owner;
        // -1: never deleted by this program (a log given for one run).
        int retentionDays = 90;
        int retentionIntervalMs = 24 * 3600 * 1000;
        // How often other programs' writes are looked for.
        int changePollMs = 1000;
        // How long quitting waits for a log that is behind.
        int quitWaitMs = 3000;
        std::function<qint64()> clock;
        std::function<qint64()> leaseClock;
    };

    explicit CallLogWorker(const Settings& settings);
    ~CallLogWorker() override;

    void open();
    void save(const CallRecord& record);
    // The program watches the unit (a session to it is ready) or no longer.
    void wantLease(const QString& unitKey, bool want);
    // The recorder's answer to leaseGained: the records to write first.
    void adopt(const QString& unitKey, qint64 generation, const QVector<CallRecord>& records);
    void flush(int ticket);
    void query(int ticket, const CallFilter& filter, const CallSort& sort, int limit);
    void exportCsv(int ticket, const CallFilter& filter, const QString& path, const CsvOptions& options);
    void remove(const QVector<qint64>& ids);
    // Applies a new period now; a dry run answers retentionCounted.
    void setRetention(int days);
    void countRetention(int ticket, int days);
    void setCallerFlag(int ticket, const QString& name, const QString& location, const QString& flag);
    // Writes what waits (for a few seconds at most), gives up the leases,
    // keeps what could not be written, closes and ends the thread's loop.
    void shutdown();

signals:
    void opened();
    // Off for good: a read-only log, a newer schema.
    void failed(const QString& text);
    // Worth saying once, the log goes on: a damaged file moved aside.
    void notice(const QString& text);
    // Why old calls were not deleted; empty once they are again.
    void retentionRefused(const QString& why);
    // Calls waiting and why; 0 and an empty reason when caught up.
    void behind(int calls, const QString& reason);
    // The log changed (own writes and deletes, or another program's).
    void committed();
    void flushed(int ticket);
    void queried(int ticket, const CallQueryResult& result);
    void exported(int ticket, bool ok, int rows, const QString& error);
    void retentionCounted(int ticket, int calls, const QString& refused);
    void callerFlagSet(int ticket, bool ok, const QString& error);
    // The unit's lease is this program's: the recorder continues the calls
    // found there and answers with adopt().
    void leaseGained(const QString& unitKey, qint64 generation, const QVector<CallRecord>& recent);
    // Another program writes the unit's calls now.
    void leaseLost(const QString& unitKey);
    // The station server went away at sinceMs (wall clock); 0 once back.
    void unreachable(qint64 sinceMs);

private:
    struct UnitLease
    {
        bool wanted = false;
        bool held = false;
        bool adopted = false;
        // The session went before the recorder adopted the unit's calls.
        bool releaseWhenAdopted = false;
        // Another program holds it.
        bool elsewhere = false;
        // Ours (held, or released and kept) while above 0.
        qint64 generation = 0;
        qint64 nextClaim = 0;
    };
    struct Pending
    {
        CallRecord record;
        // Made under this lease generation; -1 while the unit's lease is
        // unknown (the log was not reachable), 0 for calls kept aside.
        qint64 generation = 0;
        bool keepNewer = false;
    };

    bool tryOpen();
    void writeBatch();
    void retry();
    void importWaiting();
    void housekeeping();
    bool writePending();
    // A failed operation: off, moved aside, or behind and retried.
    void handleFailure();
    bool moveAside();
    void turnOff(const QString& text);
    void scheduleRetry();
    void reportBehind();
    void add(const CallRecord& record, qint64 generation, bool keepNewer = false);
    // The unit's waiting records under a new generation, or dropped (0).
    void settleUnit(const QString& unitKey, qint64 generation);
    void runLeases();
    void scheduleLeases();
    void claim(const QString& unitKey, UnitLease& lease);
    void pollChanges();
    void runScrub();
    int waitingCount() const;
    bool isServer() const { return m_settings.database.isServer(); }
    // The station server cannot be reached: what waits goes to the outbox.
    bool moveToOutbox();
    bool openOutbox(bool create);
    // The outbox's calls to the server, oldest first, merged by identity.
    bool replayOutbox();
    void setUnreachable(bool unreachable);
    // A call of a unit another desk writes, kept a while should the server
    // go away before that desk wrote it.
    void follow(const CallRecord& record);

    Settings m_settings;
    std::unique_ptr<CallStore> m_store;
    bool m_off = false;
    // Why the log is behind; empty while all is well.
    QString m_reason;
    int m_reportedCalls = -1;
    QString m_reportedReason;
    int m_retryMs = 0;
    bool m_scrubPending = false;
    // Why the file is to be moved aside, until it is.
    QString m_damaged;
    int m_movesAside = 0;
    QTimer* m_batchTimer = nullptr;
    QTimer* m_retryTimer = nullptr;
    QTimer* m_leaseTimer = nullptr;
    QTimer* m_pollTimer = nullptr;
    QTimer* m_retentionTimer = nullptr;
    qint64 m_lastRenew = 0;
    // Latest state per call, in the order the calls first appeared.
    QVector<QString> m_order;
    QHash<QString, Pending> m_pending;
    // Calls written at least once to this file in this run.
    QSet<QString> m_written;
    QHash<QString, UnitLease> m_leases;
    // This computer's file of calls recorded while the station server was
    // unreachable, and how many it holds.
    std::unique_ptr<CallStore> m_outbox;
    int m_outboxCalls = 0;
    // The latest calls of units other desks write (open ones, and those
    // that ended lately), by uid.
    QHash<QString, CallRecord> m_followed;
    qint64 m_unreachableSince = 0;
    // The inode of the file opened, so that a file another program has
    // already moved aside is not moved again.
    quint64 m_inode = 0;
};
