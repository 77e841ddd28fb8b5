#pragma once

#include "calllog/callrecord.h"

#include <QMetaType>
#include <QString>
#include <QVector>

// One caller as the log's callers table keeps them: the folded name and
// location tell callers apart, the texts shown are those of the newest call.
struct CallerSummary
{
    QString name;
    QString location;
    // Every call of this name and location in the log, one in progress too.
    int calls = 0;
    // When the newest of them was first seen, milliseconds since the epoch.
    qint64 lastCall = 0;
    QString flag;
};

// What the log knows of one caller: a name, and a location that tells two
// callers of that name apart when both have one (a caller without one is
// every caller of the name).
struct CallerHistory
{
    // A flag is a short note ("regular: weather", "do not air"); longer
    // ones are cut.
    static constexpr int MaxFlagLength = 200;

    bool ok = false;
    QString error;
    // Matching calls, and those of them that have ended.
    int calls = 0;
    int endedCalls = 0;
    // The caller's flag; the one of the same location first.
    QString flag;
    // The newest matching calls, newest first, as many as were asked for.
    QVector<CallRecord> rows;
};

Q_DECLARE_METATYPE(CallerSummary)
Q_DECLARE_METATYPE(CallerHistory)
