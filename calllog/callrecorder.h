#pragma once

#include "calllog/callrecord.h"
#include "ipc/ipcobject.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

// Turns what the consoles of one unit receive into call records. Every
// session of the unit (one per open console) is attached; one of them, the
// leader, drives the records, so two consoles of a unit make one record per
// call. Each session keeps its own picture of the unit (UnitState), and when
// the leader goes one of them takes over from where its picture says the
// lines are.
//
// When no session sees the unit any more, open calls stay open. After the
// gap a line continues its record only when the unit's word shows the same
// call: the same state, reported as lasting at least as long as the console
// last showed plus the time away (less 2 s), or the same caller name as
// before. A line is decided once both its status and its caller information
// have come after the resync, or 2 s after the resync. Otherwise the call
// ends when it was last seen and a new record starts, both seen in part:
// two partial records rather than one that holds the wrong caller.
//
// Moments (first seen, answered, ended) are read from the wall clock;
// durations are counted on a monotonic clock, which no change of the time
// of day moves.
//
// Owned by the CallLog; it only listens to the sessions and never sends.
class CallRecorder : public QObject
{
    Q_OBJECT

public:
    // Milliseconds; the tests set the time themselves.
    using Clock = std::function<qint64()>;
    static constexpr unsigned int MaxLines = LineStatus::MaxLines;
    // How long after a resync a line waits for its caller information.
    static constexpr int DecideMs = 2000;

    // clock: milliseconds since the epoch; monotonic: the clock durations
    // are counted on.
    CallRecorder(const QString& unitKey, Clock clock, Clock monotonic, QObject* parent = nullptr);
    ~CallRecorder() override;

    const QString& unitKey() const { return m_unitKey; }
    void attach(IPCObject* session);
    void detach(IPCObject* session);
    int sessionCount() const { return m_sessions.size(); }

    // The calls in progress, by line.
    QVector<CallRecord> openCalls() const;
    // Reports every open call once more with its times so far, for a
    // program that stops while calls are in progress, and now and then so
    // that a crash loses little.
    void finish();

    // This program writes the unit's calls from now on (the log took the
    // unit's lease). The calls found in the log, open ones and those that
    // ended lately, are matched with what this recorder saw: a call it
    // follows continues its record in the log; an open record on a line not
    // reported yet is decided by the line's first report, as a call of its
    // own would be after a gap; the others end when they were last seen.
    // Returns the records to write, each under the uid the log knows it by.
    QVector<CallRecord> adopt(const QVector<CallRecord>& stored);
    // Another program writes the unit's calls: calls that end from now on
    // are kept (a bounded number), for the moment this one takes over.
    void setWriting(bool writing);

signals:
    // A call began, changed or ended; the whole record each time.
    void recordChanged(const CallRecord& record);

private:
    // What the caller information of a line says.
    struct Info
    {
        QString name, location, topic, notes, gender, mood;
        bool blank = true;
    };
    struct SessionView
    {
        IPCObject* session = nullptr;
        bool ready = false;
    };
    enum Kind {
        Idle,
        NotACall,
        Waiting,
        Held,
        Handset,
        OnAir,
        Unknown,
    };
    struct OpenCall
    {
        bool open = false;
        CallRecord record;
        // The status the call is in; the text tells unknown words apart.
        // Unreported for a call found in the log.
        LineStatus::Word word = LineStatus::Unreported;
        QString status;
        Kind kind = Unknown;
        // Monotonic start of the current state's stretch; 0 while it is
        // not counted (the line out of sight).
        qint64 stretchStart = 0;
        // Monotonic moment the call was first seen (earlier for a call that
        // had lasted a while when it was found in the log).
        qint64 firstMono = 0;
        bool taken = false;
        // No session sees the line: the call waits for the decision of the
        // line's first report after a resync.
        bool lost = false;
        // The time in its state the console last showed (the unit's count
        // plus its ticks since), and the monotonic moment it did.
        qint64 shownMs = 0;
        qint64 seenMono = 0;
        // A lost call's first report after the resync, until decided, and
        // the monotonic moment it came.
        LineStatus first;
        qint64 firstAt = 0;
    };

    static Kind kindOf(LineStatus::Word word);
    static bool isCall(Kind kind) { return kind == Waiting || kind == Held || kind == Handset || kind == OnAir; }
    static Info infoOf(const CallerInfo& info);

    SessionView* view(IPCObject* session);
    // alive: the session goes on without this recorder; otherwise it is
    // being destroyed.
    void remove(IPCObject* session, bool alive);
    // The session's view while it is ready and leads; null otherwise.
    SessionView* leading(IPCObject* session);
    void readinessChanged(IPCObject* session, bool ready);
    void lineStatus(IPCObject* session, unsigned int line, const LineStatus& now);
    void callerInfo(IPCObject* session, unsigned int line, const CallerInfo& info);
    void systemStatus(IPCObject* session, const SystemStatus& now);
    void tick(IPCObject* session);

    void lead(SessionView* view);
    void leaderLost();
    // Every open call counted up to now and reported; lost: no session sees
    // it any more, so its time stops until the decision after the gap.
    void settleOpenCalls(bool lost);
    // A lost call once its line's status (and caller information, or the
    // wait for it) is in: the same call goes on, or it ends and a new one
    // starts. force: decide on the status alone.
    void decide(unsigned int line, bool force);
    void decideAll();
    // fresh: the line's first report since the leader took over, so a call
    // found going on is one the log saw only in part.
    void transition(unsigned int line, const LineStatus& seen, bool fresh);
    // A new call first seen at the monotonic moment at.
    void openCall(unsigned int line, const LineStatus& seen, bool partial, qint64 at);
    // Enters a state at the monotonic moment since (now or earlier).
    void enter(OpenCall& call, const LineStatus& seen, qint64 since);
    // Moves the call to a status the log does not count.
    void park(OpenCall& call, const LineStatus& seen, qint64 since);
    void endCall(unsigned int line, qint64 wall, qint64 mono);
    void closeStretch(OpenCall& call, qint64 mono);
    static void mergeInfo(OpenCall& call, const Info& info);
    // The record of a call two programs followed: the log's identity and
    // moments, the longer durations, the newer caller details.
    static void mergeStored(CallRecord& own, const CallRecord& stored);
    static bool overlaps(const CallRecord& a, const CallRecord& b);
    void seen(OpenCall& call, const LineStatus& status, qint64 mono);
    void report(OpenCall& call, const CallRecord& before);
    qint64 now() const;
    qint64 mono() const;
    // The wall-clock moment of a monotonic one in the past.
    qint64 wallAt(qint64 monoMoment) const;

    QString m_unitKey;
    Clock m_clock;
    Clock m_monotonic;
    QList<SessionView*> m_sessions;
    SessionView* m_leader = nullptr;
    OpenCall m_calls[MaxLines];
    // Lines the current leader has not reported since it took over.
    bool m_fresh[MaxLines];
    // After a resync: lost calls decided on their status alone from now.
    QTimer m_decideTimer;
    bool m_writing = false;
    // Calls that ended while another program was writing the unit.
    QVector<CallRecord> m_endedUnwritten;
};
