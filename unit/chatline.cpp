#include "unit/chatline.h"

#include "message/message.h"

ChatLine ChatLine::read(const Message& msg)
{
    return {msg.params().get_qstring("from", QString()), msg.params().get_qstring("text", QString())};
}

void ChatLine::write(Message& msg) const
{
    msg.set_name("chat_data");
    msg.params().set_qstring("from", from);
    msg.params().set_qstring("text", text);
}
