#include "calllog/callcsv.h"

#include "calllog/callrecord.h"

#include <QDateTime>

#include <cstdlib>

QStringList CallCsv::header()
{
    return {QStringLiteral("First seen"), QStringLiteral("Unit"),      QStringLiteral("User"),
            QStringLiteral("Line"),       QStringLiteral("Name"),      QStringLiteral("Location"),
            QStringLiteral("Topic"),      QStringLiteral("Notes"),     QStringLiteral("Gender"),
            QStringLiteral("Mood"),       QStringLiteral("Answered"),  QStringLiteral("First on air"),
            QStringLiteral("Ended"),      QStringLiteral("Wait (s)"),  QStringLiteral("On hold (s)"),
            QStringLiteral("On air (s)"), QStringLiteral("Total (s)"), QStringLiteral("Outcome"),
            QStringLiteral("Priority"),   QStringLiteral("Partial"),   QStringLiteral("Flag")};
    // New columns go here, after the last: scripts read by position.
}

QStringList CallCsv::fields(const CallRecord& r)
{
    const auto yesNo = [](bool b) { return b ? QStringLiteral("yes") : QStringLiteral("no"); };
    return {isoTime(r.firstSeen),
            r.unitKey,
            r.username,
            QString::number(r.line + 1),
            r.name,
            r.location,
            r.topic,
            r.notes,
            r.gender,
            r.mood,
            isoTime(r.answered),
            isoTime(r.firstOnAir),
            isoTime(r.ended),
            seconds(r.waitMs),
            seconds(r.holdMs),
            seconds(r.airMs),
            seconds(r.totalMs),
            r.isOpen() ? QStringLiteral("in progress") : CallRecord::outcomeKey(r.outcome),
            yesNo(r.priority),
            yesNo(r.partial),
            r.callerFlag};
}

QString CallCsv::quote(const QString& field)
{
    static const QString special = QStringLiteral(",\"\r\n");
    bool needed = false;
    for (QChar c : field) {
        if (special.contains(c)) {
            needed = true;
            break;
        }
    }
    if (!needed)
        return field;
    QString out = field;
    out.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + out + QLatin1Char('"');
}

QString CallCsv::guard(const QString& field)
{
    if (field.isEmpty())
        return field;
    const QChar first = field.at(0);
    if (first == QLatin1Char('\t') || first == QLatin1Char('\r'))
        return QLatin1Char('\'') + field;
    // Some spreadsheets trim the blanks in front of a cell before they
    // look for a formula.
    for (QChar c : field) {
        if (c == QLatin1Char(' ') || c == QLatin1Char('\n'))
            continue;
        if (c == QLatin1Char('=') || c == QLatin1Char('+') || c == QLatin1Char('-') || c == QLatin1Char('@'))
            return QLatin1Char('\'') + field;
        break;
    }
    return field;
}

QString CallCsv::line(const QStringList& fields, bool guardFormulas)
{
    QString out;
    for (int i = 0; i < fields.size(); ++i) {
        if (i > 0)
            out += QLatin1Char(',');
        out += quote(guardFormulas ? guard(fields.at(i)) : fields.at(i));
    }
    out += QLatin1String("\r\n");
    return out;
}

QString CallCsv::isoTime(qint64 ms)
{
    if (ms <= 0)
        return QString();
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(ms, Qt::LocalTime);
    int offset = local.offsetFromUtc();
    const QChar sign = offset < 0 ? QLatin1Char('-') : QLatin1Char('+');
    offset = std::abs(offset) / 60;
    return local.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss"))
        + QStringLiteral("%1%2:%3")
              .arg(sign)
              .arg(offset / 60, 2, 10, QLatin1Char('0'))
              .arg(offset % 60, 2, 10, QLatin1Char('0'));
}

QString CallCsv::seconds(qint64 ms)
{
    if (ms < 0)
        return QString();
    return QString::number((ms + 500) / 1000);
}
