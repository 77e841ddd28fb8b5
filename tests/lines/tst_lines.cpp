#include "consolerig.h"

#include "console/line.h"

#include <QSignalSpy>

// The lines that lineSelected named while it lives.
struct SelectionLog : QList<uint>
{
    explicit SelectionLog(Lines& lines)
    {
        QObject::connect(&lines, &Lines::lineSelected, &guard, [this](uint line, LineAttributes&) { append(line); });
    }
    QObject guard;
};

// The line model against a logged-in session: status words in, looks and
// texts out, and the commands each press puts on the wire.
class TestLines : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void statusTable_data();
    void statusTable();
    void holdRule_data();
    void holdRule();
    void airRule_data();
    void airRule();
    void timerText_data();
    void timerText();
    void ticksCountOnlyConnectedStates_data();
    void ticksCountOnlyConnectedStates();
    void numLines_data();
    void numLines();
    void hostileLineIds();
    void selection();
    void buttonCommands_data();
    void buttonCommands();
    void handsetLook_data();
    void handsetLook();
    void blinkInPhase();

private:
    Line& line(unsigned i) { return *m_rig->lines->line(i); }
    void deliverCaller(unsigned line);

    std::unique_ptr<ConsoleRig> m_rig;
};

void TestLines::initTestCase()
{
    m_rig = std::make_unique<ConsoleRig>(false);
    QVERIFY(m_rig->start());
}

void TestLines::deliverCaller(unsigned line)
{
    Message m;
    m.set_name("ancillary_data");
    Params& p = m.params();
    p.set_uint("line_id", line);
    p.set_string("name", "Ann");
    p.set_string("location", "Leeds");
    p.set_string("topic", "Cats");
    p.set_string("notes", "");
    p.set_uint("genderidx", 2);
    p.set_uint("moodidx", 13);
    emit m_rig->session.recvAncillaryData(m);
}

void TestLines::statusTable_data()
{
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("hold");
    QTest::addColumn<QString>("air");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("color");
    QTest::addColumn<bool>("cleared");

    const QString u = "steady Unlit";
    const QString caller = "Ann (Leeds)";
    QTest::newRow("idle") << "on hook (idle)" << u << u << u << "Idle" << int(LinePanel::Plain) << true;
    QTest::newRow("loop") << "disabled (loop thru)" << u << u << u << "Line In Use" << int(LinePanel::Unavailable) << true;
    QTest::newRow("busied") << "disabled (busied out)" << u << u << u << "Line Busied Out" << int(LinePanel::Unavailable) << true;
    QTest::newRow("ringing") << "ringing" << "slow Green/Unlit" << u << u << "Ringing" << int(LinePanel::Green) << true;
    QTest::newRow("hold") << "on hold" << u << "steady Yellow" << u << caller << int(LinePanel::Yellow) << false;
    QTest::newRow("screened") << "on screened hold" << u << "fast Yellow/Unlit" << u << caller << int(LinePanel::Yellow) << false;
    QTest::newRow("r hold") << "remote (on hold)" << u << "steady Yellow" << u << "On Hold (Remote)" << int(LinePanel::Yellow) << true;
    QTest::newRow("r screened") << "remote (on screened hold)" << u << "fast Yellow/Unlit" << u << "On Screened Hold (Remote)" << int(LinePanel::Yellow) << true;
    QTest::newRow("aa") << "on auto attendant" << "fast Green/Unlit" << u << u << "Auto Attendant" << int(LinePanel::Green) << true;
    QTest::newRow("r aa") << "remote (on auto attendant)" << "fast Green/Unlit" << u << u << "Auto Attendant (Remote)" << int(LinePanel::Green) << true;
    QTest::newRow("handset") << "on handset" << "steady Yellow" << u << u << caller << int(LinePanel::Green) << false;
    QTest::newRow("r handset") << "remote (on handset)" << "steady Yellow" << u << u << "On Handset (Remote)" << int(LinePanel::Green) << true;
    QTest::newRow("air") << "on air" << u << u << "fast Red/Unlit" << caller << int(LinePanel::Red) << false;
    QTest::newRow("r air") << "remote (on air)" << u << u << "steady Red" << "On Air (Remote)" << int(LinePanel::Red) << false;
    QTest::newRow("r busied") << "remote (busied out)" << u << u << u << "Busied Out (Remote)" << int(LinePanel::Unavailable) << true;
    QTest::newRow("not inst") << "not installed" << u << u << u << "Not Installed" << int(LinePanel::Unavailable) << true;
    QTest::newRow("unknown") << "Ringing" << u << u << u << "Unknown Status (Ringing)" << int(LinePanel::Unavailable) << false;
    QTest::newRow("empty") << "" << u << u << u << "Unknown Status ()" << int(LinePanel::Unavailable) << false;
}

void TestLines::statusTable()
{
    QFETCH(QString, status);
    QFETCH(QString, answer);
    QFETCH(QString, hold);
    QFETCH(QString, air);
    QFETCH(QString, text);
    QFETCH(int, color);
    QFETCH(bool, cleared);

    m_rig->deliverNumLines(12);
    m_rig->deliverLineStatus(2, QStringLiteral("on hold"));
    deliverCaller(2);
    m_rig->sent();

    m_rig->deliverLineStatus(2, status, false, false, 0, 3661);
    Line& l = line(2);
    QCOMPARE(lookOf(l.answerButton()), answer);
    QCOMPARE(lookOf(l.holdButton()), hold);
    QCOMPARE(lookOf(l.airButton()), air);
    QCOMPARE(l.panel().textLine1(), text);
    QCOMPARE(int(l.panel().textPanelColor()), color);
    const bool connected = text == QLatin1String("Ann (Leeds)");
    QCOMPARE(l.panel().textLine2(), connected ? QStringLiteral("Cats") : QString());
    QCOMPARE(l.panel().textGender(), connected ? QStringLiteral("F") : QString());
    QCOMPARE(l.panel().textTimer(), connected ? QStringLiteral("01:01:01") : QString());
    if (connected)
        QCOMPARE(l.panel().emoticonIndex(), 3u);

    const QList<Message> clears = m_rig->sent("ancillary_data");
    QCOMPARE(clears.size(), cleared ? 1 : 0);
    if (cleared) {
        const Params& p = clears.first().params();
        QCOMPARE(p.get_uint("line_id", 99), 2u);
        QCOMPARE(p.get_string("name", "x"), std::string());
        QCOMPARE(p.get_string("topic", "x"), std::string());
        QCOMPARE(p.get_string("gender", ""), std::string("unknown"));
        QCOMPARE(p.get_string("mood", ""), std::string("neutral"));
    }
}

void TestLines::holdRule_data()
{
    QTest::addColumn<QString>("status");
    QTest::addColumn<bool>("priority");
    QTest::addColumn<QString>("hold");
    QTest::addColumn<QString>("answer");

    const QString u = "steady Unlit";
    QTest::newRow("hold") << "on hold" << false << "steady Yellow" << u;
    QTest::newRow("hold prio") << "on hold" << true << "fast Green/Yellow" << u;
    QTest::newRow("r hold prio") << "remote (on hold)" << true << "fast Green/Yellow" << u;
    QTest::newRow("screened") << "on screened hold" << false << "fast Yellow/Unlit" << u;
    QTest::newRow("screened prio") << "on screened hold" << true << "fast Green/Yellow" << u;
    QTest::newRow("r screened prio") << "remote (on screened hold)" << true << "fast Green/Yellow" << u;
    QTest::newRow("ringing prio") << "ringing" << true << u << "slow Green/Unlit";
}

void TestLines::holdRule()
{
    QFETCH(QString, status);
    QFETCH(bool, priority);
    QFETCH(QString, hold);
    QFETCH(QString, answer);

    // The priority flag arrives on a line that is already in the state.
    m_rig->deliverLineStatus(3, status, false);
    m_rig->deliverLineStatus(3, status, priority);
    QCOMPARE(lookOf(line(3).holdButton()), hold);
    QCOMPARE(lookOf(line(3).answerButton()), answer);
}

void TestLines::airRule_data()
{
    QTest::addColumn<int>("location");
    QTest::addColumn<bool>("locked");
    QTest::addColumn<QString>("air");
    QTest::addColumn<int>("color");

    QTest::newRow("0 unlocked") << 0 << false << "fast Red/Unlit" << int(LinePanel::Red);
    QTest::newRow("0 locked") << 0 << true << "steady Red" << int(LinePanel::Red);
    QTest::newRow("1 unlocked") << 1 << false << "fast Blue/Unlit" << int(LinePanel::Blue);
    QTest::newRow("1 locked") << 1 << true << "steady Blue" << int(LinePanel::Blue);
    // No such air channel: the lamp and the colour stay as they were.
    QTest::newRow("2 keeps") << 2 << false << "steady Blue" << int(LinePanel::Blue);
    QTest::newRow("-1 keeps") << -1 << true << "steady Blue" << int(LinePanel::Blue);
}

void TestLines::airRule()
{
    QFETCH(int, location);
    QFETCH(bool, locked);
    QFETCH(QString, air);
    QFETCH(int, color);

    m_rig->deliverLineStatus(4, QStringLiteral("on air"), false, true, 1);
    m_rig->deliverLineStatus(4, QStringLiteral("on air"), false, locked, location);
    QCOMPARE(lookOf(line(4).airButton()), air);
    QCOMPARE(int(line(4).panel().textPanelColor()), color);
}

void TestLines::timerText_data()
{
    QTest::addColumn<qulonglong>("seconds");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << 0ull << "00:00:00";
    QTest::newRow("59") << 59ull << "00:00:59";
    QTest::newRow("60") << 60ull << "00:01:00";
    QTest::newRow("1h1m1s") << 3661ull << "01:01:01";
    QTest::newRow("last of a day") << 86399ull << "23:59:59";
    QTest::newRow("1d1h1m1s") << 90061ull << "1d 01:01:01";
    QTest::newRow("beyond 32 bits") << 4294967296ull << "49710d 06:28:16";
}

void TestLines::timerText()
{
    QFETCH(qulonglong, seconds);
    QFETCH(QString, text);
    QCOMPARE(Line::timerText(seconds), text);
}

void TestLines::ticksCountOnlyConnectedStates_data()
{
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("timer");
    QTest::newRow("hold") << "on hold" << "00:00:07";
    QTest::newRow("screened") << "on screened hold" << "00:00:07";
    QTest::newRow("handset") << "on handset" << "00:00:07";
    QTest::newRow("air") << "on air" << "00:00:07";
    QTest::newRow("ringing") << "ringing" << "";
    QTest::newRow("remote hold") << "remote (on hold)" << "";
}

void TestLines::ticksCountOnlyConnectedStates()
{
    QFETCH(QString, status);
    QFETCH(QString, timer);

    m_rig->deliverLineStatus(5, status, false, false, 0, 5);
    Message tick;
    tick.set_name("timer_tick");
    emit m_rig->session.recvTimerTick(tick);
    emit m_rig->session.recvTimerTick(tick);
    QCOMPARE(line(5).state().time, uint64_t(7));
    QCOMPARE(line(5).panel().textTimer(), timer);

    // A state that shows no time still counts; the next report restarts it.
    m_rig->deliverLineStatus(5, QStringLiteral("on hold"), false, false, 0, 5);
    QCOMPARE(line(5).panel().textTimer(), QStringLiteral("00:00:05"));
}

void TestLines::numLines_data()
{
    QTest::addColumn<QList<uint>>("counts");
    QTest::newRow("6") << QList<uint>{6};
    QTest::newRow("12") << QList<uint>{12};
    QTest::newRow("6 then 12") << QList<uint>{6, 12};
    QTest::newRow("4 then 8") << QList<uint>{4, 8};
    QTest::newRow("6 then 4") << QList<uint>{6, 4};
    QTest::newRow("none") << QList<uint>{0};
    QTest::newRow("huge") << QList<uint>{6, 4000000000u};
}

void TestLines::numLines()
{
    QFETCH(QList<uint>, counts);
    for (uint c : counts)
        m_rig->deliverNumLines(c);
    const unsigned count = std::min(counts.last(), 12u);
    const bool large = count == 6;
    QCOMPARE(m_rig->lines->count(), count);

    for (unsigned i = 0; i < 12; ++i) {
        Line& l = line(i);
        const bool shown = i < count;
        QCOMPARE(l.isVisible(), shown);
        for (QGraphicsItem* item : std::initializer_list<QGraphicsItem*>{
                 &l.answerButton(), &l.holdButton(), &l.airButton(), &l.dropButton()})
            QCOMPARE(item->isVisible(), shown);
        if (!shown)
            continue;
        const qreal y = 65 + (large ? 116 : 58) * i;
        QCOMPARE(l.panel().pos(), QPointF(5, y));
        QCOMPARE(l.panel().boundingRect().height(), large ? 110.0 : 55.0);
        QCOMPARE(l.answerButton().pos(), QPointF(5, y + (large ? 90 : 36)));
        QCOMPARE(l.holdButton().pos(), QPointF(75, y + (large ? 90 : 36)));
        QCOMPARE(l.airButton().pos(), QPointF(575, y + (large ? 90 : 36)));
        QCOMPARE(l.dropButton().pos(), QPointF(630, y + (large ? 80 : 25)));
    }
    m_rig->deliverNumLines(12);
}

void TestLines::hostileLineIds()
{
    m_rig->deliverNumLines(6);
    m_rig->deliverLineStatus(0, QStringLiteral("on hold"));
    QObject guard;
    int changed = 0;
    connect(m_rig->lines.get(), &Lines::ancillaryChanged, &guard, [&](uint, LineAttributes&, bool) { ++changed; });
    for (const char* id : {"6", "11", "12", "4294967295", "-1", "99999999999", "abc", "", "0x1"}) {
        Message m;
        m.set_name("line_status");
        m.params().set_string("line_id", id);
        m.params().set_string("status", "ringing");
        emit m_rig->session.recvLineStatus(m);
        m.set_name("ancillary_data");
        emit m_rig->session.recvAncillaryData(m);
    }
    for (unsigned i = 6; i < 12; ++i)
        QVERIFY(line(i).state().status != QLatin1String("ringing"));
    // Garbage in "line_id" is no reason to touch line 0.
    QCOMPARE(line(0).state().status, QStringLiteral("on hold"));
    QCOMPARE(changed, 0);
    // A good id still gets through.
    Message m;
    m.set_name("ancillary_data");
    m.params().set_uint("line_id", 5);
    emit m_rig->session.recvAncillaryData(m);
    QCOMPARE(changed, 1);
    m_rig->deliverNumLines(12);
}

void TestLines::selection()
{
    Lines& lines = *m_rig->lines;
    SelectionLog spy(lines);
    lines.panelSelected(3);
    QCOMPARE(spy, QList<uint>{3});
    QCOMPARE(lines.selectedLine(), 3u);
    QVERIFY(line(3).panel().isLineSelected());

    // Any press on a line selects it and unselects the previous one.
    emit line(7).holdButton().buttonPressed();
    QVERIFY(!line(3).panel().isLineSelected());
    QVERIFY(line(7).panel().isLineSelected());
    QCOMPARE(spy.last(), 7u);
    emit line(9).panel().selected();
    QCOMPARE(lines.selectedLine(), 9u);

    spy.clear();
    lines.panelSelected(12);
    QCOMPARE(spy.size(), 0);
    QCOMPARE(lines.selectedLine(), 9u);
    m_rig->sent();
}

void TestLines::buttonCommands_data()
{
    QTest::addColumn<int>("association"); // 0 none, 1 studio, 2 screener, 3 flag without a surface
    QTest::addColumn<QString>("status");
    QTest::addColumn<bool>("locked");
    QTest::addColumn<int>("button"); // 0 ANSWER, 1 HOLD, 2 AIR, 3 DROP
    QTest::addColumn<QString>("wire");

    QTest::newRow("answer none") << 0 << "ringing" << false << 0 << "";
    QTest::newRow("answer studio") << 1 << "ringing" << false << 0 << "change_line_state handset";
    QTest::newRow("answer screener") << 2 << "on hold" << false << 0 << "change_line_state handset";
    QTest::newRow("answer no surface") << 3 << "ringing" << false << 0 << "";
    QTest::newRow("hold none") << 0 << "ringing" << false << 1 << "change_line_state hold";
    QTest::newRow("air none") << 0 << "ringing" << false << 2 << "";
    QTest::newRow("air screener") << 2 << "on hold" << false << 2 << "";
    QTest::newRow("air no surface") << 3 << "on hold" << false << 2 << "";
    QTest::newRow("air studio") << 1 << "on hold" << false << 2 << "change_line_state air";
    QTest::newRow("lock studio") << 1 << "on air" << false << 2 << "change_line_flags locked true";
    QTest::newRow("unlock studio") << 1 << "on air" << true << 2 << "change_line_flags locked false";
    QTest::newRow("drop none") << 0 << "on air" << false << 3 << "change_line_state drop";
    QTest::newRow("drop studio") << 1 << "ringing" << false << 3 << "change_line_state drop";
}

void TestLines::buttonCommands()
{
    QFETCH(int, association);
    QFETCH(QString, status);
    QFETCH(bool, locked);
    QFETCH(int, button);
    QFETCH(QString, wire);

    Surface surface;
    surface.online = true;
    surface.type = association == 2 ? Surface::Screener : Surface::Studio;
    surface.id = 1;
    m_rig->lines->changeAssociation(association != 0, association == 3 ? nullptr : &surface);
    m_rig->deliverLineStatus(8, status, false, locked);
    m_rig->sent();

    SelectionLog selected(*m_rig->lines);
    Line& l = line(8);
    SurfaceButton* buttons[] = {&l.answerButton(), &l.holdButton(), &l.airButton(), &l.dropButton()};
    emit buttons[button]->buttonPressed();
    QVERIFY(!selected.isEmpty());
    QCOMPARE(selected.last(), 8u);

    QStringList seen;
    for (const Message& m : m_rig->sent()) {
        const Params& p = m.params();
        QCOMPARE(p.get_uint("line_id", 99), 8u);
        QString text = QString::fromStdString(m.get_name() + ' ' + p.get_string("command", p.get_string("flag", "")));
        if (p.has_param("state"))
            text += QString::fromStdString(' ' + p.get_string("state", ""));
        seen << text;
    }
    QCOMPARE(seen, wire.isEmpty() ? QStringList() : QStringList{wire});
    m_rig->lines->changeAssociation(false, nullptr);
}

void TestLines::handsetLook_data()
{
    QTest::addColumn<bool>("associated");
    QTest::addColumn<bool>("withSurface");
    QTest::addColumn<int>("location");
    QTest::addColumn<QString>("answer");
    QTest::newRow("our surface") << true << true << 2 << "steady Green";
    QTest::newRow("other surface") << true << true << 3 << "steady Yellow";
    QTest::newRow("negative location") << true << true << -2 << "steady Yellow";
    QTest::newRow("not associated") << false << true << 2 << "steady Yellow";
    QTest::newRow("no surface record") << true << false << 2 << "steady Yellow";
}

void TestLines::handsetLook()
{
    QFETCH(bool, associated);
    QFETCH(bool, withSurface);
    QFETCH(int, location);
    QFETCH(QString, answer);

    Surface surface;
    surface.online = true;
    surface.type = Surface::Screener;
    surface.id = 2;
    m_rig->lines->changeAssociation(associated, withSurface ? &surface : nullptr);
    m_rig->deliverLineStatus(1, QStringLiteral("on handset"), false, false, location);
    QCOMPARE(lookOf(line(1).answerButton()), answer);
    m_rig->lines->changeAssociation(false, nullptr);
}

void TestLines::blinkInPhase()
{
    Lines& lines = *m_rig->lines;
    QCOMPARE(lines.blinkTimer().interval(), 225);
    QVERIFY(lines.blinkTimer().isActive());

    m_rig->deliverLineStatus(0, QStringLiteral("on auto attendant"));
    m_rig->deliverLineStatus(10, QStringLiteral("on auto attendant"));
    m_rig->deliverLineStatus(11, QStringLiteral("ringing"));
    QSignalSpy ticks(&lines, &Lines::blink);
    // Two ticks first, so that the slow lamp has seen an even tick.
    lines.timer();
    lines.timer();
    const QColor green = ColorButton::palette(ColorButton::Green).face;
    const QColor unlit = ColorButton::palette(ColorButton::Unlit).face;
    for (int i = 0; i < 4; ++i) {
        lines.timer();
        const int tick = ticks.last().at(0).toInt();
        QCOMPARE(line(0).answerButton().currentPalette().face, tick % 2 == 0 ? green : unlit);
        QCOMPARE(line(10).answerButton().currentPalette().face, line(0).answerButton().currentPalette().face);
        // Slow blink: two ticks per colour.
        QCOMPARE(line(11).answerButton().currentPalette().face, tick % 4 < 2 ? green : unlit);
    }
    m_rig->sent();
}

QTEST_MAIN(TestLines)
#include "tst_lines.moc"
