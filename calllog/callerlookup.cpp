#include "calllog/callerlookup.h"

#include "calllog/callstore.h"

#include <QMutexLocker>
#include <QThread>

struct CallerLookup::Worker
{
    StoreMaker maker;
    std::unique_ptr<CallStore> store;
    // Lives on the thread; questions are queued calls on it.
    QObject context;

    // The store, opened on first use and again after a failure that did
    // not pass; null while the log cannot be opened.
    CallStore* ready()
    {
        if (store && store->isOpen())
            return store.get();
        if (!store)
            store = maker();
        if (store && !store->open())
            return nullptr;
        return store.get();
    }
    void after()
    {
        if (store && store->failure() != CallStore::NoFailure && store->failure() != CallStore::Busy)
            store->close();
    }
};

CallerLookup::CallerLookup(StoreMaker maker, QObject* parent)
    : QObject(parent)
    , m_thread(new QThread(this))
    , m_worker(std::make_shared<Worker>())
{
    qRegisterMetaType<CallerSummary>();
    qRegisterMetaType<CallerHistory>();
    qRegisterMetaType<QVector<CallerSummary>>();
    m_worker->maker = std::move(maker);
    m_thread->setObjectName(QStringLiteral("caller history"));
    m_worker->context.moveToThread(m_thread);
    m_thread->start();
}

CallerLookup::~CallerLookup()
{
    // The store's connection belongs to the thread: it is closed there.
    std::shared_ptr<Worker> worker = m_worker;
    QMetaObject::invokeMethod(
        &worker->context, [worker] { worker->store.reset(); }, Qt::QueuedConnection);
    m_thread->quit();
    m_thread->wait();
}

int CallerLookup::newChannel()
{
    QMutexLocker lock(&m_mutex);
    return m_nextChannel++;
}

bool CallerLookup::isCurrent(int channel, int ticket)
{
    QMutexLocker lock(&m_mutex);
    return channel == 0 || m_newest.value(channel) == ticket;
}

int CallerLookup::ask(int channel, std::function<void(CallStore*, int)> question)
{
    int ticket = 0;
    {
        QMutexLocker lock(&m_mutex);
        ticket = m_nextTicket++;
        if (channel != 0)
            m_newest[channel] = ticket;
    }
    std::shared_ptr<Worker> worker = m_worker;
    QMetaObject::invokeMethod(
        &worker->context,
        [this, worker, channel, ticket, question] {
            if (!isCurrent(channel, ticket))
                return;
            question(worker->ready(), ticket);
            worker->after();
        },
        Qt::QueuedConnection);
    return ticket;
}

int CallerLookup::findCallers(int channel, const QString& text, int limit)
{
    return ask(channel, [this, text, limit](CallStore* store, int ticket) {
        if (!store) {
            emit callersFound(ticket, {}, QStringLiteral("the call log cannot be read"));
            return;
        }
        const QVector<CallerSummary> found = store->findCallers(text, limit);
        emit callersFound(ticket, found, store->errorText());
    });
}

int CallerLookup::callerHistory(int channel, const QString& name, const QString& location, int limit)
{
    return ask(channel, [this, name, location, limit](CallStore* store, int ticket) {
        CallerHistory history;
        if (store)
            history = store->callerHistory(name, location, limit);
        else
            history.error = QStringLiteral("the call log cannot be read");
        emit historyFound(ticket, history);
    });
}
