// The bytes on the wire, both ways, against captures kept in this folder: a
// console worked through every button, key, caller edit, chat line and
// surface choice, and a scripted run of everything the simulated unit says.
// The captures are the expected data, so a change that moves both ends of a
// shared writer at once still shows. MIRT_WIRE_RECORD=1 writes them anew.
#include "console/chat.h"
#include "console/infoedit.h"
#include "console/lines.h"
#include "console/mirtgui.h"
#include "console/top.h"
#include "sim/unitshow.h"
#include "tests/support/barrier.h"
#include "tests/support/settings.h"
#include "tests/support/unit.h"
#include "tests/support/wait.h"

#include <QFile>
#include <QTcpSocket>
#include <QtTest>

using namespace testsupport;

namespace {

// Frames one per line (a frame holds no line break: XML escapes it).
void compareWith(const char* file, const QByteArray& frames)
{
    const QString path = QStringLiteral(MIRT_WIRE_DIR "/") + QLatin1String(file);
    QFile f(path);
    if (qEnvironmentVariableIsSet("MIRT_WIRE_RECORD")) {
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(frames) == frames.size());
        return;
    }
    QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(path));
    const QList<QByteArray> want = f.readAll().split('\n');
    const QList<QByteArray> got = frames.split('\n');
    for (int i = 0; i < std::min(want.size(), got.size()); ++i)
        QVERIFY2(got[i] == want[i],
                 qPrintable(QStringLiteral("frame %1:\n%2\nwanted:\n%3")
                                .arg(i + 1)
                                .arg(QString::fromUtf8(got[i]), QString::fromUtf8(want[i]))));
    QCOMPARE(got.size(), want.size());
}

} // namespace

class TestWire : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { isolateSettings(); }

    void console()
    {
        auto sim = startUnit();
        QVERIFY(sim);
        sim->setTickInterval(3600 * 1000);
        MIRTGui gui(QStringLiteral("127.0.0.1"), sim->port(), QStringLiteral("studio"), QStringLiteral("tavrik"));
        QByteArray frames;
        connect(&gui.session(), &IPCObject::sentMessage, this, [&](const Message& m) {
            if (m.get_name() != "test_marker")
                frames += xmlOf(m).toUtf8() + '\n';
        });
        const auto sync = [&] { return roundTrip(gui.session(), *sim) && roundTrip(gui.session(), *sim); };
        QVERIFY(waitFor([&] { return gui.session().getState() == IPCObject::IPC_READY; }));
        gui.consoleView().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&gui.consoleView()) && sync());

        QWindow* window = gui.consoleView().windowHandle();
        const auto keys = [&](const QString& list) {
            for (const QString& k : list.split(QLatin1Char(' '))) {
                const int key = QKeySequence::fromString(k)[0];
                QTest::keyClick(window, Qt::Key(key & ~Qt::KeyboardModifierMask),
                                Qt::KeyboardModifiers(key & Qt::KeyboardModifierMask));
                QVERIFY(sync());
            }
        };
        const auto type = [&](const QString& text) {
            for (const QChar c : text)
                QTest::keyClick(window, c.toLatin1());
        };
        // Every surface choice, the offline one included, back to the first.
        keys(QStringLiteral("Ctrl+2 Ctrl+3 Ctrl+4 Ctrl+5 Ctrl+6 Ctrl+1"));
        QVERIFY(sim->ring(2) && sim->ring(5) && sync());
        keys(QStringLiteral("F3 Alt+A Alt+H Ctrl+E"));
        type(QStringLiteral("Ann"));
        InfoEdit& info = *gui.infoEdit();
        info.locationEditor().setFocus();
        type(QStringLiteral("Leeds"));
        info.topicEditor().setFocus();
        type(QStringLiteral("Cats"));
        info.notesEditor().setFocus();
        type(QStringLiteral("Hi"));
        for (QComboBox* chooser : {&info.genderChooser(), &info.moodChooser()}) {
            chooser->setCurrentIndex(2);
            emit chooser->activated(2);
        }
        QVERIFY(sync());
        keys(QStringLiteral("Esc Alt+P Alt+R Alt+R Alt+R Alt+D Alt+D F6 Alt+A Alt+H Alt+N Alt+Down Alt+Up Alt+B Alt+B "
                            "Alt+U Alt+U Alt+D Ctrl+T"));
        type(QStringLiteral("See you"));
        keys(QStringLiteral("Return Esc"));
        // The drawn buttons themselves, as clicks land on them.
        QVERIFY(sim->ring(8) && sync());
        Line& line = *gui.lines()->line(8);
        Top& top = *gui.top();
        for (SurfaceButton* b : std::initializer_list<SurfaceButton*>{
                 &line.answerButton(), &line.holdButton(), &top.prioButton(), &line.airButton(), &line.airButton(),
                 &line.dropButton(), &top.nextButton(), &top.busyButton(), &top.busyButton(), &top.aaButton(),
                 &top.aaButton()}) {
            emit b->buttonPressed();
            QVERIFY(sync());
        }
        gui.chat()->input().setText(QStringLiteral("<b>&amp; \"quoted\"</b>"));
        gui.chat()->send();
        QVERIFY(sync());
        compareWith("console.frames", frames);
    }

    void unit()
    {
        UnitSimulator sim;
        QVERIFY(sim.start(0));
        sim.setTickInterval(3600 * 1000);
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, sim.port());
        QVERIFY(socket.waitForConnected(5000));
        const auto command = [&](const char* xml) {
            const size_t before = sim.received().size();
            socket.write(QByteArray(xml) + '\0');
            QVERIFY(waitFor([&] { return sim.received().size() > before; }));
        };
        command("<login id=\"console\" password=\"tavrik\" username=\"raw\"/>");
        command("<set_config surface=\"1\"/>");
        command("<resync/>");
        QVERIFY(sim.ring(1) && sim.ring(2, QStringLiteral("Zoë")));
        for (const char* xml : {"<change_line_state command=\"handset\" line_id=\"1\"/>",
                                "<change_line_state command=\"hold\" line_id=\"1\"/>",
                                "<change_line_state command=\"air\" line_id=\"1\"/>",
                                "<change_line_flags flag=\"locked\" line_id=\"1\" state=\"true\"/>",
                                "<change_line_flags flag=\"priority\" line_id=\"2\" state=\"true\"/>",
                                "<change_line_state command=\"air\" line_id=\"priority\"/>",
                                "<change_line_state command=\"drop\" line_id=\"1\"/>",
                                "<change_line_state command=\"busy\" line_id=\"unlocked\"/>",
                                "<change_line_state command=\"unbusy\" line_id=\"unlocked\"/>",
                                "<change_global_state enabled=\"true\" state=\"aa\"/>"})
            command(xml);
        QVERIFY(sim.ring(3));
        command("<change_global_state enabled=\"false\" state=\"aa\"/>");
        command("<ancillary_data gender=\"female\" genderidx=\"2\" line_id=\"2\" location=\"Köln\" mood=\"sad\" "
                "moodidx=\"2\" name=\"Zoë &amp; co\" notes=\"a\nb\" topic=\"&lt;x&gt;\"/>");
        command("<ancillary_data gender=\"unknown\" line_id=\"3\" location=\"\" mood=\"neutral\" name=\"\" notes=\"\" "
                "topic=\"\"/>");
        // The same record again is no news; the same texts with the indexes are.
        command("<ancillary_data gender=\"unknown\" line_id=\"3\" location=\"\" mood=\"neutral\" name=\"\" notes=\"\" "
                "topic=\"\"/>");
        command("<ancillary_data gender=\"unknown\" genderidx=\"0\" line_id=\"3\" location=\"\" mood=\"neutral\" "
                "moodidx=\"0\" name=\"\" notes=\"\" topic=\"\"/>");
        command("<chat_data from=\"studio\" text=\"hello &lt;all&gt;\"/>");
        sim.setSurface(3, true, QStringLiteral("studio"));
        sim.setSurface(1, false, QString());
        sim.setNumLines(6);
        sim.setNumLines(12);
        using S = ShowStep;
        for (const S& step :
             {S::ring(0, 6, "Mia", "Leeds", "Weather"), S::act(0, 6, S::Answer), S::act(0, 6, S::ScreenedHold),
              S::notes(0, 6, "Mia", "Leeds", "Rain", "Umbrella", 2, 9), S::act(0, 6, S::Priority), S::act(0, 6, S::Air),
              S::act(0, 6, S::Lock), S::act(0, 6, S::Hold), S::act(0, 6, S::Drop)})
            UnitShow::apply(sim, step);
        QVERIFY(sim.setLineState(7, QStringLiteral("remote (on hold)"), 2));
        Message end;
        end.set_name("log_message");
        sim.sendMessage(end);
        QByteArray bytes;
        QVERIFY(waitFor([&] {
            bytes += socket.readAll();
            return bytes.endsWith(QByteArray("<log_message/>") + '\0');
        }));
        bytes.chop(1);
        compareWith("unit.frames", bytes.replace('\0', '\n'));
    }
};

QTEST_MAIN(TestWire)
#include "tst_wire.moc"
