#pragma once

#include "message/message.h"

class IPCDataChannel;
class IPCDataChannelFD;

// The message transport: encodes outgoing messages in the format its byte
// channel asks for, and cuts incoming bytes into whole messages. It owns its
// channel. Framing lives in incoming_data(), which never touches a socket, so
// it can be driven from plain byte arrays.
class IPC
{
public:
    IPC();
    virtual ~IPC();

    IPC(const IPC&) = delete;
    IPC& operator=(const IPC&) = delete;

    // Takes ownership of dc (not null) and deletes the channel held before.
    void set_dc(IPCDataChannel* dc);
    IPCDataChannel* get_dc() { return m_dc; }
    const IPCDataChannel* get_dc() const { return m_dc; }
    IPCDataChannelFD* get_dc_fd();
    const IPCDataChannelFD* get_dc_fd() const;

    // Encodes msg in the channel's format and writes it as one frame.
    // Channel failures arrive as Exception and pass through.
    virtual void tx_message(const Message& msg);

    // Hooks the channel calls around its critical sections; empty here
    // because every user of this class runs on one thread.
    virtual void lock();
    virtual void unlock();

    // Sends msg only when wants_message(id) agrees.
    virtual void tx_message(const Message& msg, unsigned int id);
    virtual bool wants_message(unsigned int id);

    // Cuts at most one message off the front of data and delivers it to
    // rx_message(). Returns the number of bytes taken, 0 when no whole frame
    // is there yet. Decoding and handler exceptions are not caught.
    unsigned int incoming_data(const char* data, unsigned int len);

    virtual void rx_message(const Message& msg);

    // Called by the channel when it fails; nothing to wake up here.
    void interrupt();

protected:
    // One whole frame cut by incoming_data(), without its terminator: decodes
    // it and hands the message to rx_message(). A separate step so that the
    // cutting can be measured apart from the decoding.
    virtual void rx_frame(const char* data, unsigned int len);

private:
    IPCDataChannel* m_dc = nullptr;
};
