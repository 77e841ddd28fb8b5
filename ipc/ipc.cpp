// Framing on the byte stream.
//
// XML channels: every message is one XML document without its declaration,
// followed by a single NUL byte; there is no length prefix. A receiver splits
// at every NUL and skips empty frames.
// Other formats: the channel hands over exactly one message per block.
#include "ipc/ipc.h"

#include "ipc/ipcdatachannel.h"
#include "ipc/ipcdatachannelfd.h"

#include <cstring>

IPC::IPC() = default;

IPC::~IPC()
{
    delete m_dc;
}

void IPC::set_dc(IPCDataChannel* dc)
{
    if (dc == m_dc)
        return;
    delete m_dc;
    m_dc = dc;
    if (m_dc)
        m_dc->set_ipc(this);
}

IPCDataChannelFD* IPC::get_dc_fd()
{
    return dynamic_cast<IPCDataChannelFD*>(m_dc);
}

const IPCDataChannelFD* IPC::get_dc_fd() const
{
    return dynamic_cast<const IPCDataChannelFD*>(m_dc);
}

void IPC::tx_message(const Message& msg)
{
    if (!m_dc)
        return;
    const Message::ENC_FORMAT format = m_dc->get_encoding();
    std::string text;
    msg.build_string(format, text, false);
    if (format == Message::ENC_XML) {
        strip_xml_header(text);
        text.push_back('\0');
    }
    m_dc->outgoing_data(text.data(), static_cast<unsigned int>(text.size()));
}

void IPC::lock() { }

void IPC::unlock() { }

void IPC::tx_message(const Message& msg, unsigned int id)
{
    if (wants_message(id))
        tx_message(msg);
}

bool IPC::wants_message(unsigned int)
{
    return true;
}

unsigned int IPC::incoming_data(const char* data, unsigned int len)
{
    if (!m_dc || !data || len == 0)
        return 0;

    if (m_dc->get_encoding() != Message::ENC_XML) {
        rx_frame(data, len);
        return len;
    }

    const void* end = std::memchr(data, '\0', len);
    if (!end)
        return 0;
    const unsigned int k = static_cast<unsigned int>(static_cast<const char*>(end) - data);
    // A lone NUL is an empty frame: taken, nothing delivered.
    if (k > 0)
        rx_frame(data, k);
    return k + 1;
}

void IPC::rx_frame(const char* data, unsigned int len)
{
    rx_message(Message(std::string(data, len)));
}

void IPC::rx_message(const Message&) { }

void IPC::interrupt() { }
