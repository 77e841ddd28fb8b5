#include "sim/unitsimulator.h"

#include "sim/simpeer.h"

#include <QDebug>

#include <algorithm>

namespace {

const char* const kStatusIdle = "on hook (idle)";
const char* const kStatusRinging = "ringing";
const char* const kStatusHold = "on hold";
const char* const kStatusHandset = "on handset";
const char* const kStatusAir = "on air";
const char* const kStatusBusied = "disabled (busied out)";
const char* const kStatusAutoAttendant = "on auto attendant";
const char* const kStatusScreenedHold = "on screened hold";

// The caller fields a unit keeps per line; anything else a console sends
// along is not stored.
const char* const kInfoFields[] = {"name", "location", "topic", "notes", "gender", "genderidx", "mood", "moodidx"};

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

const char* const kGenders[] = {"unknown", "male", "female"};
const char* const kMoods[]
    = {"neutral", "happy", "sad", "crying", "angry", "rude", "shocked", "embarassed", "eyeroll", "crazy"};

// A line number from the wire: digits only, so "abc" or "-1" never become
// line 0 or a huge index through the lenient getters.
bool parseLineNumber(const std::string& text, unsigned int& value)
{
    if (text.empty() || text.size() > 3)
        return false;
    unsigned int v = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + unsigned(c - '0');
    }
    value = v;
    return true;
}

bool isActive(const QString& status)
{
    return status == QLatin1String(kStatusRinging) || status == QLatin1String(kStatusHold)
        || status == QLatin1String(kStatusHandset) || status == QLatin1String(kStatusAir)
        || status == QLatin1String(kStatusAutoAttendant);
}

// Picked up by somebody: the caller's information is known from here on.
bool isTaken(const QString& status)
{
    return status == QLatin1String(kStatusHold) || status == QLatin1String(kStatusScreenedHold)
        || status == QLatin1String(kStatusHandset) || status == QLatin1String(kStatusAir);
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
    m_surfaces[0] = {true, QStringLiteral("studio")};
    m_surfaces[1] = {true, QStringLiteral("screener")};
    m_surfaces[2] = {true, QStringLiteral("screener")};
    m_surfaces[3] = {false, QString()};

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
    m_surfaces[index] = {online, type};
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

    const std::string name = msg.get_name();
    if (name == "login") {
        handleLogin(p, msg);
        return;
    }
    // Until the console has logged in, the unit acts on nothing else.
    if (!p->loggedIn())
        return;

    const Params& params = msg.params();
    if (name == "resync") {
        handleResync(p);
    } else if (name == "change_line_state") {
        handleLineState(p, params);
    } else if (name == "change_line_flags") {
        handleLineFlags(params);
    } else if (name == "change_global_state") {
        handleGlobalState(params);
    } else if (name == "ancillary_data") {
        handleAncillary(p, params);
    } else if (name == "chat_data") {
        handleChat(params);
    } else if (name == "set_handset_id") {
        p->setHandsetId(params.get_qstring("id", QStringLiteral("none")));
    } else if (name == "set_config") {
        // Remembered, not answered: the console answers every "set_config"
        // it receives with its own, so an answer here would never end.
        unsigned int surface = 0;
        if (parseLineNumber(params.get_string("surface", ""), surface))
            p->setSurface(surface);
    }
}

void UnitSimulator::handleLogin(SimPeer* p, const Message& msg)
{
    if (m_ignoreLogin)
        return;
    const bool ok = msg.params().get_qstring("password", QString()) == m_password;
    p->setLoggedIn(ok);
    Message answer;
    answer.set_name("login");
    answer.params().set_bool("success", ok);
    send(p, answer);
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

bool UnitSimulator::lineIndex(const Params& p, unsigned int& index) const
{
    return parseLineNumber(p.get_string("line_id", ""), index) && index < m_numLines;
}

void UnitSimulator::handleLineState(SimPeer* peer, const Params& p)
{
    const std::string command = p.get_string("command", "");
    const std::string target = p.get_string("line_id", "");

    if (target == "priority") {
        if (command != "air")
            return;
        for (unsigned int i = 0; i < m_numLines; ++i) {
            if (m_lines[i].priority && isActive(m_lines[i].status)) {
                m_lines[i].priority = false;
                setLineStatus(i, QLatin1String(kStatusAir), 0);
                return;
            }
        }
        return;
    }

    if (target == "unlocked") {
        if (command == "busy") {
            for (unsigned int i = 0; i < m_numLines; ++i)
                if (!m_lines[i].locked && m_lines[i].status == QLatin1String(kStatusIdle))
                    setLineStatus(i, QLatin1String(kStatusBusied));
            m_busiedOut = true;
        } else if (command == "unbusy") {
            for (unsigned int i = 0; i < m_numLines; ++i)
                if (m_lines[i].status == QLatin1String(kStatusBusied))
                    setLineStatus(i, QLatin1String(kStatusIdle));
            m_busiedOut = false;
        } else {
            return;
        }
        broadcast(systemStatus());
        return;
    }

    unsigned int index = 0;
    if (!lineIndex(p, index))
        return;
    Line& line = m_lines[index];
    if (command == "drop") {
        if (line.status == QLatin1String(kStatusIdle))
            return;
        line.locked = false;
        line.priority = false;
        line.caller.clear();
        setLineStatus(index, QLatin1String(kStatusIdle));
        clearInfo(index);
        return;
    }
    // Hold, handset and air need a call on the line.
    if (!isActive(line.status))
        return;
    const bool waiting
        = line.status == QLatin1String(kStatusRinging) || line.status == QLatin1String(kStatusAutoAttendant);
    if (command == "hold")
        setLineStatus(index, QLatin1String(kStatusHold));
    else if (command == "handset")
        setLineStatus(index, QLatin1String(kStatusHandset), int(peer->surface()));
    else if (command == "air")
        setLineStatus(index, QLatin1String(kStatusAir), 0);
    else
        return;
    if (waiting && line.caller.has_param()) {
        line.info = line.caller;
        line.caller.clear();
        broadcast(ancillaryData(index, false));
    }
}

void UnitSimulator::handleLineFlags(const Params& p)
{
    unsigned int index = 0;
    if (!lineIndex(p, index))
        return;
    const std::string flag = p.get_string("flag", "");
    const bool state = p.get_bool("state", false);
    if (flag == "locked") {
        m_lines[index].locked = state;
    } else if (flag == "priority") {
        // One priority caller at a time: NEXT puts exactly that one on air.
        if (state) {
            for (unsigned int i = 0; i < m_numLines; ++i) {
                if (i != index && m_lines[i].priority) {
                    m_lines[i].priority = false;
                    broadcast(lineStatus(i));
                }
            }
        }
        m_lines[index].priority = state;
    } else {
        return;
    }
    broadcast(lineStatus(index));
}

void UnitSimulator::handleGlobalState(const Params& p)
{
    if (p.get_string("state", "") != "aa")
        return;
    m_aaEnabled = p.get_bool("enabled", false);
    broadcast(systemStatus());
}

void UnitSimulator::handleAncillary(SimPeer* peer, const Params& p)
{
    unsigned int index = 0;
    if (!lineIndex(p, index))
        return;
    Params info;
    for (const char* field : kInfoFields)
        if (p.has_param(field))
            info.set_string(field, p.get_string(field, ""));
    // Every idle line makes every console send a cleared record; echoing
    // unchanged records would multiply that by the number of consoles.
    if (info == m_lines[index].info)
        return;
    m_lines[index].info = info;
    const QList<SimPeer*> peers = m_peers;
    for (SimPeer* other : peers)
        if (other->loggedIn())
            send(other, ancillaryData(index, other == peer));
}

void UnitSimulator::handleChat(const Params& p)
{
    Message chat;
    chat.set_name("chat_data");
    chat.params().set_string("from", p.get_string("from", ""));
    chat.params().set_string("text", p.get_string("text", ""));
    broadcast(chat);
}

void UnitSimulator::setLineStatus(unsigned int index, const QString& status, int location)
{
    Line& line = m_lines[index];
    line.status = status;
    line.location = location;
    line.time = 0;
    if (status == QLatin1String(kStatusAir))
        line.priority = false;
    broadcast(lineStatus(index));
}

void UnitSimulator::clearInfo(unsigned int index)
{
    if (!m_lines[index].info.has_param())
        return;
    m_lines[index].info.clear();
    broadcast(ancillaryData(index, false));
}

bool UnitSimulator::ring(unsigned int index, const QString& name)
{
    if (index >= m_numLines || m_lines[index].status != QLatin1String(kStatusIdle))
        return false;
    const MadeUpCaller& caller = kCallers[m_callCounter++ % (sizeof(kCallers) / sizeof(kCallers[0]))];
    Params info;
    info.set_string("name", name.isEmpty() ? caller.name : name.toStdString());
    info.set_string("location", caller.location);
    info.set_string("topic", caller.topic);
    info.set_string("notes", "");
    info.set_string("gender", kGenders[caller.genderidx]);
    info.set_uint("genderidx", caller.genderidx);
    info.set_string("mood", kMoods[caller.moodidx]);
    info.set_uint("moodidx", caller.moodidx);
    return ring(index, info);
}

bool UnitSimulator::ring(unsigned int index, const Params& caller)
{
    if (index >= m_numLines || m_lines[index].status != QLatin1String(kStatusIdle))
        return false;
    Line& line = m_lines[index];
    line.ringNum += 1;
    line.priority = false;
    line.locked = false;
    // Consoles wipe the caller information of a ringing line; the caller is
    // screened (filled in) when the call is picked up.
    line.caller = Params();
    for (const char* field : kInfoFields)
        if (caller.has_param(field))
            line.caller.set_string(field, caller.get_string(field, ""));
    setLineStatus(index, QLatin1String(m_aaEnabled ? kStatusAutoAttendant : kStatusRinging));
    return true;
}

bool UnitSimulator::setLineState(unsigned int index, const QString& status, int location)
{
    if (index >= m_numLines)
        return false;
    Line& line = m_lines[index];
    if (status == QLatin1String(kStatusIdle)) {
        line.locked = false;
        line.priority = false;
        line.caller.clear();
        setLineStatus(index, status);
        clearInfo(index);
        return true;
    }
    const bool waiting
        = line.status == QLatin1String(kStatusRinging) || line.status == QLatin1String(kStatusAutoAttendant);
    setLineStatus(index, status, location);
    if (waiting && isTaken(status) && line.caller.has_param()) {
        line.info = line.caller;
        line.caller.clear();
        broadcast(ancillaryData(index, false));
    }
    return true;
}

bool UnitSimulator::setLineFlag(unsigned int index, const QString& flag, bool state)
{
    if (index >= m_numLines)
        return false;
    Params p;
    p.set_uint("line_id", index);
    p.set_qstring("flag", flag);
    p.set_bool("state", state);
    handleLineFlags(p);
    return true;
}

bool UnitSimulator::setCallerInfo(unsigned int index, const Params& info)
{
    if (index >= m_numLines)
        return false;
    Params stored;
    for (const char* field : kInfoFields)
        if (info.has_param(field))
            stored.set_string(field, info.get_string(field, ""));
    m_lines[index].info = stored;
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
        if (line.status == QLatin1String(kStatusIdle) || line.status == QLatin1String(kStatusBusied))
            continue;
        line.time += 1;
        const bool waiting
            = line.status == QLatin1String(kStatusRinging) || line.status == QLatin1String(kStatusAutoAttendant);
        if (waiting && line.time >= m_ringTimeout) {
            line.caller.clear();
            setLineStatus(i, QLatin1String(kStatusIdle));
            clearInfo(i);
        }
    }
    Message tick;
    tick.set_name("timer_tick");
    broadcast(tick);
}

Message UnitSimulator::lineStatus(unsigned int index) const
{
    const Line& line = m_lines[index];
    Message msg;
    msg.set_name("line_status");
    msg.params().set_uint("line_id", index);
    msg.params().set_qstring("status", line.status);
    msg.params().set_bool("locked", line.locked);
    msg.params().set_bool("override", false);
    msg.params().set_bool("priority", line.priority);
    msg.params().set_uint("ring_num", line.ringNum);
    msg.params().set_uint("time", line.time);
    msg.params().set_bool("utility", line.utility);
    msg.params().set_int("location", line.location);
    return msg;
}

Message UnitSimulator::ancillaryData(unsigned int index, bool local) const
{
    const Params& info = m_lines[index].info;
    Message msg;
    msg.set_name("ancillary_data");
    msg.params().set_uint("line_id", index);
    msg.params().set_string("name", info.get_string("name", ""));
    msg.params().set_string("location", info.get_string("location", ""));
    msg.params().set_string("topic", info.get_string("topic", ""));
    msg.params().set_string("notes", info.get_string("notes", ""));
    msg.params().set_string("gender", info.get_string("gender", "unknown"));
    msg.params().set_uint("genderidx", info.get_uint("genderidx", 0));
    msg.params().set_string("mood", info.get_string("mood", "neutral"));
    msg.params().set_uint("moodidx", info.get_uint("moodidx", 0));
    msg.params().set_bool("local", local);
    return msg;
}

Message UnitSimulator::systemStatus() const
{
    Message msg;
    msg.set_name("system_status");
    msg.params().set_uint("num_lines", m_numLines);
    msg.params().set_bool("aa_enabled", m_aaEnabled);
    msg.params().set_bool("busied_out", m_busiedOut);
    return msg;
}

Message UnitSimulator::surfaceStatus(unsigned int index) const
{
    const Surface& s = m_surfaces[index];
    Message msg;
    msg.set_name("surface_status");
    msg.params().set_uint("id", index);
    msg.params().set_bool("online", s.online);
    msg.params().set_qstring("type", s.type);
    return msg;
}
