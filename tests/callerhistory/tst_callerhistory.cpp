// The caller history over a real log file: which earlier callers a typed
// name offers, the flag that follows a name, and a console of the program
// that completes names, marks repeat callers and keeps typing while the log
// is stalled.
#include "app/callerhistorywindow.h"
#include "app/logcallerhistory.h"
#include "app/mainwindow.h"
#include "calllog/calllog.h"
#include "calllog/sqlitecallstore.h"
#include "console/consoleaccess.h"
#include "console/customgraphicsview.h"
#include "console/infoedit.h"
#include "console/lines.h"
#include "console/mirtgui.h"
#include "console/namecompleter.h"
#include "sim/unitsimulator.h"
#include "tests/support/barrier.h"
#include "tests/support/modal.h"
#include "tests/support/settings.h"
#include "tests/support/unit.h"
#include "tests/support/wait.h"

#include <QApplication>
#include <QBuffer>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

namespace {

using testsupport::editorSends;
using testsupport::waitFor;

CallRecord call(const QString& name, const QString& location, int daysAgo, bool ended = true)
{
    static int counter = 0;
    CallRecord r;
    r.uid = QStringLiteral("history-%1").arg(++counter);
    r.unitKey = "10.0.0.1:8080";
    r.firstSeen = QDateTime::currentMSecsSinceEpoch() - qint64(daysAgo) * 24 * 3600 * 1000 - counter * 1000 - 600000;
    r.lastSeen = r.firstSeen + 60000;
    r.ended = ended ? r.lastSeen : 0;
    r.outcome = ended ? CallRecord::Aired : CallRecord::Pending;
    r.name = name;
    r.location = location;
    r.topic = "Topic " + QString::number(counter);
    return r;
}

bool save(CallStore& store, const QVector<CallRecord>& calls)
{
    QVector<CallStore::Write> batch;
    for (const CallRecord& r : calls)
        batch.append({r, true});
    return store.save(batch);
}

// A scripted show: one caller spelt two ways, a namesake in another town, a
// caller older than retention and one whose call was deleted.
bool fillShow(const QString& path)
{
    SqliteCallStore store(path);
    if (!store.open()
        || !save(store,
                 {call("Anna Berg", "Leeds", 10), call("anna  BERG", "leeds", 2), call("Ánna Berg", "York", 1),
                  call("Joanna Lind", "", 3), call("Dan Ek", "Oslo", 5), call("Hanna Old", "", 200),
                  call("Bob", "", 0)}))
        return false;
    CallFilter dan;
    dan.text = "Dan Ek";
    const CallQueryResult found = store.query(dan, 10);
    return store.applyRetention(90, QDateTime::currentMSecsSinceEpoch(), false).calls == 1 && found.rows.size() == 1
        && store.remove({found.rows.first().id});
}

QStringList callers(const QVector<CallerSummary>& found)
{
    QStringList out;
    for (const CallerSummary& c : found)
        out << QStringLiteral("%1|%2|%3").arg(c.name, c.location).arg(c.calls);
    return out;
}

// A source whose answers the test gives, late or never.
struct ScriptedSource : CallerHistorySource
{
    QStringList asked;
    int findCallers(const QString& typed, int) override
    {
        asked << typed;
        return asked.size();
    }
    int lookUpCaller(const QString&, const QString&, int) override { return 0; }
    int setCallerFlag(const QString&, const QString&, const QString&) override { return 0; }
};

} // namespace

class TestCallerHistory : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { testsupport::isolateSettings(); }

    void offered_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("offered");
        const QStringList an{"Ánna Berg|York|1", "anna  BERG|leeds|2", "Joanna Lind||1"};
        QTest::newRow("newest first") << QString("an") << an;
        QTest::newRow("case and accents") << QString("ÀN") << an;
        QTest::newRow("spaces, two towns") << QString(" anna   berg") << QStringList(an.mid(0, 2));
        QTest::newRow("any part") << QString("lind") << QStringList{"Joanna Lind||1"};
        QTest::newRow("deleted") << QString("ek") << QStringList();
        QTest::newRow("past retention") << QString("old") << QStringList();
    }
    void offered()
    {
        QFETCH(QString, typed);
        QTemporaryDir dir;
        const QString path = dir.filePath("calls.sqlite");
        QVERIFY(fillShow(path));
        SqliteCallStore store(path);
        QVERIFY(store.open());
        QFETCH(QStringList, offered);
        QCOMPARE(callers(store.findCallers(typed, 8)), offered);
    }

    void flagFollowsTheName()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("calls.sqlite");
        QVERIFY(fillShow(path));
        SqliteCallStore store(path);
        QVERIFY(store.open());
        QVERIFY(store.setCallerFlag("ANNA BERG", "Leeds", "  regular:\nweather "));
        // Back on a new call: two earlier ones, the flag with them.
        QVERIFY(save(store, {call("Anna berg", "LEEDS", 0, false)}));
        CallerHistory leeds = store.callerHistory("anna berg", "leeds", 5);
        QCOMPARE(QStringList({QString::number(leeds.calls), QString::number(leeds.endedCalls), leeds.flag}),
                 QStringList({"3", "2", "regular: weather"}));
        // Without a location the name is every caller of that name; York is another caller.
        QCOMPARE(store.callerHistory("Anna Berg", "", 5).calls, 4);
        QCOMPARE(store.callerHistory("Anna Berg", "York", 5).flag, QString());

        QBuffer csv;
        QVERIFY(csv.open(QIODevice::WriteOnly) && store.exportCsv(CallFilter(), csv));
        const QStringList lines = QString::fromUtf8(csv.data()).split("\r\n", Qt::SkipEmptyParts);
        QVERIFY(lines.first().endsWith(",Partial,Flag"));
        QCOMPARE(lines.filter(QRegularExpression(",regular: weather$")).size(), 3);

        // The flag goes with the caller's last call.
        QVector<qint64> ids;
        for (const CallRecord& r : leeds.rows)
            ids << r.id;
        QVERIFY(store.remove(ids));
        QVERIFY(save(store, {call("Anna Berg", "Leeds", 0)}));
        leeds = store.callerHistory("Anna Berg", "Leeds", 5);
        QCOMPARE(leeds.calls, 1);
        QCOMPARE(leeds.flag, QString());
    }

    // The program with a log, a console on a simulated unit and the scripted show.
    void console()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("calls.sqlite");
        QVERIFY(fillShow(path));
        CallLog::Options options;
        options.path = path;
        options.batchMs = 10;
        CallLog log(options);
        UnitSimulator unit;
        unit.setTickInterval(3600 * 1000);
        QVERIFY(unit.start(0));
        MainWindow window;
        window.setCallLog(&log);
        const QString key = testsupport::unitKey(unit);
        auto* table = testsupport::child<QTableView>(&window, "tableUnits");
        table->model()->insertRows(0, 1);
        table->model()->setData(table->model()->index(0, 0), key);
        table->selectRow(0);
        window.handleConnect();
        MIRTGui* gui = window.console(key);
        QVERIFY(gui && waitFor([&] { return gui->session().getState() == IPCObject::IPC_READY; }));
        QVERIFY(waitFor([&] { return unit.receivedMessages("ancillary_data").size() >= 12; }));
        CustomGraphicsView* view = &gui->consoleView();
        QApplication::setActiveWindow(view);
        QVERIFY(QTest::qWaitForWindowActive(view));

        // A first-time caller on line 2, a regular on line 3 (whose call now is not an earlier one).
        for (unsigned line : {2u, 3u, 4u})
            QVERIFY(unit.ring(line, CallerInfo()) && unit.setLineState(line, "on hold"));
        // The console clears a new call's record; the callers are named after that.
        QVERIFY(testsupport::roundTrip(gui->session(), unit));
        CallerInfo zed, anna;
        zed.name = "Zed New";
        anna.name = "ANNA BERG";
        anna.location = "Leeds";
        zed.fields = anna.fields = CallerInfo::Name | CallerInfo::Location;
        QVERIFY(unit.setCallerInfo(2, zed) && unit.setCallerInfo(3, anna));
        Lines& lines = *gui->lines();
        QVERIFY(waitFor([&] { return lines.line(3)->panel().historyMark() == 2; }));
        QCOMPARE(lines.line(2)->panel().historyMark(), 0);

        // Ctrl+H: the caller's calls; a flag set there comes back with the name.
        gui->selectLine(3);
        QTest::keyClick(view, Qt::Key_H, Qt::ControlModifier);
        CallerHistoryWindow* history = window.callerHistoryWindow();
        QVERIFY(history && history->isVisible());
        QVERIFY(waitFor([&] { return history->table().rowCount() == 3; }));
        QCOMPARE(history->table().item(0, 4)->text(), QStringLiteral("in progress"));
        history->flagEditor().setText("do not air");
        testsupport::child<QPushButton>(history, "buttonSetFlag")->click();
        QVERIFY(waitFor([&] { return lines.line(3)->historyFlag() == "do not air"; }));
        QVERIFY(gui->infoEdit()->nameEditor().toolTip().startsWith("Called 2 times before\n"));
        QVERIFY(gui->infoEdit()->nameEditor().toolTip().endsWith("\nFlag: do not air"));
        QVERIFY(gui->access()->describe(*lines.line(3)).contains("called 2 times before, flag: do not air"));
        QCOMPARE(history->flagShown(), QStringLiteral("do not air"));
        history->close();

        // Line 4 has no name yet: "an" offers the earlier callers, newest first.
        gui->selectLine(4);
        QApplication::setActiveWindow(view);
        QVERIFY(QTest::qWaitForWindowActive(view));
        QTest::keyClick(view, Qt::Key_E, Qt::ControlModifier);
        NameCompleter& completer = *gui->nameCompleter();
        QTest::keyClicks(view, "an");
        QVERIFY(waitFor([&] { return completer.isShown(); }));
        QStringList names;
        for (const QString& text : completer.shownTexts())
            names << text.section(QStringLiteral(" \u2014 "), 0, 1);
        // The day of the call as the log has it, whatever today is now.
        SqliteCallStore reader(path);
        QVERIFY(reader.open());
        const QDate joanna = QDateTime::fromMSecsSinceEpoch(reader.findCallers("joanna", 1).value(0).lastCall).date();
        QCOMPARE(names,
                 QStringList({"ANNA BERG \u2014 Leeds", "Ánna Berg \u2014 York",
                              "Joanna Lind \u2014 1 call, last " + joanna.toString(Qt::ISODate)}));
        const auto sends = [&] { return testsupport::roundTrip(gui->session(), unit) ? editorSends(unit).size() : -1; };
        QCOMPARE(sends(), 2);
        QTest::keyClick(view, Qt::Key_Down);
        QTest::keyClick(view, Qt::Key_Down);
        QCOMPARE(sends(), 2);
        QTest::keyClick(view, Qt::Key_Return);
        QCOMPARE(sends(), 3);
        CallerInfo chosen;
        unsigned chosenLine = 0;
        bool local = false;
        CallerInfo::read(editorSends(unit).last(), 12, chosenLine, chosen, local);
        QCOMPARE(chosen.name + "|" + chosen.location, QStringLiteral("Ánna Berg|York"));
        QVERIFY(!completer.isShown());

        // Escape closes the list, keeps the text and the field, sends nothing.
        gui->infoEdit()->nameEditor().selectAll();
        QTest::keyClicks(view, "jo");
        QVERIFY(waitFor([&] { return completer.isShown(); }));
        QTest::keyClick(view, Qt::Key_Escape);
        QVERIFY(!completer.isShown());
        QVERIFY(gui->infoEdit()->nameEditor().hasFocus());
        QCOMPARE(gui->infoEdit()->nameEditor().text(), QStringLiteral("jo"));
        QCOMPARE(sends(), 5);

        // A stalled log answers late or never: typing goes on, an answer for a
        // text typed past is dropped.
        ScriptedSource scripted;
        CallerHistorySource* real = gui->callerHistory();
        gui->setCallerHistory(&scripted);
        QTest::keyClicks(view, "a");
        QTest::keyClicks(view, "n");
        QCOMPARE(scripted.asked, QStringList({"joa", "joan"}));
        QCOMPARE(sends(), 7);
        emit scripted.callersFound(1, {{"Joa", "", 1, 0, {}}});
        QVERIFY(!completer.isShown());
        emit scripted.callersFound(2, {{"Joanna", "", 1, 0, {}}});
        QCOMPARE(completer.shownTexts().size(), 1);
        gui->setCallerHistory(real);

        // A log that is off: every keystroke goes out at once, no list comes.
        CallLog::Options off;
        off.path = dir.path();
        CallLog offLog(off);
        LogCallerHistory offSource(offLog);
        gui->setCallerHistory(&offSource);
        QSignalSpy answers(&offSource, &CallerHistorySource::callersFound);
        gui->infoEdit()->nameEditor().selectAll();
        QTest::keyClicks(view, "anna b");
        QCOMPARE(sends(), 13);
        QVERIFY(waitFor([&] { return !answers.isEmpty(); }));
        QVERIFY(!completer.isShown());
        gui->setCallerHistory(real);
        window.close();
    }
};

QTEST_MAIN(TestCallerHistory)
#include "tst_callerhistory.moc"
