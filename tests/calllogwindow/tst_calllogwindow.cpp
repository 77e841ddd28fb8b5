// The call log as the user meets it: the Call Log button of the main
// window, the log window's filters, totals, notes, delete and export, a
// console's Ctrl+L and a call appearing live, the message when the file
// cannot be used (with the console still working), and the command-line
// export of the real program without a display.
#include "../calllog/csvreader.h"

#include "app/calllogwindow.h"
#include "app/calltablemodel.h"
#include "app/mainwindow.h"
#include "calllog/calllog.h"
#include "calllog/callstore.h"
#include "console/customgraphicsview.h"
#include "console/line.h"
#include "console/linepanel.h"
#include "console/lines.h"
#include "sim/unitsimulator.h"
#include "tests/support/modal.h"
#include "tests/support/settings.h"
#include "tests/support/wait.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QElapsedTimer>
#include <QGraphicsProxyWidget>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

using testsupport::child;
using testsupport::onModal;
using testsupport::waitFor;

qint64 localTime(int daysAgo, int hour, int minute = 0)
{
    return QDateTime(QDate::currentDate().addDays(-daysAgo), QTime(hour, minute), Qt::LocalTime).toMSecsSinceEpoch();
}

CallRecord call(const QString& name, const QString& unit, qint64 firstSeen, CallRecord::Outcome outcome,
                qint64 waitMs = -1, const QString& notes = QString())
{
    static int counter = 0;
    CallRecord r;
    r.uid = QStringLiteral("call-%1").arg(++counter);
    r.unitKey = unit;
    r.username = QStringLiteral("studio");
    r.line = counter % 12;
    r.firstSeen = firstSeen;
    r.lastSeen = firstSeen + 60000;
    r.ended = outcome == CallRecord::Pending ? 0 : firstSeen + 60000;
    r.outcome = outcome;
    r.waitMs = waitMs;
    r.name = name;
    r.notes = notes;
    r.topic = QStringLiteral("Topic of %1").arg(name);
    return r;
}

// Six calls over ten days on two units.
void fill(const QString& path)
{
    CallStore store(path);
    QVERIFY2(store.open(1000, 0, QDateTime::currentMSecsSinceEpoch()), qPrintable(store.errorText()));
    const QString a = QStringLiteral("10.0.0.1:8080");
    const QString b = QStringLiteral("10.0.0.2:8080");
    QVector<CallStore::Write> batch = {
        {call(QStringLiteral("Ada"), a, localTime(0, 9), CallRecord::Aired, 4000), true},
        {call(QStringLiteral("Bert"), b, localTime(0, 9, 30), CallRecord::Missed), true},
        {call(QStringLiteral("Fay"), a, localTime(0, 11), CallRecord::Answered), true},
        {call(QStringLiteral("Cleo"), a, localTime(1, 15), CallRecord::Answered, 10000,
              QStringLiteral("Wants tickets")),
         true},
        {call(QStringLiteral("Dora"), b, localTime(3, 8), CallRecord::Aired, 20000), true},
        {call(QStringLiteral("Emil"), a, localTime(10, 8), CallRecord::Missed), true},
    };
    QVERIFY(store.save(batch));
}

// The six calls in a fresh file, open in a shown log window.
struct FilledWindow
{
    static CallLog::Options filledAt(const QString& path)
    {
        fill(path);
        CallLog::Options options;
        options.path = path;
        return options;
    }

    FilledWindow() { window.show(); }

    QTemporaryDir dir;
    CallLog log { filledAt(dir.filePath(QStringLiteral("calls.sqlite"))) };
    CallLogWindow window { log };
};

QStringList names(const CallTableModel& model)
{
    QStringList out;
    for (int row = 0; row < model.rowCount(); ++row)
        out << model.record(row).name;
    return out;
}

// A log window's next answer.
bool refreshed(CallLogWindow& window, const std::function<void()>& action)
{
    bool done = false;
    QMetaObject::Connection c = QObject::connect(&window, &CallLogWindow::refreshed, [&] { done = true; });
    action();
    const bool ok = waitFor([&] { return done; });
    QObject::disconnect(c);
    return ok;
}

// The console window that shows line panels once the unit answered.
CustomGraphicsView* liveConsole()
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* view = qobject_cast<CustomGraphicsView*>(w);
        if (!view || !view->isVisible())
            continue;
        for (QGraphicsItem* item : view->scene()->items())
            if (dynamic_cast<LinePanel*>(item))
                return view;
    }
    return nullptr;
}

LinePanel* panelOf(QGraphicsScene* scene, int line)
{
    for (QGraphicsItem* item : scene->items()) {
        auto* panel = dynamic_cast<LinePanel*>(item);
        if (panel && item->pos() == QPointF(5, 65 + 58 * line))
            return panel;
    }
    return nullptr;
}

LinePanel* firstPanel(QGraphicsScene* scene)
{
    return panelOf(scene, 0);
}

// The caller editor's name field, embedded in the console scene.
QLineEdit* nameEditor(QGraphicsScene* scene)
{
    for (QGraphicsItem* item : scene->items()) {
        auto* proxy = dynamic_cast<QGraphicsProxyWidget*>(item);
        if (proxy && proxy->pos() == QPointF(777, 448))
            return qobject_cast<QLineEdit*>(proxy->widget());
    }
    return nullptr;
}

// The console has heard the unit's full status: it answers every line of it
// with a cleared caller record, and those have reached the unit.
bool caughtUp(const UnitSimulator& unit, int more = 0)
{
    return waitFor([&] { return unit.receivedMessages(QStringLiteral("ancillary_data")).size() >= 12 + more; });
}

// Connects to unit through the main window, as a user does.
void connectUnit(MainWindow& window, quint16 port)
{
    auto* table = child<QTableView>(&window, "tableUnits");
    QAbstractItemModel* model = table->model();
    const int row = model->rowCount();
    model->insertRows(row, 1);
    model->setData(model->index(row, 0), QStringLiteral("127.0.0.1:%1").arg(port));
    model->setData(model->index(row, 1), QStringLiteral("studio"));
    table->selectRow(row);
    window.handleTableSelect(model->index(row, 0));
    child<QPushButton>(&window, "buttonConnect")->click();
}

} // namespace

class TestCallLogWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { testsupport::isolateSettings(); }
    void init() { testsupport::settingsStore().clear(); }

    void buttonBelowConnect();
    void filters_data();
    void filters();
    void totalsAndNotes();
    void deleteAndExport();
    void retentionSetting();
    void liveFromAConsole();
    void unusableFile();
    void commandLine_data();
    void commandLine();
};

void TestCallLogWindow::buttonBelowConnect()
{
    MainWindow window;
    auto* grid = qobject_cast<QGridLayout*>(window.centralWidget()->layout());
    QVERIFY(grid);
    const auto position = [&](const char* name) {
        QWidget* w = child<QWidget>(&window, name);
        int row = -1, column = -1, rows = 0, columns = 0;
        if (w)
            grid->getItemPosition(grid->indexOf(w), &row, &column, &rows, &columns);
        return QPoint(column, row);
    };
    const QPoint connect = position("buttonConnect");
    QCOMPARE(position("buttonCallLog"), connect + QPoint(0, 1));
    for (const char* name : {"label", "tableUnits", "buttonConnect", "buttonAdd", "buttonRemove"})
        QVERIFY2(position(name).y() >= 0, name);
    QVERIFY(position("buttonAdd").y() > position("buttonCallLog").y());
    QCOMPARE(child<QPushButton>(&window, "buttonCallLog")->text(), QStringLiteral("Call Log"));

    // Without a log the button does nothing; with one it opens the window.
    QVERIFY(!child<QPushButton>(&window, "buttonCallLog")->isEnabled());
    QTemporaryDir dir;
    CallLog::Options options;
    options.path = dir.filePath(QStringLiteral("calls.sqlite"));
    CallLog log(options);
    window.setCallLog(&log);
    child<QPushButton>(&window, "buttonCallLog")->click();
    QVERIFY(window.callLogWindow());
    QVERIFY(window.callLogWindow()->isVisible());
    QCOMPARE(window.callLogWindow()->windowTitle(), QStringLiteral("Call Log"));
    QVERIFY(child<QLabel>(&window, "labelCallLog")->isHidden());
}

void TestCallLogWindow::filters_data()
{
    QTest::addColumn<QString>("search");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QString>("range");
    QTest::addColumn<QStringList>("rows");
    QTest::newRow("last 7 days, newest first") << QString() << QString() << "All outcomes"
                                               << "Last 7 days" << QStringList{"Fay", "Bert", "Ada", "Cleo", "Dora"};
    QTest::newRow("today") << QString() << QString() << "All outcomes"
                           << "Today" << QStringList{"Fay", "Bert", "Ada"};
    QTest::newRow("all") << QString() << QString() << "All outcomes"
                         << "All" << QStringList{"Fay", "Bert", "Ada", "Cleo", "Dora", "Emil"};
    QTest::newRow("one unit") << QString() << "10.0.0.1:8080"
                              << "All outcomes"
                              << "All" << QStringList{"Fay", "Ada", "Cleo", "Emil"};
    QTest::newRow("missed") << QString() << QString() << "Missed"
                            << "All" << QStringList{"Bert", "Emil"};
    QTest::newRow("answered") << QString() << QString() << "Answered"
                              << "All" << QStringList{"Fay", "Cleo"};
    QTest::newRow("search in the notes") << "TICKET" << QString() << "All outcomes"
                                         << "All" << QStringList{"Cleo"};
    QTest::newRow("search in the topic, one unit") << "topic of"
                                                   << "10.0.0.2:8080"
                                                   << "All outcomes"
                                                   << "All" << QStringList{"Bert", "Dora"};
    QTest::newRow("custom: yesterday") << QString() << QString() << "All outcomes"
                                       << "Custom" << QStringList{"Cleo"};
}

void TestCallLogWindow::filters()
{
    QFETCH(QString, search);
    QFETCH(QString, unit);
    QFETCH(QString, outcome);
    QFETCH(QString, range);
    QFETCH(QStringList, rows);

    FilledWindow filled;
    CallLogWindow& window = filled.window;
    QVERIFY(refreshed(window, [&] { window.refresh(); }));

    auto* rangeBox = child<QComboBox>(&window, "comboRange");
    if (rangeBox->currentText() != range)
        QVERIFY(refreshed(window, [&] { rangeBox->setCurrentText(range); }));
    if (range == QLatin1String("Custom")) {
        const QDate yesterday = QDate::currentDate().addDays(-1);
        QVERIFY(refreshed(window, [&] { child<QDateEdit>(&window, "dateFrom")->setDate(yesterday); }));
        QVERIFY(refreshed(window, [&] { child<QDateEdit>(&window, "dateTo")->setDate(yesterday); }));
    }
    if (outcome != QLatin1String("All outcomes"))
        QVERIFY(refreshed(window, [&] { child<QComboBox>(&window, "comboOutcome")->setCurrentText(outcome); }));
    if (!unit.isEmpty()) {
        // The units of the file are offered.
        QVERIFY(child<QComboBox>(&window, "comboUnit")->findData(unit) > 0);
        QVERIFY(refreshed(window, [&] { window.setUnitFilter(unit); }));
    }
    if (!search.isEmpty())
        QVERIFY(refreshed(window, [&] { QTest::keyClicks(child<QLineEdit>(&window, "lineSearch"), search); }));

    QCOMPARE(names(window.model()), rows);
    QCOMPARE(child<QLabel>(&window, "labelCount")->text(),
             rows.size() == 1 ? QStringLiteral("1 call") : QStringLiteral("%1 calls").arg(rows.size()));
}

void TestCallLogWindow::totalsAndNotes()
{
    FilledWindow filled;
    CallLogWindow& window = filled.window;
    QVERIFY(refreshed(window, [&] { child<QComboBox>(&window, "comboRange")->setCurrentText(QStringLiteral("All")); }));

    // Day, calls, answered, aired, missed, mean wait; newest day first.
    auto* days = child<QTableWidget>(&window, "tableDays");
    const auto dayRow = [&](int row) {
        QStringList cells;
        for (int c = 0; c < days->columnCount(); ++c)
            cells << days->item(row, c)->text();
        return cells;
    };
    const auto dayName
        = [](int daysAgo) { return QDate::currentDate().addDays(-daysAgo).toString(QStringLiteral("ddd yyyy-MM-dd")); };
    QCOMPARE(days->rowCount(), 4);
    QCOMPARE(dayRow(0), (QStringList{dayName(0), "3", "1", "1", "1", "0:04"}));
    QCOMPARE(dayRow(1), (QStringList{dayName(1), "1", "1", "0", "0", "0:10"}));
    QCOMPARE(dayRow(2), (QStringList{dayName(3), "1", "0", "1", "0", "0:20"}));
    QCOMPARE(dayRow(3), (QStringList{dayName(10), "1", "0", "0", "1", ""}));

    // The selected call's notes beside the table.
    auto* table = child<QTableView>(&window, "tableCalls");
    const int cleo = names(window.model()).indexOf(QStringLiteral("Cleo"));
    table->selectRow(cleo);
    QCOMPARE(child<QPlainTextEdit>(&window, "textNotes")->toPlainText(), QStringLiteral("Wants tickets"));
    QVERIFY(child<QLabel>(&window, "labelDetails")->text().contains(QLatin1String("Topic of Cleo")));
    QVERIFY(child<QPushButton>(&window, "buttonDelete")->isEnabled());
    table->clearSelection();
    QVERIFY(child<QPlainTextEdit>(&window, "textNotes")->toPlainText().isEmpty());
}

void TestCallLogWindow::deleteAndExport()
{
    FilledWindow filled;
    CallLogWindow& window = filled.window;
    QTemporaryDir& dir = filled.dir;
    QVERIFY(refreshed(window, [&] { child<QComboBox>(&window, "comboRange")->setCurrentText(QStringLiteral("All")); }));

    // Two calls selected, deleted after the question.
    auto* table = child<QTableView>(&window, "tableCalls");
    table->setFocus();
    table->selectRow(names(window.model()).indexOf(QStringLiteral("Bert")));
    table->selectionModel()->select(window.model().index(names(window.model()).indexOf(QStringLiteral("Dora")), 0),
                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
    onModal([](QWidget* w) {
        if (auto* box = qobject_cast<QMessageBox*>(w)) {
            QVERIFY(box->text().contains(QLatin1String("2 selected calls")));
            box->button(QMessageBox::Yes)->click();
        }
    });
    QVERIFY(refreshed(window, [&] { child<QPushButton>(&window, "buttonDelete")->click(); }));
    QCOMPARE(names(window.model()), (QStringList{"Fay", "Ada", "Cleo", "Emil"}));

    // Saying no deletes nothing.
    table->selectRow(0);
    onModal([](QWidget* w) {
        if (auto* box = qobject_cast<QMessageBox*>(w))
            box->button(QMessageBox::No)->click();
    });
    window.deleteSelected();
    QVERIFY(refreshed(window, [&] { window.refresh(); }));
    QCOMPARE(window.model().rowCount(), 4);

    // The filtered rows, oldest first, to a file.
    QVERIFY(refreshed(window, [&] { window.setUnitFilter(QStringLiteral("10.0.0.1:8080")); }));
    const QString file = dir.filePath(QStringLiteral("out/calls.csv"));
    QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("out"))));
    QSignalSpy exported(&window, &CallLogWindow::exported);
    window.exportTo(file);
    QVERIFY(waitFor([&] { return exported.size() == 1; }));
    QCOMPARE(exported.first().at(0).toBool(), true);
    QCOMPARE(exported.first().at(1).toInt(), 4);
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const CsvReadResult csv = readCsv(f.readAll());
    QVERIFY2(csv.ok, qPrintable(csv.error));
    QStringList exportedNames;
    for (int i = 1; i < csv.records.size(); ++i)
        exportedNames << csv.records.at(i).at(csv.records.first().indexOf(QStringLiteral("Name")));
    QCOMPARE(exportedNames, (QStringList{"Emil", "Cleo", "Ada", "Fay"}));

    // A folder that does not exist: a clear failure, no file.
    exported.clear();
    window.exportTo(dir.filePath(QStringLiteral("missing/calls.csv")));
    QVERIFY(waitFor([&] { return exported.size() == 1; }));
    QCOMPARE(exported.first().at(0).toBool(), false);
    QVERIFY(exported.first().at(2).toString().contains(QLatin1String("missing/calls.csv")));
    QVERIFY(child<QLabel>(&window, "labelStatus")->text().startsWith(QLatin1String("Export failed")));
}

void TestCallLogWindow::retentionSetting()
{
    QTemporaryDir dir;
    CallLog::Options options;
    options.path = dir.filePath(QStringLiteral("calls.sqlite"));
    CallLog log(options);
    QCOMPARE(CallLogWindow::retentionDays(), 90);
    CallLogWindow window(log);
    auto* spin = child<QSpinBox>(&window, "spinRetention");
    QCOMPARE(spin->value(), 90);
    spin->setValue(30);
    QCOMPARE(CallLogWindow::retentionDays(), 30);
    CallLogWindow again(log);
    QCOMPARE(child<QSpinBox>(&again, "spinRetention")->value(), 30);
}

void TestCallLogWindow::liveFromAConsole()
{
    QTemporaryDir dir;
    CallLog::Options options;
    options.path = dir.filePath(QStringLiteral("calls.sqlite"));
    options.batchMs = 10;
    CallLog log(options);
    UnitSimulator unit;
    QVERIFY(unit.start(0));
    unit.setTickInterval(3600 * 1000);

    MainWindow window;
    window.setCallLog(&log);
    window.show();
    connectUnit(window, unit.port());
    const QString key = QStringLiteral("127.0.0.1:%1").arg(unit.port());
    CustomGraphicsView* view = nullptr;
    QVERIFY(waitFor([&] { return (view = liveConsole()) != nullptr; }));
    QVERIFY(caughtUp(unit));

    // Ctrl+L on the console: the log of its unit.
    QApplication::setActiveWindow(view);
    QVERIFY(QTest::qWaitForWindowActive(view));
    QTest::keyClick(view, Qt::Key_L, Qt::ControlModifier);
    CallLogWindow* logWindow = window.callLogWindow();
    QVERIFY(logWindow);
    QVERIFY(logWindow->isVisible());
    QCOMPARE(logWindow->unitFilter(), key);
    QCOMPARE(logWindow->filter().unitKey, key);

    // A call rings, is answered and dropped while the window is open.
    QVERIFY(unit.ring(2, QStringLiteral("Yusuf")));
    QVERIFY(waitFor([&] { return logWindow->model().rowCount() == 1; }));
    QVERIFY(caughtUp(unit, 1));
    QCOMPARE(logWindow->model().record(0).line, 2);
    QVERIFY(logWindow->model().record(0).isOpen());
    QVERIFY(unit.setLineState(2, QStringLiteral("on handset"), 4));
    QVERIFY(waitFor([&] { return logWindow->model().record(0).name == QLatin1String("Yusuf"); }));

    // The screener selects the line and types the caller's surname.
    LinePanel* panel = panelOf(view->scene(), 2);
    QVERIFY(panel);
    const QPointF centre = panel->mapToScene(panel->boundingRect().center());
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->mapFromScene(centre));
    QLineEdit* name = nameEditor(view->scene());
    QVERIFY(name);
    QVERIFY(waitFor([&] { return name->isEnabled() && name->text() == QLatin1String("Yusuf"); }));
    name->end(false);
    QTest::keyClicks(name, QStringLiteral(" Demir"));
    QVERIFY(waitFor([&] { return logWindow->model().record(0).name == QLatin1String("Yusuf Demir"); }));
    QVERIFY(unit.setLineState(2, QStringLiteral("on hook (idle)")));
    QVERIFY(waitFor([&] { return !logWindow->model().record(0).isOpen(); }));
    const QModelIndex outcome = logWindow->model().index(0, CallTableModel::Outcome);
    QVERIFY2(!logWindow->model().record(0).partial,
             qPrintable(QString::number(logWindow->model().record(0).firstSeen)));
    QCOMPARE(logWindow->model().data(outcome).toString(), QStringLiteral("Answered"));
    window.close();
}

void TestCallLogWindow::unusableFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("calls.sqlite"));
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("This is not a database, it is a note someone left here.\n");
    }
    CallLog::Options options;
    options.path = path;
    CallLog log(options);
    UnitSimulator unit;
    QVERIFY(unit.start(0));
    unit.setTickInterval(3600 * 1000);

    MainWindow window;
    window.setCallLog(&log);
    window.show();
    auto* message = child<QLabel>(&window, "labelCallLog");
    QVERIFY(waitFor([&] { return message->isVisible(); }));
    QVERIFY2(message->text().contains(QLatin1String("is damaged")), qPrintable(message->text()));
    QCOMPARE(message->text(), log.errorText());

    window.showCallLog();
    auto* windowMessage = child<QLabel>(window.callLogWindow(), "labelCallLogError");
    QVERIFY(windowMessage->isVisible());
    QCOMPARE(windowMessage->text(), log.errorText());

    // The console works as ever.
    connectUnit(window, unit.port());
    CustomGraphicsView* view = nullptr;
    QVERIFY(waitFor([&] { return (view = liveConsole()) != nullptr; }));
    LinePanel* panel = firstPanel(view->scene());
    QVERIFY(panel);
    QVERIFY(caughtUp(unit));
    QVERIFY(unit.ring(0, QStringLiteral("Nell")));
    QVERIFY(waitFor([&] { return panel->textLine1() == QLatin1String("Ringing"); }));
    QVERIFY(caughtUp(unit, 1));
    QVERIFY(unit.setLineState(0, QStringLiteral("on handset"), 4));
    QVERIFY2(waitFor([&] { return panel->textLine1().startsWith(QLatin1String("Nell")); }),
             qPrintable(panel->textLine1()));
    window.close();
}

void TestCallLogWindow::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("rows");
    const QStringList all = {"Old", "Mid", "New"};
    QTest::newRow("everything") << QStringList{"--export-log", "@out"} << 0 << all;
    QTest::newRow("since a date") << QStringList{"--export-log", "@out", "--since", "2024-03-05"} << 0
                                  << QStringList{"Mid", "New"};
    QTest::newRow("since a moment with offset")
        << QStringList{"--export-log=@out", "--since", "2024-03-06T12:00:00+00:00"} << 0 << QStringList{"New"};
    QTest::newRow("one unit") << QStringList{"--export-log", "@out", "--unit", "10.0.0.2:8080"} << 0
                              << QStringList{"Mid"};
    QTest::newRow("nothing matches") << QStringList{"--export-log", "@out", "--unit", "nowhere"} << 0 << QStringList{};
    QTest::newRow("a date that is none") << QStringList{"--export-log", "@out", "--since", "yesterday"} << 2
                                         << QStringList{};
    QTest::newRow("no file name") << QStringList{"--export-log"} << 2 << QStringList{};
    QTest::newRow("no log yet") << QStringList{"--export-log", "@out", "@nolog"} << 1 << QStringList{};
}

void TestCallLogWindow::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QStringList, rows);

    QTemporaryDir data;
    QVERIFY(data.isValid());
    const QString out = data.filePath(QStringLiteral("export.csv"));
    bool noLog = false;
    QStringList args;
    for (const QString& a : qAsConst(arguments)) {
        if (a == QLatin1String("@nolog"))
            noLog = true;
        else
            args << QString(a).replace(QLatin1String("@out"), out);
    }
    if (!noLog) {
        // Where the program looks: the data folder of the application.
        CallStore store(data.filePath(QStringLiteral("MIRT Desktop Control/calls.sqlite")));
        QVERIFY(store.open(1000, 0, QDateTime::currentMSecsSinceEpoch()));
        const auto utc = [](const char* text) {
            return QDateTime::fromString(QLatin1String(text), Qt::ISODate).toMSecsSinceEpoch();
        };
        QVERIFY(store.save({{call(QStringLiteral("Old"), QStringLiteral("10.0.0.1:8080"), utc("2024-03-01T10:00:00Z"),
                                  CallRecord::Missed),
                             true},
                            {call(QStringLiteral("Mid"), QStringLiteral("10.0.0.2:8080"), utc("2024-03-05T10:00:00Z"),
                                  CallRecord::Aired),
                             true},
                            {call(QStringLiteral("New"), QStringLiteral("10.0.0.1:8080"), utc("2024-03-07T10:00:00Z"),
                                  CallRecord::Answered),
                             true}}));
    }

    // No display at all: a program that opened a window would not start.
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), data.path());
    env.insert(QStringLiteral("TZ"), QStringLiteral("UTC"));
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(MIRT_DESKTOP), args);
    QVERIFY(program.waitForFinished(30000));
    const QString err = QString::fromLocal8Bit(program.readAllStandardError());
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QVERIFY2(program.exitCode() == exitCode, qPrintable(err));
    if (exitCode != 0) {
        QVERIFY(!QFile::exists(out));
        QVERIFY2(err.startsWith(QLatin1String("mirt-desktop: ")), qPrintable(err));
        return;
    }
    QFile f(out);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const CsvReadResult csv = readCsv(f.readAll());
    QVERIFY2(csv.ok, qPrintable(csv.error));
    QStringList exported;
    for (int i = 1; i < csv.records.size(); ++i)
        exported << csv.records.at(i).at(4);
    QCOMPARE(exported, rows);
    QVERIFY2(err.contains(QStringLiteral("wrote %1").arg(rows.size())), qPrintable(err));
}

QTEST_MAIN(TestCallLogWindow)
#include "tst_calllogwindow.moc"
