#include "calllog/logdatabase.h"

#include "calllog/libpq.h"

#include <QDir>
#include <QUrl>
#include <QUrlQuery>

namespace {

bool failed(QString* error, const QString& text)
{
    if (error)
        *error = text;
    return false;
}

// A value of libpq's key=value form, quoted.
QString quoted(QString value)
{
    value.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    value.replace(QLatin1Char('\''), QLatin1String("\\'"));
    return QLatin1Char('\'') + value + QLatin1Char('\'');
}

} // namespace

bool LogDatabase::parse(const QString& uri, LogDatabase& out, QString* error)
{
    out = LogDatabase();
    if (uri.startsWith(QLatin1String("sqlite:"))) {
        out.path = uri.mid(7);
        if (out.path.startsWith(QLatin1String("//")))
            out.path = QUrl(uri).toLocalFile();
        if (out.path.isEmpty())
            return failed(error, QStringLiteral("'%1' names no file after sqlite:").arg(uri));
        out.path = QDir::cleanPath(QDir::current().absoluteFilePath(out.path));
        return true;
    }
    if (!uri.startsWith(QLatin1String("postgresql://")) && !uri.startsWith(QLatin1String("postgres://")))
        return failed(error, QStringLiteral("'%1' is not a call log URI (postgresql://... or sqlite:PATH)").arg(uri));

    char* message = nullptr;
    PQconninfoOption* options = Libpq::conninfoParse(uri.toUtf8().constData(), &message);
    if (!options) {
        const QString why = message ? QString::fromUtf8(message).trimmed() : QStringLiteral("out of memory");
        Libpq::freemem(message);
        return failed(error, QStringLiteral("'%1' does not parse: %2").arg(uri, why));
    }
    out.kind = Postgres;
    QString problem;
    for (PQconninfoOption* o = options; o->keyword; ++o) {
        if (!o->val)
            continue;
        const QString key = QString::fromUtf8(o->keyword);
        const QString value = QString::fromUtf8(o->val);
        if (key == QLatin1String("host"))
            out.host = value;
        else if (key == QLatin1String("port"))
            out.port = value.toInt();
        else if (key == QLatin1String("dbname"))
            out.database = value;
        else if (key == QLatin1String("user"))
            out.user = value;
        else if (key == QLatin1String("password"))
            out.password = value;
        else if (key == QLatin1String("sslmode"))
            out.sslMode = value;
        else if (key == QLatin1String("sslrootcert"))
            out.sslRootCert = value;
        else if (key != QLatin1String("connect_timeout") && key != QLatin1String("application_name"))
            problem = QStringLiteral("'%1': the call log does not use the parameter %2").arg(uri, key);
        if (key == QLatin1String("port") && (out.port < 1 || out.port > 65535 || QString::number(out.port) != value))
            problem = QStringLiteral("'%1': %2 is no port").arg(uri, value);
    }
    Libpq::conninfoFree(options);
    if (!problem.isEmpty())
        return failed(error, problem);
    if (out.host.contains(QLatin1Char(',')))
        return failed(error, QStringLiteral("'%1': the call log takes one server, not several").arg(uri));
    static const QStringList modes = {"disable", "allow", "prefer", "require", "verify-ca", "verify-full"};
    if (!out.sslMode.isEmpty() && !modes.contains(out.sslMode))
        return failed(error,
                      QStringLiteral("'%1': sslmode must be one of %2").arg(uri, modes.join(QStringLiteral(", "))));
    if (out.database.isEmpty())
        return failed(error, QStringLiteral("'%1' names no database").arg(uri));
    return true;
}

QString LogDatabase::uri() const
{
    if (kind == Sqlite)
        return QStringLiteral("sqlite:") + path;
    QUrl url;
    url.setScheme(QStringLiteral("postgresql"));
    url.setUserName(user);
    url.setPath(QLatin1Char('/') + database);
    QUrlQuery query;
    // A socket folder cannot be the URI's host part.
    if (host.startsWith(QLatin1Char('/')))
        query.addQueryItem(QStringLiteral("host"), host);
    else
        url.setHost(host.isEmpty() ? QString() : host);
    if (port > 0)
        url.setPort(port);
    if (!sslMode.isEmpty())
        query.addQueryItem(QStringLiteral("sslmode"), sslMode);
    if (!sslRootCert.isEmpty())
        query.addQueryItem(QStringLiteral("sslrootcert"), sslRootCert);
    url.setQuery(query);
    QString text = url.toString(QUrl::FullyEncoded);
    // QUrl writes an empty authority as "postgresql:/db"; libpq wants "//".
    if (!text.startsWith(QLatin1String("postgresql://")))
        text.replace(0, 11, QStringLiteral("postgresql://"));
    return text;
}

QString LogDatabase::describe() const
{
    if (kind == Sqlite)
        return QDir::toNativeSeparators(path);
    const QString where = host.isEmpty() ? QStringLiteral("the local socket") : host;
    return QStringLiteral("the station server %1 on %2%3")
        .arg(database, where, port > 0 ? QStringLiteral(":%1").arg(port) : QString());
}

QString LogDatabase::connectOptions() const
{
    QStringList options{QStringLiteral("connect_timeout=%1").arg(ConnectTimeoutSeconds),
                        QStringLiteral("application_name=mirt-desktop")};
    if (!sslMode.isEmpty())
        options << QStringLiteral("sslmode=") + sslMode;
    if (!sslRootCert.isEmpty())
        options << QStringLiteral("sslrootcert=") + quoted(sslRootCert);
    return options.join(QLatin1Char(';'));
}

bool LogDatabase::operator==(const LogDatabase& o) const
{
    return kind == o.kind && path == o.path && host == o.host && port == o.port && database == o.database
        && user == o.user && password == o.password && sslMode == o.sslMode && sslRootCert == o.sslRootCert;
}
