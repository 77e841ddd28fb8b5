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

Message ancillary(uint line, const QString& name, const QString& notes, const QString& gender,
                  const QString& mood, uint moodidx, bool local)
{
    Message msg;
    msg.set_name("ancillary_data");
    Params& p = msg.params();
    p.set_uint("line_id", line);
    p.set_qstring("name", name);
    p.set_qstring("notes", notes);
    p.set_qstring("gender", gender);
    p.set_qstring("mood", mood);
    p.set_uint("moodidx", moodidx);
    p.set_bool("local", local);
    return msg;
}

} // namespace

class TestInfoEdit : public QObject
{
    Q_OBJECT

private slots:
    void selection_data();
    void selection();
    void typingSendsWholeRecord();
    void incomingUpdate_data();
    void incomingUpdate();
    void chooseMood_data();
    void chooseMood();
    void twoConsoles();
};

void TestInfoEdit::selection_data()
{
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("title");
    QTest::newRow("none") << -1 << "Select a Line";
    QTest::newRow("first") << 0 << "Line 1 Information";
    QTest::newRow("third") << 2 << "Line 3 Information";
    QTest::newRow("last") << 11 << "Line 12 Information";
}

void TestInfoEdit::selection()
{
    QFETCH(int, line);
    QFETCH(QString, title);
    InfoConsole c;
    if (line >= 0)
        c.lines->panelSelected(uint(line));
    QCOMPARE(c.edit->panel().title(), title);
    QCOMPARE(c.edit->currentLine(), line);
    QCOMPARE(c.edit->nameEditor().isEnabled(), line >= 0);
    QCOMPARE(c.edit->moodChooser().isEnabled(), line >= 0);
}

void TestInfoEdit::typingSendsWholeRecord()
{
    UnitSimulator unit;
    QVERIFY(unit.start(0));
    InfoConsole c;
    QVERIFY(connectAll(unit, {&c}));
    c.lines->panelSelected(1);
    QTest::keyClicks(&c.edit->nameEditor(), QStringLiteral("Bob"));

    QTRY_COMPARE_WITH_TIMEOUT(editorSends(unit).size(), 3, 5000);
    const QStringList names{QStringLiteral("B"), QStringLiteral("Bo"), QStringLiteral("Bob")};
    for (int i = 0; i < 3; ++i) {
        const Params& p = editorSends(unit)[i].params();
        QCOMPARE(p.num_params(), 9u);
        QCOMPARE(p.get_qstring("name", QString()), names[i]);
        QCOMPARE(p.get_qstring("location", QStringLiteral("?")), QString());
        QCOMPARE(p.get_qstring("topic", QStringLiteral("?")), QString());
        QCOMPARE(p.get_qstring("notes", QStringLiteral("?")), QString());
        QCOMPARE(p.get_qstring("gender", QString()), QStringLiteral("unknown"));
        QCOMPARE(p.get_uint("genderidx", 9), 0u);
        QCOMPARE(p.get_qstring("mood", QString()), QStringLiteral("neutral"));
        QCOMPARE(p.get_uint("moodidx", 9), 0u);
        QCOMPARE(p.get_uint("line_id", 9), 1u);
    }
}

void TestInfoEdit::incomingUpdate_data()
{
    QTest::addColumn<Message>("update");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("cursor");
    QTest::addColumn<QString>("notes");
    QTest::addColumn<int>("gender");
    QTest::addColumn<int>("mood");
    QTest::addColumn<unsigned>("emoticon");

    // The editor holds "Bob" on line 1 with the cursor after the "B".
    const QString u = QStringLiteral("unknown"), n = QStringLiteral("neutral");
    QTest::newRow("same name") << ancillary(1, "Bob", "", u, n, 0, false) << "Bob" << 1 << "" << 0 << 0 << 0u;
    QTest::newRow("new name") << ancillary(1, "Alice", "", u, n, 0, false) << "Alice" << 1 << "" << 0 << 0 << 0u;
    QTest::newRow("notes") << ancillary(1, "Bob", "VIP\nsecond", u, n, 0, false) << "Bob" << 1 << "VIP\nsecond"
                           << 0 << 0 << 0u;
    QTest::newRow("gender and mood") << ancillary(1, "Bob", "", "female", "angry", 4, false) << "Bob" << 1 << ""
                                     << 2 << 4 << 4u;
    QTest::newRow("texts outside the tables") << ancillary(1, "Bob", "", "Female", "grumpy", 23, false) << "Bob"
                                              << 1 << "" << 0 << 0 << 3u;
    QTest::newRow("other line") << ancillary(2, "Eve", "x", "male", "sad", 2, false) << "Bob" << 1 << "" << 0
                                << 0 << 0u;
    QTest::newRow("out of range line") << ancillary(4000000000u, "Eve", "x", "male", "sad", 2, false) << "Bob"
                                       << 1 << "" << 0 << 0 << 0u;
    QTest::newRow("local") << ancillary(1, "Eve", "x", "male", "sad", 2, true) << "Bob" << 1 << "" << 0 << 0
                           << 0u;
}

void TestInfoEdit::incomingUpdate()
{
    QFETCH(Message, update);
    QFETCH(QString, name);
    QFETCH(int, cursor);
    QFETCH(QString, notes);
    QFETCH(int, gender);
    QFETCH(int, mood);
    QFETCH(unsigned, emoticon);

    UnitSimulator unit;
    QVERIFY(unit.start(0));
    InfoConsole c;
    QVERIFY(connectAll(unit, {&c}));
    c.lines->panelSelected(1);
    QTest::keyClicks(&c.edit->nameEditor(), QStringLiteral("Bob"));
    c.edit->nameEditor().setCursorPosition(1);

    emit c.session.recvAncillaryData(update);
    QCOMPARE(c.edit->nameEditor().text(), name);
    QCOMPARE(c.edit->nameEditor().cursorPosition(), cursor);
    QCOMPARE(c.edit->notesEditor().toPlainText(), notes);
    QCOMPARE(c.edit->genderChooser().currentIndex(), gender);
    QCOMPARE(c.edit->moodChooser().currentIndex(), mood);
    QCOMPARE(c.edit->panel().emoticonIndex(), emoticon);

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
    const char* moods[] = {"neutral", "happy", "sad", "crying", "angry",
                           "rude", "shocked", "embarassed", "eyeroll", "crazy"};
    for (int i = 0; i < 10; ++i)
        QTest::newRow(moods[i]) << i << moods[i];
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
    const Params& p = editorSends(unit).last().params();
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
    QCOMPARE(a.edit->nameEditor().text(), QStringLiteral("Ann"));
    QCOMPARE(a.edit->nameEditor().cursorPosition(), 3);
    QCOMPARE(a.edit->notesEditor().toPlainText(), QStringLiteral("VIP"));
    QCOMPARE(a.edit->notesEditor().textCursor().position(), 3);
    QCOMPARE(editorSends(unit).size(), 6);
}

QTEST_MAIN(TestInfoEdit)
#include "tst_infoedit.moc"
