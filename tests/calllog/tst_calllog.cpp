// The call log below the window: the records a scripted show leaves on a
// real SQLite file (two consoles of one unit over loopback, one of them
// dropping out mid-call), the rules of the recorder fed with hostile and
// unusual status messages, the exported CSV read back by an independent
// reader, a first-version file brought up to date, files that cannot be
// used, and retention.
#include "csvreader.h"

#include "calllog/callcsv.h"
#include "calllog/calllog.h"
#include "calllog/callrecorder.h"
#include "calllog/callstore.h"
#include "console/lines.h"
#include "ipc/ipcobject.h"
#include "sim/unitshow.h"
#include "sim/unitsimulator.h"
#include "tests/support/settings.h"
#include "tests/support/wait.h"

#include <QBuffer>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QGraphicsScene>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include <unistd.h>

namespace {

// 2024-03-05 10:00:00 UTC; show times are seconds after it.
const qint64 showStart = 1709632800000LL;
qint64 at(double seconds)
{
    return showStart + qint64(seconds * 1000);
}

using testsupport::waitFor;

// Everything in the file, through the log's own worker.
QVector<CallRecord> allCalls(CallLog& log)
{
    QVector<CallRecord> rows;
    bool done = false;
    const int ticket = log.query(CallFilter(), 100000);
    QMetaObject::Connection c
        = QObject::connect(&log, &CallLog::queryFinished, [&](int t, const CallQueryResult& result) {
              if (t == ticket) {
                  rows = result.rows;
                  done = true;
              }
          });
    waitFor([&] { return done; });
    QObject::disconnect(c);
    return rows;
}

bool flushed(CallLog& log)
{
    bool done = false;
    const int ticket = log.flush();
    QMetaObject::Connection c = QObject::connect(&log, &CallLog::flushed, [&](int t) { done = done || t == ticket; });
    const bool ok = waitFor([&] { return done; });
    QObject::disconnect(c);
    return ok;
}

// One console as the program has it, as far as the log is concerned: a
// session and the line model that reacts to it (and wipes the caller
// information of ringing and idle lines, as real consoles do).
struct Console
{
    explicit Console(const QString& user)
        : user(user)
        , scene(0, 0, 1024, 768)
        , lines(scene, session)
    {
        QObject::connect(&session, &IPCObject::recvLogMessage,
                         [this](const Message& m) { echoed = m.params().get_uint("n", 0); });
    }
    QString user;
    IPCObject session;
    QGraphicsScene scene;
    Lines lines;
    unsigned int echoed = 0;
};

// A simulated unit with consoles logged in, a call log on a file in a
// temporary folder, and a clock the test sets.
struct ShowRig
{
    ShowRig()
    {
        CallLog::Options options;
        options.path = dir.filePath(QStringLiteral("data/calls.sqlite"));
        options.batchMs = 5;
        options.clock = [this] { return now; };
        log = std::make_unique<CallLog>(options);
    }

    bool start()
    {
        if (!dir.isValid() || !sim.start(0))
            return false;
        // No ticks: the unit's timers would run in real time.
        sim.setTickInterval(3600 * 1000);
        key = QStringLiteral("127.0.0.1:%1").arg(sim.port());
        return waitFor([this] { return log->state() == CallLog::Ready; });
    }

    Console& add(const QString& user)
    {
        consoles.push_back(std::make_unique<Console>(user));
        log->attach(consoles.back()->session, key);
        return *consoles.back();
    }

    bool connect(Console& c)
    {
        c.session.connectIPC(QStringLiteral("127.0.0.1"), sim.port(), QStringLiteral("tavrik"), c.user);
        return waitFor([&] { return c.session.getState() == IPCObject::IPC_READY; }) && settle();
    }

    // Everything the unit sent has been handled by every console, and so has
    // everything the consoles sent in answer and the unit's answers to that.
    bool settle() { return echo() && consolesToUnit() && echo(); }

    bool echo()
    {
        const unsigned int n = ++marker;
        Message back;
        back.set_name("log_message");
        back.params().set_uint("n", n);
        sim.sendMessage(back);
        return waitFor([&] {
            for (const auto& c : consoles)
                if (c->session.getState() == IPCObject::IPC_READY && c->echoed != n)
                    return false;
            return true;
        });
    }

    bool consolesToUnit()
    {
        const unsigned int n = ++marker;
        int expected = 0;
        for (const auto& c : consoles) {
            if (c->session.getState() != IPCObject::IPC_READY)
                continue;
            Message m;
            m.set_name("test_marker");
            m.params().set_uint("n", n);
            c->session.send_message(m);
            ++expected;
        }
        return waitFor([&] {
            int seen = 0;
            for (const Message& m : sim.receivedMessages(QStringLiteral("test_marker")))
                if (m.params().get_uint("n", 0) == n)
                    ++seen;
            return seen == expected;
        });
    }

    bool step(const ShowStep& s)
    {
        now = at(double(s.atMs) / 1000);
        UnitShow::apply(sim, s);
        return settle();
    }

    QTemporaryDir dir;
    qint64 now = showStart;
    std::unique_ptr<CallLog> log;
    UnitSimulator sim;
    QString key;
    std::vector<std::unique_ptr<Console>> consoles;
    unsigned int marker = 0;
};

Params caller(const QString& name, const QString& location, const QString& topic)
{
    return ShowStep::ring(0, 0, name, location, topic).info;
}

// What a call record says, in a form a table row can hold.
struct Expected
{
    int line;
    double firstSeen;
    double answered;   // -1: never
    double firstOnAir; // -1: never
    double ended;
    double wait; // -1: unknown
    double hold;
    double air;
    CallRecord::Outcome outcome;
    bool priority;
    bool partial;
    QString user;
    QString name;
    QString location;
    QString topic;
    QString notes;
    QString gender;
    QString mood;
};

qint64 msOrZero(double seconds)
{
    return seconds < 0 ? 0 : at(seconds);
}

} // namespace

Q_DECLARE_METATYPE(Expected)

class TestCallLog : public QObject
{
    Q_OBJECT

    // The scripted show runs once; each row of showRecords checks one call.
    QVector<CallRecord> m_show;
    QString m_showKey;
    int m_openAfterShow = -1;

private slots:
    void initTestCase();
    void showRecords_data();
    void showRecords();
    void showLeavesTenCalls();

    void recorderRules_data();
    void recorderRules();

    void csvRoundTrip_data();
    void csvRoundTrip();
    void migratesFirstVersion();
    void unusableFile_data();
    void unusableFile();
    void retention_data();
    void retention();
    void callsLeftOpenEndWhenLastSeen();
    void searchFindsPartsOfWords_data();
    void searchFindsPartsOfWords();
};

void TestCallLog::initTestCase()
{
    testsupport::isolateSettings();

    ShowRig rig;
    QVERIFY(rig.start());
    m_showKey = rig.key;
    UnitSimulator& sim = rig.sim;

    // Before any console looks: line 8 has a caller on hold already.
    QVERIFY(sim.ring(7, caller(QStringLiteral("Walter"), QStringLiteral("Dockside"), QStringLiteral("Parking"))));
    QVERIFY(sim.setLineState(7, QStringLiteral("on hold")));

    Console& a = rig.add(QStringLiteral("studio"));
    Console& b = rig.add(QStringLiteral("screener"));
    QVERIFY(rig.connect(a));
    QVERIFY(rig.connect(b));

    using S = ShowStep;
    const qint64 s = 1000;
    const auto ring = [](qint64 t, unsigned line, const char* name, const char* location, const char* topic) {
        return S::ring(t, line, QString::fromUtf8(name), QString::fromUtf8(location), QString::fromUtf8(topic));
    };
    // The show until the first console drops out.
    const std::vector<ShowStep> first = {
        ring(10 * s, 0, "Mia", "Leeds", "Weather"),
        ring(20 * s, 1, "Zoë Müller", "Köln", "Traffic"),
        S::act(20 * s, 7, S::Air),
        S::act(27 * s, 1, S::Answer),
        S::act(30 * s, 0, S::Drop),
        S::notes(35 * s, 1, QStringLiteral("Zoë Müller"), QStringLiteral("Köln, Ehrenfeld"),
                 QStringLiteral("Traffic on the \"A1\""), QStringLiteral("Called at 9:58,\nagain now"), 2, 4),
        ring(40 * s, 2, "Bob", "Leeds", "Bins"),
        S::act(45 * s, 2, S::Answer),
        S::act(45 * s, 7, S::Drop),
        ring(50 * s, 3, "Ana", "Quay", "Music"),
        S::act(50 * s, 2, S::Hold),
        S::act(60 * s, 1, S::Drop),
        S::act(62 * s, 3, S::Air),
        S::act(63 * s, 3, S::Lock),
        ring(70 * s, 4, "Priya", "Kingsbridge", "Allotments"),
        S::act(71 * s, 4, S::Priority),
        S::act(75 * s, 4, S::ScreenedHold),
        S::act(80 * s, 2, S::Air),
        ring(80 * s, 5, "Omar", "Northfield", "Football"),
        S::act(85 * s, 5, S::Answer),
        ring(90 * s, 6, "Kim", "Harbour", "Ferries"),
        S::act(90 * s, 5, S::Hold),
        S::act(95 * s, 4, S::Air),
        S::act(95 * s, 6, S::Answer),
    };
    for (const ShowStep& step : first)
        QVERIFY(rig.step(step));

    // A busied-out line is no call.
    rig.now = at(96);
    QVERIFY(sim.setLineState(8, QStringLiteral("disabled (busied out)")));
    QVERIFY(rig.settle());
    rig.now = at(97);
    QVERIFY(sim.setLineState(8, QStringLiteral("on hook (idle)")));
    QVERIFY(rig.settle());

    // The first console goes; the second carries on.
    rig.now = at(100);
    a.session.disconnectIPC();
    QVERIFY(rig.settle());
    QVERIFY(rig.step(S::act(105 * s, 5, S::Air)));
    QVERIFY(rig.step(ring(110 * s, 9, "Hugo", "Old Town", "Trains")));
    QVERIFY(rig.step(S::act(110 * s, 2, S::Drop)));

    // Then the second goes too: nobody sees the unit for a while.
    rig.now = at(115);
    b.session.disconnectIPC();
    QVERIFY(waitFor([&] { return sim.loggedInCount() == 0; }));
    QVERIFY(rig.step(S::act(120 * s, 3, S::Drop)));
    QVERIFY(rig.step(S::act(125 * s, 5, S::Hold)));
    QVERIFY(rig.step(S::act(125 * s, 6, S::Drop)));
    QVERIFY(rig.step(S::act(130 * s, 4, S::Drop)));

    // Back: the calls still going on go on; the one that ended is over.
    rig.now = at(140);
    QVERIFY(rig.connect(a));
    QVERIFY(rig.step(S::act(145 * s, 9, S::Answer)));
    rig.now = at(150);
    QVERIFY(rig.connect(b));
    const std::vector<ShowStep> last = {
        S::act(160 * s, 5, S::Drop),   ring(170 * s, 8, "Lena", "Fishmarket", "Gulls"),
        S::act(172 * s, 8, S::Answer), S::act(180 * s, 8, S::Drop),
        S::act(190 * s, 9, S::Drop),
    };
    for (const ShowStep& step : last)
        QVERIFY(rig.step(step));

    m_openAfterShow = rig.log->recorder(rig.key)->openCalls().size();
    QVERIFY(flushed(*rig.log));
    m_show = allCalls(*rig.log);
    QVERIFY2(!rig.log->isOff(), qPrintable(rig.log->errorText()));
}

void TestCallLog::showRecords_data()
{
    QTest::addColumn<Expected>("expected");
    const QString unknown = QStringLiteral("unknown");
    const QString neutral = QStringLiteral("neutral");
    const QString studio = QStringLiteral("studio");
    const QString screener = QStringLiteral("screener");
    using R = CallRecord;
    // line, first, answered, on air, ended, wait, hold, air, outcome, priority, partial, user, caller
    QTest::newRow("missed") << Expected{0,     10,    -1,     -1, 30, -1, 0,  0,  R::Missed,
                                        false, false, studio, {}, {}, {}, {}, {}, {}};
    QTest::newRow("answered, notes typed, dropped") << Expected{1,
                                                                20,
                                                                27,
                                                                -1,
                                                                60,
                                                                7,
                                                                0,
                                                                0,
                                                                R::Answered,
                                                                false,
                                                                false,
                                                                studio,
                                                                QStringLiteral("Zoë Müller"),
                                                                QStringLiteral("Köln, Ehrenfeld"),
                                                                QStringLiteral("Traffic on the \"A1\""),
                                                                QStringLiteral("Called at 9:58,\nagain now"),
                                                                QStringLiteral("female"),
                                                                QStringLiteral("angry")};
    QTest::newRow("held then aired") << Expected{2,
                                                 40,
                                                 45,
                                                 80,
                                                 110,
                                                 5,
                                                 30,
                                                 30,
                                                 R::Aired,
                                                 false,
                                                 false,
                                                 studio,
                                                 QStringLiteral("Bob"),
                                                 QStringLiteral("Leeds"),
                                                 QStringLiteral("Bins"),
                                                 {},
                                                 unknown,
                                                 neutral};
    QTest::newRow("aired with lock, dropped unseen") << Expected{3,
                                                                 50,
                                                                 -1,
                                                                 62,
                                                                 115,
                                                                 12,
                                                                 0,
                                                                 53,
                                                                 R::Aired,
                                                                 false,
                                                                 false,
                                                                 studio,
                                                                 QStringLiteral("Ana"),
                                                                 QStringLiteral("Quay"),
                                                                 QStringLiteral("Music"),
                                                                 {},
                                                                 unknown,
                                                                 neutral};
    QTest::newRow("priority, aired, dropped unseen") << Expected{4,
                                                                 70,
                                                                 -1,
                                                                 95,
                                                                 115,
                                                                 5,
                                                                 20,
                                                                 20,
                                                                 R::Aired,
                                                                 true,
                                                                 false,
                                                                 studio,
                                                                 QStringLiteral("Priya"),
                                                                 QStringLiteral("Kingsbridge"),
                                                                 QStringLiteral("Allotments"),
                                                                 {},
                                                                 unknown,
                                                                 neutral};
    QTest::newRow("through both consoles dropping out") << Expected{5,
                                                                    80,
                                                                    85,
                                                                    105,
                                                                    160,
                                                                    5,
                                                                    35,
                                                                    10,
                                                                    R::Aired,
                                                                    false,
                                                                    false,
                                                                    studio,
                                                                    QStringLiteral("Omar"),
                                                                    QStringLiteral("Northfield"),
                                                                    QStringLiteral("Football"),
                                                                    {},
                                                                    unknown,
                                                                    neutral};
    QTest::newRow("ended while nobody looked") << Expected{6,
                                                           90,
                                                           95,
                                                           -1,
                                                           115,
                                                           5,
                                                           0,
                                                           0,
                                                           R::Answered,
                                                           false,
                                                           false,
                                                           studio,
                                                           QStringLiteral("Kim"),
                                                           QStringLiteral("Harbour"),
                                                           QStringLiteral("Ferries"),
                                                           {},
                                                           unknown,
                                                           neutral};
    QTest::newRow("in progress at first sight") << Expected{7,
                                                            0,
                                                            -1,
                                                            20,
                                                            45,
                                                            -1,
                                                            20,
                                                            25,
                                                            R::Aired,
                                                            false,
                                                            true,
                                                            studio,
                                                            QStringLiteral("Walter"),
                                                            QStringLiteral("Dockside"),
                                                            QStringLiteral("Parking"),
                                                            {},
                                                            unknown,
                                                            neutral};
    QTest::newRow("after a busied-out spell") << Expected{8,
                                                          170,
                                                          172,
                                                          -1,
                                                          180,
                                                          2,
                                                          0,
                                                          0,
                                                          R::Answered,
                                                          false,
                                                          false,
                                                          studio,
                                                          QStringLiteral("Lena"),
                                                          QStringLiteral("Fishmarket"),
                                                          QStringLiteral("Gulls"),
                                                          {},
                                                          unknown,
                                                          neutral};
    QTest::newRow("ringing through the gap") << Expected{9,
                                                         110,
                                                         145,
                                                         -1,
                                                         190,
                                                         35,
                                                         0,
                                                         0,
                                                         R::Answered,
                                                         false,
                                                         false,
                                                         screener,
                                                         QStringLiteral("Hugo"),
                                                         QStringLiteral("Old Town"),
                                                         QStringLiteral("Trains"),
                                                         {},
                                                         unknown,
                                                         neutral};
}

void TestCallLog::showRecords()
{
    QFETCH(Expected, expected);
    QVector<CallRecord> onLine;
    for (const CallRecord& r : qAsConst(m_show))
        if (r.line == expected.line)
            onLine << r;
    QCOMPARE(onLine.size(), 1);
    const CallRecord& r = onLine.first();
    QCOMPARE(r.unitKey, m_showKey);
    QCOMPARE(r.username, expected.user);
    QCOMPARE(r.firstSeen, at(expected.firstSeen));
    QCOMPARE(r.answered, msOrZero(expected.answered));
    QCOMPARE(r.firstOnAir, msOrZero(expected.firstOnAir));
    QCOMPARE(r.ended, at(expected.ended));
    QCOMPARE(r.waitMs, expected.wait < 0 ? -1 : qint64(expected.wait * 1000));
    QCOMPARE(r.holdMs, qint64(expected.hold * 1000));
    QCOMPARE(r.airMs, qint64(expected.air * 1000));
    QCOMPARE(r.outcome, expected.outcome);
    QCOMPARE(r.priority, expected.priority);
    QCOMPARE(r.partial, expected.partial);
    QCOMPARE(r.name, expected.name);
    QCOMPARE(r.location, expected.location);
    QCOMPARE(r.topic, expected.topic);
    QCOMPARE(r.notes, expected.notes);
    QCOMPARE(r.gender, expected.gender);
    QCOMPARE(r.mood, expected.mood);
}

void TestCallLog::showLeavesTenCalls()
{
    // Two consoles watched the whole show: still one record per call.
    QCOMPARE(m_show.size(), 10);
    QCOMPARE(m_openAfterShow, 0);
    // Newest first.
    for (int i = 1; i < m_show.size(); ++i)
        QVERIFY(m_show.at(i - 1).firstSeen >= m_show.at(i).firstSeen);
}

// A tiny script of what one session reports, separated by ";":
//   @S            the clock is now S seconds into the show
//   ready         the session logs in and hears every line is idle
//   join          the session logs in; the lines follow in later steps
//   down          the session is lost
//   L<n> <status>[ time=<s>][ prio]   a "line_status" (words may have spaces)
//   id=<text> <status>                a "line_status" with a raw line_id
//   I<n> <name>   an "ancillary_data" with that name (blank for "-")
//   lines=<n>     a "system_status"
// The result lists every record the recorder reported last, one per call,
// as "L<line> <first>-<ended> <outcome> w<wait> h<hold> a<air>" plus flags.
void TestCallLog::recorderRules_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("calls");

    QTest::newRow("missed") << "ready; @5; L0 ringing; @25; L0 on hook (idle)"
                            << QStringList{"L0 5-25 missed w- h0 a0"};
    QTest::newRow("busied out is no call")
        << "ready; L0 disabled (busied out); @9; L0 on hook (idle); L1 not installed; L2 disabled (loop thru)"
        << QStringList{};
    QTest::newRow("an unknown word keeps the call, uncounted")
        << "ready; L0 ringing; @5; L0 conference; @10; L0 on hold; @20; L0 on hook (idle)"
        << QStringList{"L0 0-20 answered w10 h10 a0"};
    QTest::newRow("an unknown word opens nothing") << "ready; L0 conference; @5; L0 on hook (idle)" << QStringList{};
    QTest::newRow("remote states count as taken and aired")
        << "ready; L3 ringing; @4; L3 remote (on handset); @6; L3 remote (on hold); @10; L3 remote (on air); @30; "
           "L3 on hook (idle)"
        << QStringList{"L3 0-30 aired w4 h4 a20"};
    QTest::newRow("taken straight from idle waits nothing")
        << "ready; L1 on handset; @3; L1 on hook (idle)" << QStringList{"L1 0-3 answered w0 h0 a0"};
    QTest::newRow("in progress at first sight")
        << "join; L2 on air time=100; @8; L2 on hook (idle)" << QStringList{"L2 0-8 aired w- h0 a8 partial"};
    QTest::newRow("priority at any moment") << "ready; L0 ringing; @2; L0 ringing prio; @3; L0 ringing; @4; "
                                               "L0 on hook (idle)"
                                            << QStringList{"L0 0-4 missed w- h0 a0 prio"};
    QTest::newRow("back in the same state: the unit's time says since when")
        << "ready; L0 ringing; @10; L0 on hold; @20; down; @50; join; L0 on hold time=40; @60; L0 on hook (idle)"
        << QStringList{"L0 0-60 answered w10 h50 a0"};
    QTest::newRow("back in the same state, entered while away")
        << "ready; L0 ringing; @10; L0 on hold; @20; down; @50; join; L0 on hold time=5; @60; L0 on hook (idle)"
        << QStringList{"L0 0-60 answered w10 h25 a0"};
    QTest::newRow("a hostile time cannot reach before the gap")
        << "ready; L0 ringing; @10; L0 on air; @20; down; @50; join; L0 on air time=4294967295; @60; "
           "L0 on hook (idle)"
        << QStringList{"L0 0-60 aired w10 h0 a50"};
    QTest::newRow("idle when back: ended when last seen")
        << "ready; L0 ringing; @10; L0 on hold; @20; down; @50; join; L0 on hook (idle)"
        << QStringList{"L0 0-20 answered w10 h10 a0"};
    QTest::newRow("busied out when back: ended when last seen")
        << "ready; L0 ringing; @20; down; @50; join; L0 disabled (busied out)"
        << QStringList{"L0 0-20 missed w- h0 a0"};
    QTest::newRow("lines past the unit's count do not exist")
        << "ready; lines=6; L6 ringing; L11 ringing; L5 ringing; @5; L5 on hook (idle)"
        << QStringList{"L5 0-5 missed w- h0 a0"};
    QTest::newRow("fewer lines end the calls on the others")
        << "ready; L8 ringing; @7; lines=6" << QStringList{"L8 0-7 missed w- h0 a0"};
    QTest::newRow("line numbers out of range are ignored, unreadable ones are line 1 as on the console")
        << "ready; id=12 ringing; id=4294967295 ringing; id=-1 ringing; id=abc ringing; @1; L0 on hook (idle)"
        << QStringList{"L0 0-1 missed w- h0 a0"};
    QTest::newRow("a wipe while ringing keeps the name, a cleared editor does not")
        << "ready; L0 ringing; @1; L0 on hold; I0 Ann; @2; L0 remote (on hold); I0 -; @3; L0 on hook (idle)"
        << QStringList{"L0 0-3 answered w1 h2 a0 Ann"};
    QTest::newRow("typed away on a held line")
        << "ready; L0 ringing; @1; L0 on hold; I0 Ann; I0 -; @3; L0 on hook (idle)"
        << QStringList{"L0 0-3 answered w1 h2 a0"};
    QTest::newRow("caller information after the end is no news")
        << "ready; L0 ringing; @1; L0 on handset; I0 Ann; @3; L0 on hook (idle); I0 Bob"
        << QStringList{"L0 0-3 answered w1 h0 a0 Ann"};
    QTest::newRow("an overlong name is cut")
        << "ready; L0 on hold; I0 #5000; @1; L0 on hook (idle)" << QStringList{"L0 0-1 answered w0 h1 a0 #1000"};
    QTest::newRow("a call still on when the program stops")
        << "ready; L0 ringing; @3; L0 on air" << QStringList{"L0 0-open aired w3 h0 a0"};
}

void TestCallLog::recorderRules()
{
    QFETCH(QString, script);
    QFETCH(QStringList, calls);

    qint64 now = showStart;
    CallRecorder recorder(QStringLiteral("unit:1"), [&] { return now; });
    IPCObject session;
    recorder.attach(&session);
    QMap<QString, CallRecord> latest;
    QStringList order;
    connect(&recorder, &CallRecorder::recordChanged, [&](const CallRecord& r) {
        if (!latest.contains(r.uid))
            order << r.uid;
        latest.insert(r.uid, r);
    });

    const auto lineStatus = [&](const QString& id, QString rest) {
        Message m;
        m.set_name("line_status");
        m.params().set_qstring("line_id", id);
        const QRegularExpression timeField(QStringLiteral(" time=(\\d+)"));
        const QRegularExpressionMatch match = timeField.match(rest);
        if (match.hasMatch()) {
            m.params().set_qstring("time", match.captured(1));
            rest.remove(timeField);
        }
        if (rest.endsWith(QLatin1String(" prio"))) {
            m.params().set_bool("priority", true);
            rest.chop(5);
        }
        m.params().set_qstring("status", rest);
        emit session.recvLineStatus(m);
    };
    for (QString step : script.split(QLatin1Char(';'))) {
        step = step.trimmed();
        if (step.startsWith(QLatin1Char('@'))) {
            now = at(step.mid(1).toDouble());
        } else if (step == QLatin1String("ready") || step == QLatin1String("join")) {
            session.setState(IPCObject::IPC_READY);
            if (step == QLatin1String("ready"))
                for (int line = 0; line < 12; ++line)
                    lineStatus(QString::number(line), QStringLiteral("on hook (idle)"));
        } else if (step == QLatin1String("down")) {
            session.setState(IPCObject::IPC_DISCONNECTED);
        } else if (step.startsWith(QLatin1String("lines="))) {
            Message m;
            m.set_name("system_status");
            m.params().set_qstring("num_lines", step.mid(6));
            emit session.recvSystemStatus(m);
        } else if (step.startsWith(QLatin1String("id="))) {
            const int space = step.indexOf(QLatin1Char(' '));
            lineStatus(step.mid(3, space - 3), step.mid(space + 1));
        } else if (step.startsWith(QLatin1Char('L'))) {
            const int space = step.indexOf(QLatin1Char(' '));
            lineStatus(step.mid(1, space - 1), step.mid(space + 1));
        } else if (step.startsWith(QLatin1Char('I'))) {
            const int space = step.indexOf(QLatin1Char(' '));
            QString name = step.mid(space + 1);
            if (name == QLatin1String("-"))
                name.clear();
            else if (name.startsWith(QLatin1Char('#')))
                name = QString(name.mid(1).toInt(), QLatin1Char('x'));
            Message m;
            m.set_name("ancillary_data");
            m.params().set_qstring("line_id", step.mid(1, space - 1));
            m.params().set_qstring("name", name);
            emit session.recvAncillaryData(m);
        } else {
            QFAIL(qPrintable(QStringLiteral("bad step %1").arg(step)));
        }
    }

    QStringList seen;
    const auto secs = [](qint64 ms) { return QString::number(double(ms) / 1000); };
    for (const QString& uid : qAsConst(order)) {
        const CallRecord& r = latest.value(uid);
        QString text = QStringLiteral("L%1 %2-%3 %4 w%5 h%6 a%7")
                           .arg(r.line)
                           .arg(secs(r.firstSeen - showStart))
                           .arg(r.isOpen() ? QStringLiteral("open") : secs(r.ended - showStart))
                           .arg(CallRecord::outcomeKey(r.outcome))
                           .arg(r.waitMs < 0 ? QStringLiteral("-") : secs(r.waitMs))
                           .arg(secs(r.holdMs))
                           .arg(secs(r.airMs));
        if (r.priority)
            text += QStringLiteral(" prio");
        if (r.partial)
            text += QStringLiteral(" partial");
        if (!r.name.isEmpty())
            text += r.name.size() > 20 ? QStringLiteral(" #%1").arg(r.name.size()) : QLatin1Char(' ') + r.name;
        seen << text;
    }
    QCOMPARE(seen, calls);
}

void TestCallLog::csvRoundTrip_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("plain") << QStringLiteral("Margaret");
    QTest::newRow("comma") << QStringLiteral("Smith, John");
    QTest::newRow("quotes") << QStringLiteral("He said \"hello\", twice \"\"");
    QTest::newRow("line feed") << QStringLiteral("first line\nsecond line");
    QTest::newRow("CRLF and a lone CR") << QStringLiteral("one\r\ntwo\rthree");
    QTest::newRow("non-ASCII") << QStringLiteral("Zoë Ødegård, 李雷 \U0001F399");
    QTest::newRow("spaces kept") << QStringLiteral("  padded  ");
    QTest::newRow("empty") << QString();
    QTest::newRow("everything") << QStringLiteral("\"Ünïcødé\",\r\n\"quoted\"\n,");
}

void TestCallLog::csvRoundTrip()
{
    QFETCH(QString, text);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    CallStore store(dir.filePath(QStringLiteral("calls.sqlite")));
    QVERIFY2(store.open(1000, 0, at(0)), qPrintable(store.errorText()));

    CallRecord r;
    r.uid = QStringLiteral("csv-1");
    r.unitKey = QStringLiteral("10.0.0.5:8080");
    r.username = text;
    r.line = 11;
    r.firstSeen = at(0.4);
    r.answered = at(12);
    r.firstOnAir = at(40);
    r.ended = at(100);
    r.lastSeen = r.ended;
    r.waitMs = 11600;
    r.holdMs = 20400;
    r.airMs = 59999;
    r.outcome = CallRecord::Aired;
    r.priority = true;
    r.name = text;
    r.location = text;
    r.topic = text;
    r.notes = text;
    r.gender = QStringLiteral("female");
    r.mood = QStringLiteral("happy");
    QVERIFY(store.save({{r, true}}));

    QBuffer out;
    out.open(QIODevice::WriteOnly);
    int rows = 0;
    QVERIFY(store.exportCsv(CallFilter(), out, &rows));
    QCOMPARE(rows, 1);

    const CsvReadResult csv = readCsv(out.data());
    QVERIFY2(csv.ok, qPrintable(csv.error));
    QCOMPARE(csv.records.size(), 2);
    const QStringList header = csv.records.at(0);
    const QStringList row = csv.records.at(1);
    const auto field = [&](const char* name) {
        const int i = header.indexOf(QLatin1String(name));
        return i < 0 ? QStringLiteral("<no column %1>").arg(QLatin1String(name)) : row.at(i);
    };
    for (const char* name : {"User", "Name", "Location", "Topic", "Notes"})
        QCOMPARE(field(name), text);
    QCOMPARE(field("Unit"), r.unitKey);
    QCOMPARE(field("Line"), QStringLiteral("12"));
    QCOMPARE(field("Outcome"), QStringLiteral("aired"));
    QCOMPARE(field("Wait (s)"), QStringLiteral("12"));
    QCOMPARE(field("On hold (s)"), QStringLiteral("20"));
    QCOMPARE(field("On air (s)"), QStringLiteral("60"));
    QCOMPARE(field("Total (s)"), QStringLiteral("100"));
    QCOMPARE(field("Priority"), QStringLiteral("yes"));
    QCOMPARE(field("Partial"), QStringLiteral("no"));
    // Local times with their offset that name the same instants.
    const QRegularExpression iso(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d[+-]\\d\\d:\\d\\d$"));
    const struct
    {
        const char* column;
        qint64 ms;
    } times[] = {{"First seen", at(0)}, {"Answered", at(12)}, {"First on air", at(40)}, {"Ended", at(100)}};
    for (const auto& t : times) {
        QVERIFY2(iso.match(field(t.column)).hasMatch(), qPrintable(field(t.column)));
        QCOMPARE(QDateTime::fromString(field(t.column), Qt::ISODate).toMSecsSinceEpoch(), t.ms);
    }
}

void TestCallLog::migratesFirstVersion()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("calls.sqlite"));
    {
        // A file as the first version of the program left it, written by hand.
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("v1"));
        db.setDatabaseName(path);
        QVERIFY(db.open());
        QSqlQuery q(db);
        const char* const v1[] = {
            "CREATE TABLE calls (id INTEGER PRIMARY KEY, uid TEXT NOT NULL UNIQUE, unit TEXT NOT NULL,"
            " username TEXT NOT NULL DEFAULT '', line INTEGER NOT NULL, first_seen INTEGER NOT NULL,"
            " answered INTEGER, first_on_air INTEGER, ended INTEGER, last_seen INTEGER NOT NULL,"
            " hold_ms INTEGER NOT NULL DEFAULT 0, air_ms INTEGER NOT NULL DEFAULT 0, wait_ms INTEGER,"
            " outcome TEXT, priority INTEGER NOT NULL DEFAULT 0, partial INTEGER NOT NULL DEFAULT 0,"
            " name TEXT NOT NULL DEFAULT '', location TEXT NOT NULL DEFAULT '', topic TEXT NOT NULL DEFAULT '',"
            " notes TEXT NOT NULL DEFAULT '', gender TEXT NOT NULL DEFAULT '', mood TEXT NOT NULL DEFAULT '')",
            "CREATE INDEX calls_by_time ON calls(first_seen)",
            "CREATE INDEX calls_by_unit ON calls(unit, first_seen)",
            "INSERT INTO calls VALUES (1, 'old-1', 'unit:1', 'studio', 2, 1709632800000, 1709632805000, NULL,"
            " 1709632860000, 1709632860000, 10000, 0, 5000, 'answered', 1, 0, 'Gretchen', 'Ehrenfeld',"
            " 'Potholes', 'Wants a call back', 'female', 'sad')",
            "INSERT INTO calls VALUES (2, 'old-2', 'unit:1', 'studio', 3, 1709632900000, NULL, NULL,"
            " 1709632920000, 1709632920000, 0, 0, NULL, 'missed', 0, 0, '', '', '', '', '', '')",
            "PRAGMA user_version = 1",
        };
        for (const char* sql : v1)
            QVERIFY2(q.exec(QLatin1String(sql)), qPrintable(q.lastError().text()));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("v1"));

    CallStore store(path);
    QVERIFY2(store.open(1000, 0, at(0)), qPrintable(store.errorText()));
    QCOMPARE(store.schemaVersion(), CallStore::SchemaVersion);

    CallFilter search;
    search.text = QStringLiteral("EHRENF");
    CallQueryResult found = store.query(search, 10);
    QVERIFY(found.ok);
    QCOMPARE(found.rows.size(), 1);
    const CallRecord& r = found.rows.first();
    QCOMPARE(r.uid, QStringLiteral("old-1"));
    QCOMPARE(r.line, 2);
    QCOMPARE(r.firstSeen, at(0));
    QCOMPARE(r.answered, at(5));
    QCOMPARE(r.ended, at(60));
    QCOMPARE(r.holdMs, qint64(10000));
    QCOMPARE(r.waitMs, qint64(5000));
    QCOMPARE(r.outcome, CallRecord::Answered);
    QVERIFY(r.priority);
    QCOMPARE(r.notes, QStringLiteral("Wants a call back"));
    QCOMPARE(store.query(CallFilter(), 10).rows.size(), 2);

    // New and changed calls are found through the new index too.
    CallRecord fresh = r;
    fresh.uid = QStringLiteral("new-1");
    fresh.name = QStringLiteral("Ludwig");
    QVERIFY(store.save({{fresh, true}}));
    CallRecord changed = r;
    changed.notes = QStringLiteral("Called back on Friday");
    QVERIFY(store.save({{changed, false}}));
    search.text = QStringLiteral("udwi");
    QCOMPARE(store.query(search, 10).rows.size(), 1);
    search.text = QStringLiteral("friday");
    QCOMPARE(store.query(search, 10).rows.size(), 1);
    // The changed call is no longer found by its old notes.
    search.text = QStringLiteral("wants");
    found = store.query(search, 10);
    QCOMPARE(found.rows.size(), 1);
    QCOMPARE(found.rows.first().uid, QStringLiteral("new-1"));

    // Opened again: nothing left to do.
    store.close();
    QVERIFY(store.open(1000, 0, at(0)));
    QCOMPARE(store.query(CallFilter(), 10).rows.size(), 3);
}

void TestCallLog::unusableFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    QTest::newRow("damaged") << "damaged"
                             << "is damaged or is not a call log";
    QTest::newRow("a folder") << "folder"
                              << "cannot be opened";
    QTest::newRow("read-only") << "read-only"
                               << "is read-only";
    QTest::newRow("locked by another program") << "locked"
                                               << "is locked by another program";
    QTest::newRow("from a newer program") << "newer"
                                          << "was written by a newer version of this program";
}

void TestCallLog::unusableFile()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("calls.sqlite"));
    const auto makeLog = [&] {
        CallStore store(path);
        QVERIFY2(store.open(1000, 0, at(0)), qPrintable(store.errorText()));
    };

    bool immutable = false;
    std::unique_ptr<QSqlDatabase> holder;
    if (kind == QLatin1String("damaged")) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(8192, '\x5a'));
    } else if (kind == QLatin1String("folder")) {
        QVERIFY(QDir().mkpath(path));
    } else if (kind == QLatin1String("read-only")) {
        makeLog();
        if (geteuid() != 0) {
            QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        } else {
            // The superuser writes through permissions; an immutable file
            // refuses even it.
            if (QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), path}) != 0)
                QSKIP("no way to make a file read-only for the superuser here (chattr +i failed)");
            immutable = true;
        }
    } else if (kind == QLatin1String("locked")) {
        makeLog();
        holder = std::make_unique<QSqlDatabase>(
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("holder")));
        holder->setDatabaseName(path);
        QVERIFY(holder->open());
        QVERIFY(QSqlQuery(*holder).exec(QStringLiteral("BEGIN EXCLUSIVE")));
    } else if (kind == QLatin1String("newer")) {
        makeLog();
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("newer"));
        db.setDatabaseName(path);
        QVERIFY(db.open());
        QVERIFY(QSqlQuery(db).exec(QStringLiteral("PRAGMA user_version = 99")));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("newer"));
    const auto cleanUp = qScopeGuard([&] {
        if (immutable)
            QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), path});
    });
    const QByteArray before = QFileInfo(path).isFile() ? [&] {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }() : QByteArray();

    UnitSimulator sim;
    QVERIFY(sim.start(0));
    sim.setTickInterval(3600 * 1000);
    QStringList messages;
    {
        CallLog::Options options;
        options.path = path;
        options.busyTimeoutMs = 200;
        CallLog log(options);
        connect(&log, &CallLog::disabled, [&](const QString& text) { messages << text; });
        QVERIFY(waitFor([&] { return log.isOff(); }));
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages.first().contains(QDir::toNativeSeparators(path)), qPrintable(messages.first()));
        QVERIFY2(messages.first().contains(reason), qPrintable(messages.first()));
        QVERIFY(messages.first().contains(QLatin1String("Calls are not being recorded")));
        QCOMPARE(log.errorText(), messages.first());

        // The session and its recorder go on as if nothing happened.
        IPCObject session;
        log.attach(session, QStringLiteral("unit"));
        int statuses = 0;
        connect(&session, &IPCObject::recvLineStatus, [&] { ++statuses; });
        session.connectIPC(QStringLiteral("127.0.0.1"), sim.port(), QStringLiteral("tavrik"), QStringLiteral("u"));
        QVERIFY(waitFor([&] { return statuses >= 12; }));
        QVERIFY(sim.ring(3));
        QVERIFY(waitFor([&] { return log.recorder(QStringLiteral("unit"))->openCalls().size() == 1; }));

        // Searches answer with the message instead of calls.
        bool answered = false;
        connect(&log, &CallLog::queryFinished, [&](int, const CallQueryResult& result) {
            answered = true;
            QVERIFY(!result.ok);
        });
        log.query(CallFilter(), 10);
        QVERIFY(waitFor([&] { return answered; }));
        if (holder)
            QSqlQuery(*holder).exec(QStringLiteral("ROLLBACK"));
    }
    QCOMPARE(messages.size(), 1);
    if (holder) {
        holder->close();
        holder.reset();
        QSqlDatabase::removeDatabase(QStringLiteral("holder"));
    }
    // A file the log could not use is left as it was.
    if (kind == QLatin1String("damaged") || kind == QLatin1String("read-only")) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);
    }
}

void TestCallLog::retention_data()
{
    QTest::addColumn<int>("days");
    QTest::addColumn<qint64>("ageMs");
    QTest::addColumn<bool>("kept");
    const qint64 day = 24 * 3600 * 1000LL;
    QTest::newRow("today") << 90 << qint64(0) << true;
    QTest::newRow("89 days") << 90 << 89 * day << true;
    QTest::newRow("exactly 90 days") << 90 << 90 * day << true;
    QTest::newRow("90 days and a moment") << 90 << 90 * day + 1 << false;
    QTest::newRow("a year") << 90 << 365 * day << false;
    QTest::newRow("a week, kept for 7 days") << 7 << 7 * day - 1000 << true;
    QTest::newRow("8 days, kept for 7 days") << 7 << 8 * day << false;
    QTest::newRow("from the future") << 1 << -day << true;
}

void TestCallLog::retention()
{
    QFETCH(int, days);
    QFETCH(qint64, ageMs);
    QFETCH(bool, kept);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("calls.sqlite"));
    const qint64 now = at(0);
    {
        CallStore store(path);
        QVERIFY(store.open(1000, 0, now));
        CallRecord probe;
        probe.uid = QStringLiteral("probe");
        probe.firstSeen = now - ageMs;
        probe.lastSeen = probe.ended = probe.firstSeen + 1000;
        CallRecord fresh = probe;
        fresh.uid = QStringLiteral("fresh");
        fresh.firstSeen = now - 1000;
        fresh.lastSeen = fresh.ended = now;
        QVERIFY(store.save({{probe, true}, {fresh, true}}));
    }
    // Through the log, as at a start of the program.
    CallLog::Options options;
    options.path = path;
    options.retentionDays = days;
    options.clock = [now] { return now; };
    CallLog log(options);
    QStringList uids;
    for (const CallRecord& r : allCalls(log))
        uids << r.uid;
    uids.sort();
    const QStringList expected = kept ? QStringList{"fresh", "probe"} : QStringList{"fresh"};
    QCOMPARE(uids, expected);
}

void TestCallLog::callsLeftOpenEndWhenLastSeen()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("calls.sqlite"));
    qint64 now = at(0);
    {
        CallLog::Options options;
        options.path = path;
        options.clock = [&] { return now; };
        CallLog log(options);
        IPCObject session;
        log.attach(session, QStringLiteral("unit"));
        session.setState(IPCObject::IPC_READY);
        Message m;
        m.set_name("line_status");
        m.params().set_uint("line_id", 4);
        m.params().set_string("status", "ringing");
        emit session.recvLineStatus(m);
        now = at(7);
        m.params().set_string("status", "on air");
        emit session.recvLineStatus(m);
        // The program stops while the call is on air.
        now = at(20);
    }
    CallLog::Options options;
    options.path = path;
    options.clock = [] { return at(3600); };
    CallLog log(options);
    const QVector<CallRecord> calls = allCalls(log);
    QCOMPARE(calls.size(), 1);
    const CallRecord& r = calls.first();
    QCOMPARE(r.ended, at(20));
    QCOMPARE(r.airMs, qint64(13000));
    QCOMPARE(r.outcome, CallRecord::Aired);
    QVERIFY(r.partial);
}

void TestCallLog::searchFindsPartsOfWords_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("everything") << QString() << QStringList{"Ada", "Bert", "Zoë"};
    QTest::newRow("part of a location, any case") << "HARBOUR" << QStringList{"Ada"};
    QTest::newRow("non-ASCII, any case") << "ZOË" << QStringList{"Zoë"};
    QTest::newRow("in the notes") << "call back" << QStringList{"Bert"};
    QTest::newRow("two words, both needed") << "lost cat" << QStringList{"Zoë"};
    QTest::newRow("two words, one missing") << "lost dog" << QStringList{};
    QTest::newRow("a short word") << "ad" << QStringList{"Ada"};
    QTest::newRow("wildcards are letters") << "%" << QStringList{"Bert"};
    QTest::newRow("quotes are letters") << "\"x" << QStringList{};
    QTest::newRow("search syntax is text") << "OR NEAR(" << QStringList{};
}

void TestCallLog::searchFindsPartsOfWords()
{
    QFETCH(QString, text);
    QFETCH(QStringList, names);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    CallStore store(dir.filePath(QStringLiteral("calls.sqlite")));
    QVERIFY(store.open(1000, 0, at(0)));
    const struct
    {
        const char* name;
        const char* location;
        const char* topic;
        const char* notes;
    } calls[] = {{"Ada", "Harbour Street", "Traffic", ""},
                 {"Bert", "Kingsbridge", "Prices up 10%", "Wants a call back"},
                 {"Zoë", "Northfield", "Lost cat", "Black and white"}};
    QVector<CallStore::Write> batch;
    int n = 0;
    for (const auto& c : calls) {
        CallRecord r;
        r.uid = QString::number(++n);
        r.firstSeen = r.lastSeen = at(n);
        r.name = QString::fromUtf8(c.name);
        r.location = QString::fromUtf8(c.location);
        r.topic = QString::fromUtf8(c.topic);
        r.notes = QString::fromUtf8(c.notes);
        batch.append({r, true});
    }
    QVERIFY(store.save(batch));
    CallFilter filter;
    filter.text = text;
    const CallQueryResult result = store.query(filter, 10);
    QVERIFY2(result.ok, qPrintable(store.errorText()));
    QStringList found;
    for (const CallRecord& r : result.rows)
        found << r.name;
    found.sort();
    QCOMPARE(found, names);
    QCOMPARE(result.matching, names.size());
}

QTEST_MAIN(TestCallLog)
#include "tst_calllog.moc"
