// Framing, message store and data channels over a real loopback socket and a
// socket pair.
#include "ipc/ipcclient.h"
#include "ipc/ipcdatachannelfd.h"
#include "ipc/ipcqt.h"
#include "support/exception.h"
#include "tests/support/wait.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <QtTest>

#include <functional>

#include <sys/socket.h>
#include <unistd.h>

using namespace testsupport;

namespace {

// A transport that records what it delivers.
class Recorder : public IPCClient
{
public:
    void rx_message(const Message& msg) override
    {
        IPCClient::rx_message(msg);
        names.append(QString::fromStdString(msg.get_name()));
        if (handler)
            handler(names.last());
    }

    QStringList names;
    // Runs inside the receive path, as a session's message handler does.
    std::function<void(const QString&)> handler;
};

// Frame bytes written readably: every '|' stands for a NUL terminator.
QByteArray frames(const char* text)
{
    return QByteArray(text).replace('|', '\0');
}

// A connected pair: an IPCQt client (with its transport) and the server's
// end as a plain socket.
struct Loopback
{
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

// A descriptor channel that counts its readiness calls.
class CountingFD : public IPCDataChannelFD
{
public:
    void outgoing_data(const char*, unsigned int) override { }
    Message::ENC_FORMAT get_encoding() const override { return Message::ENC_XML; }
    bool write_pending() const override { return pending; }
    void read_ready() override { ++reads; }
    void write_ready() override { ++writes; }

    bool pending = false;
    int reads = 0;
    int writes = 0;
};

} // namespace

class TestIpc : public QObject
{
    Q_OBJECT

private slots:
    void storeKeepsLatest()
    {
        Loopback link;
        QVERIFY(link.open());
        // A unit inventing names cannot grow the store without end, and the
        // names already kept are still refreshed.
        QByteArray bytes = frames("<line_status line_id=\"1\"/>|<line_status line_id=\"2\"/>|");
        for (int i = 0; i < 1000; ++i)
            bytes += "<n" + QByteArray::number(i) + frames("/>|");
        link.send(bytes + frames("<line_status line_id=\"9\"/>|"));
        QTRY_COMPARE_WITH_TIMEOUT(link.ipc.names.size(), 1003, 5000);
        QCOMPARE(link.ipc.num_messages(), IPCClient::MAX_NAMES);
        QCOMPARE(link.ipc.get_message("line_status")->params().get_uint("line_id", 0), 9u);
    }

    void socketSplitFrame()
    {
        Loopback link;
        QVERIFY(link.open());
        // What the console sends goes out at once, not held back by Nagle's
        // algorithm until the unit has acknowledged the frame before.
        QCOMPARE(link.client->socketOption(QAbstractSocket::LowDelayOption).toInt(), 1);
        const QByteArray frame = frames("<line_status line_id=\"4\" status=\"ringing\"/>|");
        link.send(frame.left(20));
        QTRY_VERIFY_WITH_TIMEOUT(link.client->bytesAvailable() == 20, 3000);
        // The socket announced the segment as it took it in; with that handled
        // and whatever it queued run, the segment waits, undelivered.
        drainEvents();
        QVERIFY(link.ipc.names.isEmpty());
        QCOMPARE(link.client->bytesAvailable(), 20);
        // The rest of the frame, and a marker behind it: once the marker is
        // there, the frame was delivered exactly once and nothing is left over.
        link.send(frame.mid(20) + frames("<marker/>|"));
        QTRY_COMPARE_WITH_TIMEOUT(link.ipc.names, (QStringList{"line_status", "marker"}), 3000);
        QCOMPARE(link.client->bytesAvailable(), 0);
    }

    void socketFrames_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<bool>("pile");
        const auto row = [](const char* name, const QByteArray& bytes, const QStringList& names, bool pile = false) {
            QTest::newRow(name) << bytes << names << pile;
        };
        row("frames, empty ones skipped", frames("||<a/>|||<b/>|<c/>|"), {"a", "b", "c"});
        // Not XML: delivered as nameless messages, not errors.
        row("hostile frames", frames("<|<<>>|\x01\x02\x03|</a>|<b/>|"), {"", "", "", "", "b"});
        // Reading that stops to give the event loop a turn and goes on from a
        // queued call, nothing lost or out of order: nestedEventLoop.
        // 786,431 bytes and the terminator fill the window exactly; a frame
        // behind it must come out of the same pass.
        QByteArray largest("<big v=\"");
        largest += QByteArray(int(IPCQt::RX_WINDOW) - 1 - largest.size() - 3, 'x') + "\"/>" + '\0';
        // One byte more without a terminator: tst_session, "window overflow".
        row("largest frame", largest + frames("<after/>|"), {"big", "after"}, true);
    }

    void socketFrames()
    {
        QFETCH(QByteArray, bytes);
        Loopback link;
        QVERIFY(link.open());
        QSignalSpy errors(link.client, &QAbstractSocket::errorOccurred);
        // Piled up first, one pass must hand it all over, since the socket will
        // not announce bytes it already holds.
        QFETCH(bool, pile);
        if (pile)
            QObject::disconnect(link.client, &QIODevice::readyRead, link.client, &IPCQt::read_data);
        link.send(bytes);
        if (pile) {
            QTRY_COMPARE_WITH_TIMEOUT(link.client->bytesAvailable(), qint64(bytes.size()), 5000);
            link.client->read_data();
        }
        QFETCH(QStringList, names);
        QTRY_COMPARE_WITH_TIMEOUT(link.ipc.names, names, 15000);
        QCOMPARE(errors.count(), 0);
        QCOMPARE(link.client->bytesAvailable(), 0);
        QCOMPARE(link.client->state(), QAbstractSocket::ConnectedState);
    }

    void socketSendLimit()
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

    void nestedEventLoop()
    {
        Loopback link;
        QVERIFY(link.open());
        QSignalSpy errors(link.client, &QAbstractSocket::errorOccurred);
        QByteArray first, second;
        QStringList expected;
        for (int i = 0; i < 100; ++i) {
            first += "<f" + QByteArray::number(i) + "/>" + '\0';
            expected << QStringLiteral("f%1").arg(i);
        }
        for (int i = 0; i < 10; ++i) {
            second += "<g" + QByteArray::number(i) + "/>" + '\0';
            expected << QStringLiteral("g%1").arg(i);
        }

        // A slow first handler makes the pass give the event loop a turn after
        // YIELD_FRAMES frames; the rest of the window is read by the queued
        // continuation, which Qt's guard against nested readyRead does not cover.
        // There a handler opens an event loop of its own (as a modal dialog
        // would) and waits until the socket has announced more bytes.
        int announced = 0;
        bool nestedDone = false;
        const QString slow = QStringLiteral("f0");
        const QString nesting = QStringLiteral("f%1").arg(IPCQt::YIELD_FRAMES);
        link.ipc.handler = [&](const QString& name) {
            if (name == slow)
                QThread::msleep(IPCQt::YIELD_MS + 1);
            if (name != nesting)
                return;
            const int before = announced;
            link.send(second);
            QEventLoop loop;
            QTimer giveUp;
            QObject::connect(&giveUp, &QTimer::timeout, &loop, &QEventLoop::quit);
            giveUp.start(15000);
            const QMetaObject::Connection c = QObject::connect(link.client, &QIODevice::readyRead, &loop, [&] {
                if (announced > before)
                    loop.quit();
            });
            loop.exec();
            QObject::disconnect(c);
            nestedDone = announced > before;
        };
        // The whole first batch waits in the socket before one pass starts on it.
        QObject::disconnect(link.client, &QIODevice::readyRead, link.client, &IPCQt::read_data);
        link.send(first);
        QTRY_COMPARE_WITH_TIMEOUT(link.client->bytesAvailable(), qint64(first.size()), 5000);
        QObject::connect(link.client, &QIODevice::readyRead, link.client, &IPCQt::read_data);
        QObject::connect(link.client, &QIODevice::readyRead, [&] { ++announced; });
        link.client->read_data();
        QCOMPARE(link.ipc.names.size(), int(IPCQt::YIELD_FRAMES));

        // Every frame once, in order: a second pass inside the first would hand
        // out again the frames the first has not yet taken off the socket.
        QTRY_VERIFY_WITH_TIMEOUT(link.ipc.names.contains(expected.last()), 15000);
        QVERIFY(nestedDone);
        QCOMPARE(link.ipc.names, expected);
        QCOMPARE(errors.count(), 0);
        QCOMPARE(link.client->bytesAvailable(), 0);
    }

    void fdReady_data()
    {
        QTest::addColumn<bool>("open");
        QTest::addColumn<bool>("incoming");
        QTest::addColumn<bool>("pending");
        QTest::addColumn<unsigned int>("timeout");
        QTest::addColumn<int>("reads");
        QTest::addColumn<int>("writes");
        QTest::newRow("readable") << true << true << false << 1500u << 1 << 0;
        QTest::newRow("writable") << true << false << true << 1500u << 0 << 1;
        QTest::newRow("timeout") << true << false << false << 1500u << 0 << 0;
        // 0 would wait for ever on a descriptor; without one it returns at once.
        QTest::newRow("no descriptor") << false << false << false << 0u << 0 << 0;
    }

    void fdReady()
    {
        QFETCH(bool, open);
        QFETCH(bool, incoming);
        QFETCH(unsigned int, timeout);
        int fds[2] = {-1, -1};
        QCOMPARE(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
        CountingFD dc;
        QFETCH(bool, pending);
        dc.pending = pending;
        if (open)
            dc.set_fd(fds[0]);
        else
            ::close(fds[0]);
        QCOMPARE(dc.is_open(), open);
        if (incoming)
            QCOMPARE(::write(fds[1], "x", 1), ssize_t(1));
        QElapsedTimer clock;
        clock.start();
        dc.wait_for_message(timeout);
        const qint64 elapsed = clock.elapsed();
        ::close(fds[1]);
        QTEST(dc.reads, "reads");
        QTEST(dc.writes, "writes");
        // Only a wait with nothing to report lasts the whole timeout.
        const bool waits = open && dc.reads + dc.writes == 0;
        QVERIFY2(waits ? elapsed >= 1400 && elapsed < 1500 + scaled(3500) : elapsed < scaled(1000),
                 qPrintable(QString::number(elapsed)));
    }
};

QTEST_GUILESS_MAIN(TestIpc)
#include "tst_ipc.moc"
