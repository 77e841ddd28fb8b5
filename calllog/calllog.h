#pragma once

#include "calllog/callrecord.h"
#include "calllog/callrecorder.h"

#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>

class CallLogWorker;
class IPCObject;
class QThread;

// The show log of the whole program: one recorder per unit key, fed by the
// sessions of the consoles, and the database file written on a worker
// thread of its own, so neither a console nor the window ever waits for the
// disk. Searches and exports run on that thread too and answer with a
// signal. A file that cannot be used turns the log off with one message;
// the recorders and the consoles go on as before.
//
// The application owns one; the log window and the command-line export use
// it (or a CallStore directly).
class CallLog : public QObject
{
    Q_OBJECT

public:
    static constexpr int DefaultRetentionDays = 90;

    struct Options
    {
        QString path;
        // Calls first seen longer ago are deleted when the log opens; 0 keeps
        // them all.
        int retentionDays = DefaultRetentionDays;
        // How long to wait for another program that holds the file.
        int busyTimeoutMs = 5000;
        // Changes are gathered this long before they are written together.
        int batchMs = 200;
        // The recorders' and the retention's idea of now.
        CallRecorder::Clock clock;
    };

    enum State {
        Opening,
        Ready,
        Off,
    };

    // calls.sqlite in the user's data folder for this application.
    static QString defaultPath();
    // The one message the user sees when the file cannot be used.
    static QString offMessage(const QString& reason);

    explicit CallLog(const Options& options, QObject* parent = nullptr);
    // Writes what is pending (open calls included) and closes the file.
    ~CallLog() override;

    const QString& path() const { return m_options.path; }
    State state() const { return m_state; }
    bool isOff() const { return m_state == Off; }
    QString errorText() const { return m_error; }

    // The recorder of the unit key, made on first use, follows the session
    // from now until the session is destroyed.
    void attach(IPCObject& session, const QString& unitKey);
    CallRecorder* recorder(const QString& unitKey) const { return m_recorders.value(unitKey); }
    QStringList unitKeys() const { return m_recorders.keys(); }

    // Each returns a ticket that comes back with its answer.
    int query(const CallFilter& filter, int limit);
    int exportCsv(const CallFilter& filter, const QString& path);
    // Everything reported so far is in the file when flushed(ticket) comes.
    int flush();
    void remove(const QVector<qint64>& ids);

signals:
    void ready();
    void disabled(const QString& text);
    // Calls were written or deleted: a view of the log is out of date.
    void changed();
    void flushed(int ticket);
    void queryFinished(int ticket, const CallQueryResult& result);
    void exportFinished(int ticket, bool ok, int rows, const QString& error);

private:
    void save(const CallRecord& record);

    Options m_options;
    State m_state = Opening;
    QString m_error;
    QThread* m_thread = nullptr;
    CallLogWorker* m_worker = nullptr;
    QMap<QString, CallRecorder*> m_recorders;
    int m_nextTicket = 1;
};
