#include "calllog/calltablemodel.h"

#include <QDateTime>

CallTableModel::CallTableModel(QObject* parent)
    : QAbstractTableModel(parent)
{
}

void CallTableModel::setRows(const QVector<CallRecord>& rows)
{
    beginResetModel();
    m_rows = rows;
    endResetModel();
}

int CallTableModel::rowOf(const QString& uid) const
{
    for (int i = 0; i < m_rows.size(); ++i)
        if (m_rows.at(i).uid == uid)
            return i;
    return -1;
}

int CallTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows.size();
}

int CallTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString CallTableModel::duration(qint64 ms)
{
    if (ms < 0)
        return QString();
    const qint64 total = (ms + 500) / 1000;
    const qint64 h = total / 3600;
    const qint64 m = (total / 60) % 60;
    const qint64 s = total % 60;
    if (h > 0)
        return QStringLiteral("%1:%2:%3").arg(h).arg(m, 2, 10, QLatin1Char('0')).arg(s, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(m).arg(s, 2, 10, QLatin1Char('0'));
}

QString CallTableModel::outcomeText(const CallRecord& r)
{
    if (r.isOpen())
        return tr("In progress");
    switch (r.outcome) {
    case CallRecord::Missed:
        return tr("Missed");
    case CallRecord::Answered:
        return tr("Answered");
    case CallRecord::Aired:
        return tr("Aired");
    case CallRecord::Pending:
        break;
    }
    return QString();
}

QVariant CallTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return QVariant();
    const CallRecord& r = m_rows.at(index.row());
    if (role == Qt::ToolTipRole) {
        QStringList tips;
        if (r.priority)
            tips << tr("Priority caller");
        if (r.partial)
            tips << tr("The log saw only part of this call");
        return tips.isEmpty() ? QVariant() : QVariant(tips.join(QLatin1Char('\n')));
    }
    if (role == Qt::TextAlignmentRole) {
        switch (index.column()) {
        case LineNumber:
        case Wait:
        case OnAir:
        case Total:
            return int(Qt::AlignRight | Qt::AlignVCenter);
        default:
            return QVariant();
        }
    }
    if (role != Qt::DisplayRole)
        return QVariant();
    switch (index.column()) {
    case DateTime:
        return QDateTime::fromMSecsSinceEpoch(r.firstSeen, Qt::LocalTime)
            .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    case Unit:
        return r.unitKey;
    case LineNumber:
        return r.line + 1;
    case Name:
        return r.name;
    case Location:
        return r.location;
    case Topic:
        return r.topic;
    case Wait:
        return duration(r.waitMs);
    case OnAir:
        return r.airMs > 0 ? duration(r.airMs) : QString();
    case Total:
        return duration(r.totalMs);
    case Outcome:
        return outcomeText(r) + (r.partial ? QStringLiteral(" *") : QString());
    default:
        return QVariant();
    }
}

QVariant CallTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case DateTime:
        return tr("Date and time");
    case Unit:
        return tr("Unit");
    case LineNumber:
        return tr("Line");
    case Name:
        return tr("Name");
    case Location:
        return tr("Location");
    case Topic:
        return tr("Topic");
    case Wait:
        return tr("Wait");
    case OnAir:
        return tr("On air");
    case Total:
        return tr("Total");
    case Outcome:
        return tr("Outcome");
    default:
        return QVariant();
    }
}
