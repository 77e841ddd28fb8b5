#include "ipc/ipcdatachannel.h"

#include "ipc/ipc.h"

IPCDataChannel::IPCDataChannel() = default;

IPCDataChannel::~IPCDataChannel() = default;

void IPCDataChannel::lock() const
{
    if (m_ipc)
        m_ipc->lock();
}

void IPCDataChannel::unlock() const
{
    if (m_ipc)
        m_ipc->unlock();
}

void IPCDataChannel::failed(const char* text)
{
    {
        Locker locker(*this);
        m_failed = true;
        m_failure = text ? text : "";
    }
    // Outside the lock: the transport may want to take it itself.
    if (m_ipc)
        m_ipc->interrupt();
}

void IPCDataChannel::clear_failed()
{
    m_failed = false;
}
