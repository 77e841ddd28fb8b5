#pragma once

#include "ipc/ipcclient.h"
#include "message/message.h"
#include "unit/unitstate.h"

#include <QAbstractSocket>
#include <QMetaType>
#include <QObject>
#include <QString>

#include <map>
#include <string>

class IPCQt;

// The connection of one console window to one unit: connects, logs in, asks
// for the full status, turns every incoming message into a signal named after
// it, and sends the console's commands. Owns its TCP channel and the picture
// of the unit that its status messages paint: a status message the unit's
// reader refuses is dropped here, before any signal.
class IPCObject : public QObject, public IPCClient
{
    Q_OBJECT

public:
    enum IPC_STATE {
        IPC_DISCONNECTED = 0,
        IPC_CONNECTING = 1,
        IPC_LOGGING_IN = 2,
        IPC_LOGIN_FAILED = 3,
        IPC_LOGGED_IN = 4,
        IPC_READY = 5,
    };
    Q_ENUM(IPC_STATE)

    explicit IPCObject(QObject* parent = nullptr);
    ~IPCObject() override;

    // Stores the connection values (password before user name) and reconnects.
    void connectIPC(const QString& host, unsigned int port, QString password, QString username);
    void reconnect();
    void disconnectIPC();

    IPC_STATE getState() const;
    // Emits changedState only when s differs from the current state.
    void setState(IPC_STATE s);

    QString host() const { return m_host; }
    unsigned int port() const { return m_port; }
    QString username() const { return m_username; }
    QString password() const { return m_password; }

    // Logs and sends one message. Never throws: a failure closes the socket,
    // logs a warning and returns false.
    bool send_message(const Message& msg);

    bool cmd_login();
    bool cmd_resync();
    bool cmd_line_drop(unsigned int line);
    bool cmd_line_hold(unsigned int line);
    bool cmd_line_air(unsigned int line);
    bool cmd_line_handset(unsigned int line);
    bool cmd_line_lock(unsigned int line, bool state);
    bool cmd_set_handset(unsigned int id);
    bool cmd_set_handset();
    bool cmd_send_chat(const QString& from, const QString& text);

    // The unit as this connection last heard it.
    UnitState& unitState() { return m_unit; }
    const UnitState& unitState() const { return m_unit; }

    IPCQt* get_dc_qt();
    const IPCQt* get_dc_qt() const;

    void rx_message(const Message& msg) override;

signals:
    void error(QString text);
    void recvNetworkInfo(const Message& msg);
    void recvSetConfig(const Message& msg);
    void recvTimerTick(const Message& msg);
    void recvSystemStatus(const Message& msg);
    void recvSurfaceStatus(const Message& msg);
    void recvLineStatus(const Message& msg);
    void recvLineStatusHW(const Message& msg);
    void recvAncillaryData(const Message& msg);
    void recvChatData(const Message& msg);
    void recvLogMessage(const Message& msg);
    void changedState(IPCObject::IPC_STATE state);
    // A message went out to the unit; lets listeners tell the console's own
    // actions from other positions' when the unit reports them back.
    void sentMessage(const Message& msg);

public slots:
    void socketConnected();
    void socketDisconnected();
    void socketError(QAbstractSocket::SocketError sockErr);

private:
    using Handler = void (IPCObject::*)(const Message&);

    void enable_keepalive();

    void resp_login(const Message& msg);
    void resp_network_info(const Message& msg);
    void resp_set_config(const Message& msg);
    void resp_timer_tick(const Message& msg);
    void resp_system_status(const Message& msg);
    void resp_surface_status(const Message& msg);
    void resp_line_status(const Message& msg);
    void resp_line_status_hw(const Message& msg);
    void resp_ancillary_data(const Message& msg);
    void resp_chat_data(const Message& msg);
    void resp_log_message(const Message& msg);

    // -1 at construction, outside the enumeration, so the first change reports.
    int m_state = -1;
    QString m_host;
    unsigned int m_port = 0;
    QString m_password;
    QString m_username;
    std::map<std::string, Handler> m_handlers;
    UnitState m_unit;
};
