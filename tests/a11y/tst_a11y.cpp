#include "console/chat.h"
#include "console/consoleaccess.h"
#include "console/consolelook.h"
#include "console/customgraphicsview.h"
#include "console/infoedit.h"
#include "console/keyboard.h"
#include "console/lines.h"
#include "console/mirtgui.h"
#include "console/top.h"
#include "sim/unitsimulator.h"
#include "tests/support/barrier.h"
#include "tests/support/settings.h"
#include "tests/support/unit.h"
#include "tests/support/wait.h"

#include <QAction>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QProcess>
#include <QtTest>

#include <map>
#include <memory>

using namespace testsupport;

namespace {

const QString kWindow = QStringLiteral("Ardeno MIRT Orvel");

// A screen reader's view of this process: tools/a11y-probe.py reads its tree
// from the accessibility bus, hears its events and works its actions.
class Reader
{
public:
    bool start()
    {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral("/usr/bin/python3"),
                        {QStringLiteral(MIRT_SOURCE_DIR "/tools/a11y-probe.py"), QStringLiteral("serve"),
                         QString::number(QCoreApplication::applicationPid())});
        return reply().value(QStringLiteral("ready")).toBool();
    }
    void stop()
    {
        // The reader leaves the bus on its way out, which this process answers.
        m_process.closeWriteChannel();
        if (!waitFor([this] { return m_process.state() == QProcess::NotRunning; }, scaled(5000))) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }
    QJsonObject ask(const QString& command)
    {
        m_process.write(command.toUtf8() + '\n');
        return reply();
    }
    // The windows of this process, and the console window among them
    // (empty until the bus shows it).
    QJsonArray windows() { return ask(QStringLiteral("tree")).value(QStringLiteral("tree")).toArray(); }
    QJsonObject console()
    {
        for (const QJsonValue& window : windows())
            if (window[QStringLiteral("name")] == kWindow
                && !child(window.toObject(), QStringLiteral("Line 1")).isEmpty())
                return window.toObject();
        return {};
    }
    bool press(const QString& path) { return act(QStringLiteral("Press"), path); }
    bool act(const QString& action, const QString& path)
    {
        return ask(QStringLiteral("do %1 %2/%3").arg(action, kWindow, path)).value(QStringLiteral("done")).toBool();
    }
    // Every event heard since the last call, as "type name".
    QStringList events()
    {
        QStringList heard;
        for (const QJsonValue& e : ask(QStringLiteral("events")).value(QStringLiteral("events")).toArray())
            heard << e[QStringLiteral("type")].toString() + QLatin1Char(' ') + e[QStringLiteral("name")].toString();
        return heard;
    }
    // Collects events until one matches, and returns all of them.
    QStringList eventsUntil(const QString& wanted, int timeoutMs = scaled(10000))
    {
        QStringList heard;
        waitFor(
            [&] {
                heard << events();
                return heard.contains(wanted);
            },
            timeoutMs);
        return heard;
    }

    static QJsonObject child(const QJsonObject& node, const QString& name)
    {
        for (const QJsonValue& c : node[QStringLiteral("children")].toArray())
            if (c[QStringLiteral("name")] == name)
                return c.toObject();
        return {};
    }
    static QStringList names(const QJsonObject& node)
    {
        QStringList list;
        for (const QJsonValue& c : node[QStringLiteral("children")].toArray())
            list << c[QStringLiteral("name")].toString();
        return list;
    }
    static bool has(const QJsonObject& node, const char* state)
    {
        return node[QStringLiteral("states")].toArray().contains(QLatin1String(state));
    }
    static QRect extents(const QJsonObject& node)
    {
        const QJsonArray e = node[QStringLiteral("extents")].toArray();
        return QRect(e.at(0).toInt(), e.at(1).toInt(), e.at(2).toInt(), e.at(3).toInt());
    }

private:
    QJsonObject reply()
    {
        if (!waitFor([this] { return m_process.canReadLine(); }, scaled(15000)))
            return {};
        return QJsonDocument::fromJson(m_process.readLine()).object();
    }

    QProcess m_process;
};

// The grey (0 to 255) most pixels of a lamp's face show; the label's
// strokes are too thin to count.
int faceGrey(const QImage& scene, const QGraphicsItem& lamp)
{
    std::map<int, int> count;
    const QPointF centre = lamp.boundingRect().center();
    for (int dx = -12; dx <= 12; dx += 2)
        for (int dy = -3; dy <= 3; ++dy) {
            const QPoint at = lamp.mapToScene(centre + QPointF(dx, dy)).toPoint();
            ++count[qGray(scene.pixel(at))];
        }
    return std::max_element(count.begin(), count.end(), [](auto& a, auto& b) { return a.second < b.second; })->first;
}

} // namespace

// The console read and worked through the real accessibility bus, as a
// screen reader does: a console window on the xcb platform under a private X
// server, logged into the simulated unit, and a pyatspi client in another
// process (tools/a11y-session.sh sets the scene up).
class TestA11y : public QObject
{
    Q_OBJECT

    std::unique_ptr<UnitSimulator> m_sim;
    std::unique_ptr<MIRTGui> m_gui;
    Reader m_reader;

    bool sync() { return roundTrip(m_gui->session(), *m_sim, scaled(5000)) && roundTrip(m_gui->session(), *m_sim); }
    Line& line(unsigned i) { return *m_gui->lines()->line(i); }
    void chooseSurface(unsigned entry) { m_gui->top()->menuEntry(entry)->trigger(); }
    QStringList frames()
    {
        QStringList sent;
        for (const Message& m : receivedFrames(*m_sim))
            sent << xmlOf(m);
        m_sim->clearReceived();
        return sent;
    }
    // A chat line from another position: the console's chat says it.
    bool chatFromStudio(const QString& text)
    {
        Message m;
        m.set_name("chat_data");
        m.params().set_qstring("from", QStringLiteral("studio"));
        m.params().set_qstring("text", text);
        m_sim->sendMessage(m);
        return sync();
    }
    QImage rendered()
    {
        QImage image(1024, 768, QImage::Format_RGB32);
        QPainter painter(&image);
        m_gui->consoleScene().render(&painter, QRectF(image.rect()), QRectF(0, 0, 1024, 768));
        return image;
    }

private slots:
    void initTestCase()
    {
        isolateSettings();
        m_sim = startUnit();
        QVERIFY(m_sim);
        // Ticks only where a row asks for them, and no call stops ringing
        // by itself meanwhile.
        m_sim->setTickInterval(3600 * 1000);
        m_sim->setRingTimeout(1000000);
        m_gui = std::make_unique<MIRTGui>(QStringLiteral("127.0.0.1"), m_sim->port(), QStringLiteral("tester"),
                                          QStringLiteral("tavrik"));
        QVERIFY(waitFor([this] { return m_gui->session().getState() == IPCObject::IPC_READY; }, scaled(20000)));
        QVERIFY(sync());
        // Not at the scene's own size: every place on the screen is mapped.
        m_gui->consoleView().resize(800, 600);
        QVERIFY(m_reader.start());
        QVERIFY2(waitFor([this] { return !m_reader.console().isEmpty(); }, scaled(20000)),
                 "the console never showed on the accessibility bus");
        // The bridge sends events once it knows someone listens: chat lines
        // until one is heard.
        const QString chat = QStringLiteral("object:property-change:accessible-description Studio Chat");
        int n = 0;
        QVERIFY(waitFor(
            [&] {
                return chatFromStudio(QStringLiteral("warming up %1").arg(++n))
                    && m_reader.eventsUntil(chat, scaled(1000)).contains(chat);
            },
            scaled(30000)));
    }

    void cleanupTestCase()
    {
        m_reader.stop();
        m_gui.reset();
        m_sim.reset();
    }

    void tree_data()
    {
        QTest::addColumn<unsigned>("surface");
        QTest::addColumn<unsigned>("numLines");
        QTest::addColumn<QStringList>("top");
        const QStringList all{"NEXT", "BUSY", "PRIO", "AA", "Surfaces"};
        QTest::newRow("studio, twelve lines") << 4u << 12u << all;
        QTest::newRow("studio, six lines") << 4u << 6u << all;
        QTest::newRow("screener: no NEXT") << 5u << 12u << QStringList(all.mid(1));
    }

    void tree()
    {
        QFETCH(unsigned, surface);
        QFETCH(unsigned, numLines);
        QFETCH(QStringList, top);
        chooseSurface(surface);
        m_sim->setNumLines(numLines);
        m_gui->chat()->input().setText(QStringLiteral("typed"));
        QVERIFY(sync());

        QStringList expected = top;
        for (unsigned i = 1; i <= numLines; ++i)
            expected << QStringLiteral("Line %1").arg(i);
        expected << m_gui->infoEdit()->panel().title() << QStringLiteral("Studio Chat");
        QJsonObject window;
        QVERIFY(waitFor([&] { return Reader::names(window = m_reader.console()) == expected; }, scaled(5000)));

        for (unsigned i = 1; i <= numLines; ++i) {
            const QJsonObject panel = Reader::child(window, QStringLiteral("Line %1").arg(i));
            QCOMPARE(Reader::names(panel), QStringList({"ANSWER", "HOLD", "AIR", "DROP"}));
            QCOMPARE(panel[QStringLiteral("children")][0][QStringLiteral("role")].toString(),
                     QStringLiteral("push button"));
        }
        const QJsonObject editor = Reader::child(window, m_gui->infoEdit()->panel().title());
        QCOMPARE(Reader::names(editor),
                 QStringList({"Name", "Location", "Topic", "Gender: Unknown", "Mood: Neutral", "Notes"}));
        const QJsonObject chat = Reader::child(window, QStringLiteral("Studio Chat"));
        QCOMPARE(Reader::names(chat), QStringList({"Chat history", "Chat", "Send"}));
        // Its text is read, its characters placed where they are drawn
        // (a magnifier follows them).
        const QJsonObject input = Reader::child(chat, QStringLiteral("Chat"));
        const QJsonArray first = input[QStringLiteral("first_char")].toArray();
        QVERIFY(Reader::extents(input).contains(QPoint(first.at(0).toInt(), first.at(1).toInt())));
        // Only there: the application lists its windows, not the fields.
        for (const QJsonValue& w : m_reader.windows())
            QCOMPARE(w[QStringLiteral("role")].toString(), QStringLiteral("frame"));

        // Placed where they are drawn: the fields right of the lines, all of
        // it inside the window.
        const QRect whole = Reader::extents(window);
        const QRect firstLine = Reader::extents(Reader::child(window, QStringLiteral("Line 1")));
        const QJsonObject nameField = Reader::child(editor, QStringLiteral("Name"));
        QCOMPARE(nameField[QStringLiteral("parent")], editor[QStringLiteral("name")]);
        const QRect name = Reader::extents(nameField);
        QVERIFY(whole.contains(firstLine) && whole.contains(name));
        QVERIFY2(name.left() > firstLine.right(),
                 qPrintable(QStringLiteral("name field at %1,%2").arg(name.x()).arg(name.y())));
    }

    void ringing()
    {
        chooseSurface(4);
        m_sim->setNumLines(12);
        QVERIFY(sync());
        m_reader.events();
        QVERIFY(m_sim->ring(2, QStringLiteral("Ann")));
        QVERIFY(sync());
        const QString said = QStringLiteral("object:property-change:accessible-description Line 3");
        QStringList heard = m_reader.eventsUntil(said);
        QVERIFY2(heard.contains(said), qPrintable(heard.join(QLatin1Char('\n'))));
        // Told in the same turn, but it may reach the reader a read later.
        const QString lit = QStringLiteral("object:state-changed:checked ANSWER");
        heard << (heard.contains(lit) ? QStringList() : m_reader.eventsUntil(lit));
        QVERIFY(heard.contains(lit));
        const QJsonObject panel = Reader::child(m_reader.console(), QStringLiteral("Line 3"));
        QVERIFY2(panel[QStringLiteral("description")].toString().startsWith(QLatin1String("ringing, 0:")),
                 qPrintable(panel[QStringLiteral("description")].toString()));
        // A caller the log knows is said with the panel's mark.
        line(2).setHistory(3, QStringLiteral("do not air"));
        QVERIFY(m_reader.eventsUntil(said).contains(said));
        const QString known
            = Reader::child(m_reader.console(), QStringLiteral("Line 3"))[QStringLiteral("description")].toString();
        QVERIFY2(known.startsWith(QLatin1String("ringing, called 3 times before, flag: do not air, 0:")),
                 qPrintable(known));
        line(2).setHistory(0, QString());
    }

    void press_data()
    {
        QTest::addColumn<QString>("status");
        QTest::addColumn<unsigned>("surface");
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("available");
        QTest::addColumn<bool>("arms");
        QTest::newRow("ANSWER, ringing") << "ringing" << 4u << "ANSWER" << true << false;
        QTest::newRow("HOLD, on handset") << "on handset" << 4u << "HOLD" << true << false;
        QTest::newRow("AIR, studio, on hold") << "on hold" << 4u << "AIR" << true << false;
        QTest::newRow("DROP, on hold") << "on hold" << 4u << "DROP" << true << false;
        QTest::newRow("DROP, on air: armed first") << "on air" << 4u << "DROP" << true << true;
        QTest::newRow("AIR, screener: unavailable") << "on hold" << 5u << "AIR" << false << false;
    }

    void press()
    {
        QFETCH(QString, status);
        QFETCH(unsigned, surface);
        QFETCH(QString, button);
        QFETCH(bool, available);
        QFETCH(bool, arms);
        chooseSurface(surface);
        const auto reset = [&] {
            QVERIFY(m_sim->setLineState(2, QStringLiteral("on hook (idle)")));
            QVERIFY(m_sim->setLineState(2, status));
            QVERIFY(sync());
            frames();
        };
        const QString path = QStringLiteral("Line 3/") + button;
        reset();
        QJsonObject node;
        QVERIFY(waitFor(
            [&] {
                node = Reader::child(Reader::child(m_reader.console(), QStringLiteral("Line 3")), button);
                return Reader::has(node, "enabled") == available;
            },
            scaled(5000)));

        // The reader reads the whole tree between two presses, which may
        // take longer than the 1.5 s a user has (the keyboard's tests time
        // that); the rule itself is the same.
        m_gui->keyboard()->setDropArmInterval(scaled(10000));
        QVERIFY(m_reader.press(path));
        QVERIFY(sync());
        QStringList pressed = frames();
        if (arms) {
            QCOMPARE(pressed, QStringList());
            QVERIFY(waitFor(
                [&] {
                    node = Reader::child(Reader::child(m_reader.console(), QStringLiteral("Line 3")), button);
                    return node[QStringLiteral("description")].toString().startsWith(QLatin1String("Armed"));
                },
                scaled(5000)));
            QVERIFY(Reader::has(node, "checked"));
            QVERIFY(m_reader.press(path));
            QVERIFY(sync());
            pressed = frames();
        }
        if (!available) {
            QCOMPARE(pressed, QStringList());
            return;
        }
        QVERIFY(!pressed.isEmpty());

        // The same line, clicked.
        reset();
        const std::map<QString, SurfaceButton*> buttons{{QStringLiteral("ANSWER"), &line(2).answerButton()},
                                                        {QStringLiteral("HOLD"), &line(2).holdButton()},
                                                        {QStringLiteral("AIR"), &line(2).airButton()},
                                                        {QStringLiteral("DROP"), &line(2).dropButton()}};
        buttons.at(button)->click();
        QVERIFY(sync());
        QCOMPARE(pressed, frames());
    }

    void focus()
    {
        CustomGraphicsView& view = m_gui->consoleView();
        view.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&view));
        view.setFocus();
        m_reader.events();

        // F4 with the console focused: line 4 has the focus, and its frame.
        m_gui->keyboard()->trigger(ShortcutAction::SelectLine, 3);
        const QStringList heard = m_reader.eventsUntil(QStringLiteral("focus: Line 4"));
        QVERIFY2(heard.contains(QStringLiteral("focus: Line 4")), qPrintable(heard.join(QLatin1Char('\n'))));
        QVERIFY(waitFor([this] { return m_gui->access()->focusFrame().isVisible(); }));

        // Typing a name: F5 leaves the keyboard there, and the name field
        // says which line is selected now.
        m_gui->keyboard()->trigger(ShortcutAction::EditCaller);
        m_gui->keyboard()->trigger(ShortcutAction::SelectLine, 4);
        const QString said = QStringLiteral("object:property-change:accessible-description Name");
        QVERIFY(m_reader.eventsUntil(said).contains(said));
        const QJsonObject name = Reader::child(Reader::child(m_reader.console(), m_gui->infoEdit()->panel().title()),
                                               QStringLiteral("Name"));
        QVERIFY2(name[QStringLiteral("description")].toString().startsWith(QLatin1String("Line 5, ")),
                 qPrintable(name[QStringLiteral("description")].toString()));
        QVERIFY(Reader::has(name, "focused"));
        QVERIFY(!m_gui->access()->focusFrame().isVisible());
        m_gui->keyboard()->trigger(ShortcutAction::Leave);
    }

    void quietTicks()
    {
        // Calls with running times, a ringing lamp blinking.
        QVERIFY(m_sim->setLineState(0, QStringLiteral("on hold")));
        QVERIFY(m_sim->ring(1));
        QVERIFY(chatFromStudio(QStringLiteral("before")));
        const QString chat = QStringLiteral("object:property-change:accessible-description Studio Chat");
        QVERIFY(m_reader.eventsUntil(chat).contains(chat));

        const uint64_t before = line(0).state().time;
        m_sim->setTickInterval(100);
        QTest::qWait(3000);
        m_sim->setTickInterval(3600 * 1000);
        QVERIFY(line(0).state().time >= before + 10);

        // Nothing was said until the chat line that follows the ticks.
        QVERIFY(chatFromStudio(QStringLiteral("after")));
        const QStringList heard = m_reader.eventsUntil(chat);
        QVERIFY(!heard.isEmpty());
        for (const QString& e : heard)
            QVERIFY2(e.endsWith(QLatin1String(" Studio Chat")) || e.endsWith(QLatin1String(" Chat history")),
                     qPrintable(heard.join(QLatin1Char('\n'))));
    }

    void highContrastLamps()
    {
        m_gui->setHighContrast(true);
        QVERIFY(m_sim->ring(5));
        QVERIFY(m_sim->setLineState(6, QStringLiteral("on air")));
        QVERIFY(sync());
        // Blinking lamps: caught while both show their first colour.
        ColorButton& ringing = line(5).answerButton();
        ColorButton& onAir = line(6).airButton();
        QImage image;
        QVERIFY(waitFor(
            [&] {
                image = rendered();
                return ringing.currentPalette().face == ColorButton::palette(ColorButton::Green).face
                    && onAir.currentPalette().face == ColorButton::palette(ColorButton::Red).face;
            },
            scaled(5000)));
        const int green = faceGrey(image, ringing);
        const int red = faceGrey(image, onAir);
        m_gui->setHighContrast(false);
        QVERIFY2(qAbs(green - red) >= 80, qPrintable(QStringLiteral("grey %1 against %2").arg(green).arg(red)));
    }

    void focusFrame()
    {
        m_gui->keyboard()->trigger(ShortcutAction::Leave);
        CustomGraphicsView& view = m_gui->consoleView();
        view.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&view));
        view.setFocus();
        m_gui->keyboard()->trigger(ShortcutAction::SelectLine, 0);
        const FocusFrame& frame = m_gui->access()->focusFrame();
        QVERIFY(waitFor([&] { return frame.isVisible() && frame.scenePos() == line(0).panel().scenePos(); }));
        // On line 1's top edge, halfway along.
        const QPoint edge(345, 67);
        QCOMPARE(QColor(rendered().pixel(edge)), ConsoleLook::focusFrame(false));
        m_gui->keyboard()->trigger(ShortcutAction::Chat);
        QVERIFY(waitFor([&] { return !frame.isVisible(); }));
        QVERIFY(QColor(rendered().pixel(edge)) != ConsoleLook::focusFrame(false));
        m_gui->keyboard()->trigger(ShortcutAction::Leave);
    }
};

QTEST_MAIN(TestA11y)
#include "tst_a11y.moc"
