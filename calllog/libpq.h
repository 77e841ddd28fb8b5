#pragma once

#include <libpq-fe.h>

#include <QString>

// The few calls of the PostgreSQL client library the log makes itself (its
// URI parser and the state of a connection Qt's driver opened), resolved
// from the library the first time one is needed. Linked, libpq and what it
// pulls in (TLS, Kerberos, LDAP: twenty libraries) were loaded at every
// start, although most desks keep their log in a file and never talk to a
// server; Qt's PostgreSQL driver loads it when a server is first used.
namespace Libpq {

// Whether the library could be loaded; if not, why, in a line for the user.
bool available(QString* why = nullptr);

// As libpq's functions of the same names. Without the library, parse()
// returns null with a message made by malloc, which freemem() takes, and
// the two state calls answer "not connected".
PQconninfoOption* conninfoParse(const char* conninfo, char** message);
void conninfoFree(PQconninfoOption* options);
void freemem(void* pointer);
ConnStatusType status(const PGconn* connection);
int serverVersion(const PGconn* connection);

} // namespace Libpq
