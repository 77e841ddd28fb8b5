// The XML form as it travels: what the decoder reads from any frame, the
// encoder writes, and that writing decodes to the same tree again. This is
// the round trip every status and command makes between a unit and the
// console, so a tree that does not survive it is a message changed in
// transit. Character text is not written, so it is left out of the
// comparison.
#include "fuzz/fuzzcheck.h"

#include "message/message.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size)
{
    std::string frame(reinterpret_cast<const char*>(data), size);
    // Frames on the wire begin with the element and hold no NUL.
    frame.insert(0, 1, '<');
    const size_t nul = frame.find('\0');
    if (nul != std::string::npos)
        frame.resize(nul);

    Message read;
    read.parse_string_xml(frame);
    if (read.get_name().empty())
        return 0;
    dropText(read);

    std::string written;
    read.build_string(Message::ENC_XML, written);
    strip_xml_header(written);
    FUZZ_CHECK(!written.empty() && written[0] == '<');
    FUZZ_CHECK(written.find('\0') == std::string::npos);
    const Message again(written);
    FUZZ_CHECK(again == read);
    return 0;
}
