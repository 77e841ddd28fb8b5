#pragma once

#include "message/variant.h"

#include <QString>

#include <map>
#include <string>
#include <vector>

class QXmlStreamReader;
class QXmlStreamWriter;

// The parameter set of a message node: an ordered map from name to variant,
// ordered byte-wise by name (that order is the order of every encoding).
// Getters take a default and never fail or insert; setters insert.
class Params
{
public:
    using Map = std::map<std::string, variant>;

    Params();
    // Parses the one-line text form; a null pointer makes an empty set.
    explicit Params(const char* text);
    explicit Params(const std::string& text);

    bool get_bool(const char* name, bool def) const;
    int get_int(const char* name, int def) const;
    unsigned int get_uint(const char* name, unsigned int def) const;
    float get_float(const char* name, float def) const;
    float get_fixed(const char* name, float def, unsigned int scale) const;
    std::string get_string(const char* name, const std::string& def) const;
    QString get_qstring(const char* name, const QString& def) const;
    variant::VALUE_TYPE get_type(const char* name) const;

    void set_bool(const char* name, bool v);
    void set_int(const char* name, int v);
    void set_uint(const char* name, unsigned int v);
    void set_float(const char* name, float v);
    void set_string(const char* name, const std::string& v);
    void set_fixed(const char* name, float v, unsigned int scale);
    void set_qstring(const char* name, const QString& v);

    bool has_param(const char* name) const;
    bool has_param() const;
    unsigned int num_params() const;
    std::vector<std::string> enum_params() const;
    void clear_param(const char* name);
    void clear();

    // Raw access by byte-string name (names may hold any byte, NUL included).
    const Map& entries() const { return m_params; }
    const variant* get_variant(const std::string& name) const;
    void set_variant(const std::string& name, const variant& v);

    Params& operator+=(const Params& o);
    // update true: refresh names already present; false: add missing names.
    void merge(const Params& o, bool update);

    bool operator==(const Params& o) const;
    bool operator!=(const Params& o) const { return !(*this == o); }

    // One-line text form: name=value pairs, each followed by a blank.
    void parse_string(const std::string& text);
    std::string build_string() const;
    std::string quote_value(const std::string& value) const;
    std::string unquote_value(const std::string& text, int& pos) const;

    // XML attributes of the element being written / just read.
    void params_to_xml(QXmlStreamWriter* writer) const;
    void params_from_xml(QXmlStreamReader* reader);

private:
    variant& entry(const char* name);

    Map m_params;
};

Params operator+(const Params& a, const Params& b);
