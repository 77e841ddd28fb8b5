#include "calllog/callrecorder.h"

#include "calllog/callfold.h"

#include <QDateTime>
#include <QSet>
#include <QUuid>

#include <algorithm>

namespace {

// Caller texts come from the network: a record keeps this much of each.
const int kMaxTextLength = 1000;
const int kMaxNotesLength = 20000;
// Longer words are no status word the log knows anyway.
const int kMaxStatusLength = 64;

} // namespace

CallRecorder::CallRecorder(const QString& unitKey, Clock clock, Clock monotonic, QObject* parent)
    : QObject(parent)
    , m_unitKey(unitKey)
    , m_clock(std::move(clock))
    , m_monotonic(std::move(monotonic))
{
    std::fill(std::begin(m_fresh), std::end(m_fresh), true);
    m_decideTimer.setSingleShot(true);
    m_decideTimer.setInterval(DecideMs);
    connect(&m_decideTimer, &QTimer::timeout, this, &CallRecorder::decideAll);
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

qint64 CallRecorder::mono() const
{
    return m_monotonic ? m_monotonic() : now();
}

qint64 CallRecorder::wallAt(qint64 monoMoment) const
{
    return now() - (mono() - monoMoment);
}

CallRecorder::Kind CallRecorder::kindOf(LineStatus::Word word)
{
    switch (word) {
    case LineStatus::Idle:
        return Idle;
    case LineStatus::BusiedOut:
    case LineStatus::LoopThru:
    case LineStatus::RemoteBusiedOut:
    case LineStatus::NotInstalled:
        return NotACall;
    case LineStatus::Ringing:
    case LineStatus::AutoAttendant:
    case LineStatus::RemoteAutoAttendant:
        return Waiting;
    case LineStatus::OnHold:
    case LineStatus::OnScreenedHold:
    case LineStatus::RemoteOnHold:
    case LineStatus::RemoteOnScreenedHold:
        return Held;
    case LineStatus::OnHandset:
    case LineStatus::RemoteOnHandset:
        return Handset;
    case LineStatus::OnAir:
    case LineStatus::RemoteOnAir:
        return OnAir;
    case LineStatus::Unknown:
    case LineStatus::Unreported:
        break;
    }
    return Unknown;
}

CallRecorder::Info CallRecorder::infoOf(const CallerInfo& c)
{
    Info info;
    info.name = c.name.left(kMaxTextLength);
    info.location = c.location.left(kMaxTextLength);
    info.topic = c.topic.left(kMaxTextLength);
    info.notes = c.notes.left(kMaxNotesLength);
    info.gender = c.genderText().left(kMaxTextLength);
    info.mood = c.moodText().left(kMaxTextLength);
    info.blank = c.isBlank();
    return info;
}

void CallRecorder::attach(IPCObject* session)
{
    if (!session || view(session))
        return;
    auto* v = new SessionView;
    v->session = session;
    m_sessions.append(v);
    const UnitState* unit = &session->unitState();
    connect(unit, &UnitState::pictureReset, this, [this, session](bool ready) { readinessChanged(session, ready); });
    connect(
        unit, &UnitState::lineStatusChanged, this,
        [this, session](unsigned line, const LineStatus&, const LineStatus& now) { lineStatus(session, line, now); });
    connect(unit, &UnitState::callerInfoChanged, this,
            [this, session](unsigned line, const CallerInfo& info) { callerInfo(session, line, info); });
    connect(unit, &UnitState::systemStatusChanged, this,
            [this, session](const SystemStatus&, const SystemStatus& now) { systemStatus(session, now); });
    // The unit's ticks advance the times the console shows; the reconnection
    // rule compares with them.
    connect(session, &IPCObject::recvTimerTick, this, [this, session] { tick(session); });
    connect(session, &QObject::destroyed, this, [this, session] { remove(session, false); });
    if (unit->isReady())
        readinessChanged(session, true);
}

void CallRecorder::detach(IPCObject* session)
{
    remove(session, true);
}

void CallRecorder::remove(IPCObject* session, bool alive)
{
    SessionView* v = view(session);
    if (!v)
        return;
    // A session on its way out has lost its unit picture already, and with
    // it every connection from there.
    if (alive) {
        QObject::disconnect(session, nullptr, this, nullptr);
        QObject::disconnect(&session->unitState(), nullptr, this, nullptr);
    }
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
    const qint64 at = mono();
    const qint64 wall = now();
    for (OpenCall& call : m_calls) {
        if (!call.open || call.lost)
            continue;
        const CallRecord before = call.record;
        closeStretch(call, at);
        if (lost) {
            call.lost = true;
            call.shownMs += at - call.seenMono;
            call.seenMono = at;
            call.first = LineStatus();
        } else {
            call.stretchStart = at;
        }
        call.record.lastSeen = wall;
        call.record.totalMs = at - call.firstMono;
        report(call, before);
    }
}

void CallRecorder::readinessChanged(IPCObject* session, bool ready)
{
    SessionView* v = view(session);
    if (!v || ready == v->ready)
        return;
    v->ready = ready;
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
    std::fill(std::begin(m_fresh), std::end(m_fresh), true);
    m_decideTimer.start();
    const UnitState& unit = v->session->unitState();
    for (unsigned int line = 0; line < MaxLines; ++line)
        if (unit.line(line).word != LineStatus::Unreported)
            lineStatus(v->session, line, unit.line(line));
}

void CallRecorder::leaderLost()
{
    m_decideTimer.stop();
    settleOpenCalls(true);
    for (SessionView* v : qAsConst(m_sessions)) {
        if (v->ready) {
            lead(v);
            break;
        }
    }
}

CallRecorder::SessionView* CallRecorder::leading(IPCObject* session)
{
    SessionView* v = view(session);
    return v && v->ready && v == m_leader ? v : nullptr;
}

void CallRecorder::tick(IPCObject* session)
{
    if (!leading(session))
        return;
    const qint64 at = mono();
    for (OpenCall& call : m_calls) {
        if (call.open && !call.lost) {
            call.shownMs += 1000;
            call.seenMono = at;
        }
    }
}

void CallRecorder::lineStatus(IPCObject* session, unsigned int line, const LineStatus& now)
{
    if (!leading(session))
        return;
    const bool fresh = m_fresh[line];
    m_fresh[line] = false;
    OpenCall& call = m_calls[line];
    if (call.open && call.lost) {
        if (call.first.word == LineStatus::Unreported) {
            call.first = now;
            call.firstAt = mono();
            // A line out of any call needs no caller to tell: that call is
            // over.
            const Kind kind = kindOf(now.word);
            decide(line, !m_decideTimer.isActive() || kind == Idle || kind == NotACall);
            return;
        }
        // A second report before the caller information: the first one
        // decides, this one follows.
        decide(line, true);
    }
    transition(line, now, fresh);
}

void CallRecorder::callerInfo(IPCObject* session, unsigned int line, const CallerInfo& info)
{
    if (!leading(session))
        return;
    OpenCall& call = m_calls[line];
    if (!call.open)
        return;
    // Details that come after a gap belong to the call the line is in now,
    // which need not be this one.
    if (call.lost) {
        decide(line, false);
        return;
    }
    const CallRecord before = call.record;
    mergeInfo(call, infoOf(info));
    if (call.record != before) {
        call.record.lastSeen = now();
        report(call, before);
    }
}

void CallRecorder::systemStatus(IPCObject* session, const SystemStatus& status)
{
    if (!leading(session))
        return;
    // The unit has fewer lines now: calls on the lines it dropped are over.
    for (unsigned int line = status.numLines; line < MaxLines; ++line)
        if (m_calls[line].open)
            endCall(line, now(), mono());
}

void CallRecorder::decideAll()
{
    if (!m_leader)
        return;
    for (unsigned int line = 0; line < MaxLines; ++line)
        decide(line, true);
}

void CallRecorder::decide(unsigned int line, bool force)
{
    OpenCall& call = m_calls[line];
    if (!call.open || !call.lost || call.first.word == LineStatus::Unreported || !m_leader)
        return;
    const UnitState& unit = m_leader->session->unitState();
    const bool infoKnown = unit.hasCallerInfo(line);
    if (!infoKnown && !force)
        return;
    const LineStatus first = call.first;
    const Kind kind = kindOf(first.word);
    const bool inCall = kind != Idle && kind != NotACall;
    const qint64 at = call.firstAt;
    // The same state, lasting at least as long as the console showed plus
    // the time away (2 s spare for the way there and back); or the same
    // caller.
    bool same = false;
    if (inCall) {
        const bool sameState = call.word == LineStatus::Unreported
            || (first.word == call.word
                && (first.word != LineStatus::Unknown || first.status.left(kMaxStatusLength) == call.status));
        same = sameState && qint64(first.time) * 1000 >= call.shownMs + (at - call.seenMono) - 2000;
        const QString name = CallFold::fold(call.record.name);
        same = same || (infoKnown && !name.isEmpty() && CallFold::fold(unit.callerInfo(line).name) == name);
    }
    if (same) {
        const CallRecord before = call.record;
        call.lost = false;
        call.first = LineStatus();
        call.record.priority = call.record.priority || first.priority;
        // The unit says how long the line has been in its state; that
        // stretch cannot have begun before the time stopped being counted.
        const qint64 since = std::clamp(at - qint64(first.time) * 1000, call.seenMono, at);
        if (isCall(kind))
            enter(call, first, since);
        else
            park(call, first, since);
        if (infoKnown)
            mergeInfo(call, infoOf(unit.callerInfo(line)));
        seen(call, first, at);
        call.record.lastSeen = wallAt(at);
        report(call, before);
        return;
    }
    call.record.partial = true;
    endCall(line, call.record.lastSeen, call.seenMono);
    if (!isCall(kind))
        return;
    openCall(line, first, true, at);
    if (infoKnown) {
        OpenCall& fresh = m_calls[line];
        const CallRecord before = fresh.record;
        mergeInfo(fresh, infoOf(unit.callerInfo(line)));
        report(fresh, before);
    }
}

void CallRecorder::transition(unsigned int line, const LineStatus& seen, bool fresh)
{
    const qint64 at = mono();
    const Kind kind = kindOf(seen.word);
    OpenCall& call = m_calls[line];
    if (!call.open) {
        // A call going on at the first report was not seen from its start.
        if (isCall(kind))
            openCall(line, seen, fresh, at);
        return;
    }
    const CallRecord before = call.record;
    call.record.priority = call.record.priority || seen.priority;
    if (seen.word != call.word || seen.status.left(kMaxStatusLength) != call.status) {
        if (kind == Idle || kind == NotACall) {
            endCall(line, now(), at);
            return;
        }
        if (isCall(kind))
            enter(call, seen, at);
        else
            // A word the log does not know: the call goes on, uncounted.
            park(call, seen, at);
    }
    this->seen(call, seen, at);
    if (call.record != before) {
        call.record.lastSeen = now();
        report(call, before);
    }
}

void CallRecorder::seen(OpenCall& call, const LineStatus& status, qint64 at)
{
    call.shownMs = qint64(status.time) * 1000;
    call.seenMono = at;
}

void CallRecorder::openCall(unsigned int line, const LineStatus& status, bool partial, qint64 at)
{
    OpenCall& call = m_calls[line];
    call = OpenCall();
    call.open = true;
    call.firstMono = at;
    CallRecord& r = call.record;
    r.uid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    r.unitKey = m_unitKey;
    r.username = m_leader ? m_leader->session->username() : QString();
    r.line = int(line);
    r.firstSeen = wallAt(at);
    r.lastSeen = r.firstSeen;
    r.partial = partial;
    r.priority = status.priority;
    enter(call, status, call.firstMono);
    seen(call, status, call.firstMono);
    emit recordChanged(r);
}

void CallRecorder::park(OpenCall& call, const LineStatus& status, qint64 since)
{
    closeStretch(call, since);
    call.kind = kindOf(status.word);
    call.word = status.word;
    call.status = status.status.left(kMaxStatusLength);
    call.stretchStart = since;
}

void CallRecorder::enter(OpenCall& call, const LineStatus& status, qint64 since)
{
    park(call, status, since);
    const Kind kind = call.kind;
    CallRecord& r = call.record;
    if (!call.taken && (kind == Held || kind == Handset || kind == OnAir)) {
        call.taken = true;
        // How long a caller waited is known only for a call seen from its
        // first ring.
        if (!r.partial)
            r.waitMs = std::max<qint64>(0, since - call.firstMono);
    }
    if (kind == Handset && r.answered == 0)
        r.answered = wallAt(since);
    if (kind == OnAir && r.firstOnAir == 0)
        r.firstOnAir = wallAt(since);
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

void CallRecorder::endCall(unsigned int line, qint64 wall, qint64 monoAt)
{
    OpenCall& call = m_calls[line];
    CallRecord& r = call.record;
    closeStretch(call, monoAt);
    r.ended = std::max(wall, r.firstSeen);
    r.lastSeen = r.ended;
    r.totalMs = std::max<qint64>(0, monoAt - call.firstMono);
    r.outcome = r.firstOnAir ? CallRecord::Aired : call.taken ? CallRecord::Answered : CallRecord::Missed;
    const CallRecord ended = r;
    call = OpenCall();
    if (!m_writing) {
        // The oldest go first: a program that follows a unit for long
        // without taking it over has no use for them.
        if (m_endedUnwritten.size() >= 200)
            m_endedUnwritten.removeFirst();
        m_endedUnwritten.append(ended);
    }
    emit recordChanged(ended);
}

void CallRecorder::setWriting(bool writing)
{
    m_writing = writing;
}

bool CallRecorder::overlaps(const CallRecord& a, const CallRecord& b)
{
    const auto end = [](const CallRecord& r) { return r.ended > 0 ? r.ended : r.lastSeen; };
    // Two programs see the same moment a little apart.
    const qint64 slack = 2000;
    return a.line == b.line && a.firstSeen <= end(b) + slack && b.firstSeen <= end(a) + slack;
}

void CallRecorder::mergeStored(CallRecord& own, const CallRecord& stored)
{
    const auto earliest = [](qint64 a, qint64 b) { return a == 0 ? b : b == 0 ? a : std::min(a, b); };
    own.id = stored.id;
    own.uid = stored.uid;
    own.username = stored.username;
    own.firstSeen = earliest(own.firstSeen, stored.firstSeen);
    own.answered = earliest(own.answered, stored.answered);
    own.firstOnAir = earliest(own.firstOnAir, stored.firstOnAir);
    if (stored.waitMs >= 0)
        own.waitMs = stored.waitMs;
    own.holdMs = std::max(own.holdMs, stored.holdMs);
    own.airMs = std::max(own.airMs, stored.airMs);
    own.totalMs = std::max(own.totalMs, stored.totalMs);
    own.priority = own.priority || stored.priority;
    // Complete when either program saw the start.
    own.partial = own.partial && stored.partial;
    if (own.outcome < stored.outcome && own.outcome != CallRecord::Missed)
        own.outcome = stored.outcome;
    if (own.name.isEmpty() && own.location.isEmpty() && own.topic.isEmpty() && own.notes.isEmpty()) {
        own.name = stored.name;
        own.location = stored.location;
        own.topic = stored.topic;
        own.notes = stored.notes;
        own.gender = stored.gender;
        own.mood = stored.mood;
    }
}

QVector<CallRecord> CallRecorder::adopt(const QVector<CallRecord>& stored)
{
    m_writing = true;
    QVector<CallRecord> out;
    QSet<QString> used;
    const auto match = [&](const CallRecord& own, bool openOnly) -> const CallRecord* {
        for (const CallRecord& s : stored)
            if (!used.contains(s.uid) && (!openOnly || s.isOpen()) && (s.uid == own.uid || overlaps(own, s)))
                return &s;
        return nullptr;
    };
    const qint64 at = mono();
    const qint64 wall = now();
    for (OpenCall& call : m_calls) {
        if (!call.open)
            continue;
        if (const CallRecord* s = match(call.record, true)) {
            used.insert(s->uid);
            if (s->uid != call.record.uid) {
                if (!call.lost)
                    call.record.totalMs = at - call.firstMono;
                mergeStored(call.record, *s);
                call.firstMono = std::min(call.firstMono, (call.lost ? call.seenMono : at) - call.record.totalMs);
            }
        }
        out.append(call.record);
    }
    for (CallRecord ended : qAsConst(m_endedUnwritten)) {
        const CallRecord* s = match(ended, false);
        if (s) {
            used.insert(s->uid);
            // The other program saw the end and wrote it.
            if (!s->isOpen() && s->uid != ended.uid)
                continue;
            if (s->uid != ended.uid)
                mergeStored(ended, *s);
        }
        out.append(ended);
    }
    m_endedUnwritten.clear();
    for (const CallRecord& s : stored) {
        if (!s.isOpen() || used.contains(s.uid))
            continue;
        OpenCall& call = m_calls[std::clamp(s.line, 0, int(MaxLines) - 1)];
        if (s.line >= 0 && s.line < int(MaxLines) && !call.open && (!m_leader || m_fresh[s.line])) {
            // Continued or ended by the line's first report, as after a gap
            // that began when the record was last written.
            call = OpenCall();
            call.open = true;
            call.lost = true;
            call.record = s;
            call.taken = s.waitMs >= 0 || s.answered > 0 || s.outcome != CallRecord::Pending;
            call.seenMono = at - std::max<qint64>(0, wall - s.lastSeen);
            call.firstMono = call.seenMono - s.totalMs;
            continue;
        }
        CallRecord over = s;
        over.ended = std::max(s.lastSeen, s.firstSeen);
        over.partial = true;
        if (over.outcome == CallRecord::Pending)
            over.outcome = CallRecord::Missed;
        out.append(over);
    }
    return out;
}

void CallRecorder::mergeInfo(OpenCall& call, const Info& info)
{
    // Consoles wipe the caller information of a line that is not connected
    // to anybody here (ringing, remote states); that wipe is no news about
    // the caller and must not erase what was typed.
    if (info.blank && !LineStatus::isConnected(call.word))
        return;
    CallRecord& r = call.record;
    r.name = info.name;
    r.location = info.location;
    r.topic = info.topic;
    r.notes = info.notes;
    r.gender = info.gender;
    r.mood = info.mood;
}

void CallRecorder::report(OpenCall& call, const CallRecord& before)
{
    if (call.record == before)
        return;
    // The total grows as the call goes on; written with every change.
    if (!call.lost)
        call.record.totalMs = mono() - call.firstMono;
    emit recordChanged(call.record);
}
