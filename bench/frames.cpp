#include "bench/frames.h"

#include "message/message.h"

namespace frames {

namespace {

const char* const kStatuses[] = {"on hold", "on air", "on handset", "on screened hold"};

std::string xml(const Message& m)
{
    std::string out;
    m.build_string(Message::ENC_XML, out, false);
    strip_xml_header(out);
    return out;
}

Message lineStatusMessage(unsigned line, unsigned seq)
{
    Message m;
    m.set_name("line_status");
    Params& p = m.params();
    p.set_uint("line_id", line);
    p.set_string("status", kStatuses[seq % 4]);
    p.set_bool("locked", seq % 3 == 0);
    p.set_bool("override", false);
    p.set_bool("priority", seq % 5 == 0);
    p.set_uint("ring_num", seq % 7);
    p.set_uint("time", 100 + seq);
    p.set_bool("utility", false);
    p.set_int("location", int(seq % 2));
    return m;
}

} // namespace

std::string lineStatus(unsigned line, unsigned seq)
{
    return xml(lineStatusMessage(line, seq));
}

std::string ancillaryData(unsigned line, std::size_t notesBytes)
{
    Message m;
    m.set_name("ancillary_data");
    Params& p = m.params();
    p.set_uint("line_id", line);
    p.set_string("name", "Caller " + std::to_string(line + 1));
    p.set_string("location", "Springfield");
    p.set_string("topic", "Traffic on the ring road");
    std::string notes;
    const std::string words = "Wants to talk about the roadworks & the detour <again>. ";
    while (notes.size() < notesBytes)
        notes += words;
    notes.resize(notesBytes);
    p.set_string("notes", notes);
    p.set_string("gender", "female");
    p.set_uint("genderidx", 2);
    p.set_string("mood", "happy");
    p.set_uint("moodidx", 1);
    p.set_bool("local", false);
    return xml(m);
}

std::string systemStatus()
{
    Message m;
    m.set_name("system_status");
    Params& p = m.params();
    p.set_uint("num_lines", 12);
    p.set_bool("aa_enabled", false);
    p.set_bool("busied_out", false);
    return xml(m);
}

std::vector<std::string> lineStatusSet()
{
    std::vector<std::string> out;
    for (unsigned i = 0; i < 24; ++i)
        out.push_back(lineStatus(i % 12, i));
    return out;
}

std::vector<std::string> ancillarySet()
{
    std::vector<std::string> out;
    for (unsigned i = 0; i < 12; ++i)
        out.push_back(ancillaryData(i, 1024));
    return out;
}

std::vector<std::string> systemStatusSet()
{
    return {systemStatus()};
}

std::string framingBlock(std::size_t blockBytes, unsigned count)
{
    std::string block;
    block.reserve(blockBytes);
    for (unsigned i = 0; i < count; ++i) {
        // Frame i ends at the i+1-th of count equal steps, so the block is
        // filled exactly; white space after the element (allowed there)
        // brings each frame to its size.
        const std::size_t end = blockBytes * (i + 1) / count;
        std::string text = lineStatus(i % 12, i);
        text.resize(end - block.size() - 1, ' ');
        block += text;
        block.push_back('\0');
    }
    return block;
}

} // namespace frames
