#pragma once

#include "message/params.h"

#include <QMetaType>

#include <map>
#include <memory>
#include <string>
#include <vector>

class QXmlStreamReader;
class QXmlStreamWriter;

// A named node with a parameter set, an optional character text and named
// children (several per name, addressed by name and index). The unit of every
// exchange with a unit. A node owns its children; copies are deep.
class Message
{
public:
    enum ENC_FORMAT {
        ENC_COMPACT = 0,
        ENC_XML = 1,
    };

    using ChildList = std::vector<std::unique_ptr<Message>>;
    using ChildMap = std::map<std::string, ChildList>;

    // Decoders refuse input nested deeper than this many levels (the root is
    // level 1), so hostile input cannot exhaust the stack.
    static constexpr unsigned int MAX_DEPTH = 256;

    Message();
    explicit Message(const std::string& encoded);
    Message(const Message& other);
    Message& operator=(const Message& other);
    ~Message();

    std::string get_name() const { return m_name; }
    void set_name(const std::string& name) { m_name = name; }

    // Character data of the node: set by the XML decoder, never encoded.
    const std::string& text() const { return m_text; }
    void set_text(const std::string& text) { m_text = text; }

    Params& params() { return m_params; }
    const Params& params() const { return m_params; }

    const ChildMap& children() const { return m_children; }
    unsigned int num_children(const std::string& name) const;
    // Throws Exception when there is no such child.
    Message& get_child(const std::string& name, unsigned int index);
    const Message& get_child(const std::string& name, unsigned int index) const;
    Message& add_child(const std::string& name);
    Message& add_child(const Message& m);

    // Destroys the children and empties the params; name and text stay.
    void clear();

    bool operator==(const Message& o) const { return !(*this != o); }
    bool operator!=(const Message& o) const;

    // Writes the tree to g_log at LL_INFO.
    void dump(unsigned int indent = 0) const;

    // Whole-message entry points: pick the encoding (a leading '<' is XML,
    // a leading 0x00 the compact form).
    void build_string(ENC_FORMAT fmt, std::string& out, bool autoformat = false) const;
    void parse_string(const std::string& s);

    // Compact form of one node (no format tag).
    void build_string_compact(std::string& out) const;
    unsigned int parse_string_compact(const char* data, unsigned int pos, unsigned int len);

    // XML form.
    void build_string_xml(std::string& out, bool autoformat) const;
    void build_xml(QXmlStreamWriter* writer, bool document) const;
    void parse_string_xml(const std::string& s);
    void parse_xml(QXmlStreamReader* reader);

    // Message files. XML files are read whole; one nested deeper than
    // MAX_DEPTH or holding a document type declaration throws Exception.
    void write_to_file(ENC_FORMAT fmt, const std::string& path) const;
    void build_file_xml(const std::string& path, bool autoformat) const;
    void read_from_file(const std::string& path);
    void parse_file_xml(const std::string& path);

private:
    unsigned int parse_compact_node(const char* data, unsigned int pos, unsigned int len, unsigned int depth);
    void build_compact_node(std::string& out) const;
    void check_compact_limits(unsigned int depth) const;
    bool parse_xml_node(QXmlStreamReader* reader, unsigned int depth);
    // Decodes the XML document s into this message, with the bounds of a
    // frame or, for whole_file, those of a message file. False when a bound
    // refused part of s (what came before it is kept).
    bool decode_xml(const std::string& s, bool whole_file);
    // Adds the XML document of a message file; false, with this message
    // unchanged, when the file is beyond what can be read.
    bool add_file_xml(const std::string& data);
    void copy_from(const Message& other);

    std::string m_name;
    std::string m_text;
    Params m_params;
    ChildMap m_children;
};

// Declared here, next to the type, so that every user agrees on it; the
// session only has to call qRegisterMetaType<Message>("Message").
Q_DECLARE_METATYPE(Message)

// Removes a leading XML declaration (and anything up to the first element).
void strip_xml_header(std::string& s);

// Little-endian helpers of the compact form. The getters throw Exception
// ("message too short") when the field runs past len.
void put_ushort(std::string& out, uint16_t v);
void put_uchar(std::string& out, uint8_t v);
uint16_t get_ushort(const char* data, unsigned int& pos, unsigned int len);
uint8_t get_uchar(const char* data, unsigned int& pos, unsigned int len);
