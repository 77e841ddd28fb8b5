#include "app/addunitdialog.h"
#include "app/mainwindow.h"
#include "app/portvalidator.h"
#include "app/requestpassworddialog.h"
#include "tests/support/modal.h"
#include "tests/support/settings.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTcpServer>
#include <QTimer>
#include <QtTest>

#include <functional>

using namespace testsupport;

using Rows = QList<QStringList>;

namespace {

// The form the directory is stored in: a list of string lists.
QVariantList stored(const Rows& rows)
{
    QVariantList list;
    for (const QStringList& row : rows)
        list.append(QVariant(row));
    return list;
}

// One thing the user does in the main window. A removal (the Remove button,
// or the Delete key) is answered with answer; NoButton: no question comes.
// Add and Cancel fill the Add dialog in; a null port leaves the field as the
// dialog opened it.
struct Step
{
    enum Kind { Click, Remove, Add, Cancel, Key, Connect } kind;
    int row = 0;
    Qt::Key key = Qt::Key_unknown;
    QMessageBox::StandardButton answer = QMessageBox::NoButton;
    QString address = {}, port = {}, user = {};
};

} // namespace

Q_DECLARE_METATYPE(Step)

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { isolateSettings(); }
    void init() { settingsStore().clear(); }

    void portValidator_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<int>("state");

        QTest::newRow("empty") << "" << int(QValidator::Intermediate);
        QTest::newRow("0") << "0" << int(QValidator::Invalid);
        QTest::newRow("1") << "1" << int(QValidator::Acceptable);
        QTest::newRow("65535") << "65535" << int(QValidator::Acceptable);
        QTest::newRow("65536") << "65536" << int(QValidator::Invalid);
        QTest::newRow("leading zeros") << "0080" << int(QValidator::Acceptable);
        QTest::newRow("minus") << "-1" << int(QValidator::Invalid);
        QTest::newRow("beyond int") << "99999999999" << int(QValidator::Invalid);
        QTest::newRow("arabic-indic digits") << QStringLiteral("٨٠") << int(QValidator::Invalid);
    }

    void portValidator()
    {
        QFETCH(QString, input);
        QFETCH(int, state);
        int pos = input.size();
        QCOMPARE(int(PortValidator().validate(input, pos)), state);
    }

    void passwordDialog()
    {
        RequestPasswordDialog dialog;
        QCOMPARE(child<QLineEdit>(&dialog, "linePassword")->echoMode(), QLineEdit::Password);
        QCOMPARE(dialog.getPassword(), QString());
        QVERIFY(!dialog.getSavePassword());

        onModal([](QWidget* w) {
            QTest::keyClicks(child<QLineEdit>(w, "linePassword"), QStringLiteral("s3cr=t"));
            child<QCheckBox>(w, "checkSavePassword")->setChecked(true);
            w->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        });
        QCOMPARE(dialog.exec(), int(QDialog::Accepted));
        QCOMPARE(dialog.getPassword(), QStringLiteral("s3cr=t"));
        QVERIFY(dialog.getSavePassword());
    }

    // Steps on a directory of three rows; afterwards the button states, and
    // the rows stored: those of the three kept, then any added.
    void buttonStatesAndEdits_data()
    {
        QTest::addColumn<QList<Step>>("steps");
        QTest::addColumn<bool>("connect");
        QTest::addColumn<bool>("remove");
        QTest::addColumn<QList<int>>("kept");
        QTest::addColumn<QStringList>("added");
        auto row = [](const char* name, const QList<Step>& steps, bool connect, bool remove,
                      const QList<int>& kept = {0, 1, 2}, const QStringList& added = {}) {
            QTest::newRow(name) << steps << connect << remove << kept << added;
        };
        const auto click = [](int row) { return Step{Step::Click, row}; };
        const Step connect{Step::Connect}, down{Step::Key, 0, Qt::Key_Down}, up{Step::Key, 0, Qt::Key_Up};
        const Step enter{Step::Key, 0, Qt::Key_Enter}, ret{Step::Key, 0, Qt::Key_Return};
        const Step removeYes{Step::Remove, 0, Qt::Key_unknown, QMessageBox::Yes};
        const Step removeNo{Step::Remove, 0, Qt::Key_unknown, QMessageBox::No};
        const Step deleteYes{Step::Key, 0, Qt::Key_Delete, QMessageBox::Yes};
        const Step deleteNo{Step::Key, 0, Qt::Key_Delete, QMessageBox::No};
        const auto add = [](const char* address, const char* port, const char* user, bool ok = true) {
            return Step{ok ? Step::Add : Step::Cancel, 0, Qt::Key_unknown, QMessageBox::NoButton, address, port, user};
        };

        row("after start", {}, false, false);
        row("row clicked", {click(0)}, true, true);
        row("first removed", {click(0), removeYes}, false, false, {1, 2});
        row("remove declined", {click(1), removeNo}, true, true);
        row("added with the default port", {add("10.1.1.5", nullptr, "studio")}, false, false, {0, 1, 2},
            {"10.1.1.5:8080", "studio"});
        row("add after a click keeps states, emptied port", {click(0), add("host", "", "")}, true, true, {0, 1, 2},
            {"host:8080", ""});
        row("leading zeros, untrimmed address", {add(" a b ", "0080", "u")}, false, false, {0, 1, 2},
            {" a b :80", "u"});
        row("add cancelled", {add("h", "443", "u", false)}, false, false);
        row("keyboard leaves states", {down}, false, false);
        row("Connect pressed", {click(0), connect}, false, true);
        row("row without console after Connect", {click(0), connect, click(1)}, true, true);
        row("row with console clicked again", {click(0), connect, click(1), click(0)}, false, true);
        row("Connect on malformed key", {click(2), connect}, true, true);
        // Return connects the selected row and Delete asks to remove it, as
        // the buttons do; the buttons themselves still follow clicks only.
        row("Return connects", {click(0), ret}, false, true);
        row("Return on a row reached by keyboard", {click(0), down, ret}, false, true);
        row("Return on a row with a console", {click(0), connect, click(1), up, ret}, false, true);
        row("Return on the row the table's focus marks", {ret}, false, true);
        row("Delete confirmed", {click(1), deleteYes}, false, false, {0, 2});
        row("Delete declined", {click(0), deleteNo}, true, true);
        row("Delete on a row reached by keyboard", {click(0), down, deleteYes}, false, false, {0, 2});
        row("Delete on the row the table's focus marks", {deleteYes}, false, false, {1, 2});
        row("Delete with no rows left",
            {click(0), removeYes, click(0), removeYes, click(0), removeYes, Step{Step::Key, 0, Qt::Key_Delete}}, false,
            false, {});
    }

    void buttonStatesAndEdits()
    {
        QFETCH(QList<Step>, steps);
        QFETCH(bool, connect);
        QFETCH(bool, remove);
        QFETCH(QList<int>, kept);
        QFETCH(QStringList, added);

        // Consoles opened by Connect reach only a listener of this test.
        QTcpServer unit;
        QVERIFY(unit.listen(QHostAddress::LocalHost, 0));
        const QString port = QString::number(unit.serverPort());
        const Rows start{{"127.0.0.1:" + port, "a"}, {"127.0.0.2:" + port, "b", "pw"}, {"::1:" + port, "c"}};
        settingsStore().setValue(QStringLiteral("hostTable"), stored(start));
        MainWindow window;
        // Closing shuts down the consoles that Connect opened.
        auto closing = qScopeGuard([&] {
            window.close();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        });
        auto* table = child<QTableView>(&window, "tableUnits");
        auto* buttonConnect = child<QPushButton>(&window, "buttonConnect");
        auto* buttonRemove = child<QPushButton>(&window, "buttonRemove");
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        for (const Step& step : qAsConst(steps)) {
            // The question a removal asks, answered inside the dialog's own
            // loop when one opens, and on the first pass of events after the
            // step when none does.
            bool asked = false;
            const auto answer = [&asked](QMessageBox::StandardButton button) {
                QTimer::singleShot(0, [&asked, button] {
                    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                    if (!box)
                        return;
                    asked = true;
                    QCOMPARE(box->text(), QStringLiteral("Are you sure you want to remove this entry?"));
                    QCOMPARE(box->defaultButton(), box->button(QMessageBox::No));
                    box->button(button == QMessageBox::Yes ? QMessageBox::Yes : QMessageBox::No)->click();
                });
            };
            switch (step.kind) {
            case Step::Click:
                QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::NoModifier,
                                  table->visualRect(table->model()->index(step.row, 0)).center());
                break;
            case Step::Remove:
                answer(step.answer);
                buttonRemove->click();
                QCOMPARE(asked, true);
                break;
            case Step::Add:
            case Step::Cancel:
                onModal([=](QWidget* w) {
                    QVERIFY(qobject_cast<AddUnitDialog*>(w));
                    auto* linePort = child<QLineEdit>(w, "linePort");
                    QVERIFY(qobject_cast<const PortValidator*>(linePort->validator()));
                    if (!step.port.isNull())
                        linePort->setText(step.port);
                    child<QLineEdit>(w, "lineAddress")->setText(step.address);
                    child<QLineEdit>(w, "lineName")->setText(step.user);
                    child<QDialogButtonBox>(w, "buttonBox")
                        ->button(step.kind == Step::Add ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel)
                        ->click();
                });
                child<QPushButton>(&window, "buttonAdd")->click();
                break;
            case Step::Key:
                if (step.key != Qt::Key_Down && step.key != Qt::Key_Up) {
                    window.activateWindow();
                    QVERIFY(QTest::qWaitForWindowActive(&window));
                }
                table->setFocus();
                if (step.key == Qt::Key_Delete)
                    answer(step.answer);
                QTest::keyClick(table, step.key);
                QCoreApplication::processEvents();
                QCOMPARE(asked, step.answer != QMessageBox::NoButton);
                break;
            case Step::Connect:
                buttonConnect->click();
                break;
            }
        }
        QCOMPARE(buttonConnect->isEnabled(), connect);
        QVERIFY(child<QPushButton>(&window, "buttonAdd")->isEnabled());
        QCOMPARE(buttonRemove->isEnabled(), remove);

        Rows expected;
        for (int i : qAsConst(kept))
            expected.append(start[i]);
        if (!added.isEmpty())
            expected.append(added);
        QCOMPARE(table->model()->rowCount(), expected.size());
        // Saved while the window is still open, not only when it goes.
        QCOMPARE(settingsStore().value(QStringLiteral("hostTable")).toList(), stored(expected));
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
