#pragma once

#include "calllog/callrecord.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QVector>

#include <memory>

class CallStore;
class QTimer;

// The call log's side of its worker thread: owns the store (and so the
// database connection, which lives in this thread only), gathers the
// records the recorders report into batches written in one transaction, and
// answers searches and exports. Created by CallLog and moved to its thread;
// every operation arrives as a queued call, in order, so a search sees every
// record reported before it.
class CallLogWorker : public QObject
{
    Q_OBJECT

public:
    struct Settings
    {
        QString path;
        int retentionDays = 90;
        int busyTimeoutMs = 5000;
        int batchMs = 200;
        qint64 nowMs = 0;
    };

    explicit CallLogWorker(const Settings& settings);
    ~CallLogWorker() override;

    void open();
    void save(const CallRecord& record);
    void flush(int ticket);
    void query(int ticket, const CallFilter& filter, int limit);
    void exportCsv(int ticket, const CallFilter& filter, const QString& path);
    void remove(const QVector<qint64>& ids);
    // Writes what is pending, closes the file and ends the thread's loop.
    void shutdown();

signals:
    void opened();
    void failed(const QString& text);
    // A batch (or a delete) reached the file.
    void committed();
    void flushed(int ticket);
    void queried(int ticket, const CallQueryResult& result);
    void exported(int ticket, bool ok, int rows, const QString& error);

private:
    bool writePending();
    // The file failed: everything stops, once, with the store's message.
    void turnOff();

    Settings m_settings;
    std::unique_ptr<CallStore> m_store;
    bool m_off = false;
    QTimer* m_batchTimer = nullptr;
    // Latest record per call, in the order the calls first appeared.
    QVector<QString> m_order;
    QHash<QString, CallRecord> m_pending;
    // Calls written at least once in this run.
    QSet<QString> m_written;
};
