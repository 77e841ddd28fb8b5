#pragma once

#include "calllog/callerhistory.h"

#include <QHash>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QVector>

#include <functional>
#include <memory>

class CallStore;
class QThread;

// Answers the caller history's questions (who has called with a name like
// this, what did this caller call about) on a thread of its own with a
// reading connection of its own, so that neither a console's typing nor the
// log's writer waits for it, and it waits for neither: a log held by another
// program for longer than a short moment only fails the question.
//
// Questions of one channel supersede each other: of those still waiting,
// only the newest is looked up, so a stalled log that comes back answers the
// text typed last, not every keystroke since. Made by the CallLog, which
// owns it; a store of the log's kind comes from the maker.
class CallerLookup : public QObject
{
    Q_OBJECT

public:
    using StoreMaker = std::function<std::unique_ptr<CallStore>()>;
    // How long a question waits for a log another program holds.
    static constexpr int BusyTimeoutMs = 250;

    explicit CallerLookup(StoreMaker maker, QObject* parent = nullptr);
    ~CallerLookup() override;

    // A channel for one asker's questions that supersede each other;
    // channel 0 is none (each question is answered).
    int newChannel();
    // Each returns a ticket that comes back with its answer. A question
    // superseded before it was looked up gets no answer.
    int findCallers(int channel, const QString& text, int limit);
    int callerHistory(int channel, const QString& name, const QString& location, int limit);

signals:
    void callersFound(int ticket, const QVector<CallerSummary>& callers, const QString& error);
    void historyFound(int ticket, const CallerHistory& history);

private:
    struct Worker;
    // Whether the ticket is still the newest question of its channel.
    bool isCurrent(int channel, int ticket);
    int ask(int channel, std::function<void(CallStore*, int)> question);

    QThread* m_thread = nullptr;
    std::shared_ptr<Worker> m_worker;
    QMutex m_mutex;
    QHash<int, int> m_newest;
    int m_nextTicket = 1;
    int m_nextChannel = 1;
};
