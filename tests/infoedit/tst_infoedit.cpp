// The caller information editor against the simulated unit: every edit sends
// the whole record, updates from the unit refresh it without sending and
// without disturbing the user, and a second console sees the first one's edits.

#include "console/infoedit.h"
#include "console/lines.h"
#include "ipc/ipcobject.h"
#include "sim/unitsimulator.h"
#include "tests/support/barrier.h"

#include <QClipboard>
#include <QGraphicsScene>
#include <QGuiApplication>
#include <QPainter>
#include <QtTest>

#include <algorithm>
#include <memory>

namespace {

using testsupport::editorSends;

// One console with just the controllers the editor needs, deleted in the
// console window's order, before the scene.
struct InfoConsole
{
    QGraphicsScene scene;
    IPCObject session;
    std::unique_ptr<Lines> lines{new Lines(scene, session)};
    std::unique_ptr<InfoEdit> edit{new InfoEdit(scene, session, *lines)};
    ~InfoConsole()
    {
        lines.reset();
        edit.reset();
    }
};

// Logs the consoles in and waits until the status that follows the login,
// and the relays of the cleared records it causes, have all arrived: a later
// frame from the unit reaches each console after them.
bool connectAll(UnitSimulator& unit, const QList<InfoConsole*>& consoles)
{
    for (InfoConsole* c : consoles)
        c->session.connectIPC(QStringLiteral("127.0.0.1"), unit.port(), QStringLiteral("tavrik"),
                              QStringLiteral("user"));
    const bool ready = QTest::qWaitFor(
        [&] {
            return std::all_of(consoles.begin(), consoles.end(),
                               [](InfoConsole* c) { return c->session.getState() == IPCObject::IPC_READY; })
                && unit.receivedMessages(QStringLiteral("ancillary_data")).size() >= 12 * consoles.size();
        },
        5000);
    return ready && std::all_of(consoles.begin(), consoles.end(), [&](InfoConsole* c) {
               return testsupport::roundTrip(c->session, unit);
           });
}

// The editor's state as "name|name cursor|notes|gender entry|mood entry|emoticon".
QString editorState(InfoEdit& e)
{
    const QString name = e.nameEditor().text(), notes = e.notesEditor().toPlainText();
    return QStringLiteral("%1|%2|%3|%4|%5|%6")
        .arg(name)
        .arg(e.nameEditor().cursorPosition())
        .arg(notes)
        .arg(e.genderChooser().currentIndex())
        .arg(e.moodChooser().currentIndex())
        .arg(e.panel().emoticonIndex());
}

// The editor's sends once everything the console sent before has reached the unit.
int settledSends(UnitSimulator& unit, InfoConsole& c)
{
    return testsupport::roundTrip(c.session, unit) ? editorSends(unit).size() : -1;
}

} // namespace

class TestInfoEdit : public QObject
{
    Q_OBJECT

private slots:
    void incomingUpdate_data()
    {
        // The editor held "Bob" on line 1 with the cursor after the "B".
        QTest::addColumn<QString>("update");
        QTest::addColumn<QString>("state");
        const auto row
            = [](const char* name, const char* update, const char* state) { QTest::newRow(name) << update << state; };
        row("same name", "line_id=1 name=Bob", "Bob|1||0|0|0");
        row("new name", "line_id=1 name=Alice", "Alice|1||0|0|0");
        row("notes", "line_id=1 name=Bob notes=VIP", "Bob|1|VIP|0|0|0");
        row("gender, mood", "line_id=1 name=Bob gender=female mood=angry moodidx=4", "Bob|1||2|4|4");
        row("off the tables", "line_id=1 name=Bob gender=Female mood=grumpy moodidx=23", "Bob|1||0|0|3");
        row("other line", "line_id=2 name=Eve notes=x", "Bob|1||0|0|0");
        row("local", "line_id=1 name=Eve notes=x local=true", "Bob|1||0|0|0");
    }

    void incomingUpdate()
    {
        QFETCH(QString, update);
        QFETCH(QString, state);
        UnitSimulator unit;
        InfoConsole c;
        QVERIFY(unit.start(0) && connectAll(unit, {&c}));
        c.lines->panelSelected(1);
        QTest::keyClicks(&c.edit->nameEditor(), QStringLiteral("Bob"));
        c.edit->nameEditor().setCursorPosition(1);

        Message msg;
        msg.set_name("ancillary_data");
        msg.params() = Params(update.toStdString());
        emit c.session.recvAncillaryData(msg);
        QCOMPARE(editorState(*c.edit), state);
        // Nothing was sent back.
        QCOMPARE(settledSends(unit, c), 3);
    }

    void chooseCrazy()
    {
        UnitSimulator unit;
        InfoConsole c;
        QVERIFY(unit.start(0) && connectAll(unit, {&c}));
        c.lines->panelSelected(0);
        // Keyboard steps through the closed list are choices of the user.
        QTest::keyClick(&c.edit->moodChooser(), Qt::Key_End);

        // The emoticon beside the chooser changes at once, before any answer.
        QCOMPARE(c.edit->panel().emoticonIndex(), 9u);
        QImage drawn(325, 360, QImage::Format_ARGB32_Premultiplied);
        drawn.fill(Qt::transparent);
        QPainter painter(&drawn);
        const_cast<InfoPanel&>(c.edit->panel()).paint(&painter, nullptr, nullptr);
        painter.end();
        QImage expected(26, 26, QImage::Format_ARGB32_Premultiplied);
        expected.fill(QColor(204, 204, 238));
        QPainter(&expected).drawPixmap(0, 0, c.edit->panel().emoticonSmall(9));
        QCOMPARE(drawn.copy(272, 190, 26, 26), expected);

        QTRY_COMPARE_WITH_TIMEOUT(editorSends(unit).size(), 1, 5000);
        const QList<Message> sent = editorSends(unit);
        const Params& p = sent.last().params();
        QCOMPARE(p.get_qstring("mood", QString()), QStringLiteral("crazy"));
        QCOMPARE(p.get_uint("moodidx", 99), 9u);
    }

    // Every keystroke on one console sends the whole record; the other console
    // shows it, and the first one is left as its user has it.
    void twoConsoles()
    {
        UnitSimulator unit;
        InfoConsole a, b;
        QVERIFY(unit.start(0) && connectAll(unit, {&a, &b}));
        QCOMPARE(a.edit->panel().title(), QStringLiteral("Select a Line"));
        QVERIFY(!a.edit->nameEditor().isEnabled());
        // The third line is line 2 on the wire.
        a.lines->panelSelected(2);
        b.lines->panelSelected(2);
        QCOMPARE(a.edit->panel().title(), QStringLiteral("Line 3 Information"));
        QTest::keyClicks(&a.edit->nameEditor(), QStringLiteral("Ann"));
        QTest::keyClicks(&a.edit->notesEditor(), QStringLiteral("VIP"));
        QTRY_COMPARE_WITH_TIMEOUT(b.edit->notesEditor().toPlainText(), QStringLiteral("VIP"), 5000);
        QCOMPARE(b.edit->nameEditor().text(), QStringLiteral("Ann"));

        // The second console sent nothing back; the first keeps its text and cursor.
        QCOMPARE(settledSends(unit, b), 6);
        QCOMPARE(editorState(*a.edit), QStringLiteral("Ann|3|VIP|0|0|0"));
        QCOMPARE(a.edit->notesEditor().textCursor().position(), 3);
        const char* typed[][2] = {{"A", ""}, {"An", ""}, {"Ann", ""}, {"Ann", "V"}, {"Ann", "VI"}, {"Ann", "VIP"}};
        const QList<Message> sent = editorSends(unit);
        for (int i = 0; i < 6; ++i) // in the record's text form (name order)
            QCOMPARE(QString::fromStdString(sent[i].params().build_string()),
                     QStringLiteral("gender=unknown genderidx=0 line_id=2 location= mood=neutral moodidx=0 name=%1 "
                                    "notes=%2 topic= ")
                         .arg(QLatin1String(typed[i][0]), QLatin1String(typed[i][1])));
    }

    // Notes longer than the editor shows go back whole unless the user edits
    // them; a keystroke elsewhere must not cut the unit's record for every
    // console. The same holds for text the editor shows differently.
    // What the editors show may differ from what the unit holds: notes are
    // cut for display at 8,192 characters, a line editor cuts at 32,767, and
    // the notes editor turns a no-break space into a space. A field the user
    // leaves alone goes back exactly as it came.
    void textsKeptWhole_data()
    {
        QTest::addColumn<QString>("field"); // as the unit holds it
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("typeInto"); // "!" typed in "notes", "x" in "name", a backspace in "topic"
        QTest::addColumn<QString>("sent");
        const auto row = [](const char* name, const char* field, const QString& text, const char* typeInto,
                            const QString& sent) { QTest::newRow(name) << field << text << typeInto << sent; };
        const QString longNotes = QStringLiteral("note ").repeated(2000) + QStringLiteral("end");
        row("long notes, name typed", "notes", longNotes, "name", longNotes);
        row("long notes, notes typed", "notes", longNotes, "notes", longNotes.left(8192) + QLatin1Char('!'));
        const QString nbsp = QStringLiteral("a") + QChar(0xA0) + QStringLiteral("b");
        row("no-break space, name typed", "notes", nbsp, "name", nbsp);
        const QString longTopic = QStringLiteral("topic ").repeated(6000);
        row("long topic, name typed", "topic", longTopic, "name", longTopic);
        // A full line editor takes no more characters; the user shortens it.
        row("long topic, topic shortened", "topic", longTopic, "topic", longTopic.left(32766));
    }

    void textsKeptWhole()
    {
        QFETCH(QString, field);
        QFETCH(QString, text);
        QFETCH(QString, typeInto);
        UnitSimulator unit;
        InfoConsole c;
        QVERIFY(unit.start(0) && connectAll(unit, {&c}));
        c.lines->panelSelected(1);
        Message msg;
        msg.set_name("ancillary_data");
        msg.params().set_uint("line_id", 1);
        msg.params().set_qstring(qPrintable(field), text);
        unit.sendMessage(msg);
        QTRY_VERIFY_WITH_TIMEOUT(
            !c.edit->notesEditor().toPlainText().isEmpty() || !c.edit->topicEditor().text().isEmpty(), 5000);
        QVERIFY(testsupport::roundTrip(c.session, unit));
        const int before = editorSends(unit).size();

        if (typeInto == QLatin1String("notes")) {
            c.edit->notesEditor().moveCursor(QTextCursor::End);
            QTest::keyClicks(&c.edit->notesEditor(), QStringLiteral("!"));
        } else if (typeInto == QLatin1String("topic")) {
            c.edit->topicEditor().end(false);
            QTest::keyClick(&c.edit->topicEditor(), Qt::Key_Backspace);
        } else {
            QTest::keyClicks(&c.edit->nameEditor(), QStringLiteral("x"));
        }
        QVERIFY(testsupport::roundTrip(c.session, unit));
        QCOMPARE(editorSends(unit).size(), before + 1);
        QFETCH(QString, sent);
        QCOMPARE(editorSends(unit).last().params().get_qstring(qPrintable(field), QString()), sent);
    }

    // Pasted text may hold characters that XML cannot carry; a NUL among
    // them would end the frame early at the unit. They are left out, and the
    // unit gets exactly one whole record per paste.
    void pastedControlCharacters_data()
    {
        QTest::addColumn<QString>("pasted");
        QTest::addColumn<bool>("intoNotes");
        // Which characters: tst_message, xmlForbiddenCharacters. The chat's
        // frames go through the same encoder.
        QTest::newRow("U+0000 in the name") << QStringLiteral("Bo%1b%1").arg(QChar(0)) << false;
        QTest::newRow("U+FFFF in the notes") << QStringLiteral("Bo%1b%1").arg(QChar(0xFFFF)) << true;
    }

    void pastedControlCharacters()
    {
        QFETCH(QString, pasted);
        QFETCH(bool, intoNotes);
        UnitSimulator unit;
        InfoConsole c;
        QVERIFY(unit.start(0) && connectAll(unit, {&c}));
        c.lines->panelSelected(1);
        QVERIFY(testsupport::roundTrip(c.session, unit));
        unit.clearReceived();

        QGuiApplication::clipboard()->setText(pasted);
        if (intoNotes)
            c.edit->notesEditor().paste();
        else
            c.edit->nameEditor().paste();
        // The editor holds the characters; only the frame leaves them out.
        QCOMPARE(intoNotes ? c.edit->notesEditor().toPlainText() : c.edit->nameEditor().text(), pasted);

        QVERIFY(testsupport::roundTrip(c.session, unit));
        const QList<Message> frames = testsupport::receivedFrames(unit);
        QCOMPARE(frames.size(), 1);
        const QString xml = testsupport::xmlOf(frames[0]);
        const QString expected = QStringLiteral("<ancillary_data gender=\"unknown\" genderidx=\"0\" line_id=\"1\" "
                                                "location=\"\" mood=\"neutral\" moodidx=\"0\" name=\"%1\" "
                                                "notes=\"%2\" topic=\"\"/>");
        QCOMPARE(xml, expected.arg(intoNotes ? "" : "Bob", intoNotes ? "Bob" : ""));
    }
};

QTEST_MAIN(TestInfoEdit)
#include "tst_infoedit.moc"
