#include "console/callerhistorysource.h"

#include <QDateTime>

CallerHistorySource::~CallerHistorySource() = default;

QString HistoryCaller::text() const
{
    const QString count = calls == 1 ? QStringLiteral("1 call") : QStringLiteral("%1 calls").arg(calls);
    const QString last
        = QDateTime::fromMSecsSinceEpoch(lastCall, Qt::LocalTime).date().toString(QStringLiteral("yyyy-MM-dd"));
    QStringList parts{name};
    if (!location.trimmed().isEmpty())
        parts << location;
    parts << QStringLiteral("%1, last %2").arg(count, last);
    return parts.join(QStringLiteral(" \u2014 "));
}
