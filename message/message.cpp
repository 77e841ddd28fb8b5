#include "message/message.h"

#include "support/exception.h"
#include "support/logger.h"

Message::Message() = default;

Message::Message(const std::string& encoded)
{
    parse_string(encoded);
}

Message::Message(const Message& other)
{
    copy_from(other);
}

Message& Message::operator=(const Message& other)
{
    if (&other != this)
        copy_from(other);
    return *this;
}

Message::~Message() = default;

void Message::copy_from(const Message& other)
{
    clear();
    m_text = other.m_text;
    m_name = other.m_name;
    m_params = other.m_params;
    for (const auto& list : other.m_children) {
        ChildList& mine = m_children[list.first];
        mine.reserve(list.second.size());
        for (const auto& child : list.second)
            mine.push_back(std::make_unique<Message>(*child));
    }
}

unsigned int Message::num_children(const std::string& name) const
{
    const auto it = m_children.find(name);
    return it == m_children.end() ? 0 : static_cast<unsigned int>(it->second.size());
}

Message& Message::get_child(const std::string& name, unsigned int index)
{
    const auto it = m_children.find(name);
    if (it == m_children.end() || index >= it->second.size())
        throw Exception("%s: Failed to find '%s' #%d", "Message &Message::get_child(const std::string &, unsigned int)",
                        name.c_str(), static_cast<int>(index));
    return *it->second[index];
}

const Message& Message::get_child(const std::string& name, unsigned int index) const
{
    const auto it = m_children.find(name);
    if (it == m_children.end() || index >= it->second.size())
        throw Exception("%s: Failed to find '%s' #%d",
                        "const Message &Message::get_child(const std::string &, unsigned int) const", name.c_str(),
                        static_cast<int>(index));
    return *it->second[index];
}

Message& Message::add_child(const std::string& name)
{
    ChildList& list = m_children[name];
    list.push_back(std::make_unique<Message>());
    Message& child = *list.back();
    child.m_name = name;
    return child;
}

Message& Message::add_child(const Message& m)
{
    // Copy first: m may be this node or one of its own descendants.
    auto copy = std::make_unique<Message>(m);
    ChildList& list = m_children[copy->m_name];
    list.push_back(std::move(copy));
    return *list.back();
}

void Message::clear()
{
    m_children.clear();
    m_params.clear();
}

bool Message::operator!=(const Message& o) const
{
    if (m_name != o.m_name)
        return true;
    if (m_params != o.m_params)
        return true;
    if (m_text != o.m_text)
        return true;
    for (const auto& list : m_children) {
        const auto it = o.m_children.find(list.first);
        if (it == o.m_children.end() || it->second.size() != list.second.size())
            return true;
        for (size_t i = 0; i < list.second.size(); ++i) {
            if (*list.second[i] != *it->second[i])
                return true;
        }
    }
    for (const auto& list : o.m_children) {
        if (m_children.find(list.first) == m_children.end())
            return true;
    }
    return false;
}

void Message::dump(unsigned int indent) const
{
    const std::string pad(indent, ' ');
    g_log.log(LL_INFO, "%s%s", pad.c_str(), m_name.c_str());
    if (!m_text.empty())
        g_log.log(LL_INFO, "%stext=%s", pad.c_str(), m_text.c_str());
    for (const auto& entry : m_params.entries())
        g_log.log(LL_INFO, "%s %s = %s", pad.c_str(), entry.first.c_str(), entry.second.get_string().c_str());
    for (const auto& list : m_children) {
        for (const auto& child : list.second)
            child->dump(indent + 1);
    }
}

void Message::build_string(ENC_FORMAT fmt, std::string& out, bool autoformat) const
{
    switch (fmt) {
    case ENC_COMPACT:
        // Checked before out is touched, so a refused message leaves it as it was.
        check_compact_limits(1);
        out.assign(1, '\0');
        build_compact_node(out);
        break;
    case ENC_XML:
        out.clear();
        build_string_xml(out, autoformat);
        break;
    }
}

void Message::parse_string(const std::string& s)
{
    clear();
    if (s.empty())
        return;
    const int fmt = s[0] == '<' ? ENC_XML : static_cast<int>(static_cast<signed char>(s[0]));
    if (fmt == ENC_COMPACT) {
        // Frames are far below 4 GiB; a longer string is read up to that offset.
        const unsigned int len = s.size() > 0xffffffffu ? 0xffffffffu : static_cast<unsigned int>(s.size());
        parse_string_compact(s.data(), 1, len);
    } else if (fmt == ENC_XML) {
        parse_string_xml(s);
    }
}
