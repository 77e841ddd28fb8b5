#include "calllog/libpq.h"

#include <QByteArray>
#include <QMutex>
#include <QMutexLocker>

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>

namespace {

struct Functions
{
    decltype(&PQconninfoParse) conninfoParse = nullptr;
    decltype(&PQconninfoFree) conninfoFree = nullptr;
    decltype(&PQfreemem) freemem = nullptr;
    decltype(&PQstatus) status = nullptr;
    decltype(&PQserverVersion) serverVersion = nullptr;
    QString error;
};

template <typename F> bool resolve(void* library, const char* name, F* out)
{
    *out = reinterpret_cast<F>(dlsym(library, name));
    return *out != nullptr;
}

// Loaded once, by whichever thread asks first (the GUI parsing a URI, the
// log's worker reading a connection's state), and kept for the process.
const Functions& functions()
{
    static QMutex mutex;
    static Functions f;
    static bool tried = false;
    QMutexLocker lock(&mutex);
    if (tried)
        return f;
    tried = true;
    void* library = dlopen("libpq.so.5", RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        f.error = QStringLiteral("the PostgreSQL client library could not be loaded (%1)")
                      .arg(QString::fromLocal8Bit(dlerror()));
        return f;
    }
    if (!resolve(library, "PQconninfoParse", &f.conninfoParse) || !resolve(library, "PQconninfoFree", &f.conninfoFree)
        || !resolve(library, "PQfreemem", &f.freemem) || !resolve(library, "PQstatus", &f.status)
        || !resolve(library, "PQserverVersion", &f.serverVersion)) {
        f = Functions();
        f.error = QStringLiteral("the PostgreSQL client library lacks a function the log needs");
    }
    return f;
}

} // namespace

bool Libpq::available(QString* why)
{
    const Functions& f = functions();
    if (why)
        *why = f.error;
    return f.conninfoParse != nullptr;
}

PQconninfoOption* Libpq::conninfoParse(const char* conninfo, char** message)
{
    const Functions& f = functions();
    if (f.conninfoParse)
        return f.conninfoParse(conninfo, message);
    if (message) {
        const QByteArray text = f.error.toUtf8();
        *message = static_cast<char*>(std::malloc(size_t(text.size()) + 1));
        if (*message)
            std::memcpy(*message, text.constData(), size_t(text.size()) + 1);
    }
    return nullptr;
}

void Libpq::conninfoFree(PQconninfoOption* options)
{
    if (options && functions().conninfoFree)
        functions().conninfoFree(options);
}

void Libpq::freemem(void* pointer)
{
    if (!pointer)
        return;
    if (functions().freemem)
        functions().freemem(pointer);
    else
        std::free(pointer);
}

ConnStatusType Libpq::status(const PGconn* connection)
{
    return functions().status ? functions().status(connection) : CONNECTION_BAD;
}

int Libpq::serverVersion(const PGconn* connection)
{
    return functions().serverVersion ? functions().serverVersion(connection) : 0;
}
