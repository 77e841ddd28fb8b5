#pragma once

#include "calllog/callrecord.h"

#include <QAbstractTableModel>
#include <QVector>

// The calls the log window shows, in the window's order, one row each.
// Holds the answer of the window's latest search; the log itself lives in
// CallLog. A newer answer to the same search is merged in row by row, so
// a view keeps its selection, current row and scroll position.
class CallTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column {
        DateTime,
        Unit,
        LineNumber,
        Name,
        Location,
        Topic,
        Wait,
        OnAir,
        Total,
        Outcome,
        ColumnCount,
    };

    explicit CallTableModel(QObject* parent = nullptr);

    void setRows(const QVector<CallRecord>& rows);
    // Makes the rows those given (by id) with the fewest changes: rows no
    // longer there removed, new ones inserted, moved ones moved, changed
    // ones updated; no reset.
    void updateRows(const QVector<CallRecord>& rows);
    // The column's order in the store; Time for a column without one.
    static CallSort::Key sortKey(int column);
    static int sortColumn(CallSort::Key key);
    const CallRecord& record(int row) const { return m_rows.at(row); }
    // -1 when no row holds that call.
    int rowOf(const QString& uid) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // "m:ss", or "h:mm:ss" from an hour on; empty for an unknown duration.
    static QString duration(qint64 ms);
    static QString outcomeText(const CallRecord& record);

private:
    QVector<CallRecord> m_rows;
};
