#include "../lines/consolerig.h"

#include "console/line.h"

#include <QAction>
#include <QGraphicsProxyWidget>

// The top controls against a session logged into the simulated unit: what
// they announce, how they follow the unit's reports, and what each button
// puts on the wire. Every row starts from a fresh login.
class TestTop : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void loginAnnouncesAssociation();
    void setConfig_data();
    void setConfig();
    void surfaceStatus_data();
    void surfaceStatus();
    void buttons_data();
    void buttons();
    void menuChoice();
    void menuStaysInTheStrip();

private:
    void deliver(const char* name, const Params& params);
    QStringList sentTexts();

    std::unique_ptr<ConsoleRig> m_rig;
};

// "name key=value ..." with the parameters in their own order.
static QString describe(const Message& m)
{
    QString text = QString::fromStdString(m.get_name());
    for (const auto& entry : m.params().entries())
        text += QStringLiteral(" %1=%2").arg(QString::fromStdString(entry.first),
                                             QString::fromStdString(entry.second.to_string()));
    return text;
}

void TestTop::init()
{
    m_rig = std::make_unique<ConsoleRig>(true);
    QVERIFY(m_rig->start());
}

void TestTop::cleanup()
{
    m_rig.reset();
}

void TestTop::deliver(const char* name, const Params& params)
{
    Message m;
    m.set_name(name);
    m.params() = params;
    m_rig->sim.sendMessage(m);
    m_rig->sync();
}

QStringList TestTop::sentTexts()
{
    QStringList out;
    for (const Message& m : m_rig->sent())
        out << describe(m);
    return out;
}

void TestTop::loginAnnouncesAssociation()
{
    QStringList names;
    for (const Message& m : m_rig->sim.receivedMessages())
        if (m.get_name() != "test_marker")
            names << QString::fromStdString(m.get_name());
    QCOMPARE(names.mid(0, 4), (QStringList{"login", "set_handset_id", "set_config", "resync"}));
    const Message handset = m_rig->sim.receivedMessages("set_handset_id").first();
    QCOMPARE(handset.params().get_type("id"), variant::TYPE_STRING);
    QCOMPARE(describe(handset), QStringLiteral("set_handset_id id=none"));
    QCOMPARE(describe(m_rig->sim.receivedMessages("set_config").first()), QStringLiteral("set_config surface=4"));

    // The lines act for the studio entry: AIR on a held line asks for air.
    m_rig->deliverLineStatus(0, QStringLiteral("on hold"));
    m_rig->sent();
    emit m_rig->lines->line(0)->airButton().buttonPressed();
    QCOMPARE(sentTexts(), QStringList{"change_line_state command=air line_id=0"});
}

void TestTop::setConfig_data()
{
    QTest::addColumn<uint>("surface");
    QTest::addColumn<int>("entry");
    QTest::addColumn<QString>("handsetId");
    QTest::newRow("2") << 2u << 2 << "2";
    QTest::newRow("5") << 5u << 5 << "none";
    QTest::newRow("9 acts as 4") << 9u << 4 << "none";
}

void TestTop::setConfig()
{
    QFETCH(uint, surface);
    QFETCH(int, entry);
    QFETCH(QString, handsetId);

    m_rig->sent();
    Params p;
    p.set_uint("surface", surface);
    deliver("set_config", p);

    for (unsigned i = 0; i < 6; ++i)
        QCOMPARE(m_rig->top->menuEntry(i)->isChecked(), int(i) == entry);
    QCOMPARE(m_rig->top->current(), unsigned(entry));
    const QStringList sent = sentTexts();
    QVERIFY(!sent.isEmpty());
    for (int i = 0; i < sent.size(); i += 2) {
        QCOMPARE(sent.at(i), QStringLiteral("set_handset_id id=%1").arg(handsetId));
        QCOMPARE(sent.value(i + 1), QStringLiteral("set_config surface=%1").arg(entry));
    }
    QCOMPARE(m_rig->sim.connectionSurface(m_rig->sim.connectionIds().first()), unsigned(entry));
}

void TestTop::surfaceStatus_data()
{
    QTest::addColumn<uint>("current");
    QTest::addColumn<QString>("id");
    QTest::addColumn<bool>("online");
    QTest::addColumn<QString>("type");
    QTest::addColumn<int>("entry");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<uint>("newCurrent");
    QTest::addColumn<QString>("shown"); // which of NEXT, BUSY, PRIO are shown

    QTest::newRow("studio current") << 0u << "0" << true << "studio" << 0 << "1: Studio" << true << 0u << "NBP";
    QTest::newRow("screener current") << 1u << "1" << true << "screener" << 1 << "2: Screener" << true << 1u << "BP";
    QTest::newRow("unknown current") << 1u << "1" << true << "mixer" << 1 << "2: Unknown" << true << 1u << "";
    QTest::newRow("current offline") << 1u << "1" << false << "" << 1 << "2: Offline" << false << 6u << "";
    QTest::newRow("other offline") << 0u << "2" << false << "" << 2 << "3: Offline" << false << 0u << "NBP";
    QTest::newRow("id none") << 0u << "none" << false << "" << 0 << "1: Studio" << true << 0u << "NBP";
    QTest::newRow("own entry 4") << 4u << "4" << false << "" << 4 << "NONE: Studio" << true << 4u << "NBP";
    QTest::newRow("id 6") << 0u << "6" << false << "" << 0 << "1: Studio" << true << 0u << "NBP";
    QTest::newRow("id huge") << 0u << "4294967295" << false << "" << 0 << "1: Studio" << true << 0u << "NBP";
}

void TestTop::surfaceStatus()
{
    QFETCH(uint, current);
    QFETCH(QString, id);
    QFETCH(bool, online);
    QFETCH(QString, type);
    QFETCH(int, entry);
    QFETCH(QString, text);
    QFETCH(bool, enabled);
    QFETCH(uint, newCurrent);
    QFETCH(QString, shown);

    Params config;
    config.set_uint("surface", current);
    deliver("set_config", config);
    m_rig->deliverLineStatus(7, QStringLiteral("ringing"));
    m_rig->sent();

    Params p;
    p.set_qstring("id", id);
    p.set_bool("online", online);
    p.set_qstring("type", type);
    deliver("surface_status", p);

    Top& top = *m_rig->top;
    QAction* e = top.menuEntry(unsigned(entry));
    QCOMPARE(e->text(), text);
    QCOMPARE(e->isEnabled(), enabled);
    QCOMPARE(top.current(), newCurrent);
    QCOMPARE(e->isChecked(), newCurrent == unsigned(entry));
    QCOMPARE(top.nextButton().isVisible(), shown.contains('N'));
    QCOMPARE(top.busyButton().isVisible(), shown.contains('B'));
    QCOMPARE(top.prioButton().isVisible(), shown.contains('P'));
    QVERIFY(top.aaButton().isVisible());

    if (newCurrent == 6) {
        // Left without a surface: the unit hears "none", and nothing that
        // needs a surface does anything (nor reaches for the missing one).
        QVERIFY(!top.isAssociated());
        QCOMPARE(sentTexts(), (QStringList{"set_handset_id id=none", "set_config surface=6"}));
        top.nextToAir();
        Line& line = *m_rig->lines->line(7);
        emit line.answerButton().buttonPressed();
        emit line.airButton().buttonPressed();
        QCOMPARE(sentTexts(), QStringList());
        m_rig->session.setState(IPCObject::IPC_LOGGED_IN);
        QCOMPARE(sentTexts(), (QStringList{"set_handset_id id=none", "set_config surface=6"}));
    }
}

void TestTop::buttons_data()
{
    QTest::addColumn<uint>("current");
    QTest::addColumn<bool>("busied");
    QTest::addColumn<bool>("aa");
    QTest::addColumn<int>("select");
    QTest::addColumn<int>("button"); // 0 NEXT, 1 BUSY, 2 PRIO, 3 AA
    QTest::addColumn<QString>("wire");

    QTest::newRow("next studio") << 4u << false << false << -1 << 0 << "change_line_state command=air line_id=priority";
    QTest::newRow("next unit studio") << 0u << false << false << -1 << 0 << "change_line_state command=air line_id=priority";
    QTest::newRow("next screener") << 5u << false << false << -1 << 0 << "";
    QTest::newRow("busy") << 4u << false << false << -1 << 1 << "change_line_state command=busy line_id=unlocked";
    QTest::newRow("unbusy") << 4u << true << false << -1 << 1 << "change_line_state command=unbusy line_id=unlocked";
    QTest::newRow("prio unselected") << 4u << false << false << -1 << 2 << "";
    QTest::newRow("prio line 3") << 5u << false << false << 3 << 2 << "change_line_flags flag=priority line_id=3 state=true";
    QTest::newRow("aa on") << 4u << false << false << -1 << 3 << "change_global_state enabled=true state=aa";
    QTest::newRow("aa off") << 4u << false << true << -1 << 3 << "change_global_state enabled=false state=aa";
}

void TestTop::buttons()
{
    QFETCH(uint, current);
    QFETCH(bool, busied);
    QFETCH(bool, aa);
    QFETCH(int, select);
    QFETCH(int, button);
    QFETCH(QString, wire);

    Params config;
    config.set_uint("surface", current);
    deliver("set_config", config);
    Params status;
    status.set_uint("num_lines", 12);
    status.set_bool("busied_out", busied);
    status.set_bool("aa_enabled", aa);
    deliver("system_status", status);
    if (select >= 0)
        m_rig->lines->panelSelected(uint(select));
    m_rig->sent();

    Top& top = *m_rig->top;
    QCOMPARE(top.busyButton().label(), busied ? QStringLiteral("UN-\nBUSY") : QStringLiteral("BUSY"));
    QCOMPARE(lookOf(top.aaButton()), aa ? QStringLiteral("steady Red") : QStringLiteral("steady Unlit"));

    SurfaceButton* buttons[] = {&top.nextButton(), &top.busyButton(), &top.prioButton(), &top.aaButton()};
    emit buttons[button]->buttonPressed();
    // The press alone changes nothing; the unit's next report does.
    QCOMPARE(top.busyButton().label(), busied ? QStringLiteral("UN-\nBUSY") : QStringLiteral("BUSY"));
    QCOMPARE(sentTexts(), wire.isEmpty() ? QStringList() : QStringList{wire});
}

void TestTop::menuChoice()
{
    m_rig->sent();
    m_rig->top->menuEntry(5)->trigger();
    // Both toggles of the exclusive group announce the new entry.
    const QStringList pair{"set_handset_id id=none", "set_config surface=5"};
    QCOMPARE(sentTexts(), pair + pair);
    QVERIFY(!m_rig->top->nextButton().isVisible());

    // A screener may not put lines on air.
    m_rig->deliverLineStatus(2, QStringLiteral("on hold"));
    m_rig->sent();
    emit m_rig->lines->line(2)->airButton().buttonPressed();
    QCOMPARE(sentTexts(), QStringList());
}

void TestTop::menuStaysInTheStrip()
{
    QGraphicsProxyWidget* proxy = m_rig->top->menuBar()->graphicsProxyWidget();
    QVERIFY(proxy);
    const QRectF r = proxy->sceneBoundingRect();
    QCOMPARE(r.topLeft(), QPointF(700, 20));
    QVERIFY2(r.right() <= 1017 && r.bottom() <= 58, qPrintable(QStringLiteral("%1 x %2").arg(r.right()).arg(r.bottom())));
}

QTEST_MAIN(TestTop)
#include "tst_top.moc"
