// The caller information editor against the simulated unit: every edit sends
// the whole record, updates from the unit refresh it without sending and
// without disturbing the user, and a second console sees the first one's edits.

#include "console/infoedit.h"
#include "console/lines.h"
#include "ipc/ipcobject.h"
#include "sim/unitsimulator.h"

#include <QGraphicsScene>
#include <QPainter>
#include <QtTest>

#include <memory>

namespace {

// One console with just the controllers the editor needs, deleted in the
// console window's order, before the scene.
struct InfoConsole
{
    QGraphicsScene scene;
    IPCObject session;
    std::unique_ptr<Lines> lines{new Lines(scene, session)};
    std::unique_ptr<InfoEdit> edit{new InfoEdit(scene, session, *lines)};
    QSignalSpy pings{&session, &IPCObject::recvNetworkInfo};
    ~InfoConsole()
    {
        lines.reset();
        edit.reset();
    }
};

// What the editor sent: the line model's cleared records carry no "moodidx".
QList<Message> editorSends(const UnitSimulator& unit)
{
    QList<Message> out;
    for (const Message& m : unit.receivedMessages(QStringLiteral("ancillary_data")))
        if (m.params().has_param("moodidx"))
            out.append(m);
    return out;
}

// Logs the consoles in and waits until the status that follows the login,
// and the relays of the cleared records it causes, have all arrived: a later
// frame from the unit reaches each console after them.
bool connectAll(UnitSimulator& unit, const QList<InfoConsole*>& consoles)
{
    for (InfoConsole* c : consoles)
        c->session.connectIPC(QStringLiteral("127.0.0.1"), unit.port(), QStringLiteral("tavrik"),
                              QStringLiteral("user"));
    auto settled = [&] {
        for (InfoConsole* c : consoles)
            if (c->session.getState() != IPCObject::IPC_READY)
                return false;
        return unit.receivedMessages(QStringLiteral("ancillary_data")).size() >= 12 * consoles.size();
    };
    if (!QTest::qWaitFor(settled, 5000))
        return false;
    Message ping;
    ping.set_name("network_info");
    unit.sendMessage(ping);
    return QTest::qWaitFor([&] {
        for (InfoConsole* c : consoles)
            if (c->pings.isEmpty())
                return false;
        return true;
    }, 5000);
}

} // namespace

class TestInfoEdit : public QObject
{
    Q_OBJECT

private slots:
    void typingSendsWholeRecord();
    void incomingUpdate_data();
    void incomingUpdate();
    void chooseMood_data();
    void chooseMood();
    void twoConsoles();
};

void TestInfoEdit::typingSendsWholeRecord()
{
    UnitSimulator unit;
    QVERIFY(unit.start(0));
    InfoConsole c;
    QVERIFY(connectAll(unit, {&c}));
    QCOMPARE(c.edit->panel().title(), QStringLiteral("Select a Line"));
    QVERIFY(!c.edit->nameEditor().isEnabled());
    // The third line is line 2 on the wire.
    c.lines->panelSelected(2);
    QCOMPARE(c.edit->panel().title(), QStringLiteral("Line 3 Information"));
    QVERIFY(c.edit->nameEditor().isEnabled());
    QTest::keyClicks(&c.edit->nameEditor(), QStringLiteral("Bob"));

    QTRY_COMPARE_WITH_TIMEOUT(editorSends(unit).size(), 3, 5000);
    const char* names[] = {"B", "Bo", "Bob"};
    const QList<Message> sent = editorSends(unit);
    for (int i = 0; i < 3; ++i) {
        // The whole record each time, in its text form (name order).
        QCOMPARE(QString::fromStdString(sent[i].params().build_string()),
                 QStringLiteral("gender=unknown genderidx=0 line_id=2 location= mood=neutral moodidx=0 "
                                "name=%1 notes= topic= ").arg(QLatin1String(names[i])));
    }
}

// The editor's state as "name|name cursor|notes|gender entry|mood entry|emoticon".
static QString editorState(InfoEdit& e)
{
    return QStringLiteral("%1|%2|%3|%4|%5|%6")
        .arg(e.nameEditor().text())
        .arg(e.nameEditor().cursorPosition())
        .arg(e.notesEditor().toPlainText())
        .arg(e.genderChooser().currentIndex())
        .arg(e.moodChooser().currentIndex())
        .arg(e.panel().emoticonIndex());
}

void TestInfoEdit::incomingUpdate_data()
{
    // The editor held "Bob" on line 1 with the cursor after the "B".
    QTest::addColumn<QString>("update");
    QTest::addColumn<QString>("state");
    QTest::newRow("same name") << "line_id=1 name=Bob" << "Bob|1||0|0|0";
    QTest::newRow("new name") << "line_id=1 name=Alice" << "Alice|1||0|0|0";
    QTest::newRow("notes") << "line_id=1 name=Bob notes=VIP" << "Bob|1|VIP|0|0|0";
    QTest::newRow("gender, mood") << "line_id=1 name=Bob gender=female mood=angry moodidx=4" << "Bob|1||2|4|4";
    QTest::newRow("off the tables") << "line_id=1 name=Bob gender=Female mood=grumpy moodidx=23" << "Bob|1||0|0|3";
    QTest::newRow("other line") << "line_id=2 name=Eve notes=x" << "Bob|1||0|0|0";
    QTest::newRow("line out of range") << "line_id=4000000000 name=Eve" << "Bob|1||0|0|0";
    QTest::newRow("local") << "line_id=1 name=Eve notes=x local=true" << "Bob|1||0|0|0";
}

void TestInfoEdit::incomingUpdate()
{
    QFETCH(QString, update);
    QFETCH(QString, state);

    UnitSimulator unit;
    QVERIFY(unit.start(0));
    InfoConsole c;
    QVERIFY(connectAll(unit, {&c}));
    c.lines->panelSelected(1);
    QTest::keyClicks(&c.edit->nameEditor(), QStringLiteral("Bob"));
    c.edit->nameEditor().setCursorPosition(1);

    Message msg;
    msg.set_name("ancillary_data");
    msg.params() = Params(update.toStdString());
    emit c.session.recvAncillaryData(msg);
    QCOMPARE(editorState(*c.edit), state);

    // Nothing was sent back: a marker sent now is the next thing the unit gets.
    Message marker;
    marker.set_name("marker");
    QVERIFY(c.session.send_message(marker));
    QTRY_COMPARE_WITH_TIMEOUT(unit.receivedMessages(QStringLiteral("marker")).size(), 1, 5000);
    QCOMPARE(editorSends(unit).size(), 3);
}

void TestInfoEdit::chooseMood_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("mood");
    QTest::newRow("neutral") << 0 << "neutral";
    QTest::newRow("embarassed") << 7 << "embarassed";
    QTest::newRow("crazy") << 9 << "crazy";
}

void TestInfoEdit::chooseMood()
{
    QFETCH(int, index);
    QFETCH(QString, mood);

    UnitSimulator unit;
    QVERIFY(unit.start(0));
    InfoConsole c;
    QVERIFY(connectAll(unit, {&c}));
    c.lines->panelSelected(0);
    QComboBox& chooser = c.edit->moodChooser();
    // Keyboard steps through the closed list are choices of the user.
    QTest::keyClick(&chooser, Qt::Key_End);
    QTest::keyClick(&chooser, Qt::Key_Home);
    for (int i = 0; i < index; ++i)
        QTest::keyClick(&chooser, Qt::Key_Down);

    // The emoticon beside the chooser changes at once, before any answer.
    QCOMPARE(c.edit->panel().emoticonIndex(), unsigned(index));
    QImage drawn(325, 360, QImage::Format_ARGB32_Premultiplied);
    drawn.fill(Qt::transparent);
    QPainter painter(&drawn);
    const_cast<InfoPanel&>(c.edit->panel()).paint(&painter, nullptr, nullptr);
    painter.end();
    QImage expected(26, 26, QImage::Format_ARGB32_Premultiplied);
    expected.fill(QColor(204, 204, 238));
    QPainter(&expected).drawPixmap(0, 0, c.edit->panel().emoticonSmall(unsigned(index)));
    QCOMPARE(drawn.copy(272, 190, 26, 26), expected);

    // Every step sends the whole record: End, Home, then one per Down.
    QTRY_COMPARE_WITH_TIMEOUT(editorSends(unit).size(), 2 + index, 5000);
    const QList<Message> sent = editorSends(unit);
    const Params& p = sent.last().params();
    QCOMPARE(p.get_qstring("mood", QString()), mood);
    QCOMPARE(p.get_uint("moodidx", 99), unsigned(index));
}

void TestInfoEdit::twoConsoles()
{
    UnitSimulator unit;
    QVERIFY(unit.start(0));
    InfoConsole a, b;
    QVERIFY(connectAll(unit, {&a, &b}));
    a.lines->panelSelected(4);
    b.lines->panelSelected(4);

    QTest::keyClicks(&a.edit->nameEditor(), QStringLiteral("Ann"));
    QTest::keyClicks(&a.edit->notesEditor(), QStringLiteral("VIP"));
    QTRY_COMPARE_WITH_TIMEOUT(b.edit->notesEditor().toPlainText(), QStringLiteral("VIP"), 5000);
    QCOMPARE(b.edit->nameEditor().text(), QStringLiteral("Ann"));

    // The first console keeps its text and cursor; the second sent nothing back.
    Message marker;
    marker.set_name("marker");
    QVERIFY(b.session.send_message(marker));
    QTRY_COMPARE_WITH_TIMEOUT(unit.receivedMessages(QStringLiteral("marker")).size(), 1, 5000);
    QCOMPARE(editorState(*a.edit), QStringLiteral("Ann|3|VIP|0|0|0"));
    QCOMPARE(a.edit->notesEditor().textCursor().position(), 3);
    QCOMPARE(editorSends(unit).size(), 6);
}

QTEST_MAIN(TestInfoEdit)
#include "tst_infoedit.moc"
