#include "message/strings.h"

#include <cctype>

namespace {

const char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Value of a hexadecimal digit, or -1 for any other byte.
int hex_value(unsigned char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Value of a Base64 character, or -1 for any byte outside the alphabet.
int base64_value(unsigned char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

bool is_blank(char c)
{
    return c == ' ' || c == '\t';
}

} // namespace

std::vector<std::string> split(const std::string& s, const std::string& delims)
{
    std::vector<std::string> tokens;
    std::string::size_type pos = 0;
    while (pos < s.size()) {
        const std::string::size_type end = s.find_first_of(delims, pos);
        tokens.push_back(s.substr(pos, end == std::string::npos ? std::string::npos : end - pos));
        if (end == std::string::npos)
            break;
        pos = s.find_first_not_of(delims, end);
    }
    return tokens;
}

std::string join(const std::vector<std::string>& parts, const std::string& sep)
{
    std::string out;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0)
            out += sep;
        out += parts[i];
    }
    return out;
}

void replace(std::string& s, const std::string& from, const std::string& to)
{
    // An empty pattern would match everywhere without ever advancing.
    if (from.empty())
        return;
    std::string::size_type pos = 0;
    while ((pos = s.find(from, pos)) != std::string::npos) {
        s.replace(pos, from.size(), to);
        pos += to.size();
    }
}

std::string html_escape(const std::string& s)
{
    // The ampersand goes first so that the entities inserted after it keep
    // their own ampersands.
    std::string out = s;
    replace(out, "&", "&amp;");
    replace(out, "\"", "&quot;");
    replace(out, "<", "&lt;");
    replace(out, ">", "&gt;");
    return out;
}

void backslash_escape(std::string& s, const std::string& chars)
{
    for (const char c : chars) {
        std::string::size_type p = 0;
        while ((p = s.find(c, p)) != std::string::npos) {
            // A single backslash in front already escapes it; a doubled one is
            // an escaped backslash and leaves c bare.
            const bool escaped = (p == 1 && s[0] == '\\') || (p >= 2 && s[p - 1] == '\\' && s[p - 2] != '\\');
            if (!escaped) {
                s.insert(p, 1, '\\');
                ++p;
            }
            ++p;
        }
    }
}

std::string sed_escape(const std::string& s)
{
    // Backslash first, so the backslashes added for the others stay single.
    std::string out = s;
    backslash_escape(out, "\\&'/");
    return out;
}

std::string str_lc(const std::string& s)
{
    std::string out = s;
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string str_uc(const std::string& s)
{
    std::string out = s;
    for (char& c : out)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

std::string str_trim(const std::string& s, bool left, bool right)
{
    std::string::size_type begin = 0;
    std::string::size_type end = s.size();
    if (left)
        while (begin < end && is_blank(s[begin]))
            ++begin;
    if (right)
        while (end > begin && is_blank(s[end - 1]))
            --end;
    return s.substr(begin, end - begin);
}

std::string str_to_hex(const std::string& data)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(data.size() * 2);
    for (const char c : data) {
        const auto b = static_cast<unsigned char>(c);
        out += digits[b >> 4];
        out += digits[b & 0x0f];
    }
    return out;
}

std::string hex_to_str(const std::string& text)
{
    std::string out;
    out.reserve(text.size() / 2);
    int high = -1;
    for (const char c : text) {
        const int v = hex_value(static_cast<unsigned char>(c));
        if (v < 0)
            continue;
        if (high < 0) {
            high = v;
        } else {
            out += static_cast<char>((high << 4) | v);
            high = -1;
        }
    }
    return out;
}

std::string str_to_base64(const std::string& data, bool pad)
{
    std::string out;
    out.reserve((data.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= data.size(); i += 3) {
        const unsigned long group = (static_cast<unsigned long>(static_cast<unsigned char>(data[i])) << 16)
            | (static_cast<unsigned long>(static_cast<unsigned char>(data[i + 1])) << 8)
            | static_cast<unsigned long>(static_cast<unsigned char>(data[i + 2]));
        out += kBase64Alphabet[(group >> 18) & 0x3f];
        out += kBase64Alphabet[(group >> 12) & 0x3f];
        out += kBase64Alphabet[(group >> 6) & 0x3f];
        out += kBase64Alphabet[group & 0x3f];
    }
    const std::size_t rest = data.size() - i;
    if (rest > 0) {
        unsigned long group = static_cast<unsigned long>(static_cast<unsigned char>(data[i])) << 16;
        if (rest == 2)
            group |= static_cast<unsigned long>(static_cast<unsigned char>(data[i + 1])) << 8;
        out += kBase64Alphabet[(group >> 18) & 0x3f];
        out += kBase64Alphabet[(group >> 12) & 0x3f];
        if (rest == 2)
            out += kBase64Alphabet[(group >> 6) & 0x3f];
        if (pad)
            out.append(3 - rest, '=');
    }
    return out;
}

std::string base64_to_str(const std::string& text)
{
    std::size_t len = text.size();
    while (len > 0 && text[len - 1] == '=')
        --len;

    std::string out;
    out.reserve(len / 4 * 3 + 2);
    unsigned long group = 0;
    unsigned int count = 0;
    for (std::size_t i = 0; i < len; ++i) {
        const int v = base64_value(static_cast<unsigned char>(text[i]));
        if (v < 0)
            return std::string();
        group = (group << 6) | static_cast<unsigned long>(v);
        if (++count == 4) {
            out += static_cast<char>((group >> 16) & 0xff);
            out += static_cast<char>((group >> 8) & 0xff);
            out += static_cast<char>(group & 0xff);
            group = 0;
            count = 0;
        }
    }
    // A trailing group of 2 or 3 characters carries 1 or 2 bytes; a single
    // character carries too few bits for a byte and is dropped.
    if (count == 2) {
        out += static_cast<char>((group >> 4) & 0xff);
    } else if (count == 3) {
        out += static_cast<char>((group >> 10) & 0xff);
        out += static_cast<char>((group >> 2) & 0xff);
    }
    return out;
}
