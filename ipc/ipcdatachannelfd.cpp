#include "ipc/ipcdatachannelfd.h"

#include "support/exception.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

IPCDataChannelFD::IPCDataChannelFD() = default;

IPCDataChannelFD::~IPCDataChannelFD()
{
    do_close();
}

void IPCDataChannelFD::close()
{
    Locker locker(*this);
    do_close();
}

void IPCDataChannelFD::do_close()
{
    if (m_fd != -1)
        ::close(m_fd);
    m_fd = -1;
    clear_failed();
}

bool IPCDataChannelFD::write_pending() const
{
    return false;
}

void IPCDataChannelFD::set_fd(int fd)
{
    Locker locker(*this);
    do_close();
    m_fd = fd;
}

int IPCDataChannelFD::get_fd() const
{
    Locker locker(*this);
    return m_fd;
}

bool IPCDataChannelFD::is_open() const
{
    Locker locker(*this);
    return m_fd != -1;
}

void IPCDataChannelFD::set_blocking(bool blocking)
{
    Locker locker(*this);
    if (m_fd == -1)
        return;
    const int flags = fcntl(m_fd, F_GETFL);
    if (flags == -1)
        return;
    fcntl(m_fd, F_SETFL, blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK));
}

void IPCDataChannelFD::wait_for_message(unsigned int timeout_ms)
{
    const int fd = get_fd();
    if (fd == -1)
        return;

    // poll() rather than select(): the same wait, without select's undefined
    // behaviour for descriptors at or above FD_SETSIZE.
    pollfd p{};
    p.fd = fd;
    p.events = POLLIN;
    if (write_pending())
        p.events |= POLLOUT;

    // A timeout of 0 means "wait until ready", as with a null select timeout.
    // Longer waits than INT_MAX ms are cut there; nobody waits 24 days.
    const int timeout = timeout_ms == 0 ? -1 : (timeout_ms > 0x7fffffffu ? 0x7fffffff : int(timeout_ms));
    const int rc = ::poll(&p, 1, timeout);
    if (rc == -1)
        throw Exception("%s: select failed (%s)", "virtual void IPCDataChannelFD::wait_for_message(unsigned int)",
                        libipc_errstr().c_str());
    if (rc == 0)
        return;
    if (p.revents & POLLNVAL) {
        // select() refuses a descriptor that is not open with EBADF.
        errno = EBADF;
        throw Exception("%s: select failed (%s)", "virtual void IPCDataChannelFD::wait_for_message(unsigned int)",
                        libipc_errstr().c_str());
    }

    // A hung-up or failed descriptor counts as readable, so the reader sees
    // the end of stream or the error, as select() would report it.
    if (p.revents & (POLLIN | POLLHUP | POLLERR))
        read_ready();
    if (p.revents & POLLOUT)
        write_ready();
}

void IPCDataChannelFD::write_ready() { }

void IPCDataChannelFD::read_ready() { }
