#pragma once

#include <QString>

// Where the call log lives: this computer's SQLite file, or a station's
// PostgreSQL server shared by every desk. Made from what the storage dialog
// saves or from a URI given on the command line:
//   sqlite:PATH
//   postgresql://[user[:password]@][host][:port][/database][?param=value&...]
//   postgres://... (the same)
// The PostgreSQL form is read by libpq's own parser; of its parameters the
// log uses host (a name, an address or a Unix socket folder), port, dbname,
// user, password, sslmode (disable, require, verify-full) and sslrootcert.
struct LogDatabase
{
    enum Kind {
        Sqlite,
        Postgres,
    };

    // A connection that takes longer than this fails: no desk waits on a
    // server that does not answer.
    static constexpr int ConnectTimeoutSeconds = 4;

    Kind kind = Sqlite;
    // The SQLite file.
    QString path;
    QString host;
    // 0: the default (5432).
    int port = 0;
    QString database;
    QString user;
    QString password;
    // disable, require or verify-full; empty: libpq's default.
    QString sslMode;
    QString sslRootCert;

    bool isServer() const { return kind == Postgres; }

    // False with a one-line reason for a URI that does not parse or asks
    // for what the log cannot do.
    static bool parse(const QString& uri, LogDatabase& out, QString* error = nullptr);
    // The URI again, without the password.
    QString uri() const;
    // For messages: "the station server mirt on db.example:5432".
    QString describe() const;
    // The options of Qt's PostgreSQL driver beyond host, port, database and
    // user: the TLS mode and the connect timeout.
    QString connectOptions() const;

    bool operator==(const LogDatabase& other) const;
    bool operator!=(const LogDatabase& other) const { return !(*this == other); }
};
