#include "message/variant.h"

#include "message/convert.h"

#include <cstring>

variant::variant() = default;

variant::variant(const std::string& s)
    : m_type(TYPE_STRING)
    , m_str(s)
{
}

uint32_t variant::slot() const
{
    return static_cast<uint32_t>(m_value[0]) | (static_cast<uint32_t>(m_value[1]) << 8)
        | (static_cast<uint32_t>(m_value[2]) << 16) | (static_cast<uint32_t>(m_value[3]) << 24);
}

void variant::set_slot(uint32_t v)
{
    m_value[0] = static_cast<unsigned char>(v);
    m_value[1] = static_cast<unsigned char>(v >> 8);
    m_value[2] = static_cast<unsigned char>(v >> 16);
    m_value[3] = static_cast<unsigned char>(v >> 24);
}

namespace {

uint32_t float_bits(float v)
{
    uint32_t bits;
    memcpy(&bits, &v, sizeof bits);
    return bits;
}

float bits_float(uint32_t bits)
{
    float v;
    memcpy(&v, &bits, sizeof v);
    return v;
}

bool known_type(variant::VALUE_TYPE t)
{
    return t <= variant::TYPE_BOOL;
}

} // namespace

void variant::set_string(const std::string& s)
{
    m_type = TYPE_STRING;
    m_str = s;
}

void variant::set_int(int v)
{
    m_type = TYPE_INT;
    set_slot(static_cast<uint32_t>(v));
}

void variant::set_uint(unsigned int v)
{
    m_type = TYPE_UINT;
    set_slot(v);
}

void variant::set_float(float v)
{
    m_type = TYPE_FLOAT;
    set_slot(float_bits(v));
}

void variant::set_bool(bool v)
{
    m_type = TYPE_BOOL;
    set_slot(v ? 1 : 0);
}

std::string variant::get_string() const
{
    return to_string();
}

int variant::get_int() const
{
    return m_type == TYPE_INT ? static_cast<int>(slot()) : str_to_int(to_string());
}

unsigned int variant::get_uint() const
{
    return m_type == TYPE_UINT ? slot() : str_to_uint(to_string());
}

float variant::get_float() const
{
    return m_type == TYPE_FLOAT ? bits_float(slot()) : str_to_float(to_string());
}

bool variant::get_bool() const
{
    // A bool byte from the wire may hold any value; only its lowest bit counts.
    return m_type == TYPE_BOOL ? (m_value[0] & 1) != 0 : str_to_bool(to_string());
}

std::string variant::to_string() const
{
    switch (m_type) {
    case TYPE_NONE:
        return std::string();
    case TYPE_STRING:
        return m_str;
    case TYPE_INT:
        return int_to_str(static_cast<int>(slot()));
    case TYPE_UINT:
        return uint_to_str(slot());
    case TYPE_FLOAT:
        return float_to_str(bits_float(slot()));
    case TYPE_BOOL:
        return bool_to_str((m_value[0] & 1) != 0);
    }
    return std::string();
}

void variant::from_string(const std::string& s)
{
    if (m_type == TYPE_NONE)
        m_type = TYPE_STRING;
    switch (m_type) {
    case TYPE_NONE:
        break;
    case TYPE_STRING:
        m_str = s;
        break;
    case TYPE_INT:
        set_slot(static_cast<uint32_t>(str_to_int(s)));
        break;
    case TYPE_UINT:
        set_slot(str_to_uint(s));
        break;
    case TYPE_FLOAT:
        set_slot(float_bits(str_to_float(s)));
        break;
    case TYPE_BOOL:
        set_slot(str_to_bool(s) ? 1 : 0);
        break;
    }
}

void variant::set_type(VALUE_TYPE type)
{
    // Converting to "no value" unsets the value; going through from_string
    // would turn it into a string instead.
    if (!is_set() || type == TYPE_NONE) {
        m_type = type;
        return;
    }
    const std::string text = to_string();
    m_type = type;
    from_string(text);
}

const char* variant::get_data() const
{
    if (m_type == TYPE_STRING)
        return m_str.data();
    return reinterpret_cast<const char*>(m_value);
}

unsigned int variant::get_data_len() const
{
    switch (m_type) {
    case TYPE_STRING:
        return static_cast<unsigned int>(m_str.size());
    case TYPE_INT:
    case TYPE_UINT:
    case TYPE_FLOAT:
        return 4;
    case TYPE_BOOL:
        return 1;
    case TYPE_NONE:
        break;
    }
    return 0;
}

void variant::set_data(const char* data, unsigned int len)
{
    if (m_type == TYPE_STRING) {
        if (data && len)
            m_str.assign(data, len);
        else
            m_str.clear();
        return;
    }
    // Bytes from the wire: never more than the type's width goes into the
    // slot, and a short value reads as if padded with zeros.
    const unsigned int width = get_data_len();
    const unsigned int n = (data && len < width) ? len : (data ? width : 0);
    set_slot(0);
    if (n)
        memcpy(m_value, data, n);
}

bool variant::operator==(const variant& o) const
{
    if (m_type == o.m_type && known_type(m_type)) {
        switch (m_type) {
        case TYPE_NONE:
            return true;
        case TYPE_STRING:
            return m_str == o.m_str;
        case TYPE_INT:
        case TYPE_UINT:
            return slot() == o.slot();
        case TYPE_FLOAT:
            return bits_float(slot()) == bits_float(o.slot());
        case TYPE_BOOL:
            return (m_value[0] & 1) == (o.m_value[0] & 1);
        }
    }
    return to_string() == o.to_string();
}
