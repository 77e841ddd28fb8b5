#pragma once

#include "message/message.h"

#include <string>

class IPC;

// The byte channel under a transport: writes whole encoded frames, tells the
// transport which format to encode in, and keeps a failure record. Work on
// the channel's state is bracketed by lock()/unlock(), which call the
// transport's hooks.
class IPCDataChannel
{
public:
    IPCDataChannel();
    virtual ~IPCDataChannel();

    IPCDataChannel(const IPCDataChannel&) = delete;
    IPCDataChannel& operator=(const IPCDataChannel&) = delete;

    // Writes one whole frame; throws Exception on failure.
    virtual void outgoing_data(const char* data, unsigned int len) = 0;
    virtual Message::ENC_FORMAT get_encoding() const = 0;

    void set_ipc(IPC* ipc) { m_ipc = ipc; }
    IPC* get_ipc() const { return m_ipc; }

    void lock() const;
    void unlock() const;

    // Records a failure and wakes the transport.
    void failed(const char* text);
    void clear_failed();
    bool is_failed() const { return m_failed; }
    const std::string& failure_text() const { return m_failure; }

protected:
    // Holds the channel's lock for one scope, released on every exit path.
    class Locker
    {
    public:
        explicit Locker(const IPCDataChannel& dc)
            : m_dc(dc)
        {
            m_dc.lock();
        }
        ~Locker() { m_dc.unlock(); }
        Locker(const Locker&) = delete;
        Locker& operator=(const Locker&) = delete;

    private:
        const IPCDataChannel& m_dc;
    };

private:
    IPC* m_ipc = nullptr;
    bool m_failed = false;
    std::string m_failure;
};
