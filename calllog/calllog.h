#pragma once

#include "calllog/callcsv.h"
#include "calllog/callrecord.h"
#include "calllog/callrecorder.h"
#include "calllog/logdatabase.h"

#include <QHash>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>

class CallerLookup;
class CallLogWorker;
class IPCObject;
class QThread;

// The show log of the whole program: one recorder per unit key, fed by the
// sessions of the consoles, and the log itself on a worker thread of its
// own, so neither a console nor the window ever waits for the disk.
// Searches and exports run on that thread too and answer with a signal.
//
// What the user should know about the log is one text (statusText): off
// for good (a read-only log, a newer version), behind (calls waiting, and
// why), and notices such as a damaged file moved aside. The recorders and
// the consoles go on whatever the log does.
//
// Each unit's calls are written by one program: the log takes the unit's
// lease while a session to the unit is ready, and the unit's recorder writes
// only while the lease is this program's.
//
// The application owns one; the log window and the command-line export use
// it (or a store directly).
class CallLog : public QObject
{
    Q_OBJECT

public:
    static constexpr int DefaultRetentionDays = 90;
    // Open calls are written this often, so a crash loses little.
    static constexpr int TouchMs = 30000;

    struct Options
    {
        // This computer's file (the log, or for a station server the
        // outbox beside it).
        QString path;
        // Where the log lives; a SQLite kind means the file at path.
        LogDatabase database;
        // Calls older than this are deleted at start and once a day; 0
        // keeps them all, -1 never deletes (a log given for one run).
        int retentionDays = DefaultRetentionDays;
        // How long to wait for another program that holds the file.
        int busyTimeoutMs = 5000;
        // Changes are gathered this long before they are written together.
        int batchMs = 200;
        // The log's folder is the program's own (the default one): 0700.
        bool privateFolder = false;
        // false: search as without SQLite's trigram tokenizer.
        bool searchIndex = true;
        int retentionIntervalMs = 24 * 3600 * 1000;
        int quitWaitMs = 3000;
        // The recorders' and the retention's idea of now (wall clock), and
        // the clock durations are counted on (by default the monotonic one;
        // clock when only that is given).
        CallRecorder::Clock clock;
        CallRecorder::Clock monotonicClock;
        // false: the file is opened when start() is called (the program
        // calls it once its window is up, so opening the file and loading
        // SQLite do not delay the first picture). Calls reported before
        // that wait in order and are written once the file is open.
        bool startNow = true;
    };

    enum State {
        Opening,
        Ready,
        Off,
    };

    // calls.sqlite in the user's data folder for this application.
    static QString defaultPath();

    explicit CallLog(const Options& options, QObject* parent = nullptr);
    // Writes what is pending (open calls included) and closes the log,
    // waiting a few seconds at most.
    ~CallLog() override;
    // Starts the log's thread, which opens the file; only the first call
    // counts.
    void start();

    const QString& path() const { return m_options.path; }
    // The log's idea of now (wall clock, ms since the epoch): its clock,
    // which views use for "today" so that they agree with what it records.
    qint64 now() const { return m_options.clock(); }
    State state() const { return m_state; }
    bool isOff() const { return m_state == Off; }
    // Calls waiting for a log that cannot be written now.
    int behindCalls() const { return m_behindCalls; }
    bool isBehind() const { return !m_behindReason.isEmpty(); }
    // Everything the user should know, one line each; empty while all is
    // well.
    QString statusText() const;
    const LogDatabase& database() const { return m_options.database; }
    // Since when the station server cannot be reached (wall clock); 0
    // while it can.
    qint64 unreachableSince() const { return m_unreachableSince; }
    // This program writes the unit's calls now.
    bool isWriting(const QString& unitKey) const { return m_writing.contains(unitKey); }

    // The recorder of the unit key, made on first use, follows the session
    // from now until the session is destroyed.
    void attach(IPCObject& session, const QString& unitKey);
    CallRecorder* recorder(const QString& unitKey) const { return m_recorders.value(unitKey); }
    QStringList unitKeys() const { return m_recorders.keys(); }

    // Each returns a ticket that comes back with its answer.
    int query(const CallFilter& filter, int limit, const CallSort& sort = CallSort());
    int exportCsv(const CallFilter& filter, const QString& path, const CsvOptions& options = CsvOptions());
    // Everything reported so far is in the file when flushed(ticket) comes
    // (unless the log is behind).
    int flush();
    void remove(const QVector<qint64>& ids);
    // How many calls a period of days would delete now.
    int countRetention(int days);
    // A new period, applied at once.
    void setRetentionDays(int days);

    // The caller history's reader, made on first use: a connection of its
    // own on a thread of its own.
    CallerLookup* callerLookup();
    // Sets a caller's flag (see CallStore::setCallerFlag), written by the
    // log's writer; answered with callerFlagSet.
    int setCallerFlag(const QString& name, const QString& location, const QString& flag);

signals:
    void ready();
    // The status text changed.
    void statusChanged(const QString& text);
    // Calls were written or deleted, here or by another program: a view of
    // the log is out of date.
    void changed();
    void flushed(int ticket);
    void queryFinished(int ticket, const CallQueryResult& result);
    void exportFinished(int ticket, bool ok, int rows, const QString& error);
    void retentionCounted(int ticket, int calls, const QString& refused);
    void callerFlagSet(int ticket, bool ok, const QString& error);

private:
    void save(const CallRecord& record);
    void sessionState(IPCObject* session, const QString& unitKey);
    void leaseGained(const QString& unitKey, qint64 generation, const QVector<CallRecord>& recent);
    void leaseLost(const QString& unitKey);
    void setStatus();
    template <typename F> void post(F&& call);

    Options m_options;
    State m_state = Opening;
    QString m_offText;
    QString m_behindReason;
    int m_behindCalls = 0;
    qint64 m_unreachableSince = 0;
    QStringList m_notices;
    QString m_retentionRefused;
    QString m_status;
    QThread* m_thread = nullptr;
    CallLogWorker* m_worker = nullptr;
    QMap<QString, CallRecorder*> m_recorders;
    // The ready sessions of each unit; its lease is wanted while any is.
    QHash<QString, QSet<IPCObject*>> m_ready;
    QSet<QString> m_writing;
    QTimer m_touch;
    int m_nextTicket = 1;
    CallerLookup* m_callerLookup = nullptr;
};
