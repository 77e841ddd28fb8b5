#pragma once

#include "unit/refusallog.h"

#include <QString>

#include <cstdint>

class Message;
class Params;

// What a unit last said about one of its telephone lines ("line_status"):
// the status word, read into Word once, and the flags and counters beside
// it. Every part of the program that follows a line works on this value.
struct LineStatus
{
    // A unit has at most this many lines.
    static constexpr unsigned MaxLines = 12;

    // The status words a unit sends, in the order of its own table; Unknown
    // is any other word (its text is kept), Unreported a line the unit has
    // not reported since the picture was last reset.
    enum Word : uint8_t {
        Idle,
        LoopThru,
        BusiedOut,
        Ringing,
        OnHold,
        OnScreenedHold,
        RemoteOnHold,
        RemoteOnScreenedHold,
        AutoAttendant,
        RemoteAutoAttendant,
        OnHandset,
        RemoteOnHandset,
        OnAir,
        RemoteOnAir,
        RemoteBusiedOut,
        NotInstalled,
        Unknown,
        Unreported,
    };
    static constexpr unsigned WordCount = Unknown;

    Word word = Unreported;
    // The word as the unit wrote it.
    QString status;
    bool locked = false;
    bool override = false;
    bool priority = false;
    uint32_t ringNum = 0;
    // Seconds in this state: the unit's count, plus the ticks since.
    uint64_t time = 0;
    bool utility = false;
    // The handset's surface, or the air channel of a line on air.
    int32_t location = 0;

    // Sets word and text together.
    void setStatus(const QString& text);
    void setWord(Word w);
    static Word wordOf(const QString& text);
    // The text of a word; empty for Unknown and Unreported.
    static const QString& textOf(Word w);
    // A call connected to a position of this unit: its caller is known and
    // its time runs on the panel.
    static bool isConnected(Word w) { return w == OnHold || w == OnScreenedHold || w == OnHandset || w == OnAir; }

    bool operator==(const LineStatus& o) const;
    bool operator!=(const LineStatus& o) const { return !(*this == o); }

    // The line a message is about: an absent "line_id" is line 0; one that
    // is present must be a plain unsigned number below lineCount.
    static Refusal readLine(const Params& params, unsigned lineCount, unsigned& line);
    // A "line_status" message; fields that are absent read as false and 0.
    static Refusal read(const Message& msg, unsigned lineCount, unsigned& line, LineStatus& out);
    void write(Message& msg, unsigned line) const;
};
