#include "ipc/ipcobject.h"

#include "ipc/ipcqt.h"
#include "unit/unitcommands.h"

#include <QDebug>
#include <QLoggingCategory>
#include <QMessageLogger>

#include <cstdio>
#include <exception>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace {

const char* const kSendSignature = "bool IPCObject::send_message(const Message &)";
const char* const kRxSignature = "virtual void IPCObject::rx_message(const Message &)";

// Building the XML of every message only to throw it away costs more than
// the rest of the receive path; do it only when someone reads the log.
bool debugEnabled()
{
    return QLoggingCategory::defaultCategory()->isDebugEnabled();
}

QString xmlForLog(const Message& msg)
{
    std::string xml;
    msg.build_string(Message::ENC_XML, xml, false);
    return QString::fromStdString(xml);
}

} // namespace

IPCObject::IPCObject(QObject* parent)
    : QObject(parent)
{
    m_handlers["login"] = &IPCObject::resp_login;
    m_handlers["network_info"] = &IPCObject::resp_network_info;
    m_handlers["set_config"] = &IPCObject::resp_set_config;
    m_handlers["timer_tick"] = &IPCObject::resp_timer_tick;
    m_handlers["system_status"] = &IPCObject::resp_system_status;
    m_handlers["surface_status"] = &IPCObject::resp_surface_status;
    m_handlers["line_status"] = &IPCObject::resp_line_status;
    m_handlers["line_status_hw"] = &IPCObject::resp_line_status_hw;
    m_handlers["ancillary_data"] = &IPCObject::resp_ancillary_data;
    m_handlers["chat_data"] = &IPCObject::resp_chat_data;
    m_handlers["log_message"] = &IPCObject::resp_log_message;

    qRegisterMetaType<IPCObject::IPC_STATE>("IPCObject::IPC_STATE");
    qRegisterMetaType<Message>("Message");

    IPCQt* socket = new IPCQt(nullptr);
    set_dc(socket);
    connect(socket, &QAbstractSocket::connected, this, &IPCObject::socketConnected);
    connect(socket, &QAbstractSocket::disconnected, this, &IPCObject::socketDisconnected);
    connect(socket, &QAbstractSocket::errorOccurred, this, &IPCObject::socketError);
}

IPCObject::~IPCObject()
{
    // The socket may still report its closing while it is torn down; by then
    // nobody must be told, so cut it loose before the transport deletes it.
    if (IPCQt* socket = get_dc_qt())
        socket->disconnect(this);
    clear_messages();
}

void IPCObject::connectIPC(const QString& host, unsigned int port, QString password, QString username)
{
    m_host = host;
    m_port = port;
    m_unit.setPeer(host);
    m_password = password;
    m_username = username;
    reconnect();
}

void IPCObject::reconnect()
{
    IPCQt* socket = get_dc_qt();
    if (!socket)
        return;
    // Close the old connection before announcing the new attempt: closing a
    // live socket reports "disconnected", which must not come after
    // "connecting" and leave the console believing nothing is going on.
    socket->close();
    // A graceful close waits for unsent bytes and leaves the socket in its
    // closing state, where a new connectToHost would be refused.
    if (socket->state() != QAbstractSocket::UnconnectedState)
        socket->abort();
    setState(IPC_CONNECTING);
    // Cut to 16 bits, 70000 would quietly become port 4464: some other
    // service, which must not be handed our password.
    if (m_port == 0 || m_port > 65535) {
        emit error(QStringLiteral("Invalid port %1").arg(m_port));
        return;
    }
    socket->connectToHost(m_host, static_cast<quint16>(m_port), QIODevice::ReadWrite, QAbstractSocket::AnyIPProtocol);
}

void IPCObject::disconnectIPC()
{
    setState(IPC_DISCONNECTED);
    if (IPCQt* socket = get_dc_qt())
        socket->close();
}

IPCObject::IPC_STATE IPCObject::getState() const
{
    return static_cast<IPC_STATE>(m_state);
}

void IPCObject::setState(IPC_STATE s)
{
    if (m_state == int(s))
        return;
    m_state = s;
    m_unit.setReady(s == IPC_READY);
    emit changedState(s);
}

IPCQt* IPCObject::get_dc_qt()
{
    return dynamic_cast<IPCQt*>(get_dc());
}

const IPCQt* IPCObject::get_dc_qt() const
{
    return dynamic_cast<const IPCQt*>(get_dc());
}

bool IPCObject::send_message(const Message& msg)
{
    try {
        if (debugEnabled()) {
            // The log is not the wire: a password sent in clear to the unit
            // has no business in a debug log that anyone may be shown.
            const QString xml = xmlForLog(UnitCommands::forLog(msg));
            QMessageLogger("ipc", 0, kSendSignature).debug().nospace().noquote() << "[" << m_host << "] "
                                                                                 << "TX: " << xml;
        }
        tx_message(msg);
    } catch (const std::exception& e) {
        // Abort rather than close: a graceful close would first wait for the
        // queued bytes, and a unit that stopped reading never takes them, so
        // the session would never learn that the connection is gone.
        if (IPCQt* socket = get_dc_qt())
            socket->abort();
        QMessageLogger("ipc", 0, kSendSignature).warning().nospace().noquote()
            << "[" << m_host << "] "
            << "GUI IPC exception sending " << QString::fromStdString(msg.get_name()) << ": " << e.what();
        return false;
    } catch (...) {
        if (IPCQt* socket = get_dc_qt())
            socket->abort();
        QMessageLogger("ipc", 0, kSendSignature).warning().nospace().noquote()
            << "[" << m_host << "] "
            << "GUI IPC exception sending " << QString::fromStdString(msg.get_name()) << ": unexpected exception";
        return false;
    }
    emit sentMessage(msg);
    return true;
}

bool IPCObject::cmd_login()
{
    return send_message(UnitCommands::login(m_username, m_password));
}

bool IPCObject::cmd_resync()
{
    return send_message(UnitCommands::resync());
}

bool IPCObject::cmd_line_drop(unsigned int line)
{
    return send_message(UnitCommands::lineCommand(UnitCommands::Action::Drop, line));
}

bool IPCObject::cmd_line_hold(unsigned int line)
{
    return send_message(UnitCommands::lineCommand(UnitCommands::Action::Hold, line));
}

bool IPCObject::cmd_line_air(unsigned int line)
{
    return send_message(UnitCommands::lineCommand(UnitCommands::Action::Air, line));
}

bool IPCObject::cmd_line_handset(unsigned int line)
{
    return send_message(UnitCommands::lineCommand(UnitCommands::Action::Handset, line));
}

bool IPCObject::cmd_line_lock(unsigned int line, bool state)
{
    return send_message(UnitCommands::lineFlag(UnitCommands::Flag::Locked, line, state));
}

bool IPCObject::cmd_set_handset(unsigned int id)
{
    return send_message(UnitCommands::setHandset(id));
}

bool IPCObject::cmd_set_handset()
{
    return send_message(UnitCommands::noHandset());
}

bool IPCObject::cmd_send_chat(const QString& from, const QString& text)
{
    Message msg;
    ChatLine{from, text}.write(msg);
    return send_message(msg);
}

void IPCObject::rx_message(const Message& msg)
{
    IPCClient::rx_message(msg);
    if (debugEnabled())
        QMessageLogger("ipc", 0, kRxSignature).debug().nospace().noquote() << "[" << m_host << "] "
                                                                           << "rx: " << xmlForLog(msg);
    auto it = m_handlers.find(msg.get_name());
    if (it != m_handlers.end())
        (this->*(it->second))(msg);
}

void IPCObject::socketConnected()
{
    enable_keepalive();
    setState(IPC_LOGGING_IN);
    cmd_login();
}

void IPCObject::socketDisconnected()
{
    setState(IPC_DISCONNECTED);
}

void IPCObject::socketError(QAbstractSocket::SocketError)
{
    if (const IPCQt* socket = get_dc_qt())
        emit error(socket->errorString());
}

void IPCObject::enable_keepalive()
{
    IPCQt* socket = get_dc_qt();
    if (!socket)
        return;
    // A unit that loses power sends nothing: without probes a quiet session
    // would wait for hours. Idle 5 s, then 3 probes 2 s apart: ~11 s.
    socket->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    const qintptr fd = socket->socketDescriptor();
    if (fd == -1)
        return;
    const int idle = 5;
    const int interval = 2;
    const int count = 3;
    setsockopt(int(fd), IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof(idle));
    setsockopt(int(fd), IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof(interval));
    setsockopt(int(fd), IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof(count));
}

void IPCObject::resp_login(const Message& msg)
{
    std::fprintf(stderr, "recv login response\n");
    std::fflush(stderr);
    // The stored copy is the message just received; read that message itself
    // so that a full store can never turn an accepted login into a refusal.
    const Message* stored = get_message("login");
    const Message& answer = stored ? *stored : msg;
    if (UnitCommands::readLoginAnswer(answer))
        setState(IPC_LOGGED_IN);
    else
        setState(IPC_LOGIN_FAILED);

    if (getState() == IPC_LOGGED_IN) {
        std::fprintf(stderr, "logged in, configuring session\n");
        std::fflush(stderr);
        // A resync that could not be sent has closed the socket: the session
        // is not ready then, whatever comes next.
        if (cmd_resync() && getState() == IPC_LOGGED_IN)
            setState(IPC_READY);
    }
}

void IPCObject::resp_network_info(const Message& msg)
{
    emit recvNetworkInfo(msg);
}

void IPCObject::resp_set_config(const Message& msg)
{
    emit recvSetConfig(msg);
}

void IPCObject::resp_timer_tick(const Message& msg)
{
    m_unit.takeTimerTick();
    emit recvTimerTick(msg);
}

void IPCObject::resp_system_status(const Message& msg)
{
    if (m_unit.takeSystemStatus(msg))
        emit recvSystemStatus(msg);
}

void IPCObject::resp_surface_status(const Message& msg)
{
    if (m_unit.takeSurfaceStatus(msg))
        emit recvSurfaceStatus(msg);
}

void IPCObject::resp_line_status(const Message& msg)
{
    if (m_unit.takeLineStatus(msg))
        emit recvLineStatus(msg);
}

void IPCObject::resp_line_status_hw(const Message& msg)
{
    emit recvLineStatusHW(msg);
}

void IPCObject::resp_ancillary_data(const Message& msg)
{
    if (m_unit.takeCallerInfo(msg))
        emit recvAncillaryData(msg);
}

void IPCObject::resp_chat_data(const Message& msg)
{
    m_unit.takeChat(msg);
    emit recvChatData(msg);
}

void IPCObject::resp_log_message(const Message& msg)
{
    emit recvLogMessage(msg);
}
