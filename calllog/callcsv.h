#pragma once

#include <QString>
#include <QStringList>

struct CallRecord;

// The exported form of the log: comma-separated values as RFC 4180 has them
// (CRLF between records, a field quoted when it holds a comma, a quote or a
// line break, quotes doubled inside), encoded as UTF-8 by the writer. Times
// are local ISO 8601 with their UTC offset ("2024-03-05T11:00:00+01:00"),
// durations whole seconds, lines numbered from 1 as the consoles show them.
class CallCsv
{
public:
    static QStringList header();
    static QStringList fields(const CallRecord& record);
    // One record, CRLF included.
    static QString line(const QStringList& fields);
    static QString quote(const QString& field);
    // Empty for 0 (never happened).
    static QString isoTime(qint64 msSinceEpoch);
    // Whole seconds, rounded; empty for a negative (unknown) duration.
    static QString seconds(qint64 ms);
};
