#pragma once

#include "calllog/callrecord.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

// The calls a program could not write before it quit (the log was locked,
// the disk full), kept in an owner-only file beside the log until the next
// start writes them in: "<log>.waiting-<program>". A versioned binary
// form, read with bounds, since the file may be cut short by a full disk.
class WaitingCalls
{
public:
    static QString pathFor(const QString& logPath, const QString& owner);
    // The side files of every program that left one beside this log.
    static QStringList find(const QString& logPath);
    static QByteArray encode(const QVector<CallRecord>& calls);
    // False for anything but a whole file of this form.
    static bool decode(const QByteArray& bytes, QVector<CallRecord>& calls);
};
