#include "notificationserver.h"

#include "app/attentionsettings.h"
#include "app/consoleattention.h"
#include "app/desktopnotifier.h"
#include "app/mainwindow.h"
#include "console/chat.h"
#include "console/customgraphicsview.h"
#include "console/line.h"
#include "console/lines.h"
#include "console/mirtgui.h"
#include "console/top.h"
#include "sim/unitsimulator.h"
#include "tests/support/barrier.h"
#include "tests/support/logcapture.h"
#include "tests/support/settings.h"
#include "tests/support/unit.h"
#include "tests/support/wait.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDBusConnection>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTableView>
#include <QtTest>

#include <memory>

using testsupport::waitFor;

namespace {

const QString kHost = QStringLiteral("127.0.0.1");
// Generous: a sanitizer build starts consoles and buses slowly.
const int kWaitMs = 20000;

Message lineStatus(const QString& line, const QString& status, bool priority = false, unsigned ringNum = 0)
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

// One console logged into its own simulated unit, watched for attention.
struct Station
{
    Station(DesktopNotifier& notifier, AttentionSettings& settings)
    {
        unit = testsupport::startUnit();
        if (!unit)
            return;
        unit->setTickInterval(3600 * 1000);
        key = testsupport::unitKey(*unit);
        gui = std::make_unique<MIRTGui>(kHost, unit->port(), QStringLiteral("studio"), QStringLiteral("tavrik"));
        attention = new ConsoleAttention(*gui, key, notifier, settings);
        // Twice: the first round's answers make the lines send cleared caller
        // records, which the unit echoes in turn.
        ready = waitFor([this] { return gui->session().getState() == IPCObject::IPC_READY; }, kWaitMs) && sync()
            && sync();
    }

    bool sync() { return testsupport::roundTrip(gui->session(), *unit, kWaitMs); }

    std::unique_ptr<UnitSimulator> unit;
    std::unique_ptr<MIRTGui> gui;
    ConsoleAttention* attention = nullptr;
    QString key;
    bool ready = false;
};

int unavailableLines(const testsupport::LogCapture& log)
{
    return log.lines(QtWarningMsg).filter(QStringLiteral("desktop notifications unavailable")).size();
}

} // namespace

class TestAttention : public QObject
{
    Q_OBJECT

private:
    PrivateBus m_bus;
    QString m_home;
    QWidget m_elsewhere; // the window the user works in meanwhile
    int m_connections = 0;

    QDBusConnection newConnection()
    {
        return QDBusConnection::connectToBus(m_bus.address(), QStringLiteral("c%1").arg(++m_connections));
    }

    // The user works in another window.
    bool lookAway(Station& s)
    {
        m_elsewhere.show();
        m_elsewhere.activateWindow();
        return waitFor([&] { return !s.attention->consoleIsActive() && m_elsewhere.isActiveWindow(); }, kWaitMs);
    }

    bool lookAt(Station& s)
    {
        s.gui->consoleView().activateWindow();
        return waitFor([&] { return s.attention->consoleIsActive(); }, kWaitMs);
    }

    // Whatever the console decided has been told to the service and
    // answered: nothing more can arrive there without a new event.
    static bool settled(Station& s, DesktopNotifier& notifier)
    {
        return s.sync() && waitFor([&] { return !s.attention->hasUnsent() && notifier.pendingCalls() == 0; }, kWaitMs);
    }

private slots:
    void initTestCase()
    {
        m_home = testsupport::isolateSettings();
        QVERIFY2(m_bus.start(), qPrintable(m_bus.error()));
        // Everything that uses the session bus in this process uses ours.
        qputenv("DBUS_SESSION_BUS_ADDRESS", m_bus.address().toUtf8());
        m_elsewhere.setWindowTitle(QStringLiteral("elsewhere"));
        m_elsewhere.resize(200, 100);
    }

    void init() { testsupport::settingsStore().clear(); }

    // The active decision, for the window states a desktop has.
    void windowIsActive_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<bool>("active");
        QTest::newRow("active") << "active" << true;
        QTest::newRow("another window active") << "elsewhere" << false;
        QTest::newRow("minimised") << "minimised" << false;
        QTest::newRow("hidden") << "hidden" << false;
    }

    void windowIsActive()
    {
        QFETCH(QString, state);
        QFETCH(bool, active);
        QWidget window;
        window.show();
        window.activateWindow();
        QVERIFY(waitFor([&] { return window.isActiveWindow(); }, kWaitMs));
        if (state == QLatin1String("elsewhere")) {
            m_elsewhere.show();
            m_elsewhere.activateWindow();
            QVERIFY(waitFor([&] { return m_elsewhere.isActiveWindow(); }, kWaitMs));
        } else if (state == QLatin1String("minimised")) {
            window.showMinimized();
        } else if (state == QLatin1String("hidden")) {
            window.hide();
        }
        QCOMPARE(ConsoleAttention::windowIsActive(&window), active);
        QVERIFY(!ConsoleAttention::windowIsActive(nullptr));
    }

    // Line states in the order the unit reports them, with the window
    // inactive; what the service shows after each batch.
    void lineEvents_data()
    {
        QTest::addColumn<QList<Message>>("messages");
        QTest::addColumn<QStringList>("summaries");
        QTest::addColumn<int>("visible");
        const QString ringing = QStringLiteral("ringing");
        const QString hold = QStringLiteral("on hold");
        QTest::newRow("ringing") << QList<Message>{lineStatus("2", ringing)} << QStringList{"Line 3 ringing"} << 1;
        QTest::newRow("the same call reported again")
            << QList<Message>{lineStatus("2", ringing, false, 1), lineStatus("2", ringing, false, 2)}
            << QStringList{"Line 3 ringing"} << 1;
        QTest::newRow("a held line put on priority")
            << QList<Message>{lineStatus("4", hold), lineStatus("4", hold, true), lineStatus("4", hold, true)}
            << QStringList{"Line 5 on priority"} << 1;
        QTest::newRow("nothing to look at")
            << QList<Message>{lineStatus("0", "on hook (idle)"), lineStatus("1", hold), lineStatus("3", "on air")}
            << QStringList{} << 0;
        QTest::newRow("lines the unit does not have")
            << QList<Message>{lineStatus("12", ringing), lineStatus("abc", ringing), lineStatus("-1", ringing),
                              lineStatus("4294967298", ringing)}
            << QStringList{} << 0;
        QTest::newRow("a new call on the line")
            << QList<Message>{lineStatus("7", ringing), lineStatus("7", "on hook (idle)"), lineStatus("7", ringing)}
            << QStringList{"Line 8 ringing", "Line 8 ringing"} << 1;
        QTest::newRow("ringing, then priority")
            << QList<Message>{lineStatus("2", ringing), lineStatus("2", ringing, true)}
            << QStringList{"Line 3 ringing", "Line 3 ringing; Line 3 on priority"} << 1;
        QTest::newRow("a call that stops ringing unseen")
            << QList<Message>{lineStatus("2", ringing), lineStatus("2", "on hold")} << QStringList{"Line 3 ringing"}
            << 0;
        QTest::newRow("one of two calls stops ringing")
            << QList<Message>{lineStatus("2", ringing), lineStatus("4", ringing), lineStatus("2", "on hook (idle)")}
            << QStringList{"Line 3 ringing", "Line 5 ringing"} << 1;
    }

    void lineEvents()
    {
        QFETCH(QList<Message>, messages);
        QFETCH(QStringList, summaries);
        QFETCH(int, visible);
        NotificationServer server;
        QVERIFY(server.start(m_bus.address(), QStringLiteral("server-lines")));
        DesktopNotifier notifier(newConnection());
        AttentionSettings settings;
        Station s(notifier, settings);
        QVERIFY(s.ready);
        QVERIFY(lookAway(s));
        QSignalSpy alerts(s.attention, &ConsoleAttention::alerted);

        for (const Message& m : qAsConst(messages))
            s.unit->sendMessage(m);
        QVERIFY(settled(s, notifier));

        QStringList seen;
        for (const NotificationServer::Call& c : qAsConst(server.calls))
            seen << c.summary;
        QCOMPARE(seen, summaries);
        QCOMPARE(alerts.isEmpty(), summaries.isEmpty());
        if (summaries.isEmpty())
            return;
        const NotificationServer::Call& first = server.calls.first();
        QCOMPARE(first.appName, QStringLiteral("MIRT Desktop Control"));
        QCOMPARE(first.replacesId, 0u);
        QCOMPARE(first.body, QStringLiteral("%1 (studio)").arg(s.key));
        QVERIFY(first.actions.contains(QStringLiteral("default")));
        QCOMPARE(first.hints.value(QStringLiteral("urgency")).toInt(), 1);
        QCOMPARE(alerts.first().first().value<QWidget*>(), static_cast<QWidget*>(&s.gui->consoleView()));
        // A later one takes the earlier one's place (unless that went), and
        // comes a second later.
        for (int i = 1; i < server.calls.size(); ++i) {
            const NotificationServer::Call& before = server.calls.at(i - 1);
            QCOMPARE(server.calls.at(i).replacesId, server.closed.contains(before.id) ? 0u : before.id);
            QVERIFY(server.calls.at(i).atMs - before.atMs >= ConsoleAttention::MIN_INTERVAL_MS);
        }
        QCOMPARE(server.visible().size(), visible);
        QCOMPARE(s.attention->notificationId(), visible ? server.calls.last().id : 0u);
    }

    // The same events while the user looks at the console, and the console's
    // own actions while they do not: nothing asks for attention.
    void activeWindowAndOwnActions()
    {
        NotificationServer server;
        QVERIFY(server.start(m_bus.address(), QStringLiteral("server-active")));
        DesktopNotifier notifier(newConnection());
        AttentionSettings settings;
        Station s(notifier, settings);
        QVERIFY(s.ready);
        QSignalSpy alerts(s.attention, &ConsoleAttention::alerted);

        QVERIFY(lookAt(s));
        QVERIFY(s.unit->ring(2));
        s.unit->sendMessage(chatLine(QStringLiteral("studio"), QStringLiteral("Line 3 is for you")));
        QVERIFY(settled(s, notifier));
        QVERIFY(server.calls.isEmpty());
        QVERIFY(alerts.isEmpty());

        // Away from the console, its own chat line and its own priority
        // press come back from the unit; neither is news to this user.
        QVERIFY(lookAway(s));
        s.gui->chat()->input().setText(QStringLiteral("on my way"));
        s.gui->chat()->send();
        s.gui->selectLine(2);
        s.gui->top()->toPriority();
        QVERIFY(settled(s, notifier));
        QCOMPARE(s.unit->line(2).priority, true);
        QVERIFY(server.calls.isEmpty());
        QVERIFY(alerts.isEmpty());

        // The same words from another position are.
        s.unit->sendMessage(chatLine(QStringLiteral("console"), QStringLiteral("on my way")));
        QVERIFY(settled(s, notifier));
        QCOMPARE(server.calls.size(), 1);
        QCOMPARE(server.calls.first().summary, QStringLiteral("Chat from console"));
        QCOMPARE(alerts.size(), 1);
    }

    // Twelve calls at once: one notification for the unit, replaced rather
    // than stacked, and not more than one a second.
    void twelveAtOnce()
    {
        NotificationServer server;
        QVERIFY(server.start(m_bus.address(), QStringLiteral("server-twelve")));
        DesktopNotifier notifier(newConnection());
        AttentionSettings settings;
        Station s(notifier, settings);
        Station other(notifier, settings);
        QVERIFY(s.ready && other.ready);
        QVERIFY(lookAway(s) && !other.attention->consoleIsActive());

        for (unsigned line = 0; line < 12; ++line)
            QVERIFY(s.unit->ring(line));
        QVERIFY(other.unit->ring(5));
        QVERIFY(settled(s, notifier) && settled(other, notifier));

        QList<NotificationServer::Call> mine;
        for (const NotificationServer::Call& c : qAsConst(server.calls))
            if (c.body.startsWith(s.key))
                mine << c;
        QVERIFY(!mine.isEmpty() && mine.size() <= 3);
        QCOMPARE(mine.last().summary, QStringLiteral("Lines 1–12 ringing"));
        for (int i = 1; i < mine.size(); ++i) {
            QCOMPARE(mine.at(i).replacesId, mine.first().id);
            QVERIFY(mine.at(i).atMs - mine.at(i - 1).atMs >= ConsoleAttention::MIN_INTERVAL_MS);
        }
        // One for each unit on show.
        QCOMPARE(server.visible().size(), 2);
        QCOMPARE(server.calls.size(), mine.size() + 1);
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
        NotificationServer server;
        QVERIFY(server.start(m_bus.address(), QStringLiteral("server-click")));
        DesktopNotifier notifier(newConnection());
        AttentionSettings settings;
        Station s(notifier, settings);
        QVERIFY(s.ready);
        QVERIFY(lookAway(s));
        if (minimised)
            s.gui->consoleView().showMinimized();

        QVERIFY(s.unit->ring(2));
        QVERIFY(settled(s, notifier));
        QCOMPARE(server.calls.size(), 1);
        const uint id = server.calls.first().id;

        // Someone else's notification, and another action, do nothing.
        server.invoke(id + 100, QStringLiteral("default"));
        server.invoke(id, QStringLiteral("other"));
        QVERIFY(settled(s, notifier));
        QVERIFY(!s.attention->consoleIsActive());

        server.click(id);
        QVERIFY(waitFor([&] { return s.attention->consoleIsActive(); }, kWaitMs));
        QVERIFY(!s.gui->consoleView().isMinimized());
        QVERIFY(s.gui->lines()->hasSelection());
        QCOMPARE(s.gui->lines()->selectedLine(), 2u);
        QCOMPARE(s.attention->notificationId(), 0u);

        // Away again: a new call notifies anew; coming back takes it down.
        QVERIFY(lookAway(s));
        QVERIFY(s.unit->ring(4));
        QVERIFY(settled(s, notifier));
        QCOMPARE(server.calls.size(), 2);
        QCOMPARE(server.calls.last().replacesId, 0u);
        const uint second = server.calls.last().id;
        QVERIFY(lookAt(s));
        QVERIFY(waitFor([&] { return server.closed.contains(second); }, kWaitMs));
        QVERIFY(server.visible().isEmpty());
        QCOMPARE(s.gui->lines()->selectedLine(), 2u);
    }

    // Chat text is plain text: escaped for a service that reads markup, as
    // it is for one that does not, and cut to 200 characters.
    void chatText_data()
    {
        QTest::addColumn<bool>("markup");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("summary");
        QTest::addColumn<QString>("bodyText");
        const QString longText = QString(150, QLatin1Char('a')) + QString(150, QLatin1Char('<'));
        QTest::newRow("plain") << true << "studio"
                               << "Line 3 is the mayor"
                               << "Chat from studio"
                               << "Line 3 is the mayor";
        QTest::newRow("markup escaped") << true << "studio"
                                        << "<b>bold</b> & <a href=\"x\">link</a>"
                                        << "Chat from studio"
                                        << "&lt;b&gt;bold&lt;/b&gt; &amp; &lt;a href=\"x\"&gt;link&lt;/a&gt;";
        QTest::newRow("cut to 200 characters")
            << true << "screener 2" << longText << "Chat from screener 2"
            << QString(150, QLatin1Char('a')) + QStringLiteral("&lt;").repeated(49) + QChar(0x2026);
        QTest::newRow("service without markup") << false << "studio"
                                                << "<b>bold</b> & co"
                                                << "Chat from studio"
                                                << "<b>bold</b> & co";
        QTest::newRow("control characters") << true << QStringLiteral("stu") + QChar(0x7f) + QStringLiteral("dio")
                                            << QStringLiteral("a") + QChar(0x85) + QStringLiteral("b\nc")
                                            << "Chat from stu dio" << QStringLiteral("a b\nc");
        QTest::newRow("no sender") << true << ""
                                   << "hello"
                                   << "Chat"
                                   << "hello";
    }

    void chatText()
    {
        QFETCH(bool, markup);
        QFETCH(QString, from);
        QFETCH(QString, text);
        QFETCH(QString, summary);
        QFETCH(QString, bodyText);
        NotificationServer server;
        QStringList capabilities{QStringLiteral("body"), QStringLiteral("actions")};
        if (markup)
            capabilities << QStringLiteral("body-markup");
        QVERIFY(server.start(m_bus.address(), QStringLiteral("server-chat"), capabilities));
        DesktopNotifier notifier(newConnection());
        AttentionSettings settings;
        Station s(notifier, settings);
        QVERIFY(s.ready);
        QVERIFY(lookAway(s));

        s.unit->sendMessage(chatLine(from, text));
        QVERIFY(settled(s, notifier));
        QCOMPARE(server.calls.size(), 1);
        QCOMPARE(server.calls.first().summary, summary);
        QCOMPARE(server.calls.first().body, QStringLiteral("%1 (studio)\n%2").arg(s.key, bodyText));
        // The console's own history is not touched by any of this.
        QVERIFY(s.gui->chat()->history().toPlainText().contains(from.left(3)));
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
        testsupport::LogCapture log(testsupport::LogCapture::Forward::Others);
        DesktopNotifier notifier(connection);
        AttentionSettings settings;
        Station first(notifier, settings);
        Station second(notifier, settings);
        QVERIFY(first.ready && second.ready);
        QVERIFY(lookAway(first) && !second.attention->consoleIsActive());
        QSignalSpy alerts(first.attention, &ConsoleAttention::alerted);

        QVERIFY(first.unit->ring(2));
        QVERIFY(second.unit->ring(3));
        first.unit->sendMessage(chatLine(QStringLiteral("studio"), QStringLiteral("anyone?")));
        QVERIFY(settled(first, notifier) && settled(second, notifier));
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
        QVERIFY(server.start(m_bus.address(), QStringLiteral("server-switches")));
        auto started = testsupport::startUnit();
        QVERIFY(started);
        UnitSimulator& unit = *started;
        unit.setTickInterval(3600 * 1000);
        const QString key = testsupport::unitKey(unit);
        QSettings store = testsupport::settingsStore();
        store.setValue(QStringLiteral("hostTable"), QVariantList{QStringList{key, QStringLiteral("screener")}});

        auto window = std::make_unique<MainWindow>();
        window->show();
        auto* table = window->findChild<QTableView*>(QStringLiteral("tableUnits"));
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {},
                          table->visualRect(table->model()->index(0, 0)).center());
        window->handleConnect();
        MIRTGui* gui = window->console(key);
        QVERIFY(gui);
        auto* attention = gui->findChild<ConsoleAttention*>();
        QVERIFY(attention);
        QVERIFY(waitFor([&] { return gui->session().getState() == IPCObject::IPC_READY; }, kWaitMs));
        m_elsewhere.show();
        m_elsewhere.activateWindow();
        QVERIFY(waitFor([&] { return !attention->consoleIsActive(); }, kWaitMs));
        QSignalSpy alerts(attention, &ConsoleAttention::alerted);

        // The unit's own switch, from the console's context menu.
        CustomGraphicsView& view = gui->consoleView();
        const QPoint onLine = view.mapFromScene(QPointF(300, 80));
        QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, onLine, view.viewport()->mapToGlobal(onLine));
        QApplication::sendEvent(view.viewport(), &menuEvent);
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        QVERIFY(menu);
        QStringList texts;
        for (QAction* a : menu->actions())
            texts << a->text();
        QCOMPARE(texts, QStringList({"Notify for This Unit", "Desktop Notifications", "Taskbar Alert"}));
        menu->actions().first()->trigger();
        menu->close();
        QCOMPARE(store.value(key + QStringLiteral("/notifications")).toBool(), false);

        QVERIFY(unit.ring(0));
        QVERIFY(waitFor([&] { return alerts.size() == 1; }, kWaitMs));
        QVERIFY(!attention->hasUnsent());

        // Back on for the unit, all off from the main window's menu.
        AttentionSettings& settings = window->attentionSettings();
        settings.setUnitNotificationsEnabled(key, true);
        auto* options = window->findChild<QPushButton*>(QStringLiteral("buttonNotifications"));
        QVERIFY(options && options->menu());
        emit options->menu()->aboutToShow();
        auto* all = options->menu()->findChild<QAction*>(QStringLiteral("actionNotifications"));
        auto* unitSwitch = options->menu()->findChild<QAction*>(QStringLiteral("actionUnitNotifications"));
        QVERIFY(all && unitSwitch);
        QVERIFY(all->isChecked() && unitSwitch->isChecked());
        all->trigger();
        QCOMPARE(store.value(QStringLiteral("attention/notifications")).toBool(), false);
        QVERIFY(unit.ring(1));
        QVERIFY(waitFor([&] { return alerts.size() == 2; }, kWaitMs));

        // Notifications back on, the taskbar alert off, from the table's
        // context menu: a notification and no alert.
        const QPoint onRow = table->visualRect(table->model()->index(0, 0)).center();
        QContextMenuEvent tableEvent(QContextMenuEvent::Mouse, onRow, table->viewport()->mapToGlobal(onRow));
        QApplication::sendEvent(table->viewport(), &tableEvent);
        auto* tableMenu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        QVERIFY(tableMenu);
        QVERIFY(tableMenu->findChild<QAction*>(QStringLiteral("actionUnitNotifications")));
        tableMenu->findChild<QAction*>(QStringLiteral("actionNotifications"))->trigger();
        tableMenu->findChild<QAction*>(QStringLiteral("actionTaskbarAlert"))->trigger();
        tableMenu->close();
        QCOMPARE(store.value(QStringLiteral("attention/urgencyHint")).toBool(), false);
        QVERIFY(unit.ring(2));
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
        QCOMPARE(store.value(QStringLiteral("hostTable")).toList().first().toStringList(),
                 QStringList({key, QStringLiteral("screener")}));
    }

    // An embedded widget keeps its own context menu.
    void embeddedWidgetsKeepTheirMenu()
    {
        DesktopNotifier notifier(newConnection());
        AttentionSettings settings;
        Station s(notifier, settings);
        QVERIFY(s.ready);
        CustomGraphicsView& view = s.gui->consoleView();
        const QPoint onInput = view.mapFromScene(QPointF(720, 365));
        // A proxied widget opens its menu only while it has the focus.
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, onInput);
        QVERIFY(s.gui->chat()->input().hasFocus());
        QContextMenuEvent event(QContextMenuEvent::Mouse, onInput, view.viewport()->mapToGlobal(onInput));
        QApplication::sendEvent(view.viewport(), &event);
        // The input's own menu, which the scene shows embedded beside it.
        auto* own = s.gui->chat()->input().findChild<QMenu*>();
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
