#include "app/storagedialog.h"

#include "store/logstorage.h"

LogDatabase StorageChoice::saved()
{
    const LogStorage s = LogStorage::load();
    LogDatabase d;
    if (!s.server)
        return d;
    d.kind = LogDatabase::Postgres;
    d.host = s.host;
    d.port = s.port;
    d.database = s.database;
    d.user = s.user;
    d.password = s.password;
    d.sslMode = s.sslMode;
    d.sslRootCert = s.sslRootCert;
    return d;
}

void StorageChoice::save(const LogDatabase& d)
{
    LogStorage s;
    s.server = d.isServer();
    s.host = d.host;
    s.port = d.port;
    s.database = d.database;
    s.user = d.user;
    s.password = d.password;
    s.sslMode = d.sslMode;
    s.sslRootCert = d.sslRootCert;
    LogStorage::save(s);
}
