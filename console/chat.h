#pragma once

#include "console/chatpanel.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QObject>
#include <QPushButton>
#include <QTextEdit>

#include <deque>
#include <memory>

class IPCObject;
class Message;
class QGraphicsScene;
class QStyle;

// The studio chat of one console: a history of the lines the unit relays, an
// input and a Send button, embedded in the console scene above their drawn
// frame. Created and deleted by the console window, before its scene goes.
//
// What the user sends is not echoed locally: a line shows up in the history
// only when the unit relays it, so every position sees the same order.
class Chat : public QObject
{
    Q_OBJECT

public:
    // Paragraphs kept in the history. A chatty or hostile peer must not make
    // a console that stays open for days grow its document without end; the
    // oldest lines go first.
    static constexpr int MAX_HISTORY_LINES = 2000;
    // The history may run this far over before the oldest lines are cut in
    // one go: cutting a single line per append re-lays the whole document
    // each time, and a burst of chat then froze the window for seconds.
    static constexpr int HISTORY_TRIM_SLACK = 200;
    // Time the history may spend laying out received lines in one turn of
    // the event loop. A line takes 0.2 ms or more to lay out, so a flood of
    // chat appended as it came held the window for tens of milliseconds; the
    // rest waits in a queue and follows from the event loop. Small, as the
    // receive loop's own pass, the scene's update and the paint share the
    // same 60 Hz frame.
    static constexpr qint64 APPEND_BUDGET_MS = 2;

    Chat(QGraphicsScene& scene, IPCObject& session);
    ~Chat() override;

    const QTextEdit& history() const { return m_history; }
    QTextEdit& history() { return m_history; }
    QLineEdit& input() { return m_input; }
    const QPushButton& sendButton() const { return m_send; }
    QPushButton& sendButton() { return m_send; }
    const ChatPanel& panel() const { return m_panel; }

    // One history line in rich text, with both values escaped.
    static QString formatLine(const QString& from, const QString& text);

public slots:
    void textChanged();
    void send();
    void ipcRecvChatData(const Message& msg);

private:
    void appendLine(const QString& html);
    void flushPending();

    QGraphicsScene& m_scene;
    IPCObject& m_session;
    // The widgets' "Fusion" style. A widget does not own the style it is
    // given, and must not outlive it, so it is declared before them.
    std::unique_ptr<QStyle> m_style;
    QTextEdit m_history;
    QLineEdit m_input;
    QPushButton m_send;
    ChatPanel m_panel;
    // Received lines not yet in the history, oldest first; never more than
    // the history keeps, as older ones would be cut the moment they showed.
    std::deque<QString> m_pending;
    // The history's lines all predate what waits and are to go with it.
    bool m_clearFirst = false;
    // A flush is posted: the event loop has not turned since the last one.
    bool m_flushQueued = false;
    // Running since the first line appended in this turn of the event loop.
    QElapsedTimer m_slice;
};
