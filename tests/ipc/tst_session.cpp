// The unit session against a scripted unit on a loopback socket: login,
// state changes, the exact bytes of every command, dispatch and failures.
#include "ipc/exception.h"
#include "ipc/ipcobject.h"
#include "ipc/ipcqt.h"

#include <QLoggingCategory>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <memory>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

Q_DECLARE_METATYPE(IPCObject::IPC_STATE)

namespace {

QByteArray frames(const char* text)
{
    return QByteArray(text).replace('|', '\0');
}

// The unit's end: accepts connections, splits what it receives into frames
// and sends whatever bytes a test gives it.
class ScriptedUnit : public QObject
{
public:
    ScriptedUnit()
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this]() {
            while (QTcpSocket* s = m_server.nextPendingConnection()) {
                peer = s;
                ++connections;
                connect(s, &QIODevice::readyRead, this, [this, s]() {
                    if (s != peer)
                        return;
                    m_pending += s->readAll();
                    int end;
                    while ((end = m_pending.indexOf('\0')) >= 0) {
                        received.append(m_pending.left(end));
                        m_pending.remove(0, end + 1);
                    }
                });
            }
        });
    }

    quint16 port() const { return m_server.serverPort(); }
    void send(const QByteArray& bytes)
    {
        peer->write(bytes);
        peer->flush();
    }

    QTcpSocket* peer = nullptr;
    int connections = 0;
    QList<QByteArray> received;

private:
    QTcpServer m_server;
    QByteArray m_pending;
};

// Everything written to Qt's message streams while a test runs.
QStringList g_logLines;
void captureLog(QtMsgType, const QMessageLogContext&, const QString& text)
{
    g_logLines.append(text);
}

struct LogCapture {
    QtMessageHandler previous;
    LogCapture()
    {
        g_logLines.clear();
        previous = qInstallMessageHandler(captureLog);
    }
    ~LogCapture() { qInstallMessageHandler(previous); }
    QString text() const { return g_logLines.join('\n'); }
};

QList<IPCObject::IPC_STATE> states(const QSignalSpy& spy)
{
    QList<IPCObject::IPC_STATE> out;
    for (const QList<QVariant>& args : spy)
        out.append(args.at(0).value<IPCObject::IPC_STATE>());
    return out;
}

// Connects and answers the login, leaving the session ready.
bool logIn(ScriptedUnit& unit, IPCObject& session, const QString& password = "tavrik")
{
    session.connectIPC("127.0.0.1", unit.port(), password, "studio");
    if (!QTest::qWaitFor([&]() { return unit.received.size() == 1; }, 3000))
        return false;
    unit.send(frames("<login success=\"true\"/>|"));
    if (!QTest::qWaitFor([&]() { return unit.received.size() == 2; }, 3000))
        return false;
    unit.received.clear();
    return session.getState() == IPCObject::IPC_READY;
}

} // namespace

class TestSession : public QObject
{
    Q_OBJECT

private slots:
    void firstStateAlwaysReported();
    void login_data();
    void login();
    void commands_data();
    void commands();
    void dispatch_data();
    void dispatch();
    void hostileFramesDoNotHurt();
    void receiveFailuresReported_data();
    void receiveFailuresReported();
    void sendOnClosedSocket();
    void sendOverflowDisconnects();
    void passwordMaskedInLog();
    void noLogTextWithoutDebug();
    void reconnectWhileLoggedIn();
    void connectionRefused_data();
    void connectionRefused();
    void keepAlive();
};

void TestSession::firstStateAlwaysReported()
{
    IPCObject session;
    QSignalSpy spy(&session, &IPCObject::changedState);
    session.setState(IPCObject::IPC_DISCONNECTED);
    session.setState(IPCObject::IPC_DISCONNECTED);
    QCOMPARE(states(spy), QList<IPCObject::IPC_STATE>{IPCObject::IPC_DISCONNECTED});
}

void TestSession::login_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QList<IPCObject::IPC_STATE>>("expected");
    QTest::addColumn<QList<QByteArray>>("after");

    const QList<IPCObject::IPC_STATE> start{IPCObject::IPC_CONNECTING, IPCObject::IPC_LOGGING_IN};
    QTest::newRow("accepted") << frames("<login success=\"true\"/>|")
                              << start + QList<IPCObject::IPC_STATE>{IPCObject::IPC_LOGGED_IN,
                                                                     IPCObject::IPC_READY}
                              << QList<QByteArray>{"<resync/>"};
    QTest::newRow("refused") << frames("<login success=\"false\"/>|")
                             << start + QList<IPCObject::IPC_STATE>{IPCObject::IPC_LOGIN_FAILED}
                             << QList<QByteArray>();
    QTest::newRow("no success") << frames("<login/>|")
                                << start + QList<IPCObject::IPC_STATE>{IPCObject::IPC_LOGIN_FAILED}
                                << QList<QByteArray>();
    QTest::newRow("not exactly true") << frames("<login success=\"TRUE\"/>|")
                                      << start + QList<IPCObject::IPC_STATE>{IPCObject::IPC_LOGIN_FAILED}
                                      << QList<QByteArray>();
}

void TestSession::login()
{
    QFETCH(QByteArray, answer);
    QFETCH(QList<IPCObject::IPC_STATE>, expected);
    QFETCH(QList<QByteArray>, after);

    ScriptedUnit unit;
    IPCObject session;
    QSignalSpy spy(&session, &IPCObject::changedState);
    session.connectIPC("127.0.0.1", unit.port(), "pa\"ss<", "stu dio");
    QTRY_COMPARE_WITH_TIMEOUT(unit.received.size(), 1, 3000);
    QCOMPARE(unit.received.at(0), QByteArray("<login id=\"console\" password=\"pa&quot;ss&lt;\" username=\"stu dio\"/>"));
    unit.received.clear();
    unit.send(answer);
    QTRY_COMPARE_WITH_TIMEOUT(states(spy), expected, 3000);
    QTest::qWait(100);
    QCOMPARE(unit.received, after);
    QCOMPARE(states(spy), expected);
    // A refused login keeps the connection for the next attempt.
    QCOMPARE(session.get_dc_qt()->state(), QAbstractSocket::ConnectedState);
}

enum Command { Drop, Hold, Air, Handset, Lock, Unlock, Handset2, HandsetNone, Chat, Resync };

void TestSession::commands_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<QByteArray>("wire");

    QTest::newRow("drop") << int(Drop) << QByteArray("<change_line_state command=\"drop\" line_id=\"3\"/>");
    QTest::newRow("hold") << int(Hold) << QByteArray("<change_line_state command=\"hold\" line_id=\"3\"/>");
    QTest::newRow("air") << int(Air) << QByteArray("<change_line_state command=\"air\" line_id=\"11\"/>");
    QTest::newRow("handset") << int(Handset) << QByteArray("<change_line_state command=\"handset\" line_id=\"0\"/>");
    QTest::newRow("lock") << int(Lock) << QByteArray("<change_line_flags flag=\"locked\" line_id=\"3\" state=\"true\"/>");
    QTest::newRow("unlock") << int(Unlock) << QByteArray("<change_line_flags flag=\"locked\" line_id=\"3\" state=\"false\"/>");
    QTest::newRow("handset id") << int(Handset2) << QByteArray("<set_handset_id id=\"2\"/>");
    QTest::newRow("no handset") << int(HandsetNone) << QByteArray("<set_handset_id id=\"none\"/>");
    QTest::newRow("chat") << int(Chat)
                          << QByteArray("<chat_data from=\"console\" text=\"caf\xc3\xa9 &amp; &lt;b&gt;\"/>");
    QTest::newRow("resync") << int(Resync) << QByteArray("<resync/>");
}

void TestSession::commands()
{
    QFETCH(int, command);
    QFETCH(QByteArray, wire);

    ScriptedUnit unit;
    IPCObject session;
    QVERIFY(logIn(unit, session));
    bool sent = false;
    switch (Command(command)) {
    case Drop: sent = session.cmd_line_drop(3); break;
    case Hold: sent = session.cmd_line_hold(3); break;
    case Air: sent = session.cmd_line_air(11); break;
    case Handset: sent = session.cmd_line_handset(0); break;
    case Lock: sent = session.cmd_line_lock(3, true); break;
    case Unlock: sent = session.cmd_line_lock(3, false); break;
    case Handset2: sent = session.cmd_set_handset(2); break;
    case HandsetNone: sent = session.cmd_set_handset(); break;
    case Chat: sent = session.cmd_send_chat("console", QString::fromUtf8("caf\xc3\xa9 & <b>")); break;
    case Resync: sent = session.cmd_resync(); break;
    }
    QVERIFY(sent);
    QTRY_COMPARE_WITH_TIMEOUT(unit.received.size(), 1, 3000);
    QCOMPARE(unit.received.at(0), wire);
}

void TestSession::dispatch_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QByteArray>("signal");

    QTest::newRow("set_config") << QByteArray("<set_config surface=\"2\"/>") << QByteArray("recvSetConfig");
    QTest::newRow("timer_tick") << QByteArray("<timer_tick/>") << QByteArray("recvTimerTick");
    QTest::newRow("system_status") << QByteArray("<system_status num_lines=\"6\"/>") << QByteArray("recvSystemStatus");
    QTest::newRow("surface_status") << QByteArray("<surface_status id=\"1\"/>") << QByteArray("recvSurfaceStatus");
    QTest::newRow("line_status") << QByteArray("<line_status line_id=\"2\" status=\"on hold\"/>")
                                 << QByteArray("recvLineStatus");
    QTest::newRow("line_status_hw") << QByteArray("<line_status_hw/>") << QByteArray("recvLineStatusHW");
    QTest::newRow("ancillary_data") << QByteArray("<ancillary_data line_id=\"1\" name=\"Ann\"/>")
                                    << QByteArray("recvAncillaryData");
    QTest::newRow("chat_data") << QByteArray("<chat_data from=\"s\" text=\"t\"/>") << QByteArray("recvChatData");
    QTest::newRow("log_message") << QByteArray("<log_message/>") << QByteArray("recvLogMessage");
    QTest::newRow("network_info") << QByteArray("<network_info ip=\"10.0.0.2\"/>") << QByteArray("recvNetworkInfo");
    QTest::newRow("unknown") << QByteArray("<frobnicate a=\"1\"/>") << QByteArray();
}

void TestSession::dispatch()
{
    QFETCH(QByteArray, frame);
    QFETCH(QByteArray, signal);

    ScriptedUnit unit;
    IPCObject session;
    QVERIFY(logIn(unit, session));

    // One spy per message signal, found through the meta-object.
    std::map<QByteArray, std::unique_ptr<QSignalSpy>> spies;
    const QMetaObject* meta = session.metaObject();
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
        const QMetaMethod m = meta->method(i);
        if (m.methodType() == QMetaMethod::Signal && m.name().startsWith("recv"))
            spies[m.name()] = std::make_unique<QSignalSpy>(&session, ("2" + m.methodSignature()).constData());
    }
    QCOMPARE(spies.size(), size_t(10));

    unit.send(frame + '\0' + frames("<timer_tick/>|"));
    QTRY_COMPARE_WITH_TIMEOUT(spies["recvTimerTick"]->count(), signal == "recvTimerTick" ? 2 : 1, 3000);
    for (const auto& entry : spies) {
        int expected = entry.first == signal ? 1 : 0;
        if (entry.first == "recvTimerTick")
            expected += 1;
        QCOMPARE(entry.second->count(), expected);
        if (expected && entry.first != "recvTimerTick")
            QCOMPARE(Message(frame.toStdString()), entry.second->at(0).at(0).value<Message>());
    }
    // Whatever arrives is kept as the latest of its name, known or not.
    const Message* stored = session.get_message(Message(frame.toStdString()).get_name());
    QVERIFY(stored);
    QCOMPARE(*stored, Message(frame.toStdString()));
}

void TestSession::hostileFramesDoNotHurt()
{
    ScriptedUnit unit;
    IPCObject session;
    QVERIFY(logIn(unit, session));
    QSignalSpy errors(&session, &IPCObject::error);
    QSignalSpy lines(&session, &IPCObject::recvLineStatus);
    QSignalSpy ticks(&session, &IPCObject::recvTimerTick);

    QByteArray hostile;
    hostile += QByteArray(20000, '<') + '\0';
    hostile += QByteArray("<a>").repeated(5000) + '\0';
    hostile += frames("<line_status line_id=\"4294967295\" status=\"\xff\xfe\" time=\"-1\" location=\"x\"/>|");
    hostile += frames("<line_status line_id=\"-1\"|<line_status></ancillary_data>|");
    hostile += frames("\x01\x02garbage|  <timer_tick/>|<?xml version=\"1.0\"?>|<!-- -->|<!DOCTYPE x>|");
    hostile += frames("<chat_data text=\"&unknown;\"/>|<&#0;/>|");
    hostile += "<x a=\"" + QByteArray(100000, 'v') + "\"/>" + '\0';
    unit.send(hostile);
    unit.send(frames("<timer_tick/>|"));
    QTRY_COMPARE_WITH_TIMEOUT(ticks.count(), 1, 5000);
    QCOMPARE(errors.count(), 0);
    QCOMPARE(session.getState(), IPCObject::IPC_READY);
    QCOMPARE(session.get_dc_qt()->state(), QAbstractSocket::ConnectedState);
    QVERIFY(lines.count() <= 3);
}

void TestSession::receiveFailuresReported_data()
{
    QTest::addColumn<bool>("overflow");
    QTest::addColumn<QString>("text");
    QTest::newRow("window overflow") << true << QString("void IPCQt::read_data(): rx buffer overflow");
    QTest::newRow("handler throws") << false << QString("line handler failed");
}

void TestSession::receiveFailuresReported()
{
    QFETCH(bool, overflow);
    QFETCH(QString, text);

    ScriptedUnit unit;
    IPCObject session;
    QVERIFY(logIn(unit, session));
    QSignalSpy errors(&session, &IPCObject::error);
    connect(&session, &IPCObject::recvLineStatus, this,
            [](const Message&) { throw Exception("%s", "line handler failed"); });
    if (overflow)
        unit.send(QByteArray(int(IPCQt::RX_WINDOW), 'x'));
    else
        unit.send(frames("<line_status line_id=\"1\"/>|"));
    QTRY_COMPARE_WITH_TIMEOUT(errors.count(), 1, 5000);
    QCOMPARE(errors.at(0).at(0).toString(), text);
    QCOMPARE(session.getState(), IPCObject::IPC_DISCONNECTED);
}

void TestSession::sendOnClosedSocket()
{
    IPCObject session;
    LogCapture log;
    Message msg;
    msg.set_name("chat_data");
    bool sent = true;
    try {
        sent = session.send_message(msg);
    } catch (...) {
        QFAIL("send_message threw");
    }
    QVERIFY(!sent);
    QVERIFY(!session.cmd_line_hold(1));
    QVERIFY2(log.text().contains("] GUI IPC exception sending chat_data: "
                                 "virtual void IPCQt::outgoing_data(const char *, unsigned int): failed to send"),
             qPrintable(log.text()));
}

void TestSession::sendOverflowDisconnects()
{
    ScriptedUnit unit;
    IPCObject session;
    QVERIFY(logIn(unit, session));
    // No event loop runs between the sends, so nothing leaves the socket.
    const QString text(1100000, QLatin1Char('z'));
    for (int i = 0; i < 3; ++i)
        QVERIFY(session.cmd_send_chat("console", text));
    QSignalSpy spy(&session, &IPCObject::changedState);
    LogCapture log;
    QVERIFY(!session.cmd_send_chat("console", "one more"));
    QVERIFY(log.text().contains("tx buffer overflow"));
    // Disconnected at once, not after the queued megabytes have drained.
    QCOMPARE(states(spy), QList<IPCObject::IPC_STATE>{IPCObject::IPC_DISCONNECTED});
    QCOMPARE(session.get_dc_qt()->bytesToWrite(), 0);
}

void TestSession::passwordMaskedInLog()
{
    ScriptedUnit unit;
    IPCObject session;
    LogCapture log;
    session.connectIPC("127.0.0.1", unit.port(), "s3cr\xc3\xa9t", "studio");
    QTRY_COMPARE_WITH_TIMEOUT(unit.received.size(), 1, 3000);
    unit.send(frames("<login success=\"true\"/>|"));
    QTRY_COMPARE_WITH_TIMEOUT(session.getState(), IPCObject::IPC_READY, 3000);

    // The unit gets the password; the log never shows it.
    QVERIFY(unit.received.at(0).contains("password=\"s3cr\xc3\xa9t\""));
    const QString text = log.text();
    QVERIFY2(text.contains(QRegularExpression("\\[127.0.0.1\\] TX: .*<login id=\"console\" "
                                              "password=\"\\*{8}\" username=\"studio\"/>")),
             qPrintable(text));
    QVERIFY(!text.contains(QString::fromUtf8("s3cr\xc3\xa9t")));
    QVERIFY(text.contains(QRegularExpression("rx: .*<login success=\"true\"/>")));
    QVERIFY(text.contains(QRegularExpression("TX: .*<resync/>")));
}

void TestSession::noLogTextWithoutDebug()
{
    ScriptedUnit unit;
    IPCObject session;
    QLoggingCategory::setFilterRules("default.debug=false");
    LogCapture log;
    const bool ready = logIn(unit, session);
    QLoggingCategory::setFilterRules(QString());
    QVERIFY(ready);
    QVERIFY2(!log.text().contains("TX: ") && !log.text().contains("rx: "), qPrintable(log.text()));
}

void TestSession::reconnectWhileLoggedIn()
{
    ScriptedUnit unit;
    IPCObject session;
    QVERIFY(logIn(unit, session));
    QTcpSocket* first = unit.peer;
    QSignalSpy spy(&session, &IPCObject::changedState);
    session.connectIPC("127.0.0.1", unit.port(), "other", "studio");
    QTRY_COMPARE_WITH_TIMEOUT(unit.connections, 2, 3000);
    QTRY_COMPARE_WITH_TIMEOUT(unit.received.size(), 1, 3000);
    QVERIFY(unit.received.at(0).contains("password=\"other\""));
    // Never "disconnected" after "connecting": the console would show a
    // dead connection while the new one is being made.
    QCOMPARE(states(spy), (QList<IPCObject::IPC_STATE>{IPCObject::IPC_DISCONNECTED, IPCObject::IPC_CONNECTING,
                                                       IPCObject::IPC_LOGGING_IN}));
    QTRY_COMPARE_WITH_TIMEOUT(first->state(), QAbstractSocket::UnconnectedState, 3000);

    session.disconnectIPC();
    QCOMPARE(session.getState(), IPCObject::IPC_DISCONNECTED);
    QCOMPARE(session.get_dc_qt()->state(), QAbstractSocket::UnconnectedState);
}

void TestSession::connectionRefused_data()
{
    QTest::addColumn<bool>("validPort");
    QTest::newRow("nobody listening") << true;
    QTest::newRow("port beyond 16 bits") << false;
}

void TestSession::connectionRefused()
{
    QFETCH(bool, validPort);
    unsigned int port = 0;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        port = probe.serverPort();
    }
    IPCObject session;
    QSignalSpy errors(&session, &IPCObject::error);
    session.connectIPC("127.0.0.1", validPort ? port : port + 65536, "tavrik", "studio");
    QTRY_COMPARE_WITH_TIMEOUT(errors.count(), 1, 5000);
    QVERIFY(!errors.at(0).at(0).toString().isEmpty());
    if (!validPort)
        QCOMPARE(errors.at(0).at(0).toString(), QString("Invalid port %1").arg(port + 65536));
    QCOMPARE(session.getState(), IPCObject::IPC_CONNECTING);
}

void TestSession::keepAlive()
{
    ScriptedUnit unit;
    IPCObject session;
    session.connectIPC("127.0.0.1", unit.port(), "tavrik", "studio");
    QTRY_COMPARE_WITH_TIMEOUT(session.getState(), IPCObject::IPC_LOGGING_IN, 3000);
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

QTEST_GUILESS_MAIN(TestSession)
#include "tst_session.moc"
