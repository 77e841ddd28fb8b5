#pragma once

#include "unit/chatline.h"
#include "unit/linestatus.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>

#include <array>

class IPCObject;
class Message;

// What one line's report means for the user's attention: where the line is
// now, and whether it just started ringing or was just put on priority by
// another position.
struct LineNews
{
    unsigned line = 0;
    bool ringing = false;
    bool priority = false;
    bool startsRinging = false;
    bool putOnPriority = false;
};

// Decides what on one session is news to the user of its console: a line that
// starts ringing, a line put on priority, a chat line from another position.
// It follows the session's picture of the unit and the commands its console
// sent, so that the console's own priority press and own chat lines, which
// the unit reports back, are no news. Owned by the console window; the
// attention code and the console's accessibility follow it.
class AttentionEvents : public QObject
{
    Q_OBJECT

public:
    // How long a request of this console (priority, chat) waits to be
    // recognised in the unit's answer; a request the unit ignored is
    // forgotten after that, so it cannot hide a later event.
    static constexpr int OWN_ACTION_MS = 10000;
    static constexpr int MAX_OWN_CHATS = 32;

    explicit AttentionEvents(IPCObject& session, QObject* parent = nullptr);

signals:
    // Every report of a line.
    void lineReported(const LineNews& news);
    void chatFromOthers(const ChatLine& line);

private:
    void lineStatus(unsigned line, const LineStatus& now);
    void chat(const ChatLine& line);
    void messageSent(const Message& msg);

    // What the unit last said about each line, to see a change.
    struct LineSeen
    {
        bool ringing = false;
        bool priority = false;
    };
    std::array<LineSeen, LineStatus::MaxLines> m_lines;

    // This console's own requests, to be told apart from other positions'.
    struct OwnChat
    {
        QString from;
        QString text;
        QElapsedTimer age;
    };
    QList<OwnChat> m_ownChats;
    std::array<QElapsedTimer, LineStatus::MaxLines> m_ownPriority;
};
