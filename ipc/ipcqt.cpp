#include "ipc/ipcqt.h"

#include "ipc/ipc.h"
#include "support/exception.h"

#include <QElapsedTimer>
#include <QMetaMethod>
#include <QMetaObject>

#include <exception>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace {
const char* const kReadSignature = "void IPCQt::read_data()";
const char* const kSendSignature = "virtual void IPCQt::outgoing_data(const char *, unsigned int)";
} // namespace

IPCQt::IPCQt(QObject* parent)
    : QTcpSocket(parent)
{
    connect(this, &QIODevice::readyRead, this, &IPCQt::read_data);
    // A press on the console goes out at once: not held back by Nagle's
    // algorithm until the unit has acknowledged the frame before it.
    connect(this, &QAbstractSocket::connected, this, [this] { setSocketOption(QAbstractSocket::LowDelayOption, 1); });
}

void IPCQt::acknowledge_now()
{
#ifdef TCP_QUICKACK
    // A unit that sends its small frames with Nagle's algorithm holds each
    // one back until the one before is acknowledged, and Linux delays an
    // acknowledgement for up to 40 ms when it has nothing to send with it:
    // a status change then reached the screen 20 to 40 ms late. Quick
    // acknowledgements, which the kernel turns off again by itself, are
    // asked for after every read.
    const int on = 1;
    if (socketDescriptor() >= 0)
        setsockopt(int(socketDescriptor()), IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
#endif
}

IPCQt::~IPCQt() = default;

Message::ENC_FORMAT IPCQt::get_encoding() const
{
    return Message::ENC_XML;
}

void IPCQt::close()
{
    QAbstractSocket::close();
}

void IPCQt::outgoing_data(const char* data, unsigned int len)
{
    Locker locker(*this);
    if (bytesToWrite() >= TX_LIMIT)
        throw Exception("%s: tx buffer overflow", kSendSignature);
    const qint64 n = write(data, len);
    if (n < 0)
        throw Exception("%s: failed to send", kSendSignature);
    if (n < qint64(len))
        throw Exception("%s: short send (%d < %d)", kSendSignature, int(n), int(len));
}

void IPCQt::read_data()
{
    // A handler that runs an event loop of its own (a modal dialog) lets the
    // socket announce new bytes, or the queued continuation run, while a pass
    // is still handing out frames from the window. Qt holds back a nested
    // readyRead only while it is itself emitting one, not for a pass the
    // continuation started; so passes never nest here: the one running takes
    // the new bytes when it looks again, or hands them to another pass.
    if (m_reading) {
        m_readMissed = true;
        return;
    }
    m_reading = true;
    m_readMissed = false;
    bool failed = false;
    {
        Locker locker(*this);
        try {
            read_window();
        } catch (const std::exception& e) {
            failed = true;
            fail(QString::fromUtf8(e.what()));
        } catch (...) {
            // Whatever a message handler throws must not unwind into Qt's
            // event loop, which would end the program.
            failed = true;
            fail(QStringLiteral("void IPCQt::read_data(): unexpected exception"));
        }
    }
    m_reading = false;
    if (!failed)
        acknowledge_now();
    // Bytes announced during the pass that it did not take get a pass of
    // their own; the socket will not announce them again.
    if (m_readMissed && !failed && bytesAvailable() > 0)
        queue_read();
}

void IPCQt::fail(const QString& text)
{
    abort();
    setSocketError(QAbstractSocket::UnknownSocketError);
    setErrorString(text);
    emit errorOccurred(QAbstractSocket::UnknownSocketError);
}

void IPCQt::read_window()
{
    if (!m_window)
        m_window.reset(new char[RX_WINDOW]);

    IPC* ipc = get_ipc();
    bool first = true;
    // A unit that sends thousands of frames at once must not freeze the
    // window until the last one is handled: after a while the pass stops
    // between two frames and continues from the event loop, in order.
    QElapsedTimer clock;
    clock.start();
    unsigned int frames = 0;
    bool yield = false;
    for (;;) {
        const qint64 n = peek(m_window.get(), RX_WINDOW);
        if (n < 0)
            throw Exception("%s: failed to read", kReadSignature);
        if (n == 0) {
            if (first)
                throw Exception("%s: short recv (%d)", kReadSignature, int(n));
            return;
        }
        first = false;

        // A handler may close or reconnect this socket; what is left in the
        // window then belongs to a connection that is gone, so stop there.
        const QAbstractSocket::SocketState stateBefore = state();
        const unsigned int count = static_cast<unsigned int>(n);
        unsigned int taken = 0;
        bool lost = false;
        while (ipc && taken < count) {
            const unsigned int used = ipc->incoming_data(m_window.get() + taken, count - taken);
            if (used == 0)
                break;
            taken += used;
            if (state() != stateBefore || !isOpen()) {
                lost = true;
                break;
            }
            if (++frames >= YIELD_FRAMES && clock.elapsed() >= YIELD_MS) {
                yield = true;
                break;
            }
        }
        if (lost)
            return;

        if (taken == 0) {
            if (count == RX_WINDOW)
                throw Exception("%s: rx buffer overflow", kReadSignature);
            return;
        }
        skip(taken);
        if (yield) {
            queue_read();
            return;
        }

        // Frames beyond the first window: the socket will not announce bytes
        // it already holds, so keep going while whole frames come off.
        if (bytesAvailable() <= 0)
            return;
    }
}

void IPCQt::queue_read()
{
    if (m_readQueued)
        return;
    m_readQueued = true;
    // Bound to this socket: dropped if the socket goes first.
    QMetaObject::invokeMethod(
        this,
        [this]() {
            m_readQueued = false;
            // The bytes may have been taken meanwhile by a read that new
            // data set off (a pass over nothing would count as a failure),
            // or the reader may have stopped listening for data.
            if (bytesAvailable() > 0 && isSignalConnected(QMetaMethod::fromSignal(&QIODevice::readyRead)))
                read_data();
        },
        Qt::QueuedConnection);
}
