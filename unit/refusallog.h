#pragma once

#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QString>

#include <cstdint>

class Message;

// Diagnostics about what a unit sent: debug lines in "mirt.unit".
Q_DECLARE_LOGGING_CATEGORY(lcUnit)

// Why a reader did not take a message. A refused message is dropped whole,
// for every part of the program alike.
enum class Refusal : uint8_t {
    None,
    // "line_id" is there but is not a plain unsigned number ("abc", "-1").
    NotALine,
    // A line at or beyond the number of lines the unit has.
    LineOutOfRange,
    // A surface "id" that is "none", no plain number, or beyond the table.
    NotASurface,
};

// Writes one debug line for each message a reader refused, naming the
// message, the reason and the value at fault. A unit that sends a flood of
// bad frames gets at most Burst lines a second; the next line written says
// how many were left out meanwhile. One per session.
class RefusalLog
{
public:
    static constexpr int Burst = 5;
    static constexpr qint64 WindowMs = 1000;

    // Put in front of every line: the unit's address.
    void setPeer(const QString& peer) { m_peer = peer; }
    void refused(const Message& msg, Refusal why);

    static const char* reason(Refusal why);

private:
    QString m_peer;
    QElapsedTimer m_window;
    int m_written = 0;
    quint64 m_leftOut = 0;
};
