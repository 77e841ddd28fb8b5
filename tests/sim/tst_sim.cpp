// The simulated unit: its login rules, the status picture after "resync",
// its reactions to commands, and a real session logging into it.
#include "ipc/ipcclient.h"
#include "ipc/ipcobject.h"
#include "ipc/ipcqt.h"
#include "sim/unitsimulator.h"

#include <QSignalSpy>
#include <QtTest>

Q_DECLARE_METATYPE(IPCObject::IPC_STATE)

namespace {

// A bare console: the real transport and channel, no session logic. It keeps
// every message the unit sends.
class TestConsole : public IPCClient
{
public:
    TestConsole() { set_dc(new IPCQt); }

    IPCQt* socket() { return static_cast<IPCQt*>(get_dc()); }

    bool open(quint16 port)
    {
        socket()->connectToHost(QHostAddress::LocalHost, port);
        return socket()->waitForConnected(3000);
    }

    void rx_message(const Message& msg) override
    {
        IPCClient::rx_message(msg);
        got.append(msg);
    }

    // Sends a message written as XML.
    void send(const QByteArray& xml) { tx_message(Message(xml.toStdString())); }

    bool login(const QByteArray& password = "tavrik")
    {
        const int before = named("login").size();
        send("<login id=\"console\" password=\"" + password + "\" username=\"studio\"/>");
        if (!QTest::qWaitFor([&]() { return named("login").size() > before; }, 3000))
            return false;
        return get_message("login")->params().get_bool("success", false);
    }

    QList<Message> named(const std::string& name) const
    {
        QList<Message> out;
        for (const Message& m : got)
            if (m.get_name() == name)
                out.append(m);
        return out;
    }

    // True when the last message of the wanted name (for the same line, if
    // it names one) carries every wanted value.
    bool has(const QByteArray& xml) const
    {
        const Message want(xml.toStdString());
        const Params& w = want.params();
        for (int i = got.size() - 1; i >= 0; --i) {
            const Params& p = got.at(i).params();
            if (got.at(i).get_name() != want.get_name()
                || (w.has_param("line_id") && p.get_string("line_id", "") != w.get_string("line_id", "")))
                continue;
            for (const std::string& name : w.enum_params())
                if (p.get_string(name.c_str(), "?") != w.get_string(name.c_str(), ""))
                    return false;
            return true;
        }
        return false;
    }

    QList<Message> got;
};

} // namespace

class TestSim : public QObject
{
    Q_OBJECT

private slots:
    void login_data();
    void login();
    void resyncPicture_data();
    void resyncPicture();
    void commands_data();
    void commands();
    void sessionAcceptance();
    void sessionPasswordRetry();
};

void TestSim::login_data()
{
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<bool>("success");
    QTest::newRow("right") << QByteArray("tavrik") << true;
    QTest::newRow("wrong") << QByteArray("tavrik2") << false;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("case matters") << QByteArray("Tavrik") << false;
}

void TestSim::login()
{
    QFETCH(QByteArray, password);
    QFETCH(bool, success);
    UnitSimulator unit;
    QVERIFY(unit.start(0));
    TestConsole console;
    QVERIFY(console.open(unit.port()));
    // Nothing is answered before a login; the answer would come first.
    console.send("<resync/>");
    QCOMPARE(console.login(password), success);
    QCOMPARE(console.get_message("login")->params().get_string("success", ""), std::string(success ? "true" : "false"));
    QCOMPARE(console.named("system_status").size(), 0);
    QCOMPARE(unit.loggedInCount(), success ? 1 : 0);
    // A refused console keeps its connection and may try again.
    QCOMPARE(unit.connectionCount(), 1);
    QCOMPARE(console.socket()->state(), QAbstractSocket::ConnectedState);
    if (!success)
        QVERIFY(console.login("tavrik"));
}

void TestSim::resyncPicture_data()
{
    QTest::addColumn<unsigned int>("lines");
    QTest::newRow("twelve lines") << 12u;
    QTest::newRow("six lines") << 6u;
}

void TestSim::resyncPicture()
{
    QFETCH(unsigned int, lines);
    UnitSimulator unit;
    unit.setNumLines(lines);
    QVERIFY(unit.start(0));
    TestConsole console;
    QVERIFY(console.open(unit.port()));
    QVERIFY(console.login());
    console.got.clear();
    console.send("<resync/>");
    QTRY_COMPARE_WITH_TIMEOUT(console.named("ancillary_data").size(), int(lines), 3000);

    QCOMPARE(console.named("system_status").size(), 1);
    QVERIFY(console.has("<system_status num_lines=\"" + QByteArray::number(lines)
                        + "\" aa_enabled=\"false\" busied_out=\"false\"/>"));
    const QList<Message> surfaces = console.named("surface_status");
    QCOMPARE(surfaces.size(), 4);
    const char* types[] = {"studio", "screener", "screener", ""};
    for (unsigned int i = 0; i < 4; ++i) {
        QCOMPARE(surfaces.at(int(i)).params().get_uint("id", 99), i);
        QCOMPARE(surfaces.at(int(i)).params().get_string("type", "?"), std::string(types[i]));
        QCOMPARE(surfaces.at(int(i)).params().get_bool("online", false), i < 3);
    }
    const QList<Message> status = console.named("line_status");
    QCOMPARE(status.size(), int(lines));
    for (unsigned int i = 0; i < lines; ++i) {
        QCOMPARE(status.at(int(i)).params().get_uint("line_id", 99), i);
        QCOMPARE(status.at(int(i)).params().get_string("status", ""), std::string("on hook (idle)"));
        for (const char* field : {"locked", "override", "priority", "ring_num", "time", "utility", "location"})
            QVERIFY2(status.at(int(i)).params().has_param(field), field);
    }
    QVERIFY(console.has("<ancillary_data line_id=\"0\" gender=\"unknown\" mood=\"neutral\"/>"));
}

void TestSim::commands_data()
{
    QTest::addColumn<QList<unsigned int>>("rings");
    QTest::addColumn<QByteArray>("commands");
    QTest::addColumn<QByteArray>("reports");

    // Frames are separated by '|'. No reports: the unit must report no line.
    const auto row = [](const char* name, QList<unsigned int> rings, const char* commands, const char* reports) {
        QTest::newRow(name) << rings << QByteArray(commands) << QByteArray(reports);
    };
    row("answer on handset", {2}, "<change_line_state command=\"handset\" line_id=\"2\"/>",
        "<line_status line_id=\"2\" status=\"on handset\" location=\"1\" locked=\"false\" time=\"0\"/>");
    row("hold", {2}, "<change_line_state command=\"hold\" line_id=\"2\"/>",
        "<line_status line_id=\"2\" status=\"on hold\" location=\"0\" locked=\"false\" time=\"0\"/>");
    row("air", {2}, "<change_line_state command=\"air\" line_id=\"2\"/>",
        "<line_status line_id=\"2\" status=\"on air\" location=\"0\" locked=\"false\" time=\"0\"/>");
    row("drop", {2}, "<change_line_state command=\"drop\" line_id=\"2\"/>",
        "<line_status line_id=\"2\" status=\"on hook (idle)\" location=\"0\" locked=\"false\" time=\"0\"/>");
    row("lock", {2}, "<change_line_flags flag=\"locked\" line_id=\"2\" state=\"true\"/>",
        "<line_status line_id=\"2\" status=\"ringing\" location=\"0\" locked=\"true\" time=\"0\"/>");
    row("hold without a call", {}, "<change_line_state command=\"hold\" line_id=\"2\"/>", "");
    row("unknown command", {2}, "<change_line_state command=\"fly\" line_id=\"2\"/>", "");
    row("line id not a number", {2}, "<change_line_state command=\"hold\" line_id=\"2x\"/>", "");
    row("negative line id", {2}, "<change_line_state command=\"hold\" line_id=\"-1\"/>", "");
    row("line id too large", {2}, "<change_line_state command=\"hold\" line_id=\"4294967298\"/>", "");
    row("priority to air", {4, 7},
        "<change_line_state command=\"hold\" line_id=\"4\"/>|<change_line_state command=\"hold\" line_id=\"7\"/>|"
        "<change_line_flags flag=\"priority\" line_id=\"7\" state=\"true\"/>|"
        "<change_line_state command=\"air\" line_id=\"priority\"/>",
        "<line_status line_id=\"7\" status=\"on air\" priority=\"false\"/>|"
        "<line_status line_id=\"4\" status=\"on hold\"/>");
    row("busy out", {2}, "<change_line_state command=\"busy\" line_id=\"unlocked\"/>",
        "<system_status busied_out=\"true\"/>|<line_status line_id=\"0\" status=\"disabled (busied out)\"/>|"
        "<line_status line_id=\"11\" status=\"disabled (busied out)\"/>");
    row("busy and back", {},
        "<change_line_state command=\"busy\" line_id=\"unlocked\"/>|"
        "<change_line_state command=\"unbusy\" line_id=\"unlocked\"/>",
        "<system_status busied_out=\"false\"/>|<line_status line_id=\"0\" status=\"on hook (idle)\"/>");
    row("chat relayed", {}, "<chat_data from=\"console\" text=\"caller on 3 &lt;b&gt;\"/>",
        "<chat_data from=\"console\" text=\"caller on 3 &lt;b&gt;\"/>");
    row("caller information", {}, "<ancillary_data line_id=\"1\" name=\"Ann\" moodidx=\"1\" location=\"Leeds\"/>",
        "<ancillary_data line_id=\"1\" name=\"Ann\" moodidx=\"1\" location=\"Leeds\"/>");
}

void TestSim::commands()
{
    QFETCH(QList<unsigned int>, rings);
    QFETCH(QByteArray, commands);
    QFETCH(QByteArray, reports);

    UnitSimulator unit;
    TestConsole a;
    TestConsole b;
    QVERIFY(unit.start(0) && a.open(unit.port()) && b.open(unit.port()) && a.login() && b.login());
    a.send("<set_config surface=\"1\"/>");
    for (unsigned int line : rings) {
        QVERIFY(unit.ring(line));
        // Both consoles hear of the call before the slate is wiped, or a
        // late report would be taken for an answer to the command.
        const QByteArray ringing = "<line_status line_id=\"" + QByteArray::number(line) + "\" status=\"ringing\"/>";
        QTRY_VERIFY_WITH_TIMEOUT(a.has(ringing) && b.has(ringing), 3000);
    }
    a.got.clear();
    b.got.clear();
    const QList<QByteArray> sent = commands.split('|');
    for (const QByteArray& command : sent)
        a.send(command);
    if (reports.isEmpty()) {
        // A marker behind the commands: once the unit has it, it has handled
        // them, and a marker it sends back reaches both consoles behind any
        // report they caused.
        a.send("<test_marker/>");
        QTRY_VERIFY_WITH_TIMEOUT(!unit.receivedMessages(QStringLiteral("test_marker")).isEmpty(), 3000);
        QCOMPARE(int(unit.receivedMessages().size()), 3 + sent.size() + 1);
        unit.sendMessage(Message(std::string("<log_message/>")));
        QTRY_VERIFY_WITH_TIMEOUT(!a.named("log_message").isEmpty() && !b.named("log_message").isEmpty(), 3000);
        QCOMPARE(a.named("line_status").size() + b.named("line_status").size(), 0);
        return;
    }
    // Every console hears of it, not only the one that pressed.
    for (const QByteArray& report : reports.split('|'))
        QTRY_VERIFY2_WITH_TIMEOUT(a.has(report) && b.has(report), report.constData(), 3000);
}

void TestSim::sessionAcceptance()
{
    UnitSimulator unit;
    QVERIFY(unit.start(0));
    IPCObject session;
    QSignalSpy lines(&session, &IPCObject::recvLineStatus);
    QSignalSpy systems(&session, &IPCObject::recvSystemStatus);
    QSignalSpy surfaces(&session, &IPCObject::recvSurfaceStatus);
    QSignalSpy infos(&session, &IPCObject::recvAncillaryData);
    session.connectIPC("127.0.0.1", unit.port(), "tavrik", "studio");
    QTRY_COMPARE_WITH_TIMEOUT(session.getState(), IPCObject::IPC_READY, 3000);
    QTRY_COMPARE_WITH_TIMEOUT(infos.count(), 12, 3000);
    QCOMPARE(lines.count(), 12);
    QCOMPARE(systems.count(), 1);
    QCOMPARE(surfaces.count(), 4);

    QVERIFY(unit.ring(3));
    QTRY_COMPARE_WITH_TIMEOUT(lines.count(), 13, 3000);
    lines.clear();
    QVERIFY(session.cmd_line_hold(3));
    QTRY_COMPARE_WITH_TIMEOUT(lines.count(), 1, 3000);
    const Message msg = lines.at(0).at(0).value<Message>();
    QCOMPARE(msg.params().get_uint("line_id", 99), 3u);
    QCOMPARE(msg.params().get_string("status", ""), std::string("on hold"));
}

void TestSim::sessionPasswordRetry()
{
    UnitSimulator unit;
    unit.setPassword("s3cret");
    QVERIFY(unit.start(0));
    IPCObject session;
    QSignalSpy spy(&session, &IPCObject::changedState);
    session.connectIPC("127.0.0.1", unit.port(), "tavrik", "studio");
    QTRY_COMPARE_WITH_TIMEOUT(session.getState(), IPCObject::IPC_LOGIN_FAILED, 3000);
    QCOMPARE(unit.receivedMessages("resync").size(), 0);
    session.connectIPC("127.0.0.1", unit.port(), "s3cret", "studio");
    QTRY_COMPARE_WITH_TIMEOUT(session.getState(), IPCObject::IPC_READY, 3000);
    QList<IPCObject::IPC_STATE> states;
    for (const QList<QVariant>& args : spy)
        states.append(args.at(0).value<IPCObject::IPC_STATE>());
    QCOMPARE(
        states,
        (QList<IPCObject::IPC_STATE>{IPCObject::IPC_CONNECTING, IPCObject::IPC_LOGGING_IN, IPCObject::IPC_LOGIN_FAILED,
                                     IPCObject::IPC_DISCONNECTED, IPCObject::IPC_CONNECTING, IPCObject::IPC_LOGGING_IN,
                                     IPCObject::IPC_LOGGED_IN, IPCObject::IPC_READY}));
    QTRY_COMPARE_WITH_TIMEOUT(unit.connectionCount(), 1, 3000);
}

QTEST_GUILESS_MAIN(TestSim)
#include "tst_sim.moc"
