#pragma once

#include "calllog/callrecord.h"
#include "ipc/ipcobject.h"

#include <QList>
#include <QObject>
#include <QString>

#include <functional>

// Turns what the consoles of one unit receive into call records. Every
// session of the unit (one per open console) is attached; one of them, the
// leader, drives the records, so two consoles of a unit make one record per
// call. Each session keeps its own picture of the unit (UnitState), and when
// the leader goes one of them takes over from where its picture says the
// lines are.
//
// When no session sees the unit any more, open calls stay open. The next
// session to see the unit continues each call whose line is still in a call,
// and ends the others at the moment the unit was last seen.
//
// Owned by the CallLog; it only listens to the sessions and never sends.
class CallRecorder : public QObject
{
    Q_OBJECT

public:
    // Milliseconds since the epoch; the tests set the time themselves.
    using Clock = std::function<qint64()>;
    static constexpr unsigned int MaxLines = LineStatus::MaxLines;

    CallRecorder(const QString& unitKey, Clock clock, QObject* parent = nullptr);
    ~CallRecorder() override;

    const QString& unitKey() const { return m_unitKey; }
    void attach(IPCObject* session);
    void detach(IPCObject* session);
    int sessionCount() const { return m_sessions.size(); }

    // The calls in progress, by line.
    QVector<CallRecord> openCalls() const;
    // Reports every open call once more with the moment it was last seen,
    // for a program that stops while calls are in progress.
    void finish();

    // This program writes the unit's calls from now on (the log took the
    // unit's lease). The calls found in the log, open ones and those that
    // ended lately, are matched with what this recorder saw: a call it
    // follows continues its record in the log; an open record on a line not
    // reported yet waits for the line's first report, as a call of its own
    // would after a gap; the others end when they were last seen. Returns
    // the records to write, each under the uid the log knows it by.
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
        LineStatus::Word word = LineStatus::Unreported;
        QString status;
        Kind kind = Unknown;
        // Start of the current state's stretch; 0 while the line is out of
        // sight.
        qint64 stretchStart = 0;
        bool taken = false;
        // No session has seen the line since record.lastSeen.
        bool lost = false;
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

    void lead(SessionView* view);
    void leaderLost();
    // Every open call counted up to now and reported; lost: no session sees
    // it any more, so its time stops until a leader sees the line again.
    void settleOpenCalls(bool lost);
    // First word from a new leader about a line: continue, end or join.
    void reconcile(unsigned int line, const UnitState& unit);
    void transition(unsigned int line, const LineStatus& seen);
    void openCall(unsigned int line, const LineStatus& seen, qint64 at, bool partial);
    void enter(OpenCall& call, const LineStatus& seen, qint64 at);
    // Moves the call to a status the log does not count.
    void park(OpenCall& call, const LineStatus& seen, qint64 at);
    void endCall(unsigned int line, qint64 at);
    void closeStretch(OpenCall& call, qint64 at);
    static void mergeInfo(OpenCall& call, const Info& info);
    // The record of a call two programs followed: the log's identity and
    // moments, the longer durations, the newer caller details.
    static void mergeStored(CallRecord& own, const CallRecord& stored);
    static bool overlaps(const CallRecord& a, const CallRecord& b);
    void report(const OpenCall& call, const CallRecord& before);
    qint64 now() const;

    QString m_unitKey;
    Clock m_clock;
    QList<SessionView*> m_sessions;
    SessionView* m_leader = nullptr;
    // Lines the current leader has not reported since it took over.
    bool m_fresh[MaxLines];
    OpenCall m_calls[MaxLines];
    bool m_writing = false;
    // Calls that ended while another program was writing the unit.
    QVector<CallRecord> m_endedUnwritten;
};
