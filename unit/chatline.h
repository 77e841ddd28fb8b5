#pragma once

#include <QString>

class Message;

// One line of the studio chat ("chat_data"): a console sends it to the unit,
// which relays it to every console.
struct ChatLine
{
    QString from;
    QString text;

    static ChatLine read(const Message& msg);
    void write(Message& msg) const;
};
