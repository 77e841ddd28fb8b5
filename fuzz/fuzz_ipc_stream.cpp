// The byte stream a unit sends, into the transport's framing step and the
// client's message store.
//
// The first input byte picks the channel and the way the stream is cut up:
// bit 0 set selects a channel that hands over one compact block per call,
// otherwise the stream is NUL-framed XML as on TCP. Bits 1-7 give the size
// of the pieces in which the stream arrives the second time round.
//
// Properties: framing never takes more than it was given; delivering the
// stream in pieces, as a socket does, yields the very messages delivered
// from the whole stream, in the same order; the store holds the latest
// message of each name and never more names than its bound; every XML frame
// delivers what an independent reader (libxml2, fuzz/xmloracle.cpp) reads
// from the frame's bytes under the same bounds.
#include "fuzz/fuzzcheck.h"
#include "fuzz/xmloracle.h"

#include "ipc/ipcclient.h"
#include "ipc/ipcdatachannel.h"
#include "support/exception.h"

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace {

class MemoryChannel : public IPCDataChannel
{
public:
    explicit MemoryChannel(Message::ENC_FORMAT format)
        : m_format(format)
    {
    }
    void outgoing_data(const char*, unsigned int) override { }
    Message::ENC_FORMAT get_encoding() const override { return m_format; }

private:
    Message::ENC_FORMAT m_format;
};

class Recorder : public IPCClient
{
public:
    explicit Recorder(Message::ENC_FORMAT format) { set_dc(new MemoryChannel(format)); }
    void rx_message(const Message& msg) override
    {
        IPCClient::rx_message(msg);
        delivered.push_back(msg);
    }
    std::vector<Message> delivered;
    // The bytes of each frame, in the order they were cut.
    std::vector<std::string> frames;

protected:
    void rx_frame(const char* data, unsigned int len) override
    {
        frames.emplace_back(data, len);
        IPCClient::rx_frame(data, len);
    }
};

// Each XML frame delivered the message the second reader reads from it.
void checkAgainstOracle(const Recorder& client)
{
    FUZZ_CHECK(client.frames.size() == client.delivered.size());
    for (size_t i = 0; i < client.frames.size(); ++i) {
        const std::string& frame = client.frames[i];
        // Other first bytes select no XML decoder (or the compact one).
        if (frame[0] != '<' && frame[0] != '\x01')
            continue;
        Message decoded = client.delivered[i];
        dropText(decoded);
        std::string why;
        if (!oracle::agrees(decoded, oracle::read(frame), why)) {
            std::fprintf(stderr, "frame %zu: libxml2 reads it otherwise: %s\n", i, why.c_str());
            FUZZ_CHECK(!"decoder and libxml2 agree");
        }
    }
}

// Calls incoming_data until it takes nothing or everything, as the socket
// channel does; returns the bytes taken.
size_t drain(IPC& ipc, const char* data, size_t len)
{
    size_t taken = 0;
    while (taken < len) {
        const unsigned int n = ipc.incoming_data(data + taken, static_cast<unsigned int>(len - taken));
        FUZZ_CHECK(n <= len - taken);
        if (n == 0)
            break;
        taken += n;
    }
    return taken;
}

void checkStore(const Recorder& client)
{
    FUZZ_CHECK(client.num_messages() <= IPCClient::MAX_NAMES);
    // The latest of each name, for every name the store kept.
    std::map<std::string, const Message*> latest;
    for (const Message& msg : client.delivered)
        latest[msg.get_name()] = &msg;
    for (const auto& entry : latest) {
        const Message* stored = client.get_message(entry.first);
        // Only a full store may leave a name out.
        FUZZ_CHECK(stored || latest.size() > IPCClient::MAX_NAMES);
        if (stored)
            FUZZ_CHECK(sameMessage(*stored, *entry.second));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size)
{
    if (size < 1)
        return 0;
    const bool compact = data[0] & 1;
    const size_t piece = 1 + (data[0] >> 1);
    const char* stream = reinterpret_cast<const char*>(data + 1);
    const size_t len = size - 1;
    const Message::ENC_FORMAT format = compact ? Message::ENC_COMPACT : Message::ENC_XML;

    if (compact) {
        // One block, one message: a truncated or malformed block is refused
        // with an Exception, which the socket channel turns into an abort.
        Recorder client(format);
        try {
            FUZZ_CHECK(drain(client, stream, len) == len);
        } catch (const Exception&) {
            FUZZ_CHECK(client.delivered.empty());
        }
        checkStore(client);
        return 0;
    }

    Recorder whole(format);
    const size_t taken = drain(whole, stream, len);
    checkStore(whole);
    checkAgainstOracle(whole);

    // Again, arriving in pieces: bytes not taken stay at the front of the
    // buffer until more arrive, exactly as in the socket.
    Recorder pieces(format);
    std::string buffer;
    for (size_t pos = 0; pos < len; pos += piece) {
        buffer.append(stream + pos, std::min(piece, len - pos));
        const size_t used = drain(pieces, buffer.data(), buffer.size());
        buffer.erase(0, used);
    }
    FUZZ_CHECK(len - buffer.size() == taken);
    FUZZ_CHECK(pieces.delivered.size() == whole.delivered.size());
    for (size_t i = 0; i < whole.delivered.size(); ++i)
        FUZZ_CHECK(sameMessage(pieces.delivered[i], whole.delivered[i]));
    return 0;
}
