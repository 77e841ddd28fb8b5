// Framing, message store and data channels, from plain byte arrays up to a
// real loopback socket.
#include "ipc/exception.h"
#include "ipc/ipcclient.h"
#include "ipc/ipcdatachannelfd.h"
#include "ipc/ipcqt.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <cerrno>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A channel that keeps what it is given, in the format a test asks for.
class MemoryChannel : public IPCDataChannel
{
public:
    explicit MemoryChannel(Message::ENC_FORMAT format = Message::ENC_XML, bool* destroyed = nullptr)
        : m_format(format), m_destroyed(destroyed) {}
    ~MemoryChannel() override
    {
        if (m_destroyed)
            *m_destroyed = true;
    }
    void outgoing_data(const char* data, unsigned int len) override { written.append(data, int(len)); }
    Message::ENC_FORMAT get_encoding() const override { return m_format; }

    QByteArray written;

private:
    Message::ENC_FORMAT m_format;
    bool* m_destroyed;
};

// A transport that records what it delivers and can be told to refuse ids
// or to fail in its handler.
class Recorder : public IPCClient
{
public:
    void rx_message(const Message& msg) override
    {
        IPCClient::rx_message(msg);
        names.append(QString::fromStdString(msg.get_name()));
        if (!throwText.isEmpty())
            throw Exception("%s", throwText.toUtf8().constData());
    }
    bool wants_message(unsigned int id) override { return id != refused; }

    QStringList names;
    QString throwText;
    unsigned int refused = 99;
};

// Feeds a block the way a channel does: call until nothing more is taken.
QList<unsigned int> feed(IPC& ipc, const QByteArray& bytes)
{
    QList<unsigned int> taken;
    unsigned int pos = 0;
    while (pos < unsigned(bytes.size())) {
        const unsigned int n = ipc.incoming_data(bytes.constData() + pos, unsigned(bytes.size()) - pos);
        taken.append(n);
        if (n == 0)
            break;
        pos += n;
    }
    return taken;
}

// Frame bytes written readably: every '|' stands for a NUL terminator.
QByteArray frames(const char* text)
{
    return QByteArray(text).replace('|', '\0');
}

Message message(const char* name)
{
    Message m;
    m.set_name(name);
    return m;
}

// A frame of exactly `size` bytes (terminator not counted) that decodes as
// a message named "big".
QByteArray bigFrame(int size)
{
    QByteArray frame("<big v=\"");
    const QByteArray tail("\"/>");
    frame.append(QByteArray(size - frame.size() - tail.size(), 'x'));
    frame.append(tail);
    return frame;
}

// A connected pair: an IPCQt client (with its transport) and the server's
// end as a plain socket.
struct Loopback {
    QTcpServer server;
    Recorder ipc;
    IPCQt* client = new IPCQt;
    QTcpSocket* peer = nullptr;

    bool open()
    {
        ipc.set_dc(client);
        if (!server.listen(QHostAddress::LocalHost, 0))
            return false;
        client->connectToHost(QHostAddress::LocalHost, server.serverPort());
        if (!client->waitForConnected(3000) || !server.waitForNewConnection(3000))
            return false;
        peer = server.nextPendingConnection();
        return peer != nullptr;
    }

    void send(const QByteArray& bytes)
    {
        peer->write(bytes);
        peer->flush();
    }
};

} // namespace

class TestIpc : public QObject
{
    Q_OBJECT

private slots:
    void framing_data();
    void framing();
    void sendFrame();
    void storeKeepsLatest();
    void setDcReplacesChannel();

    void socketSplitFrame();
    void socketFramesInOrder_data();
    void socketFramesInOrder();
    void socketLargestFrame();
    void socketOverflow();
    void socketHandlerThrows();
    void socketSendLimit();
    void socketSendClosed();

    void fdReady_data();
    void fdReady();
    void fdTimeout();
    void fdNoDescriptor();
    void fdOwnership();
};

void TestIpc::framing_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QList<unsigned int>>("taken");
    QTest::addColumn<QStringList>("names");

    QTest::newRow("no terminator") << QByteArray("<a/>") << QList<unsigned int>{0} << QStringList();
    QTest::newRow("one frame") << frames("<a/>|") << QList<unsigned int>{5} << QStringList{"a"};
    QTest::newRow("two frames") << frames("<a/>|<bb/>|") << QList<unsigned int>{5, 6}
                                << QStringList{"a", "bb"};
    QTest::newRow("frame then partial") << frames("<a/>|<b") << QList<unsigned int>{5, 0}
                                        << QStringList{"a"};
    QTest::newRow("two empty frames") << frames("||") << QList<unsigned int>{1, 1} << QStringList();
    QTest::newRow("empty frames around") << frames("|<a/>||") << QList<unsigned int>{1, 5, 1}
                                         << QStringList{"a"};
    // Not XML at all: delivered as a nameless message, not an error.
    QTest::newRow("garbage") << frames("zzz|") << QList<unsigned int>{4} << QStringList{""};
    QTest::newRow("broken xml") << frames("<a x=|") << QList<unsigned int>{6} << QStringList{""};
}

void TestIpc::framing()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QList<unsigned int>, taken);
    QFETCH(QStringList, names);

    Recorder ipc;
    ipc.set_dc(new MemoryChannel);
    QCOMPARE(feed(ipc, bytes), taken);
    QCOMPARE(ipc.names, names);
}

void TestIpc::sendFrame()
{
    Recorder ipc;
    MemoryChannel* dc = new MemoryChannel;
    ipc.set_dc(dc);
    Message msg = message("change_line_state");
    msg.params().set_string("command", "hold");
    msg.params().set_uint("line_id", 3);
    ipc.tx_message(msg);
    QCOMPARE(dc->written, frames("<change_line_state command=\"hold\" line_id=\"3\"/>|"));

    dc->written.clear();
    ipc.refused = 7;
    ipc.tx_message(message("a"), 7);
    QVERIFY(dc->written.isEmpty());
    ipc.tx_message(message("a"), 8);
    QCOMPARE(dc->written, frames("<a/>|"));
}

void TestIpc::storeKeepsLatest()
{
    Recorder ipc;
    ipc.set_dc(new MemoryChannel);
    QVERIFY(!ipc.get_message("line_status"));
    feed(ipc, frames("<line_status line_id=\"1\"/>|<line_status line_id=\"2\"/>|<x/>|"));
    QCOMPARE(ipc.num_messages(), 2u);
    QCOMPARE(ipc.get_message("line_status")->params().get_uint("line_id", 0), 2u);

    // A unit inventing names cannot grow the store without end, and the
    // names already kept are still refreshed.
    for (int i = 0; i < 1000; ++i)
        feed(ipc, "<n" + QByteArray::number(i) + frames("/>|"));
    QCOMPARE(ipc.num_messages(), IPCClient::MAX_NAMES);
    feed(ipc, frames("<line_status line_id=\"9\"/>|"));
    QCOMPARE(ipc.get_message("line_status")->params().get_uint("line_id", 0), 9u);

    ipc.clear_messages();
    QVERIFY(!ipc.get_message("line_status"));
    QVERIFY(!ipc.get_message("x"));
}

void TestIpc::setDcReplacesChannel()
{
    bool firstGone = false;
    bool secondGone = false;
    {
        Recorder ipc;
        MemoryChannel* first = new MemoryChannel(Message::ENC_XML, &firstGone);
        ipc.set_dc(first);
        QCOMPARE(first->get_ipc(), &ipc);
        QVERIFY(!ipc.get_dc_fd());
        ipc.set_dc(new MemoryChannel(Message::ENC_XML, &secondGone));
        QVERIFY(firstGone);
        QVERIFY(!secondGone);
    }
    QVERIFY(secondGone);
}

void TestIpc::socketSplitFrame()
{
    Loopback link;
    QVERIFY(link.open());
    const QByteArray frame = frames("<line_status line_id=\"4\" status=\"ringing\"/>|");
    link.send(frame.left(20));
    QTRY_VERIFY_WITH_TIMEOUT(link.client->bytesAvailable() == 20, 3000);
    // The first segment waits in the socket, undelivered.
    QTest::qWait(50);
    QVERIFY(link.ipc.names.isEmpty());
    link.send(frame.mid(20));
    QTRY_COMPARE_WITH_TIMEOUT(link.ipc.names, QStringList{"line_status"}, 3000);
    QTest::qWait(50);
    QCOMPARE(link.ipc.names.size(), 1);
    QCOMPARE(link.client->bytesAvailable(), 0);
}

void TestIpc::socketFramesInOrder_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("three frames") << frames("<a/>|<b/>|<c/>|") << QStringList{"a", "b", "c"};
    QTest::newRow("empty frames skipped") << frames("||<a/>|||<b/>|") << QStringList{"a", "b"};
    QTest::newRow("hostile frames") << frames("<|<<>>|\x01\x02\x03|</a>|<b/>|")
                                    << QStringList{"", "", "", "", "b"};
    // Long enough that reading stops to give the event loop turns and goes
    // on from a queued call: nothing lost, nothing out of order.
    QByteArray burst;
    QStringList burstNames;
    for (int i = 0; i < 5000; ++i) {
        burstNames.append(QStringLiteral("f%1").arg(i));
        burst += "<f" + QByteArray::number(i) + "/>" + '\0';
    }
    QTest::newRow("long burst") << burst << burstNames;
}

void TestIpc::socketFramesInOrder()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, names);
    Loopback link;
    QVERIFY(link.open());
    QSignalSpy errors(link.client, &QAbstractSocket::errorOccurred);
    link.send(bytes);
    QTRY_COMPARE_WITH_TIMEOUT(link.ipc.names, names, 3000);
    QCOMPARE(errors.count(), 0);
    QCOMPARE(link.client->state(), QAbstractSocket::ConnectedState);
}

void TestIpc::socketLargestFrame()
{
    Loopback link;
    QVERIFY(link.open());
    QSignalSpy errors(link.client, &QAbstractSocket::errorOccurred);
    // 786,431 bytes and the terminator fill the window exactly. Let all of
    // it and a small frame behind it pile up first: one pass must hand over
    // both, since the socket will not announce bytes it already holds.
    QObject::disconnect(link.client, &QIODevice::readyRead, link.client, &IPCQt::read_data);
    QByteArray bytes = bigFrame(int(IPCQt::RX_WINDOW) - 1);
    bytes.append('\0');
    bytes.append(frames("<after/>|"));
    link.send(bytes);
    QTRY_COMPARE_WITH_TIMEOUT(link.client->bytesAvailable(), qint64(bytes.size()), 5000);
    link.client->read_data();
    QCOMPARE(link.ipc.names, (QStringList{"big", "after"}));
    QCOMPARE(errors.count(), 0);
    QCOMPARE(link.client->bytesAvailable(), 0);
    QCOMPARE(link.ipc.get_message("big")->params().get_string("v", "").size(), size_t(IPCQt::RX_WINDOW - 12));
}

void TestIpc::socketOverflow()
{
    Loopback link;
    QVERIFY(link.open());
    QSignalSpy errors(link.client, &QAbstractSocket::errorOccurred);
    link.send(QByteArray(int(IPCQt::RX_WINDOW), 'x'));
    QTRY_COMPARE_WITH_TIMEOUT(errors.count(), 1, 5000);
    QCOMPARE(errors.at(0).at(0).value<QAbstractSocket::SocketError>(), QAbstractSocket::UnknownSocketError);
    QCOMPARE(link.client->errorString(), QString("void IPCQt::read_data(): rx buffer overflow"));
    QCOMPARE(link.client->state(), QAbstractSocket::UnconnectedState);
    QVERIFY(link.ipc.names.isEmpty());
}

void TestIpc::socketHandlerThrows()
{
    Loopback link;
    QVERIFY(link.open());
    QSignalSpy errors(link.client, &QAbstractSocket::errorOccurred);
    link.ipc.throwText = "handler refused the frame";
    link.send(frames("<a/>|<b/>|"));
    QTRY_COMPARE_WITH_TIMEOUT(errors.count(), 1, 3000);
    QCOMPARE(link.client->errorString(), QString("handler refused the frame"));
    // The connection ends with the failing frame; nothing after it is handled.
    QCOMPARE(link.ipc.names, QStringList{"a"});
    QCOMPARE(link.client->state(), QAbstractSocket::UnconnectedState);
}

void TestIpc::socketSendLimit()
{
    Loopback link;
    QVERIFY(link.open());
    // The peer never reads and the event loop never runs, so every byte
    // stays queued in the socket.
    const QByteArray chunk(1024 * 1024, 'y');
    for (int i = 0; i < 3; ++i)
        link.client->outgoing_data(chunk.constData(), unsigned(chunk.size()));
    QCOMPARE(link.client->bytesToWrite(), IPCQt::TX_LIMIT);
    try {
        link.client->outgoing_data("<a/>", 5);
        QFAIL("a fourth megabyte was accepted");
    } catch (const Exception& e) {
        QCOMPARE(QString(e.what()),
                 QString("virtual void IPCQt::outgoing_data(const char *, unsigned int): tx buffer overflow"));
    }
    QCOMPARE(link.client->bytesToWrite(), IPCQt::TX_LIMIT);
}

void TestIpc::socketSendClosed()
{
    IPCQt socket;
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("device not open"));
    try {
        socket.outgoing_data("<a/>", 5);
        QFAIL("a closed socket accepted a frame");
    } catch (const Exception& e) {
        QCOMPARE(QString(e.what()),
                 QString("virtual void IPCQt::outgoing_data(const char *, unsigned int): failed to send"));
    }
}

namespace {

// A descriptor channel that counts its readiness calls.
class CountingFD : public IPCDataChannelFD
{
public:
    void outgoing_data(const char*, unsigned int) override {}
    Message::ENC_FORMAT get_encoding() const override { return Message::ENC_XML; }
    bool write_pending() const override { return pending; }
    void read_ready() override { ++reads; }
    void write_ready() override { ++writes; }

    bool pending = false;
    int reads = 0;
    int writes = 0;
};

struct SocketPair {
    int fds[2] = {-1, -1};
    SocketPair() { ::socketpair(AF_UNIX, SOCK_STREAM, 0, fds); }
    ~SocketPair()
    {
        if (fds[1] != -1)
            ::close(fds[1]);
    }
};

} // namespace

void TestIpc::fdReady_data()
{
    QTest::addColumn<bool>("incoming");
    QTest::addColumn<bool>("pending");
    QTest::addColumn<int>("reads");
    QTest::addColumn<int>("writes");
    QTest::newRow("readable") << true << false << 1 << 0;
    QTest::newRow("writable") << false << true << 0 << 1;
    QTest::newRow("both") << true << true << 1 << 1;
}

void TestIpc::fdReady()
{
    QFETCH(bool, incoming);
    QFETCH(bool, pending);
    SocketPair pair;
    CountingFD dc;
    dc.set_fd(pair.fds[0]);
    dc.pending = pending;
    if (incoming)
        QCOMPARE(::write(pair.fds[1], "x", 1), ssize_t(1));
    dc.wait_for_message(1500);
    QTEST(dc.reads, "reads");
    QTEST(dc.writes, "writes");
}

void TestIpc::fdTimeout()
{
    SocketPair pair;
    CountingFD dc;
    dc.set_fd(pair.fds[0]);
    QElapsedTimer clock;
    clock.start();
    dc.wait_for_message(1500);
    const qint64 elapsed = clock.elapsed();
    QCOMPARE(dc.reads + dc.writes, 0);
    QVERIFY2(elapsed >= 1400 && elapsed < 5000, qPrintable(QString::number(elapsed)));
}

void TestIpc::fdNoDescriptor()
{
    CountingFD dc;
    QVERIFY(!dc.is_open());
    QElapsedTimer clock;
    clock.start();
    dc.wait_for_message(0);
    QVERIFY(clock.elapsed() < 1000);
    QCOMPARE(dc.reads + dc.writes, 0);
}

void TestIpc::fdOwnership()
{
    SocketPair first;
    SocketPair second;
    {
        CountingFD dc;
        dc.set_fd(first.fds[0]);
        QCOMPARE(dc.get_fd(), first.fds[0]);
        dc.set_blocking(false);
        QVERIFY(fcntl(first.fds[0], F_GETFL) & O_NONBLOCK);
        dc.set_blocking(true);
        QVERIFY(!(fcntl(first.fds[0], F_GETFL) & O_NONBLOCK));
        // Adopting a new descriptor closes the old one.
        dc.set_fd(second.fds[0]);
        QCOMPARE(fcntl(first.fds[0], F_GETFD), -1);
        QCOMPARE(errno, EBADF);
        dc.failed("gone");
        QVERIFY(dc.is_failed());
        QCOMPARE(dc.failure_text(), std::string("gone"));
        dc.close();
        QVERIFY(!dc.is_failed());
        QVERIFY(!dc.is_open());
        QCOMPARE(fcntl(second.fds[0], F_GETFD), -1);
    }
}

QTEST_GUILESS_MAIN(TestIpc)
#include "tst_ipc.moc"
