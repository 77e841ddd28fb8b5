#include "calllog/calllog.h"

#include "calllog/calllogworker.h"
#include "ipc/ipcobject.h"

#include <QDateTime>
#include <QDir>
#include <QStandardPaths>
#include <QThread>

QString CallLog::defaultPath()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation))
        .filePath(QStringLiteral("calls.sqlite"));
}

QString CallLog::offMessage(const QString& reason)
{
    return tr("The call log is off: %1. Calls are not being recorded; the consoles work as usual.").arg(reason);
}

CallLog::CallLog(const Options& options, QObject* parent)
    : QObject(parent)
    , m_options(options)
{
    qRegisterMetaType<CallRecord>();
    qRegisterMetaType<CallFilter>();
    qRegisterMetaType<CallQueryResult>();
    if (!m_options.clock)
        m_options.clock = [] { return QDateTime::currentMSecsSinceEpoch(); };

    CallLogWorker::Settings settings;
    settings.path = m_options.path;
    settings.retentionDays = m_options.retentionDays;
    settings.busyTimeoutMs = m_options.busyTimeoutMs;
    settings.batchMs = m_options.batchMs;
    settings.nowMs = m_options.clock();

    m_thread = new QThread(this);
    m_thread->setObjectName(QStringLiteral("call log"));
    m_worker = new CallLogWorker(settings);
    m_worker->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, m_worker, &QObject::deleteLater);

    connect(m_worker, &CallLogWorker::opened, this, [this] {
        if (m_state == Opening) {
            m_state = Ready;
            emit ready();
        }
    });
    connect(m_worker, &CallLogWorker::failed, this, [this](const QString& text) {
        if (m_state == Off)
            return;
        m_state = Off;
        m_error = offMessage(text);
        emit disabled(m_error);
    });
    connect(m_worker, &CallLogWorker::committed, this, &CallLog::changed);
    connect(m_worker, &CallLogWorker::flushed, this, &CallLog::flushed);
    connect(m_worker, &CallLogWorker::queried, this, &CallLog::queryFinished);
    connect(m_worker, &CallLogWorker::exported, this, &CallLog::exportFinished);

    m_thread->start();
    CallLogWorker* worker = m_worker;
    QMetaObject::invokeMethod(
        m_worker, [worker] { worker->open(); }, Qt::QueuedConnection);
}

CallLog::~CallLog()
{
    // Calls still going on are written as they stand; the next start ends
    // them at the moment they were last seen.
    for (CallRecorder* recorder : qAsConst(m_recorders))
        recorder->finish();
    CallLogWorker* worker = m_worker;
    QMetaObject::invokeMethod(
        m_worker, [worker] { worker->shutdown(); }, Qt::QueuedConnection);
    m_thread->wait();
    qDeleteAll(m_recorders);
}

void CallLog::attach(IPCObject& session, const QString& unitKey)
{
    CallRecorder* recorder = m_recorders.value(unitKey);
    if (!recorder) {
        recorder = new CallRecorder(unitKey, m_options.clock);
        m_recorders.insert(unitKey, recorder);
        connect(recorder, &CallRecorder::recordChanged, this, &CallLog::save);
    }
    recorder->attach(&session);
}

void CallLog::save(const CallRecord& record)
{
    if (m_state == Off)
        return;
    CallLogWorker* worker = m_worker;
    QMetaObject::invokeMethod(
        m_worker, [worker, record] { worker->save(record); }, Qt::QueuedConnection);
}

int CallLog::query(const CallFilter& filter, int limit)
{
    const int ticket = m_nextTicket++;
    CallLogWorker* worker = m_worker;
    QMetaObject::invokeMethod(
        m_worker, [worker, ticket, filter, limit] { worker->query(ticket, filter, limit); }, Qt::QueuedConnection);
    return ticket;
}

int CallLog::exportCsv(const CallFilter& filter, const QString& path)
{
    const int ticket = m_nextTicket++;
    CallLogWorker* worker = m_worker;
    QMetaObject::invokeMethod(
        m_worker, [worker, ticket, filter, path] { worker->exportCsv(ticket, filter, path); }, Qt::QueuedConnection);
    return ticket;
}

int CallLog::flush()
{
    const int ticket = m_nextTicket++;
    CallLogWorker* worker = m_worker;
    QMetaObject::invokeMethod(
        m_worker, [worker, ticket] { worker->flush(ticket); }, Qt::QueuedConnection);
    return ticket;
}

void CallLog::remove(const QVector<qint64>& ids)
{
    CallLogWorker* worker = m_worker;
    QMetaObject::invokeMethod(
        m_worker, [worker, ids] { worker->remove(ids); }, Qt::QueuedConnection);
}
