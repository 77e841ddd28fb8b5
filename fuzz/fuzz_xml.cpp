// The XML form as it travels. What the decoder reads from any frame is what
// an independent reader (libxml2, fuzz/xmloracle.cpp) reads from it under
// the same bounds: the same element names, attributes and children. And what
// it reads, the encoder writes, and that writing decodes to the same tree
// again: the round trip every status and command makes between a unit and
// the console, so a tree that does not survive it is a message changed in
// transit. Character text is not written, so it is left out of both
// comparisons.
#include "fuzz/fuzzcheck.h"
#include "fuzz/xmloracle.h"

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
    dropText(read);
    std::string why;
    if (!oracle::agrees(read, oracle::read(frame), why)) {
        std::fprintf(stderr, "libxml2 reads this frame otherwise: %s\n", why.c_str());
        FUZZ_CHECK(!"decoder and libxml2 agree");
    }
    if (read.get_name().empty())
        return 0;

    std::string written;
    read.build_string(Message::ENC_XML, written);
    strip_xml_header(written);
    FUZZ_CHECK(!written.empty() && written[0] == '<');
    FUZZ_CHECK(written.find('\0') == std::string::npos);
    const Message again(written);
    FUZZ_CHECK(again == read);
    return 0;
}
