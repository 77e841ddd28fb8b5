#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QStringList>

class QSettings;

// The directory of saved units, one row per unit: column 0 the unit key
// "address:port", column 1 the user name, column 2 an optional saved password.
// Owned by the main window; reads and writes its rows under "hostTable" in the
// user's settings.
class UnitTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit UnitTableModel(QObject* parent = nullptr);
    ~UnitTableModel() override;

    void load();
    void save();

    // The file behind the settings store; it may hold passwords, so save()
    // keeps it readable and writable by its owner only.
    QString settingsFileName() const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool insertRows(int row, int count, const QModelIndex& parent = QModelIndex()) override;
    bool removeRows(int row, int count, const QModelIndex& parent = QModelIndex()) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    QList<QStringList> m_rows;
    QSettings* m_settings;
};
