// The studio chat: the Send button follows the input, nothing is echoed
// locally, relayed lines are shown as text whatever they hold, and two
// consoles on the simulated unit see each other's lines.

#include "console/chat.h"
#include "ipc/ipcobject.h"
#include "sim/unitsimulator.h"
#include "tests/support/wait.h"

#include <QGraphicsScene>
#include <QTextBlock>
#include <QTextDocument>
#include <QtTest>

#include <memory>

namespace {

// One console's chat: scene, session and controller, the controller going
// first as the console window does it.
struct ChatConsole
{
    QGraphicsScene scene;
    IPCObject session;
    std::unique_ptr<Chat> chat{new Chat(scene, session)};
    ~ChatConsole() { chat.reset(); }
};

Message chatData(const QString& from, const QString& text, bool withFrom = true)
{
    Message msg;
    msg.set_name("chat_data");
    if (withFrom)
        msg.params().set_qstring("from", from);
    msg.params().set_qstring("text", text);
    return msg;
}

} // namespace

class TestChat : public QObject
{
    Q_OBJECT

private slots:
    void sendFollowsInput()
    {
        // Never connected: the session cannot send, and the line must survive.
        ChatConsole c;
        QLineEdit& input = c.chat->input();
        QVERIFY(!c.chat->sendButton().isEnabled());
        QTest::keyClicks(&input, QStringLiteral("later"));
        QVERIFY(c.chat->sendButton().isEnabled());
        QTest::keyClick(&input, Qt::Key_Return);
        QCOMPARE(input.text(), QStringLiteral("later"));
        QVERIFY(c.chat->sendButton().isEnabled());
        QTest::keyClick(&input, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(&input, Qt::Key_Backspace);
        QVERIFY(!c.chat->sendButton().isEnabled());
    }

    void incomingLine_data()
    {
        QTest::addColumn<bool>("withFrom");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        const auto row = [](const char* name, bool withFrom, const char* from, const char* text, const char* shown) {
            QTest::newRow(name) << withFrom << from << text << shown;
        };
        row("screener", true, "Screener 2", "caller on 3", "[Screener 2] caller on 3");
        row("no sender", false, "", "hello", "[] hello");
        row("fake second line", true, "a", "x</FONT><br><FONT COLOR=#0000FF><STRONG>[studio]</STRONG> go",
            "[a] x</FONT><br><FONT COLOR=#0000FF><STRONG>[studio]</STRONG> go");
        row("markup in sender", true, "</STRONG></FONT><FONT SIZE=7>big", "t", "[</STRONG></FONT><FONT SIZE=7>big] t");
        row("table", true, "a", "<table><tr><td>x</td></tr></table>", "[a] <table><tr><td>x</td></tr></table>");
        row("placeholders in both", true, "%2%3", "%1", "[%2%3] %1");
    }

    void incomingLine()
    {
        QFETCH(bool, withFrom);
        QFETCH(QString, from);
        QFETCH(QString, text);
        QFETCH(QString, shown);
        ChatConsole c;
        emit c.session.recvChatData(chatData(QStringLiteral("first"), QStringLiteral("line")));
        QCoreApplication::processEvents(); // a line after a quiet turn shows at once
        const QTextDocument* doc = c.chat->history().document();
        const int blocks = doc->blockCount();

        emit c.session.recvChatData(chatData(from, text, withFrom));
        QCOMPARE(doc->blockCount(), blocks + 1);
        QCOMPARE(doc->lastBlock().text().trimmed(), shown);
        QVERIFY(!doc->toHtml().contains(QLatin1String("<table"), Qt::CaseInsensitive));
    }

    void historyIsBounded()
    {
        ChatConsole c;
        // A flood shows its last lines, in order, within the limit and slack.
        const int lines = Chat::MAX_HISTORY_LINES + Chat::HISTORY_TRIM_SLACK + 25;
        for (int i = 0; i < lines; ++i)
            emit c.session.recvChatData(chatData(QStringLiteral("flood"), QString::number(i)));
        const QTextDocument* doc = c.chat->history().document();
        QTRY_COMPARE_WITH_TIMEOUT(doc->lastBlock().text().trimmed(), QStringLiteral("[flood] %1").arg(lines - 1),
                                  testsupport::scaled(5000));
        QVERIFY(doc->blockCount() >= Chat::MAX_HISTORY_LINES);
        QVERIFY(doc->blockCount() <= Chat::MAX_HISTORY_LINES + Chat::HISTORY_TRIM_SLACK);
        QCOMPARE(doc->firstBlock().text().trimmed(), QStringLiteral("[flood] %1").arg(lines - doc->blockCount()));
        // Cut lines are gone, not kept for an undo nobody makes.
        QVERIFY(!doc->isUndoAvailable());
    }

    void twoConsolesOnUnit()
    {
        UnitSimulator unit;
        QVERIFY(unit.start(0));
        ChatConsole a, b;
        for (ChatConsole* c : {&a, &b})
            c->session.connectIPC(QStringLiteral("127.0.0.1"), unit.port(), QStringLiteral("tavrik"),
                                  QStringLiteral("user"));
        QTRY_COMPARE_WITH_TIMEOUT(a.session.getState(), IPCObject::IPC_READY, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(b.session.getState(), IPCObject::IPC_READY, 5000);

        // Return on an empty input sends nothing; only the word below arrives.
        QTest::keyClick(&a.chat->input(), Qt::Key_Return);
        QTest::keyClicks(&a.chat->input(), QStringLiteral("standby"));
        QTest::keyClick(&a.chat->input(), Qt::Key_Return);
        QVERIFY(a.chat->input().text().isEmpty());
        QVERIFY(!a.chat->sendButton().isEnabled());
        // Not echoed locally: the line shows when the unit relays it.
        QVERIFY(a.chat->history().toPlainText().isEmpty());

        const QString shown = QStringLiteral("[console] standby");
        QTRY_COMPARE_WITH_TIMEOUT(a.chat->history().toPlainText().trimmed(), shown, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(b.chat->history().toPlainText().trimmed(), shown, 5000);
        const QList<Message> sent = unit.receivedMessages(QStringLiteral("chat_data"));
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent[0].params().get_qstring("from", QString()), QStringLiteral("console"));
        QCOMPARE(sent[0].params().get_qstring("text", QString()), QStringLiteral("standby"));
    }
};

QTEST_MAIN(TestChat)
#include "tst_chat.moc"
