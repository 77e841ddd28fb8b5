#pragma once

#include <QMetaType>
#include <QObject>
#include <QString>
#include <QVector>

// One earlier caller offered while a name is typed.
struct HistoryCaller
{
    QString name;
    QString location;
    int calls = 0;
    // Milliseconds since the epoch.
    qint64 lastCall = 0;
    QString flag;

    // "name — location — N calls, last <date>", the location left out
    // when there is none.
    QString text() const;
};

// One earlier call of a caller.
struct HistoryCall
{
    // When it was first seen, milliseconds since the epoch.
    qint64 when = 0;
    QString unit;
    // 0-based, as on the wire.
    int line = 0;
    QString topic;
    // "missed", "answered", "aired"; empty while the call goes on.
    QString outcome;
    // -1 when unknown.
    qint64 waitMs = -1;
    qint64 airMs = 0;
    QString notes;
    bool inProgress = false;
};

// What the log knows of one caller (a name, and a location when one is
// known).
struct HistoryAnswer
{
    bool ok = false;
    QString error;
    // Calls of this caller, and those of them that have ended: the calls
    // before the one on the line now.
    int calls = 0;
    int earlierCalls = 0;
    QString flag;
    // Newest first.
    QVector<HistoryCall> recent;
};

// Where a console learns about its callers' earlier calls, without knowing
// where they are kept: the application hands each console one made over its
// call log. Every question returns at once with a ticket, and its answer
// comes later as a signal carrying that ticket, from a lookup that never
// runs on the thread that asked; a question may also never be answered (a
// newer one from the same asker superseded it). Nothing here waits.
class CallerHistorySource : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;
    ~CallerHistorySource() override;

    // Earlier callers whose name contains the typed text (compared without
    // case, accents or extra spaces), the most recent first. A new question
    // supersedes the ones still waiting.
    virtual int findCallers(const QString& typed, int limit) = 0;
    // A caller's calls, the newest limit of them whole.
    virtual int lookUpCaller(const QString& name, const QString& location, int limit) = 0;
    // Sets or (empty) clears the note kept with a caller across calls.
    virtual int setCallerFlag(const QString& name, const QString& location, const QString& flag) = 0;

signals:
    void callersFound(int ticket, const QVector<HistoryCaller>& callers);
    void callerFound(int ticket, const HistoryAnswer& answer);
    void flagSet(int ticket, bool ok, const QString& error);
    // What the log holds changed: answers given before may be out of date.
    void changed();
};

Q_DECLARE_METATYPE(HistoryCaller)
Q_DECLARE_METATYPE(HistoryAnswer)
