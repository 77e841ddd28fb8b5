#pragma once

#include "console/callerhistorysource.h"

#include <QSet>

class CallLog;
struct CallerHistory;
struct CallerSummary;

// The caller history of a console (or of the history window) over the
// program's call log: questions go to the log's caller lookup, off the GUI
// thread, flags to the log's writer. One per asker: its questions for names
// supersede each other, not another console's.
class LogCallerHistory : public CallerHistorySource
{
    Q_OBJECT

public:
    explicit LogCallerHistory(CallLog& log, QObject* parent = nullptr);
    ~LogCallerHistory() override;

    int findCallers(const QString& typed, int limit) override;
    int lookUpCaller(const QString& name, const QString& location, int limit) override;
    int setCallerFlag(const QString& name, const QString& location, const QString& flag) override;

private:
    void found(int ticket, const QVector<CallerSummary>& callers);
    void history(int ticket, const CallerHistory& history);

    CallLog& m_log;
    int m_channel = 0;
    // The questions of this asker still unanswered.
    QSet<int> m_finds;
    QSet<int> m_lookups;
    QSet<int> m_flags;
};
