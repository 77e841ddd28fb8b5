#include "console/customgraphicsview.h"
#include "console/mirtgui.h"
#include "sim/unitsimulator.h"

#include <QGraphicsScene>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTcpServer>
#include <QtTest>

#include <memory>

namespace {

const QString localhost = QStringLiteral("127.0.0.1");

// A loopback port with nobody listening: a console pointed at it keeps
// failing to connect and never changes state on its own.
int unusedPort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

std::unique_ptr<UnitSimulator> startUnit(const QString& password, quint16 port = 0)
{
    auto unit = std::make_unique<UnitSimulator>();
    unit->setPassword(password);
    if (!unit->start(port))
        return nullptr;
    return unit;
}

QSettings settings()
{
    return QSettings(QStringLiteral("Ardeno"), QStringLiteral("MIRT Orvel Desktop"));
}

} // namespace

class TestMirtGui : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void stateTable_data();
    void stateTable();
    void loginReachesReady();
    void wrongPasswordAsksOnce();
    void refusedPasswordWaitsThroughDisconnect();
    void unitStopsAndReturns();
    void outOfRangePortReachesNothing();
    void disconnectShutsDown();
    void viewScaling_data();
    void viewScaling();
    void closingSavesGeometry_data();
    void closingSavesGeometry();
};

void TestMirtGui::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    settings().clear();
}

void TestMirtGui::stateTable_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("status");
    QTest::addColumn<bool>("online");
    QTest::addColumn<bool>("retrying");
    QTest::addColumn<int>("passwordRequests");

    QTest::newRow("disconnected") << 0 << "Disconnected." << false << true << 0;
    QTest::newRow("connecting") << 1 << "Connecting..." << false << true << 0;
    QTest::newRow("logging in") << 2 << "Logging in..." << false << true << 0;
    QTest::newRow("login failed") << 3 << "Incorrect password." << false << false << 1;
    QTest::newRow("logged in") << 4 << "Logged in." << false << true << 0;
    QTest::newRow("ready") << 5 << "Ready." << true << false << 0;
    QTest::newRow("unknown value ignored") << 7 << "Connecting..." << false << true << 0;
}

void TestMirtGui::stateTable()
{
    QFETCH(int, state);
    QFETCH(QString, status);
    QFETCH(bool, online);
    QFETCH(bool, retrying);
    QFETCH(int, passwordRequests);

    const int port = unusedPort();
    MIRTGui console(localhost, port, QStringLiteral("user"), QStringLiteral("pw"));
    QSignalSpy requests(&console, &MIRTGui::requestPassword);
    QCOMPARE(console.statusText(), QStringLiteral("Connecting..."));
    QVERIFY(console.connectionView().isVisible());
    QVERIFY(console.retryTimerActive());

    console.session().setState(static_cast<IPCObject::IPC_STATE>(state));
    QCoreApplication::processEvents();

    QCOMPARE(console.statusText(), status);
    QCOMPARE(console.consoleView().isVisible(), online);
    QCOMPARE(console.connectionView().isVisible(), !online);
    QCOMPARE(console.retryTimerActive(), retrying);
    QCOMPARE(requests.count(), passwordRequests);
    if (passwordRequests) {
        QCOMPARE(requests.at(0).at(0).toString(), localhost);
        QCOMPARE(requests.at(0).at(1).toInt(), port);
        QCOMPARE(console.progressValue(), console.progressMaximum());
    }
}

void TestMirtGui::loginReachesReady()
{
    auto unit = startUnit(QStringLiteral("tavrik"));
    QVERIFY(unit);
    MIRTGui console(localhost, unit->port(), QStringLiteral("studio"), QStringLiteral("tavrik"));
    QCOMPARE(console.statusText(), QStringLiteral("Connecting..."));
    QCOMPARE(console.progressValue(), 0);
    QCOMPARE(console.progressMaximum(), 50);

    // Connected after the console's own slot, so each entry is what the
    // connection screen shows once the console has handled the state.
    QStringList seen;
    connect(&console.session(), &IPCObject::changedState, this,
            [&](IPCObject::IPC_STATE) { seen << console.statusText(); });

    QTRY_COMPARE(console.statusText(), QStringLiteral("Ready."));
    QCOMPARE(seen, QStringList({"Logging in...", "Logged in.", "Ready."}));
    QVERIFY(console.consoleView().isVisible());
    QVERIFY(!console.connectionView().isVisible());
    QVERIFY(!console.retryTimerActive());
    QVERIFY(console.errorText().isEmpty());

    const QList<Message> logins = unit->receivedMessages(QStringLiteral("login"));
    QCOMPARE(logins.size(), 1);
    QCOMPARE(logins.at(0).params().get_qstring("username", QString()), QStringLiteral("studio"));
    QTRY_COMPARE(unit->receivedMessages(QStringLiteral("resync")).size(), 1);
}

void TestMirtGui::wrongPasswordAsksOnce()
{
    auto unit = startUnit(QStringLiteral("secret"));
    QVERIFY(unit);
    MIRTGui console(localhost, unit->port(), QStringLiteral("studio"), QStringLiteral("wrong"));
    QSignalSpy requests(&console, &MIRTGui::requestPassword);

    QTRY_COMPARE(requests.count(), 1);
    QCOMPARE(requests.at(0).at(0).toString(), localhost);
    QCOMPARE(requests.at(0).at(1).toInt(), int(unit->port()));
    QCOMPARE(console.statusText(), QStringLiteral("Incorrect password."));
    QCOMPARE(console.progressValue(), 50);
    QVERIFY(!console.retryTimerActive());
    QVERIFY(console.connectionView().isVisible());

    // Nothing more happens while the user is asked.
    QTest::qWait(600);
    QCOMPARE(requests.count(), 1);
    QCOMPARE(unit->receivedMessages(QStringLiteral("login")).size(), 1);

    console.setPassword(QStringLiteral("secret"));
    QCOMPARE(console.progressValue(), 0);
    QTRY_COMPARE(console.statusText(), QStringLiteral("Ready."));
    QVERIFY(console.consoleView().isVisible());
    QCOMPARE(requests.count(), 1);
    const QList<Message> logins = unit->receivedMessages(QStringLiteral("login"));
    QCOMPARE(logins.size(), 2);
    QCOMPARE(logins.at(1).params().get_qstring("password", QString()), QStringLiteral("secret"));
}

void TestMirtGui::refusedPasswordWaitsThroughDisconnect()
{
    // A unit that hangs up after refusing must not start another attempt
    // with the refused password (and another question to the user).
    auto unit = startUnit(QStringLiteral("secret"));
    QVERIFY(unit);
    MIRTGui console(localhost, unit->port(), QStringLiteral("studio"), QStringLiteral("wrong"));
    QSignalSpy requests(&console, &MIRTGui::requestPassword);
    QTRY_COMPARE(requests.count(), 1);

    unit->dropAllConnections();
    QTRY_COMPARE(console.statusText(), QStringLiteral("Disconnected."));
    QVERIFY(!console.retryTimerActive());
    QTest::qWait(600);
    QCOMPARE(requests.count(), 1);
    QCOMPARE(unit->receivedMessages(QStringLiteral("login")).size(), 1);

    console.setPassword(QStringLiteral("secret"));
    QTRY_COMPARE(console.statusText(), QStringLiteral("Ready."));
}

void TestMirtGui::unitStopsAndReturns()
{
    auto unit = startUnit(QStringLiteral("tavrik"));
    QVERIFY(unit);
    const quint16 port = unit->port();
    MIRTGui console(localhost, port, QStringLiteral("studio"), QStringLiteral("tavrik"));
    QTRY_COMPARE(console.statusText(), QStringLiteral("Ready."));

    unit.reset();
    QTRY_COMPARE(console.statusText(), QStringLiteral("Disconnected."));
    QTRY_VERIFY(console.errorText().startsWith(QStringLiteral("Error: ")));
    QVERIFY(console.errorText().size() > 7);
    QVERIFY(console.connectionView().isVisible());
    QVERIFY(!console.consoleView().isVisible());
    QVERIFY(console.retryTimerActive());
    QTRY_VERIFY(console.progressValue() >= 2);

    // The same port again; the console finds it when the bar is full.
    unit = startUnit(QStringLiteral("tavrik"), port);
    QVERIFY(unit);
    QTRY_VERIFY_WITH_TIMEOUT(console.statusText() == QStringLiteral("Ready."), 16000);
    QVERIFY(console.consoleView().isVisible());
    QVERIFY(!console.connectionView().isVisible());
    QVERIFY(console.progressValue() < 50);
}

void TestMirtGui::outOfRangePortReachesNothing()
{
    // The port travels as 16 bits; 65536 more than the unit's port must
    // not wrap around onto the unit.
    auto unit = startUnit(QStringLiteral("tavrik"));
    QVERIFY(unit);
    MIRTGui console(localhost, int(unit->port()) + 65536, QStringLiteral("studio"), QStringLiteral("tavrik"));
    QTRY_VERIFY(!console.errorText().isEmpty());
    QTest::qWait(100);
    QCOMPARE(unit->connectionCount(), 0);
    QCOMPARE(console.statusText(), QStringLiteral("Connecting..."));
}

void TestMirtGui::disconnectShutsDown()
{
    auto unit = startUnit(QStringLiteral("tavrik"));
    QVERIFY(unit);
    MIRTGui console(localhost, unit->port(), QStringLiteral("studio"), QStringLiteral("tavrik"));
    QTRY_COMPARE(console.statusText(), QStringLiteral("Ready."));

    console.disconnect();
    QCOMPARE(console.statusText(), QStringLiteral("Disconnected."));
    QTRY_COMPARE(unit->connectionCount(), 0);
    // On its way out: no retry and no connection screen popping up.
    QVERIFY(!console.retryTimerActive());
    QVERIFY(!console.connectionView().isVisible());
}

void TestMirtGui::viewScaling_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<double>("sx");
    QTest::addColumn<double>("sy");

    QTest::newRow("half") << QSize(512, 384) << 0.5 << 0.5;
    QTest::newRow("wide") << QSize(2048, 768) << 2.0 << 1.0;
    QTest::newRow("tall") << QSize(1024, 1536) << 1.0 << 2.0;
    QTest::newRow("native") << QSize(1024, 768) << 1.0 << 1.0;
}

void TestMirtGui::viewScaling()
{
    QFETCH(QSize, size);
    QFETCH(double, sx);
    QFETCH(double, sy);

    QGraphicsScene scene(0, 0, 1024, 768);
    CustomGraphicsView view(&scene, nullptr);
    view.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));

    // Through another size first: the earlier scaling must be undone, not
    // multiplied into the new one.
    view.resize(800, 600);
    QTRY_COMPARE(view.size(), QSize(800, 600));
    view.resize(size);
    QTRY_COMPARE(view.size(), size);

    QVERIFY(qFuzzyCompare(view.transform().m11(), sx));
    QVERIFY(qFuzzyCompare(view.transform().m22(), sy));
    QVERIFY(qFuzzyCompare(view.horizontalScale(), sx));
    QVERIFY(qFuzzyCompare(view.verticalScale(), sy));

    // The far corner of the scene lands at the far corner of the window
    // (give or take a pixel of rounding).
    const QPoint corner = view.mapFromScene(QPointF(1024, 768));
    QVERIFY2(qAbs(corner.x() - size.width()) <= 1, qPrintable(QString::number(corner.x())));
    QVERIFY2(qAbs(corner.y() - size.height()) <= 1, qPrintable(QString::number(corner.y())));
}

void TestMirtGui::closingSavesGeometry_data()
{
    QTest::addColumn<bool>("closeConsoleView");
    QTest::newRow("console view") << true;
    QTest::newRow("connection view") << false;
}

void TestMirtGui::closingSavesGeometry()
{
    QFETCH(bool, closeConsoleView);

    const int port = unusedPort();
    const QString key = QStringLiteral("127.0.0.1:%1/geometry").arg(port);
    {
        MIRTGui console(localhost, port, QStringLiteral("user"), QStringLiteral("pw"));
        QSignalSpy closing(&console, &MIRTGui::closing);
        console.consoleView().setGeometry(QRect(100, 120, 640, 480));
        if (closeConsoleView)
            console.session().setState(IPCObject::IPC_READY);

        CustomGraphicsView& view = closeConsoleView ? console.consoleView() : console.connectionView();
        QVERIFY(view.isVisible());
        view.close();

        QCOMPARE(closing.count(), 1);
        QCOMPARE(closing.at(0).at(0).toString(), localhost);
        QCOMPARE(closing.at(0).at(1).toInt(), port);
        QVERIFY(!settings().value(key).toByteArray().isEmpty());
    }

    // The next console of that unit opens both windows where it was left.
    MIRTGui again(localhost, port, QStringLiteral("user"), QStringLiteral("pw"));
    QCOMPARE(again.consoleView().size(), QSize(640, 480));
    QCOMPARE(again.connectionView().size(), QSize(640, 480));
}

QTEST_MAIN(TestMirtGui)
#include "tst_mirtgui.moc"
