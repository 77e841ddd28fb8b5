#pragma once

#include <QDate>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QVector>

// One call as the log keeps it: one line's life from leaving "on hook (idle)"
// until it is idle again. Times are milliseconds since the epoch (UTC); 0
// means "not (yet) happened". A plain value: the recorder fills it, the store
// writes and reads it, the log window shows it.
struct CallRecord
{
    enum Outcome {
        // Still in progress and not picked up yet.
        Pending = 0,
        // Rang and went idle without anybody taking it.
        Missed,
        // Taken by the staff (handset or hold), never on air.
        Answered,
        // Was on air at least once.
        Aired,
    };

    // The database's row id; 0 for a record the store has not returned.
    qint64 id = 0;
    // Unique across programs sharing the file; the store updates by it.
    QString uid;
    QString unitKey;
    QString username;
    // 0-based, as on the wire.
    int line = 0;

    qint64 firstSeen = 0;
    // First "on handset".
    qint64 answered = 0;
    qint64 firstOnAir = 0;
    // 0 while the call is in progress.
    qint64 ended = 0;
    // The last moment the line's state was known; what a call left open by a
    // program that stopped is ended at.
    qint64 lastSeen = 0;
    // Durations are counted on a clock that no change of the computer's
    // time moves, so they can disagree with the moments above after a
    // clock step; they are right, the difference of the moments is not.
    qint64 holdMs = 0;
    qint64 airMs = 0;
    // From first seen until the staff first took the call; -1 when unknown
    // (a call already in progress when first seen, or never taken).
    qint64 waitMs = -1;
    // From first seen until the end, or until last seen while open.
    qint64 totalMs = 0;

    Outcome outcome = Pending;
    bool priority = false;
    // The log did not see the whole call: it was already in progress when
    // first seen, or the program stopped before it ended.
    bool partial = false;

    QString name;
    QString location;
    QString topic;
    QString notes;
    QString gender;
    QString mood;
    // The flag of the call's caller as the store read it (see
    // CallStore::setCallerFlag); saving a call leaves it alone.
    QString callerFlag;

    bool isOpen() const { return ended == 0; }

    // "missed", "answered", "aired"; empty for Pending. The texts of the
    // database and of the exported files.
    static QString outcomeKey(Outcome outcome);
    // Pending for anything else.
    static Outcome outcomeFromKey(const QString& key);

    bool operator==(const CallRecord& other) const;
    bool operator!=(const CallRecord& other) const { return !(*this == other); }
};

// What the log window (or the command line) asks for. Empty fields do not
// filter.
struct CallFilter
{
    // Words that must all appear (compared folded, see CallFold, anywhere)
    // in the name, location, topic or notes.
    QString text;
    QString unitKey;
    // Pending matches calls still in progress; -1 any outcome.
    int outcome = -1;
    // First seen in [from, to), milliseconds since the epoch; 0 leaves that
    // end open.
    qint64 from = 0;
    qint64 to = 0;
};

// The order the log window lists calls in. The store sorts every call that
// matches by it, and only then takes the newest (or first) rows of the
// limit. Empty texts and unknown or zero durations come last either way:
// they are the calls with nothing to compare.
struct CallSort
{
    enum Key {
        Time,
        Unit,
        Line,
        Name,
        Location,
        Topic,
        Wait,
        OnAir,
        Total,
        // In progress, missed, answered, aired.
        Outcome,
    };
    Key key = Time;
    bool descending = true;

    bool operator==(const CallSort& o) const { return key == o.key && descending == o.descending; }
};

// The calls of one local calendar day among those a filter selects.
struct DayTotals
{
    QDate day;
    int calls = 0;
    int answered = 0;
    int aired = 0;
    int missed = 0;
    // Mean of the known waits, -1 when no call of the day has one.
    qint64 meanWaitMs = -1;
};

// The answer to a query: the first calls in its order (the newest unless
// sorted otherwise; up to the limit asked for), the
// number of all calls that match, and per-day totals over all of them.
struct CallQueryResult
{
    bool ok = false;
    QString error;
    QVector<CallRecord> rows;
    int matching = 0;
    QVector<DayTotals> days;
    // Every unit the file holds calls of.
    QStringList units;
};

Q_DECLARE_METATYPE(CallRecord)
Q_DECLARE_METATYPE(CallFilter)
Q_DECLARE_METATYPE(CallQueryResult)
