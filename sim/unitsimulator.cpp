#include "sim/unitsimulator.h"

#include "sim/simpeer.h"
#include "unit/chatline.h"
#include "unit/systemstatus.h"

#include <QDebug>

#include <algorithm>

namespace {

struct MadeUpCaller
{
    const char* name;
    const char* location;
    const char* topic;
    unsigned int genderidx;
    unsigned int moodidx;
};

const MadeUpCaller kCallers[] = {
    {"Ada", "Leeds", "Traffic on the ring road", 2, 1},
    {"Bert", "Kingsbridge", "Allotment prize marrows", 1, 0},
    {"Carla", "Harbour Street", "Lost cat", 2, 2},
    {"Dev", "Northfield", "Football results", 1, 4},
    {"Elsie", "", "Birthday request", 2, 1},
    {"Frank", "The Mill", "Complaint about the weather", 1, 8},
};

// A call the unit can act on.
bool isActive(LineStatus::Word w)
{
    return w == LineStatus::Ringing || w == LineStatus::OnHold || w == LineStatus::OnHandset || w == LineStatus::OnAir
        || w == LineStatus::AutoAttendant;
}

bool isWaiting(LineStatus::Word w)
{
    return w == LineStatus::Ringing || w == LineStatus::AutoAttendant;
}

// A record as the unit keeps it: a gender or mood nobody named is the
// first of its table.
CallerInfo kept(CallerInfo info)
{
    if (!(info.fields & CallerInfo::Gender))
        info.gender = QLatin1String(kGenderChoices[0].sent);
    if (!(info.fields & CallerInfo::Mood))
        info.mood = QLatin1String(kMoodChoices[0].sent);
    return info;
}

QString frameText(const Message& msg)
{
    std::string xml;
    msg.build_string(Message::ENC_XML, xml, false);
    strip_xml_header(xml);
    return QString::fromStdString(xml);
}

} // namespace

UnitSimulator::UnitSimulator(QObject* parent)
    : QTcpServer(parent)
{
    const SurfaceStatus::Type types[NUM_SURFACES]
        = {SurfaceStatus::Studio, SurfaceStatus::Screener, SurfaceStatus::Screener, SurfaceStatus::Unknown};
    for (unsigned int i = 0; i < NUM_SURFACES; ++i) {
        m_surfaces[i].id = i;
        m_surfaces[i].online = i < 3;
        m_surfaces[i].type = types[i];
    }

    m_tickTimer.setInterval(1000);
    connect(&m_tickTimer, &QTimer::timeout, this, &UnitSimulator::tick);
    m_callTimer.setInterval(4000);
    connect(&m_callTimer, &QTimer::timeout, this, &UnitSimulator::madeUpCall);
}

UnitSimulator::~UnitSimulator()
{
    // The peers' sockets must not report into a half-destroyed simulator.
    for (SimPeer* p : qAsConst(m_peers)) {
        p->disconnect(this);
        delete p;
    }
    m_peers.clear();
}

bool UnitSimulator::start(quint16 port, const QHostAddress& address)
{
    if (!listen(address, port))
        return false;
    m_tickTimer.start();
    return true;
}

void UnitSimulator::setNumLines(unsigned int lines)
{
    m_numLines = lines == 6 ? 6 : MAX_LINES;
    broadcast(systemStatus());
}

void UnitSimulator::setTickInterval(int ms)
{
    m_tickTimer.setInterval(std::max(ms, 1));
}

void UnitSimulator::setCalls(bool enabled, int intervalMs)
{
    m_callTimer.setInterval(std::max(intervalMs, 1));
    if (enabled)
        m_callTimer.start();
    else
        m_callTimer.stop();
}

const UnitSimulator::Line& UnitSimulator::line(unsigned int index) const
{
    return m_lines[std::min(index, MAX_LINES - 1)];
}

const UnitSimulator::Surface& UnitSimulator::surface(unsigned int index) const
{
    return m_surfaces[std::min(index, NUM_SURFACES - 1)];
}

void UnitSimulator::setSurface(unsigned int index, bool online, const QString& type)
{
    if (index >= NUM_SURFACES)
        return;
    Surface& s = m_surfaces[index];
    s.online = online;
    s.type = type == QLatin1String("studio") ? Surface::Studio
        : type == QLatin1String("screener")  ? Surface::Screener
                                             : Surface::Unknown;
    s.typeText = s.type == Surface::Unknown ? type : QString();
    broadcast(surfaceStatus(index));
}

int UnitSimulator::loggedInCount() const
{
    return int(std::count_if(m_peers.begin(), m_peers.end(), [](const SimPeer* p) { return p->loggedIn(); }));
}

QList<int> UnitSimulator::connectionIds() const
{
    QList<int> ids;
    for (const SimPeer* p : m_peers)
        ids.append(p->id());
    return ids;
}

SimPeer* UnitSimulator::peer(int connection) const
{
    for (SimPeer* p : m_peers)
        if (p->id() == connection)
            return p;
    return nullptr;
}

unsigned int UnitSimulator::connectionSurface(int connection) const
{
    const SimPeer* p = peer(connection);
    return p ? p->surface() : 0;
}

QString UnitSimulator::connectionHandsetId(int connection) const
{
    const SimPeer* p = peer(connection);
    return p ? p->handsetId() : QString();
}

QList<Message> UnitSimulator::receivedMessages(const QString& name) const
{
    QList<Message> out;
    const std::string wanted = name.toStdString();
    for (const Received& r : m_received)
        if (wanted.empty() || r.msg.get_name() == wanted)
            out.append(r.msg);
    return out;
}

void UnitSimulator::incomingConnection(qintptr socketDescriptor)
{
    SimPeer* p = new SimPeer(m_nextId++, socketDescriptor, this);
    connect(p, &SimPeer::received, this, &UnitSimulator::peerReceived);
    connect(p, &SimPeer::closed, this, &UnitSimulator::peerClosed);
    connect(p, &SimPeer::failed, this, [this](SimPeer* peer, const QString& text) {
        if (m_verbose)
            qInfo().noquote() << QStringLiteral("[%1] failed: %2").arg(peer->id()).arg(text);
    });
    m_peers.append(p);
    if (m_stopReading)
        p->setReading(false);
    if (m_verbose)
        qInfo().noquote() << QStringLiteral("[%1] console connected").arg(p->id());
    emit connectionOpened(p->id());
    // A console that went away before we saw it leaves nothing behind.
    if (!p->isOpen())
        peerClosed(p);
}

void UnitSimulator::peerClosed(SimPeer* p)
{
    if (!m_peers.removeOne(p))
        return;
    if (m_verbose)
        qInfo().noquote() << QStringLiteral("[%1] console disconnected").arg(p->id());
    p->disconnect(this);
    // Later: the peer may be inside its own socket's read slot right now.
    p->deleteLater();
    emit connectionClosed(p->id());
}

void UnitSimulator::setStopReading(bool stop)
{
    m_stopReading = stop;
    for (SimPeer* p : m_peers)
        p->setReading(!stop);
}

void UnitSimulator::dropAllConnections()
{
    const QList<SimPeer*> peers = m_peers;
    for (SimPeer* p : peers)
        p->abort();
}

void UnitSimulator::dropConnection(int connection)
{
    if (SimPeer* p = peer(connection))
        p->abort();
}

void UnitSimulator::sendMessage(const Message& msg, int connection)
{
    const QList<SimPeer*> peers = m_peers;
    for (SimPeer* p : peers)
        if (connection == 0 || p->id() == connection)
            send(p, msg);
}

void UnitSimulator::sendRaw(const QByteArray& bytes, int connection)
{
    const QList<SimPeer*> peers = m_peers;
    for (SimPeer* p : peers) {
        if (connection != 0 && p->id() != connection)
            continue;
        if (m_verbose)
            qInfo().noquote() << QStringLiteral("[%1] TX raw %2 bytes").arg(p->id()).arg(bytes.size());
        p->sendRaw(bytes);
    }
}

void UnitSimulator::send(SimPeer* p, const Message& msg)
{
    if (m_verbose)
        qInfo().noquote() << QStringLiteral("[%1] TX: %2").arg(p->id()).arg(frameText(msg));
    p->send(msg);
}

void UnitSimulator::broadcast(const Message& msg)
{
    const QList<SimPeer*> peers = m_peers;
    for (SimPeer* p : peers)
        if (p->loggedIn())
            send(p, msg);
}

void UnitSimulator::peerReceived(SimPeer* p, const Message& msg)
{
    if (m_recording)
        m_received.push_back({p->id(), msg});
    if (m_verbose)
        qInfo().noquote() << QStringLiteral("[%1] rx: %2").arg(p->id()).arg(frameText(msg));
    emit messageReceived(p->id(), msg);

    const UnitCommands::Kind kind = UnitCommands::kindOf(msg);
    if (kind == UnitCommands::Login) {
        handleLogin(p, msg);
        return;
    }
    // Until the console has logged in, the unit acts on nothing else.
    if (!p->loggedIn())
        return;

    switch (kind) {
    case UnitCommands::Resync:
        handleResync(p);
        break;
    case UnitCommands::ChangeLineState:
        handleLineState(p, msg);
        break;
    case UnitCommands::ChangeLineFlags: {
        UnitCommands::FlagCommand command;
        if (UnitCommands::readLineFlag(msg, m_numLines, command) == Refusal::None)
            handleLineFlags(command);
        break;
    }
    case UnitCommands::ChangeGlobalState: {
        bool enabled = false;
        if (UnitCommands::readAutoAttendant(msg, enabled)) {
            m_aaEnabled = enabled;
            broadcast(systemStatus());
        }
        break;
    }
    case UnitCommands::AncillaryData:
        handleAncillary(p, msg);
        break;
    case UnitCommands::ChatData: {
        Message chat;
        ChatLine::read(msg).write(chat);
        broadcast(chat);
        break;
    }
    case UnitCommands::SetHandsetId: {
        const QString id = UnitCommands::readHandset(msg);
        if (!id.isEmpty())
            p->setHandsetId(id);
        break;
    }
    case UnitCommands::SetConfig:
        // Remembered, not answered: the console answers every "set_config"
        // it receives with its own, so an answer here would never end.
        p->setSurface(UnitCommands::readSetConfig(msg));
        break;
    case UnitCommands::Login:
    case UnitCommands::Other:
        break;
    }
}

void UnitSimulator::handleLogin(SimPeer* p, const Message& msg)
{
    if (m_ignoreLogin)
        return;
    const bool ok = UnitCommands::readLogin(msg).password == m_password;
    p->setLoggedIn(ok);
    send(p, UnitCommands::loginAnswer(ok));
}

void UnitSimulator::handleResync(SimPeer* p)
{
    send(p, systemStatus());
    for (unsigned int i = 0; i < NUM_SURFACES; ++i)
        send(p, surfaceStatus(i));
    for (unsigned int i = 0; i < m_numLines; ++i) {
        send(p, lineStatus(i));
        send(p, ancillaryData(i, false));
    }
}

void UnitSimulator::handleLineState(SimPeer* peer, const Message& msg)
{
    using Action = UnitCommands::Action;
    UnitCommands::LineCommand command;
    if (UnitCommands::readLineCommand(msg, m_numLines, command) != Refusal::None)
        return;

    if (command.target == UnitCommands::Target::Priority) {
        if (command.action != Action::Air)
            return;
        for (unsigned int i = 0; i < m_numLines; ++i) {
            if (m_lines[i].priority && isActive(m_lines[i].word)) {
                m_lines[i].priority = false;
                setLineStatus(i, LineStatus::OnAir, 0);
                return;
            }
        }
        return;
    }

    if (command.target == UnitCommands::Target::Unlocked) {
        if (command.action == Action::Busy) {
            for (unsigned int i = 0; i < m_numLines; ++i)
                if (!m_lines[i].locked && m_lines[i].word == LineStatus::Idle)
                    setLineStatus(i, LineStatus::BusiedOut);
            m_busiedOut = true;
        } else if (command.action == Action::Unbusy) {
            for (unsigned int i = 0; i < m_numLines; ++i)
                if (m_lines[i].word == LineStatus::BusiedOut)
                    setLineStatus(i, LineStatus::Idle);
            m_busiedOut = false;
        } else {
            return;
        }
        broadcast(systemStatus());
        return;
    }

    const unsigned int index = command.line;
    Line& line = m_lines[index];
    if (command.action == Action::Drop) {
        if (line.word == LineStatus::Idle)
            return;
        line.locked = false;
        line.priority = false;
        line.caller = CallerInfo();
        setLineStatus(index, LineStatus::Idle);
        clearInfo(index);
        return;
    }
    // Hold, handset and air need a call on the line.
    if (!isActive(line.word))
        return;
    const bool waiting = isWaiting(line.word);
    if (command.action == Action::Hold)
        setLineStatus(index, LineStatus::OnHold);
    else if (command.action == Action::Handset)
        setLineStatus(index, LineStatus::OnHandset, int(peer->surface()));
    else if (command.action == Action::Air)
        setLineStatus(index, LineStatus::OnAir, 0);
    else
        return;
    if (waiting)
        screen(index);
}

void UnitSimulator::screen(unsigned int index)
{
    Line& line = m_lines[index];
    if (!line.caller.fields)
        return;
    line.info = line.caller;
    line.caller = CallerInfo();
    broadcast(ancillaryData(index, false));
}

void UnitSimulator::handleLineFlags(const UnitCommands::FlagCommand& command)
{
    const unsigned int index = command.line;
    if (command.flag == UnitCommands::Flag::Locked) {
        m_lines[index].locked = command.state;
    } else if (command.flag == UnitCommands::Flag::Priority) {
        // One priority caller at a time: NEXT puts exactly that one on air.
        if (command.state) {
            for (unsigned int i = 0; i < m_numLines; ++i) {
                if (i != index && m_lines[i].priority) {
                    m_lines[i].priority = false;
                    broadcast(lineStatus(i));
                }
            }
        }
        m_lines[index].priority = command.state;
    } else {
        return;
    }
    broadcast(lineStatus(index));
}

void UnitSimulator::handleAncillary(SimPeer* peer, const Message& msg)
{
    unsigned int index = 0;
    CallerInfo read;
    bool local = false;
    if (CallerInfo::read(msg, m_numLines, index, read, local) != Refusal::None)
        return;
    const CallerInfo info = kept(read);
    // Every idle line makes every console send a cleared record; echoing
    // unchanged records would multiply that by the number of consoles.
    CallerInfo& stored = m_lines[index].info;
    if (info == stored && info.fields == stored.fields)
        return;
    stored = info;
    const QList<SimPeer*> peers = m_peers;
    for (SimPeer* other : peers)
        if (other->loggedIn())
            send(other, ancillaryData(index, other == peer));
}

void UnitSimulator::setLineStatus(unsigned int index, LineStatus::Word word, int location)
{
    setLineStatus(index, LineStatus::textOf(word), location);
}

void UnitSimulator::setLineStatus(unsigned int index, const QString& status, int location)
{
    Line& line = m_lines[index];
    line.setStatus(status);
    line.location = location;
    line.time = 0;
    if (line.word == LineStatus::OnAir)
        line.priority = false;
    broadcast(lineStatus(index));
}

void UnitSimulator::clearInfo(unsigned int index)
{
    if (!m_lines[index].info.fields)
        return;
    m_lines[index].info = CallerInfo();
    broadcast(ancillaryData(index, false));
}

bool UnitSimulator::ring(unsigned int index, const QString& name)
{
    if (index >= m_numLines || m_lines[index].word != LineStatus::Idle)
        return false;
    const MadeUpCaller& made = kCallers[m_callCounter++ % (sizeof(kCallers) / sizeof(kCallers[0]))];
    CallerInfo caller;
    caller.name = name.isEmpty() ? QString::fromUtf8(made.name) : name;
    caller.location = QString::fromUtf8(made.location);
    caller.topic = QString::fromUtf8(made.topic);
    caller.genderidx = made.genderidx;
    caller.gender = QLatin1String(kGenderChoices[made.genderidx].sent);
    caller.moodidx = made.moodidx;
    caller.mood = QLatin1String(kMoodChoices[made.moodidx].sent);
    caller.fields = 0xff;
    return ring(index, caller);
}

bool UnitSimulator::ring(unsigned int index, const CallerInfo& caller)
{
    if (index >= m_numLines || m_lines[index].word != LineStatus::Idle)
        return false;
    Line& line = m_lines[index];
    line.ringNum += 1;
    line.priority = false;
    line.locked = false;
    // Consoles wipe the caller information of a ringing line; the caller is
    // screened (filled in) when the call is picked up.
    line.caller = kept(caller);
    setLineStatus(index, m_aaEnabled ? LineStatus::AutoAttendant : LineStatus::Ringing);
    return true;
}

bool UnitSimulator::setLineState(unsigned int index, const QString& status, int location)
{
    if (index >= m_numLines)
        return false;
    Line& line = m_lines[index];
    if (status == LineStatus::textOf(LineStatus::Idle)) {
        line.locked = false;
        line.priority = false;
        line.caller = CallerInfo();
        setLineStatus(index, LineStatus::Idle);
        clearInfo(index);
        return true;
    }
    const bool waiting = isWaiting(line.word);
    setLineStatus(index, status, location);
    if (waiting && LineStatus::isConnected(line.word))
        screen(index);
    return true;
}

bool UnitSimulator::setLineFlag(unsigned int index, UnitCommands::Flag flag, bool state)
{
    if (index >= m_numLines)
        return false;
    handleLineFlags({flag, state, index});
    return true;
}

bool UnitSimulator::setCallerInfo(unsigned int index, const CallerInfo& info)
{
    if (index >= m_numLines)
        return false;
    m_lines[index].info = kept(info);
    broadcast(ancillaryData(index, false));
    return true;
}

bool UnitSimulator::ring()
{
    for (unsigned int i = 0; i < m_numLines; ++i)
        if (ring(i))
            return true;
    return false;
}

void UnitSimulator::madeUpCall()
{
    // Start at a different line each time so calls spread over the panel.
    const unsigned int start = m_callCounter % m_numLines;
    for (unsigned int k = 0; k < m_numLines; ++k)
        if (ring((start + k) % m_numLines))
            return;
}

void UnitSimulator::tick()
{
    for (unsigned int i = 0; i < m_numLines; ++i) {
        Line& line = m_lines[i];
        if (line.word == LineStatus::Idle || line.word == LineStatus::BusiedOut)
            continue;
        line.time += 1;
        if (isWaiting(line.word) && line.time >= m_ringTimeout) {
            line.caller = CallerInfo();
            setLineStatus(i, LineStatus::Idle);
            clearInfo(i);
        }
    }
    Message tick;
    tick.set_name("timer_tick");
    broadcast(tick);
}

Message UnitSimulator::lineStatus(unsigned int index) const
{
    Message msg;
    m_lines[index].write(msg, index);
    return msg;
}

Message UnitSimulator::ancillaryData(unsigned int index, bool local) const
{
    Message msg;
    m_lines[index].info.writeReport(msg, index, local);
    return msg;
}

Message UnitSimulator::systemStatus() const
{
    Message msg;
    SystemStatus{m_numLines, m_aaEnabled, m_busiedOut}.write(msg);
    return msg;
}

Message UnitSimulator::surfaceStatus(unsigned int index) const
{
    Message msg;
    m_surfaces[index].write(msg);
    return msg;
}
