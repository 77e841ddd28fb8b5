#include "calllog/calllog.h"

#include "calllog/callerlookup.h"
#include "calllog/calllogworker.h"
#include "calllog/callstore.h"
#include "calllog/pgcallstore.h"
#include "calllog/sqlitecallstore.h"
#include "ipc/ipcobject.h"

#include <QDateTime>
#include <QDir>
#include <QStandardPaths>
#include <QThread>
#include <QUuid>

QString CallLog::defaultPath()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation))
        .filePath(QStringLiteral("calls.sqlite"));
}

CallLog::CallLog(const Options& options, QObject* parent)
    : QObject(parent)
    , m_options(options)
{
    qRegisterMetaType<CallRecord>();
    qRegisterMetaType<CallFilter>();
    qRegisterMetaType<CallQueryResult>();
    qRegisterMetaType<QVector<CallRecord>>();
    // A test that sets only the time of day counts durations on it too.
    if (!m_options.monotonicClock)
        m_options.monotonicClock = m_options.clock ? m_options.clock : CallRecorder::Clock(&CallStore::monotonicMs);
    if (!m_options.clock)
        m_options.clock = [] { return QDateTime::currentMSecsSinceEpoch(); };

    CallLogWorker::Settings settings;
    settings.path = m_options.path;
    settings.database = m_options.database;
    settings.retentionDays = m_options.retentionDays;
    settings.retentionIntervalMs = m_options.retentionIntervalMs;
    settings.busyTimeoutMs = m_options.busyTimeoutMs;
    settings.batchMs = m_options.batchMs;
    settings.privateFolder = m_options.privateFolder;
    settings.searchIndex = m_options.searchIndex;
    settings.quitWaitMs = m_options.quitWaitMs;
    settings.owner = QUuid::createUuid().toString(QUuid::WithoutBraces);
    settings.clock = m_options.clock;
    settings.leaseClock = &CallStore::monotonicMs;

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
        m_state = Off;
        m_offText = text;
        setStatus();
    });
    connect(m_worker, &CallLogWorker::notice, this, [this](const QString& text) {
        if (!m_notices.contains(text)) {
            m_notices << text;
            setStatus();
        }
    });
    connect(m_worker, &CallLogWorker::retentionRefused, this, [this](const QString& why) {
        m_retentionRefused = why;
        setStatus();
    });
    connect(m_worker, &CallLogWorker::behind, this, [this](int calls, const QString& reason) {
        m_behindCalls = calls;
        m_behindReason = reason;
        setStatus();
    });
    connect(m_worker, &CallLogWorker::unreachable, this, [this](qint64 since) {
        m_unreachableSince = since;
        setStatus();
    });
    connect(m_worker, &CallLogWorker::committed, this, &CallLog::changed);
    connect(m_worker, &CallLogWorker::flushed, this, &CallLog::flushed);
    connect(m_worker, &CallLogWorker::queried, this, &CallLog::queryFinished);
    connect(m_worker, &CallLogWorker::exported, this, &CallLog::exportFinished);
    connect(m_worker, &CallLogWorker::retentionCounted, this, &CallLog::retentionCounted);
    connect(m_worker, &CallLogWorker::callerFlagSet, this, &CallLog::callerFlagSet);
    connect(m_worker, &CallLogWorker::leaseGained, this, &CallLog::leaseGained);
    connect(m_worker, &CallLogWorker::leaseLost, this, &CallLog::leaseLost);

    // Open calls are written with their time so far now and then, so that
    // after a crash a long hold does not end at its last change.
    m_touch.setInterval(TouchMs);
    connect(&m_touch, &QTimer::timeout, this, [this] {
        for (CallRecorder* recorder : qAsConst(m_recorders))
            recorder->finish();
    });
    m_touch.start();

    // Posted before the thread runs, the open comes first whenever it
    // starts.
    post([](CallLogWorker* worker) { worker->open(); });
    if (m_options.startNow)
        start();
}

void CallLog::start()
{
    if (!m_thread->isRunning() && !m_thread->isFinished())
        m_thread->start();
}

CallLog::~CallLog()
{
    // Calls still going on are written as they stand; the next start ends
    // them at the moment they were last seen, unless another program
    // watching the unit carries them on.
    for (CallRecorder* recorder : qAsConst(m_recorders))
        recorder->finish();
    delete m_callerLookup;
    m_callerLookup = nullptr;
    post([](CallLogWorker* worker) { worker->shutdown(); });
    // Never started: what is queued is still written, and the worker freed.
    start();
    m_thread->wait();
    qDeleteAll(m_recorders);
}

template <typename F> void CallLog::post(F&& call)
{
    CallLogWorker* worker = m_worker;
    QMetaObject::invokeMethod(
        m_worker, [worker, call] { call(worker); }, Qt::QueuedConnection);
}

QString CallLog::statusText() const
{
    return m_status;
}

void CallLog::setStatus()
{
    QStringList lines;
    if (m_state == Off)
        lines
            << tr("The call log is off: %1. Calls are not being recorded; the consoles work as usual.").arg(m_offText);
    else if (m_unreachableSince) {
        const QString since = QDateTime::fromMSecsSinceEpoch(m_unreachableSince).toString(QStringLiteral("HH:mm"));
        lines << (m_behindCalls == 1
                      ? tr("Station server unreachable since %1: 1 call waiting").arg(since)
                      : tr("Station server unreachable since %1: %2 calls waiting").arg(since).arg(m_behindCalls));
    } else if (!m_behindReason.isEmpty())
        lines << (m_behindCalls == 1
                      ? tr("The call log is behind: 1 call waiting (%1)").arg(m_behindReason)
                      : tr("The call log is behind: %1 calls waiting (%2)").arg(m_behindCalls).arg(m_behindReason));
    if (!m_retentionRefused.isEmpty())
        lines << tr("Old calls were not deleted: %1.").arg(m_retentionRefused);
    lines << m_notices;
    const QString text = lines.join(QLatin1Char('\n'));
    if (text == m_status)
        return;
    m_status = text;
    emit statusChanged(text);
}

void CallLog::attach(IPCObject& session, const QString& unitKey)
{
    CallRecorder* recorder = m_recorders.value(unitKey);
    if (!recorder) {
        recorder = new CallRecorder(unitKey, m_options.clock, m_options.monotonicClock);
        m_recorders.insert(unitKey, recorder);
        connect(recorder, &CallRecorder::recordChanged, this, &CallLog::save);
    }
    recorder->attach(&session);
    // After the recorder, so that what it settles when a session goes is
    // written before the lease is given up.
    IPCObject* s = &session;
    connect(s, &IPCObject::changedState, this, [this, s, unitKey] { sessionState(s, unitKey); });
    connect(s, &QObject::destroyed, this, [this, s, unitKey] {
        QSet<IPCObject*>& ready = m_ready[unitKey];
        if (ready.remove(s) && ready.isEmpty())
            post([unitKey](CallLogWorker* worker) { worker->wantLease(unitKey, false); });
    });
    sessionState(s, unitKey);
}

void CallLog::sessionState(IPCObject* session, const QString& unitKey)
{
    QSet<IPCObject*>& ready = m_ready[unitKey];
    const bool before = !ready.isEmpty();
    if (session->getState() == IPCObject::IPC_READY)
        ready.insert(session);
    else
        ready.remove(session);
    const bool want = !ready.isEmpty();
    if (want == before)
        return;
    if (!want)
        leaseLost(unitKey);
    post([unitKey, want](CallLogWorker* worker) { worker->wantLease(unitKey, want); });
}

void CallLog::leaseGained(const QString& unitKey, qint64 generation, const QVector<CallRecord>& recent)
{
    CallRecorder* recorder = m_recorders.value(unitKey);
    const QVector<CallRecord> records = recorder ? recorder->adopt(recent) : QVector<CallRecord>();
    if (!m_ready.value(unitKey).isEmpty())
        m_writing.insert(unitKey);
    else if (recorder)
        recorder->setWriting(false);
    post([unitKey, generation, records](CallLogWorker* worker) { worker->adopt(unitKey, generation, records); });
}

void CallLog::leaseLost(const QString& unitKey)
{
    m_writing.remove(unitKey);
    if (CallRecorder* recorder = m_recorders.value(unitKey))
        recorder->setWriting(false);
}

void CallLog::save(const CallRecord& record)
{
    if (m_state == Off)
        return;
    post([record](CallLogWorker* worker) { worker->save(record); });
}

int CallLog::query(const CallFilter& filter, int limit, const CallSort& sort)
{
    const int ticket = m_nextTicket++;
    post([ticket, filter, sort, limit](CallLogWorker* worker) { worker->query(ticket, filter, sort, limit); });
    return ticket;
}

int CallLog::exportCsv(const CallFilter& filter, const QString& path, const CsvOptions& options)
{
    const int ticket = m_nextTicket++;
    post([ticket, filter, path, options](CallLogWorker* worker) { worker->exportCsv(ticket, filter, path, options); });
    return ticket;
}

int CallLog::flush()
{
    const int ticket = m_nextTicket++;
    post([ticket](CallLogWorker* worker) { worker->flush(ticket); });
    return ticket;
}

void CallLog::remove(const QVector<qint64>& ids)
{
    post([ids](CallLogWorker* worker) { worker->remove(ids); });
}

int CallLog::countRetention(int days)
{
    const int ticket = m_nextTicket++;
    post([ticket, days](CallLogWorker* worker) { worker->countRetention(ticket, days); });
    return ticket;
}

void CallLog::setRetentionDays(int days)
{
    post([days](CallLogWorker* worker) { worker->setRetention(days); });
}

CallerLookup* CallLog::callerLookup()
{
    if (!m_callerLookup && m_options.database.isServer()) {
        // A station's callers are those of its server, with a connection of
        // the lookup's own.
        PgCallStore::Options options;
        options.mode = CallStore::ReadOnly;
        options.searchIndex = m_options.searchIndex;
        const LogDatabase database = m_options.database;
        m_callerLookup = new CallerLookup(
            [database, options]() -> std::unique_ptr<CallStore> {
                return std::make_unique<PgCallStore>(database, options);
            },
            this);
    }
    if (!m_callerLookup) {
        SqliteCallStore::Options options;
        options.mode = CallStore::ReadOnly;
        options.busyTimeoutMs = CallerLookup::BusyTimeoutMs;
        options.searchIndex = m_options.searchIndex;
        const QString path = m_options.path;
        m_callerLookup = new CallerLookup(
            [path, options]() -> std::unique_ptr<CallStore> {
                return std::make_unique<SqliteCallStore>(path, options);
            },
            this);
    }
    return m_callerLookup;
}

int CallLog::setCallerFlag(const QString& name, const QString& location, const QString& flag)
{
    const int ticket = m_nextTicket++;
    post([=](CallLogWorker* worker) { worker->setCallerFlag(ticket, name, location, flag); });
    return ticket;
}
