// The simulated unit: its login rules, the status picture after "resync",
// its reactions to commands and faults, and a real session logging into it.
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
    void send(const char* xml) { tx_message(Message(std::string(xml))); }

    bool login(const char* password = "tavrik")
    {
        Message msg;
        msg.set_name("login");
        msg.params().set_string("username", "studio");
        msg.params().set_string("password", password);
        msg.params().set_string("id", "console");
        const int before = count("login");
        tx_message(msg);
        if (!QTest::qWaitFor([this, before]() { return count("login") > before; }, 3000))
            return false;
        return get_message("login")->params().get_bool("success", false);
    }

    int count(const std::string& name) const
    {
        return int(std::count_if(got.begin(), got.end(), [&](const Message& m) { return m.get_name() == name; }));
    }

    QList<Message> named(const std::string& name) const
    {
        QList<Message> out;
        for (const Message& m : got)
            if (m.get_name() == name)
                out.append(m);
        return out;
    }

    // The last "line_status" reported for a line, if any.
    const Message* lineStatus(unsigned int line) const
    {
        for (int i = got.size() - 1; i >= 0; --i)
            if (got.at(i).get_name() == "line_status" && got.at(i).params().get_uint("line_id", 99) == line)
                return &got.at(i);
        return nullptr;
    }

    std::string lineWord(unsigned int line) const
    {
        const Message* m = lineStatus(line);
        return m ? m->params().get_string("status", "") : std::string();
    }

    QList<Message> got;
};

struct Rig {
    UnitSimulator unit;
    TestConsole a;
    TestConsole b;

    bool start()
    {
        return unit.start(0) && a.open(unit.port()) && b.open(unit.port()) && a.login() && b.login();
    }
};

QList<IPCObject::IPC_STATE> states(const QSignalSpy& spy)
{
    QList<IPCObject::IPC_STATE> out;
    for (const QList<QVariant>& args : spy)
        out.append(args.at(0).value<IPCObject::IPC_STATE>());
    return out;
}

} // namespace

class TestSim : public QObject
{
    Q_OBJECT

private slots:
    void login_data();
    void login();
    void nothingBeforeLogin();
    void resyncPicture_data();
    void resyncPicture();
    void lineCommands_data();
    void lineCommands();
    void priorityToAir();
    void globalCommands();
    void callerInformation();
    void chatRelayed();
    void associationRemembered();
    void ticksAndUnansweredCalls();
    void faultSwitches();

    void sessionAcceptance();
    void sessionPasswordRetry();
};

void TestSim::login_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("success");
    QTest::newRow("right") << "tavrik" << true;
    QTest::newRow("wrong") << "tavrik2" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("case matters") << "Tavrik" << false;
}

void TestSim::login()
{
    QFETCH(QString, password);
    QFETCH(bool, success);
    UnitSimulator unit;
    QVERIFY(unit.start(0));
    TestConsole console;
    QVERIFY(console.open(unit.port()));
    QCOMPARE(console.login(password.toUtf8().constData()), success);
    QCOMPARE(console.get_message("login")->params().get_string("success", ""), std::string(success ? "true" : "false"));
    QCOMPARE(unit.loggedInCount(), success ? 1 : 0);
    // A refused console keeps its connection and may try again.
    QCOMPARE(unit.connectionCount(), 1);
    QCOMPARE(console.socket()->state(), QAbstractSocket::ConnectedState);
    if (!success)
        QVERIFY(console.login("tavrik"));
}

void TestSim::nothingBeforeLogin()
{
    UnitSimulator unit;
    unit.setTickInterval(10);
    QVERIFY(unit.start(0));
    TestConsole console;
    QVERIFY(console.open(unit.port()));
    console.send("<resync/>");
    console.send("<chat_data from=\"x\" text=\"y\"/>");
    QTRY_COMPARE_WITH_TIMEOUT(int(unit.received().size()), 2, 3000);
    QTest::qWait(100);
    QVERIFY(console.got.isEmpty());
    // Kept in order of arrival, with the connection they came on.
    QCOMPARE(unit.received().at(0).msg.get_name(), std::string("resync"));
    QCOMPARE(unit.received().at(1).msg.get_name(), std::string("chat_data"));
    QCOMPARE(unit.received().at(1).connection, unit.connectionIds().at(0));
    unit.clearReceived();
    QVERIFY(unit.received().empty());
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
    QTRY_COMPARE_WITH_TIMEOUT(console.count("ancillary_data"), int(lines), 3000);

    const QList<Message> system = console.named("system_status");
    QCOMPARE(system.size(), 1);
    QCOMPARE(system.at(0).params().get_uint("num_lines", 0), lines);
    QCOMPARE(system.at(0).params().get_string("aa_enabled", ""), std::string("false"));
    QCOMPARE(system.at(0).params().get_string("busied_out", ""), std::string("false"));

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
    const QList<Message> info = console.named("ancillary_data");
    QCOMPARE(info.at(0).params().get_string("gender", ""), std::string("unknown"));
    QCOMPARE(info.at(0).params().get_string("mood", ""), std::string("neutral"));
}

void TestSim::lineCommands_data()
{
    QTest::addColumn<bool>("ringing");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QString>("status");
    QTest::addColumn<int>("location");
    QTest::addColumn<bool>("locked");

    // An empty status: the unit must report nothing for the line.
    QTest::newRow("answer on handset") << true << QByteArray("<change_line_state command=\"handset\" line_id=\"2\"/>")
                                       << "on handset" << 1 << false;
    QTest::newRow("hold") << true << QByteArray("<change_line_state command=\"hold\" line_id=\"2\"/>") << "on hold" << 0
                          << false;
    QTest::newRow("air") << true << QByteArray("<change_line_state command=\"air\" line_id=\"2\"/>") << "on air" << 0
                         << false;
    QTest::newRow("drop") << true << QByteArray("<change_line_state command=\"drop\" line_id=\"2\"/>")
                          << "on hook (idle)" << 0 << false;
    QTest::newRow("lock") << true << QByteArray("<change_line_flags flag=\"locked\" line_id=\"2\" state=\"true\"/>")
                          << "ringing" << 0 << true;
    QTest::newRow("hold without a call") << false << QByteArray("<change_line_state command=\"hold\" line_id=\"2\"/>")
                                         << "" << 0 << false;
    QTest::newRow("unknown command") << true << QByteArray("<change_line_state command=\"fly\" line_id=\"2\"/>") << ""
                                     << 0 << false;
    QTest::newRow("line id not a number") << true
                                          << QByteArray("<change_line_state command=\"hold\" line_id=\"2x\"/>") << ""
                                          << 0 << false;
    QTest::newRow("negative line id") << true << QByteArray("<change_line_state command=\"hold\" line_id=\"-1\"/>")
                                      << "" << 0 << false;
    QTest::newRow("line id too large") << true
                                       << QByteArray("<change_line_state command=\"hold\" line_id=\"4294967298\"/>")
                                       << "" << 0 << false;
}

void TestSim::lineCommands()
{
    QFETCH(bool, ringing);
    QFETCH(QByteArray, command);
    QFETCH(QString, status);
    QFETCH(int, location);
    QFETCH(bool, locked);

    Rig rig;
    QVERIFY(rig.start());
    rig.a.send("<set_config surface=\"1\"/>");
    if (ringing) {
        QVERIFY(rig.unit.ring(2));
        // Both consoles hear of the call before the slate is wiped, or a
        // late report would be taken for an answer to the command.
        QTRY_COMPARE_WITH_TIMEOUT(rig.a.lineWord(2), std::string("ringing"), 3000);
        QTRY_COMPARE_WITH_TIMEOUT(rig.b.lineWord(2), std::string("ringing"), 3000);
    }
    rig.a.got.clear();
    rig.b.got.clear();
    rig.a.send(command.constData());
    if (status.isEmpty()) {
        QTRY_COMPARE_WITH_TIMEOUT(int(rig.unit.receivedMessages().size()), 4, 3000);
        QTest::qWait(100);
        QVERIFY(!rig.a.lineStatus(2));
        QVERIFY(!rig.b.lineStatus(2));
        return;
    }
    // Every console hears of it, not only the one that pressed.
    QTRY_VERIFY_WITH_TIMEOUT(rig.a.lineStatus(2) && rig.b.lineStatus(2), 3000);
    const Params& p = rig.b.lineStatus(2)->params();
    QCOMPARE(QString::fromStdString(p.get_string("status", "")), status);
    QCOMPARE(p.get_int("location", -1), location);
    QCOMPARE(p.get_bool("locked", !locked), locked);
    QCOMPARE(p.get_uint("time", 99), 0u);
    QCOMPARE(rig.unit.line(2).status, status);
}

void TestSim::priorityToAir()
{
    Rig rig;
    QVERIFY(rig.start());
    QVERIFY(rig.unit.ring(4));
    QVERIFY(rig.unit.ring(7));
    rig.a.send("<change_line_state command=\"hold\" line_id=\"4\"/>");
    rig.a.send("<change_line_state command=\"hold\" line_id=\"7\"/>");
    rig.a.send("<change_line_flags flag=\"priority\" line_id=\"7\" state=\"true\"/>");
    QTRY_VERIFY_WITH_TIMEOUT(rig.b.lineStatus(7) && rig.b.lineStatus(7)->params().get_bool("priority", false), 3000);
    rig.a.send("<change_line_state command=\"air\" line_id=\"priority\"/>");
    QTRY_COMPARE_WITH_TIMEOUT(rig.b.lineWord(7), std::string("on air"), 3000);
    QVERIFY(!rig.b.lineStatus(7)->params().get_bool("priority", true));
    QCOMPARE(rig.b.lineWord(4), std::string("on hold"));
}

void TestSim::globalCommands()
{
    Rig rig;
    QVERIFY(rig.start());
    auto system = [&rig](const char* field) {
        const Message* m = rig.b.get_message("system_status");
        return m && m->params().get_bool(field, false);
    };
    QVERIFY(rig.unit.ring(2));
    rig.a.send("<change_line_state command=\"busy\" line_id=\"unlocked\"/>");
    QTRY_VERIFY_WITH_TIMEOUT(system("busied_out"), 3000);
    QCOMPARE(rig.b.lineWord(0), std::string("disabled (busied out)"));
    QCOMPARE(rig.b.lineWord(11), std::string("disabled (busied out)"));
    QCOMPARE(rig.b.lineWord(2), std::string("ringing"));

    rig.a.send("<change_line_state command=\"unbusy\" line_id=\"unlocked\"/>");
    QTRY_VERIFY_WITH_TIMEOUT(!system("busied_out"), 3000);
    QCOMPARE(rig.b.lineWord(0), std::string("on hook (idle)"));

    // With the auto attendant on, new calls go to it instead of ringing.
    rig.a.send("<change_global_state enabled=\"true\" state=\"aa\"/>");
    QTRY_VERIFY_WITH_TIMEOUT(system("aa_enabled"), 3000);
    QVERIFY(rig.unit.ring(1));
    QTRY_COMPARE_WITH_TIMEOUT(rig.b.lineWord(1), std::string("on auto attendant"), 3000);
}

void TestSim::callerInformation()
{
    Rig rig;
    QVERIFY(rig.start());
    rig.a.send("<ancillary_data gender=\"female\" genderidx=\"2\" line_id=\"1\" location=\"Leeds\" mood=\"happy\" "
               "moodidx=\"1\" name=\"Ann\" notes=\"n\" topic=\"t\" junk=\"j\"/>");
    QTRY_VERIFY_WITH_TIMEOUT(rig.a.get_message("ancillary_data") && rig.b.get_message("ancillary_data"), 3000);
    const Params& mine = rig.a.get_message("ancillary_data")->params();
    const Params& theirs = rig.b.get_message("ancillary_data")->params();
    // The console that typed it knows it is its own echo.
    QVERIFY(mine.get_bool("local", false));
    QVERIFY(!theirs.get_bool("local", true));
    QCOMPARE(theirs.get_string("name", ""), std::string("Ann"));
    QCOMPARE(theirs.get_uint("moodidx", 0), 1u);
    QVERIFY(!theirs.has_param("junk"));

    // Kept: a console that logs in later sees it after its resync.
    TestConsole late;
    QVERIFY(late.open(rig.unit.port()));
    QVERIFY(late.login());
    late.send("<resync/>");
    QTRY_COMPARE_WITH_TIMEOUT(late.count("ancillary_data"), 12, 3000);
    QCOMPARE(late.named("ancillary_data").at(1).params().get_string("location", ""), std::string("Leeds"));

    // An unchanged record is not echoed again to everybody.
    rig.b.got.clear();
    rig.a.send("<ancillary_data gender=\"female\" genderidx=\"2\" line_id=\"1\" location=\"Leeds\" mood=\"happy\" "
               "moodidx=\"1\" name=\"Ann\" notes=\"n\" topic=\"t\"/>");
    rig.a.send("<ancillary_data line_id=\"99\" name=\"nobody\"/>");
    rig.a.send("<chat_data from=\"end\" text=\"\"/>");
    QTRY_COMPARE_WITH_TIMEOUT(rig.b.count("chat_data"), 1, 3000);
    QCOMPARE(rig.b.count("ancillary_data"), 0);
}

void TestSim::chatRelayed()
{
    Rig rig;
    QVERIFY(rig.start());
    rig.a.send("<chat_data from=\"console\" text=\"caller on 3 &lt;b&gt;\"/>");
    QTRY_VERIFY_WITH_TIMEOUT(rig.a.count("chat_data") == 1 && rig.b.count("chat_data") == 1, 3000);
    QCOMPARE(rig.b.get_message("chat_data")->params().get_string("from", ""), std::string("console"));
    QCOMPARE(rig.b.get_message("chat_data")->params().get_string("text", ""), std::string("caller on 3 <b>"));
}

void TestSim::associationRemembered()
{
    Rig rig;
    QVERIFY(rig.start());
    rig.a.send("<set_handset_id id=\"2\"/>");
    rig.a.send("<set_config surface=\"2\"/>");
    rig.b.send("<set_handset_id id=\"none\"/>");
    rig.b.send("<set_config surface=\"bogus\"/>");
    QTRY_COMPARE_WITH_TIMEOUT(int(rig.unit.receivedMessages("set_config").size()), 2, 3000);
    const QList<int> ids = rig.unit.connectionIds();
    QCOMPARE(ids.size(), 2);
    QCOMPARE(rig.unit.connectionSurface(ids.at(0)), 2u);
    QCOMPARE(rig.unit.connectionHandsetId(ids.at(0)), QString("2"));
    QCOMPARE(rig.unit.connectionSurface(ids.at(1)), 4u);
    QCOMPARE(rig.unit.connectionHandsetId(ids.at(1)), QString("none"));
    // Not answered: the console would answer the answer, for ever.
    QTest::qWait(100);
    QCOMPARE(rig.a.count("set_config"), 0);
}

void TestSim::ticksAndUnansweredCalls()
{
    UnitSimulator unit;
    unit.setTickInterval(20);
    unit.setRingTimeout(5);
    QVERIFY(unit.start(0));
    TestConsole in;
    TestConsole out;
    QVERIFY(in.open(unit.port()) && out.open(unit.port()));
    QVERIFY(in.login());
    QVERIFY(unit.ring(5, "Zed"));
    QTRY_COMPARE_WITH_TIMEOUT(in.lineWord(5), std::string("ringing"), 3000);
    QTRY_COMPARE_WITH_TIMEOUT(in.lineWord(5), std::string("on hook (idle)"), 3000);
    QVERIFY(in.count("timer_tick") >= 5);
    QCOMPARE(out.count("timer_tick"), 0);
    QVERIFY(!unit.ring(99));

    // A call picked up carries its made-up caller to every console.
    QVERIFY(unit.ring(6, "Zed"));
    in.send("<change_line_state command=\"hold\" line_id=\"6\"/>");
    QTRY_VERIFY_WITH_TIMEOUT(in.get_message("ancillary_data")
                                 && in.get_message("ancillary_data")->params().get_string("name", "") == "Zed",
                             3000);
    QTest::qWait(200);
    QCOMPARE(in.lineWord(6), std::string("on hold"));
    // The unit counts the call's time; consoles count it from the ticks.
    QVERIFY(unit.line(6).time > 0);
}

void TestSim::faultSwitches()
{
    UnitSimulator unit;
    QVERIFY(unit.start(0));
    TestConsole console;
    QVERIFY(console.open(unit.port()));

    unit.setIgnoreLogin(true);
    console.send("<login password=\"tavrik\"/>");
    QTRY_COMPARE_WITH_TIMEOUT(int(unit.receivedMessages("login").size()), 1, 3000);
    QTest::qWait(100);
    QCOMPARE(console.count("login"), 0);
    unit.setIgnoreLogin(false);

    unit.setStopReading(true);
    console.send("<chat_data text=\"held\"/>");
    QTest::qWait(100);
    QCOMPARE(int(unit.receivedMessages("chat_data").size()), 0);
    unit.setStopReading(false);
    QTRY_COMPARE_WITH_TIMEOUT(int(unit.receivedMessages("chat_data").size()), 1, 3000);

    unit.sendRaw(QByteArray("\x01garbage|<timer_tick/>|").replace('|', '\0'));
    QTRY_COMPARE_WITH_TIMEOUT(console.count("timer_tick"), 1, 3000);

    unit.dropAllConnections();
    QTRY_COMPARE_WITH_TIMEOUT(console.socket()->state(), QAbstractSocket::UnconnectedState, 3000);
    QTRY_COMPARE_WITH_TIMEOUT(unit.connectionCount(), 0, 3000);
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
    QCOMPARE(states(spy),
             (QList<IPCObject::IPC_STATE>{IPCObject::IPC_CONNECTING, IPCObject::IPC_LOGGING_IN,
                                          IPCObject::IPC_LOGIN_FAILED, IPCObject::IPC_DISCONNECTED,
                                          IPCObject::IPC_CONNECTING, IPCObject::IPC_LOGGING_IN,
                                          IPCObject::IPC_LOGGED_IN, IPCObject::IPC_READY}));
    QTRY_COMPARE_WITH_TIMEOUT(unit.connectionCount(), 1, 3000);
}

QTEST_GUILESS_MAIN(TestSim)
#include "tst_sim.moc"
