#include "tests/support/consolerig.h"
#include "tests/support/settings.h"
#include "tests/support/wait.h"

#include "app/mainwindow.h"
#include "console/customgraphicsview.h"
#include "console/dropbutton.h"
#include "console/linepanel.h"

#include <QApplication>
#include <QPushButton>
#include <QTableView>
#include <QtTest>

using namespace testsupport;

// The item of type T at scene position (x, y) labelled label, if any.
template <typename T> static T* itemAt(QGraphicsScene* scene, qreal x, qreal y, const QString& label = QString())
{
    for (QGraphicsItem* item : scene->items()) {
        auto* found = dynamic_cast<T*>(item);
        if (found && item->pos() == QPointF(x, y)) {
            if constexpr (std::is_same_v<T, ColorButton>) {
                if (found->label() != label)
                    continue;
            }
            return found;
        }
    }
    return nullptr;
}

// A whole call as a user makes it: the main window connects to a simulated
// unit, a made-up call rings, and the first line's buttons are clicked on the
// drawn console until the call is dropped. Each step is checked on the screen
// and on the unit's side of the wire.
class TestEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void wholeCall()
    {
        isolateSettings();
        UnitSimulator unit;
        QVERIFY(unit.start(0));
        unit.setTickInterval(3600 * 1000);

        MainWindow window;
        window.show();
        auto* table = window.findChild<QTableView*>(QStringLiteral("tableUnits"));
        QAbstractItemModel* model = table->model();
        const int row = model->rowCount();
        model->insertRows(row, 1);
        model->setData(model->index(row, 0), QStringLiteral("127.0.0.1:%1").arg(unit.port()));
        model->setData(model->index(row, 1), QStringLiteral("studio"));
        table->selectRow(row);
        window.handleTableSelect(model->index(row, 0));
        window.findChild<QPushButton*>(QStringLiteral("buttonConnect"))->click();

        // The console window is the view that shows line panels once ready.
        QGraphicsView* view = nullptr;
        QVERIFY(waitFor(
            [&] {
                for (QWidget* w : QApplication::topLevelWidgets()) {
                    auto* v = qobject_cast<CustomGraphicsView*>(w);
                    if (v && v->isVisible() && itemAt<LinePanel>(v->scene(), 5, 65))
                        view = v;
                }
                return view != nullptr;
            },
            5000));
        QGraphicsScene* scene = view->scene();
        LinePanel* panel = itemAt<LinePanel>(scene, 5, 65);
        ColorButton* answer = itemAt<ColorButton>(scene, 5, 101, QStringLiteral("ANSWER"));
        ColorButton* hold = itemAt<ColorButton>(scene, 75, 101, QStringLiteral("HOLD"));
        ColorButton* air = itemAt<ColorButton>(scene, 575, 101, QStringLiteral("AIR"));
        DropButton* drop = itemAt<DropButton>(scene, 630, 90);
        QVERIFY(answer && hold && air && drop);

        // A click, the one command the unit saw, and the state it put line 0 in.
        const auto step = [&](QGraphicsItem* button, const QString& command, const QString& status) {
            unit.clearReceived();
            const QPointF centre = button->mapToScene(button->boundingRect().center());
            QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->mapFromScene(centre));
            return waitFor(
                [&] {
                    QStringList seen;
                    for (const Message& m : unit.receivedMessages()) {
                        const Params& p = m.params();
                        if (m.get_name() == "change_line_state")
                            seen << QString::fromStdString(p.get_string("command", ""));
                        else if (m.get_name() == "change_line_flags")
                            seen << QString::fromStdString(p.get_string("flag", "") + ' ' + p.get_string("state", ""));
                    }
                    return seen == QStringList{command} && unit.line(0).status == status;
                },
                5000);
        };
        // What the console shows settles once the unit's reports are in.
        const auto shows = [&](const QString& text, ColorButton* lamp, const QString& look) {
            return waitFor([&] { return panel->textLine1().startsWith(text) && lookOf(*lamp) == look; }, 5000);
        };

        QVERIFY(unit.ring(0, QStringLiteral("Zed")));
        QVERIFY(shows(QStringLiteral("Ringing"), answer, QStringLiteral("slow Green/Unlit")));
        QCOMPARE(panel->textPanelColor(), LinePanel::Green);

        // The console stands for the studio entry 4, so the handset is its own.
        QVERIFY(step(answer, QStringLiteral("handset"), QStringLiteral("on handset")));
        QVERIFY(shows(QStringLiteral("Zed"), answer, QStringLiteral("steady Green")));

        QVERIFY(step(hold, QStringLiteral("hold"), QStringLiteral("on hold")));
        QVERIFY(shows(QStringLiteral("Zed"), hold, QStringLiteral("steady Yellow")));
        QCOMPARE(lookOf(*answer), QStringLiteral("steady Unlit"));
        QCOMPARE(panel->textPanelColor(), LinePanel::Yellow);

        // AIR blinks until a second AIR locks the line on air.
        QVERIFY(step(air, QStringLiteral("air"), QStringLiteral("on air")));
        QVERIFY(shows(QStringLiteral("Zed"), air, QStringLiteral("fast Red/Unlit")));
        QCOMPARE(panel->textPanelColor(), LinePanel::Red);
        QVERIFY(step(air, QStringLiteral("locked true"), QStringLiteral("on air")));
        QVERIFY(shows(QStringLiteral("Zed"), air, QStringLiteral("steady Red")));

        QVERIFY(step(drop, QStringLiteral("drop"), QStringLiteral("on hook (idle)")));
        QVERIFY(shows(QStringLiteral("Idle"), air, QStringLiteral("steady Unlit")));
        QCOMPARE(lookOf(*answer), QStringLiteral("steady Unlit"));
        QCOMPARE(lookOf(*hold), QStringLiteral("steady Unlit"));
    }
};

QTEST_MAIN(TestEndToEnd)
#include "tst_e2e.moc"
