#include "notificationserver.h"

#include "app/attentionsettings.h"
#include "app/consoleoptions.h"
#include "app/mainwindow.h"
#include "attention/consoleattention.h"
#include "attention/desktopnotifier.h"
#include "console/chat.h"
#include "console/customgraphicsview.h"
#include "console/line.h"
#include "console/lines.h"
#include "console/mirtgui.h"
#include "console/top.h"
#include "sim/unitsimulator.h"
#include "tests/support/barrier.h"
#include "tests/support/logcapture.h"
#include "tests/support/modal.h"
#include "tests/support/settings.h"
#include "tests/support/unit.h"
#include "tests/support/wait.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTableView>
#include <QtTest>

#include <memory>

using namespace testsupport;
using Messages = QList<Message>;

namespace {

// Generous: a sanitizer build starts consoles and buses slowly.
const int kWaitMs = 20000;
const QStringList kCapabilities{"body", "body-markup", "actions"};
QString g_bus;                  // the private bus's address
QWidget* g_elsewhere = nullptr; // the window the user works in meanwhile

QDBusConnection newConnection()
{
    static int count = 0;
    return QDBusConnection::connectToBus(g_bus, QStringLiteral("c%1").arg(++count));
}

// The user works in another window.
bool lookElsewhere()
{
    g_elsewhere->show();
    g_elsewhere->activateWindow();
    return waitFor([] { return g_elsewhere->isActiveWindow(); }, kWaitMs);
}

Message ls(const QString& line, const QString& status, bool priority = false, unsigned ringNum = 0)
{
    Message m;
    m.set_name("line_status");
    m.params().set_qstring("line_id", line);
    m.params().set_qstring("status", status);
    m.params().set_bool("priority", priority);
    m.params().set_uint("ring_num", ringNum);
    return m;
}

Message chatLine(const QString& from, const QString& text)
{
    Message m;
    m.set_name("chat_data");
    m.params().set_qstring("from", from);
    m.params().set_qstring("text", text);
    return m;
}

// A right click at a point of a widget; the menu it opened, if any.
QMenu* contextMenu(QWidget* viewport, const QPoint& at)
{
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, viewport->mapToGlobal(at));
    QApplication::sendEvent(viewport, &event);
    return qobject_cast<QMenu*>(QApplication::activePopupWidget());
}

// One console logged into its own simulated unit, watched for attention.
struct Station
{
    Station(DesktopNotifier& notifier, AttentionSettings& settings)
        : notifier(notifier)
        , unit(startUnit())
    {
        if (!unit)
            return;
        unit->setTickInterval(3600 * 1000);
        key = unitKey(*unit);
        gui = std::make_unique<MIRTGui>(QStringLiteral("127.0.0.1"), unit->port(), QStringLiteral("studio"),
                                        QStringLiteral("tavrik"));
        attention = new ConsoleAttention(*gui, key, notifier, settings);
        // Twice: the first round's answers make the lines send cleared caller
        // records, which the unit echoes in turn.
        ready = waitFor([this] { return gui->session().getState() == IPCObject::IPC_READY; }, kWaitMs) && sync()
            && sync();
    }

    bool sync() { return roundTrip(gui->session(), *unit, kWaitMs); }
    // Whatever the console decided has been told to the service and
    // answered: nothing more can arrive there without a new event.
    bool settled()
    {
        return sync() && waitFor([&] { return !attention->hasUnsent() && notifier.pendingCalls() == 0; }, kWaitMs);
    }
    bool lookAway()
    {
        return lookElsewhere() && waitFor([&] { return !attention->consoleIsActive(); }, kWaitMs);
    }
    bool lookAt()
    {
        gui->consoleView().activateWindow();
        return waitFor([&] { return attention->consoleIsActive(); }, kWaitMs);
    }

    DesktopNotifier& notifier;
    std::unique_ptr<UnitSimulator> unit;
    std::unique_ptr<MIRTGui> gui;
    ConsoleAttention* attention = nullptr;
    QString key;
    bool ready = false;
};

// A notification service on the bus, the program's notifier on a connection
// of its own, and one console.
struct Rig
{
    explicit Rig(const QStringList& capabilities = kCapabilities)
        : serving(server.start(g_bus, QStringLiteral("server%1").arg(++count), capabilities))
    {
    }
    bool ready() const { return serving && s.ready; }

    static inline int count = 0;
    NotificationServer server;
    bool serving;
    DesktopNotifier notifier{newConnection()};
    AttentionSettings settings;
    Station s{notifier, settings};
};

int unavailableLines(const LogCapture& log)
{
    return log.lines(QtWarningMsg).filter(QStringLiteral("desktop notifications unavailable")).size();
}

} // namespace

class TestAttention : public QObject
{
    Q_OBJECT

    PrivateBus m_bus;
    QString m_home;
    QWidget m_elsewhere;

private slots:
    void initTestCase()
    {
        m_home = isolateSettings();
        QVERIFY2(m_bus.start(), qPrintable(m_bus.error()));
        g_bus = m_bus.address();
        // Everything that uses the session bus in this process uses ours.
        qputenv("DBUS_SESSION_BUS_ADDRESS", g_bus.toUtf8());
        m_elsewhere.setWindowTitle(QStringLiteral("elsewhere"));
        m_elsewhere.resize(200, 100);
        g_elsewhere = &m_elsewhere;
    }

    void init() { settingsStore().clear(); }

    // Line states and chat lines in the order the unit sends them, with the
    // window inactive: what the service was told, each as its summary and
    // whatever the body says after naming the unit, and how many are on show.
    // Chat text is plain text: escaped for a service that reads markup, as
    // it is for one that does not, and cut to 200 characters.
    void events_data()
    {
        QTest::addColumn<Messages>("messages");
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<int>("visible");
        QTest::addColumn<bool>("markup"); // the service reads markup
        QTest::addColumn<bool>("active"); // the user looks at the console
        const auto row
            = [](const char* name, const Messages& messages, const QStringList& calls, int visible, bool markup = true,
                 bool active = false) { QTest::newRow(name) << messages << calls << visible << markup << active; };
        const QString ring = "ringing", hold = "on hold", idle = "on hook (idle)";
        const QString tags = "<b>bold</b> & <a href=\"x\">link</a>";
        const QString as(150, QLatin1Char('a'));

        row("ringing", {ls("2", ring)}, {"Line 3 ringing"}, 1);
        row("the same call reported again", {ls("2", ring, false, 1), ls("2", ring, false, 2)}, {"Line 3 ringing"}, 1);
        row("a held line put on priority", {ls("4", hold), ls("4", hold, true), ls("4", hold, true)},
            {"Line 5 on priority"}, 1);
        row("nothing to look at", {ls("0", idle), ls("1", hold), ls("3", "on air")}, {}, 0);
        row("a new call on the line", {ls("7", ring), ls("7", idle), ls("7", ring)},
            {"Line 8 ringing", "Line 8 ringing"}, 1);
        row("ringing, then priority", {ls("2", ring), ls("2", ring, true)},
            {"Line 3 ringing", "Line 3 ringing; Line 3 on priority"}, 1);
        row("a call that stops ringing unseen", {ls("2", ring), ls("2", hold)}, {"Line 3 ringing"}, 0);
        row("chat", {chatLine("studio", "Line 3 is the mayor")}, {"Chat from studio\nLine 3 is the mayor"}, 1);
        row("chat markup escaped", {chatLine("studio", tags)},
            {"Chat from studio\n&lt;b&gt;bold&lt;/b&gt; &amp; &lt;a href=\"x\"&gt;link&lt;/a&gt;"}, 1);
        row("chat cut to 200 characters", {chatLine("screener 2", as + QString(150, QLatin1Char('<')))},
            {"Chat from screener 2\n" + as + QString("&lt;").repeated(49) + QChar(0x2026)}, 1);
        row("chat, service without markup", {chatLine("studio", tags)}, {"Chat from studio\n" + tags}, 1, false);
        row("chat with control characters",
            {chatLine(QStringLiteral("stu") + QChar(0x7f) + "dio", QStringLiteral("a") + QChar(0x85) + "b\nc")},
            {"Chat from stu dio\na b\nc"}, 1);
        row("the console active", {ls("2", ring), chatLine("studio", "Line 3 is for you")}, {}, 0, true, true);
    }

    void events()
    {
        QFETCH(Messages, messages);
        QFETCH(QStringList, calls);
        QFETCH(int, visible);
        QFETCH(bool, markup);
        QFETCH(bool, active);
        Rig r(markup ? kCapabilities : QStringList{"body", "actions"});
        QVERIFY(r.ready());
        QVERIFY(active ? r.s.lookAt() : r.s.lookAway());
        QSignalSpy alerts(r.s.attention, &ConsoleAttention::alerted);

        for (const Message& m : qAsConst(messages))
            r.s.unit->sendMessage(m);
        QVERIFY(r.s.settled());

        const QList<NotificationServer::Call>& told = r.server.calls;
        const QString unit = QStringLiteral("%1 (studio)").arg(r.s.key);
        QStringList seen;
        for (const NotificationServer::Call& c : told)
            seen << (c.body.startsWith(unit) ? c.summary + c.body.mid(unit.size()) : c.body);
        QCOMPARE(seen, calls);
        QCOMPARE(alerts.isEmpty(), calls.isEmpty());
        // The console's own chat history is not touched by any of this.
        const Params& first = messages.first().params();
        if (messages.first().get_name() == "chat_data")
            QVERIFY(r.s.gui->chat()->history().toPlainText().contains(first.get_qstring("from", {}).left(3)));
        if (calls.isEmpty())
            return;
        QCOMPARE(told.first().appName, QStringLiteral("MIRT Desktop Control"));
        QCOMPARE(told.first().replacesId, 0u);
        QVERIFY(told.first().actions.contains(QStringLiteral("default")));
        QCOMPARE(told.first().hints.value(QStringLiteral("urgency")).toInt(), 1);
        QCOMPARE(alerts.first().first().value<QWidget*>(), static_cast<QWidget*>(&r.s.gui->consoleView()));
        // A later one takes the earlier one's place (unless that went), and
        // comes a second later.
        for (int i = 1; i < told.size(); ++i) {
            QCOMPARE(told[i].replacesId, r.server.closed.contains(told[i - 1].id) ? 0u : told[i - 1].id);
            QVERIFY(told[i].atMs - told[i - 1].atMs >= ConsoleAttention::MIN_INTERVAL_MS);
        }
        QCOMPARE(r.server.visible().size(), visible);
        QCOMPARE(r.s.attention->notificationId(), visible ? told.last().id : 0u);
    }

    // Away from the console, its own chat line and its own priority press
    // come back from the unit; neither is news to this user.
    void ownActions()
    {
        Rig r;
        Station& s = r.s;
        QVERIFY(r.ready());
        QSignalSpy alerts(s.attention, &ConsoleAttention::alerted);
        QVERIFY(s.lookAway());
        s.gui->chat()->input().setText(QStringLiteral("on my way"));
        s.gui->chat()->send();
        s.gui->selectLine(2);
        s.gui->top()->toPriority();
        QVERIFY(s.settled());
        QCOMPARE(s.unit->line(2).priority, true);
        QVERIFY(r.server.calls.isEmpty());
        QVERIFY(alerts.isEmpty());

        // The same words from another position are.
        s.unit->sendMessage(chatLine(QStringLiteral("console"), QStringLiteral("on my way")));
        QVERIFY(s.settled());
        QCOMPARE(r.server.calls.size(), 1);
        QCOMPARE(r.server.calls.first().summary, QStringLiteral("Chat from console"));
        QCOMPARE(alerts.size(), 1);
    }

    // Twelve calls at once: one notification for the unit, replaced rather
    // than stacked, and not more than one a second.
    void twelveAtOnce()
    {
        Rig r;
        Station other(r.notifier, r.settings);
        QVERIFY(r.ready() && other.ready);
        QVERIFY(r.s.lookAway() && !other.attention->consoleIsActive());

        for (unsigned line = 0; line < 12; ++line)
            QVERIFY(r.s.unit->ring(line));
        QVERIFY(other.unit->ring(5));
        QVERIFY(r.s.settled() && other.settled());

        QList<NotificationServer::Call> mine;
        for (const NotificationServer::Call& c : qAsConst(r.server.calls))
            if (c.body.startsWith(r.s.key))
                mine << c;
        QVERIFY(!mine.isEmpty() && mine.size() <= 3);
        QCOMPARE(mine.last().summary, QStringLiteral("Lines 1–12 ringing"));
        for (int i = 1; i < mine.size(); ++i) {
            QCOMPARE(mine[i].replacesId, mine.first().id);
            QVERIFY(mine[i].atMs - mine[i - 1].atMs >= ConsoleAttention::MIN_INTERVAL_MS);
        }
        // One for each unit on show.
        QCOMPARE(r.server.visible().size(), 2);
        QCOMPARE(r.server.calls.size(), mine.size() + 1);
    }

    // A click on the notification brings the console forward with the
    // ringing line selected, also from the taskbar; looking at the console
    // takes the notification down.
    void clickBringsTheConsole_data()
    {
        QTest::addColumn<bool>("minimised");
        QTest::newRow("behind another window") << false;
        QTest::newRow("minimised") << true;
    }

    void clickBringsTheConsole()
    {
        QFETCH(bool, minimised);
        Rig r;
        Station& s = r.s;
        NotificationServer& server = r.server;
        QVERIFY(r.ready());
        QVERIFY(s.lookAway());
        if (minimised)
            s.gui->consoleView().showMinimized();

        QVERIFY(s.unit->ring(2));
        QVERIFY(s.settled());
        QCOMPARE(server.calls.size(), 1);
        const uint id = server.calls.first().id;

        // Someone else's notification, and another action, do nothing.
        server.invoke(id + 100, QStringLiteral("default"));
        server.invoke(id, QStringLiteral("other"));
        QVERIFY(s.settled());
        QVERIFY(!s.attention->consoleIsActive());

        server.click(id);
        QVERIFY(waitFor([&] { return s.attention->consoleIsActive(); }, kWaitMs));
        QVERIFY(!s.gui->consoleView().isMinimized());
        QVERIFY(s.gui->lines()->hasSelection());
        QCOMPARE(s.gui->lines()->selectedLine(), 2u);
        QCOMPARE(s.attention->notificationId(), 0u);

        // Away again: a new call notifies anew; coming back takes it down.
        QVERIFY(s.lookAway());
        QVERIFY(s.unit->ring(4));
        QVERIFY(s.settled());
        QCOMPARE(server.calls.size(), 2);
        QCOMPARE(server.calls.last().replacesId, 0u);
        const uint second = server.calls.last().id;
        QVERIFY(s.lookAt());
        QVERIFY(waitFor([&] { return server.closed.contains(second); }, kWaitMs));
        QVERIFY(server.visible().isEmpty());
        QCOMPARE(s.gui->lines()->selectedLine(), 2u);
    }

    // Without a bus, or without a service on it, the consoles work on, and
    // one line says why nothing is shown.
    void noService_data()
    {
        QTest::addColumn<bool>("bus");
        QTest::newRow("no bus at all") << false;
        QTest::newRow("no notification service") << true;
    }

    void noService()
    {
        QFETCH(bool, bus);
        const QDBusConnection connection = bus
            ? newConnection()
            : QDBusConnection::connectToBus(QStringLiteral("unix:path=%1/no-bus").arg(m_home), QStringLiteral("nobus"));
        QCOMPARE(connection.isConnected(), bus);
        LogCapture log(LogCapture::Forward::Others);
        DesktopNotifier notifier(connection);
        AttentionSettings settings;
        Station first(notifier, settings);
        Station second(notifier, settings);
        QVERIFY(first.ready && second.ready);
        QVERIFY(first.lookAway() && !second.attention->consoleIsActive());
        QSignalSpy alerts(first.attention, &ConsoleAttention::alerted);

        QVERIFY(first.unit->ring(2));
        QVERIFY(second.unit->ring(3));
        first.unit->sendMessage(chatLine(QStringLiteral("studio"), QStringLiteral("anyone?")));
        QVERIFY(first.settled() && second.settled());
        QCOMPARE(unavailableLines(log), 1);
        QCOMPARE(first.attention->notificationId(), 0u);
        QCOMPARE(alerts.size(), 2);

        // The console itself carries on: the call shows, and is answered.
        QCOMPARE(first.gui->lines()->line(2)->state().status, QStringLiteral("ringing"));
        first.gui->lines()->line(2)->holdPressed();
        QVERIFY(first.sync());
        QCOMPARE(first.unit->line(2).status, QStringLiteral("on hold"));
        QCOMPARE(first.gui->session().getState(), IPCObject::IPC_READY);
        QCOMPARE(unavailableLines(log), 1);
    }

    // The switches, through the main window and the console's context
    // menu, and what they do; kept in the settings store beside the
    // directory, which keeps its format.
    void switches()
    {
        NotificationServer server;
        QVERIFY(server.start(g_bus, QStringLiteral("server-switches"), kCapabilities));
        auto unit = startUnit();
        QVERIFY(unit);
        unit->setTickInterval(3600 * 1000);
        const QString key = unitKey(*unit);
        const QStringList entry{key, QStringLiteral("screener")};
        Utf8Settings store = settingsStore();
        store.setValue(QStringLiteral("hostTable"), QVariantList{entry});

        auto window = std::make_unique<MainWindow>();
        window->show();
        auto* table = child<QTableView>(window.get(), "tableUnits");
        const QPoint onRow = table->visualRect(table->model()->index(0, 0)).center();
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, onRow);
        window->handleConnect();
        MIRTGui* gui = window->console(key);
        QVERIFY(gui);
        auto* attention = gui->findChild<ConsoleAttention*>();
        QVERIFY(attention);
        QVERIFY(waitFor([&] { return gui->session().getState() == IPCObject::IPC_READY; }, kWaitMs));
        QVERIFY(lookElsewhere());
        QVERIFY(waitFor([&] { return !attention->consoleIsActive(); }, kWaitMs));
        QSignalSpy alerts(attention, &ConsoleAttention::alerted);

        // The unit's own switch, from the console's context menu.
        CustomGraphicsView& view = gui->consoleView();
        QMenu* menu = contextMenu(view.viewport(), view.mapFromScene(QPointF(300, 80)));
        QVERIFY(menu);
        QStringList texts;
        for (QAction* a : menu->actions())
            texts << a->text();
        QCOMPARE(texts,
                 QStringList({"Notify for This Unit", "Desktop Notifications", "Taskbar Alert", "", "High Contrast"}));
        menu->actions().first()->trigger();
        // The console's own switch, kept by the program.
        menu->actions().last()->trigger();
        menu->close();
        QCOMPARE(store.value(key + QStringLiteral("/notifications")).toBool(), false);
        QVERIFY(gui->highContrast());
        QCOMPARE(store.value(QStringLiteral("console/highContrast")).toBool(), true);
        QVERIFY(unit->ring(0));
        QVERIFY(waitFor([&] { return alerts.size() == 1; }, kWaitMs));
        QVERIFY(!attention->hasUnsent());

        // Back on for the unit, all off from the main window's menu.
        window->attentionSettings().setUnitNotificationsEnabled(key, true);
        auto* options = child<QPushButton>(window.get(), "buttonNotifications");
        QVERIFY(options && options->menu());
        emit options->menu()->aboutToShow();
        auto* all = child<QAction>(options->menu(), "actionNotifications");
        auto* unitSwitch = child<QAction>(options->menu(), "actionUnitNotifications");
        QVERIFY(all && unitSwitch);
        QVERIFY(all->isChecked() && unitSwitch->isChecked());
        all->trigger();
        QCOMPARE(store.value(QStringLiteral("attention/notifications")).toBool(), false);
        QVERIFY(unit->ring(1));
        QVERIFY(waitFor([&] { return alerts.size() == 2; }, kWaitMs));

        // Notifications back on, the taskbar alert off, from the table's
        // context menu: a notification and no alert.
        QMenu* tableMenu = contextMenu(table->viewport(), onRow);
        QVERIFY(tableMenu);
        QVERIFY(child<QAction>(tableMenu, "actionUnitNotifications"));
        child<QAction>(tableMenu, "actionNotifications")->trigger();
        child<QAction>(tableMenu, "actionTaskbarAlert")->trigger();
        tableMenu->close();
        QCOMPARE(store.value(QStringLiteral("attention/urgencyHint")).toBool(), false);
        QVERIFY(unit->ring(2));
        QVERIFY(waitFor([&] { return server.calls.size() == 1; }, kWaitMs));
        QCOMPARE(server.calls.first().summary, QStringLiteral("Line 3 ringing"));
        QCOMPARE(server.calls.first().body, QStringLiteral("%1 (screener)").arg(key));
        QCOMPARE(alerts.size(), 2);

        // Kept for the next run, and the directory is read as before.
        window->close();
        window.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        AttentionSettings again;
        QVERIFY(again.notificationsEnabled() && !again.urgencyHintEnabled() && again.unitNotificationsEnabled(key));
        QVERIFY(ConsoleOptions().highContrast());
        QCOMPARE(store.value(QStringLiteral("hostTable")).toList().first().toStringList(), entry);
    }

    // An embedded widget keeps its own context menu.
    void embeddedWidgetsKeepTheirMenu()
    {
        Rig r;
        QVERIFY(r.ready());
        CustomGraphicsView& view = r.s.gui->consoleView();
        const QPoint onInput = view.mapFromScene(QPointF(720, 365));
        // A proxied widget opens its menu only while it has the focus.
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, onInput);
        QVERIFY(r.s.gui->chat()->input().hasFocus());
        contextMenu(view.viewport(), onInput);
        // The input's own menu, which the scene shows embedded beside it.
        auto* own = r.s.gui->chat()->input().findChild<QMenu*>();
        QVERIFY(own && own->isVisible());
        own->close();
        QVERIFY(!QApplication::activePopupWidget());
    }

    void lineList_data()
    {
        QTest::addColumn<QList<unsigned>>("lines");
        QTest::addColumn<QString>("text");
        QTest::newRow("one") << QList<unsigned>{2} << "3";
        QTest::newRow("two in a row") << QList<unsigned>{0, 1} << "1, 2";
        QTest::newRow("all twelve") << QList<unsigned>{11, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10} << "1–12";
        QTest::newRow("runs and gaps") << QList<unsigned>{9, 4, 1, 2, 3, 4, 11} << "2–5, 10, 12";
    }

    void lineList()
    {
        QFETCH(QList<unsigned>, lines);
        QFETCH(QString, text);
        QCOMPARE(ConsoleAttention::lineList(lines), text);
    }
};

QTEST_MAIN(TestAttention)
#include "tst_attention.moc"
