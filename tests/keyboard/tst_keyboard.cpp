#include "console/chat.h"
#include "console/customgraphicsview.h"
#include "console/infoedit.h"
#include "console/keyboard.h"
#include "console/lines.h"
#include "console/mirtgui.h"
#include "console/top.h"
#include "sim/unitsimulator.h"
#include "tests/support/barrier.h"
#include "tests/support/settings.h"
#include "tests/support/wait.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
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

// A key as the window system delivers it to the console's window, so that it
// goes through the shortcut map exactly as a real key press does.
void press(QWindow* window, const QString& keys)
{
    const QKeySequence sequence = QKeySequence::fromString(keys, QKeySequence::PortableText);
    QVERIFY2(sequence.count() == 1, qPrintable(keys));
    const int combination = sequence[0];
    const auto modifiers = Qt::KeyboardModifiers(combination & Qt::KeyboardModifierMask);
    QTest::keyClick(window, Qt::Key(combination & ~Qt::KeyboardModifierMask), modifiers);
}

// Plain typing, one character at a time; "\r" is Return.
void type(QWindow* window, const QString& text)
{
    for (const QChar c : text) {
        if (c == QLatin1Char('\r'))
            QTest::keyClick(window, Qt::Key_Return);
        else
            QTest::keyClick(window, c.toLatin1());
    }
}

// Makes a widget claim every key for itself before shortcuts see it, as a
// line editor does with Ctrl+E (end of line) on some desktops.
class ClaimEveryKey : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::ShortcutOverride)
            event->accept();
        return false;
    }
};

QString frameText(const Message& m)
{
    return QString::fromStdString(m.get_name() + ' ' + m.params().build_string()).trimmed();
}

} // namespace

// The console worked from the keyboard: a real console window logged into the
// simulated unit, keys delivered through the window system's path, and on
// the unit's side the frames each key sent, compared with those of the click
// it stands for.
class TestKeyboard : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { isolateSettings(); }
    void init();
    void cleanup();

    void keyEqualsClick_data();
    void keyEqualsClick();
    void selection_data();
    void selection();
    void typingSendsNoCommand_data();
    void typingSendsNoCommand();
    void focusKeys();
    void fieldsClaimingKeysDoNotWin();
    void dropOnAirArming_data();
    void dropOnAirArming();
    void dropArmingInRealTime();
    void overlayListsTheTable();
    void readmeMatchesTheTable();

private:
    QWindow* window() { return m_gui->consoleView().windowHandle(); }
    Lines& lines() { return *m_gui->lines(); }
    Top& top() { return *m_gui->top(); }
    Keyboard& keyboard() { return *m_gui->keyboard(); }
    bool sync() { return roundTrip(m_gui->session(), *m_sim); }
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
    // The unit's answers, and what the console says back to them, come later.
    QStringList framesOf(const std::function<void()>& action)
    {
        sync();
        sync();
        m_sim->clearReceived();
        action();
        sync();
        QStringList out;
        for (const Message& m : m_sim->receivedMessages()) {
            if (m.get_name() == "test_marker")
                break;
            out << frameText(m);
        }
        return out;
    }
    // A real click on a drawn item, at its centre.
    void click(QGraphicsItem& item)
    {
        QGraphicsView& view = m_gui->consoleView();
        const QPointF centre = item.mapToScene(item.boundingRect().center());
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, view.mapFromScene(centre));
    }
    // A real choice in the Surfaces menu; a disabled entry takes no click.
    void chooseFromMenu(int entry)
    {
        QMenu* menu = top().menu();
        menu->popup(QPoint(0, 0));
        QVERIFY(QTest::qWaitForWindowExposed(menu));
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(top().menuEntry(unsigned(entry))).center());
        if (menu->isVisible())
            menu->close();
    }
    void clickTarget(const QString& target);

    std::unique_ptr<UnitSimulator> m_sim;
    std::unique_ptr<MIRTGui> m_gui;
};

void TestKeyboard::init()
{
    m_sim = std::make_unique<UnitSimulator>();
    QVERIFY(m_sim->start(0));
    // No tick may move anything while a row looks at it.
    m_sim->setTickInterval(3600 * 1000);
    m_gui = std::make_unique<MIRTGui>(QStringLiteral("127.0.0.1"), m_sim->port(), QStringLiteral("tester"),
                                      QStringLiteral("tavrik"));
    QVERIFY(waitFor([this] { return m_gui->session().getState() == IPCObject::IPC_READY; }));
    QGraphicsView& view = m_gui->consoleView();
    QVERIFY(view.isVisible());
    view.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&view));
    QVERIFY(sync() && sync());
}

void TestKeyboard::cleanup()
{
    m_gui.reset();
    m_sim.reset();
}

void TestKeyboard::clickTarget(const QString& target)
{
    Line& line = *lines().line(kLine);
    if (target == QLatin1String("answer"))
        click(line.answerButton());
    else if (target == QLatin1String("hold"))
        click(line.holdButton());
    else if (target == QLatin1String("air"))
        click(line.airButton());
    else if (target == QLatin1String("drop"))
        click(line.dropButton());
    else if (target == QLatin1String("next"))
        click(top().nextButton());
    else if (target == QLatin1String("busy"))
        click(top().busyButton());
    else if (target == QLatin1String("prio"))
        click(top().prioButton());
    else if (target == QLatin1String("aa"))
        click(top().aaButton());
    else if (target.startsWith(QLatin1String("menu ")))
        chooseFromMenu(target.mid(5).toInt());
    else
        QFAIL(qPrintable("unknown click " + target));
}

void TestKeyboard::keyEqualsClick_data()
{
    QTest::addColumn<QString>("surface"); // studio, screener, unit studio, none
    QTest::addColumn<QString>("system");
    QTest::addColumn<QString>("status"); // of line 3
    QTest::addColumn<bool>("locked");
    QTest::addColumn<int>("select");
    QTest::addColumn<QString>("focus"); // a field typed in when the key comes
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("click"); // the click it stands for; none when it has no counterpart
    QTest::addColumn<QStringList>("wire");

    const QString lines12 = "num_lines=12 ";
    const auto row = [&](const char* name, const char* surface, const QString& system, const char* status, bool locked,
                         int select, const char* focus, const char* key, const char* click, const QStringList& wire) {
        QTest::newRow(name) << surface << system << status << locked << select << focus << key << click << wire;
    };
    const QString handset = "change_line_state command=handset line_id=2";
    const QString hold = "change_line_state command=hold line_id=2";
    const QString air = "change_line_state command=air line_id=2";
    const QString drop = "change_line_state command=drop line_id=2";
    const QString next = "change_line_state command=air line_id=priority";
    const QString prio = "change_line_flags flag=priority line_id=2 state=true";

    row("answer, studio, ringing", "studio", lines12, "ringing", false, kLine, "", "Alt+A", "answer", {handset});
    row("answer, screener, on hold", "screener", lines12, "on hold", false, kLine, "", "Alt+A", "answer", {handset});
    row("answer, while typing a name", "studio", lines12, "ringing", false, kLine, "name", "Alt+A", "answer",
        {handset});
    row("answer, no surface", "none", lines12, "ringing", false, kLine, "", "Alt+A", "answer", {});
    row("answer, no line selected", "studio", lines12, "ringing", false, -1, "", "Alt+A", "none", {});
    row("answer, selected line not shown", "studio", "num_lines=6 ", "ringing", false, 8, "", "Alt+A", "none", {});
    row("hold, studio, on handset", "studio", lines12, "on handset", false, kLine, "", "Alt+H", "hold", {hold});
    row("hold, no surface", "none", lines12, "ringing", false, kLine, "", "Alt+H", "hold", {hold});
    row("hold, while typing in the chat", "screener", lines12, "on handset", false, kLine, "chat", "Alt+H", "hold",
        {hold});
    row("air, studio, on hold", "studio", lines12, "on hold", false, kLine, "", "Alt+R", "air", {air});
    row("air, unit studio, on hold", "unit studio", lines12, "on hold", false, kLine, "", "Alt+R", "air", {air});
    row("air, on air: lock", "studio", lines12, "on air", false, kLine, "", "Alt+R", "air",
        {"change_line_flags flag=locked line_id=2 state=true"});
    row("air, locked on air: unlock", "studio", lines12, "on air", true, kLine, "name", "Alt+R", "air",
        {"change_line_flags flag=locked line_id=2 state=false"});
    row("air, screener", "screener", lines12, "on hold", false, kLine, "", "Alt+R", "air", {});
    row("air, no surface", "none", lines12, "on hold", false, kLine, "", "Alt+R", "air", {});
    row("drop, on hold", "studio", lines12, "on hold", false, kLine, "", "Alt+D", "drop", {drop});
    row("drop, ringing, no surface", "none", lines12, "ringing", false, kLine, "chat", "Alt+D", "drop", {drop});
    row("drop, no line selected", "studio", lines12, "on hold", false, -1, "", "Alt+D", "none", {});
    row("drop, on air: only armed", "studio", lines12, "on air", false, kLine, "", "Alt+D", "none", {});
    row("drop, remote on air: only armed", "studio", lines12, "remote (on air)", false, kLine, "", "Alt+D", "none", {});
    row("next, studio", "studio", lines12, "", false, -1, "", "Alt+N", "next", {next});
    row("next, unit studio", "unit studio", lines12, "", false, kLine, "name", "Alt+N", "next", {next});
    row("next, screener: hidden", "screener", lines12, "", false, -1, "", "Alt+N", "none", {});
    row("next, no surface: hidden", "none", lines12, "", false, -1, "", "Alt+N", "none", {});
    row("busy, studio", "studio", lines12, "", false, -1, "", "Alt+B", "busy",
        {"change_line_state command=busy line_id=unlocked"});
    row("unbusy, screener", "screener", "num_lines=12 busied_out=true ", "", false, -1, "chat", "Alt+B", "busy",
        {"change_line_state command=unbusy line_id=unlocked"});
    row("busy, no surface: hidden", "none", lines12, "", false, -1, "", "Alt+B", "none", {});
    row("prio, screener", "screener", lines12, "on hold", false, kLine, "", "Alt+P", "prio", {prio});
    row("prio, no line selected", "studio", lines12, "on hold", false, -1, "", "Alt+P", "prio", {});
    row("prio, no surface: hidden", "none", lines12, "on hold", false, kLine, "", "Alt+P", "none", {});
    row("aa on", "studio", lines12, "", false, -1, "", "Alt+U", "aa", {"change_global_state enabled=true state=aa"});
    row("aa off, no surface", "none", "num_lines=12 aa_enabled=true ", "", false, kLine, "name", "Alt+U", "aa",
        {"change_global_state enabled=false state=aa"});
    // A menu choice unchecks the old entry and checks the new one; each
    // toggle announces the new surface.
    const QStringList unit0{"set_handset_id id=0", "set_config surface=0"};
    const QStringList screener{"set_handset_id id=none", "set_config surface=5"};
    row("surface 1, a studio", "studio", lines12, "", false, -1, "", "Ctrl+1", "menu 0", unit0 + unit0);
    row("surface 6, while typing a name", "unit studio", lines12, "", false, kLine, "name", "Ctrl+6", "menu 5",
        screener + screener);
    row("surface 3, offline: disabled", "studio", lines12, "", false, -1, "", "Ctrl+3", "menu 2", {});
    row("surface 5, already chosen", "studio", lines12, "", false, -1, "", "Ctrl+5", "menu 4", {});
}

void TestKeyboard::keyEqualsClick()
{
    QFETCH(QString, surface);
    QFETCH(QString, system);
    QFETCH(QString, status);
    QFETCH(bool, locked);
    QFETCH(int, select);
    QFETCH(QString, focus);
    QFETCH(QString, key);
    QFETCH(QString, click);
    QFETCH(QStringList, wire);

    // The same conditions before the key and before the click: the unit
    // answers the first with changes of its own.
    const auto setUp = [&] {
        deliver("surface_status", "id=0 online=true type=studio ");
        deliver("surface_status", "id=1 online=true type=screener ");
        deliver("surface_status", "id=2 online=false ");
        const int entry = surface == QLatin1String("screener") ? 5 : surface == QLatin1String("studio") ? 4 : 0;
        deliver("set_config", QStringLiteral("surface=%1 ").arg(entry));
        if (surface == QLatin1String("none"))
            deliver("surface_status", "id=0 online=false ");
        deliver("system_status", system);
        if (!status.isEmpty())
            deliverLine(kLine, status, locked);
        if (select >= 0)
            lines().panelSelected(uint(select));
        keyboard().disarmDrop();
    };

    setUp();
    const QStringList byKey = framesOf([&] {
        if (focus == QLatin1String("name"))
            press(window(), QStringLiteral("Ctrl+E"));
        else if (focus == QLatin1String("chat"))
            press(window(), QStringLiteral("Ctrl+T"));
        if (!focus.isEmpty())
            QVERIFY(m_gui->consoleScene().focusItem());
        press(window(), key);
    });
    QCOMPARE(byKey, wire);
    if (click == QLatin1String("none"))
        return;

    setUp();
    const QStringList byClick = framesOf([&] { clickTarget(click); });
    QCOMPARE(byClick, wire);
}

void TestKeyboard::selection_data()
{
    QTest::addColumn<int>("numLines");
    QTest::addColumn<int>("before"); // -1: nothing selected
    QTest::addColumn<QString>("keys");
    QTest::addColumn<int>("after");
    QTest::addColumn<int>("panelClick"); // the panel click that selects the same, or -1

    QTest::newRow("F3") << 12 << -1 << "F3" << 2 << 2;
    QTest::newRow("F12") << 12 << 4 << "F12" << 11 << 11;
    QTest::newRow("F8 with six lines: not shown") << 6 << 2 << "F8" << 2 << -1;
    QTest::newRow("F6 with six lines") << 6 << 2 << "F6" << 5 << 5;
    QTest::newRow("down from nothing") << 12 << -1 << "Alt+Down" << 0 << 0;
    QTest::newRow("down") << 12 << 2 << "Alt+Down" << 3 << 3;
    QTest::newRow("down at the last shown") << 6 << 5 << "Alt+Down" << 5 << -1;
    QTest::newRow("up from nothing") << 6 << -1 << "Alt+Up" << 5 << 5;
    QTest::newRow("up") << 12 << 7 << "Alt+Up" << 6 << 6;
    QTest::newRow("up at the first") << 12 << 0 << "Alt+Up" << 0 << -1;
}

void TestKeyboard::selection()
{
    QFETCH(int, numLines);
    QFETCH(int, before);
    QFETCH(QString, keys);
    QFETCH(int, after);
    QFETCH(int, panelClick);

    deliver("system_status", QStringLiteral("num_lines=%1 ").arg(numLines));
    if (before >= 0)
        lines().panelSelected(uint(before));

    QSignalSpy selected(&lines(), &Lines::lineSelected);
    const QStringList byKey = framesOf([&] { press(window(), keys); });
    QCOMPARE(byKey, QStringList());
    QCOMPARE(lines().hasSelection(), after >= 0);
    if (after >= 0)
        QCOMPARE(int(lines().selectedLine()), after);
    QCOMPARE(selected.count(), after != before ? 1 : 0);
    QCOMPARE(m_gui->infoEdit()->currentLine(), after);

    if (panelClick < 0)
        return;
    // The same choice by a click in the panel's text area.
    if (before >= 0)
        lines().panelSelected(uint(before));
    selected.clear();
    LinePanel& panel = lines().line(unsigned(panelClick))->panel();
    QGraphicsView& view = m_gui->consoleView();
    const QPointF inText = panel.mapToScene(QRectF(panel.rectTextPanel()).center());
    const QStringList byClick
        = framesOf([&] { QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, view.mapFromScene(inText)); });
    QCOMPARE(byClick, byKey);
    QCOMPARE(int(lines().selectedLine()), after);
    QCOMPARE(selected.count(), 1);
}

void TestKeyboard::typingSendsNoCommand_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expect"); // the one kind of frame the typing may send

    // The letters of every Alt shortcut, digits, and Return.
    const QString text = "aAhHrRdDnNbBpPuUeElLtT 0123456789\r";
    QTest::newRow("name") << "name" << text << "ancillary_data";
    QTest::newRow("location") << "location" << text << "ancillary_data";
    QTest::newRow("topic") << "topic" << text << "ancillary_data";
    QTest::newRow("notes") << "notes" << text << "ancillary_data";
    QTest::newRow("chat") << "chat" << text << "chat_data";
    QTest::newRow("no field") << "" << text << "";
}

void TestKeyboard::typingSendsNoCommand()
{
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(QString, expect);

    deliverLine(kLine, QStringLiteral("on hold"));
    lines().panelSelected(kLine);
    InfoEdit& info = *m_gui->infoEdit();
    QWidget* target = nullptr;
    if (field == QLatin1String("name"))
        target = &info.nameEditor();
    else if (field == QLatin1String("location"))
        target = &info.locationEditor();
    else if (field == QLatin1String("topic"))
        target = &info.topicEditor();
    else if (field == QLatin1String("notes"))
        target = &info.notesEditor();
    else if (field == QLatin1String("chat"))
        target = &m_gui->chat()->input();
    if (target) {
        target->setFocus(Qt::MouseFocusReason);
        QVERIFY(target->hasFocus());
    }

    const QStringList frames = framesOf([&] { type(window(), text); });
    QStringList kinds;
    for (const QString& f : frames)
        kinds << f.section(QLatin1Char(' '), 0, 0);
    kinds.removeDuplicates();
    QCOMPARE(kinds, expect.isEmpty() ? QStringList() : QStringList{expect});
    if (field == QLatin1String("chat")) {
        QCOMPARE(frames.size(), 1);
        QCOMPARE(frames.first(), "chat_data from=console text=\"" + text.chopped(1) + '"');
    } else if (field == QLatin1String("name")) {
        // One record per keystroke that changed the text.
        QCOMPARE(frames.size(), text.size() - 1);
        QCOMPARE(info.nameEditor().text(), text.chopped(1));
    }
}

void TestKeyboard::focusKeys()
{
    InfoEdit& info = *m_gui->infoEdit();
    Chat& chat = *m_gui->chat();
    QGraphicsScene& scene = m_gui->consoleScene();
    QSignalSpy callLog(m_gui.get(), &MIRTGui::callLogRequested);

    // Before a line is chosen the editors are disabled: nothing to type in.
    press(window(), QStringLiteral("Ctrl+E"));
    QVERIFY(!info.nameEditor().hasFocus());

    deliverLine(kLine, QStringLiteral("on hold"));
    press(window(), QStringLiteral("F3"));
    QStringList typed = framesOf([&] {
        press(window(), QStringLiteral("Ctrl+E"));
        type(window(), QStringLiteral("Jo"));
    });
    QVERIFY(info.nameEditor().hasFocus());
    QCOMPARE(scene.focusItem(), info.nameEditor().graphicsProxyWidget());
    QCOMPARE(info.nameEditor().text(), QStringLiteral("Jo"));
    QCOMPARE(typed.size(), 2);

    // Ctrl+E again chooses the whole name, so typing replaces it.
    press(window(), QStringLiteral("Ctrl+T"));
    QVERIFY(chat.input().hasFocus());
    press(window(), QStringLiteral("Ctrl+E"));
    type(window(), QStringLiteral("Ann"));
    QCOMPARE(info.nameEditor().text(), QStringLiteral("Ann"));

    // Escape: back to the console; typing goes nowhere.
    press(window(), QStringLiteral("Esc"));
    QCOMPARE(scene.focusItem(), nullptr);
    typed = framesOf([&] { type(window(), QStringLiteral("xyz\r")); });
    QCOMPARE(typed, QStringList());
    QCOMPARE(info.nameEditor().text(), QStringLiteral("Ann"));

    press(window(), QStringLiteral("Ctrl+T"));
    type(window(), QStringLiteral("hi"));
    QCOMPARE(chat.input().text(), QStringLiteral("hi"));
    // The call log is the application's; the console only asks for it.
    press(window(), QStringLiteral("Ctrl+L"));
    QCOMPARE(callLog.count(), 1);
    press(window(), QStringLiteral("Esc"));
    QCOMPARE(scene.focusItem(), nullptr);
    QCOMPARE(chat.input().text(), QStringLiteral("hi"));
}

void TestKeyboard::fieldsClaimingKeysDoNotWin()
{
    InfoEdit& info = *m_gui->infoEdit();
    Chat& chat = *m_gui->chat();
    ClaimEveryKey claim;
    chat.input().installEventFilter(&claim);
    info.nameEditor().installEventFilter(&claim);

    deliverLine(kLine, QStringLiteral("on hold"));
    lines().panelSelected(kLine);
    press(window(), QStringLiteral("Ctrl+T"));
    type(window(), QStringLiteral("ok"));
    QCOMPARE(chat.input().text(), QStringLiteral("ok"));
    press(window(), QStringLiteral("Ctrl+E"));
    QVERIFY(info.nameEditor().hasFocus());
    QCOMPARE(framesOf([&] { press(window(), QStringLiteral("Alt+H")); }),
             QStringList{"change_line_state command=hold line_id=2"});
    QCOMPARE(framesOf([&] { press(window(), QStringLiteral("F5")); }), QStringList());
    QCOMPARE(int(lines().selectedLine()), 4);
    QCOMPARE(chat.input().text(), QStringLiteral("ok"));
}

void TestKeyboard::dropOnAirArming_data()
{
    QTest::addColumn<QString>("second");   // what comes before the second Alt+D
    QTest::addColumn<QStringList>("wire"); // sent by the second Alt+D
    QTest::addColumn<int>("armedAfter");

    const QStringList drop{"change_line_state command=drop line_id=2"};
    QTest::newRow("second press within the time") << "" << drop << -1;
    QTest::newRow("second press after it") << "expire" << QStringList() << kLine;
    QTest::newRow("the line left the air meanwhile") << "on hold" << drop << -1;
    QTest::newRow("another line chosen meanwhile") << "F4" << QStringList() << kLine + 1;
    QTest::newRow("typing a name meanwhile") << "Ctrl+E" << drop << -1;
}

void TestKeyboard::dropOnAirArming()
{
    QFETCH(QString, second);
    QFETCH(QStringList, wire);
    QFETCH(int, armedAfter);

    deliverLine(kLine, QStringLiteral("on air"));
    deliverLine(kLine + 1, QStringLiteral("on air"));
    lines().panelSelected(kLine);
    DropButton& button = lines().line(kLine)->dropButton();
    // The time is the real-time test's; here it ends only when a row says
    // so, however slowly a sanitizer build on a busy machine runs the rest.
    keyboard().setDropArmInterval(60 * 1000);

    QCOMPARE(framesOf([&] { press(window(), QStringLiteral("Alt+D")); }), QStringList());
    QCOMPARE(keyboard().armedLine(), kLine);
    QVERIFY(button.isArmed());

    // Armed, the button blinks with the console's lamps: unlit on even ticks
    // of the shared clock, lit on odd ones, and drawn that way.
    const auto faceAt = [&](int tick) {
        emit lines().blink(tick);
        QImage image(40, 40, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        button.paint(&painter, nullptr, nullptr);
        // On the face, above the label.
        return image.pixelColor(19, 10);
    };
    QCOMPARE(faceAt(2), QColor(221, 221, 255));
    QCOMPARE(faceAt(3), QColor(255, 0, 51));
    QCOMPARE(faceAt(4), QColor(221, 221, 255));

    if (second == QLatin1String("expire")) {
        // Shortened from here on, so the row need not wait the 1.5 s.
        keyboard().setDropArmInterval(10);
        QVERIFY(waitFor([&] { return keyboard().armedLine() < 0; }, 2000));
        keyboard().setDropArmInterval(60 * 1000);
    } else if (second == QLatin1String("on hold"))
        deliverLine(kLine, second);
    else if (!second.isEmpty())
        press(window(), second);
    if (second == QLatin1String("expire"))
        QCOMPARE(faceAt(4), QColor(255, 0, 51));

    QCOMPARE(framesOf([&] { press(window(), QStringLiteral("Alt+D")); }), wire);
    QCOMPARE(keyboard().armedLine(), armedAfter);
    QCOMPARE(button.isArmed(), armedAfter == kLine);
    if (armedAfter < 0)
        QCOMPARE(faceAt(4), QColor(255, 0, 51));
}

void TestKeyboard::dropArmingInRealTime()
{
    deliverLine(kLine, QStringLiteral("on air"));
    press(window(), QStringLiteral("F3"));
    QCOMPARE(keyboard().dropArmTimer().interval(), 1500);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(framesOf([&] { press(window(), QStringLiteral("Alt+D")); }), QStringList());
    QCOMPARE(keyboard().armedLine(), kLine);
    QVERIFY(waitFor([&] { return keyboard().armedLine() < 0; }, 3000));
    const qint64 armedFor = clock.elapsed();
    QVERIFY2(armedFor >= 1490 && armedFor < 2500, qPrintable(QString::number(armedFor)));
    QVERIFY(!lines().line(kLine)->dropButton().isArmed());
}

void TestKeyboard::overlayListsTheTable()
{
    ShortcutOverlay& overlay = keyboard().overlay();
    QVERIFY(!overlay.isVisible());
    deliverLine(kLine, QStringLiteral("on hold"));
    lines().panelSelected(kLine);
    press(window(), QStringLiteral("Ctrl+T"));
    press(window(), QStringLiteral("Ctrl+/"));
    QVERIFY(overlay.isVisible());
    QCOMPARE(overlay.rowCount(), int(shortcuts::size()));

    // It lies over everything, inside the console, every row inside it, and
    // every row has its keys and its words drawn (dark text on the panel).
    QVERIFY(QRectF(0, 0, 1024, 768).contains(overlay.sceneBoundingRect()));
    for (QGraphicsItem* item : m_gui->consoleScene().items())
        if (item != &overlay)
            QVERIFY(item->zValue() < overlay.zValue());
    QImage image(overlay.boundingRecti().size(), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        overlay.paint(&painter, nullptr, nullptr);
    }
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
    QCOMPARE(framesOf([&] { press(window(), QStringLiteral("Alt+H")); }), QStringList());
    QVERIFY(!overlay.isVisible());
    press(window(), QStringLiteral("Ctrl+/"));
    QVERIFY(overlay.isVisible());
    type(window(), QStringLiteral("q"));
    QVERIFY(!overlay.isVisible());
    QCOMPARE(m_gui->chat()->input().text(), QString());

    // The drawn buttons name their keys.
    Line& line = *lines().line(kLine);
    QCOMPARE(line.answerButton().toolTip(), QStringLiteral("ANSWER (Alt+A)"));
    QCOMPARE(line.dropButton().toolTip(), QStringLiteral("DROP (Alt+D)"));
    QCOMPARE(top().aaButton().toolTip(), QStringLiteral("AA (Alt+U)"));
    QCOMPARE(top().menuBar()->toolTip(), QStringLiteral("Surfaces (Ctrl+1 to Ctrl+6)"));
}

void TestKeyboard::readmeMatchesTheTable()
{
    QFile readme(QStringLiteral(MIRT_SOURCE_DIR "/README.md"));
    QVERIFY(readme.open(QIODevice::ReadOnly | QIODevice::Text));
    const QStringList text = QString::fromUtf8(readme.readAll()).split(QLatin1Char('\n'));
    const int start = text.indexOf(QStringLiteral("## Working from the keyboard"));
    QVERIFY(start >= 0);

    // The rows of the first table in that section: | Keys | Name | What it does |
    QStringList rows;
    bool inTable = false;
    for (int i = start + 1; i < text.size() && !text[i].startsWith(QLatin1String("## ")); ++i) {
        const QString line = text[i].trimmed();
        if (!line.startsWith(QLatin1Char('|'))) {
            if (inTable)
                break;
            continue;
        }
        inTable = true;
        QStringList cells = line.mid(1, line.size() - 2).split(QLatin1Char('|'));
        for (QString& c : cells)
            c = c.trimmed().remove(QLatin1Char('`')).remove(QStringLiteral("**"));
        rows << cells.join(QStringLiteral(" | "));
    }
    QVERIFY(rows.size() > 2);
    QStringList expected{QStringLiteral("Keys | Action | What it does"), rows[1]};
    for (const Shortcut* s = shortcuts::begin(); s != shortcuts::end(); ++s)
        expected << QStringLiteral("%1 | %2 | %3")
                        .arg(s->keysText(), QString::fromLatin1(s->name), QString::fromLatin1(s->does));
    QCOMPARE(rows, expected);
}

QTEST_MAIN(TestKeyboard)
#include "tst_keyboard.moc"
