#include "app/logcallerhistory.h"

#include "calllog/callerlookup.h"
#include "calllog/calllog.h"

LogCallerHistory::LogCallerHistory(CallLog& log, QObject* parent)
    : CallerHistorySource(parent)
    , m_log(log)
{
    CallerLookup* lookup = m_log.callerLookup();
    m_channel = lookup->newChannel();
    connect(lookup, &CallerLookup::callersFound, this, &LogCallerHistory::found);
    connect(lookup, &CallerLookup::historyFound, this, &LogCallerHistory::history);
    connect(&m_log, &CallLog::changed, this, &CallerHistorySource::changed);
    connect(&m_log, &CallLog::callerFlagSet, this, [this](int ticket, bool ok, const QString& error) {
        if (m_flags.remove(ticket))
            emit flagSet(ticket, ok, error);
    });
}

LogCallerHistory::~LogCallerHistory() = default;

int LogCallerHistory::findCallers(const QString& typed, int limit)
{
    // Only the newest question is awaited; the older ones never answer.
    m_finds.clear();
    const int ticket = m_log.callerLookup()->findCallers(m_channel, typed, limit);
    m_finds.insert(ticket);
    return ticket;
}

int LogCallerHistory::lookUpCaller(const QString& name, const QString& location, int limit)
{
    const int ticket = m_log.callerLookup()->callerHistory(0, name, location, limit);
    m_lookups.insert(ticket);
    return ticket;
}

int LogCallerHistory::setCallerFlag(const QString& name, const QString& location, const QString& flag)
{
    const int ticket = m_log.setCallerFlag(name, location, flag);
    m_flags.insert(ticket);
    return ticket;
}

void LogCallerHistory::found(int ticket, const QVector<CallerSummary>& callers)
{
    if (!m_finds.remove(ticket))
        return;
    QVector<HistoryCaller> out;
    out.reserve(callers.size());
    for (const CallerSummary& c : callers)
        out.append({c.name, c.location, c.calls, c.lastCall, c.flag});
    emit callersFound(ticket, out);
}

void LogCallerHistory::history(int ticket, const CallerHistory& history)
{
    if (!m_lookups.remove(ticket))
        return;
    HistoryAnswer answer;
    answer.ok = history.ok;
    answer.error = history.error;
    answer.calls = history.calls;
    answer.earlierCalls = history.endedCalls;
    answer.flag = history.flag;
    for (const CallRecord& r : history.rows) {
        HistoryCall call;
        call.when = r.firstSeen;
        call.unit = r.unitKey;
        call.line = r.line;
        call.topic = r.topic;
        call.outcome = r.isOpen() ? QString() : CallRecord::outcomeKey(r.outcome);
        call.waitMs = r.waitMs;
        call.airMs = r.airMs;
        call.notes = r.notes;
        call.inProgress = r.isOpen();
        answer.recent.append(call);
    }
    emit callerFound(ticket, answer);
}
