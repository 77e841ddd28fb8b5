// XML form of a message. One node is one element: the node's name is the
// element name, each parameter an attribute (in name order, value as text),
// each child a child element (child names ascending, then list order). The
// node's text is never written; when reading, the last run of character data
// of an element becomes it. On the wire the declaration is stripped and a NUL
// byte ends the frame:
//
//   <change_line_state command="hold" line_id="3"/>
//
// Reading is lenient (no error is reported; the message keeps what was read
// before any malformed input) but bounded, because input from a unit is
// hostile: nesting is limited to Message::MAX_DEPTH levels; a frame holds at
// most kMaxElements elements and kMaxDocumentAttributes attributes, and an
// element at most kMaxAttributes (the reader checks duplicate attributes in
// quadratic time); document type declarations are refused (entity
// expansion). Refused input ends decoding exactly as malformed input does.
// Message files are the user's own and are read whole: only the nesting
// bound and the refusal of document type declarations apply to them, and
// either one makes the file unreadable rather than silently cut.
//
// Names are read with namespace processing, as a standard reader sees them:
// a namespace declaration (xmlns, xmlns:p) is not an attribute, a node or
// parameter is named by its local name, and an undeclared prefix is
// malformed input. Units use no namespaces; a prefix is only an alias of one,
// so keeping it would make the writer produce a prefix it never declares.

#include "message/message.h"

#include <QByteArray>
#include <QXmlStreamAttributes>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <cstring>

namespace {

constexpr size_t kMaxAttributes = 1024;
// Far more than any status message holds, yet it keeps a frame full of small
// elements quick to read, store, log and dispatch: 16,384 elements with an
// attribute or two took over 100 ms on the receive path of a debug build.
constexpr size_t kMaxElements = 4096;
// Every attribute read costs a parameter in the message, its copy in the
// store and its text in the log: 131,072 of them (4,096 elements of 32) took
// 400 ms on the receive path of a debug build. No status message comes near.
// With kMaxAttributes it also bounds the reader's duplicate checks of a
// frame: at most four elements of 1,024, about 2.1 million comparisons.
constexpr size_t kMaxDocumentAttributes = 4096;

bool starts_with_at(const std::string& s, size_t pos, const char* prefix)
{
    return s.compare(pos, strlen(prefix), prefix) == 0;
}

// One linear pass over the raw text: returns the length of the prefix that
// may be handed to the XML reader. That is all of s unless s holds a document
// type declaration or, in a frame (counted is true), more elements or
// attributes than a frame may hold; then it is the offset of that construct,
// so the reader sees the input end right there. Attributes are counted as
// the '=' signs of a start tag, namespace declarations included.
size_t xml_safe_length(const std::string& s, bool counted)
{
    const size_t n = s.size();
    size_t total_attributes = 0;
    size_t elements = 0;
    size_t i = 0;
    while (i < n) {
        const size_t open = s.find('<', i);
        if (open == std::string::npos)
            return n;
        if (starts_with_at(s, open, "<!--") || starts_with_at(s, open, "<![CDATA[") || starts_with_at(s, open, "<?")) {
            const bool pi = s[open + 1] == '?';
            const bool comment = !pi && s[open + 2] == '-';
            const char* close = pi ? "?>" : (comment ? "-->" : "]]>");
            // The closing mark is looked for after the whole opening mark, as
            // the reader does ("<!-->" does not end the comment it opens).
            const size_t end = s.find(close, open + (pi ? 2 : (comment ? 4 : 9)));
            // Unterminated: the reader stops there by itself.
            if (end == std::string::npos)
                return n;
            i = end + strlen(close);
            continue;
        }
        if (starts_with_at(s, open, "<!"))
            return open;
        if (starts_with_at(s, open, "</")) {
            i = open + 2;
            continue;
        }
        if (counted && ++elements > kMaxElements)
            return open;
        // A start tag: count the '=' signs outside quoted values up to '>'.
        size_t attributes = 0;
        char quote = 0;
        size_t j = open + 1;
        for (; j < n; ++j) {
            const char c = s[j];
            if (quote) {
                if (c == quote)
                    quote = 0;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '=') {
                ++attributes;
            } else if (c == '>' || c == '<') {
                break;
            }
        }
        total_attributes += attributes;
        if (counted && (attributes > kMaxAttributes || total_attributes > kMaxDocumentAttributes))
            return open;
        i = j;
        if (i < n && s[i] == '>')
            ++i;
    }
    return n;
}

// UTF-8 bytes of a name or value; plain ASCII (the usual case) is copied
// without the intermediate QString and QByteArray.
std::string to_std(QStringView text)
{
    const QChar* data = text.data();
    const int size = text.size();
    std::string out;
    out.reserve(static_cast<size_t>(size));
    for (int i = 0; i < size; ++i) {
        const ushort c = data[i].unicode();
        if (c >= 0x80)
            return text.toString().toStdString();
        out.push_back(static_cast<char>(c));
    }
    return out;
}

// Qt's reader checks that a prefixed element name has a local part that can
// begin a name, but not so for attributes: "p:6" comes out as "6", which is
// no name at all and would be written back as malformed XML. Such an
// attribute ends decoding as malformed input, as in a standard reader.
bool attribute_names_well_formed(const QXmlStreamReader& reader)
{
    const QXmlStreamAttributes attributes = reader.attributes();
    for (const QXmlStreamAttribute& attribute : attributes) {
        const QStringView name = attribute.name();
        if (name.isEmpty())
            return false;
        const ushort c = name.at(0).unicode();
        if (c == '-' || c == '.' || (c >= '0' && c <= '9') || c == 0xb7 || (c >= 0x300 && c <= 0x36f) || c == 0x203f
            || c == 0x2040)
            return false;
    }
    return true;
}

// The start element the reader stands on may be taken in: if not, reading
// ends there as at malformed input.
bool acceptable_start(QXmlStreamReader* reader)
{
    if (attribute_names_well_formed(*reader))
        return true;
    reader->raiseError(QStringLiteral("attribute without a local name"));
    return false;
}

} // namespace

namespace {

// Whether XML 1.0 can carry this UTF-16 unit where it stands: tab, line feed,
// carriage return and everything from U+0020 on, except U+FFFE, U+FFFF and
// surrogates that are not part of a pair.
bool xml_allowed(const QChar* text, int size, int i)
{
    const ushort c = text[i].unicode();
    if (c < 0x20)
        return c == 0x09 || c == 0x0A || c == 0x0D;
    if (c == 0xFFFE || c == 0xFFFF)
        return false;
    if (QChar::isHighSurrogate(c))
        return i + 1 < size && QChar::isLowSurrogate(text[i + 1].unicode());
    if (QChar::isLowSurrogate(c))
        return i > 0 && QChar::isHighSurrogate(text[i - 1].unicode());
    return true;
}

// The text of a name or value as it may go into a frame. Characters that
// XML 1.0 forbids (NUL and the other C0 controls but tab, line feed and
// carriage return; U+FFFE, U+FFFF; lone surrogates) cannot be written even
// as character references, and a NUL would end the frame early at the unit.
// They are dropped, not replaced: they come from pasted text, have no
// visible form in a chat line or a caller field, and a replacement mark would
// show in every console and in the unit's stored record. Dropping is also
// what the XML writer has always done with them in values, so the bytes a
// unit receives stay the same; here it holds for names and keys as well, and
// whatever writer is used.
QString xml_text(const std::string& bytes)
{
    QString text = QString::fromStdString(bytes);
    const QChar* data = text.constData();
    const int size = text.size();
    int i = 0;
    while (i < size && xml_allowed(data, size, i))
        ++i;
    if (i == size)
        return text;
    QString kept;
    kept.reserve(size - 1);
    kept.append(data, i);
    for (++i; i < size; ++i) {
        if (xml_allowed(data, size, i))
            kept.append(data[i]);
    }
    return kept;
}

} // namespace

void Params::params_to_xml(QXmlStreamWriter* writer) const
{
    for (const auto& entry : m_params)
        writer->writeAttribute(xml_text(entry.first), xml_text(entry.second.to_string()));
}

void Params::params_from_xml(QXmlStreamReader* reader)
{
    const QXmlStreamAttributes attributes = reader->attributes();
    for (const QXmlStreamAttribute& attribute : attributes)
        m_params[to_std(attribute.name())] = variant(to_std(attribute.value()));
}

void Message::build_string_xml(std::string& out, bool autoformat) const
{
    QByteArray buffer;
    QXmlStreamWriter writer(&buffer);
    writer.setAutoFormatting(autoformat);
    build_xml(&writer, true);
    // The writer ends every document with a line break; a frame on the wire
    // carries no white space at all, so it goes when not formatting.
    if (!autoformat && buffer.endsWith('\n'))
        buffer.chop(1);
    out.assign(buffer.constData(), static_cast<size_t>(buffer.size()));
}

void Message::build_xml(QXmlStreamWriter* writer, bool document) const
{
    if (document)
        writer->writeStartDocument();
    writer->writeStartElement(xml_text(m_name));
    m_params.params_to_xml(writer);
    for (const auto& list : m_children) {
        for (const auto& child : list.second)
            child->build_xml(writer, false);
    }
    writer->writeEndElement();
    if (document)
        writer->writeEndDocument();
}

void Message::parse_string_xml(const std::string& s)
{
    decode_xml(s, false);
}

bool Message::decode_xml(const std::string& s, bool whole_file)
{
    const size_t length = xml_safe_length(s, !whole_file);
    QByteArray data(s.data(), static_cast<int>(length));
    // A bare '<' where the refused part began: the reader stops there as at
    // any malformed input, after delivering everything before it (without it,
    // a start tag at the very end of the data is not delivered at all).
    if (length < s.size())
        data.append('<');
    // Namespace processing stays on, as the reader has it by default.
    QXmlStreamReader reader(data);
    while (!reader.atEnd() && reader.tokenType() != QXmlStreamReader::StartElement)
        reader.readNext();
    if (reader.tokenType() != QXmlStreamReader::StartElement || !acceptable_start(&reader))
        return length == s.size();
    m_name = to_std(reader.name());
    m_params.params_from_xml(&reader);
    return parse_xml_node(&reader, 1) && length == s.size();
}

void Message::parse_xml(QXmlStreamReader* reader)
{
    while (!reader->atEnd() && reader->tokenType() != QXmlStreamReader::StartElement)
        reader->readNext();
    if (reader->tokenType() != QXmlStreamReader::StartElement || !acceptable_start(reader))
        return;
    m_name = to_std(reader->name());
    m_params.params_from_xml(reader);
    parse_xml_node(reader, 1);
}

// Reads the content of the element whose start tag was just read into this
// node (name and attributes), up to and including its end tag. False when
// the nesting bound cut it.
bool Message::parse_xml_node(QXmlStreamReader* reader, unsigned int depth)
{
    while (!reader->atEnd()) {
        reader->readNext();
        const QXmlStreamReader::TokenType token = reader->tokenType();
        if (token == QXmlStreamReader::EndElement)
            break;
        if (token == QXmlStreamReader::StartElement) {
            if (depth >= MAX_DEPTH) {
                // Ends decoding as malformed input would, at every level.
                reader->raiseError(QStringLiteral("nested too deeply"));
                return false;
            }
            if (!acceptable_start(reader))
                break;
            Message& child = add_child(to_std(reader->name()));
            child.m_params.params_from_xml(reader);
            if (!child.parse_xml_node(reader, depth + 1))
                return false;
        } else if (token == QXmlStreamReader::Characters) {
            m_text = to_std(reader->text());
        }
    }
    return true;
}

void strip_xml_header(std::string& s)
{
    if (s.compare(0, 2, "<?") != 0)
        return;
    const size_t end = s.find("?>");
    if (end == std::string::npos)
        return;
    const size_t open = s.find('<', end);
    if (open == std::string::npos)
        s.clear();
    else
        s.erase(0, open);
}
