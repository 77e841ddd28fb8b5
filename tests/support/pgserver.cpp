#include "tests/support/pgserver.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpServer>

#include <algorithm>

#include <pwd.h>
#include <unistd.h>

namespace testsupport {

namespace {

// Debian's server binaries, newest version first.
QString binary(const QString& name)
{
    QDir root(QStringLiteral("/usr/lib/postgresql"));
    QStringList versions = root.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(versions.begin(), versions.end(),
              [](const QString& a, const QString& b) { return a.toInt() > b.toInt(); });
    for (const QString& v : qAsConst(versions)) {
        const QString path = root.filePath(v + QStringLiteral("/bin/") + name);
        if (QFile::exists(path))
            return path;
    }
    return name;
}

bool asRoot()
{
    return ::geteuid() == 0;
}

} // namespace

PgServer::PgServer() = default;

PgServer::~PgServer()
{
    stop();
}

QString PgServer::socketFolder() const
{
    return m_dir ? m_dir->path() : QString();
}

bool PgServer::run(const QString& program, const QStringList& arguments, bool asServer, int timeoutMs)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setWorkingDirectory(socketFolder());
    if (asServer && asRoot())
        process.start(QStringLiteral("runuser"), QStringList{"-u", "postgres", "--", program} + arguments);
    else
        process.start(program, arguments);
    if (!process.waitForFinished(timeoutMs) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0) {
        m_error = QStringLiteral("%1 failed: %2").arg(program, QString::fromLocal8Bit(process.readAll()));
        return false;
    }
    return true;
}

bool PgServer::start(bool tcp)
{
    m_dir = std::make_unique<QTemporaryDir>();
    if (!m_dir->isValid())
        return false;
    const QByteArray folder = QFile::encodeName(socketFolder());
    if (asRoot()) {
        const passwd* user = ::getpwnam("postgres");
        if (!user || ::chown(folder.constData(), user->pw_uid, user->pw_gid) != 0) {
            m_error = QStringLiteral("no postgres user to run the server as");
            return false;
        }
    }
    const QString data = m_dir->filePath(QStringLiteral("data"));
    if (!run(binary(QStringLiteral("initdb")),
             {"-D", data, "-E", "UTF8", "--locale=C.UTF-8", "-A", "trust", "-U", "postgres", "-N"}, true))
        return false;
    QStringList conf
        = {QStringLiteral("unix_socket_directories = '%1'").arg(socketFolder()), QStringLiteral("fsync = off"),
           QStringLiteral("listen_addresses = ''"), QStringLiteral("port = 5432")};
    QByteArray hba = "local all desk scram-sha-256\nlocal all all trust\n";
    if (tcp) {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        m_tcpPort = probe.serverPort();
        probe.close();
        conf << QStringLiteral("listen_addresses = '127.0.0.1'") << QStringLiteral("port = %1").arg(m_tcpPort)
             << QStringLiteral("ssl = on") << QStringLiteral("ssl_cert_file = '%1/server.crt'").arg(data)
             << QStringLiteral("ssl_key_file = '%1/server.key'").arg(data);
        hba += "host all all 127.0.0.1/32 trust\n";
        // One self-signed certificate for 127.0.0.1 that is its own CA.
        if (!run(QStringLiteral("openssl"),
                 {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=127.0.0.1", "-addext",
                  "subjectAltName=IP:127.0.0.1,DNS:localhost", "-keyout", data + "/server.key", "-out",
                  data + "/server.crt"},
                 true))
            return false;
        m_tls.caFile = m_dir->filePath(QStringLiteral("ca.crt"));
        QFile::copy(data + QStringLiteral("/server.crt"), m_tls.caFile);
    }
    QFile config(data + QStringLiteral("/postgresql.auto.conf"));
    QFile access(data + QStringLiteral("/pg_hba.conf"));
    if (!config.open(QIODevice::Append) || !access.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        m_error = QStringLiteral("cannot write the server's configuration");
        return false;
    }
    config.write(conf.join(QLatin1Char('\n')).toUtf8() + '\n');
    access.write(hba);
    config.close();
    access.close();
    return restart() && sql(QStringLiteral("postgres"), QStringLiteral("CREATE ROLE desk LOGIN PASSWORD 'secret'"));
}

bool PgServer::restart()
{
    m_running = run(
        binary(QStringLiteral("pg_ctl")),
        {"-D", m_dir->filePath(QStringLiteral("data")), "-w", "-l", m_dir->filePath(QStringLiteral("log")), "start"},
        true);
    return m_running;
}

bool PgServer::stop()
{
    if (!m_running)
        return true;
    m_running = false;
    return run(binary(QStringLiteral("pg_ctl")),
               {"-D", m_dir->filePath(QStringLiteral("data")), "-m", "immediate", "-w", "stop"}, true);
}

QString PgServer::createDatabase()
{
    const QString name = QStringLiteral("mirt_%1").arg(++m_databases);
    return sql(QStringLiteral("postgres"), QStringLiteral("CREATE DATABASE %1").arg(name)) ? name : QString();
}

QString PgServer::uri(const QString& database) const
{
    return QStringLiteral("postgresql:///%1?host=%2&port=%3&user=postgres")
        .arg(database, socketFolder())
        .arg(m_tcpPort ? m_tcpPort : 5432);
}

bool PgServer::sql(const QString& database, const QString& statement)
{
    return run(binary(QStringLiteral("psql")),
               {"-X", "-q", "-v", "ON_ERROR_STOP=1", "-h", socketFolder(), "-p",
                QString::number(m_tcpPort ? m_tcpPort : 5432), "-U", "postgres", "-d", database, "-c", statement},
               false);
}

} // namespace testsupport
