#pragma once

#include <QString>

// Where the user chose to keep the call log, as saved between runs under
// the calllog/ keys of the settings: this computer's file (the default) or
// a station's PostgreSQL server. The password lives in the same owner-only
// settings file as the units' passwords.
struct LogStorage
{
    bool server = false;
    QString host;
    int port = 0;
    QString database;
    QString user;
    QString password;
    // disable, require or verify-full.
    QString sslMode;
    QString sslRootCert;

    static LogStorage load();
    // Written at once, the file kept owner-only.
    static void save(const LogStorage& storage);
};
