#include "tests/support/consolerig.h"

#include "console/line.h"

#include <QAction>
#include <QGraphicsProxyWidget>
#include <QPainter>
#include <QtTest>

using namespace testsupport;

// The top controls against a session logged into the simulated unit: what
// they announce, how they follow the unit's reports, and what each button
// puts on the wire. Every row starts from a fresh login.
class TestTop : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_rig = std::make_unique<ConsoleRig>(true);
        QVERIFY(m_rig->start());
    }
    void cleanup() { m_rig.reset(); }
    void loginAnnouncesAssociation()
    {
        QStringList names;
        for (const Message& m : m_rig->sim.receivedMessages().mid(0, 4))
            names << QString::fromStdString(m.get_name());
        QCOMPARE(names, (QStringList{"login", "set_handset_id", "set_config", "resync"}));
        const QList<Message> handset = m_rig->sim.receivedMessages(QStringLiteral("set_handset_id"));
        QCOMPARE(handset.first().params().get_type("id"), variant::TYPE_STRING);
        QCOMPARE(handset.first().params().get_string("id", ""), std::string("none"));
        QCOMPARE(m_rig->sim.receivedMessages(QStringLiteral("set_config")).first().params().get_uint("surface", 0), 4u);

        // The lines act for the studio entry: AIR on a held line asks for air.
        m_rig->deliverLineStatus(0, QStringLiteral("on hold"));
        m_rig->sent();
        emit m_rig->lines->line(0)->airButton().buttonPressed();
        QCOMPARE(sent(), QStringList{"change_line_state command=air line_id=0"});

        // The menu bar sits in its box of the top strip, not over the chat below.
        const QRectF r = m_rig->top->menuBar()->graphicsProxyWidget()->sceneBoundingRect();
        QVERIFY(r.left() >= 692 && r.right() <= 1017 && r.bottom() <= 58);
    }

    void setConfig_data()
    {
        QTest::addColumn<QString>("surface");
        QTest::addColumn<uint>("entry");
        QTest::addColumn<QString>("handsetId");
        QTest::newRow("2") << "2" << 2u << "2";
        QTest::newRow("5") << "5" << 5u << "none";
        QTest::newRow("9 acts as 4") << "9" << 4u << "none";
    }

    void setConfig()
    {
        QFETCH(QString, surface);
        QFETCH(uint, entry);
        QFETCH(QString, handsetId);

        m_rig->sent();
        deliver("set_config", qPrintable("surface=" + surface + ' '));
        for (unsigned i = 0; i < 6; ++i)
            QCOMPARE(m_rig->top->menuEntry(i)->isChecked(), i == entry);
        // NEXT is for a studio (entry 4), not for the screeners 2 and 5.
        QCOMPARE(m_rig->top->nextButton().isVisible(), entry == 4);
        const QStringList wire = sent();
        QVERIFY(!wire.isEmpty());
        const QStringList pair{"set_handset_id id=" + handsetId, QStringLiteral("set_config surface=%1").arg(entry)};
        for (int i = 0; i < wire.size(); i += 2)
            QCOMPARE(wire.mid(i, 2), pair);
        QCOMPARE(m_rig->sim.connectionHandsetId(m_rig->sim.connectionIds().value(0)),
                 handsetId); // as the unit reads it
    }

    void surfaceStatus_data()
    {
        QTest::addColumn<QString>("current");
        QTest::addColumn<QString>("report");
        QTest::addColumn<int>("entry");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<uint>("newCurrent");
        QTest::addColumn<QString>("shown");    // which of NEXT, BUSY, PRIO show
        QTest::addColumn<QStringList>("wire"); // what the report made the console send

        const auto row = [](const char* name, const char* current, const char* report, int entry, const char* text,
                            bool enabled, uint newCurrent, const char* shown, const QStringList& wire = {}) {
            QTest::newRow(name) << current << report << entry << text << enabled << newCurrent << shown << wire;
        };
        row("studio", "0", "id=0 online=true type=studio ", 0, "1: Studio", true, 0, "NBP");
        row("screener", "1", "id=1 online=true type=screener ", 1, "2: Screener", true, 1, "BP");
        row("unknown", "1", "id=1 online=true type=mixer ", 1, "2: Unknown", true, 1, "");
        // Unchecking the entry announces it once more, no longer associated;
        // only then is there no current entry.
        row("current offline", "1", "id=1 online=false ", 1, "2: Offline", false, 6, "",
            {"set_handset_id id=1", "set_config surface=1"});
        row("other offline", "0", "id=2 online=false ", 2, "3: Offline", false, 0, "NBP");
        // Entries 4 and 5 are reported like the unit's surfaces.
        row("entry 4 offline", "4", "id=4 online=false ", 4, "5: Offline", false, 6, "",
            {"set_handset_id id=none", "set_config surface=4"});
        row("entry 4 screener", "4", "id=4 online=true type=screener ", 4, "5: Screener", true, 4, "BP");
        // Reports of no surface change nothing.
        row("id 6", "0", "id=6 online=false ", 0, "1: Studio", true, 0, "NBP");
        row("id garbage", "0", "id=abc online=false ", 0, "1: Studio", true, 0, "NBP");
    }

    void surfaceStatus()
    {
        QFETCH(QString, current);
        QFETCH(QString, report);
        QFETCH(int, entry);
        QFETCH(QString, text);
        QFETCH(bool, enabled);
        QFETCH(uint, newCurrent);
        QFETCH(QString, shown);
        QFETCH(QStringList, wire);

        deliver("set_config", qPrintable("surface=" + current + ' '));
        m_rig->deliverLineStatus(7, QStringLiteral("ringing"));
        m_rig->sent();
        deliver("surface_status", qPrintable(report));
        // Read on the unit's side, behind the barrier: the exact sequence.
        QCOMPARE(sent(), wire);

        Top& top = *m_rig->top;
        QAction* e = top.menuEntry(unsigned(entry));
        QCOMPARE(e->text(), text);
        QCOMPARE(e->isEnabled(), enabled);
        QCOMPARE(top.current(), newCurrent);
        QCOMPARE(e->isChecked(), newCurrent == unsigned(entry));
        const QString visible = QString(top.nextButton().isVisible() ? "N" : "")
            + (top.busyButton().isVisible() ? "B" : "") + (top.prioButton().isVisible() ? "P" : "");
        QCOMPARE(visible, shown);
        QVERIFY(top.aaButton().isVisible());
        if (newCurrent != 6)
            return;

        // Left without a surface: nothing that needs one does anything, nor
        // reaches for the missing one, and the next login announces "none".
        QVERIFY(!top.isAssociated());
        top.nextToAir();
        emit m_rig->lines->line(7)->answerButton().buttonPressed();
        emit m_rig->lines->line(7)->airButton().buttonPressed();
        QCOMPARE(sent(), QStringList());
        m_rig->session.setState(IPCObject::IPC_LOGGED_IN);
        QCOMPARE(sent(), (QStringList{"set_handset_id id=none", "set_config surface=6"}));
    }

    void buttons_data()
    {
        QTest::addColumn<QString>("surface");
        QTest::addColumn<QString>("system");
        QTest::addColumn<int>("select");
        QTest::addColumn<int>("button"); // NEXT, BUSY, PRIO, AA
        QTest::addColumn<QString>("wire");

        const QString idle = "num_lines=12 ";
        QTest::newRow("next screener") << "5" << idle << -1 << 0 << "";
        QTest::newRow("unbusy") << "4"
                                << "num_lines=12 busied_out=true " << -1 << 1
                                << "change_line_state command=unbusy line_id=unlocked";
        QTest::newRow("prio unselected") << "4" << idle << -1 << 2 << "";
        QTest::newRow("aa off") << "4"
                                << "num_lines=12 aa_enabled=true " << -1 << 3
                                << "change_global_state enabled=false state=aa";
    }

    void buttons()
    {
        QFETCH(QString, surface);
        QFETCH(QString, system);
        QFETCH(int, select);
        QFETCH(int, button);
        QFETCH(QString, wire);

        deliver("set_config", qPrintable("surface=" + surface + ' '));
        deliver("system_status", qPrintable(system));
        if (select >= 0)
            m_rig->lines->panelSelected(uint(select));
        m_rig->sent();

        Top& top = *m_rig->top;
        const QString busyLabel = system.contains("busied") ? QStringLiteral("UN-\nBUSY") : QStringLiteral("BUSY");
        QCOMPARE(top.busyButton().label(), busyLabel);
        QCOMPARE(lookOf(top.aaButton()),
                 system.contains("aa_") ? QStringLiteral("steady Red") : QStringLiteral("steady Unlit"));

        SurfaceButton* buttons[] = {&top.nextButton(), &top.busyButton(), &top.prioButton(), &top.aaButton()};
        emit buttons[button]->buttonPressed();
        // The press alone changes no label; the unit's next report does.
        QCOMPARE(top.busyButton().label(), busyLabel);
        QCOMPARE(sent(), wire.isEmpty() ? QStringList() : QStringList{wire});
    }

    // The strip's boxes, and its text sized in scene units: the scene is
    // stretched to the window, so the strip comes out the same whatever the
    // resolution it is drawn at.
    void panelDrawing()
    {
        auto draw = [](int dpi) {
            QImage image(1012, 53, QImage::Format_ARGB32);
            image.setDotsPerMeterX(qRound(dpi / 0.0254));
            image.setDotsPerMeterY(qRound(dpi / 0.0254));
            image.fill(Qt::transparent);
            QPainter painter(&image);
            TopPanel(0, 0).paint(&painter, nullptr, nullptr);
            return image;
        };
        const QImage at96 = draw(96);
        QCOMPARE(draw(72), at96);
        QCOMPARE(draw(144), at96);
        // The button strip and the menu box are filled; the gap between them is not.
        QCOMPARE(at96.pixelColor(300, 45), QColor(204, 204, 238));
        QCOMPARE(at96.pixelColor(800, 45), QColor(204, 204, 238));
        QCOMPARE(at96.pixelColor(683, 26).alpha(), 0);
        QCOMPARE(m_rig->top->panel().pos(), QPointF(5, 5));

        // "Version" above "3.2.27", with clear rows between them.
        QList<int> inked;
        for (int y = 3; y < 50; ++y) {
            for (int x = 565; x < 675; ++x) {
                if (at96.pixelColor(x, y) != QColor(204, 204, 238)) {
                    inked << y;
                    break;
                }
            }
        }
        QVERIFY(!inked.isEmpty());
        int gaps = 0, widest = 0;
        for (int i = 1; i < inked.size(); ++i) {
            if (inked[i] > inked[i - 1] + 1) {
                ++gaps;
                widest = std::max(widest, inked[i] - inked[i - 1] - 1);
            }
        }
        QCOMPARE(gaps, 1);
        QVERIFY2(widest >= 3, qPrintable(QString::number(widest)));

        // The menu's text follows the same rule as the drawn texts beside it.
        const QFontMetrics drawn(SurfacePanel::surfaceFont(14, false));
        for (QWidget* w : {static_cast<QWidget*>(m_rig->top->menuBar()), static_cast<QWidget*>(m_rig->top->menu())}) {
            QCOMPARE(QFontInfo(w->font()).pixelSize(), 14);
            QCOMPARE(w->fontMetrics().height(), drawn.height());
        }
    }

private:
    // The unit sends a message, and the console has handled it.
    void deliver(const char* name, const char* params)
    {
        Message m;
        m.set_name(name);
        m.params() = Params(params);
        m_rig->sim.sendMessage(m);
        QVERIFY(m_rig->sync());
    }
    // What the console sent since the last look, as "name key=value ...".
    QStringList sent()
    {
        QStringList out;
        for (const Message& m : m_rig->sent())
            out << QString::fromStdString(m.get_name() + ' ' + m.params().build_string()).trimmed();
        return out;
    }

    std::unique_ptr<ConsoleRig> m_rig;
};

QTEST_MAIN(TestTop)
#include "tst_top.moc"
