#pragma once

#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace testsupport {

// A private PostgreSQL server for one test program, made from Debian's
// server binaries in a temporary folder and removed with the object. It
// listens on a Unix socket in that folder only, unless a TCP port is asked
// for (then on 127.0.0.1, at a port found free by binding port 0). The
// server refuses to run as the superuser, so when the tests run as root the
// folder is handed to the postgres user and the server started as that user.
//
// The superuser role is "postgres" with no password over the socket; the
// role "desk" needs the password "secret" (for the wrong-password rows).
class PgServer
{
public:
    struct Tls
    {
        // The server's certificate (for 127.0.0.1 and localhost) and the CA
        // that signed it, made by start().
        QString caFile;
    };

    PgServer();
    ~PgServer();
    PgServer(const PgServer&) = delete;
    PgServer& operator=(const PgServer&) = delete;

    // initdb and pg_ctl start; tcp adds a listener on 127.0.0.1 with TLS.
    bool start(bool tcp = false);
    bool stop();
    // Starts the server made by start() again.
    bool restart();
    QString error() const { return m_error; }

    QString socketFolder() const;
    int tcpPort() const { return m_tcpPort; }
    const Tls& tls() const { return m_tls; }
    // A new empty database owned by desk; its name.
    QString createDatabase();
    // postgresql:///NAME?host=<socket folder>&user=postgres
    QString uri(const QString& database) const;
    // Runs SQL as the superuser in database; false with error() on failure.
    bool sql(const QString& database, const QString& statement);

private:
    bool run(const QString& program, const QStringList& arguments, bool asServer, int timeoutMs = 60000);

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_error;
    int m_tcpPort = 0;
    Tls m_tls;
    bool m_running = false;
    int m_databases = 0;
};

} // namespace testsupport
