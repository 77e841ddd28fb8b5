// One-line text form of a parameter set: every entry is the name, '=', the
// value and one blank, in name order, the last entry included:
//
//   a=1 b="x y" c="say \"hi\"" d=
//
// A value holding neither a blank nor a double quote is written bare; any
// other value is quoted, with '"' and '\' escaped by a backslash. Only text
// travels, so every value read back is a string. Reading is lenient (no error
// is ever reported) but never looks outside the text and always advances.

#include "message/params.h"

#include <climits>

namespace {

// Reads one value at pos and moves pos past it and its separator. On return
// pos is never beyond the end of text, so callers loop on pos < size.
std::string read_value(const std::string& text, std::size_t& pos)
{
    const std::size_t size = text.size();
    if (pos >= size) {
        pos = size;
        return std::string();
    }

    if (text[pos] != '"') {
        const std::size_t end = text.find(' ', pos);
        if (end == std::string::npos) {
            std::string value = text.substr(pos);
            pos = size;
            return value;
        }
        std::string value = text.substr(pos, end - pos);
        pos = end + 1;
        return value;
    }

    std::string value;
    std::size_t i = pos + 1;
    while (i < size && text[i] != '"') {
        if (text[i] == '\\') {
            // A backslash at the very end has nothing to escape and is dropped.
            if (i + 1 < size)
                value += text[i + 1];
            i += 2;
        } else {
            value += text[i];
            ++i;
        }
    }
    // Past the closing quote and the separator after it, which is not
    // looked at (an unterminated value ends at the end of the text).
    pos = i + 2 < size ? i + 2 : size;
    return value;
}

} // namespace

std::string Params::quote_value(const std::string& value) const
{
    if (value.find_first_of("\" ") == std::string::npos)
        return value;
    std::string out;
    out.reserve(value.size() + 2);
    out += '"';
    for (const char c : value) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    out += '"';
    return out;
}

std::string Params::unquote_value(const std::string& text, int& pos) const
{
    // A position before the start or past the end reads nothing.
    std::size_t p = pos < 0 ? text.size() : static_cast<std::size_t>(pos);
    std::string value = read_value(text, p);
    pos = p > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(p);
    return value;
}

std::string Params::build_string() const
{
    std::string out;
    for (const auto& entry : m_params) {
        out += entry.first;
        out += '=';
        out += quote_value(entry.second.get_string());
        out += ' ';
    }
    return out;
}

void Params::parse_string(const std::string& text)
{
    const std::size_t size = text.size();
    std::size_t pos = 0;
    // At least one entry is read, so an empty text adds the empty name.
    do {
        const std::size_t sep = text.find_first_of("= ", pos);
        std::string name;
        std::string value;
        if (sep == std::string::npos) {
            name = text.substr(pos);
            pos = size;
        } else {
            name = text.substr(pos, sep - pos);
            pos = sep + 1;
            if (text[sep] == '=')
                value = read_value(text, pos);
        }
        set_variant(name, variant(value));
    } while (pos < size);
}
