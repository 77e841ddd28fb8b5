// The unit session against a scripted unit on a loopback socket: login, the
// exact bytes of every command, dispatch and failures.
#include "ipc/ipcobject.h"
#include "ipc/ipcqt.h"
#include "support/exception.h"
#include "tests/support/logcapture.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <memory>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

using namespace testsupport;

Q_DECLARE_METATYPE(IPCObject::IPC_STATE)

namespace {

QByteArray frames(const char* text)
{
    return QByteArray(text).replace('|', '\0');
}

// The unit's end: takes the session's connection, hands out the frames
// received so far and sends whatever bytes a test gives it.
struct ScriptedUnit
{
    QTcpServer server;
    QTcpSocket* peer = nullptr;
    QByteArray bytes;

    ScriptedUnit() { server.listen(QHostAddress::LocalHost, 0); }
    quint16 port() const { return server.serverPort(); }
    QList<QByteArray> received()
    {
        if (!peer)
            peer = server.nextPendingConnection();
        if (peer)
            bytes += peer->readAll();
        QList<QByteArray> frames = bytes.split('\0');
        frames.removeLast();
        return frames;
    }
    void clear() { bytes = bytes.mid(bytes.lastIndexOf('\0') + 1); }
    void send(const QByteArray& data)
    {
        peer->write(data);
        peer->flush();
    }
};

QList<IPCObject::IPC_STATE> states(const QSignalSpy& spy)
{
    QList<IPCObject::IPC_STATE> out;
    for (const QList<QVariant>& args : spy)
        out.append(args.at(0).value<IPCObject::IPC_STATE>());
    return out;
}

// Connects and answers the login, leaving the session ready.
bool logIn(ScriptedUnit& unit, IPCObject& session)
{
    session.connectIPC("127.0.0.1", unit.port(), "tavrik", "studio");
    if (!QTest::qWaitFor([&]() { return unit.received().size() == 1; }, 3000))
        return false;
    unit.send(frames("<login success=\"true\"/>|"));
    if (!QTest::qWaitFor([&]() { return unit.received().size() == 2; }, 3000))
        return false;
    unit.clear();
    return session.getState() == IPCObject::IPC_READY;
}

} // namespace

class TestSession : public QObject
{
    Q_OBJECT

private slots:
    void login_data()
    {
        using S = QList<IPCObject::IPC_STATE>;
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<S>("expected");
        QTest::addColumn<QList<QByteArray>>("after");

        const S start{IPCObject::IPC_CONNECTING, IPCObject::IPC_LOGGING_IN};
        const S failed = start + S{IPCObject::IPC_LOGIN_FAILED};
        QTest::newRow("accepted") << frames("<login success=\"true\"/>|")
                                  << start + S{IPCObject::IPC_LOGGED_IN, IPCObject::IPC_READY}
                                  << QList<QByteArray>{"<resync/>"};
        QTest::newRow("refused") << frames("<login success=\"false\"/>|") << failed << QList<QByteArray>();
        QTest::newRow("not exactly true") << frames("<login success=\"TRUE\"/>|") << failed << QList<QByteArray>();
    }

    void login()
    {
        QFETCH(QByteArray, answer);
        QFETCH(QList<IPCObject::IPC_STATE>, expected);
        QFETCH(QList<QByteArray>, after);

        ScriptedUnit unit;
        IPCObject session;
        QSignalSpy spy(&session, &IPCObject::changedState);
        LogCapture log;
        session.connectIPC("127.0.0.1", unit.port(), "pa\"ss<", "stu dio");
        QTRY_COMPARE_WITH_TIMEOUT(unit.received().size(), 1, 3000);
        // The unit gets the password; the log never shows it.
        QCOMPARE(unit.received().at(0),
                 QByteArray("<login id=\"console\" password=\"pa&quot;ss&lt;\" username=\"stu dio\"/>"));
        QVERIFY2(log.text().contains(QRegularExpression("\\[127.0.0.1\\] TX: .*<login id=\"console\" "
                                                        "password=\"\\*{8}\" username=\"stu dio\"/>")),
                 qPrintable(log.text()));
        QVERIFY(!log.text().contains("pa&quot;ss") && !log.text().contains("pa\"ss"));
        unit.clear();
        unit.send(answer);
        QTRY_COMPARE_WITH_TIMEOUT(states(spy), expected, 3000);
        // A marker sent now reaches the unit behind whatever the answer made the
        // session send: once it is there, nothing else is on its way.
        Message marker;
        marker.set_name("test_marker");
        QVERIFY(session.send_message(marker));
        QTRY_VERIFY_WITH_TIMEOUT(unit.received().contains("<test_marker/>"), 3000);
        QList<QByteArray> received = unit.received();
        QCOMPARE(received.takeLast(), QByteArray("<test_marker/>"));
        QCOMPARE(received, after);
        QCOMPARE(states(spy), expected);
        // A refused login keeps the connection for the next attempt.
        QCOMPARE(session.get_dc_qt()->state(), QAbstractSocket::ConnectedState);
        const int fd = int(session.get_dc_qt()->socketDescriptor());
        auto option = [fd](int level, int name) {
            int value = -1;
            socklen_t size = sizeof(value);
            getsockopt(fd, level, name, &value, &size);
            return value;
        };
        QCOMPARE(option(SOL_SOCKET, SO_KEEPALIVE), 1);
        QCOMPARE(option(IPPROTO_TCP, TCP_KEEPIDLE), 5);
        QCOMPARE(option(IPPROTO_TCP, TCP_KEEPINTVL), 2);
        QCOMPARE(option(IPPROTO_TCP, TCP_KEEPCNT), 3);
    }

    // A send that fails, on a session never connected or behind a full send
    // queue: it returns false without throwing, logs why, and the session is
    // disconnected at once. Each command's bytes: tests/wire, against its capture.
    void failedSend_data()
    {
        QTest::addColumn<int>("queuedChats"); // -1: never connected
        QTest::addColumn<QString>("logText");
        QTest::newRow("closed socket") << -1
                                       << "] GUI IPC exception sending chat_data: virtual void "
                                          "IPCQt::outgoing_data(const char *, unsigned int): failed to send";
        QTest::newRow("send limit") << 3
                                    << "] GUI IPC exception sending chat_data: virtual void "
                                       "IPCQt::outgoing_data(const char *, unsigned int): tx buffer overflow";
    }

    void failedSend()
    {
        QFETCH(int, queuedChats);
        QFETCH(QString, logText);
        ScriptedUnit unit;
        IPCObject session;
        if (queuedChats >= 0)
            QVERIFY(logIn(unit, session));
        // No event loop runs between the sends, so nothing leaves the socket.
        const QString text(1100000, QLatin1Char('z'));
        for (int i = 0; i < queuedChats; ++i)
            QVERIFY(session.cmd_send_chat("console", text));
        QSignalSpy spy(&session, &IPCObject::changedState);
        LogCapture log;
        Message chat;
        chat.set_name("chat_data");
        bool sent = true;
        try {
            sent = session.send_message(chat);
        } catch (...) {
            QFAIL("the send threw");
        }
        QVERIFY(!sent);
        QVERIFY(!session.cmd_line_hold(1));
        QVERIFY2(log.text().contains(logText), qPrintable(log.text()));
        // Disconnected at once, not after the queued megabytes have drained.
        if (queuedChats > 0)
            QCOMPARE(states(spy), QList<IPCObject::IPC_STATE>{IPCObject::IPC_DISCONNECTED});
        QCOMPARE(session.get_dc_qt()->bytesToWrite(), 0);
    }

    void receive_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("signal");
        QTest::addColumn<QString>("error");
        const auto row = [](const char* frame, const char* signal) {
            QTest::newRow(frame) << QByteArray(frame) + '\0' << QByteArray(signal) << QString();
        };
        row("<set_config surface=\"2\"/>", "recvSetConfig");
        row("<timer_tick/>", "recvTimerTick");
        row("<line_status line_id=\"2\" status=\"on hold\"/>", "recvLineStatus");
        row("<line_status_hw/>", "recvLineStatusHW");
        row("<ancillary_data line_id=\"1\" name=\"Ann\"/>", "recvAncillaryData");
        row("<chat_data from=\"s\" text=\"t\"/>", "recvChatData");
        row("<log_message/>", "recvLogMessage");
        row("<network_info ip=\"10.0.0.2\"/>", "recvNetworkInfo");
        row("<frobnicate a=\"1\"/>", "");
        QTest::newRow("window overflow") << QByteArray(int(IPCQt::RX_WINDOW), 'x') << QByteArray()
                                         << "void IPCQt::read_data(): rx buffer overflow";
        QTest::newRow("handler throws") << frames("<line_status line_id=\"1\" fail=\"line handler failed\"/>|")
                                        << QByteArray() << "line handler failed";
    }

    void receive()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, signal);
        QFETCH(QString, error);
        ScriptedUnit unit;
        IPCObject session;
        QVERIFY(logIn(unit, session));
        QSignalSpy errors(&session, &IPCObject::error);
        connect(&session, &IPCObject::recvLineStatus, this, [](const Message& msg) {
            const std::string text = msg.params().get_string("fail", "");
            if (!text.empty())
                throw Exception("%s", text.c_str());
        });
        // One spy per message signal, found through the meta-object.
        std::map<QByteArray, std::unique_ptr<QSignalSpy>> spies;
        const QMetaObject* meta = session.metaObject();
        for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
            const QMetaMethod m = meta->method(i);
            if (m.methodType() == QMetaMethod::Signal && m.name().startsWith("recv"))
                spies[m.name()] = std::make_unique<QSignalSpy>(&session, ("2" + m.methodSignature()).constData());
        }
        QCOMPARE(spies.size(), size_t(10));

        unit.send(bytes + frames("<timer_tick/>|"));
        if (!error.isEmpty()) {
            QTRY_COMPARE_WITH_TIMEOUT(errors.count(), 1, 5000);
            QCOMPARE(errors.at(0).at(0).toString(), error);
            QCOMPARE(session.getState(), IPCObject::IPC_DISCONNECTED);
            // The connection ends with the failure; nothing after it is handled.
            QCOMPARE(spies["recvTimerTick"]->count(), 0);
            return;
        }
        QTRY_COMPARE_WITH_TIMEOUT(spies["recvTimerTick"]->count(), signal == "recvTimerTick" ? 2 : 1, 5000);
        QCOMPARE(errors.count(), 0);
        QCOMPARE(session.getState(), IPCObject::IPC_READY);
        QCOMPARE(session.get_dc_qt()->state(), QAbstractSocket::ConnectedState);
        const Message msg(bytes.toStdString());
        for (const auto& entry : spies) {
            const int expected = (entry.first == signal ? 1 : 0) + (entry.first == "recvTimerTick" ? 1 : 0);
            QCOMPARE(entry.second->count(), expected);
            if (expected && entry.first != "recvTimerTick")
                QCOMPARE(msg, entry.second->at(0).at(0).value<Message>());
        }
        // Whatever arrives is kept as the latest of its name, known or not.
        const Message* stored = session.get_message(msg.get_name());
        QVERIFY(stored);
        QCOMPARE(*stored, msg);
    }
};

QTEST_GUILESS_MAIN(TestSession)
#include "tst_session.moc"
