#pragma once

#include <cstdint>
#include <string>

// A small typed value of a message parameter. Every value has a text form;
// any getter may be applied to any type (the value is converted through its
// text form), and values of different types compare by their text forms.
class variant
{
public:
    // The numbers travel in the compact encoding; other numbers can arrive
    // from the wire and are kept (their text form is empty).
    enum VALUE_TYPE : uint32_t {
        TYPE_NONE = 0,
        TYPE_STRING = 1,
        TYPE_INT = 2,
        TYPE_UINT = 3,
        TYPE_FLOAT = 4,
        TYPE_BOOL = 5,
    };

    variant();
    explicit variant(const std::string& s);

    void set_string(const std::string& s);
    void set_int(int v);
    void set_uint(unsigned int v);
    void set_float(float v);
    void set_bool(bool v);

    std::string get_string() const;
    int get_int() const;
    unsigned int get_uint() const;
    float get_float() const;
    bool get_bool() const;

    std::string to_string() const;
    void from_string(const std::string& s);

    void set_type(VALUE_TYPE type);
    VALUE_TYPE get_type() const { return m_type; }
    bool is_set() const { return m_type != TYPE_NONE; }
    void clear() { m_type = TYPE_NONE; }

    // The byte form of the compact encoding: the string's bytes, or the
    // first get_data_len() bytes of the 4-byte slot in little-endian order.
    const char* get_data() const;
    unsigned int get_data_len() const;
    // Inverse of get_data(). For non-string types at most the type's width is
    // copied and missing bytes read as zero; the slot is never overrun.
    void set_data(const char* data, unsigned int len);

    bool operator==(const variant& o) const;
    bool operator!=(const variant& o) const { return !(*this == o); }

private:
    uint32_t slot() const;
    void set_slot(uint32_t v);

    VALUE_TYPE m_type = TYPE_NONE;
    std::string m_str;
    // Kept in little-endian byte order whatever the host, so that get_data()
    // is the wire form directly.
    unsigned char m_value[4] = {0, 0, 0, 0};
};
