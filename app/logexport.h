#pragma once

#include <QString>

class CommandLine;
struct LogDatabase;
class QTextStream;

// mirt-desktop --export-log FILE [--since DATE] [--unit KEY] [--raw]:
// writes the calls of the log to FILE as CSV, as the log window's export
// does but without its byte-order mark, and without opening a window (no
// display needed). --raw leaves cells that look like formulas unguarded. DATE is a local date
// (2024-03-05) or an ISO 8601 date and time. The log is only read; a
// station server that cannot be reached fails within its connect timeout.
class LogExport
{
public:
    // Runs it with the options the command line holds, messages to err.
    // Returns the program's exit code: 0 done, 1 failed, 2 bad arguments.
    // The log is the SQLite file or the station server database names.
    static int run(const CommandLine& options, const LogDatabase& database, QTextStream& err);
};
