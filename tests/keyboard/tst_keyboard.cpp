#include "console/chat.h"
#include "console/customgraphicsview.h"
#include "console/infoedit.h"
#include "console/keyboard.h"
#include "console/lines.h"
#include "console/mirtgui.h"
#include "console/top.h"
#include "sim/unitsimulator.h"
#include "tests/support/barrier.h"
#include "tests/support/files.h"
#include "tests/support/settings.h"
#include "tests/support/unit.h"
#include "tests/support/wait.h"

#include <QElapsedTimer>
#include <QGraphicsProxyWidget>
#include <QMenu>
#include <QPainter>
#include <QSignalSpy>
#include <QtTest>

#include <functional>
#include <memory>

using namespace testsupport;

namespace {

// The line most rows act on, shown as line 3 (F3).
constexpr int kLine = 2;
const QString kDrop = QStringLiteral("change_line_state command=drop line_id=2");
// The drop button's face, armed: unlit and lit.
const QColor kUnlit(221, 221, 255);
const QColor kLit(255, 0, 51);

// What an item draws on a clear image of the given size.
QImage drawn(QGraphicsItem& item, const QSize& size)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    item.paint(&painter, nullptr, nullptr);
    painter.end();
    return image;
}

// Makes a widget claim every key for itself before shortcuts see it.
struct ClaimEveryKey : QObject
{
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::ShortcutOverride)
            event->accept();
        return false;
    }
};

} // namespace

// The console worked from the keyboard: a real console window logged into the
// simulated unit, keys delivered through the window system's path, and on
// the unit's side the frames each key sent, compared with those of the click
// it stands for.
class TestKeyboard : public QObject
{
    Q_OBJECT

    std::unique_ptr<UnitSimulator> m_sim;
    std::unique_ptr<MIRTGui> m_gui;

    QWindow* window() { return m_gui->consoleView().windowHandle(); }
    Lines& lines() { return *m_gui->lines(); }
    Top& top() { return *m_gui->top(); }
    Keyboard& keyboard() { return *m_gui->keyboard(); }
    InfoEdit& info() { return *m_gui->infoEdit(); }
    QLineEdit& chatInput() { return m_gui->chat()->input(); }
    bool sync() { return roundTrip(m_gui->session(), *m_sim); }

    // A key as the window system delivers it, so that it goes through the
    // shortcut map exactly as a real key press does.
    void press(const QString& keys)
    {
        const QKeySequence sequence = QKeySequence::fromString(keys, QKeySequence::PortableText);
        QVERIFY2(sequence.count() == 1, qPrintable(keys));
        QTest::keyClick(window(), Qt::Key(sequence[0] & ~Qt::KeyboardModifierMask),
                        Qt::KeyboardModifiers(sequence[0] & Qt::KeyboardModifierMask));
    }
    // Plain typing, one character at a time; "\r" is Return.
    void type(const QString& text)
    {
        for (const QChar c : text) {
            if (c == QLatin1Char('\r'))
                QTest::keyClick(window(), Qt::Key_Return);
            else
                QTest::keyClick(window(), c.toLatin1());
        }
    }
    // The unit sends a message, and the console has handled it.
    void deliver(const char* name, const QString& params)
    {
        Message m;
        m.set_name(name);
        m.params() = Params(params.toStdString());
        m_sim->sendMessage(m);
        QVERIFY(sync());
    }
    void deliverLine(int line, const QString& status, bool locked = false)
    {
        deliver("line_status",
                QStringLiteral("line_id=%1 status=\"%2\" locked=%3 ").arg(line).arg(status, locked ? "true" : "false"));
    }
    // Exactly the frames that action sent: everything the unit received
    // before the barrier's marker, which goes out right behind the action.
    // The unit's answers, and what the console says back to them, come later;
    // two rounds first let the answers to earlier changes die down.
    QStringList framesOf(const std::function<void()>& action)
    {
        if (!(sync() && sync()))
            return {"no round trip before the action"};
        m_sim->clearReceived();
        action();
        if (!sync())
            return {"no round trip after the action"};
        QStringList out;
        for (const Message& m : m_sim->receivedMessages()) {
            if (m.get_name() == "test_marker")
                break;
            out << QString::fromStdString(m.get_name() + ' ' + m.params().build_string()).trimmed();
        }
        return out;
    }
    // A real click at a point of the scene.
    void clickAt(const QPointF& scenePoint)
    {
        QGraphicsView& view = m_gui->consoleView();
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, view.mapFromScene(scenePoint));
    }
    // A real click on what a key stands for: a drawn button, at its centre;
    // "panel N", the text area of line N's panel; or "menu N", an entry of
    // the Surfaces menu (a disabled one takes no click).
    void clickOn(const QString& target)
    {
        if (target.startsWith(QLatin1String("panel "))) {
            LinePanel& panel = lines().line(target.mid(6).toUInt())->panel();
            clickAt(panel.mapToScene(QRectF(panel.rectTextPanel()).center()));
            return;
        }
        if (target.startsWith(QLatin1String("menu "))) {
            QMenu* menu = top().menu();
            menu->popup(QPoint(0, 0));
            QVERIFY(QTest::qWaitForWindowExposed(menu));
            QAction* entry = top().menuEntry(target.mid(5).toUInt());
            QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(entry).center());
            if (menu->isVisible())
                menu->close();
            return;
        }
        Line& line = *lines().line(kLine);
        const QHash<QString, QGraphicsItem*> items{{"answer", &line.answerButton()}, {"hold", &line.holdButton()},
                                                   {"air", &line.airButton()},       {"drop", &line.dropButton()},
                                                   {"next", &top().nextButton()},    {"busy", &top().busyButton()},
                                                   {"prio", &top().prioButton()},    {"aa", &top().aaButton()}};
        QGraphicsItem* item = items.value(target);
        QVERIFY2(item, qPrintable("unknown click " + target));
        clickAt(item->mapToScene(item->boundingRect().center()));
    }

private slots:
    void initTestCase() { isolateSettings(); }

    void init()
    {
        m_sim = startUnit();
        QVERIFY(m_sim);
        // No tick may move anything while a row looks at it.
        m_sim->setTickInterval(3600 * 1000);
        m_gui = std::make_unique<MIRTGui>(QStringLiteral("127.0.0.1"), m_sim->port(), QStringLiteral("tester"),
                                          QStringLiteral("tavrik"));
        QVERIFY(waitFor([this] { return m_gui->session().getState() == IPCObject::IPC_READY; }));
        QVERIFY(m_gui->consoleView().isVisible());
        m_gui->consoleView().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&m_gui->consoleView()));
        QVERIFY(sync() && sync());
    }

    void cleanup()
    {
        m_gui.reset();
        m_sim.reset();
    }

    void keyEqualsClick_data()
    {
        // surface: studio, screener, unit studio or none; system: the unit's
        // status, twelve lines when empty; status: of line 3, "locked on air"
        // for a locked line; focus: a field typed in when the key comes;
        // click: the click the key stands for, none when it has no counterpart.
        for (const char* column : {"surface", "system", "status", "focus", "key", "click"})
            QTest::addColumn<QString>(column);
        QTest::addColumn<int>("select"); // before the key; -1: none
        QTest::addColumn<int>("after");  // selected after the key, and after the click
        QTest::addColumn<QStringList>("wire");
        const auto row = [](const char* name, const char* surface, const char* system, const char* status, int select,
                            const char* focus, const char* key, const char* click, const QStringList& wire) {
            QTest::newRow(name) << surface << system << status << focus << key << click << select << select << wire;
        };
        // Choosing a line sends nothing; the click is one in the panel's text.
        const auto pick = [](const char* name, int numLines, int before, const char* key, int after) {
            QTest::newRow(name) << "studio" << QStringLiteral("num_lines=%1 ").arg(numLines) << ""
                                << "" << key
                                << (after == before ? QStringLiteral("none") : QStringLiteral("panel %1").arg(after))
                                << before << after << QStringList();
        };
        const QString handset = "change_line_state command=handset line_id=2";
        const QString hold = "change_line_state command=hold line_id=2";
        const QString air = "change_line_state command=air line_id=2";
        const QString next = "change_line_state command=air line_id=priority";
        const QString prio = "change_line_flags flag=priority line_id=2 state=true";
        const QString lock = "change_line_flags flag=locked line_id=2 state=";
        const QString busy = "change_line_state command=%1 line_id=unlocked";
        const QString aa = "change_global_state enabled=%1 state=aa";

        row("answer, studio, ringing", "studio", "", "ringing", kLine, "", "Alt+A", "answer", {handset});
        row("answer, screener, on hold", "screener", "", "on hold", kLine, "", "Alt+A", "answer", {handset});
        row("answer, no surface", "none", "", "ringing", kLine, "", "Alt+A", "answer", {});
        row("answer, no line selected", "studio", "", "ringing", -1, "", "Alt+A", "none", {});
        row("answer, selected line not shown", "studio", "num_lines=6 ", "ringing", 8, "", "Alt+A", "none", {});
        row("hold, studio, on handset", "studio", "", "on handset", kLine, "", "Alt+H", "hold", {hold});
        row("hold, while typing in the chat", "screener", "", "on handset", kLine, "chat", "Alt+H", "hold", {hold});
        row("air, studio, on hold", "studio", "", "on hold", kLine, "", "Alt+R", "air", {air});
        row("air, on air: lock", "studio", "", "on air", kLine, "", "Alt+R", "air", {lock + "true"});
        row("air, locked on air: unlock", "studio", "", "locked on air", kLine, "name", "Alt+R", "air",
            {lock + "false"});
        row("air, screener", "screener", "", "on hold", kLine, "", "Alt+R", "air", {});
        row("drop, on hold", "studio", "", "on hold", kLine, "", "Alt+D", "drop", {kDrop});
        row("drop, ringing, no surface", "none", "", "ringing", kLine, "chat", "Alt+D", "drop", {kDrop});
        row("drop, no line selected", "studio", "", "on hold", -1, "", "Alt+D", "none", {});
        row("drop, on air: only armed", "studio", "", "on air", kLine, "", "Alt+D", "none", {});
        row("next, studio", "studio", "", "", -1, "", "Alt+N", "next", {next});
        row("next, unit studio", "unit studio", "", "", kLine, "name", "Alt+N", "next", {next});
        row("next, screener: hidden", "screener", "", "", -1, "", "Alt+N", "none", {});
        row("busy, studio", "studio", "", "", -1, "", "Alt+B", "busy", {busy.arg("busy")});
        row("unbusy, screener", "screener", "num_lines=12 busied_out=true ", "", -1, "chat", "Alt+B", "busy",
            {busy.arg("unbusy")});
        row("busy, no surface: hidden", "none", "", "", -1, "", "Alt+B", "none", {});
        row("prio, screener", "screener", "", "on hold", kLine, "", "Alt+P", "prio", {prio});
        row("prio, no line selected", "studio", "", "on hold", -1, "", "Alt+P", "prio", {});
        row("aa on", "studio", "", "", -1, "", "Alt+U", "aa", {aa.arg("true")});
        row("aa off, no surface", "none", "num_lines=12 aa_enabled=true ", "", kLine, "name", "Alt+U", "aa",
            {aa.arg("false")});
        // A menu choice unchecks the old entry and checks the new one; each
        // toggle announces the new surface.
        const QStringList unit0{"set_handset_id id=0", "set_config surface=0"};
        const QStringList screener{"set_handset_id id=none", "set_config surface=5"};
        row("surface 1, a studio", "studio", "", "", -1, "", "Ctrl+1", "menu 0", unit0 + unit0);
        row("surface 6, while typing a name", "unit studio", "", "", kLine, "name", "Ctrl+6", "menu 5",
            screener + screener);
        row("surface 3, offline: disabled", "studio", "", "", -1, "", "Ctrl+3", "menu 2", {});
        row("surface 5, already chosen", "studio", "", "", -1, "", "Ctrl+5", "menu 4", {});
        pick("F3", 12, -1, "F3", 2);
        pick("F8 with six lines: not shown", 6, 2, "F8", 2);
        pick("F6 with six lines", 6, 2, "F6", 5);
        pick("down from nothing", 12, -1, "Alt+Down", 0);
        pick("down", 12, 2, "Alt+Down", 3);
        pick("down at the last shown", 6, 5, "Alt+Down", 5);
        pick("up from nothing", 6, -1, "Alt+Up", 5);
        pick("up at the first", 12, 0, "Alt+Up", 0);
    }

    void keyEqualsClick()
    {
        QFETCH(QString, surface);
        QFETCH(QString, system);
        QFETCH(QString, status);
        QFETCH(QString, focus);
        QFETCH(QString, key);
        QFETCH(QString, click);
        QFETCH(int, select);
        QFETCH(int, after);
        QFETCH(QStringList, wire);

        const auto selected = [&] { return lines().hasSelection() ? int(lines().selectedLine()) : -1; };
        QSignalSpy selections(&lines(), &Lines::lineSelected);
        // The same conditions before the key and before the click: the unit
        // answers the first with changes of its own.
        const auto setUp = [&] {
            deliver("surface_status", "id=0 online=true type=studio ");
            deliver("surface_status", "id=1 online=true type=screener ");
            deliver("surface_status", "id=2 online=false ");
            deliver(
                "set_config",
                QStringLiteral("surface=%1 ").arg(QHash<QString, int>{{"studio", 4}, {"screener", 5}}.value(surface)));
            if (surface == "none")
                deliver("surface_status", "id=0 online=false ");
            deliver("system_status", system.isEmpty() ? QStringLiteral("num_lines=12 ") : system);
            const bool locked = status.startsWith(QLatin1String("locked "));
            if (!status.isEmpty())
                deliverLine(kLine, locked ? status.mid(7) : status, locked);
            if (select >= 0)
                lines().panelSelected(uint(select));
            keyboard().disarmDrop();
            QVERIFY(sync() && sync());
            selections.clear();
        };

        setUp();
        const QStringList byKey = framesOf([&] {
            if (!focus.isEmpty()) {
                press(focus == "name" ? "Ctrl+E" : "Ctrl+T");
                QVERIFY(m_gui->consoleScene().focusItem());
            }
            press(key);
        });
        QCOMPARE(byKey, wire);
        QCOMPARE(selected(), after);
        QCOMPARE(info().currentLine(), after);
        // A line's keys press its buttons, and a press chooses the line again;
        // with no call about, a choice is announced when, and only when, it
        // changes.
        const int selectedByKey = selections.count();
        if (status.isEmpty())
            QCOMPARE(selectedByKey, after != select ? 1 : 0);
        if (click == "none")
            return;

        setUp();
        QCOMPARE(framesOf([&] { clickOn(click); }), wire);
        QCOMPARE(selected(), after);
        QCOMPARE(selections.count(), selectedByKey);
    }

    void typingSendsNoCommand_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("expect"); // the one kind of frame the typing may send
        for (const char* field : {"name", "notes"})
            QTest::newRow(field) << field << "ancillary_data";
        QTest::newRow("chat") << QStringLiteral("chat") << QStringLiteral("chat_data");
        QTest::newRow("no field") << QString() << QString();
    }

    void typingSendsNoCommand()
    {
        QFETCH(QString, field);
        QFETCH(QString, expect);
        // The letters of every Alt shortcut, digits, and Return.
        const QString text = "aAhHrRdDnNbBpPuUeElLtT 0123456789\r";

        deliverLine(kLine, "on hold");
        lines().panelSelected(kLine);
        const QHash<QString, QWidget*> fields{
            {"name", &info().nameEditor()}, {"notes", &info().notesEditor()}, {"chat", &chatInput()}};
        if (QWidget* target = fields.value(field)) {
            target->setFocus(Qt::MouseFocusReason);
            QVERIFY(target->hasFocus());
        }

        const QStringList frames = framesOf([&] { type(text); });
        QStringList kinds;
        for (const QString& f : frames)
            kinds << f.section(QLatin1Char(' '), 0, 0);
        kinds.removeDuplicates();
        QCOMPARE(kinds, expect.isEmpty() ? QStringList() : QStringList{expect});
        if (field == "chat") {
            QCOMPARE(frames, QStringList{"chat_data from=console text=\"" + text.chopped(1) + '"'});
        } else if (field == "name") {
            // One record per keystroke that changed the text.
            QCOMPARE(frames.size(), text.size() - 1);
            QCOMPARE(info().nameEditor().text(), text.chopped(1));
        }
    }

    // Every field also with a claim on every key, as a line editor makes
    // for Ctrl+E (end of line) on some desktops: the shortcuts still win.
    void focusKeys_data()
    {
        QTest::addColumn<bool>("claiming");
        QTest::newRow("fields") << false;
        QTest::newRow("fields claiming every key") << true;
    }

    void focusKeys()
    {
        QFETCH(bool, claiming);
        ClaimEveryKey claim;
        if (claiming) {
            chatInput().installEventFilter(&claim);
            info().nameEditor().installEventFilter(&claim);
        }
        QGraphicsScene& scene = m_gui->consoleScene();
        QSignalSpy callLog(m_gui.get(), &MIRTGui::callLogRequested);

        // Before a line is chosen the editors are disabled: nothing to type in.
        press("Ctrl+E");
        QVERIFY(!info().nameEditor().hasFocus());

        deliverLine(kLine, "on hold");
        press("F3");
        press("Ctrl+E");
        type("Jo");
        QVERIFY(info().nameEditor().hasFocus());
        QCOMPARE(scene.focusItem(), info().nameEditor().graphicsProxyWidget());
        QCOMPARE(info().nameEditor().text(), QStringLiteral("Jo"));

        // Ctrl+E again chooses the whole name, so typing replaces it.
        press("Ctrl+T");
        QVERIFY(chatInput().hasFocus());
        press("Ctrl+E");
        type("Ann");
        QCOMPARE(info().nameEditor().text(), QStringLiteral("Ann"));

        // Escape: back to the console; typing goes nowhere.
        press("Esc");
        QCOMPARE(scene.focusItem(), nullptr);
        QCOMPARE(framesOf([&] { type("xyz\r"); }), QStringList());
        QCOMPARE(info().nameEditor().text(), QStringLiteral("Ann"));

        press("Ctrl+T");
        type("hi");
        QCOMPARE(chatInput().text(), QStringLiteral("hi"));
        // The call log is the application's; the console only asks for it.
        press("Ctrl+L");
        QCOMPARE(callLog.count(), 1);
        press("Esc");
        QCOMPARE(scene.focusItem(), nullptr);
        QCOMPARE(chatInput().text(), QStringLiteral("hi"));

        // Line keys from inside a field act on the lines, and type nothing.
        press("Ctrl+E");
        QVERIFY(info().nameEditor().hasFocus());
        QCOMPARE(framesOf([&] { press("Alt+H"); }), QStringList{"change_line_state command=hold line_id=2"});
        QCOMPARE(framesOf([&] { press("F5"); }), QStringList());
        QCOMPARE(int(lines().selectedLine()), 4);
        QCOMPARE(chatInput().text(), QStringLiteral("hi"));
    }

    void dropOnAirArming_data()
    {
        QTest::addColumn<QString>("meanwhile"); // what comes before the second Alt+D
        QTest::addColumn<int>("armedAfter");    // after it; -1: it sent DROP
        QTest::newRow("second press within the time") << "" << -1;
        QTest::newRow("second press after it") << "expire" << kLine;
        QTest::newRow("the line left the air meanwhile") << "on hold" << -1;
        QTest::newRow("another line chosen meanwhile") << "F4" << kLine + 1;
        QTest::newRow("typing a name meanwhile") << "Ctrl+E" << -1;
    }

    void dropOnAirArming()
    {
        QFETCH(QString, meanwhile);
        QFETCH(int, armedAfter);

        deliverLine(kLine, "on air");
        deliverLine(kLine + 1, "on air");
        lines().panelSelected(kLine);
        DropButton& button = lines().line(kLine)->dropButton();
        // The time is the real-time test's; here it ends only when a row says
        // so, however slowly a sanitizer build on a busy machine runs the rest.
        keyboard().setDropArmInterval(60 * 1000);

        QCOMPARE(framesOf([&] { press("Alt+D"); }), QStringList());
        QCOMPARE(keyboard().armedLine(), kLine);
        QVERIFY(button.isArmed());

        // Armed, the button blinks with the console's lamps: unlit on even
        // ticks of the shared clock, lit on odd ones, and drawn that way.
        const auto faceAt = [&](int tick) {
            emit lines().blink(tick);
            return drawn(button, QSize(40, 40)).pixelColor(19, 10); // on the face, above the label
        };
        QCOMPARE(faceAt(2), kUnlit);
        QCOMPARE(faceAt(3), kLit);
        QCOMPARE(faceAt(4), kUnlit);

        if (meanwhile == "expire") {
            // Shortened from here on, so the row need not wait the 1.5 s.
            keyboard().setDropArmInterval(10);
            QVERIFY(waitFor([&] { return keyboard().armedLine() < 0; }, 2000));
            keyboard().setDropArmInterval(60 * 1000);
            QCOMPARE(faceAt(4), kLit);
        } else if (meanwhile == "on hold") {
            deliverLine(kLine, meanwhile);
        } else if (!meanwhile.isEmpty()) {
            press(meanwhile);
        }

        QCOMPARE(framesOf([&] { press("Alt+D"); }), armedAfter < 0 ? QStringList{kDrop} : QStringList());
        QCOMPARE(keyboard().armedLine(), armedAfter);
        QCOMPARE(button.isArmed(), armedAfter == kLine);
        if (armedAfter < 0)
            QCOMPARE(faceAt(4), kLit);
    }

    void dropArmingInRealTime()
    {
        deliverLine(kLine, "on air");
        press("F3");
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(framesOf([&] { press("Alt+D"); }), QStringList());
        QCOMPARE(keyboard().armedLine(), kLine);
        // Armed for 1.5 s: never less, and more only by what a slow build and
        // a busy machine add (MIRT_TIME_FACTOR).
        QVERIFY(waitFor([&] { return keyboard().armedLine() < 0; }, 1500 + scaled(1500)));
        const qint64 armedFor = clock.elapsed();
        QVERIFY2(armedFor >= 1490 && armedFor < 1500 + scaled(1000), qPrintable(QString::number(armedFor)));
        QVERIFY(!lines().line(kLine)->dropButton().isArmed());
    }

    void overlayListsTheTable()
    {
        ShortcutOverlay& overlay = keyboard().overlay();
        QVERIFY(!overlay.isVisible());
        deliverLine(kLine, "on hold");
        lines().panelSelected(kLine);
        press("Ctrl+T");
        press("Ctrl+/");
        QVERIFY(overlay.isVisible());
        QCOMPARE(overlay.rowCount(), int(shortcuts::size()));

        // It lies over everything, inside the console, every row inside it, and
        // every row has its keys and its words drawn (dark text on the panel).
        QVERIFY(QRectF(0, 0, 1024, 768).contains(overlay.sceneBoundingRect()));
        for (QGraphicsItem* item : m_gui->consoleScene().items())
            if (item != &overlay)
                QVERIFY(item->zValue() < overlay.zValue());
        const QImage image = drawn(overlay, overlay.boundingRecti().size());
        const auto hasText = [&](const QRect& r) {
            for (int y = r.top(); y <= r.bottom(); ++y)
                for (int x = r.left(); x <= r.right(); ++x)
                    if (qGray(image.pixel(x, y)) < 80)
                        return true;
            return false;
        };
        const QFontMetrics does(SurfacePanel::surfaceFont(12, false));
        int row = 0;
        for (const Shortcut* s = shortcuts::begin(); s != shortcuts::end(); ++s, ++row) {
            QVERIFY(overlay.boundingRecti().contains(overlay.rowRect(row)));
            QVERIFY2(hasText(overlay.keysRect(row)), s->name);
            QVERIFY2(hasText(overlay.nameRect(row)), s->name);
            QVERIFY2(hasText(overlay.doesRect(row)), s->name);
            QVERIFY2(does.horizontalAdvance(QString::fromLatin1(s->does)) <= overlay.doesRect(row).width(), s->does);
        }

        // Any key closes it and does nothing else: Alt+H sends no HOLD, and the
        // chat still has the focus without a character typed into it.
        QCOMPARE(framesOf([&] { press("Alt+H"); }), QStringList());
        QVERIFY(!overlay.isVisible());
        press("Ctrl+/");
        QVERIFY(overlay.isVisible());
        type("q");
        QVERIFY(!overlay.isVisible());
        QCOMPARE(chatInput().text(), QString());

        // The drawn buttons name their keys.
        QCOMPARE(lines().line(kLine)->answerButton().toolTip(), QStringLiteral("ANSWER (Alt+A)"));
        QCOMPARE(lines().line(kLine)->dropButton().toolTip(), QStringLiteral("DROP (Alt+D)"));
        QCOMPARE(top().aaButton().toolTip(), QStringLiteral("AA (Alt+U)"));
        QCOMPARE(top().menuBar()->toolTip(), QStringLiteral("Surfaces (Ctrl+1 to Ctrl+6)"));
    }

    // The README's table lists every shortcut as the overlay does, in order.
    void readmeMatchesTheTable()
    {
        QString readme = QString::fromUtf8(readAll(QStringLiteral(MIRT_SOURCE_DIR "/README.md")));
        readme.remove(QLatin1Char('`')).remove(QStringLiteral("**"));
        QString expected = QStringLiteral("| Keys | Action | What it does |\n| --- | --- | --- |\n");
        for (const Shortcut* s = shortcuts::begin(); s != shortcuts::end(); ++s)
            expected += QStringLiteral("| %1 | %2 | %3 |\n")
                            .arg(s->keysText(), QString::fromLatin1(s->name), QString::fromLatin1(s->does));
        QVERIFY2(readme.contains(QStringLiteral("## Working from the keyboard\n")), "no keyboard section");
        QVERIFY2(readme.contains(expected + QLatin1Char('\n')), qPrintable(expected));
    }
};

QTEST_MAIN(TestKeyboard)
#include "tst_keyboard.moc"
