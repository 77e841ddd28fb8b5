#include "app/mainwindow.h"
#include "app/requestpassworddialog.h"
#include "app/unittablemodel.h"
#include "console/customgraphicsview.h"
#include "sim/unitsimulator.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTableView>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

std::unique_ptr<UnitSimulator> startUnit(const QString& password = QStringLiteral("tavrik"))
{
    auto unit = std::make_unique<UnitSimulator>();
    unit->setPassword(password);
    return unit->start(0) ? std::move(unit) : nullptr;
}

QString keyOf(const UnitSimulator& unit)
{
    return QStringLiteral("127.0.0.1:%1").arg(unit.port());
}

// Every console has two top-level views, which go when it is deleted.
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

void closeConsoleWindow()
{
    for (CustomGraphicsView* view : consoleWindows()) {
        if (view->isVisible())
            return void(view->close());
    }
}

// Answers the next password dialog once it is up; meanwhile runs first.
void answerPasswordDialog(QString password, bool save, bool accept, std::function<void()> meanwhile, int* seen)
{
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [=]() {
        auto* dialog = qobject_cast<RequestPasswordDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        poll->deleteLater();
        ++*seen;
        if (meanwhile)
            meanwhile();
        dialog->findChild<QLineEdit*>(QStringLiteral("linePassword"))->setText(password);
        dialog->findChild<QCheckBox*>(QStringLiteral("checkSavePassword"))->setChecked(save);
        accept ? dialog->accept() : dialog->reject();
    });
    poll->start(10);
}

struct Window {
    explicit Window(const QList<QStringList>& rows)
    {
        UnitTableModel store; // the directory as an earlier run left it
        for (const QStringList& row : rows) {
            const int r = store.rowCount();
            store.insertRows(r, 1);
            for (int c = 0; c < row.size(); ++c)
                store.setData(store.index(r, c), row.at(c));
        }
        store.save();
        window.reset(new MainWindow);
        table = window->findChild<QTableView*>(QStringLiteral("tableUnits"));
        connect = window->findChild<QPushButton*>(QStringLiteral("buttonConnect"));
        window->show();
    }
    ~Window()
    {
        window->close(); // shuts down the consoles still open
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    void click(int row)
    {
        const QRect rect = table->visualRect(table->model()->index(row, 0));
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, rect.center());
    }
    QString password(int row) const { return table->model()->index(row, 2).data().toString(); }

    std::unique_ptr<MainWindow> window;
    QTableView* table;
    QPushButton* connect;
};

} // namespace

class TestConnect : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init() { QSettings(QStringLiteral("Ardeno"), QStringLiteral("MIRT Orvel Desktop")).clear(); }
    void cleanup() { QTRY_COMPARE(openConsoles(), 0); }
    void connectAndClose_data();
    void connectAndClose();
    void passwordRequest_data();
    void passwordRequest();
    void closingMainWindow();
};

void TestConnect::connectAndClose_data()
{
    QTest::addColumn<QString>("keyForm");
    QTest::addColumn<bool>("opens");
    QTest::newRow("address and port") << "127.0.0.1:%1" << true;
    // Written by hand: the console reports its port without the zero and
    // must still be found under the key it was filed under.
    QTest::newRow("port with leading zero") << "127.0.0.1:0%1" << true;
    QTest::newRow("three parts") << "127.0.0.1:1:%1" << false;
}

void TestConnect::connectAndClose()
{
    QFETCH(QString, keyForm);
    QFETCH(bool, opens);
    auto unit = startUnit();
    QVERIFY(unit);
    Window w({{keyForm.arg(unit->port()), "studio"}, {"127.0.0.1:1", "other"}});
    w.click(0);
    w.connect->click();
    QCOMPARE(openConsoles(), opens ? 1 : 0);
    QCOMPARE(w.connect->isEnabled(), !opens);
    if (!opens)
        return;
    QTRY_COMPARE(unit->loggedInCount(), 1);

    w.window->handleConnect();
    QCOMPARE(openConsoles(), 1);
    w.click(1);
    QVERIFY(w.connect->isEnabled());
    w.click(0);
    QVERIFY(!w.connect->isEnabled());

    closeConsoleWindow();
    QVERIFY(w.connect->isEnabled());
    QTRY_COMPARE(openConsoles(), 0);
    QTRY_COMPARE(unit->connectionCount(), 0);
    w.connect->click();
    QCOMPARE(openConsoles(), 1);
}

void TestConnect::passwordRequest_data()
{
    QTest::addColumn<bool>("save");
    QTest::addColumn<bool>("accept");
    QTest::addColumn<bool>("closeMeanwhile");
    QTest::newRow("saved") << true << true << false;
    QTest::newRow("not saved") << false << true << false;
    QTest::newRow("cancelled") << true << false << false;
    // The answer must not reach the deleted console, nor be lost.
    QTest::newRow("console closed meanwhile") << true << true << true;
}

void TestConnect::passwordRequest()
{
    QFETCH(bool, save);
    QFETCH(bool, accept);
    QFETCH(bool, closeMeanwhile);
    auto unit = startUnit(QStringLiteral("secret"));
    QVERIFY(unit);
    const QString key = keyOf(*unit);
    Window w({{key, "first"}, {"127.0.0.1:1", "other"}, {key, "second"}});
    w.click(0);

    int seen = 0;
    std::function<void()> meanwhile;
    if (closeMeanwhile)
        meanwhile = []() { closeConsoleWindow(); QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); };
    answerPasswordDialog(QStringLiteral("secret"), save, accept, meanwhile, &seen);
    w.connect->click();
    QTRY_COMPARE(seen, 1);
    const bool loggedIn = accept && !closeMeanwhile;
    QTRY_COMPARE(unit->loggedInCount(), loggedIn ? 1 : 0);
    QCOMPARE(unit->receivedMessages(QStringLiteral("login")).first().params().get_qstring("password", QString()),
             QStringLiteral("tavrik"));

    const QString stored = save && accept ? QStringLiteral("secret") : QString();
    QCOMPARE(QStringList({w.password(0), w.password(1), w.password(2)}), QStringList({stored, "", stored}));
    UnitTableModel saved; // written at once, not only when the window goes
    saved.load();
    QCOMPARE(saved.index(2, 2).data().toString(), stored);
    if (stored.isEmpty() || closeMeanwhile)
        return;

    // The next console of that unit logs in with it, without asking.
    closeConsoleWindow();
    QTRY_COMPARE(unit->connectionCount(), 0);
    unit->clearReceived();
    w.click(2);
    w.connect->click();
    QTRY_COMPARE(unit->loggedInCount(), 1);
    const Params login = unit->receivedMessages(QStringLiteral("login")).first().params();
    QCOMPARE(login.get_qstring("password", QString()), QStringLiteral("secret"));
    QCOMPARE(login.get_qstring("username", QString()), QStringLiteral("second"));
    QCOMPARE(seen, 1);
}

void TestConnect::closingMainWindow()
{
    auto first = startUnit();
    auto second = startUnit();
    QVERIFY(first && second);
    Window w({{keyOf(*first), "a"}, {keyOf(*second), "b"}});
    for (int row : {0, 1}) {
        w.click(row);
        w.connect->click();
    }
    QCOMPARE(openConsoles(), 2);
    QTRY_VERIFY(first->loggedInCount() == 1 && second->loggedInCount() == 1);

    w.window->close();
    QSettings settings(QStringLiteral("Ardeno"), QStringLiteral("MIRT Orvel Desktop"));
    for (const UnitSimulator* unit : {first.get(), second.get()})
        QVERIFY(settings.contains(keyOf(*unit) + QStringLiteral("/geometry")));
    QTRY_COMPARE(openConsoles(), 0);
    QTRY_VERIFY(first->connectionCount() == 0 && second->connectionCount() == 0);
}

QTEST_MAIN(TestConnect)
#include "tst_connect.moc"
