// Fault survival of whole consoles against simulated units. A console must
// notice every way a unit can fail, show it, and come back to "Ready." by
// itself once the unit is usable again, then follow the unit as before.
//
// The console retries on a 12.5 s cycle (50 ticks of 250 ms). One test runs
// a cycle on the real timer; the others run the retry bar to its end through
// the very slot the timer fires, so that ten restarts do not take minutes.
#include "console/colorbutton.h"
#include "console/line.h"
#include "console/linepanel.h"
#include "console/lines.h"
#include "console/mirtgui.h"
#include "ipc/ipcqt.h"
#include "sim/unitsimulator.h"
#include "tests/support/consolerig.h"
#include "tests/support/logcapture.h"
#include "tests/support/settings.h"
#include "tests/support/unit.h"
#include "tests/support/wait.h"

#include <QElapsedTimer>
#include <QMap>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QtTest>

#include <memory>

using namespace testsupport;

namespace {

const QString kHost = QStringLiteral("127.0.0.1");
const QString kReady = QStringLiteral("Ready.");
const QString kDisconnected = QStringLiteral("Disconnected.");

// One console and what its session was told, line by line.
struct Console
{
    explicit Console(quint16 port)
        : gui(std::make_unique<MIRTGui>(kHost, port, QStringLiteral("studio"), QStringLiteral("tavrik")))
    {
        QObject::connect(&gui->session(), &IPCObject::recvLineStatus, gui.get(), [this](const Message& msg) {
            const unsigned int line = msg.params().get_uint("line_id", 99);
            status[line] = msg.params().get_qstring("status", QString());
            ++lineStatusCount;
        });
    }

    // Runs the retry bar to its end through the slot its timer fires, so
    // the next attempt starts now instead of up to 12.5 s later.
    // False, at once, when the timer is not running or the slot fails.
    bool fastForward()
    {
        if (!gui->retryTimerActive())
            return false;
        while (gui->progressValue() < gui->progressMaximum()) {
            if (!QMetaObject::invokeMethod(gui.get(), "connectTimer"))
                return false;
        }
        return QMetaObject::invokeMethod(gui.get(), "connectTimer");
    }

    std::unique_ptr<MIRTGui> gui;
    QMap<unsigned int, QString> status;
    int lineStatusCount = 0;
};

} // namespace

class TestFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        isolateSettings();
        // Warnings of the session (a failed send is only logged) are kept for
        // the tests to read; debug lines (every frame is logged) are not shown.
        m_log = std::make_unique<LogCapture>(LogCapture::Forward::Others);
    }

    void cleanupTestCase() { qInfo("faults survived: %d", m_faults); }

    void killedAndRestarted()
    {
        RestartableUnit unit;
        QVERIFY(unit);
        Console console(unit.port());
        // What the screen shows once the console has handled each state.
        QStringList seen;
        connect(&console.gui->session(), &IPCObject::changedState, this, [&] { seen << console.gui->statusText(); });
        QTRY_COMPARE(console.gui->statusText(), kReady);
        QCOMPARE(seen, QStringList({"Logging in...", "Logged in.", "Ready."}));

        for (int round = 0; round < 10; ++round) {
            // Killed: every other round the connections are reset first, as when
            // the unit's process dies with unread data; otherwise they close.
            unit.stop(round % 2);
            QTRY_COMPARE(console.gui->statusText(), kDisconnected);
            QTRY_VERIFY(!console.gui->errorText().isEmpty());
            QVERIFY(console.gui->retryTimerActive());
            QVERIFY(!console.gui->consoleView().isVisible() && console.gui->connectionView().isVisible());
            // The port stays this test's while the unit is down.
            QTcpServer intruder;
            QVERIFY(!intruder.listen(QHostAddress::LocalHost, unit.port()));

            // Every third round the unit stays down for one attempt, which fails
            // with its own error; the console stays "Connecting..." and retries.
            if (round % 3 == 2) {
                const QString lost = console.gui->errorText();
                QVERIFY(console.fastForward());
                QTRY_VERIFY(console.gui->errorText() != lost);
                QVERIFY2(console.gui->errorText().contains(QStringLiteral("refused")),
                         qPrintable(console.gui->errorText()));
                QCOMPARE(console.gui->statusText(), QStringLiteral("Connecting..."));
                QVERIFY(console.gui->retryTimerActive());
                ++m_faults;
            }

            QVERIFY(unit.restart());
            QVERIFY(console.fastForward());
            QTRY_COMPARE(console.gui->statusText(), kReady);
            ++m_faults;
            QVERIFY(follows(console, *unit, unsigned(round) % UnitSimulator::MAX_LINES));
        }
        // On its way out: no retry, and the connection screen stays down.
        console.gui->disconnect();
        QVERIFY(!console.gui->retryTimerActive() && !console.gui->connectionView().isVisible());
        QTRY_COMPARE(unit->connectionCount(), 0);
    }

    void silentLogin()
    {
        auto unit = startUnit();
        QVERIFY(unit);
        unit->setIgnoreLogin(true);
        Console console(unit->port());
        QTRY_COMPARE(unit->receivedMessages(QStringLiteral("login")).size(), 1);
        QCOMPARE(console.gui->statusText(), QStringLiteral("Logging in..."));

        // One whole cycle on the real timer: the console gives up on the silent
        // login and logs in again on a new connection.
        QTRY_COMPARE_WITH_TIMEOUT(unit->receivedMessages(QStringLiteral("login")).size(), 2, 16000);
        QTRY_COMPARE(console.gui->statusText(), QStringLiteral("Logging in..."));
        ++m_faults;
        for (int attempt = 3; attempt <= 5; ++attempt) {
            QVERIFY(console.fastForward());
            QTRY_COMPARE(unit->receivedMessages(QStringLiteral("login")).size(), attempt);
            QTRY_COMPARE(console.gui->statusText(), QStringLiteral("Logging in..."));
            ++m_faults;
        }
        // Earlier connections do not linger at the unit.
        QTRY_COMPARE(unit->connectionCount(), 1);

        unit->setIgnoreLogin(false);
        QVERIFY(console.fastForward());
        QTRY_COMPARE(console.gui->statusText(), kReady);
        QVERIFY(follows(console, *unit, 4));
    }

    void stoppedReader()
    {
        auto unit = startUnit();
        QVERIFY(unit);
        Console console(unit->port());
        QTRY_COMPARE(console.gui->statusText(), kReady);

        unit->setStopReading(true);
        m_log->clear();
        // Chat lines of 64 KiB pile up in the console's send queue: within the
        // queue's limit they are taken, beyond it the send fails cleanly.
        const QString text(65536, QLatin1Char('x'));
        int sent = 0;
        bool failed = false;
        for (int i = 0; i < 200 && !failed; ++i) {
            if (console.gui->session().cmd_send_chat(QStringLiteral("studio"), text))
                ++sent;
            else
                failed = true;
        }
        QVERIFY(failed);
        QVERIFY(qint64(sent) * 65536 >= IPCQt::TX_LIMIT / 2);
        const QString warnings = m_log->lines(QtWarningMsg).join('\n');
        QVERIFY2(warnings.contains(QStringLiteral("tx buffer overflow")), qPrintable(warnings));
        QTRY_COMPARE(console.gui->statusText(), kDisconnected);
        QVERIFY(console.gui->retryTimerActive());
        ++m_faults;

        unit->setStopReading(false);
        QVERIFY(console.fastForward());
        QTRY_COMPARE(console.gui->statusText(), kReady);
        QVERIFY(follows(console, *unit, 7));
    }

    void hostileFrames_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("error"); // empty: the console stays ready

        const int window = int(IPCQt::RX_WINDOW);
        QByteArray noise(window + 4096, '\0');
        QRandomGenerator random(7);
        for (char& c : noise)
            c = char(1 + random.bounded(255));
        QTest::newRow("garbage without a terminator") << noise << QStringLiteral("rx buffer overflow");

        QByteArray framedNoise = noise.left(200000);
        for (int i = 0; i < framedNoise.size(); i += 1 + int(random.bounded(3000)))
            framedNoise[i] = '\0';
        framedNoise.replace('<', 'x');
        QTest::newRow("garbage frames") << framedNoise + '\0' << QString();
        // Frames the decoder cuts or refuses (nesting, entities): tests/bounds,
        // on the same receive path.
        const QByteArray huge(window - 64, 'x');
        QTest::newRow("chat text of one huge word") << "<chat_data from='x' text='" + huge + "'/>" + '\0' << QString();
        QTest::newRow("chat text of many words")
            << "<chat_data from='x' text='" + QByteArray("ab ").repeated((window - 64) / 3) + "'/>" + '\0' << QString();
        QTest::newRow("caller name and location huge") << "<ancillary_data line_id='2' local='false' name='"
                + huge.left(350000) + "' location='" + huge.left(350000) + "' topic='" + huge.left(80000) + "'/>"
                + '\0' << QString();
        QTest::newRow("caller notes one huge word")
            << "<ancillary_data line_id='2' local='false' notes='" + huge + "'/>" + '\0' << QString();
        QTest::newRow("caller notes huge") << "<ancillary_data line_id='2' local='false' notes='"
                + QByteArray("ab ").repeated((window - 64) / 3) + "'/>"
                + '\0' << QString();
        QTest::newRow("line status text huge")
            << "<line_status line_id='3' status='" + huge + "'/>" + '\0' << QString();
        static const char wrongKinds[]
            = "<line_status line_id='-1' status='' time='x'/>\0<line_status line_id='4294967295'/>\0"
              "<system_status num_lines='100000'/>\0<timer_tick/>\0<ancillary_data line_id='99'/>\0"
              "<chat_data/>\0<surface_status id='-7'/>\0<set_config surface='nine'/>\0";
        QTest::newRow("status fields of every wrong kind")
            << QByteArray(wrongKinds, int(sizeof wrongKinds) - 1) << QString();
    }

    void hostileFrames()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, error);

        auto unit = startUnit();
        QVERIFY(unit);
        Console console(unit->port());
        QTRY_COMPARE(console.gui->statusText(), kReady);
        // The user has picked line 2, so its caller information fills the editor.
        console.gui->lines()->panelSelected(2);
        const int before = console.lineStatusCount;

        QElapsedTimer timer;
        timer.start();
        unit->sendRaw(bytes);
        if (error.isEmpty()) {
            // Read, refused or ignored, and then the next frame is handled as
            // usual: the console is still with its unit.
            QVERIFY(follows(console, *unit, 5));
            const qint64 ms = timer.elapsed();
            qInfo("%-36s %7d bytes, handled with the next frame after %lld ms", QTest::currentDataTag(),
                  int(bytes.size()), ms);
            // Generous, for sanitizer builds on a loaded machine; a frame the
            // console handles without bounds freezes it for minutes.
            QVERIFY2(ms < scaled(5000), qPrintable(QStringLiteral("%1 ms").arg(ms)));
            QCOMPARE(console.gui->statusText(), kReady);
            QVERIFY(console.lineStatusCount > before);
        } else {
            QTRY_COMPARE(console.gui->statusText(), kDisconnected);
            QTRY_VERIFY2(console.gui->errorText().contains(error), qPrintable(console.gui->errorText()));
            qInfo("%-36s %7d bytes, refused after %lld ms: %s", QTest::currentDataTag(), int(bytes.size()),
                  timer.elapsed(), qPrintable(console.gui->errorText()));
            QVERIFY(console.fastForward());
            QTRY_COMPARE(console.gui->statusText(), kReady);
            QVERIFY(follows(console, *unit, 5));
        }
        ++m_faults;
    }

private:
    // The unit starts a call; the console must show that line as the unit has
    // it, on screen: the panel says "Ringing" on green and the ANSWER lamp
    // blinks. Returns false, having logged why, when the console does not follow.
    bool follows(Console& console, UnitSimulator& unit, unsigned int line);

    int m_faults = 0;
    std::unique_ptr<LogCapture> m_log;
};

bool TestFaults::follows(Console& console, UnitSimulator& unit, unsigned int line)
{
    // What the user sees of the line: its panel's text and colour and its
    // ANSWER lamp, drawn on the console page rather than the connection page.
    MIRTGui& gui = *console.gui;
    Line& shown = *gui.lines()->line(line);
    const auto picture = [&] {
        return QStringLiteral("%1, panel colour %2, ANSWER %3, %4 page")
            .arg(shown.panel().textLine1())
            .arg(int(shown.panel().textPanelColor()))
            .arg(lookOf(shown.answerButton()))
            .arg(!gui.consoleView().isHidden() && gui.connectionView().isHidden() ? "console" : "connection");
    };
    const QString ringing
        = QStringLiteral("Ringing, panel colour %1, ANSWER slow Green/Unlit, console page").arg(int(LinePanel::Green));
    // A line that already rings would prove nothing.
    if (picture() == ringing) {
        qWarning("line %u already shows a ringing call", line);
        return false;
    }
    if (!unit.ring(line, QStringLiteral("Caller %1").arg(line))) {
        qWarning("line %u did not ring", line);
        return false;
    }
    const QString expected = unit.line(line).status;
    if (!waitFor([&] { return console.status.value(line) == expected; }, 5000)) {
        qWarning("line %u shows \"%s\", the unit has \"%s\"", line, qPrintable(console.status.value(line)),
                 qPrintable(expected));
        return false;
    }
    if (!waitFor([&] { return picture() == ringing; }, 5000)) {
        qWarning("line %u: the console shows %s", line, qPrintable(picture()));
        return false;
    }
    return !expected.isEmpty();
}

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
