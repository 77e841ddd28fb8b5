// The call log as the user meets it: main window, log window, a console's Ctrl+L and a call
// appearing live, a damaged file, and the command-line export without a display.
#include "../calllog/csvreader.h"

#include "app/calllogwindow.h"
#include "app/mainwindow.h"
#include "app/quitsignals.h"
#include "calllog/calllog.h"
#include "calllog/calltablemodel.h"
#include "calllog/sqlitecallstore.h"
#include "console/customgraphicsview.h"
#include "console/linepanel.h"
#include "sim/unitsimulator.h"
#include "tests/support/files.h"
#include "tests/support/modal.h"
#include "tests/support/settings.h"
#include "tests/support/unit.h"
#include "tests/support/wait.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDateEdit>
#include <QGraphicsProxyWidget>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <memory>

#include <functional>
#include <sys/stat.h>

namespace {

using testsupport::child;
using testsupport::readAll;
using testsupport::waitFor;

const QString kUnitA = "10.0.0.1:8080", kUnitB = "10.0.0.2:8080";

// The logs below live on this day, whatever the date the tests run on: their
// clock stands at its last minute, so "Today" does not move at midnight.
const QDate kToday(2025, 6, 18);

qint64 localTime(int daysAgo, int hour, int minute = 0)
{
    return QDateTime(kToday.addDays(-daysAgo), QTime(hour, minute), Qt::LocalTime).toMSecsSinceEpoch();
}

CallLog::Options logAt(const QString& path)
{
    CallLog::Options options;
    options.path = path;
    options.clock = [] { return localTime(0, 23, 59) + 30000; };
    return options;
}

CallRecord call(const QString& name, const QString& unit, qint64 firstSeen, CallRecord::Outcome outcome,
                qint64 waitMs = -1, const QString& notes = QString())
{
    static int counter = 0;
    CallRecord r;
    r.uid = QStringLiteral("call-%1").arg(++counter);
    r.unitKey = unit;
    r.username = "studio";
    r.line = counter % 12;
    r.firstSeen = firstSeen;
    r.lastSeen = r.ended = firstSeen + 60000;
    r.outcome = outcome;
    r.waitMs = waitMs;
    r.name = name;
    r.notes = notes;
    r.topic = "Topic of " + name;
    return r;
}

void save(const QString& path, const QVector<CallRecord>& calls)
{
    SqliteCallStore store(path);
    QVERIFY2(store.open(), qPrintable(store.errorText()));
    QVector<CallStore::Write> batch;
    for (const CallRecord& r : calls)
        batch.append({r, true});
    QVERIFY(store.save(batch));
}

// Six calls over ten days on two units, in a fresh file, open in a shown log window.
struct FilledWindow
{
    static CallLog::Options filledAt(const QString& path)
    {
        save(path,
             {call("Ada", kUnitA, localTime(0, 9), CallRecord::Aired, 4000),
              call("Bert", kUnitB, localTime(0, 9, 30), CallRecord::Missed),
              call("Fay", kUnitA, localTime(0, 11), CallRecord::Answered),
              call("Cleo", kUnitA, localTime(1, 15), CallRecord::Answered, 10000, "Wants tickets"),
              call("Dora", kUnitB, localTime(3, 8), CallRecord::Aired, 20000),
              call("Emil", kUnitA, localTime(10, 8), CallRecord::Missed)});
        return logAt(path);
    }

    FilledWindow() { window.show(); }

    QTemporaryDir dir;
    CallLog log{filledAt(dir.filePath("calls.sqlite"))};
    CallLogWindow window{log};
};

QStringList names(const CallTableModel& model)
{
    QStringList out;
    for (int row = 0; row < model.rowCount(); ++row)
        out << model.record(row).name;
    return out;
}

// The Name column of an exported file, or why it could not be read.
QStringList exportedNames(const QString& path)
{
    const QByteArray bytes = readAll(path);
    const CsvReadResult csv = readCsv(bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes); // the window's mark
    if (!csv.ok || csv.records.isEmpty())
        return {"unreadable: " + csv.error};
    const int column = csv.records.first().indexOf("Name");
    QStringList out;
    for (int i = 1; i < csv.records.size(); ++i)
        out << csv.records.at(i).value(column, "<no Name column>");
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

// The panel of a line in a console's scene, found where it is drawn.
LinePanel* panelOf(QGraphicsScene* scene, int line)
{
    for (QGraphicsItem* item : scene->items())
        if (auto* panel = dynamic_cast<LinePanel*>(item); panel && item->pos() == QPointF(5, 65 + 58 * line))
            return panel;
    return nullptr;
}

// The console window that shows line panels once the unit answered.
CustomGraphicsView* liveConsole()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* view = qobject_cast<CustomGraphicsView*>(w); view && view->isVisible() && panelOf(view->scene(), 0))
            return view;
    return nullptr;
}

// The caller editor's name field, embedded in the console scene.
QLineEdit* nameEditor(QGraphicsScene* scene)
{
    for (QGraphicsItem* item : scene->items())
        if (auto* proxy = dynamic_cast<QGraphicsProxyWidget*>(item); proxy && proxy->pos() == QPointF(777, 448))
            return qobject_cast<QLineEdit*>(proxy->widget());
    return nullptr;
}

// The main window with a log (in a fresh folder, or over a file that is no
// database) and a simulated unit that never ticks.
struct Studio
{
    static CallLog::Options at(const QString& path, bool damaged)
    {
        QFile f(path);
        if (damaged && f.open(QIODevice::WriteOnly))
            f.write("This is not a database, it is a note someone left here.\n");
        CallLog::Options options;
        options.path = path;
        options.batchMs = 10;
        return options;
    }

    explicit Studio(bool damaged)
        : log(at(dir.filePath("calls.sqlite"), damaged))
    {
        unit.setTickInterval(3600 * 1000);
        window.setCallLog(&log);
        window.show();
    }
    ~Studio() { window.close(); }

    // The console has heard the unit's full status: it answers every line of it
    // with a cleared caller record, and those have reached the unit.
    bool caughtUp(int more = 0)
    {
        return waitFor([&] { return unit.receivedMessages("ancillary_data").size() >= 12 + more; });
    }

    // Starts the unit and connects to it through the main window, as a user
    // does; true once the console shows its lines and has caught up.
    bool connect()
    {
        if (!unit.start(0))
            return false;
        auto* table = child<QTableView>(&window, "tableUnits");
        QAbstractItemModel* model = table->model();
        const int row = model->rowCount();
        model->insertRows(row, 1);
        model->setData(model->index(row, 0), testsupport::unitKey(unit));
        model->setData(model->index(row, 1), "studio");
        table->selectRow(row);
        window.handleTableSelect(model->index(row, 0));
        child<QPushButton>(&window, "buttonConnect")->click();
        return waitFor([&] { return (view = liveConsole()) != nullptr; }) && caughtUp();
    }

    QTemporaryDir dir;
    CallLog log;
    UnitSimulator unit;
    MainWindow window;
    CustomGraphicsView* view = nullptr;
};

} // namespace

class TestCallLogWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { testsupport::isolateSettings(); }
    void init() { testsupport::settingsStore().clear(); }

    void buttonBelowConnectAndRetention()
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
        QCOMPARE(position("buttonCallLog"), position("buttonConnect") + QPoint(0, 1));
        QVERIFY(position("buttonAdd").y() > position("buttonCallLog").y());
        auto* button = child<QPushButton>(&window, "buttonCallLog");
        QCOMPARE(button->text(), QStringLiteral("Call Log"));

        QCOMPARE(CallLogWindow::retentionDays(), 90);
        testsupport::settingsStore().setValue("callLog/retentionDays", -5); // edited by hand: the default
        QCOMPARE(CallLogWindow::retentionDays(), 90);
        // Without a log the button does nothing; with one it opens the window.
        QVERIFY(!button->isEnabled());
        QTemporaryDir dir;
        CallLog log(logAt(dir.filePath("calls.sqlite")));
        window.setCallLog(&log);
        button->click();
        QVERIFY(window.callLogWindow() && window.callLogWindow()->isVisible());
        QCOMPARE(window.callLogWindow()->windowTitle(), QStringLiteral("Call Log"));
        QVERIFY(child<QLabel>(&window, "labelCallLog")->isHidden());
    }

    // Keeping calls for less time deletes calls, so the window asks first
    // and says how many; a stray turn of the wheel does nothing.
    void retentionAsksBeforeDeleting()
    {
        QTemporaryDir dir;
        save(dir.filePath("calls.sqlite"),
             {call("Old", kUnitA, localTime(10, 12), CallRecord::Missed),
              call("Older", kUnitA, localTime(20, 12), CallRecord::Missed),
              call("Recent", kUnitA, localTime(0, 22), CallRecord::Answered)});
        CallLog log(logAt(dir.filePath("calls.sqlite")));
        CallLogWindow window(log);
        window.show();
        auto* spin = child<QSpinBox>(&window, "spinRetention");
        QCOMPARE(spin->value(), 90);
        QWheelEvent wheel(QPointF(5, 5), spin->mapToGlobal(QPoint(5, 5)), {}, QPoint(0, -120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(spin, &wheel);
        QCOMPARE(spin->value(), 90);

        for (const QMessageBox::StandardButton answer : {QMessageBox::No, QMessageBox::Yes}) {
            QString asked;
            testsupport::onModal([&](QWidget* w) {
                if (auto* box = qobject_cast<QMessageBox*>(w)) {
                    asked = box->text() + ' ' + box->informativeText();
                    box->button(answer)->click();
                }
            });
            spin->setValue(7);
            QVERIFY(waitFor([&] { return !asked.isEmpty(); }));
            QCOMPARE(asked, "Keep calls for 7 days only? This deletes 2 calls now. It cannot be undone.");
            QCOMPARE(spin->value(), answer == QMessageBox::Yes ? 7 : 90);
            QCOMPARE(CallLogWindow::retentionDays(), spin->value());
        }
        QVERIFY(refreshed(window, [&] { child<QComboBox>(&window, "comboRange")->setCurrentText("All"); }));
        QVERIFY(waitFor([&] { return names(window.model()) == QStringList{"Recent"}; }));
        // Kept for longer: nothing to ask.
        spin->setValue(30);
        QVERIFY(waitFor([&] { return CallLogWindow::retentionDays() == 30; }));
        QCOMPARE(CallLogWindow(log).findChild<QSpinBox*>("spinRetention")->value(), 30);
    }

    void filters_data()
    {
        QTest::addColumn<QString>("search");
        QTest::addColumn<QString>("unit");
        QTest::addColumn<QString>("outcome"); // empty: all outcomes
        QTest::addColumn<QString>("range");
        QTest::addColumn<QStringList>("rows");
        auto row = [](const char* name, const char* search, const QString& unit, const char* outcome, const char* range,
                      const QStringList& rows) {
            QTest::newRow(name) << QString(search) << unit << QString(outcome) << QString(range) << rows;
        };
        row("last 7 days, newest first", "", "", "", "Last 7 days", {"Fay", "Bert", "Ada", "Cleo", "Dora"});
        row("today", "", "", "", "Today", {"Fay", "Bert", "Ada"});
        row("all", "", "", "", "All", {"Fay", "Bert", "Ada", "Cleo", "Dora", "Emil"});
        row("one unit", "", kUnitA, "", "All", {"Fay", "Ada", "Cleo", "Emil"});
        row("missed", "", "", "Missed", "All", {"Bert", "Emil"});
        row("answered", "", "", "Answered", "All", {"Fay", "Cleo"});
        row("search in the notes", "TICKET", "", "", "All", {"Cleo"});
        row("search in the topic, one unit", "topic of", kUnitB, "", "All", {"Bert", "Dora"});
        row("custom: yesterday", "", "", "", "Custom", {"Cleo"});
    }

    void filters()
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
        if (range == "Custom") {
            const QDate yesterday = kToday.addDays(-1);
            QVERIFY(refreshed(window, [&] { child<QDateEdit>(&window, "dateFrom")->setDate(yesterday); }));
            QVERIFY(refreshed(window, [&] { child<QDateEdit>(&window, "dateTo")->setDate(yesterday); }));
        }
        if (!outcome.isEmpty())
            QVERIFY(refreshed(window, [&] { child<QComboBox>(&window, "comboOutcome")->setCurrentText(outcome); }));
        if (!unit.isEmpty()) {
            QVERIFY(child<QComboBox>(&window, "comboUnit")->findData(unit) > 0); // the units of the file are offered
            QVERIFY(refreshed(window, [&] { window.setUnitFilter(unit); }));
        }
        if (!search.isEmpty())
            QVERIFY(refreshed(window, [&] { QTest::keyClicks(child<QLineEdit>(&window, "lineSearch"), search); }));

        QCOMPARE(names(window.model()), rows);
        QCOMPARE(child<QLabel>(&window, "labelCount")->text(),
                 rows.size() == 1 ? QStringLiteral("1 call") : QStringLiteral("%1 calls").arg(rows.size()));
    }

    void totalsNotesDeleteAndExport()
    {
        FilledWindow filled;
        CallLogWindow& window = filled.window;
        QVERIFY(refreshed(window, [&] { child<QComboBox>(&window, "comboRange")->setCurrentText("All"); }));

        // Day, calls, answered, aired, missed, mean wait; newest day first.
        auto* days = child<QTableWidget>(&window, "tableDays");
        QStringList cells;
        for (int row = 0; row < days->rowCount(); ++row) {
            QStringList line;
            for (int c = 0; c < days->columnCount(); ++c)
                line << days->item(row, c)->text();
            cells << line.join('|');
        }
        const auto day = [](int ago) { return kToday.addDays(-ago).toString("ddd yyyy-MM-dd"); };
        QCOMPARE(cells,
                 (QStringList{day(0) + "|3|1|1|1|0:04", day(1) + "|1|1|0|0|0:10", day(3) + "|1|0|1|0|0:20",
                              day(10) + "|1|0|0|1|"}));

        // The selected call's notes beside the table.
        auto* table = child<QTableView>(&window, "tableCalls");
        auto* notes = child<QPlainTextEdit>(&window, "textNotes");
        table->selectRow(names(window.model()).indexOf("Cleo"));
        QCOMPARE(notes->toPlainText(), QStringLiteral("Wants tickets"));
        QVERIFY(child<QLabel>(&window, "labelDetails")->text().contains("Topic of Cleo"));
        QVERIFY(child<QPushButton>(&window, "buttonDelete")->isEnabled());
        table->clearSelection();
        QVERIFY(notes->toPlainText().isEmpty());

        // Two calls selected, deleted after the question.
        table->setFocus();
        table->selectRow(names(window.model()).indexOf("Bert"));
        table->selectionModel()->select(window.model().index(names(window.model()).indexOf("Dora"), 0),
                                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
        testsupport::onModal([](QWidget* w) {
            if (auto* box = qobject_cast<QMessageBox*>(w)) {
                QVERIFY(box->text().contains("2 selected calls"));
                box->button(QMessageBox::Yes)->click();
            }
        });
        QVERIFY(refreshed(window, [&] { child<QPushButton>(&window, "buttonDelete")->click(); }));
        QCOMPARE(names(window.model()), (QStringList{"Fay", "Ada", "Cleo", "Emil"}));

        // Saying no deletes nothing.
        table->selectRow(0);
        testsupport::onModal([](QWidget* w) {
            if (auto* box = qobject_cast<QMessageBox*>(w))
                box->button(QMessageBox::No)->click();
        });
        window.deleteSelected();
        QVERIFY(refreshed(window, [&] { window.refresh(); }));
        QCOMPARE(window.model().rowCount(), 4);

        // The filtered rows, oldest first, to a file.
        QVERIFY(refreshed(window, [&] { window.setUnitFilter(kUnitA); }));
        QVERIFY(QDir().mkpath(filled.dir.filePath("out")));
        QSignalSpy exported(&window, &CallLogWindow::exported);
        window.exportTo(filled.dir.filePath("out/calls.csv"));
        QVERIFY(waitFor([&] { return exported.size() == 1; }));
        QCOMPARE(exported.first().at(0).toBool(), true);
        QCOMPARE(exported.first().at(1).toInt(), 4);
        QCOMPARE(exportedNames(filled.dir.filePath("out/calls.csv")), (QStringList{"Emil", "Cleo", "Ada", "Fay"}));
        QVERIFY(readAll(filled.dir.filePath("out/calls.csv")).startsWith("\xEF\xBB\xBF")); // for spreadsheets

        // Under a file, where no folder can be (not even for the superuser):
        // a clear failure, no file, and the log goes on.
        exported.clear();
        window.exportTo(filled.dir.filePath("out/calls.csv/again.csv"));
        QVERIFY(waitFor([&] { return exported.size() == 1; }));
        QCOMPARE(exported.first().at(0).toBool(), false);
        QVERIFY(exported.first().at(2).toString().contains("calls.csv/again.csv"));
        QVERIFY(child<QLabel>(&window, "labelStatus")->text().startsWith("Export failed"));
        QVERIFY(!filled.log.isOff() && !filled.log.isBehind());
        save(filled.dir.filePath("calls.sqlite"), {call("Gus", kUnitA, localTime(0, 7), CallRecord::Missed)});
        QVERIFY(refreshed(window, [&] { window.refresh(); }));
        QVERIFY(names(window.model()).contains("Gus"));
    }

    // Fifty live updates (a new call on top, one renamed) leave the selection,
    // the current row and the top row of the view where they were; hidden,
    // the window asks nothing and catches up when shown.
    void liveUpdatesInPlace()
    {
        FilledWindow filled;
        CallLogWindow& w = filled.window;
        QVector<CallRecord> fillers;
        for (int i = 0; i < 60; ++i)
            fillers << call("Filler", kUnitA, localTime(0, 1, i), CallRecord::Answered);
        save(filled.log.path(), fillers);
        QVERIFY(refreshed(w, [&] { w.refresh(); }));
        auto* table = child<QTableView>(&w, "tableCalls");
        table->selectionModel()->select(QItemSelection(w.model().index(20, 0), w.model().index(22, 0)),
                                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
        table->selectionModel()->setCurrentIndex(w.model().index(21, 3), QItemSelectionModel::NoUpdate);
        table->verticalScrollBar()->setValue(table->rowViewportPosition(15) + 7);
        const auto place = [&] {
            QStringList out{w.model().record(table->currentIndex().row()).uid, w.model().record(table->rowAt(0)).uid,
                            QString::number(table->rowViewportPosition(table->rowAt(0)))};
            for (const QModelIndex& index : table->selectionModel()->selectedRows())
                out << w.model().record(index.row()).uid;
            return out;
        };
        const QStringList before = place();
        SqliteCallStore other(filled.log.path());
        QVERIFY(other.open());
        for (int i = 0; i < 50; ++i) {
            CallRecord renamed = w.model().record(30);
            renamed.name += "!";
            QVERIFY(other.save({{call("New", kUnitA, localTime(0, 23, i), CallRecord::Missed), true}, {renamed}}));
            QVERIFY(refreshed(w, [&] { emit filled.log.changed(); }));
            QCOMPARE(place(), before);
        }
        // Hidden: a search asked would be answered before the flush after it.
        QSignalSpy flushed(&filled.log, &CallLog::flushed), asked(&w, &CallLogWindow::refreshed);
        w.hide();
        for (int i = 1; i <= 2; ++i) {
            asked.clear();
            filled.log.flush();
            QVERIFY(waitFor([&] { return flushed.size() == i; }));
            QVERIFY(other.save({{call("While hidden", kUnitA, localTime(0, 23, 59), CallRecord::Missed), true}}));
            emit filled.log.changed();
        }
        QCOMPARE(asked.size(), 0);
        QVERIFY(refreshed(w, [&] { w.show(); }));
        QCOMPARE(w.model().rowCount(), 65 + 50 + 2);
    }

    // Every column sorts all matching calls in the database: the first rows
    // are among the oldest calls, beyond the newest RowLimit. Kept after a
    // restart.
    void sortsInTheDatabase()
    {
        QTemporaryDir dir;
        const CallLog::Options options = logAt(dir.filePath("calls.sqlite"));
        QVector<CallRecord> calls;
        for (int i = 0; i < CallLogWindow::RowLimit; ++i) {
            calls << call("Mid", "10.0.0.5:8080", localTime(0, 12) + i, CallRecord::Answered, 10000);
            calls.last().line = 5, calls.last().location = "Mid", calls.last().airMs = 10000,
            calls.last().totalMs = 60000;
        }
        CallRecord aaron = call("Aaron", "10.0.0.0:8080", localTime(5, 1), CallRecord::Missed, 1000);
        CallRecord zoe = call("Zoe", "10.0.0.9:8080", localTime(5, 2), CallRecord::Aired, 99000);
        aaron.line = 0, aaron.location = "Zurich", aaron.topic = "Aardvarks", aaron.totalMs = 5000;
        zoe.line = 11, zoe.location = "Aachen", zoe.topic = "Zebras", zoe.airMs = 500000, zoe.totalMs = 3600000;
        save(options.path, calls << aaron << zoe);
        CallLog log(options);
        auto window = std::make_unique<CallLogWindow>(log);
        QVERIFY(refreshed(*window, [&] { window->show(); }));
        // Per column the first name ascending and descending: empty times last.
        const QStringList first = {"Aaron Mid", "Aaron Zoe", "Aaron Zoe", "Aaron Zoe", "Zoe Aaron",
                                   "Aaron Zoe", "Aaron Zoe", "Mid Zoe",   "Aaron Zoe", "Aaron Zoe"};
        auto* header = child<QTableView>(window.get(), "tableCalls")->horizontalHeader();
        for (int column = 0; column < CallTableModel::ColumnCount; ++column) {
            for (const Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
                if (header->sortIndicatorSection() != column || header->sortIndicatorOrder() != order)
                    QVERIFY(refreshed(*window, [&] { header->setSortIndicator(column, order); }));
                QCOMPARE(window->model().record(0).name, first.at(column).split(' ').at(order));
            }
        }
        QVERIFY(child<QLabel>(window.get(), "labelCount")
                    ->text()
                    .startsWith(
                        QString("first %1 of %2 by outcome").arg(QLocale().toString(2000), QLocale().toString(2002))));
        window = std::make_unique<CallLogWindow>(log);
        QVERIFY(refreshed(*window, [&] { window->show(); }));
        QCOMPARE(window->model().record(0).name, "Zoe");
    }

    // The keys, the outcome filter against the Outcome column, the notes pane.
    void keysOutcomesAndNotes()
    {
        FilledWindow filled;
        CallLogWindow& w = filled.window;
        CallRecord open = call("Still on", kUnitA, localTime(0, 10), CallRecord::Answered, 0, "Asked about parking");
        open.ended = 0;
        // Once the log is open: its start closes calls no program holds.
        QVERIFY(waitFor([&] { return filled.log.state() == CallLog::Ready; }));
        save(filled.log.path(), {open});
        auto* outcome = child<QComboBox>(&w, "comboOutcome");
        for (int i = 1; i <= outcome->count(); ++i) {
            QVERIFY(refreshed(w, [&] { outcome->setCurrentIndex(i % outcome->count()); }));
            for (int row = 0; i < outcome->count() && row < w.model().rowCount(); ++row)
                QCOMPARE(w.model().index(row, CallTableModel::Outcome).data().toString(), outcome->itemText(i));
        }
        auto* table = child<QTableView>(&w, "tableCalls");
        const int row = w.model().rowOf(open.uid);
        table->setCurrentIndex(w.model().index(row, 0));
        QString asked;
        testsupport::onModal([&](QWidget* box) { asked = qobject_cast<QMessageBox*>(box)->text(), box->close(); });
        QTest::keyClick(table, Qt::Key_Delete);
        QVERIFY(waitFor([&] { return asked == "Delete the selected call from the log?"; }));
        QApplication::setActiveWindow(&w);
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QTest::keyClick(&w, Qt::Key_F, Qt::ControlModifier);
        QVERIFY(child<QLineEdit>(&w, "lineSearch")->hasFocus());
        QTest::keyClick(table, Qt::Key_Return);
        auto* notes = child<QPlainTextEdit>(&w, "textNotes");
        QTest::keyClicks(notes, "typed");
        QVERIFY(notes->hasFocus() && notes->toPlainText() == "Asked about parking");
        QTest::keyClick(table, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text().split('\t').mid(3, 2), (QStringList{"Still on", ""}));
        QTest::keyClick(table, Qt::Key_Escape);
        QVERIFY(!w.isVisible());
    }

    void liveFromAConsole()
    {
        Studio studio(false);
        UnitSimulator& unit = studio.unit;
        QVERIFY(studio.connect());

        // Ctrl+L on the console: the log of its unit.
        CustomGraphicsView* view = studio.view;
        QApplication::setActiveWindow(view);
        QVERIFY(QTest::qWaitForWindowActive(view));
        QTest::keyClick(view, Qt::Key_L, Qt::ControlModifier);
        CallLogWindow* logWindow = studio.window.callLogWindow();
        QVERIFY(logWindow && logWindow->isVisible());
        QCOMPARE(logWindow->unitFilter(), testsupport::unitKey(unit));
        QCOMPARE(logWindow->filter().unitKey, testsupport::unitKey(unit));

        // A call rings, is answered and dropped while the window is open.
        const CallTableModel& model = logWindow->model();
        QVERIFY(unit.ring(2, "Yusuf"));
        QVERIFY(waitFor([&] { return model.rowCount() == 1; }));
        QVERIFY(studio.caughtUp(1));
        QCOMPARE(model.record(0).line, 2);
        QVERIFY(model.record(0).isOpen());
        QVERIFY(unit.setLineState(2, "on handset", 4));
        QVERIFY(waitFor([&] { return model.record(0).name == "Yusuf"; }));

        // The screener selects the line and types the caller's surname.
        LinePanel* panel = panelOf(view->scene(), 2);
        QVERIFY(panel);
        const QPointF centre = panel->mapToScene(panel->boundingRect().center());
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->mapFromScene(centre));
        QLineEdit* name = nameEditor(view->scene());
        QVERIFY(name);
        QVERIFY(waitFor([&] { return name->isEnabled() && name->text() == "Yusuf"; }));
        name->end(false);
        QTest::keyClicks(name, " Demir");
        QVERIFY(waitFor([&] { return model.record(0).name == "Yusuf Demir"; }));
        QVERIFY(unit.setLineState(2, "on hook (idle)"));
        QVERIFY(waitFor([&] { return !model.record(0).isOpen(); }));
        QVERIFY2(!model.record(0).partial, qPrintable(QString::number(model.record(0).firstSeen)));
        QCOMPARE(model.data(model.index(0, CallTableModel::Outcome)).toString(), QStringLiteral("Answered"));
    }

    // A damaged file is kept aside, and the user told where.
    void damagedFileKeptAside()
    {
        Studio studio(true);
        auto* message = child<QLabel>(&studio.window, "labelCallLog");
        QVERIFY(waitFor([&] { return message->isVisible(); }));
        QVERIFY2(message->text().contains("was damaged. It was kept as "), qPrintable(message->text()));
        QCOMPARE(message->text(), studio.log.statusText());
        studio.window.showCallLog();
        auto* windowMessage = child<QLabel>(studio.window.callLogWindow(), "labelCallLogError");
        QVERIFY(windowMessage->isVisible());
        QCOMPARE(windowMessage->text(), studio.log.statusText());
        // The new log records: tst_calllog, unusableFile.
    }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments"); // @out: the file; @nolog: no log file made
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("rows");
        auto row = [](const char* name, const char* arguments, int exitCode, const char* rows) {
            QTest::newRow(name) << QString(arguments).split(' ') << exitCode
                                << QString(rows).split(' ', Qt::SkipEmptyParts);
        };
        // Cells a spreadsheet would run start with an apostrophe, unless --raw.
        row("everything", "--export-log @out", 0, "Old '=1+1 '@cmd");
        row("raw", "--export-log @out --raw", 0, "Old =1+1 @cmd");
        row("since a date", "--export-log @out --since 2024-03-05", 0, "'=1+1 '@cmd");
        row("since a moment with offset", "--export-log=@out --since 2024-03-06T12:00:00+00:00", 0, "'@cmd");
        row("one unit", "--export-log @out --unit 10.0.0.2:8080", 0, "'=1+1");
        row("nothing matches", "--export-log @out --unit nowhere", 0, "");
        // Options that are none: tests/cli, with their messages.
        row("no log yet", "--export-log @out @nolog", 1, "");
    }

    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QStringList, rows);

        QTemporaryDir data;
        QVERIFY(data.isValid());
        const QString out = data.filePath("export.csv");
        // Where the program looks: the data folder of the application.
        const auto utc = [](const char* text) { return QDateTime::fromString(text, Qt::ISODate).toMSecsSinceEpoch(); };
        if (!arguments.removeAll("@nolog"))
            save(data.filePath("MIRT Desktop Control/calls.sqlite"),
                 {call("Old", kUnitA, utc("2024-03-01T10:00:00Z"), CallRecord::Missed),
                  call("=1+1", kUnitB, utc("2024-03-05T10:00:00Z"), CallRecord::Aired),
                  call("@cmd", kUnitA, utc("2024-03-07T10:00:00Z"), CallRecord::Answered)});
        arguments.replaceInStrings("@out", out);

        // No display at all: a program that opened a window would not start.
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("XDG_DATA_HOME", data.path());
        env.insert("TZ", "UTC");
        program.setProcessEnvironment(env);
        const mode_t mask = ::umask(022);
        program.start(QStringLiteral(MIRT_DESKTOP), arguments);
        ::umask(mask);
        QVERIFY(program.waitForFinished(30000));
        const QString err = QString::fromLocal8Bit(program.readAllStandardError());
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QVERIFY2(program.exitCode() == exitCode, qPrintable(err));
        if (exitCode != 0) {
            QVERIFY(!QFile::exists(out));
            QVERIFY2(err.startsWith("mirt-desktop: "), qPrintable(err));
            return;
        }
        QCOMPARE(exportedNames(out), rows);
        QVERIFY(!readAll(out).startsWith("\xEF\xBB\xBF")); // scripts read it
        QCOMPARE(QFileInfo(out).permissions() & 0x0777, QFileDevice::ReadUser | QFileDevice::WriteUser);
        QVERIFY2(err.contains(QStringLiteral("wrote %1").arg(rows.size())), qPrintable(err));
    }

    // A logout's SIGTERM closes the program as closing its window does:
    // the consoles close and their calls reach the log. Last, as it ends
    // the application's loop.
    void quitSignal()
    {
        Studio studio(false);
        QVERIFY(studio.connect());
        QVERIFY(studio.unit.ring(5, "Vera"));
        QVERIFY(studio.caughtUp(1));
        QVERIFY(studio.unit.setLineState(5, "on hold"));
        CallRecorder* recorder = studio.log.recorder(testsupport::unitKey(studio.unit));
        QVERIFY(waitFor([&] { return recorder->openCalls().value(0).name == "Vera"; }));
        QuitSignals::closeOnQuit(studio.window);
        ::raise(SIGTERM);
        QVERIFY(waitFor([&] { return !studio.window.isVisible() && !liveConsole(); }));
        CallLogWindow window(studio.log);
        QVERIFY(refreshed(window, [&] { window.show(); }));
        QVERIFY(waitFor([&] { return window.model().rowCount() == 1 && window.model().record(0).name == "Vera"; }));
    }
};

QTEST_MAIN(TestCallLogWindow)
#include "tst_calllogwindow.moc"
