#include "tests/support/consolerig.h"

#include "console/line.h"
#include "console/lines.h"
#include "ipc/ipcobject.h"

#include <QGraphicsScene>

#include <QtTest>

using namespace testsupport;

// The line model against a logged-in session: status words in, looks and
// texts out, and the commands each press puts on the wire.
class TestLines : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_rig.start()); }
    void status_data()
    {
        QTest::addColumn<QString>("word");
        QTest::addColumn<bool>("priority");
        QTest::addColumn<bool>("locked");
        QTest::addColumn<int>("location");
        QTest::addColumn<int>("assoc");
        QTest::addColumn<QString>("looks"); // ANSWER | HOLD | AIR
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("color");
        QTest::addColumn<bool>("cleared");

        using P = LinePanel;
        const QString u = "steady Unlit|steady Unlit|steady Unlit";
        const QString caller = "Ann (Leeds)|Cats|F|";
        // clang-format off
        QTest::newRow("idle") << "on hook (idle)" << false << false << 0 << -1 << u << "Idle|||" << int(P::Plain) << true;
        QTest::newRow("ringing prio") << "ringing" << true << false << 0 << -1 << "slow Green/Unlit|steady Unlit|steady Unlit" << "Ringing|||" << int(P::Green) << true;
        QTest::newRow("hold 59s") << "on hold" << false << false << 0 << -1 << "steady Unlit|steady Yellow|steady Unlit" << caller + "00:00:59" << int(P::Yellow) << false;
        QTest::newRow("hold prio") << "on hold" << true << false << 0 << -1 << "steady Unlit|fast Green/Yellow|steady Unlit" << caller + "00:00:59" << int(P::Yellow) << false;
        QTest::newRow("screened") << "on screened hold" << false << false << 0 << -1 << "steady Unlit|fast Yellow/Unlit|steady Unlit" << caller + "00:00:59" << int(P::Yellow) << false;
        QTest::newRow("r hold") << "remote (on hold)" << true << false << 0 << -1 << "steady Unlit|fast Green/Yellow|steady Unlit" << "On Hold (Remote)|||" << int(P::Yellow) << true;
        QTest::newRow("aa") << "on auto attendant" << false << false << 0 << -1 << "fast Green/Unlit|steady Unlit|steady Unlit" << "Auto Attendant|||" << int(P::Green) << true;
        QTest::newRow("handset ours") << "on handset" << false << false << 2 << 2 << "steady Green|steady Unlit|steady Unlit" << caller + "00:00:59" << int(P::Green) << false;
        QTest::newRow("handset other") << "on handset" << false << false << 3 << 2 << "steady Yellow|steady Unlit|steady Unlit" << caller + "00:00:59" << int(P::Green) << false;
        QTest::newRow("handset no record") << "on handset" << false << false << 0 << -2 << "steady Yellow|steady Unlit|steady Unlit" << caller + "00:00:59" << int(P::Green) << false;
        QTest::newRow("r handset") << "remote (on handset)" << false << false << 0 << -1 << "steady Yellow|steady Unlit|steady Unlit" << "On Handset (Remote)|||" << int(P::Green) << true;
        QTest::newRow("air 0") << "on air" << false << false << 0 << -1 << "steady Unlit|steady Unlit|fast Red/Unlit" << caller + "00:00:59" << int(P::Red) << false;
        QTest::newRow("air 0 locked") << "on air" << false << true << 0 << -1 << "steady Unlit|steady Unlit|steady Red" << caller + "00:00:59" << int(P::Red) << false;
        QTest::newRow("air 1") << "on air" << false << false << 1 << -1 << "steady Unlit|steady Unlit|fast Blue/Unlit" << caller + "00:00:59" << int(P::Blue) << false;
        // No such air channel: AIR and the colour stay as the held line had them.
        QTest::newRow("air 2") << "on air" << false << true << 2 << -1 << u << caller + "00:00:59" << int(P::Yellow) << false;
        QTest::newRow("r air") << "remote (on air)" << false << false << 0 << -1 << "steady Unlit|steady Unlit|steady Red" << "On Air (Remote)|||" << int(P::Red) << false;
        QTest::newRow("not inst") << "not installed" << false << false << 0 << -1 << u << "Not Installed|||" << int(P::Unavailable) << true;
        QTest::newRow("case matters") << "Ringing" << false << false << 0 << -1 << u << "Unknown Status (Ringing)|||" << int(P::Unavailable) << false;
        // clang-format on
    }

    void status()
    {
        QFETCH(QString, word);
        QFETCH(bool, priority);
        QFETCH(bool, locked);
        QFETCH(int, location);
        QFETCH(int, assoc);
        QFETCH(QString, looks);
        QFETCH(QString, text);
        QFETCH(int, color);
        QFETCH(bool, cleared);

        // Start from a held line with a known caller.
        m_rig.deliverLineStatus(2, QStringLiteral("on hold"));
        Message caller;
        caller.set_name("ancillary_data");
        caller.params() = Params("line_id=2 name=Ann location=Leeds topic=Cats genderidx=2 moodidx=13 ");
        emit m_rig.session.recvAncillaryData(caller);
        associate(assoc);
        m_rig.sent();

        // Reported twice, as when a resync answer crosses a broadcast: the
        // record is cleared once, as the line enters the state.
        m_rig.deliverLineStatus(2, word, priority, locked, location, 59);
        m_rig.deliverLineStatus(2, word, priority, locked, location, 59);
        const Line& l = line(2);
        const LinePanel& p = l.panel();
        QCOMPARE(
            QStringList({lookOf(line(2).answerButton()), lookOf(line(2).holdButton()), lookOf(line(2).airButton())})
                .join('|'),
            looks);
        QCOMPARE(QStringList({p.textLine1(), p.textLine2(), p.textGender(), p.textTimer()}).join('|'), text);
        QCOMPARE(int(p.textPanelColor()), color);
        QCOMPARE(p.emoticonIndex(), 3u);

        QStringList clears;
        for (const Message& m : m_rig.sent())
            clears << QString::fromStdString(m.get_name() + ' ' + m.params().build_string());
        QCOMPARE(clears,
                 cleared ? QStringList{"ancillary_data gender=unknown line_id=2 location= mood=neutral "
                                       "name= notes= topic= "}
                         : QStringList());
        associate(-1);
    }

    void ticksCountOnlyConnectedStates()
    {
        Message tick;
        tick.set_name("timer_tick");
        const QStringList words{"on hold", "on screened hold", "on handset", "on air", "ringing", "remote (on hold)"};
        for (const QString& word : words) {
            m_rig.deliverLineStatus(5, word, false, false, 0, 3600 * 25 + 59);
            emit m_rig.session.recvTimerTick(tick);
            emit m_rig.session.recvTimerTick(tick);
            QCOMPARE(line(5).state().time, uint64_t(3600 * 25 + 61));
            const bool shown = words.indexOf(word) < 4;
            QCOMPARE(line(5).panel().textTimer(), shown ? QStringLiteral("1d 01:01:01") : QString());
        }
        // A report restarts the count from the unit's time.
        m_rig.deliverLineStatus(5, QStringLiteral("on hold"), false, false, 0, 5);
        QCOMPARE(line(5).panel().textTimer(), QStringLiteral("00:00:05"));
        m_rig.sent();
    }

    void numLines_data()
    {
        QTest::addColumn<QList<uint>>("counts");
        QTest::newRow("6") << QList<uint>{6};
        QTest::newRow("4 then 8") << QList<uint>{4, 8};
        QTest::newRow("6 then 4") << QList<uint>{6, 4};
        QTest::newRow("none") << QList<uint>{0};
    }

    void numLines()
    {
        QFETCH(QList<uint>, counts);
        for (uint c : counts)
            m_rig.deliverNumLines(c);
        const unsigned count = std::min(counts.last(), 12u);
        const bool large = count == 6;
        QCOMPARE(m_rig.lines->count(), count);

        for (unsigned i = 0; i < 12; ++i) {
            Line& l = line(i);
            const QList<QGraphicsItem*> items{&l.panel(), &l.answerButton(), &l.holdButton(), &l.airButton(),
                                              &l.dropButton()};
            for (QGraphicsItem* item : items)
                QCOMPARE(item->isVisible(), i < count);
            const qreal y = 65 + (large ? 116 : 58) * i;
            const qreal by = y + (large ? 90 : 36);
            const QList<QPointF> where{{5, y}, {5, by}, {75, by}, {575, by}, {630, y + (large ? 80 : 25)}};
            for (int k = 0; k < items.size() && i < count; ++k)
                QCOMPARE(items[k]->pos(), where[k]);
            if (i < count)
                QCOMPARE(l.panel().boundingRect().height(), large ? 110.0 : 55.0);
        }
        m_rig.deliverNumLines(12);
    }

    void selection()
    {
        Lines& lines = *m_rig.lines;
        SelectionLog log(lines);
        lines.panelSelected(3);
        QVERIFY(line(3).panel().isLineSelected());
        // Any press on a line selects it, and only it.
        emit line(7).holdButton().buttonPressed();
        emit line(9).panel().selected();
        lines.panelSelected(12);
        QCOMPARE(lines.selectedLine(), 9u);
        QCOMPARE(log.last(), 9u);
        QCOMPARE(QSet<uint>(log.begin(), log.end()), (QSet<uint>{3, 7, 9}));
        for (unsigned i = 0; i < 12; ++i)
            QCOMPARE(line(i).panel().isLineSelected(), i == 9);
        m_rig.sent();
    }

    void buttonCommands_data()
    {
        QTest::addColumn<int>("assoc"); // as associate(), and -3 for a screener
        QTest::addColumn<QString>("word");
        QTest::addColumn<bool>("locked");
        QTest::addColumn<int>("button"); // ANSWER, HOLD, AIR, DROP
        QTest::addColumn<QString>("wire");

        QTest::newRow("answer screener") << -3 << "on hold" << false << 0 << "change_line_state handset";
        QTest::newRow("answer no record") << -2 << "ringing" << false << 0 << "";
        QTest::newRow("hold none") << -1 << "ringing" << false << 1 << "change_line_state hold";
        QTest::newRow("air screener") << -3 << "on hold" << false << 2 << "";
        QTest::newRow("air no record") << -2 << "on hold" << false << 2 << "";
        QTest::newRow("drop") << -1 << "on air" << false << 3 << "change_line_state drop";
    }

    void buttonCommands()
    {
        QFETCH(int, assoc);
        QFETCH(QString, word);
        QFETCH(bool, locked);
        QFETCH(int, button);
        QFETCH(QString, wire);

        associate(assoc == -3 ? 1 : assoc);
        if (assoc == -3)
            m_surface.type = Surface::Screener;
        m_rig.deliverLineStatus(8, word, false, locked);
        m_rig.sent();

        SelectionLog log(*m_rig.lines);
        Line& l = line(8);
        SurfaceButton* buttons[] = {&l.answerButton(), &l.holdButton(), &l.airButton(), &l.dropButton()};
        emit buttons[button]->buttonPressed();
        QCOMPARE(QSet<uint>(log.begin(), log.end()), QSet<uint>{8});

        QStringList seen;
        for (const Message& m : m_rig.sent()) {
            const Params& p = m.params();
            QCOMPARE(p.get_uint("line_id", 99), 8u);
            seen << QString::fromStdString(m.get_name() + ' ' + p.get_string("command", p.get_string("flag", ""))
                                           + (p.has_param("state") ? ' ' + p.get_string("state", "") : ""));
        }
        QCOMPARE(seen, wire.isEmpty() ? QStringList() : QStringList{wire});
        associate(-1);
    }

    void blinkInPhase()
    {
        Lines& lines = *m_rig.lines;
        QVERIFY(lines.blinkTimer().isActive());
        m_rig.deliverLineStatus(0, QStringLiteral("on auto attendant"));
        m_rig.deliverLineStatus(10, QStringLiteral("on auto attendant"));
        m_rig.deliverLineStatus(11, QStringLiteral("ringing"));

        // A second console's lines blink on the same clock, in step.
        QGraphicsScene otherScene;
        IPCObject otherSession;
        Lines other(otherScene, otherSession);
        QCOMPARE(&other.blinkTimer(), &lines.blinkTimer());
        other.line(0)->setStatus(QStringLiteral("on auto attendant"), false, false, false, 0, 0, false, 0);

        int tick = 0;
        QObject guard;
        connect(&lines, &Lines::blink, &guard, [&](int t) { tick = t; });
        const QColor green = ColorButton::palette(ColorButton::Green).face;
        const QColor unlit = ColorButton::palette(ColorButton::Unlit).face;
        for (int i = 0; i < 6; ++i) {
            lines.timer();
            if (i < 2)
                continue; // the slow lamp needs an even tick to get in step
            QCOMPARE(line(0).answerButton().currentPalette().face, tick % 2 == 0 ? green : unlit);
            QCOMPARE(line(10).answerButton().currentPalette().face, line(0).answerButton().currentPalette().face);
            QCOMPARE(other.line(0)->answerButton().currentPalette().face, line(0).answerButton().currentPalette().face);
            QCOMPARE(line(11).answerButton().currentPalette().face, tick % 4 < 2 ? green : unlit);
        }
        m_rig.sent();
    }

private:
    Line& line(unsigned i) { return *m_rig.lines->line(i); }
    // -1: not associated; -2: associated but without a surface record;
    // otherwise associated with the studio surface of that id.
    void associate(int how);
    // The lines that lineSelected named while the log lives.
    struct SelectionLog : QList<uint>
    {
        explicit SelectionLog(Lines& lines)
        {
            connect(&lines, &Lines::lineSelected, &guard, [this](uint l, LineAttributes&) { append(l); });
        }
        QObject guard;
    };

    ConsoleRig m_rig{false};
    Surface m_surface;
};

void TestLines::associate(int how)
{
    m_surface.online = true;
    m_surface.type = Surface::Studio;
    m_surface.id = uint32_t(std::max(how, 0));
    m_rig.lines->changeAssociation(how != -1, how == -2 ? nullptr : &m_surface);
}

QTEST_MAIN(TestLines)
#include "tst_lines.moc"
