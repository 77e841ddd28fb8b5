#include "console/attentionevents.h"

#include "ipc/ipcobject.h"
#include "unit/unitcommands.h"

AttentionEvents::AttentionEvents(IPCObject& session, QObject* parent)
    : QObject(parent)
{
    const UnitState& unit = session.unitState();
    connect(&unit, &UnitState::lineStatusChanged, this,
            [this](unsigned line, const LineStatus&, const LineStatus& now) { lineStatus(line, now); });
    connect(&unit, &UnitState::chatReceived, this, &AttentionEvents::chat);
    connect(&session, &IPCObject::sentMessage, this, &AttentionEvents::messageSent);
}

void AttentionEvents::lineStatus(unsigned line, const LineStatus& now)
{
    LineNews news;
    news.line = line;
    news.ringing = now.word == LineStatus::Ringing;
    news.priority = now.priority;
    LineSeen& seen = m_lines[line];
    news.startsRinging = news.ringing && !seen.ringing;
    news.putOnPriority = news.priority && !seen.priority;
    seen.ringing = news.ringing;
    seen.priority = news.priority;

    QElapsedTimer& own = m_ownPriority[line];
    if (news.putOnPriority && own.isValid() && own.elapsed() < OWN_ACTION_MS)
        news.putOnPriority = false;
    if (news.priority)
        own.invalidate();
    emit lineReported(news);
}

void AttentionEvents::chat(const ChatLine& line)
{
    // The unit relays this console's own lines back to it.
    for (int i = 0; i < m_ownChats.size(); ++i) {
        const OwnChat& own = m_ownChats.at(i);
        if (own.age.elapsed() >= OWN_ACTION_MS) {
            m_ownChats.removeAt(i--);
        } else if (own.from == line.from && own.text == line.text) {
            m_ownChats.removeAt(i);
            return;
        }
    }
    emit chatFromOthers(line);
}

void AttentionEvents::messageSent(const Message& msg)
{
    const UnitCommands::Kind kind = UnitCommands::kindOf(msg);
    if (kind == UnitCommands::ChatData) {
        if (m_ownChats.size() >= MAX_OWN_CHATS)
            m_ownChats.removeFirst();
        const ChatLine line = ChatLine::read(msg);
        OwnChat own{line.from, line.text, {}};
        own.age.start();
        m_ownChats.append(own);
        return;
    }
    UnitCommands::FlagCommand flag;
    if (kind == UnitCommands::ChangeLineFlags
        && UnitCommands::readLineFlag(msg, LineStatus::MaxLines, flag) == Refusal::None
        && flag.flag == UnitCommands::Flag::Priority && flag.state)
        m_ownPriority[flag.line].start();
}
