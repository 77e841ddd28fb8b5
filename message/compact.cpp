// Compact binary form of a message (all integers little-endian, no padding):
//
//   message  = 0x00 node                      (the tag is written by build_string)
//   node     = u16 name-length, name bytes,
//              u16 parameter-count, parameter*  (names ascending),
//              u16 child-count, node*           (child names ascending, then list order)
//   parameter = u16 key-length, key bytes, u8 type, u16 value-length, value bytes
//
// Values: string bytes; int, uint and float as 4 bytes; bool as 1 byte; none
// as 0 bytes. A node's text is not carried. The decoder never reads at or past
// the given length and refuses nesting deeper than Message::MAX_DEPTH.

#include "message/message.h"

#include "support/exception.h"

namespace {

const char* const PARSE_SIGNATURE
    = "unsigned int Message::parse_string_compact(const char *, unsigned int, unsigned int)";
const char* const kBuildSignature = "void Message::build_string_compact(std::string &) const";
constexpr size_t kFieldMax = 0xffff;

} // namespace

void put_ushort(std::string& out, uint16_t v)
{
    out.push_back(static_cast<char>(v & 0xff));
    out.push_back(static_cast<char>(v >> 8));
}

void put_uchar(std::string& out, uint8_t v)
{
    out.push_back(static_cast<char>(v));
}

uint16_t get_ushort(const char* data, unsigned int& pos, unsigned int len)
{
    if (pos > len || len - pos < 2)
        throw Exception("%s: message too short",
                        "unsigned short get_ushort(const char *, unsigned int &, unsigned int)");
    const auto* bytes = reinterpret_cast<const unsigned char*>(data) + pos;
    pos += 2;
    return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
}

uint8_t get_uchar(const char* data, unsigned int& pos, unsigned int len)
{
    if (pos > len || len - pos < 1)
        throw Exception("%s: message too short", "unsigned char get_uchar(const char *, unsigned int &, unsigned int)");
    const auto value = static_cast<uint8_t>(data[pos]);
    pos += 1;
    return value;
}

void Message::check_compact_limits(unsigned int depth) const
{
    // Lengths and counts travel in 16 bits; writing the low bits of a larger
    // number would produce a stream that nobody can read back.
    if (depth > MAX_DEPTH)
        throw Exception("%s: message nested too deeply", kBuildSignature);
    if (m_name.size() > kFieldMax)
        throw Exception("%s: name too long", kBuildSignature);
    if (m_params.entries().size() > kFieldMax)
        throw Exception("%s: too many parameters", kBuildSignature);
    for (const auto& entry : m_params.entries()) {
        if (entry.first.size() > kFieldMax)
            throw Exception("%s: key too long", kBuildSignature);
        if (entry.second.get_data_len() > kFieldMax)
            throw Exception("%s: value too long", kBuildSignature);
    }
    size_t count = 0;
    for (const auto& list : m_children)
        count += list.second.size();
    if (count > kFieldMax)
        throw Exception("%s: too many children", kBuildSignature);
    for (const auto& list : m_children) {
        for (const auto& child : list.second)
            child->check_compact_limits(depth + 1);
    }
}

void Message::build_string_compact(std::string& out) const
{
    check_compact_limits(1);
    build_compact_node(out);
}

void Message::build_compact_node(std::string& out) const
{
    put_ushort(out, static_cast<uint16_t>(m_name.size()));
    out.append(m_name);
    put_ushort(out, static_cast<uint16_t>(m_params.entries().size()));
    for (const auto& entry : m_params.entries()) {
        put_ushort(out, static_cast<uint16_t>(entry.first.size()));
        out.append(entry.first);
        const variant& value = entry.second;
        put_uchar(out, static_cast<uint8_t>(value.get_type()));
        put_ushort(out, static_cast<uint16_t>(value.get_data_len()));
        out.append(value.get_data(), value.get_data_len());
    }
    size_t count = 0;
    for (const auto& list : m_children)
        count += list.second.size();
    put_ushort(out, static_cast<uint16_t>(count));
    for (const auto& list : m_children) {
        for (const auto& child : list.second)
            child->build_compact_node(out);
    }
}

unsigned int Message::parse_string_compact(const char* data, unsigned int pos, unsigned int len)
{
    return parse_compact_node(data, pos, len, 1);
}

unsigned int Message::parse_compact_node(const char* data, unsigned int pos, unsigned int len, unsigned int depth)
{
    if (depth > MAX_DEPTH)
        throw Exception("%s: message nested too deeply", PARSE_SIGNATURE);

    const unsigned int name_len = get_ushort(data, pos, len);
    if (name_len > len - pos)
        throw Exception("%s: message too short", PARSE_SIGNATURE);
    m_name.assign(data + pos, name_len);
    pos += name_len;

    const unsigned int param_count = get_ushort(data, pos, len);
    for (unsigned int i = 0; i < param_count; ++i) {
        const unsigned int key_len = get_ushort(data, pos, len);
        if (key_len > len - pos)
            throw Exception("%s: message too short", PARSE_SIGNATURE);
        std::string key(data + pos, key_len);
        pos += key_len;

        const uint8_t type = get_uchar(data, pos, len);
        const unsigned int value_len = get_ushort(data, pos, len);
        if (value_len > len - pos)
            throw Exception("%s: message too short", PARSE_SIGNATURE);
        variant value;
        value.set_type(static_cast<variant::VALUE_TYPE>(type));
        value.set_data(data + pos, value_len);
        pos += value_len;
        m_params.set_variant(key, value);
    }

    const unsigned int child_count = get_ushort(data, pos, len);
    for (unsigned int i = 0; i < child_count; ++i) {
        // Attached only once complete: a child that fails is discarded.
        auto child = std::make_unique<Message>();
        pos = child->parse_compact_node(data, pos, len, depth + 1);
        ChildList& list = m_children[child->m_name];
        list.push_back(std::move(child));
    }
    return pos;
}
