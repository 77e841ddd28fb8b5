#include "store/logstorage.h"

#include "support/qtcompat.h"

#include <QFile>

#include <sys/stat.h>

namespace {

Utf8Settings settings()
{
    return Utf8Settings(QStringLiteral("Ardeno"), QStringLiteral("MIRT Orvel Desktop"));
}

} // namespace

LogStorage LogStorage::load()
{
    const Utf8Settings s = settings();
    LogStorage storage;
    storage.server = s.value(QStringLiteral("calllog/storage")).toString() == QLatin1String("postgresql");
    storage.host = s.value(QStringLiteral("calllog/host")).toString();
    storage.port = s.value(QStringLiteral("calllog/port"), 0).toInt();
    storage.database = s.value(QStringLiteral("calllog/database")).toString();
    storage.user = s.value(QStringLiteral("calllog/user")).toString();
    storage.password = s.value(QStringLiteral("calllog/password")).toString();
    storage.sslMode = s.value(QStringLiteral("calllog/sslmode")).toString();
    storage.sslRootCert = s.value(QStringLiteral("calllog/sslrootcert")).toString();
    return storage;
}

void LogStorage::save(const LogStorage& storage)
{
    Utf8Settings s = settings();
    s.setValue(QStringLiteral("calllog/storage"), QLatin1String(storage.server ? "postgresql" : "sqlite"));
    s.setValue(QStringLiteral("calllog/host"), storage.host);
    s.setValue(QStringLiteral("calllog/port"), storage.port);
    s.setValue(QStringLiteral("calllog/database"), storage.database);
    s.setValue(QStringLiteral("calllog/user"), storage.user);
    s.setValue(QStringLiteral("calllog/password"), storage.password);
    s.setValue(QStringLiteral("calllog/sslmode"), storage.sslMode);
    s.setValue(QStringLiteral("calllog/sslrootcert"), storage.sslRootCert);
    // The password is kept as the units' are: the file owner-only from its
    // first byte.
    const QString fileName = s.fileName();
    if (QFile::exists(fileName))
        QFile::setPermissions(fileName, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    const mode_t umaskBefore = ::umask(077);
    s.sync();
    ::umask(umaskBefore);
}
