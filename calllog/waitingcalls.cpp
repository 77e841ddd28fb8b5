#include "calllog/waitingcalls.h"

#include <QDataStream>
#include <QDir>
#include <QFileInfo>

namespace {

const quint32 kMagic = 0x4d495754; // "MIWT"
const quint32 kVersion = 1;
// More calls than a season of shows; a count beyond it is damage.
const quint32 kMaxCalls = 1000000;

QDataStream& operator<<(QDataStream& out, const CallRecord& r)
{
    return out << r.uid << r.unitKey << r.username << qint32(r.line) << r.firstSeen << r.answered << r.firstOnAir
               << r.ended << r.lastSeen << r.holdMs << r.airMs << r.waitMs << r.totalMs << qint32(r.outcome)
               << r.priority << r.partial << r.name << r.location << r.topic << r.notes << r.gender << r.mood;
}

QDataStream& operator>>(QDataStream& in, CallRecord& r)
{
    qint32 line = 0;
    qint32 outcome = 0;
    in >> r.uid >> r.unitKey >> r.username >> line >> r.firstSeen >> r.answered >> r.firstOnAir >> r.ended >> r.lastSeen
        >> r.holdMs >> r.airMs >> r.waitMs >> r.totalMs >> outcome >> r.priority >> r.partial >> r.name >> r.location
        >> r.topic >> r.notes >> r.gender >> r.mood;
    r.line = line;
    r.outcome = outcome >= CallRecord::Pending && outcome <= CallRecord::Aired ? CallRecord::Outcome(outcome)
                                                                               : CallRecord::Pending;
    return in;
}

} // namespace

QString WaitingCalls::pathFor(const QString& logPath, const QString& owner)
{
    return logPath + QStringLiteral(".waiting-") + owner.left(8);
}

QStringList WaitingCalls::find(const QString& logPath)
{
    const QFileInfo log(logPath);
    QStringList out;
    const QDir folder = log.absoluteDir();
    for (const QString& name : folder.entryList({log.fileName() + QStringLiteral(".waiting-*")}, QDir::Files))
        if (!name.endsWith(QLatin1String(".part")))
            out << folder.filePath(name);
    return out;
}

QByteArray WaitingCalls::encode(const QVector<CallRecord>& calls)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_5_15);
    out << kMagic << kVersion << quint32(calls.size());
    for (const CallRecord& r : calls)
        out << r;
    return bytes;
}

bool WaitingCalls::decode(const QByteArray& bytes, QVector<CallRecord>& calls)
{
    QDataStream in(bytes);
    in.setVersion(QDataStream::Qt_5_15);
    quint32 magic = 0;
    quint32 version = 0;
    quint32 count = 0;
    in >> magic >> version >> count;
    if (in.status() != QDataStream::Ok || magic != kMagic || version != kVersion || count > kMaxCalls)
        return false;
    calls.clear();
    for (quint32 i = 0; i < count && in.status() == QDataStream::Ok; ++i) {
        CallRecord r;
        in >> r;
        calls.append(r);
    }
    return in.status() == QDataStream::Ok && in.atEnd();
}
