#include "calllog/callrecord.h"

QString CallRecord::outcomeKey(Outcome outcome)
{
    switch (outcome) {
    case Missed:
        return QStringLiteral("missed");
    case Answered:
        return QStringLiteral("answered");
    case Aired:
        return QStringLiteral("aired");
    case Pending:
        break;
    }
    return QString();
}

CallRecord::Outcome CallRecord::outcomeFromKey(const QString& key)
{
    for (Outcome o : {Missed, Answered, Aired})
        if (key == outcomeKey(o))
            return o;
    return Pending;
}

bool CallRecord::operator==(const CallRecord& o) const
{
    return id == o.id && uid == o.uid && unitKey == o.unitKey && username == o.username && line == o.line
        && firstSeen == o.firstSeen && answered == o.answered && firstOnAir == o.firstOnAir && ended == o.ended
        && lastSeen == o.lastSeen && holdMs == o.holdMs && airMs == o.airMs && waitMs == o.waitMs
        && totalMs == o.totalMs && outcome == o.outcome && priority == o.priority && partial == o.partial
        && name == o.name && location == o.location && topic == o.topic && notes == o.notes && gender == o.gender
        && mood == o.mood;
}
