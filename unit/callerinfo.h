#pragma once

#include "unit/refusallog.h"

#include <QString>

#include <cstddef>
#include <cstdint>

class Message;

// A row of the gender or mood table. The row's index is the number on the
// wire ("genderidx", "moodidx"; the mood's index is also its emoticon),
// `shown` the entry a person picks and `sent` the text on the wire ("gender",
// "mood"), which also names the mood's emoticon image.
struct CallerChoice
{
    const char* shown;
    const char* sent;
};

inline constexpr CallerChoice kGenderChoices[] = {
    {"Unknown", "unknown"},
    {"Male", "male"},
    {"Female", "female"},
};

inline constexpr CallerChoice kMoodChoices[] = {
    {"Neutral", "neutral"}, {"Happy", "happy"}, {"Sad", "sad"},         {"Crying", "crying"},
    {"Angry", "angry"},     {"Rude", "rude"},   {"Shocked", "shocked"}, {"Embarassed", "embarassed"},
    {"Eyeroll", "eyeroll"}, {"Crazy", "crazy"},
};

inline constexpr std::size_t kGenderCount = sizeof(kGenderChoices) / sizeof(kGenderChoices[0]);
inline constexpr std::size_t kMoodCount = sizeof(kMoodChoices) / sizeof(kMoodChoices[0]);

// The caller information of one line ("ancillary_data"): what the screener
// typed about the caller. Consoles send the whole record on every edit; the
// unit keeps it per line and reports it to every console.
struct CallerInfo
{
    QString name;
    QString location;
    QString topic;
    QString notes;
    uint32_t genderidx = 0;
    QString gender = QStringLiteral("unknown");
    uint32_t moodidx = 0;
    QString mood = QStringLiteral("neutral");

    // Which fields the message it was read from carried.
    enum Field : uint8_t {
        Name = 1,
        Location = 2,
        Topic = 4,
        Notes = 8,
        Gender = 16,
        GenderIndex = 32,
        Mood = 64,
        MoodIndex = 128,
    };
    uint8_t fields = 0;

    // The gender or mood text, or the table's text for the index when the
    // record carries no text.
    QString genderText() const;
    QString moodText() const;
    // Nothing typed and nothing chosen.
    bool isBlank() const;

    bool operator==(const CallerInfo& o) const;
    bool operator!=(const CallerInfo& o) const { return !(*this == o); }

    // Absent texts read as empty, absent indexes as 0; local says whether
    // the report answers this console's own edit.
    static Refusal read(const Message& msg, unsigned lineCount, unsigned& line, CallerInfo& out, bool& local);
    // The whole record, as a console sends it after an edit.
    void write(Message& msg, unsigned line) const;
    // The unit's report of a line's record.
    void writeReport(Message& msg, unsigned line, bool local) const;
    // What a console sends to wipe a line's record: empty texts and the
    // first gender and mood, named by their texts only.
    static Message cleared(unsigned line);
};
