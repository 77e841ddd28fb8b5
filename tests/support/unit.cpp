#include "tests/support/unit.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {

namespace {

// A TCP socket on 127.0.0.1 that shares its port with the others made here
// (SO_REUSEPORT), listening or only bound; -1 when it cannot be made.
int portSocket(quint16 port, bool listening)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd >= 0 && ::setsockopt(fd, SOL_SOCKET, SO_REUSEPORT, &on, sizeof on) == 0
        && ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0
        && (!listening || ::listen(fd, 16) == 0))
        return fd;
    if (fd >= 0)
        ::close(fd);
    return -1;
}

} // namespace

std::unique_ptr<UnitSimulator> startUnit(const QString& password)
{
    auto unit = std::make_unique<UnitSimulator>();
    unit->setPassword(password);
    return unit->start(0) ? std::move(unit) : nullptr;
}

QString unitKey(const UnitSimulator& unit)
{
    return QStringLiteral("127.0.0.1:%1").arg(unit.port());
}

RestartableUnit::RestartableUnit()
{
    restart();
}

RestartableUnit::~RestartableUnit()
{
    m_unit.reset();
    if (m_hold >= 0)
        ::close(m_hold);
}

void RestartableUnit::stop(bool reset)
{
    // Bound before the listener goes, so the port is never free.
    m_hold = portSocket(m_port, false);
    if (reset)
        m_unit->dropAllConnections();
    m_unit.reset();
}

bool RestartableUnit::restart()
{
    const int fd = portSocket(m_port, true);
    auto unit = std::make_unique<UnitSimulator>();
    if (fd < 0 || !unit->setSocketDescriptor(fd)) {
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    m_port = unit->serverPort();
    m_unit = std::move(unit);
    if (m_hold >= 0)
        ::close(m_hold);
    m_hold = -1;
    return true;
}

} // namespace testsupport
