#pragma once

#include <cstdint>

class Message;

// The unit as a whole ("system_status"): how many of its lines are in use,
// and the auto attendant and busy-out switches.
struct SystemStatus
{
    // Read as at most LineStatus::MaxLines; an absent count is no lines.
    unsigned numLines = 12;
    bool aaEnabled = false;
    bool busiedOut = false;

    bool operator==(const SystemStatus& o) const
    {
        return numLines == o.numLines && aaEnabled == o.aaEnabled && busiedOut == o.busiedOut;
    }
    bool operator!=(const SystemStatus& o) const { return !(*this == o); }

    static SystemStatus read(const Message& msg);
    void write(Message& msg) const;
};
