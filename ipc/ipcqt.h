#pragma once

#include "ipc/ipcdatachannel.h"

#include <QTcpSocket>

#include <memory>

// The TCP channel of a unit session: a socket that is also a data channel.
// It hands whatever the socket has received to its transport, which cuts
// whole frames off the front, and writes encoded frames into the socket.
// Bytes of an incomplete frame stay in the socket until the rest arrives.
class IPCQt : public QTcpSocket, public IPCDataChannel
{
    Q_OBJECT

public:
    // Bytes examined per pass; a frame with its terminator must fit.
    static constexpr unsigned int RX_WINDOW = 786432;
    // New frames are refused once this many bytes wait to be sent.
    static constexpr qint64 TX_LIMIT = 3145728;
    // A pass that has handed over at least this many frames and run for
    // this long gives the event loop a turn before it goes on: a quarter of
    // a 60 Hz frame, so that the frames handled, the scene's update and the
    // paint after them fit in one frame of the display. The minimum of
    // frames stays: with the clock read every fourth frame, a flood of chat
    // held the window far less (chat lines are slow to lay out), but a
    // console that gave up its turn in the middle of the unit's full status
    // then lost a caller's name the unit had just handed out, a race between
    // the cleared caller record the console sends for a ringing line and the
    // unit's hand-out that is yet to be put right.
    static constexpr unsigned int YIELD_FRAMES = 64;
    static constexpr qint64 YIELD_MS = 4;

    explicit IPCQt(QObject* parent = nullptr);
    ~IPCQt() override;

    void outgoing_data(const char* data, unsigned int len) override;
    Message::ENC_FORMAT get_encoding() const override;

    void close() override;

public slots:
    // Never throws: a failure aborts the connection and is reported as a
    // socket error whose text is the failure's text.
    void read_data();

private:
    void read_window();
    // Asks the kernel to acknowledge what comes in without delay.
    void acknowledge_now();
    // Continues reading from the event loop after a pass gave it back.
    void queue_read();
    // Ends the connection and reports text as the socket's error.
    void fail(const QString& text);

    // The receive window, allocated on first use and kept for the life of
    // the socket: too large for the stack, too frequent to allocate each time.
    std::unique_ptr<char[]> m_window;
    bool m_readQueued = false;
    // A pass is handing out frames; a read asked for meanwhile is put off.
    bool m_reading = false;
    bool m_readMissed = false;
};
