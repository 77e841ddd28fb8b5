// The compact binary form, as read from a block channel or a message file.
//
// Properties: the decoder never claims more bytes than it was given; what
// it decodes encodes again without error, and that encoding decodes to the
// same tree, taking every byte of it. The whole-message entry point (which
// picks the decoder by the first byte) is run on the same input.
#include "fuzz/fuzzcheck.h"

#include "message/message.h"
#include "support/exception.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size)
{
    const char* bytes = reinterpret_cast<const char*>(data);
    const unsigned int len = static_cast<unsigned int>(size);

    try {
        Message whole{std::string(bytes, size)};
        (void)whole;
    } catch (const Exception&) {
    }

    Message decoded;
    unsigned int used = 0;
    try {
        used = decoded.parse_string_compact(bytes, 0, len);
    } catch (const Exception&) {
        return 0;
    }
    FUZZ_CHECK(used <= len);

    std::string encoded;
    decoded.build_string_compact(encoded);
    Message again;
    const unsigned int reused
        = again.parse_string_compact(encoded.data(), 0, static_cast<unsigned int>(encoded.size()));
    FUZZ_CHECK(reused == encoded.size());
    FUZZ_CHECK(sameMessage(again, decoded));

    // A stream tagged for the compact form reads the same through the
    // whole-message entry point.
    std::string tagged;
    decoded.build_string(Message::ENC_COMPACT, tagged);
    FUZZ_CHECK(sameMessage(Message(tagged), decoded));
    return 0;
}
