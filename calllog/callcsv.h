#pragma once

#include <QString>
#include <QStringList>

struct CallRecord;

// How a file of calls is written.
struct CsvOptions
{
    // A cell that a spreadsheet would run as a formula is written as text
    // (see CallCsv::guard); false writes every value exactly as logged.
    bool guardFormulas = true;
    // A UTF-8 byte-order mark first: spreadsheets read the file as UTF-8
    // only with it, while scripts are better off without.
    bool byteOrderMark = false;
};

// The exported form of the log: comma-separated values as RFC 4180 has them
// (CRLF between records, a field quoted when it holds a comma, a quote or a
// line break, quotes doubled inside), encoded as UTF-8 by the writer. Times
// are local ISO 8601 with their UTC offset ("2024-03-05T11:00:00+01:00"),
// durations whole seconds, lines numbered from 1 as the consoles show them.
// Scripts read the columns by position: a column added later goes at the
// end.
class CallCsv
{
public:
    static QStringList header();
    static QStringList fields(const CallRecord& record);
    // One record, CRLF included; each field guarded first when asked.
    static QString line(const QStringList& fields, bool guardFormulas = false);
    // A field that begins with =, +, -, @, a tab or a carriage return
    // (also after spaces or line feeds) gets a leading apostrophe: a
    // spreadsheet then shows the cell as text, apostrophe included, and
    // runs nothing. Anything else is returned as it is.
    static QString guard(const QString& field);
    static QString quote(const QString& field);
    // Empty for 0 (never happened).
    static QString isoTime(qint64 msSinceEpoch);
    // Whole seconds, rounded; empty for a negative (unknown) duration.
    static QString seconds(qint64 ms);
};
