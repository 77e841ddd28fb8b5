#include "ipc/ipcclient.h"

IPCClient::IPCClient() = default;

IPCClient::~IPCClient()
{
    clear_messages();
}

void IPCClient::rx_message(const Message& msg)
{
    const std::string name = msg.get_name();
    auto it = m_messages.find(name);
    if (it != m_messages.end()) {
        it->second = std::make_unique<Message>(msg);
        return;
    }
    if (m_messages.size() >= MAX_NAMES)
        return;
    m_messages.emplace(name, std::make_unique<Message>(msg));
}

Message* IPCClient::get_message(const std::string& name)
{
    auto it = m_messages.find(name);
    return it == m_messages.end() ? nullptr : it->second.get();
}

const Message* IPCClient::get_message(const std::string& name) const
{
    auto it = m_messages.find(name);
    return it == m_messages.end() ? nullptr : it->second.get();
}

void IPCClient::clear_messages()
{
    m_messages.clear();
}
