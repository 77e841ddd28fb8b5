#include "app/mainwindow.h"
#include "app/requestpassworddialog.h"
#include "app/unittablemodel.h"
#include "console/customgraphicsview.h"
#include "sim/unitsimulator.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTableView>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {

QStringList g_debugLines;
QtMessageHandler g_previousHandler = nullptr;

void captureDebug(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type == QtDebugMsg)
        g_debugLines << text;
    else if (g_previousHandler)
        g_previousHandler(type, context, text);
}

QSettings settings()
{
    return QSettings(QStringLiteral("Ardeno"), QStringLiteral("MIRT Orvel Desktop"));
}

QString keyOf(const UnitSimulator& unit)
{
    return QStringLiteral("127.0.0.1:%1").arg(unit.port());
}

std::unique_ptr<UnitSimulator> startUnit(const QString& password = QStringLiteral("tavrik"))
{
    auto unit = std::make_unique<UnitSimulator>();
    unit->setPassword(password);
    if (!unit->start(0))
        return nullptr;
    return unit;
}

// Each console has two top-level windows: its connection view and its
// console view; they go when the console is deleted.
QList<CustomGraphicsView*> consoleWindows()
{
    QList<CustomGraphicsView*> views;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* view = qobject_cast<CustomGraphicsView*>(w))
            views << view;
    }
    return views;
}

int openConsoles()
{
    return consoleWindows().size() / 2;
}

void closeVisibleConsoleWindow()
{
    for (CustomGraphicsView* view : consoleWindows()) {
        if (view->isVisible()) {
            view->close();
            return;
        }
    }
}

// Answers the next password dialog: types password, ticks "Save password"
// as asked, then accepts (or rejects when accept is false). before runs
// while the dialog is up.
struct DialogAnswer {
    QString password;
    bool save = false;
    bool accept = true;
    std::function<void()> before;
    int seen = 0;
};

QTimer* answerPasswordDialog(DialogAnswer* answer)
{
    auto* poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, answer]() {
        auto* dialog = qobject_cast<RequestPasswordDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        poll->stop();
        poll->deleteLater();
        ++answer->seen;
        if (answer->before)
            answer->before();
        dialog->findChild<QLineEdit*>(QStringLiteral("linePassword"))->setText(answer->password);
        dialog->findChild<QCheckBox*>(QStringLiteral("checkSavePassword"))->setChecked(answer->save);
        if (answer->accept)
            dialog->accept();
        else
            dialog->reject();
    });
    poll->start();
    return poll;
}

} // namespace

class TestConnect : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void connectOpensOneConsole_data();
    void connectOpensOneConsole();
    void passwordRequest_data();
    void passwordRequest();
    void consoleClosedWhileAsking();
    void requestWithoutConsoleIsIgnored();
    void closingMainWindowShutsConsolesDown();

private:
    struct Window {
        Window()
            : table(window.findChild<QTableView*>(QStringLiteral("tableUnits")))
            , connect(window.findChild<QPushButton*>(QStringLiteral("buttonConnect")))
        {
            window.show();
        }
        ~Window()
        {
            // Consoles still open go with the main window's closing.
            window.close();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        void addRow(const QString& key, const QString& user = QStringLiteral("studio"))
        {
            QAbstractItemModel* model = table->model();
            const int row = model->rowCount();
            model->insertRows(row, 1);
            model->setData(model->index(row, 0), key);
            model->setData(model->index(row, 1), user);
        }
        QString cell(int row, int column) const
        {
            return table->model()->index(row, column).data().toString();
        }
        void click(int row)
        {
            const QRect rect = table->visualRect(table->model()->index(row, 0));
            QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, rect.center());
        }
        MainWindow window;
        QTableView* table;
        QPushButton* connect;
    };
};

void TestConnect::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=true"));
    g_previousHandler = qInstallMessageHandler(captureDebug);
}

void TestConnect::init()
{
    settings().clear();
    g_debugLines.clear();
}

void TestConnect::cleanup()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(openConsoles(), 0);
}

void TestConnect::connectOpensOneConsole_data()
{
    QTest::addColumn<QString>("keyForm");
    QTest::addColumn<bool>("opens");

    QTest::newRow("address and port") << "127.0.0.1:%1" << true;
    // Written by hand: the console reports port 8080 for "08080", and must
    // still be found under the key it was filed under.
    QTest::newRow("port with leading zero") << "127.0.0.1:0%1" << true;
    QTest::newRow("three parts") << "127.0.0.1:1:%1" << false;
}

void TestConnect::connectOpensOneConsole()
{
    QFETCH(QString, keyForm);
    QFETCH(bool, opens);

    auto unit = startUnit();
    QVERIFY(unit);
    Window w;
    w.addRow(keyForm.arg(unit->port()));
    w.addRow(QStringLiteral("127.0.0.1:1"));
    w.click(0);
    QVERIFY(w.connect->isEnabled());

    w.connect->click();
    QCOMPARE(openConsoles(), opens ? 1 : 0);
    QCOMPARE(w.connect->isEnabled(), !opens);
    if (!opens)
        return;
    QTRY_COMPARE(unit->loggedInCount(), 1);

    // A second Connect on the same row opens nothing more.
    w.window.handleConnect();
    QCOMPARE(openConsoles(), 1);
    QVERIFY(!w.connect->isEnabled());

    // Another row without a console may connect.
    w.click(1);
    QVERIFY(w.connect->isEnabled());
    w.click(0);
    QVERIFY(!w.connect->isEnabled());

    g_debugLines.clear();
    closeVisibleConsoleWindow();
    QVERIFY(w.connect->isEnabled());
    QCOMPARE(g_debugLines.filter(QStringLiteral("MIRT window closed")).size(), 1);
    QCOMPARE(g_debugLines.filter(QStringLiteral("removing id")).size(), 1);
    QTRY_COMPARE(openConsoles(), 0);
    QTRY_COMPARE(unit->connectionCount(), 0);

    // And the row can be connected again.
    w.connect->click();
    QCOMPARE(openConsoles(), 1);
    QTRY_COMPARE(unit->loggedInCount(), 1);
}

void TestConnect::passwordRequest_data()
{
    QTest::addColumn<bool>("save");
    QTest::addColumn<bool>("accept");

    QTest::newRow("saved") << true << true;
    QTest::newRow("not saved") << false << true;
    QTest::newRow("cancelled") << true << false;
}

void TestConnect::passwordRequest()
{
    QFETCH(bool, save);
    QFETCH(bool, accept);

    auto unit = startUnit(QStringLiteral("secret"));
    QVERIFY(unit);
    const QString key = keyOf(*unit);
    {
        // A saved directory, as an earlier run left it.
        UnitTableModel store;
        const QStringList rows[] = {{key, "first"}, {"127.0.0.1:1", "other"}, {key, "second"}};
        for (const QStringList& row : rows) {
            const int r = store.rowCount();
            store.insertRows(r, 1);
            store.setData(store.index(r, 0), row.at(0));
            store.setData(store.index(r, 1), row.at(1));
        }
        store.save();
    }
    Window w;
    QCOMPARE(w.table->model()->rowCount(), 3);
    w.click(0);

    DialogAnswer answer{QStringLiteral("secret"), save, accept, {}};
    answerPasswordDialog(&answer);
    w.connect->click();
    QTRY_COMPARE(answer.seen, 1);

    // The first attempt went with the default password.
    const QList<Message> logins = unit->receivedMessages(QStringLiteral("login"));
    QVERIFY(!logins.isEmpty());
    QCOMPARE(logins.at(0).params().get_qstring("password", QString()), QStringLiteral("tavrik"));

    if (accept) {
        QTRY_COMPARE(unit->loggedInCount(), 1);
    } else {
        QTest::qWait(300);
        QCOMPARE(unit->loggedInCount(), 0);
        QCOMPARE(unit->receivedMessages(QStringLiteral("login")).size(), 1);
    }

    const QString stored = (save && accept) ? QStringLiteral("secret") : QString();
    QCOMPARE(w.cell(0, 2), stored);
    QCOMPARE(w.cell(1, 2), QString());
    QCOMPARE(w.cell(2, 2), stored);

    // Saved at once, not only when the main window goes.
    UnitTableModel reloaded;
    reloaded.load();
    QCOMPARE(reloaded.rowCount(), 3);
    QCOMPARE(reloaded.index(0, 2).data().toString(), stored);
    QCOMPARE(reloaded.index(2, 2).data().toString(), stored);

    if (!(save && accept))
        return;
    // The next console of that unit logs in with the saved password, without
    // asking.
    closeVisibleConsoleWindow();
    QTRY_COMPARE(unit->connectionCount(), 0);
    unit->clearReceived();
    w.click(2);
    w.connect->click();
    QTRY_COMPARE(unit->loggedInCount(), 1);
    const QList<Message> again = unit->receivedMessages(QStringLiteral("login"));
    QCOMPARE(again.size(), 1);
    QCOMPARE(again.at(0).params().get_qstring("password", QString()), QStringLiteral("secret"));
    QCOMPARE(again.at(0).params().get_qstring("username", QString()), QStringLiteral("second"));
    QCOMPARE(answer.seen, 1);
}

void TestConnect::consoleClosedWhileAsking()
{
    // The user closes the console while its password dialog is up; the
    // answer must neither reach the deleted console nor be lost.
    auto unit = startUnit(QStringLiteral("secret"));
    QVERIFY(unit);
    Window w;
    w.addRow(keyOf(*unit));
    w.click(0);

    DialogAnswer answer{QStringLiteral("secret"), true, true, []() {
                            closeVisibleConsoleWindow();
                            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
                        }};
    answerPasswordDialog(&answer);
    w.connect->click();
    QTRY_COMPARE(answer.seen, 1);
    QTRY_COMPARE(openConsoles(), 0);
    QVERIFY(w.connect->isEnabled());
    QCOMPARE(w.cell(0, 2), QStringLiteral("secret"));
    QTest::qWait(100);
    QCOMPARE(unit->loggedInCount(), 0);
}

void TestConnect::requestWithoutConsoleIsIgnored()
{
    Window w;
    w.addRow(QStringLiteral("127.0.0.1:1"));
    DialogAnswer answer{QStringLiteral("x"), true, false, {}};
    std::unique_ptr<QTimer> poll(answerPasswordDialog(&answer));
    w.window.handlePasswordRequest(QStringLiteral("127.0.0.1"), 1);
    QTest::qWait(50);
    QCOMPARE(answer.seen, 0);
    QCOMPARE(w.cell(0, 2), QString());
}

void TestConnect::closingMainWindowShutsConsolesDown()
{
    auto first = startUnit();
    auto second = startUnit();
    QVERIFY(first && second);
    {
        Window w;
        w.addRow(keyOf(*second));
        w.addRow(keyOf(*first));
        w.click(0);
        w.connect->click();
        w.click(1);
        w.connect->click();
        QCOMPARE(openConsoles(), 2);
        QTRY_COMPARE(first->loggedInCount(), 1);
        QTRY_COMPARE(second->loggedInCount(), 1);

        g_debugLines.clear();
        w.window.close();
        QVERIFY(!w.window.isVisible());

        QStringList expected = {keyOf(*first), keyOf(*second)};
        expected.sort();
        const QStringList deleting = g_debugLines.filter(QRegularExpression(QStringLiteral("^deleting ")));
        QCOMPARE(deleting.size(), 2);
        QVERIFY(deleting.at(0).contains(expected.at(0)));
        QVERIFY(deleting.at(1).contains(expected.at(1)));
        QCOMPARE(g_debugLines.filter(QStringLiteral("saving geometry")).size(), 2);
        for (const QString& key : expected)
            QVERIFY(!settings().value(key + QStringLiteral("/geometry")).toByteArray().isEmpty());

        // The connection screens do not come back up while they shut down:
        // only the two console views stay visible until deletion.
        QCoreApplication::processEvents();
        int visible = 0;
        for (CustomGraphicsView* view : consoleWindows())
            visible += view->isVisible() ? 1 : 0;
        QVERIFY(visible <= 2);
        QTRY_COMPARE(openConsoles(), 0);
        QTRY_COMPARE(first->connectionCount(), 0);
        QTRY_COMPARE(second->connectionCount(), 0);
    }
}

QTEST_MAIN(TestConnect)
#include "tst_connect.moc"
