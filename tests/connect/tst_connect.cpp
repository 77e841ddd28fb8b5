#include "app/mainwindow.h"
#include "app/requestpassworddialog.h"
#include "console/customgraphicsview.h"
#include "sim/unitsimulator.h"
#include "tests/support/settings.h"
#include "tests/support/unit.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QtTest>

#include <memory>

using namespace testsupport;

namespace {

// Every console has two top-level views, which go when it is deleted.
// Closes the window of one console first when asked to.
int openConsoles(bool closeOne = false)
{
    int views = 0;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (!qobject_cast<CustomGraphicsView*>(w))
            continue;
        ++views;
        if (closeOne && w->isVisible())
            closeOne = !w->close();
    }
    return views / 2;
}

// The directory as an earlier run left it.
void storeRows(const QList<QStringList>& rows)
{
    QVariantList stored;
    for (const QStringList& row : rows)
        stored << row;
    settingsStore().setValue(QStringLiteral("hostTable"), stored);
}

struct Window
{
    Window() { window.show(); }
    ~Window()
    {
        window.close(); // shuts down the consoles still open
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    void connectRow(int row)
    {
        const QRect rect = table->visualRect(table->model()->index(row, 0));
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, rect.center());
        connect->click();
    }
    QString password(int row) const { return table->model()->index(row, 2).data().toString(); }

    MainWindow window;
    QTableView* table = window.findChild<QTableView*>(QStringLiteral("tableUnits"));
    QPushButton* connect = window.findChild<QPushButton*>(QStringLiteral("buttonConnect"));
};

} // namespace

class TestConnect : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { isolateSettings(); }
    void init() { settingsStore().clear(); }
    void cleanup() { QTRY_COMPARE(openConsoles(), 0); }

    void connectAndClose()
    {
        auto first = startUnit();
        auto second = startUnit();
        QVERIFY(first && second);
        storeRows({{unitKey(*first), "a"}, {unitKey(*second), "b"}});
        Window w;
        w.connectRow(0);
        QCOMPARE(openConsoles(), 1);
        QVERIFY(!w.connect->isEnabled());
        QTRY_COMPARE(first->loggedInCount(), 1);
        w.window.handleConnect();
        QCOMPARE(openConsoles(), 1);

        openConsoles(true);
        QVERIFY(w.connect->isEnabled());
        QTRY_COMPARE(openConsoles(), 0);
        QTRY_COMPARE(first->connectionCount(), 0);

        // Closing the main window saves both consoles' geometry and deletes them.
        w.connectRow(0);
        w.connectRow(1);
        QCOMPARE(openConsoles(), 2);
        QTRY_VERIFY(first->loggedInCount() == 1 && second->loggedInCount() == 1);
        w.window.close();
        for (const UnitSimulator* unit : {first.get(), second.get()})
            QVERIFY(settingsStore().contains(unitKey(*unit) + QStringLiteral("/geometry")));
        QTRY_COMPARE(openConsoles(), 0);
        QTRY_VERIFY(first->connectionCount() == 0 && second->connectionCount() == 0);
    }

    void passwordRequest_data()
    {
        QTest::addColumn<bool>("accept");
        QTest::addColumn<bool>("closeMeanwhile");
        QTest::newRow("saved") << true << false;
        QTest::newRow("cancelled") << false << false;
        // The answer must not reach the deleted console, nor be lost.
        QTest::newRow("console closed meanwhile") << true << true;
    }

    void passwordRequest()
    {
        QFETCH(bool, accept);
        QFETCH(bool, closeMeanwhile);
        auto unit = startUnit(QStringLiteral("secret"));
        QVERIFY(unit);
        const QString key = unitKey(*unit);
        storeRows({{key, "first"}, {"127.0.0.1:1", "other"}, {key, "second"}});
        Window w;

        // Answers the password dialog once it is up, with "Save password" checked.
        int seen = 0;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<RequestPasswordDialog*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            poll.stop();
            ++seen;
            if (closeMeanwhile) {
                openConsoles(true);
                QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            }
            dialog->findChild<QLineEdit*>(QStringLiteral("linePassword"))->setText(QStringLiteral("secret"));
            dialog->findChild<QCheckBox*>(QStringLiteral("checkSavePassword"))->setChecked(true);
            accept ? dialog->accept() : dialog->reject();
        });
        poll.start(10);
        w.connectRow(0);
        QTRY_COMPARE(seen, 1);
        QTRY_COMPARE(unit->loggedInCount(), accept && !closeMeanwhile ? 1 : 0);

        // Stored in every row of that unit, at once, not only when the window goes.
        const QString stored = accept ? QStringLiteral("secret") : QString();
        QCOMPARE(QStringList({w.password(0), w.password(1), w.password(2)}), QStringList({stored, "", stored}));
        QCOMPARE(settingsStore().value(QStringLiteral("hostTable")).toList().value(2).toStringList().value(2), stored);
        if (!accept || closeMeanwhile)
            return;

        // The next console of that unit logs in with it, without asking.
        openConsoles(true);
        QTRY_COMPARE(unit->connectionCount(), 0);
        unit->clearReceived();
        w.connectRow(2);
        QTRY_COMPARE(unit->loggedInCount(), 1);
        const Params login = unit->receivedMessages(QStringLiteral("login")).first().params();
        QCOMPARE(login.get_qstring("password", QString()), QStringLiteral("secret"));
        QCOMPARE(login.get_qstring("username", QString()), QStringLiteral("second"));
        QCOMPARE(seen, 1);
    }
};

QTEST_MAIN(TestConnect)
#include "tst_connect.moc"
