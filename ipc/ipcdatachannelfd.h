#pragma once

#include "ipc/ipcdatachannel.h"

// A channel over a POSIX file descriptor for owners that drive their own
// loop: wait_for_message() waits until the descriptor is ready and calls the
// read_ready()/write_ready() hooks, which subclasses fill in together with
// outgoing_data() and get_encoding(). The channel owns an adopted descriptor.
class IPCDataChannelFD : public IPCDataChannel
{
public:
    IPCDataChannelFD();
    ~IPCDataChannelFD() override;

    virtual void close();
    virtual bool write_pending() const;
    // One wait step; a timeout of 0 waits until the descriptor is ready.
    virtual void wait_for_message(unsigned int timeout_ms);
    virtual void write_ready();
    virtual void read_ready();

    // Closes the current descriptor and adopts fd.
    void set_fd(int fd);
    int get_fd() const;
    bool is_open() const;
    void set_blocking(bool blocking);

protected:
    // Closes without taking the lock; the caller holds it.
    void do_close();

private:
    int m_fd = -1;
};
