#include "calllog/callrecorder.h"

#include "message/message.h"

#include <QDateTime>
#include <QUuid>

#include <algorithm>

namespace {

// Caller texts come from the network: a record keeps this much of each.
const int kMaxTextLength = 1000;
const int kMaxNotesLength = 20000;
// Longer words are no status word the log knows anyway.
const int kMaxStatusLength = 64;

const char* const kGenders[] = {"unknown", "male", "female"};
const char* const kMoods[]
    = {"neutral", "happy", "sad", "crying", "angry", "rude", "shocked", "embarassed", "eyeroll", "crazy"};

QString text(const Params& p, const char* name, int maxLength)
{
    return p.get_qstring(name, QString()).left(maxLength);
}

// The text of a chooser field, or the table's text for its index when the
// unit sent only the index.
template <size_t N>
QString choice(const Params& p, const char* textField, const char* indexField, const char* const (&table)[N])
{
    QString value = text(p, textField, kMaxTextLength);
    if (value.isEmpty()) {
        const unsigned int index = p.get_uint(indexField, 0);
        if (index < N)
            value = QLatin1String(table[index]);
    }
    return value;
}

} // namespace

CallRecorder::CallRecorder(const QString& unitKey, Clock clock, QObject* parent)
    : QObject(parent)
    , m_unitKey(unitKey)
    , m_clock(std::move(clock))
{
    std::fill(std::begin(m_fresh), std::end(m_fresh), true);
}

CallRecorder::~CallRecorder()
{
    for (SessionView* v : qAsConst(m_sessions)) {
        QObject::disconnect(v->session, nullptr, this, nullptr);
        delete v;
    }
}

qint64 CallRecorder::now() const
{
    return m_clock ? m_clock() : QDateTime::currentMSecsSinceEpoch();
}

CallRecorder::Kind CallRecorder::kindOf(const QString& status)
{
    struct Entry
    {
        const char* status;
        Kind kind;
    };
    static const Entry table[] = {
        {"on hook (idle)", Idle},
        {"disabled (busied out)", NotACall},
        {"disabled (loop thru)", NotACall},
        {"remote (busied out)", NotACall},
        {"not installed", NotACall},
        {"ringing", Waiting},
        {"on auto attendant", Waiting},
        {"remote (on auto attendant)", Waiting},
        {"on hold", Held},
        {"on screened hold", Held},
        {"remote (on hold)", Held},
        {"remote (on screened hold)", Held},
        {"on handset", Handset},
        {"remote (on handset)", Handset},
        {"on air", OnAir},
        {"remote (on air)", OnAir},
    };
    for (const Entry& e : table)
        if (status == QLatin1String(e.status))
            return e.kind;
    return Unknown;
}

bool CallRecorder::isConnected(const QString& status)
{
    return status == QLatin1String("on hold") || status == QLatin1String("on screened hold")
        || status == QLatin1String("on handset") || status == QLatin1String("on air");
}

void CallRecorder::attach(IPCObject* session)
{
    if (!session || view(session))
        return;
    auto* v = new SessionView;
    v->session = session;
    m_sessions.append(v);
    connect(session, &IPCObject::changedState, this,
            [this, session](IPCObject::IPC_STATE state) { stateChanged(session, state); });
    connect(session, &IPCObject::recvLineStatus, this, [this, session](const Message& m) { lineStatus(session, m); });
    connect(session, &IPCObject::recvAncillaryData, this,
            [this, session](const Message& m) { ancillaryData(session, m); });
    connect(session, &IPCObject::recvSystemStatus, this,
            [this, session](const Message& m) { systemStatus(session, m); });
    connect(session, &QObject::destroyed, this, [this, session] { detach(session); });
    if (session->getState() == IPCObject::IPC_READY)
        stateChanged(session, IPCObject::IPC_READY);
}

void CallRecorder::detach(IPCObject* session)
{
    SessionView* v = view(session);
    if (!v)
        return;
    QObject::disconnect(session, nullptr, this, nullptr);
    m_sessions.removeOne(v);
    const bool wasLeader = v == m_leader;
    delete v;
    if (wasLeader) {
        m_leader = nullptr;
        leaderLost();
    }
}

CallRecorder::SessionView* CallRecorder::view(IPCObject* session)
{
    for (SessionView* v : qAsConst(m_sessions))
        if (v->session == session)
            return v;
    return nullptr;
}

QVector<CallRecord> CallRecorder::openCalls() const
{
    QVector<CallRecord> out;
    for (const OpenCall& call : m_calls)
        if (call.open)
            out.append(call.record);
    return out;
}

void CallRecorder::finish()
{
    // Counted up to now, and on from here should the program go on.
    settleOpenCalls(false);
}

void CallRecorder::settleOpenCalls(bool lost)
{
    const qint64 at = now();
    for (OpenCall& call : m_calls) {
        if (!call.open || call.lost)
            continue;
        const CallRecord before = call.record;
        closeStretch(call, at);
        if (lost)
            call.lost = true;
        else
            call.stretchStart = at;
        call.record.lastSeen = at;
        report(call, before);
    }
}

void CallRecorder::stateChanged(IPCObject* session, IPCObject::IPC_STATE state)
{
    SessionView* v = view(session);
    if (!v)
        return;
    const bool ready = state == IPCObject::IPC_READY;
    if (ready == v->ready)
        return;
    v->ready = ready;
    // Whatever the session knew is stale now: a new login resends it all.
    for (LineView& line : v->lines)
        line = LineView();
    v->numLines = MaxLines;
    if (ready) {
        if (!m_leader)
            lead(v);
    } else if (v == m_leader) {
        m_leader = nullptr;
        leaderLost();
    }
}

void CallRecorder::lead(SessionView* v)
{
    m_leader = v;
    for (unsigned int line = 0; line < MaxLines; ++line) {
        m_fresh[line] = true;
        if (v->lines[line].known)
            reconcile(line, v->lines[line]);
    }
}

void CallRecorder::leaderLost()
{
    settleOpenCalls(true);
    for (SessionView* v : qAsConst(m_sessions)) {
        if (v->ready) {
            lead(v);
            break;
        }
    }
}

CallRecorder::SessionView* CallRecorder::lineOf(IPCObject* session, const Message& msg, unsigned int& line)
{
    SessionView* v = view(session);
    if (!v || !v->ready)
        return nullptr;
    // As the console does: lines past the unit's count do not exist.
    line = msg.params().get_uint("line_id", 0);
    return line < MaxLines && line < v->numLines ? v : nullptr;
}

void CallRecorder::lineStatus(IPCObject* session, const Message& msg)
{
    unsigned int line = 0;
    SessionView* v = lineOf(session, msg, line);
    if (!v)
        return;
    const Params& p = msg.params();
    LineView& seen = v->lines[line];
    seen.known = true;
    seen.status = p.get_qstring("status", QString()).left(kMaxStatusLength);
    seen.priority = p.get_bool("priority", false);
    seen.time = p.get_uint("time", 0);
    if (v != m_leader)
        return;
    if (m_fresh[line])
        reconcile(line, seen);
    else
        transition(line, seen);
}

void CallRecorder::ancillaryData(IPCObject* session, const Message& msg)
{
    unsigned int line = 0;
    SessionView* v = lineOf(session, msg, line);
    if (!v)
        return;
    const Params& p = msg.params();
    Info info;
    info.name = text(p, "name", kMaxTextLength);
    info.location = text(p, "location", kMaxTextLength);
    info.topic = text(p, "topic", kMaxTextLength);
    info.notes = text(p, "notes", kMaxNotesLength);
    info.gender = choice(p, "gender", "genderidx", kGenders);
    info.mood = choice(p, "mood", "moodidx", kMoods);
    info.blank = info.name.isEmpty() && info.location.isEmpty() && info.topic.isEmpty() && info.notes.isEmpty()
        && p.get_uint("genderidx", 0) == 0 && p.get_uint("moodidx", 0) == 0;
    LineView& seen = v->lines[line];
    seen.infoKnown = true;
    seen.info = info;
    if (v != m_leader)
        return;
    OpenCall& call = m_calls[line];
    if (!call.open)
        return;
    const CallRecord before = call.record;
    mergeInfo(call, info);
    if (call.record != before) {
        call.record.lastSeen = now();
        report(call, before);
    }
}

void CallRecorder::systemStatus(IPCObject* session, const Message& msg)
{
    SessionView* v = view(session);
    if (!v || !v->ready)
        return;
    v->numLines = std::min(msg.params().get_uint("num_lines", 0), MaxLines);
    if (v != m_leader)
        return;
    // The unit has fewer lines now: calls on the lines it dropped are over.
    for (unsigned int line = v->numLines; line < MaxLines; ++line)
        if (m_calls[line].open)
            endCall(line, now());
}

void CallRecorder::reconcile(unsigned int line, const LineView& seen)
{
    m_fresh[line] = false;
    const qint64 at = now();
    const Kind kind = kindOf(seen.status);
    OpenCall& call = m_calls[line];
    if (!call.open) {
        if (isCall(kind))
            openCall(line, seen, at, true);
        return;
    }
    // The line went idle while nobody was looking: the call ended at the
    // last moment it was seen.
    const qint64 lastSeen = call.lost ? call.record.lastSeen : at;
    if (kind == Idle || kind == NotACall) {
        endCall(line, lastSeen);
        return;
    }
    const CallRecord before = call.record;
    call.lost = false;
    call.record.priority = call.record.priority || seen.priority;
    if (isCall(kind)) {
        // The unit says how long the line has been in its state; that
        // stretch cannot have begun before the line was last seen.
        const qint64 since = at - qint64(seen.time) * 1000;
        enter(call, kind, seen.status, std::clamp(since, std::min(lastSeen, at), at));
    } else {
        closeStretch(call, at);
        call.kind = kind;
        call.status = seen.status;
        call.stretchStart = at;
    }
    if (seen.infoKnown)
        mergeInfo(call, seen.info);
    call.record.lastSeen = at;
    report(call, before);
}

void CallRecorder::transition(unsigned int line, const LineView& seen)
{
    const qint64 at = now();
    const Kind kind = kindOf(seen.status);
    OpenCall& call = m_calls[line];
    if (!call.open) {
        if (isCall(kind))
            openCall(line, seen, at, false);
        return;
    }
    const CallRecord before = call.record;
    call.record.priority = call.record.priority || seen.priority;
    if (seen.status != call.status) {
        if (kind == Idle || kind == NotACall) {
            endCall(line, at);
            return;
        }
        if (isCall(kind)) {
            enter(call, kind, seen.status, at);
        } else {
            // A word the log does not know: the call goes on, uncounted.
            closeStretch(call, at);
            call.kind = kind;
            call.status = seen.status;
            call.stretchStart = at;
        }
    }
    if (call.record != before) {
        call.record.lastSeen = at;
        report(call, before);
    }
}

void CallRecorder::openCall(unsigned int line, const LineView& seen, qint64 at, bool partial)
{
    OpenCall& call = m_calls[line];
    call = OpenCall();
    call.open = true;
    CallRecord& r = call.record;
    r.uid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    r.unitKey = m_unitKey;
    r.username = m_leader ? m_leader->session->username() : QString();
    r.line = int(line);
    r.firstSeen = at;
    r.lastSeen = at;
    r.partial = partial;
    r.priority = seen.priority;
    enter(call, kindOf(seen.status), seen.status, at);
    emit recordChanged(r);
}

void CallRecorder::enter(OpenCall& call, Kind kind, const QString& status, qint64 at)
{
    closeStretch(call, at);
    call.kind = kind;
    call.status = status;
    call.stretchStart = at;
    CallRecord& r = call.record;
    if (!call.taken && (kind == Held || kind == Handset || kind == OnAir)) {
        call.taken = true;
        // How long a caller waited is known only for a call seen from its
        // first ring.
        if (!r.partial)
            r.waitMs = std::max<qint64>(0, at - r.firstSeen);
    }
    if (kind == Handset && r.answered == 0)
        r.answered = at;
    if (kind == OnAir && r.firstOnAir == 0)
        r.firstOnAir = at;
    r.outcome = r.firstOnAir ? CallRecord::Aired : call.taken ? CallRecord::Answered : CallRecord::Pending;
}

void CallRecorder::closeStretch(OpenCall& call, qint64 at)
{
    if (call.stretchStart > 0 && at > call.stretchStart) {
        if (call.kind == Held)
            call.record.holdMs += at - call.stretchStart;
        else if (call.kind == OnAir)
            call.record.airMs += at - call.stretchStart;
    }
    call.stretchStart = 0;
}

void CallRecorder::endCall(unsigned int line, qint64 at)
{
    OpenCall& call = m_calls[line];
    CallRecord& r = call.record;
    closeStretch(call, at);
    r.ended = std::max(at, r.firstSeen);
    r.lastSeen = r.ended;
    r.outcome = r.firstOnAir ? CallRecord::Aired : call.taken ? CallRecord::Answered : CallRecord::Missed;
    const CallRecord ended = r;
    call = OpenCall();
    emit recordChanged(ended);
}

void CallRecorder::mergeInfo(OpenCall& call, const Info& info)
{
    // Consoles wipe the caller information of a line that is not connected
    // to anybody here (ringing, remote states); that wipe is no news about
    // the caller and must not erase what was typed.
    if (info.blank && !isConnected(call.status))
        return;
    CallRecord& r = call.record;
    r.name = info.name;
    r.location = info.location;
    r.topic = info.topic;
    r.notes = info.notes;
    r.gender = info.gender;
    r.mood = info.mood;
}

void CallRecorder::report(const OpenCall& call, const CallRecord& before)
{
    if (call.record != before)
        emit recordChanged(call.record);
}
