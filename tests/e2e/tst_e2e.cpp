#include "app/mainwindow.h"
#include "console/colorbutton.h"
#include "console/customgraphicsview.h"
#include "console/dropbutton.h"
#include "console/linepanel.h"
#include "sim/unitsimulator.h"
#include "../lines/consolerig.h"

#include <QApplication>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTableView>
#include <QtTest>

// A whole call as a user makes it: the main window connects to a simulated
// unit, a call rings, and the line's buttons are clicked on the drawn console
// until the call is dropped. Every step is checked on the screen and on the
// unit's side of the wire.
class TestEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QSettings(QStringLiteral("Ardeno"), QStringLiteral("MIRT Orvel Desktop")).clear();
    }
    void wholeCall();

private:
    // The first line's drawn items, found in the live console's scene.
    struct LineItems
    {
        LinePanel* panel = nullptr;
        ColorButton* answer = nullptr;
        ColorButton* hold = nullptr;
        ColorButton* air = nullptr;
        DropButton* drop = nullptr;
    };
    static CustomGraphicsView* liveConsole();
    static LineItems firstLine(QGraphicsScene* scene);
    static void click(QGraphicsView* view, QGraphicsItem* item);
};

CustomGraphicsView* TestEndToEnd::liveConsole()
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* view = qobject_cast<CustomGraphicsView*>(w);
        if (view && view->isVisible() && firstLine(view->scene()).panel)
            return view;
    }
    return nullptr;
}

TestEndToEnd::LineItems TestEndToEnd::firstLine(QGraphicsScene* scene)
{
    LineItems line;
    // Line 0 sits at the top: y = 65 for its panel, just below for its buttons.
    for (QGraphicsItem* item : scene->items()) {
        const qreal y = item->pos().y();
        if (auto* panel = dynamic_cast<LinePanel*>(item); panel && y == 65)
            line.panel = panel;
        else if (auto* drop = dynamic_cast<DropButton*>(item); drop && y == 90)
            line.drop = drop;
        else if (auto* lamp = dynamic_cast<ColorButton*>(item); lamp && y == 101) {
            if (lamp->label() == QLatin1String("ANSWER"))
                line.answer = lamp;
            else if (lamp->label() == QLatin1String("HOLD"))
                line.hold = lamp;
            else if (lamp->label() == QLatin1String("AIR"))
                line.air = lamp;
        }
    }
    return line;
}

void TestEndToEnd::click(QGraphicsView* view, QGraphicsItem* item)
{
    const QPointF centre = item->mapToScene(item->boundingRect().center());
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->mapFromScene(centre));
}

void TestEndToEnd::wholeCall()
{
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

    CustomGraphicsView* view = nullptr;
    QVERIFY(ConsoleRig::waitFor([&] { return (view = liveConsole()) != nullptr; }, 5000));
    const LineItems line = firstLine(view->scene());
    QVERIFY(line.answer && line.hold && line.air && line.drop);

    // Each step: a click, the one command the unit saw, and the state the
    // unit put the line in.
    const auto step = [&](QGraphicsItem* button, const QString& command, const QString& status) {
        unit.clearReceived();
        click(view, button);
        const auto seen = [&] {
            QStringList out;
            for (const Message& m : unit.receivedMessages()) {
                const Params& p = m.params();
                if (m.get_name() == "change_line_state")
                    out << QString::fromStdString(p.get_string("command", ""));
                else if (m.get_name() == "change_line_flags")
                    out << QString::fromStdString(p.get_string("flag", "") + ' ' + p.get_string("state", ""));
            }
            return out;
        };
        return ConsoleRig::waitFor([&] { return seen() == QStringList{command} && unit.line(0).status == status; },
                                   5000);
    };
    const auto shows = [&](const QString& text) {
        return ConsoleRig::waitFor([&] { return line.panel->textLine1().startsWith(text); }, 5000);
    };

    QVERIFY(unit.ring(0, QStringLiteral("Zed")));
    QVERIFY(shows(QStringLiteral("Ringing")));
    QCOMPARE(lookOf(*line.answer), QStringLiteral("slow Green/Unlit"));
    QCOMPARE(line.panel->textPanelColor(), LinePanel::Green);

    // The console stands for the studio entry 4; the handset is its own.
    QVERIFY(step(line.answer, QStringLiteral("handset"), QStringLiteral("on handset")));
    QVERIFY(shows(QStringLiteral("Zed")));
    QCOMPARE(lookOf(*line.answer), QStringLiteral("steady Green"));

    QVERIFY(step(line.hold, QStringLiteral("hold"), QStringLiteral("on hold")));
    QVERIFY(ConsoleRig::waitFor([&] { return lookOf(*line.hold) == QLatin1String("steady Yellow"); }, 5000));
    QCOMPARE(lookOf(*line.answer), QStringLiteral("steady Unlit"));
    QCOMPARE(line.panel->textPanelColor(), LinePanel::Yellow);

    QVERIFY(step(line.air, QStringLiteral("air"), QStringLiteral("on air")));
    QVERIFY(ConsoleRig::waitFor([&] { return lookOf(*line.air) == QLatin1String("fast Red/Unlit"); }, 5000));
    QCOMPARE(line.panel->textPanelColor(), LinePanel::Red);
    QVERIFY(line.panel->textLine1().startsWith(QStringLiteral("Zed")));

    // A second AIR locks the line on air and the lamp stops blinking.
    QVERIFY(step(line.air, QStringLiteral("locked true"), QStringLiteral("on air")));
    QVERIFY(ConsoleRig::waitFor([&] { return lookOf(*line.air) == QLatin1String("steady Red"); }, 5000));
    QVERIFY(unit.line(0).locked);

    QVERIFY(step(line.drop, QStringLiteral("drop"), QStringLiteral("on hook (idle)")));
    QVERIFY(shows(QStringLiteral("Idle")));
    for (ColorButton* lamp : {line.answer, line.hold, line.air})
        QCOMPARE(lookOf(*lamp), QStringLiteral("steady Unlit"));
}

QTEST_MAIN(TestEndToEnd)
#include "tst_e2e.moc"
