#pragma once

#include "calllog/callcsv.h"
#include "calllog/callerhistory.h"
#include "calllog/callrecord.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

class QIODevice;

// Where the call log lives, as the rest of the program sees it: the
// recorder's writes (each checked against the writer's lease of its unit),
// the window's searches, the export, the leases themselves, housekeeping
// (calls left open by a program that went away, retention, scrubbing what
// was deleted) and the change feed of other programs. One back end per kind
// of database implements it; everything that differs between them (the
// connection, the SQL dialect, the search, how leases are timed and how
// other programs' writes are noticed) stays behind this interface.
//
// A store is synchronous and bound to the thread that opened it: the call
// log runs one on its worker thread, the command-line export and the tests
// use one directly. Every operation that fails says why through failure()
// and errorText() and leaves the store open: a caller decides what a
// failure means (see isPassing()).
class CallStore
{
public:
    // A unit's writer lease: the one program that writes the unit's calls
    // renews it every HeartbeatMs; when it has not for LeaseExpiryMs, any
    // other program watching the unit may take it. Each taking raises the
    // generation, and every write names the generation it was made under,
    // so a writer that was frozen and wakes up cannot write over its
    // successor.
    static constexpr int HeartbeatMs = 5000;
    static constexpr int LeaseExpiryMs = 15000;

    enum Failure {
        NoFailure,
        // Another program held the database past the busy timeout.
        Busy,
        DiskFull,
        IoError,
        CannotOpen,
        // Not a call log, or damaged beyond use.
        Damaged,
        // The file or its folder may not be written.
        ReadOnlyLog,
        // Written by a newer version of this program.
        TooNew,
        OtherFailure,
        // The database server cannot be reached (down, the network cut, or
        // it refused the connection); the connection is closed, and opening
        // it again is the way back.
        Unreachable,
    };

    enum Mode {
        ReadWrite,
        // Reads only: no schema change, nothing written (the command-line
        // export).
        ReadOnly,
    };

    struct Write
    {
        CallRecord record;
        // The record's first write: inserted when the store has no such
        // call. A later write of a call deleted meanwhile is dropped, so a
        // deletion sticks while the call goes on.
        bool isNew = false;
        // The lease generation of the record's unit the write was made
        // under; 0 writes without a lease (calls kept aside at quit).
        qint64 generation = 0;
        // Only over an older state of the call (by last seen): for calls
        // kept aside, which another program may have written since.
        bool keepNewer = false;
        // With no call of this uid: the call of the same unit and line
        // first seen within MergeWindowMs is this one, seen by another
        // program (calls replayed from the desks' outboxes).
        bool merge = false;
    };

    // Two desks see the same ring at moments this far apart at most.
    static constexpr int MergeWindowMs = 5000;

    struct Lease
    {
        bool held = false;
        qint64 generation = 0;
        // No other program held it since this one did (or nobody ever did):
        // what this program made meanwhile may be written under it.
        bool continued = false;
        // While another program holds it: how long until it expires unless
        // renewed.
        qint64 expiresInMs = 0;
    };

    struct Retention
    {
        bool ok = false;
        // Calls deleted, or that would be by a dry run.
        int calls = 0;
        // Why nothing was deleted, when the clock cannot be trusted.
        QString refused;
    };

    virtual ~CallStore();
    CallStore(const CallStore&) = delete;
    CallStore& operator=(const CallStore&) = delete;

    // Milliseconds on the computer's monotonic clock, which every program
    // on it shares and no change of the time of day moves.
    static qint64 monotonicMs();
    // Busy, a full disk, I/O errors and the like pass; a read-only log or a
    // newer schema does not, and a damaged file needs moving aside.
    static bool isPassing(Failure failure);

    // Opens (creating what is missing in ReadWrite mode) and brings the
    // schema up to date.
    virtual bool open() = 0;
    virtual bool isOpen() const = 0;
    virtual void close() = 0;
    // Names the log in messages: the file's path, the server's name.
    virtual QString location() const = 0;
    // Whether searches are helped by an index (else every call is read).
    virtual bool hasSearchIndex() const = 0;
    // How long an operation waits for another program before it fails as
    // Busy.
    virtual void setBusyTimeout(int ms) = 0;

    Failure failure() const { return m_failure; }
    // What is wrong, naming the log ("... is read-only"); empty while all
    // is well.
    QString errorText() const { return m_error; }

    // Inserts and updates calls (by uid), in one transaction. A write whose
    // generation is no longer the lease's is refused and its unit named in
    // refusedUnits; the others go ahead.
    virtual bool save(const QVector<Write>& batch, QStringList* refusedUnits = nullptr) = 0;
    // Deletes calls; scrub() then clears their text from the database.
    virtual bool remove(const QVector<qint64>& ids) = 0;

    // The newest calls up to limit, the number matching and per-day totals.
    virtual CallQueryResult query(const CallFilter& filter, int limit) = 0;
    // As query(), with every matching call in the sort's order before the
    // limit cuts.
    virtual CallQueryResult querySorted(const CallFilter& filter, const CallSort& sort, int limit) = 0;
    // Every matching call, oldest first, until visit returns false.
    virtual bool forEachCall(const CallFilter& filter, const std::function<bool(const CallRecord&)>& visit) = 0;
    virtual QStringList units() = 0;
    // A unit's calls still open, and those that ended at or after sinceMs:
    // what a program taking over the unit's lease continues or completes.
    virtual QVector<CallRecord> recentCalls(const QString& unitKey, qint64 sinceMs) = 0;

    // Takes the unit's lease for this store's owner when nobody holds it,
    // its holder let it go, or it expired.
    virtual Lease claimLease(const QString& unitKey) = 0;
    // Renews a lease held, or kept after releasing it; false with no
    // failure when another program has taken it.
    virtual bool renewLease(const QString& unitKey, qint64 generation) = 0;
    // Lets another program take the unit while this one keeps its open
    // calls (the session to the unit is not ready). Keep renewing it: the
    // open calls are this program's until someone takes the lease.
    virtual bool releaseLease(const QString& unitKey, qint64 generation) = 0;
    // At quit: every lease of this owner expires now.
    virtual bool dropLeases() = 0;

    // Ends the open calls whose owner's lease has expired (a program that
    // stopped or crashed) at the moment they were last seen.
    virtual bool closeAbandoned() = 0;
    // Deletes calls first seen more than days before the newest call's end
    // or now, whichever is earlier; refuses when now is before the newest
    // call. A dry run only counts; after a real one, scrub().
    virtual Retention applyRetention(int days, qint64 nowMs, bool dryRun) = 0;
    // Clears deleted text from the database's free space and journal; false
    // while another program's reading keeps the journal.
    virtual bool scrub() = 0;
    // True when another program wrote since the last call.
    virtual bool othersWrote() = 0;

    // The retention period the store keeps for everyone who shares it (a
    // station server); -1 when each program keeps its own.
    virtual int sharedRetentionDays() { return -1; }
    virtual bool setSharedRetentionDays(int days)
    {
        Q_UNUSED(days);
        return false;
    }
    // Whether housekeeping (retention) is this program's turn now: always
    // for a file of this computer; on a server, for the one program that
    // holds the day's housekeeping lease.
    virtual bool claimHousekeeping() { return true; }
    // What the store can say about itself in one line ("PostgreSQL 15.18,
    // schema version 1").
    virtual QString serverDescription() const { return QString(); }
    // Caller history. The writer keeps one row per caller (folded name and
    // location, see CallFold) up to date in the transaction that writes or
    // deletes the calls, so none of these reads every call; a caller's flag
    // goes with the last of its calls.
    //
    // Callers whose folded name contains the folded text, the most recent
    // first.
    virtual QVector<CallerSummary> findCallers(const QString& text, int limit) = 0;
    // The calls of a caller, the newest limit of them whole.
    virtual CallerHistory callerHistory(const QString& name, const QString& location, int limit) = 0;
    // Sets (or with an empty text clears) the flag of every caller the
    // name and location match; false when the log holds no such caller.
    virtual bool setCallerFlag(const QString& name, const QString& location, const QString& flag) = 0;

    // Oldest first; the number of rows written goes to rows.
    bool exportCsv(const CallFilter& filter, QIODevice& out, int* rows = nullptr,
                   const CsvOptions& options = CsvOptions());
    // Every call of from into this store, merged by the calls' identity (a
    // call there already keeps its newer state), so that copying twice
    // makes no call twice. The calls copied go to copied.
    bool copyFrom(CallStore& from, int* copied = nullptr);

protected:
    CallStore() = default;
    bool fail(Failure failure, const QString& text);
    void clearFailure();

private:
    Failure m_failure = NoFailure;
    QString m_error;
};
