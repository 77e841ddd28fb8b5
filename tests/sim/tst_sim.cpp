// The simulated unit: its login rules and the status picture after
// "resync". How it answers the consoles' commands every console test shows.
#include "ipc/ipcclient.h"
#include "ipc/ipcqt.h"
#include "sim/unitsimulator.h"

#include <QtTest>

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
    void login_data()
    {
        QTest::addColumn<QByteArray>("password");
        QTest::addColumn<bool>("success");
        QTest::newRow("right") << QByteArray("tavrik") << true;
        QTest::newRow("wrong") << QByteArray("tavrik2") << false;
        QTest::newRow("case matters") << QByteArray("Tavrik") << false;
    }

    void login()
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
        QCOMPARE(console.get_message("login")->params().get_string("success", ""),
                 std::string(success ? "true" : "false"));
        QCOMPARE(console.named("system_status").size(), 0);
        QCOMPARE(unit.loggedInCount(), success ? 1 : 0);
        // A refused console keeps its connection and may try again.
        QCOMPARE(unit.connectionCount(), 1);
        QCOMPARE(console.socket()->state(), QAbstractSocket::ConnectedState);
        if (!success)
            QVERIFY(console.login("tavrik"));
    }

    void resyncPicture_data()
    {
        QTest::addColumn<unsigned int>("lines");
        QTest::newRow("six lines") << 6u;
    }

    void resyncPicture()
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
};

QTEST_GUILESS_MAIN(TestSim)
#include "tst_sim.moc"
