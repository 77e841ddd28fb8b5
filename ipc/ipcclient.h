#pragma once

#include "ipc/ipc.h"

#include <map>
#include <memory>
#include <string>

// A transport that keeps a copy of the latest message of every name that has
// arrived, so that a reader can look up the last status of a kind at any time.
class IPCClient : public IPC
{
public:
    // Distinct names kept at most. The names the console understands are a
    // handful; the bound keeps a peer that invents new names from growing
    // the store without end. Names already stored are always refreshed.
    static constexpr unsigned int MAX_NAMES = 64;

    IPCClient();
    ~IPCClient() override;

    void rx_message(const Message& msg) override;

    // The stored message of that name, or null. Valid until a newer message
    // of the same name arrives or the store is cleared: use it at once.
    Message* get_message(const std::string& name);
    const Message* get_message(const std::string& name) const;

    void clear_messages();
    unsigned int num_messages() const { return static_cast<unsigned int>(m_messages.size()); }

private:
    std::map<std::string, std::unique_ptr<Message>> m_messages;
};
