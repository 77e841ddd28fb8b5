#include "sim/simpeer.h"

#include "ipc/ipcqt.h"

#include <QByteArray>

#include <exception>

SimPeer::SimPeer(int id, qintptr socketDescriptor, QObject* parent)
    : QObject(parent)
    , m_id(id)
{
    IPCQt* s = new IPCQt(nullptr);
    set_dc(s);
    s->setSocketDescriptor(socketDescriptor);
    connect(s, &QAbstractSocket::disconnected, this, [this]() { emit closed(this); });
    connect(s, &QAbstractSocket::errorOccurred, this, [this, s](QAbstractSocket::SocketError err) {
        // The peer closing its end is the normal way a console leaves.
        if (err != QAbstractSocket::RemoteHostClosedError)
            emit failed(this, s->errorString());
    });
}

SimPeer::~SimPeer()
{
    if (IPCQt* s = socket())
        s->disconnect(this);
}

IPCQt* SimPeer::socket()
{
    return static_cast<IPCQt*>(get_dc());
}

bool SimPeer::isOpen() const
{
    const IPCQt* s = static_cast<const IPCQt*>(get_dc());
    return s && s->state() == QAbstractSocket::ConnectedState;
}

bool SimPeer::send(const Message& msg)
{
    if (!isOpen())
        return false;
    try {
        tx_message(msg);
        return true;
    } catch (const std::exception& e) {
        emit failed(this, QString::fromUtf8(e.what()));
        abort();
        return false;
    }
}

bool SimPeer::sendRaw(const QByteArray& bytes)
{
    if (!isOpen())
        return false;
    return socket()->write(bytes) == bytes.size();
}

void SimPeer::setReading(bool reading)
{
    IPCQt* s = socket();
    if (!s || reading == m_reading)
        return;
    m_reading = reading;
    if (!reading) {
        disconnect(s, &QIODevice::readyRead, s, &IPCQt::read_data);
        // A small buffer makes the socket stop draining the kernel, so the
        // console's side really sees a peer that does not read.
        s->setReadBufferSize(4096);
    } else {
        s->setReadBufferSize(0);
        connect(s, &QIODevice::readyRead, s, &IPCQt::read_data);
        if (s->bytesAvailable() > 0)
            s->read_data();
    }
}

void SimPeer::abort()
{
    if (IPCQt* s = socket())
        s->abort();
}

void SimPeer::rx_message(const Message& msg)
{
    emit received(this, msg);
}
