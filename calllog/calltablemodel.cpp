#include "calllog/calltablemodel.h"

#include <QDateTime>
#include <QSet>

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

void CallTableModel::updateRows(const QVector<CallRecord>& rows)
{
    QSet<qint64> wanted;
    for (const CallRecord& r : rows)
        wanted.insert(r.id);
    // What is gone, from the bottom up, a run at a time.
    for (int last = m_rows.size() - 1; last >= 0;) {
        if (wanted.contains(m_rows.at(last).id)) {
            --last;
            continue;
        }
        int first = last;
        while (first > 0 && !wanted.contains(m_rows.at(first - 1).id))
            --first;
        beginRemoveRows(QModelIndex(), first, last);
        m_rows.remove(first, last - first + 1);
        endRemoveRows();
        last = first - 1;
    }
    QSet<qint64> present;
    for (const CallRecord& r : qAsConst(m_rows))
        present.insert(r.id);
    // Then row by row in the new order. A live search mostly adds a row at
    // the top and changes a few: each search below runs rarely.
    for (int i = 0; i < rows.size(); ++i) {
        const CallRecord& r = rows.at(i);
        if (!present.contains(r.id)) {
            int last = i;
            while (last + 1 < rows.size() && !present.contains(rows.at(last + 1).id))
                ++last;
            beginInsertRows(QModelIndex(), i, last);
            for (int k = i; k <= last; ++k)
                m_rows.insert(k, rows.at(k));
            endInsertRows();
            i = last;
            continue;
        }
        if (m_rows.at(i).id != r.id) {
            int from = i + 1;
            while (m_rows.at(from).id != r.id)
                ++from;
            beginMoveRows(QModelIndex(), from, from, QModelIndex(), i);
            m_rows.move(from, i);
            endMoveRows();
        }
        if (m_rows.at(i) != r) {
            m_rows[i] = r;
            emit dataChanged(index(i, 0), index(i, ColumnCount - 1));
        }
    }
}

CallSort::Key CallTableModel::sortKey(int column)
{
    switch (column) {
    case Unit:
        return CallSort::Unit;
    case LineNumber:
        return CallSort::Line;
    case Name:
        return CallSort::Name;
    case Location:
        return CallSort::Location;
    case Topic:
        return CallSort::Topic;
    case Wait:
        return CallSort::Wait;
    case OnAir:
        return CallSort::OnAir;
    case Total:
        return CallSort::Total;
    case Outcome:
        return CallSort::Outcome;
    default:
        return CallSort::Time;
    }
}

int CallTableModel::sortColumn(CallSort::Key key)
{
    for (int column = 0; column < ColumnCount; ++column)
        if (sortKey(column) == key)
            return column;
    return DateTime;
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
    // A first click on a header sorts times newest first and durations
    // longest first, texts and numbers from the lowest.
    if (orientation == Qt::Horizontal && role == Qt::InitialSortOrderRole)
        return int(section == DateTime || section == Wait || section == OnAir || section == Total ? Qt::DescendingOrder
                                                                                                  : Qt::AscendingOrder);
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
