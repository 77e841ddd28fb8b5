#include "calllog/calllogworker.h"

#include "calllog/pgcallstore.h"
#include "calllog/privatefile.h"
#include "calllog/sqlitecallstore.h"
#include "calllog/waitingcalls.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <QTimer>

#include <algorithm>

#include <sys/stat.h>

#ifdef __linux__
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace {

// The pause before the next try after a fault grows to this.
const int kFirstRetryMs = 500;
const int kLongestRetryMs = 8000;
// How long a desk keeps the calls another desk wrote after they ended.
const qint64 kFollowedMs = 30000;

quint64 inodeOf(const QString& path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? quint64(st.st_ino) : 0;
}

} // namespace

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
    const auto timer = [this](int ms, bool single, void (CallLogWorker::*slot)()) {
        auto* t = new QTimer(this);
        t->setSingleShot(single);
        t->setInterval(ms);
        connect(t, &QTimer::timeout, this, slot);
        return t;
    };
    m_batchTimer = timer(m_settings.batchMs, true, &CallLogWorker::writeBatch);
    m_retryTimer = timer(0, true, &CallLogWorker::retry);
    m_leaseTimer = timer(CallStore::HeartbeatMs, true, &CallLogWorker::runLeases);
    m_leaseTimer->setTimerType(Qt::PreciseTimer);
    m_pollTimer = timer(m_settings.changePollMs, false, &CallLogWorker::pollChanges);
    m_retentionTimer = timer(m_settings.retentionIntervalMs, false, &CallLogWorker::housekeeping);
    tryOpen();
}

bool CallLogWorker::tryOpen()
{
    if (m_settings.privateFolder)
        PrivateFile::makeFolder(QFileInfo(m_settings.path).absolutePath());
    if (isServer()) {
        PgCallStore::Options options;
        options.searchIndex = m_settings.searchIndex;
        options.owner = m_settings.owner;
        // Other desks' writes come as the server's notifications, on this
        // thread; the table is not polled.
        options.onChange = [this] { emit committed(); };
        m_store = std::make_unique<PgCallStore>(m_settings.database, options);
    } else {
        SqliteCallStore::Options options;
        options.busyTimeoutMs = m_settings.busyTimeoutMs;
        options.searchIndex = m_settings.searchIndex;
        options.owner = m_settings.owner;
        options.leaseClock = m_settings.leaseClock;
        m_store = std::make_unique<SqliteCallStore>(m_settings.path, options);
    }
    if (!m_store->open()) {
        handleFailure();
        return false;
    }
    m_inode = isServer() ? 0 : inodeOf(m_settings.path);
    m_movesAside = 0;
    // What was recorded since the last batch goes the same way as the rest.
    if (m_unreachableSince)
        moveToOutbox();
    if (isServer() && !replayOutbox())
        return false;
    setUnreachable(false);
    m_reason.clear();
    m_retryMs = 0;
    reportBehind();
    importWaiting();
    housekeeping();
    if (!isServer())
        m_pollTimer->start();
    m_retentionTimer->start();
    emit opened();
    // Leases wanted while the log could not be reached are taken now.
    for (auto it = m_leases.begin(); it != m_leases.end(); ++it)
        it->nextClaim = 0;
    runLeases();
    writePending();
    return true;
}

void CallLogWorker::importWaiting()
{
    for (const QString& path : WaitingCalls::find(m_settings.path)) {
        QFile file(path);
        QVector<CallRecord> calls;
        if (!file.open(QIODevice::ReadOnly) || !WaitingCalls::decode(file.readAll(), calls)) {
            qWarning() << "call log: cannot read the waiting calls in" << path;
            continue;
        }
        QVector<CallStore::Write> batch;
        for (const CallRecord& r : qAsConst(calls))
            batch.append({r, true, 0, true});
        if (!m_store->save(batch)) {
            // They stay in the file for the next try.
            qWarning() << "call log: cannot write the waiting calls of" << path << m_store->errorText();
            continue;
        }
        file.remove();
    }
}

void CallLogWorker::housekeeping()
{
    if (!m_store || !m_store->isOpen())
        return;
    m_store->closeAbandoned();
    // A station's retention is kept on its server and applied by one desk
    // a day; a log given for one run is never pruned.
    if (m_settings.retentionDays < 0 || !m_store->claimHousekeeping())
        return;
    const int shared = m_store->sharedRetentionDays();
    const int days = shared >= 0 ? shared : m_settings.retentionDays;
    const CallStore::Retention result = m_store->applyRetention(days, m_settings.clock(), false);
    if (result.ok)
        emit retentionRefused(result.refused);
    if (result.calls > 0) {
        runScrub();
        emit committed();
    }
}

void CallLogWorker::writeBatch()
{
    writePending();
}

void CallLogWorker::retry()
{
    if (m_off)
        return;
    if (!m_damaged.isEmpty() && !moveAside())
        return;
    if (!m_store || !m_store->isOpen())
        tryOpen();
    else if (writePending() && m_scrubPending)
        runScrub();
}

void CallLogWorker::handleFailure()
{
    const CallStore::Failure failure = m_store->failure();
    if (failure == CallStore::Damaged) {
        // Moved aside from the event loop, not from inside whatever found
        // the damage; twice in a row is no passing fault.
        if (++m_movesAside > 2) {
            turnOff(m_store->errorText());
            return;
        }
        m_damaged = m_store->errorText();
        m_store->close();
        m_retryTimer->start(0);
        return;
    }
    if (!CallStore::isPassing(failure)) {
        turnOff(m_store->errorText());
        return;
    }
    m_reason = m_store->errorText();
    if (isServer() && (failure == CallStore::Unreachable || !m_store->isOpen())) {
        m_store->close();
        setUnreachable(true);
        moveToOutbox();
    }
    reportBehind();
    scheduleRetry();
}

bool CallLogWorker::moveAside()
{
    const QString path = m_settings.path;
    const QString damaged = m_damaged;
    m_damaged.clear();
    const QFileInfo info(path);
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QString aside = info.dir().filePath(
        QStringLiteral("%1.damaged-%2%3")
            .arg(info.completeBaseName(), stamp, info.suffix().isEmpty() ? QString() : "." + info.suffix()));
    // Another program on the file may have moved it already: then the file
    // at the path is its new log, not the damaged one.
    if (m_inode == 0 || inodeOf(path) == m_inode) {
        if (::rename(QFile::encodeName(path).constData(), QFile::encodeName(aside).constData()) != 0) {
            turnOff(QStringLiteral("%1, and it cannot be moved aside").arg(damaged));
            return false;
        }
        ::rename(QFile::encodeName(path + "-wal").constData(), QFile::encodeName(aside + "-wal").constData());
        QFile::remove(path + QStringLiteral("-shm"));
        emit notice(QStringLiteral("The call log %1 was damaged. It was kept as %2, and a new call log was started.")
                        .arg(QDir::toNativeSeparators(path), QDir::toNativeSeparators(aside)));
    }
    m_inode = 0;
    // The new file has none of the calls: each is written whole again.
    m_written.clear();
    return true;
}

void CallLogWorker::turnOff(const QString& text)
{
    if (m_off)
        return;
    m_off = true;
    for (QTimer* t : {m_batchTimer, m_retryTimer, m_leaseTimer, m_pollTimer, m_retentionTimer})
        if (t)
            t->stop();
    if (m_store)
        m_store->close();
    m_reason.clear();
    reportBehind();
    emit failed(text);
}

void CallLogWorker::scheduleRetry()
{
    m_retryMs = m_retryMs == 0 ? kFirstRetryMs : std::min(2 * m_retryMs, kLongestRetryMs);
    m_retryTimer->start(m_retryMs);
}

int CallLogWorker::waitingCount() const
{
    return m_pending.size() + m_outboxCalls;
}

void CallLogWorker::setUnreachable(bool unreachable)
{
    if (unreachable == (m_unreachableSince != 0))
        return;
    m_unreachableSince = unreachable ? QDateTime::currentMSecsSinceEpoch() : 0;
    // The desk that writes a unit may die while the server is away: every
    // desk keeps what it saw of the unit, from just before the outage, in
    // its outbox; the replays merge the copies by the calls' identity.
    if (unreachable) {
        for (const CallRecord& r : qAsConst(m_followed))
            if (!m_pending.contains(r.uid))
                add(r, -1);
    }
    m_followed.clear();
    emit this->unreachable(m_unreachableSince);
}

bool CallLogWorker::openOutbox(bool create)
{
    if (m_outbox && m_outbox->isOpen())
        return true;
    const QString path = QFileInfo(m_settings.path).dir().filePath(QStringLiteral("station-outbox.sqlite"));
    if (!create && !QFileInfo::exists(path))
        return false;
    SqliteCallStore::Options options;
    options.owner = m_settings.owner;
    m_outbox = std::make_unique<SqliteCallStore>(path, options);
    if (!m_outbox->open()) {
        qWarning() << "call log: the outbox cannot be opened:" << m_outbox->errorText();
        return false;
    }
    m_outboxCalls = m_outbox->query(CallFilter(), 0).matching;
    return true;
}

bool CallLogWorker::moveToOutbox()
{
    if (m_pending.isEmpty())
        return true;
    // Should the outbox not open, they wait in memory, and at quit in the
    // side file.
    if (!openOutbox(true))
        return false;
    QVector<CallStore::Write> batch;
    for (const QString& uid : qAsConst(m_order)) {
        CallStore::Write w{m_pending.value(uid).record, true, 0, true};
        w.merge = true;
        batch.append(w);
    }
    if (!m_outbox->save(batch)) {
        qWarning() << "call log: the outbox cannot be written:" << m_outbox->errorText();
        return false;
    }
    m_pending.clear();
    m_order.clear();
    // Written whole again once the server is back.
    m_written.clear();
    m_outboxCalls = m_outbox->query(CallFilter(), 0).matching;
    reportBehind();
    return true;
}

bool CallLogWorker::replayOutbox()
{
    if (!openOutbox(false))
        return true;
    QVector<CallStore::Write> batch;
    QVector<qint64> ids;
    const bool read = m_outbox->forEachCall(CallFilter(), [&](const CallRecord& r) {
        CallStore::Write w{r, true, 0, true};
        w.merge = true;
        batch.append(w);
        ids.append(r.id);
        return true;
    });
    if (!read)
        return true;
    // In order, in one transaction: all of them or, should the server go
    // again, none, to be tried again.
    if (!batch.isEmpty() && !m_store->save(batch)) {
        handleFailure();
        return false;
    }
    if (m_outbox->remove(ids))
        m_outbox->scrub();
    m_outboxCalls = 0;
    return true;
}

void CallLogWorker::reportBehind()
{
    const int calls = m_reason.isEmpty() ? 0 : waitingCount();
    if (calls == m_reportedCalls && m_reason == m_reportedReason)
        return;
    m_reportedCalls = calls;
    m_reportedReason = m_reason;
    emit behind(calls, m_reason);
}

void CallLogWorker::add(const CallRecord& record, qint64 generation, bool keepNewer)
{
    if (!m_pending.contains(record.uid))
        m_order.append(record.uid);
    m_pending.insert(record.uid, {record, generation, keepNewer});
    if (!m_reason.isEmpty())
        reportBehind();
    if ((m_reason.isEmpty() || m_unreachableSince) && m_batchTimer && !m_batchTimer->isActive())
        m_batchTimer->start();
}

void CallLogWorker::save(const CallRecord& record)
{
    if (m_off)
        return;
    const UnitLease lease = m_leases.value(record.unitKey);
    if (lease.held && lease.adopted)
        add(record, lease.generation);
    else if (!lease.elsewhere || m_unreachableSince)
        // Until the recorder has adopted the calls of the unit's lease, or
        // while nobody knows who writes the unit (the server away): kept
        // should the program quit first, replaced by what the recorder
        // adopts, or sent from the outbox.
        add(record, -1);
    else if (isServer())
        follow(record);
}

void CallLogWorker::follow(const CallRecord& record)
{
    m_followed.insert(record.uid, record);
    const qint64 since = record.lastSeen - kFollowedMs;
    for (auto it = m_followed.begin(); it != m_followed.end();)
        it = it->ended > 0 && it->ended < since ? m_followed.erase(it) : std::next(it);
}

void CallLogWorker::settleUnit(const QString& unitKey, qint64 generation)
{
    for (int i = m_order.size() - 1; i >= 0; --i) {
        const auto it = m_pending.find(m_order.at(i));
        if (it == m_pending.end() || it->record.unitKey != unitKey || it->generation == 0)
            continue;
        if (generation > 0) {
            it->generation = generation;
        } else {
            m_pending.erase(it);
            m_order.remove(i);
        }
    }
}

bool CallLogWorker::writePending()
{
    if (m_unreachableSince && !m_off)
        moveToOutbox();
    // The server's connection went while nothing was asked of it: opened
    // again now, or found unreachable.
    if (!m_off && isServer() && m_store && !m_store->isOpen() && !m_retryTimer->isActive()) {
        tryOpen();
        return false;
    }
    if (m_off || !m_store || !m_store->isOpen())
        return false;
    m_batchTimer->stop();
    QVector<CallStore::Write> batch;
    for (const QString& uid : qAsConst(m_order)) {
        const Pending& p = m_pending[uid];
        if (p.generation >= 0)
            batch.append({p.record, !m_written.contains(uid), p.generation, p.keepNewer});
    }
    if (batch.isEmpty())
        return true;
    QStringList refused;
    if (!m_store->save(batch, &refused)) {
        handleFailure();
        return false;
    }
    for (const CallStore::Write& w : qAsConst(batch)) {
        m_written.insert(w.record.uid);
        m_pending.remove(w.record.uid);
    }
    m_order.erase(
        std::remove_if(m_order.begin(), m_order.end(), [this](const QString& uid) { return !m_pending.contains(uid); }),
        m_order.end());
    // Another program took these units while this one was not looking
    // (frozen, or the log unreachable for longer than a lease lasts).
    for (const QString& unit : qAsConst(refused)) {
        UnitLease& lease = m_leases[unit];
        const bool held = lease.held;
        lease.held = lease.adopted = false;
        lease.elsewhere = lease.wanted;
        lease.generation = 0;
        lease.nextClaim = m_settings.leaseClock();
        settleUnit(unit, 0);
        if (held)
            emit leaseLost(unit);
    }
    m_retryMs = 0;
    m_reason.clear();
    reportBehind();
    emit committed();
    return true;
}

void CallLogWorker::wantLease(const QString& unitKey, bool want)
{
    if (m_off)
        return;
    UnitLease& lease = m_leases[unitKey];
    if (lease.wanted == want)
        return;
    lease.wanted = want;
    if (want) {
        lease.releaseWhenAdopted = false;
        lease.nextClaim = 0;
        runLeases();
        return;
    }
    // The session is gone: what it saw is written, then another program
    // may take over; the open calls stay this program's until one does.
    lease.elsewhere = false;
    if (lease.held && !lease.adopted) {
        // What the recorder adopts is written first.
        lease.releaseWhenAdopted = true;
        return;
    }
    if (lease.held) {
        writePending();
        if (m_store && m_store->isOpen())
            m_store->releaseLease(unitKey, lease.generation);
        lease.held = lease.adopted = false;
    }
}

void CallLogWorker::adopt(const QString& unitKey, qint64 generation, const QVector<CallRecord>& records)
{
    UnitLease& lease = m_leases[unitKey];
    if (!lease.held || lease.generation != generation)
        return;
    lease.adopted = true;
    // What was kept while the lease was unknown is in the adopted picture.
    for (int i = m_order.size() - 1; i >= 0; --i) {
        const auto it = m_pending.find(m_order.at(i));
        if (it != m_pending.end() && it->record.unitKey == unitKey && it->generation < 0) {
            m_pending.erase(it);
            m_order.remove(i);
        }
    }
    for (const CallRecord& r : records)
        add(r, generation);
    writePending();
    if (lease.releaseWhenAdopted) {
        lease.releaseWhenAdopted = false;
        lease.wanted = true;
        wantLease(unitKey, false);
    }
}

void CallLogWorker::claim(const QString& unitKey, UnitLease& lease)
{
    const CallStore::Lease result = m_store->claimLease(unitKey);
    if (m_store->failure() != CallStore::NoFailure) {
        lease.nextClaim = m_settings.leaseClock() + CallStore::HeartbeatMs;
        handleFailure();
        return;
    }
    // Records made while the lease was unknown, or under an earlier lease of
    // this program, are written under this one when no other program held
    // the unit meanwhile; otherwise they give way to the other program's
    // and to what the recorder adopts.
    settleUnit(unitKey, result.held && result.continued ? result.generation : 0);
    if (!result.held) {
        lease.elsewhere = true;
        // Looked at again as soon as the holder's lease would expire.
        lease.nextClaim = m_settings.leaseClock() + std::min<qint64>(result.expiresInMs + 50, CallStore::HeartbeatMs);
        return;
    }
    for (auto it = m_followed.begin(); it != m_followed.end();)
        it = it->unitKey == unitKey ? m_followed.erase(it) : std::next(it);
    lease.held = true;
    lease.adopted = lease.releaseWhenAdopted = false;
    lease.elsewhere = false;
    lease.generation = result.generation;
    // Calls that ended a while ago are no business of this program; those
    // of the last hour may be ones it saw end while another was writing.
    const qint64 since = m_settings.clock() - 3600 * 1000;
    emit leaseGained(unitKey, result.generation, m_store->recentCalls(unitKey, since));
}

void CallLogWorker::runLeases()
{
    // The server's connection went while this desk only followed: opened
    // again now, or found unreachable, so that its calls go to the outbox.
    if (!m_off && isServer() && m_store && !m_store->isOpen() && !m_retryTimer->isActive()) {
        tryOpen();
        return;
    }
    if (m_off || !m_store || !m_store->isOpen())
        return;
    const qint64 now = m_settings.leaseClock();
    if (now - m_lastRenew >= CallStore::HeartbeatMs) {
        m_lastRenew = now;
        for (auto it = m_leases.begin(); it != m_leases.end(); ++it) {
            UnitLease& lease = it.value();
            if (lease.generation <= 0)
                continue;
            if (m_store->renewLease(it.key(), lease.generation))
                continue;
            if (m_store->failure() != CallStore::NoFailure) {
                // Tried again at the next beat; the lease lasts three.
                handleFailure();
                continue;
            }
            const bool held = lease.held;
            lease.generation = 0;
            lease.held = lease.adopted = false;
            lease.elsewhere = lease.wanted;
            lease.nextClaim = now;
            if (held) {
                settleUnit(it.key(), 0);
                emit leaseLost(it.key());
            }
        }
    }
    for (auto it = m_leases.begin(); it != m_leases.end(); ++it) {
        if (it->wanted && !it->held && it->nextClaim <= now && m_store->isOpen())
            claim(it.key(), it.value());
    }
    scheduleLeases();
}

void CallLogWorker::scheduleLeases()
{
    const qint64 now = m_settings.leaseClock();
    qint64 next = m_lastRenew + CallStore::HeartbeatMs;
    for (const UnitLease& lease : qAsConst(m_leases))
        if (lease.wanted && !lease.held)
            next = std::min(next, lease.nextClaim);
    m_leaseTimer->start(int(std::clamp<qint64>(next - now, 0, CallStore::HeartbeatMs)));
}

void CallLogWorker::pollChanges()
{
    if (m_store && m_store->isOpen() && m_store->othersWrote())
        emit committed();
}

void CallLogWorker::runScrub()
{
    // Another program reading keeps the journal for a moment: later then.
    m_scrubPending = !m_store || !m_store->isOpen() || !m_store->scrub();
    if (m_scrubPending && !m_retryTimer->isActive())
        m_retryTimer->start(kLongestRetryMs);
}

void CallLogWorker::flush(int ticket)
{
    writePending();
    emit flushed(ticket);
}

void CallLogWorker::query(int ticket, const CallFilter& filter, const CallSort& sort, int limit)
{
    CallQueryResult result;
    if (m_off) {
        result.error = QStringLiteral("the call log is off");
    } else if (!m_store || !m_store->isOpen()) {
        result.error = m_reason.isEmpty() ? QStringLiteral("the call log is not open yet") : m_reason;
    } else {
        // What the recorders reported is part of the answer.
        if (m_reason.isEmpty())
            writePending();
        result = m_store->querySorted(filter, sort, limit);
    }
    emit queried(ticket, result);
}

void CallLogWorker::exportCsv(int ticket, const CallFilter& filter, const QString& path, const CsvOptions& options)
{
    if (m_off || !m_store || !m_store->isOpen()) {
        emit exported(ticket, false, 0,
                      m_off ? QStringLiteral("the call log is off")
                            : (m_reason.isEmpty() ? QStringLiteral("the call log is not open yet") : m_reason));
        return;
    }
    if (m_reason.isEmpty())
        writePending();
    // Written aside and renamed at the end: a failed export leaves no
    // half-written file where the user expects a whole one. The callers'
    // details are personal data: the file is the user's alone.
    int rows = 0;
    QString error;
    const bool ok = PrivateFile::save(
        path, [&](QIODevice& file) { return m_store->exportCsv(filter, file, &rows, options); }, &error);
    if (!ok) {
        emit exported(ticket, false, 0,
                      m_store->failure() != CallStore::NoFailure
                          ? m_store->errorText()
                          : QStringLiteral("Cannot write %1: %2").arg(path, error));
        return;
    }
    emit exported(ticket, true, rows, QString());
}

void CallLogWorker::remove(const QVector<qint64>& ids)
{
    if (m_off || !m_store || !m_store->isOpen())
        return;
    writePending();
    if (!m_store->remove(ids)) {
        handleFailure();
        return;
    }
    runScrub();
    emit committed();
}

void CallLogWorker::setRetention(int days)
{
    if (m_settings.retentionDays < 0)
        return;
    m_settings.retentionDays = days;
    if (m_store && m_store->isOpen())
        m_store->setSharedRetentionDays(days);
    housekeeping();
}

void CallLogWorker::countRetention(int ticket, int days)
{
    if (!m_store || !m_store->isOpen()) {
        emit retentionCounted(ticket, -1, m_off ? QStringLiteral("the call log is off") : m_reason);
        return;
    }
    const CallStore::Retention result = m_store->applyRetention(days, m_settings.clock(), true);
    emit retentionCounted(ticket, result.ok ? result.calls : -1, result.ok ? result.refused : m_store->errorText());
}

void CallLogWorker::setCallerFlag(int ticket, const QString& name, const QString& location, const QString& flag)
{
    if (!m_store || !m_store->isOpen()) {
        emit callerFlagSet(ticket, false, m_off ? QStringLiteral("the call log is off") : m_reason);
        return;
    }
    // The call that brought the caller back may still wait in the backlog.
    writePending();
    const bool ok = m_store->setCallerFlag(name, location, flag);
    emit callerFlagSet(ticket, ok, ok ? QString() : m_store->errorText());
    if (ok)
        emit committed();
}

void CallLogWorker::shutdown()
{
    for (QTimer* t : {m_batchTimer, m_retryTimer, m_leaseTimer, m_pollTimer, m_retentionTimer})
        if (t)
            t->stop();
    QElapsedTimer clock;
    clock.start();
    const auto left = [&] { return int(std::max<qint64>(0, m_settings.quitWaitMs - clock.elapsed())); };
    // A log that is behind gets a few seconds, no more: a logout does not
    // wait for a locked file.
    while (!m_off) {
        if (m_store && m_store->isOpen()) {
            m_store->setBusyTimeout(left());
            if (writePending()) {
                m_store->dropLeases();
                break;
            }
        } else {
            m_settings.busyTimeoutMs = left();
            tryOpen();
            if (m_store && m_store->isOpen())
                continue;
        }
        if (left() <= 0 || m_off)
            break;
        QThread::msleep(std::min(100, left()));
    }
    if (!m_pending.isEmpty() && isServer() && !m_off)
        moveToOutbox();
    if (!m_pending.isEmpty()) {
        QVector<CallRecord> calls;
        for (const QString& uid : qAsConst(m_order))
            calls.append(m_pending.value(uid).record);
        const QString path = WaitingCalls::pathFor(m_settings.path, m_settings.owner);
        QString error;
        if (PrivateFile::write(path, WaitingCalls::encode(calls), &error))
            qWarning() << "call log:" << calls.size() << "calls could not be written; they wait in" << path;
        else
            qWarning() << "call log:" << calls.size() << "calls are lost: cannot write" << path << error;
    }
    m_store.reset();
    QThread::currentThread()->quit();
}
