#pragma once

#include "ipc/ipc.h"

#include <QObject>
#include <QString>

class IPCQt;
class QByteArray;

// One console connected to the simulated unit: the unit's end of the TCP
// connection, framed by the same transport as the console's own end. Owned by
// the UnitSimulator, which decides what each message means.
class SimPeer : public QObject, public IPC
{
    Q_OBJECT

public:
    SimPeer(int id, qintptr socketDescriptor, QObject* parent = nullptr);
    ~SimPeer() override;

    int id() const { return m_id; }
    bool isOpen() const;

    // The login state and the surface this console announced.
    bool loggedIn() const { return m_loggedIn; }
    void setLoggedIn(bool loggedIn) { m_loggedIn = loggedIn; }
    unsigned int surface() const { return m_surface; }
    void setSurface(unsigned int surface) { m_surface = surface; }
    QString handsetId() const { return m_handsetId; }
    void setHandsetId(const QString& id) { m_handsetId = id; }

    // Sends one message; a console that cannot take it (its queue is full,
    // the socket is gone) is disconnected. Returns whether it was queued.
    bool send(const Message& msg);
    // Writes bytes as they are, framing or not.
    bool sendRaw(const QByteArray& bytes);

    // Stops taking bytes off the socket, so the console's sends pile up.
    void setReading(bool reading);
    void abort();

    void rx_message(const Message& msg) override;

signals:
    void received(SimPeer* peer, const Message& msg);
    void closed(SimPeer* peer);
    void failed(SimPeer* peer, const QString& text);

private:
    IPCQt* socket();

    int m_id;
    bool m_loggedIn = false;
    bool m_reading = true;
    // 4 is the console's "no surface, studio" entry: what a console stands
    // for until it says otherwise.
    unsigned int m_surface = 4;
    QString m_handsetId = QStringLiteral("none");
};
