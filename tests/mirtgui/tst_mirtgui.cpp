#include "console/blinkclock.h"
#include "console/consolelook.h"
#include "console/customgraphicsview.h"
#include "console/line.h"
#include "console/lines.h"
#include "console/mirtgui.h"
#include "sim/unitsimulator.h"
#include "tests/support/settings.h"
#include "tests/support/unit.h"
#include "tests/support/wait.h"

#include <QImage>
#include <QScreen>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

using namespace testsupport;

namespace {

const QString kHost = QStringLiteral("127.0.0.1");

} // namespace

class TestMirtGui : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { isolateSettings(); }

    void wrongPassword()
    {
        auto unit = startUnit(QStringLiteral("secret"));
        QVERIFY(unit);
        MIRTGui console(kHost, unit->port(), QStringLiteral("studio"), QStringLiteral("wrong"));
        QSignalSpy requests(&console, &MIRTGui::requestPassword);

        QTRY_COMPARE(requests.count(), 1);
        QCOMPARE(requests.at(0), QVariantList({kHost, int(unit->port())}));
        QCOMPARE(console.statusText(), QStringLiteral("Incorrect password."));
        QCOMPARE(console.progressValue(), 50);
        QVERIFY(!console.retryTimerActive());
        // A unit that hangs up meanwhile must not bring another attempt with the
        // refused password, nor another question to the user.
        unit->dropAllConnections();
        QTRY_COMPARE(console.statusText(), QStringLiteral("Disconnected."));
        // Only the retry timer could start another attempt, and only the
        // queued request another question: with what is queued handled and
        // the timer stopped, nothing more can come.
        drainEvents();
        QVERIFY(!console.retryTimerActive());
        QCOMPARE(requests.count(), 1);
        QCOMPARE(unit->receivedMessages(QStringLiteral("login")).size(), 1);

        console.setPassword(QStringLiteral("secret"));
        QCOMPARE(console.progressValue(), 0);
        QTRY_COMPARE(console.statusText(), QStringLiteral("Ready."));
        QCOMPARE(unit->receivedMessages(QStringLiteral("login")).last().params().get_qstring("password", QString()),
                 QStringLiteral("secret"));
    }

    void viewScaling_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<double>("sx");
        QTest::addColumn<double>("sy");
        QTest::newRow("half") << QSize(512, 384) << 0.5 << 0.5;
        QTest::newRow("wide") << QSize(2048, 768) << 2.0 << 1.0;
    }

    void viewScaling()
    {
        QFETCH(QSize, size);
        QFETCH(double, sx);
        QFETCH(double, sy);
        QGraphicsScene scene(0, 0, 1024, 768);
        CustomGraphicsView view(&scene, nullptr);
        view.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        view.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        view.show();
        // Through another size first: the earlier scaling must be undone, not
        // multiplied into the new one.
        view.resize(800, 600);
        QTRY_COMPARE(view.size(), QSize(800, 600));
        view.resize(size);
        QTRY_COMPARE(view.size(), size);
        QVERIFY(qFuzzyCompare(view.transform().m11(), sx));
        QVERIFY(qFuzzyCompare(view.transform().m22(), sy));
        // The far corner of the scene is the far corner of the window.
        const QPoint corner = view.mapFromScene(QPointF(1024, 768));
        QVERIFY(qAbs(corner.x() - size.width()) <= 1 && qAbs(corner.y() - size.height()) <= 1);
    }

    // The window is repainted in parts: lamps blink, timers count, a line is
    // selected. What it shows on the screen is what a whole new paint shows.
    void partsRepaintedAsAWhole_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("highContrast");
        QTest::newRow("1:1") << QSize(1024, 768) << false;
        QTest::newRow("stretched") << QSize(1300, 850) << false;
        QTest::newRow("high contrast") << QSize(1024, 768) << true;
    }

    void partsRepaintedAsAWhole()
    {
        QFETCH(QSize, size);
        QFETCH(bool, highContrast);
        auto unit = startUnit();
        QVERIFY(unit);
        MIRTGui console(kHost, unit->port(), QStringLiteral("studio"), QStringLiteral("tavrik"));
        CustomGraphicsView& view = console.consoleView();
        // The unit's answer to the login's resync comes first: it would undo
        // the calls below.
        QTRY_VERIFY(!console.lines()->line(11)->state().status.isEmpty());
        view.resize(size);
        ConsoleLook::setHighContrast(console.consoleScene(), highContrast);
        for (unsigned i = 0; i < 12; ++i) {
            Message m;
            m.set_name("line_status");
            m.params().set_uint("line_id", i);
            m.params().set_string("status", i % 3 ? "on hold" : "ringing");
            m.params().set_bool("priority", i % 2);
            m.params().set_uint("time", 50 + i);
            unit->sendMessage(m);
        }
        QTRY_VERIFY(console.lines()->line(11)->holdButton().isBlinking());
        console.lines()->panelSelected(4);
        const auto shown
            = [&] { return view.screen()->grabWindow(view.winId()).toImage().convertToFormat(QImage::Format_RGB32); };
        // Past a timer tick, then just after a blink, once its repaint is on
        // the screen and before the next blink.
        QTest::qWait(1200);
        int tries = 0;
        QImage screen;
        QImage whole;
        do {
            QSignalSpy blink(BlinkClock::shared().get(), &BlinkClock::blink);
            QVERIFY(blink.wait(1000));
            QTest::qWait(40);
            screen = shown();
            whole = view.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
        } while (screen != whole && ++tries < 3);
        QCOMPARE(screen.size(), size);
        QCOMPARE(screen, whole);
    }

    void closingSavesGeometry_data()
    {
        QTest::addColumn<bool>("online");
        QTest::newRow("console view") << true;
        QTest::newRow("connection view") << false;
    }

    void closingSavesGeometry()
    {
        QFETCH(bool, online);
        // A port of this test's that refuses every connection.
        RestartableUnit held;
        held.stop();
        const int port = held.port();
        {
            MIRTGui console(kHost, port, QStringLiteral("user"), QStringLiteral("pw"));
            QSignalSpy closing(&console, &MIRTGui::closing);
            console.consoleView().setGeometry(QRect(100, 120, 640, 480));
            if (online)
                console.session().setState(IPCObject::IPC_READY);
            (online ? console.consoleView() : console.connectionView()).close();
            QCOMPARE(closing.count(), 1);
            QCOMPARE(closing.at(0), QVariantList({kHost, port}));
            QVERIFY(!settingsStore().value(QStringLiteral("127.0.0.1:%1/geometry").arg(port)).toByteArray().isEmpty());
        }
        // The next console of that unit opens both windows where it was left.
        MIRTGui again(kHost, port, QStringLiteral("user"), QStringLiteral("pw"));
        QCOMPARE(again.consoleView().size(), QSize(640, 480));
        QCOMPARE(again.connectionView().size(), QSize(640, 480));
    }
};

QTEST_MAIN(TestMirtGui)
#include "tst_mirtgui.moc"
