#include "store/unittablemodel.h"

#include "support/qtcompat.h"

#include <QFile>
#include <QVariant>

#include <sys/stat.h>

namespace {
const char* const kHostTableKey = "hostTable";
}

UnitTableModel::UnitTableModel(QObject* parent)
    : QAbstractTableModel(parent)
    , m_settings(new Utf8Settings(QStringLiteral("Ardeno"), QStringLiteral("MIRT Orvel Desktop")))
{
}

UnitTableModel::~UnitTableModel()
{
    delete m_settings;
}

void UnitTableModel::load()
{
    const QVariantList stored = m_settings->value(QLatin1String(kHostTableKey)).toList();

    beginResetModel();
    m_rows.clear();
    for (const QVariant& row : stored)
        m_rows.append(row.toStringList());
    endResetModel();
}

void UnitTableModel::save()
{
    QVariantList stored;
    stored.reserve(m_rows.size());
    for (const QStringList& row : qAsConst(m_rows))
        stored.append(QVariant(row));
    m_settings->setValue(QLatin1String(kHostTableKey), stored);

    // Rows may carry passwords in plain text: write now rather than at
    // destruction, so a crash loses nothing, and keep other users out from
    // the first byte. The store writes a new file beside the old one and
    // gives it the old one's permissions, so a file that others may read
    // (left by an older version, or first written by a console saving its
    // geometry) is tightened before the write, and a file made anew is made
    // owner-only by a private umask held just for the write.
    const QString fileName = m_settings->fileName();
    const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup
        | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    if (QFile::exists(fileName) && (QFile::permissions(fileName) & others))
        QFile::setPermissions(fileName, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    const mode_t umaskBefore = ::umask(077);
    m_settings->sync();
    ::umask(umaskBefore);
}

QString UnitTableModel::settingsFileName() const
{
    return m_settings->fileName();
}

int UnitTableModel::rowCount(const QModelIndex&) const
{
    return m_rows.size();
}

int UnitTableModel::columnCount(const QModelIndex&) const
{
    return 3;
}

QVariant UnitTableModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid())
        return QVariant();
    if (index.row() < 0 || index.row() >= m_rows.size())
        return QVariant();
    const QStringList& row = m_rows.at(index.row());
    if (index.column() < 0 || index.column() >= row.size())
        return QVariant();
    return row.at(index.column());
}

bool UnitTableModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !index.isValid())
        return false;
    // An index of another model may be valid yet lie outside our rows.
    if (index.row() < 0 || index.row() >= m_rows.size() || index.column() < 0)
        return false;

    QStringList row = m_rows.at(index.row());
    while (row.size() < index.column() + 1)
        row.append(QString());
    row[index.column()] = value.toString();
    m_rows[index.row()] = row;

    emit dataChanged(index, index);
    return true;
}

QVariant UnitTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    switch (section) {
    case 0:
        return tr("Address : Port");
    case 1:
        return tr("Username");
    case 2:
        return tr("Password");
    default:
        return QVariant();
    }
}

bool UnitTableModel::insertRows(int row, int count, const QModelIndex&)
{
    // Qt asserts on a reversed or out-of-range insertion; refuse it instead.
    if (count <= 0 || row < 0 || row > m_rows.size())
        return false;
    beginInsertRows(QModelIndex(), row, row + count - 1);
    for (int i = 0; i < count; ++i)
        m_rows.insert(row, QStringList());
    endInsertRows();
    return true;
}

bool UnitTableModel::removeRows(int row, int count, const QModelIndex&)
{
    if (count <= 0 || row < 0)
        return false;
    if (row >= m_rows.size())
        return true;
    // Announce exactly the rows that exist, so views never see phantom rows.
    const int last = qMin(row + count, m_rows.size()) - 1;
    beginRemoveRows(QModelIndex(), row, last);
    for (int i = row; i <= last; ++i)
        m_rows.removeAt(row);
    endRemoveRows();
    return true;
}

Qt::ItemFlags UnitTableModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::ItemIsEnabled;
    return QAbstractTableModel::flags(index) | Qt::ItemIsEditable;
}
