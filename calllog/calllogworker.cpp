#include "calllog/calllogworker.h"

#include "calllog/callstore.h"

#include <QSaveFile>
#include <QThread>
#include <QTimer>

#ifdef __linux__
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

CallLogWorker::CallLogWorker(const Settings& settings)
    : m_settings(settings)
{
}

CallLogWorker::~CallLogWorker() = default;

void CallLogWorker::open()
{
#ifdef __linux__
    // The disk work of the log gives way to the consoles when the computer
    // is busy: a lower share of the processor for this thread only.
    setpriority(PRIO_PROCESS, pid_t(syscall(SYS_gettid)), 10);
#endif
    m_batchTimer = new QTimer(this);
    m_batchTimer->setSingleShot(true);
    m_batchTimer->setInterval(m_settings.batchMs);
    connect(m_batchTimer, &QTimer::timeout, this, [this] { writePending(); });

    m_store = std::make_unique<CallStore>(m_settings.path);
    if (!m_store->open(m_settings.busyTimeoutMs, m_settings.retentionDays, m_settings.nowMs)) {
        turnOff();
        return;
    }
    emit opened();
}

void CallLogWorker::turnOff()
{
    if (m_off)
        return;
    m_off = true;
    const QString text = m_store ? m_store->errorText() : QString();
    m_pending.clear();
    m_order.clear();
    if (m_store)
        m_store->close();
    emit failed(text);
}

void CallLogWorker::save(const CallRecord& record)
{
    if (m_off)
        return;
    if (!m_pending.contains(record.uid))
        m_order.append(record.uid);
    m_pending.insert(record.uid, record);
    if (m_batchTimer && !m_batchTimer->isActive())
        m_batchTimer->start();
}

bool CallLogWorker::writePending()
{
    if (m_off)
        return false;
    if (m_batchTimer)
        m_batchTimer->stop();
    if (m_order.isEmpty())
        return true;
    QVector<CallStore::Write> batch;
    batch.reserve(m_order.size());
    for (const QString& uid : qAsConst(m_order))
        batch.append({m_pending.value(uid), !m_written.contains(uid)});
    if (!m_store->save(batch)) {
        turnOff();
        return false;
    }
    for (const QString& uid : qAsConst(m_order))
        m_written.insert(uid);
    m_order.clear();
    m_pending.clear();
    emit committed();
    return true;
}

void CallLogWorker::flush(int ticket)
{
    writePending();
    emit flushed(ticket);
}

void CallLogWorker::query(int ticket, const CallFilter& filter, int limit)
{
    CallQueryResult result;
    if (!m_off && writePending()) {
        result = m_store->query(filter, limit);
        if (result.ok)
            result.units = m_store->units();
        else
            turnOff();
    }
    if (m_off)
        result.ok = false;
    emit queried(ticket, result);
}

void CallLogWorker::exportCsv(int ticket, const CallFilter& filter, const QString& path)
{
    if (m_off || !writePending()) {
        emit exported(ticket, false, 0, QStringLiteral("the call log is off"));
        return;
    }
    // Written aside and renamed at the end: a failed export leaves no
    // half-written file where the user expects a whole one.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        emit exported(ticket, false, 0, QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
        return;
    }
    int rows = 0;
    const bool ok = m_store->exportCsv(filter, file, &rows);
    if (!ok && m_store->failure() != CallStore::NoFailure) {
        file.cancelWriting();
        turnOff();
        emit exported(ticket, false, 0, m_store->errorText());
        return;
    }
    if (!ok || !file.commit()) {
        emit exported(ticket, false, 0, QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
        return;
    }
    emit exported(ticket, true, rows, QString());
}

void CallLogWorker::remove(const QVector<qint64>& ids)
{
    if (m_off || !writePending())
        return;
    if (!m_store->remove(ids)) {
        turnOff();
        return;
    }
    emit committed();
}

void CallLogWorker::shutdown()
{
    writePending();
    delete m_batchTimer;
    m_batchTimer = nullptr;
    m_store.reset();
    QThread::currentThread()->quit();
}
