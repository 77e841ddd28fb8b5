#include "app/addunitdialog.h"
#include "app/mainwindow.h"
#include "app/portvalidator.h"
#include "app/requestpassworddialog.h"
#include "app/unittablemodel.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTableView>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>

using Rows = QList<QStringList>;
Q_DECLARE_METATYPE(Rows)

namespace {

const QString org = QStringLiteral("Ardeno");
const QString appName = QStringLiteral("MIRT Orvel Desktop");

void storeRows(const Rows& rows)
{
    QVariantList list;
    for (const QStringList& row : rows)
        list.append(QVariant(row));
    QSettings(org, appName).setValue(QStringLiteral("hostTable"), list);
}

Rows storedRows()
{
    Rows rows;
    for (const QVariant& v : QSettings(org, appName).value(QStringLiteral("hostTable")).toList())
        rows.append(v.toStringList());
    return rows;
}

// Runs fn on the modal dialog as soon as one is open; exec() then returns.
void onModal(std::function<void(QWidget*)> fn, int attemptsLeft = 300)
{
    QTimer::singleShot(attemptsLeft == 300 ? 0 : 10, [fn, attemptsLeft] {
        if (QWidget* w = QApplication::activeModalWidget()) {
            fn(w);
            // A failed check inside fn must not leave exec() waiting forever.
            if (QApplication::activeModalWidget() == w)
                w->close();
        } else if (attemptsLeft > 0) {
            onModal(fn, attemptsLeft - 1);
        }
    });
}

void fillAddDialog(const QString& address, const QString& port, const QString& name, bool accept)
{
    onModal([=](QWidget* w) {
        QVERIFY(qobject_cast<AddUnitDialog*>(w));
        w->findChild<QLineEdit*>(QStringLiteral("lineAddress"))->setText(address);
        w->findChild<QLineEdit*>(QStringLiteral("linePort"))->setText(port);
        w->findChild<QLineEdit*>(QStringLiteral("lineName"))->setText(name);
        auto* box = w->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
        box->button(accept ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel)->click();
    });
}

void answerRemove(QMessageBox::StandardButton answer)
{
    onModal([=](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        QVERIFY(box);
        QCOMPARE(box->windowTitle(), QStringLiteral("Remove Entry"));
        QCOMPARE(box->text(), QStringLiteral("Are you sure you want to remove this entry?"));
        QCOMPARE(box->informativeText(), QStringLiteral("This cannot be undone."));
        QCOMPARE(box->defaultButton(), box->button(QMessageBox::No));
        box->button(answer)->click();
    });
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void portValidator_data();
    void portValidator();
    void addDialogAccessors_data();
    void addDialogAccessors();
    void passwordDialog();
    void passwordDialogEscapeRejects();

    void buttonStates_data();
    void buttonStates();
    void addFlow_data();
    void addFlow();
    void removeFlow_data();
    void removeFlow();
    void destructionSaves();

private:
    struct Window {
        Window()
            : table(window.findChild<QTableView*>(QStringLiteral("tableUnits")))
            , connect(window.findChild<QPushButton*>(QStringLiteral("buttonConnect")))
            , add(window.findChild<QPushButton*>(QStringLiteral("buttonAdd")))
            , remove(window.findChild<QPushButton*>(QStringLiteral("buttonRemove")))
        {
        }
        // Closing shuts down the consoles that Connect opened.
        ~Window()
        {
            window.close();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        MainWindow window;
        QTableView* table;
        QPushButton* connect;
        QPushButton* add;
        QPushButton* remove;
    };
    std::unique_ptr<Window> openWindow();
    void clickRow(Window& w, int row);

    QTemporaryDir m_settingsDir;
};

void TestMainWindow::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(m_settingsDir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
}

void TestMainWindow::init()
{
    QSettings(org, appName).clear();
}

std::unique_ptr<TestMainWindow::Window> TestMainWindow::openWindow()
{
    auto w = std::make_unique<Window>();
    w->window.show();
    if (!QTest::qWaitForWindowExposed(&w->window))
        return nullptr;
    return w;
}

void TestMainWindow::clickRow(Window& w, int row)
{
    const QRect rect = w.table->visualRect(w.table->model()->index(row, 0));
    QTest::mouseClick(w.table->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
}

void TestMainWindow::portValidator_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<int>("state");

    QTest::newRow("empty") << "" << int(QValidator::Intermediate);
    QTest::newRow("0") << "0" << int(QValidator::Invalid);
    QTest::newRow("1") << "1" << int(QValidator::Acceptable);
    QTest::newRow("8080") << "8080" << int(QValidator::Acceptable);
    QTest::newRow("65535") << "65535" << int(QValidator::Acceptable);
    QTest::newRow("65536") << "65536" << int(QValidator::Invalid);
    QTest::newRow("leading zeros") << "0080" << int(QValidator::Acceptable);
    QTest::newRow("all zeros") << "000" << int(QValidator::Invalid);
    QTest::newRow("letters") << "abc" << int(QValidator::Invalid);
    QTest::newRow("digit then letter") << "80a" << int(QValidator::Invalid);
    QTest::newRow("minus") << "-1" << int(QValidator::Invalid);
    QTest::newRow("plus") << "+80" << int(QValidator::Invalid);
    QTest::newRow("blank") << " 80" << int(QValidator::Invalid);
    QTest::newRow("hex") << "0x50" << int(QValidator::Invalid);
    QTest::newRow("beyond int") << "99999999999" << int(QValidator::Invalid);
    QTest::newRow("arabic-indic digits") << QStringLiteral("٨٠") << int(QValidator::Invalid);
}

void TestMainWindow::portValidator()
{
    QFETCH(QString, input);
    QFETCH(int, state);
    PortValidator validator;
    int pos = input.size();
    QCOMPARE(int(validator.validate(input, pos)), state);
}

void TestMainWindow::addDialogAccessors_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<int>("expected");
    QTest::newRow("default") << QString() << 8080;
    QTest::newRow("typed") << "443" << 443;
    QTest::newRow("emptied") << "" << -1;
}

void TestMainWindow::addDialogAccessors()
{
    QFETCH(QString, port);
    QFETCH(int, expected);

    AddUnitDialog dialog;
    auto* linePort = dialog.findChild<QLineEdit*>(QStringLiteral("linePort"));
    QVERIFY(linePort);
    QCOMPARE(linePort->text(), QStringLiteral("8080"));
    QVERIFY(qobject_cast<const PortValidator*>(linePort->validator()));
    if (!port.isNull())
        linePort->setText(port);
    dialog.findChild<QLineEdit*>(QStringLiteral("lineAddress"))->setText(QStringLiteral(" 10.1.1.5 "));
    dialog.findChild<QLineEdit*>(QStringLiteral("lineName"))->setText(QStringLiteral("studio"));
    QCOMPARE(dialog.getPort(), expected);
    QCOMPARE(dialog.getAddress(), QStringLiteral(" 10.1.1.5 "));
    QCOMPARE(dialog.getUsername(), QStringLiteral("studio"));

    // Typing through the validator refuses what is out of range.
    linePort->clear();
    QTest::keyClicks(linePort, QStringLiteral("65536"));
    QCOMPARE(linePort->text(), QStringLiteral("6553"));
}

void TestMainWindow::passwordDialog()
{
    RequestPasswordDialog dialog;
    auto* line = dialog.findChild<QLineEdit*>(QStringLiteral("linePassword"));
    auto* check = dialog.findChild<QCheckBox*>(QStringLiteral("checkSavePassword"));
    QVERIFY(line && check);
    QCOMPARE(line->echoMode(), QLineEdit::Password);
    QCOMPARE(dialog.getPassword(), QString());
    QVERIFY(!dialog.getSavePassword());
    QCOMPARE(dialog.findChild<QDialogButtonBox*>()->standardButtons(), QDialogButtonBox::Ok);

    onModal([](QWidget* w) {
        QTest::keyClicks(w->findChild<QLineEdit*>(QStringLiteral("linePassword")), QStringLiteral("s3cr=t"));
        w->findChild<QCheckBox*>(QStringLiteral("checkSavePassword"))->setChecked(true);
        w->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QCOMPARE(dialog.getPassword(), QStringLiteral("s3cr=t"));
    QVERIFY(dialog.getSavePassword());
}

void TestMainWindow::passwordDialogEscapeRejects()
{
    RequestPasswordDialog dialog;
    onModal([](QWidget* w) {
        QCOMPARE(w->focusWidget(), w->findChild<QLineEdit*>(QStringLiteral("linePassword")));
        QTest::keyClick(w, Qt::Key_Escape);
    });
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
}

void TestMainWindow::buttonStates_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<bool>("connect");
    QTest::addColumn<bool>("remove");

    QTest::newRow("after start") << QStringList{} << false << false;
    QTest::newRow("row clicked") << QStringList{"click 0"} << true << true;
    QTest::newRow("other row clicked") << QStringList{"click 0", "click 1"} << true << true;
    QTest::newRow("confirmed remove") << QStringList{"click 1", "remove yes"} << false << false;
    QTest::newRow("declined remove") << QStringList{"click 1", "remove no"} << true << true;
    QTest::newRow("add keeps states") << QStringList{"add"} << false << false;
    QTest::newRow("add keeps states after click") << QStringList{"click 0", "add"} << true << true;
    QTest::newRow("keyboard leaves states") << QStringList{"key down"} << false << false;
    QTest::newRow("keyboard after removal") << QStringList{"click 0", "remove yes", "key down"} << false << false;
#ifdef MIRT_HAVE_CONSOLE
    QTest::newRow("Connect pressed") << QStringList{"click 0", "connect"} << false << true;
    QTest::newRow("row without console after Connect")
        << QStringList{"click 0", "connect", "click 1"} << true << true;
    QTest::newRow("row with console clicked again")
        << QStringList{"click 0", "connect", "click 1", "click 0"} << false << true;
    QTest::newRow("add after Connect keeps states") << QStringList{"click 0", "connect", "add"} << false << true;
#endif
    QTest::newRow("Connect on malformed key") << QStringList{"click 2", "connect"} << true << true;
}

void TestMainWindow::buttonStates()
{
    QFETCH(QStringList, steps);
    QFETCH(bool, connect);
    QFETCH(bool, remove);

    // Consoles opened by Connect reach only a listener of this test.
    QTcpServer unit;
    QVERIFY(unit.listen(QHostAddress::LocalHost, 0));
    const QString port = QString::number(unit.serverPort());
    storeRows({{"127.0.0.1:" + port, "a"}, {"127.0.0.2:" + port, "b"}, {"::1:" + port, "c"}});
    auto w = openWindow();
    QVERIFY(w);

    for (const QString& step : qAsConst(steps)) {
        if (step.startsWith(QLatin1String("click "))) {
            clickRow(*w, step.mid(6).toInt());
        } else if (step == QLatin1String("remove yes") || step == QLatin1String("remove no")) {
            answerRemove(step.endsWith(QLatin1String("yes")) ? QMessageBox::Yes : QMessageBox::No);
            w->remove->click();
        } else if (step == QLatin1String("add")) {
            fillAddDialog(QStringLiteral("h"), QStringLiteral("1"), QStringLiteral("u"), true);
            w->add->click();
        } else if (step == QLatin1String("key down")) {
            w->table->setFocus();
            QTest::keyClick(w->table, Qt::Key_Down);
        } else if (step == QLatin1String("connect")) {
            w->connect->click();
        } else {
            QFAIL(qPrintable(step));
        }
    }

    QCOMPARE(w->connect->isEnabled(), connect);
    QVERIFY(w->add->isEnabled());
    QCOMPARE(w->remove->isEnabled(), remove);
}

void TestMainWindow::addFlow_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("accept");
    QTest::addColumn<QStringList>("added");

    QTest::newRow("typical") << "10.1.1.5" << "8080" << "studio" << true << QStringList{"10.1.1.5:8080", "studio"};
    QTest::newRow("emptied port") << "host" << "" << "" << true << QStringList{"host:8080", ""};
    QTest::newRow("leading zeros") << "h" << "0080" << "u" << true << QStringList{"h:80", "u"};
    QTest::newRow("untrimmed address") << " a b " << "9" << "x" << true << QStringList{" a b :9", "x"};
    QTest::newRow("cancel") << "10.1.1.5" << "8080" << "studio" << false << QStringList{};
}

void TestMainWindow::addFlow()
{
    QFETCH(QString, address);
    QFETCH(QString, port);
    QFETCH(QString, name);
    QFETCH(bool, accept);
    QFETCH(QStringList, added);

    const Rows before{{"old:1", "o", "pw"}};
    storeRows(before);
    auto w = openWindow();
    QVERIFY(w);

    fillAddDialog(address, port, name, accept);
    w->add->click();

    Rows expected = before;
    if (!added.isEmpty())
        expected.append(added);
    const QAbstractItemModel* model = w->table->model();
    QCOMPARE(model->rowCount(), expected.size());
    if (!added.isEmpty()) {
        const int last = model->rowCount() - 1;
        QCOMPARE(model->data(model->index(last, 0)).toString(), added.at(0));
        QCOMPARE(model->data(model->index(last, 1)).toString(), added.at(1));
        QVERIFY(!model->data(model->index(last, 2)).isValid());
        QVERIFY(!w->table->selectionModel()->hasSelection());
    }
    // Saved while the window is still open, not only when it goes.
    QCOMPARE(storedRows(), expected);
}

void TestMainWindow::removeFlow_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("confirm");
    QTest::addColumn<QStringList>("remaining");

    QTest::newRow("first confirmed") << 0 << true << QStringList{"b:2", "c:3"};
    QTest::newRow("middle confirmed") << 1 << true << QStringList{"a:1", "c:3"};
    QTest::newRow("last confirmed") << 2 << true << QStringList{"a:1", "b:2"};
    QTest::newRow("declined") << 1 << false << QStringList{"a:1", "b:2", "c:3"};
}

void TestMainWindow::removeFlow()
{
    QFETCH(int, row);
    QFETCH(bool, confirm);
    QFETCH(QStringList, remaining);

    storeRows({{"a:1", "x"}, {"b:2", "y", "pw"}, {"c:3", "z"}});
    auto w = openWindow();
    QVERIFY(w);
    clickRow(*w, row);
    answerRemove(confirm ? QMessageBox::Yes : QMessageBox::No);
    w->remove->click();

    const QAbstractItemModel* model = w->table->model();
    QStringList keys;
    for (int r = 0; r < model->rowCount(); ++r)
        keys.append(model->data(model->index(r, 0)).toString());
    QCOMPARE(keys, remaining);

    QStringList storedKeys;
    for (const QStringList& stored : storedRows())
        storedKeys.append(stored.value(0));
    QCOMPARE(storedKeys, remaining);
    QCOMPARE(w->table->selectionModel()->hasSelection(), !confirm);
}

void TestMainWindow::destructionSaves()
{
    storeRows({{"a:1", "x"}});
    {
        MainWindow window;
        // Directory rows changed behind the window's back are overwritten by
        // what the window holds when it goes.
        storeRows({});
    }
    QCOMPARE(storedRows(), (Rows{{"a:1", "x"}}));

    MainWindow window;
    auto* table = window.findChild<QTableView*>(QStringLiteral("tableUnits"));
    QVERIFY(table->isColumnHidden(2));
    QCOMPARE(table->selectionMode(), QAbstractItemView::SingleSelection);
    QCOMPARE(table->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(table->editTriggers(), QAbstractItemView::NoEditTriggers);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
