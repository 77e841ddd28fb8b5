#include "message/params.h"

#include <cmath>
#include <limits>

Params::Params() = default;

const variant* Params::get_variant(const std::string& name) const
{
    const auto it = m_params.find(name);
    return it == m_params.end() ? nullptr : &it->second;
}

void Params::set_variant(const std::string& name, const variant& v)
{
    m_params[name] = v;
}

variant& Params::entry(const char* name)
{
    return m_params[name ? std::string(name) : std::string()];
}

namespace {

const variant* lookup(const Params::Map& map, const char* name)
{
    if (!name)
        return nullptr;
    const auto it = map.find(name);
    return it == map.end() ? nullptr : &it->second;
}

} // namespace

bool Params::get_bool(const char* name, bool def) const
{
    const variant* v = lookup(m_params, name);
    return (v && v->is_set()) ? v->get_bool() : def;
}

int Params::get_int(const char* name, int def) const
{
    const variant* v = lookup(m_params, name);
    return v ? v->get_int() : def;
}

unsigned int Params::get_uint(const char* name, unsigned int def) const
{
    const variant* v = lookup(m_params, name);
    return v ? v->get_uint() : def;
}

float Params::get_float(const char* name, float def) const
{
    const variant* v = lookup(m_params, name);
    return v ? v->get_float() : def;
}

float Params::get_fixed(const char* name, float def, unsigned int scale) const
{
    const variant* v = lookup(m_params, name);
    return v ? static_cast<float>(v->get_int()) / static_cast<float>(scale) : def;
}

std::string Params::get_string(const char* name, const std::string& def) const
{
    const variant* v = lookup(m_params, name);
    return v ? v->get_string() : def;
}

QString Params::get_qstring(const char* name, const QString& def) const
{
    const variant* v = lookup(m_params, name);
    return v ? QString::fromStdString(v->get_string()) : def;
}

variant::VALUE_TYPE Params::get_type(const char* name) const
{
    const variant* v = lookup(m_params, name);
    return v ? v->get_type() : variant::TYPE_NONE;
}

void Params::set_bool(const char* name, bool v)
{
    entry(name).set_bool(v);
}

void Params::set_int(const char* name, int v)
{
    entry(name).set_int(v);
}

void Params::set_uint(const char* name, unsigned int v)
{
    entry(name).set_uint(v);
}

void Params::set_float(const char* name, float v)
{
    entry(name).set_float(v);
}

void Params::set_string(const char* name, const std::string& v)
{
    entry(name).set_string(v);
}

void Params::set_fixed(const char* name, float v, unsigned int scale)
{
    // Single precision on purpose: the unit scales the same way.
    const float product = v * static_cast<float>(scale);
    int stored = 0;
    // Converting a float outside the int range is undefined; clamp instead.
    if (std::isnan(product))
        stored = 0;
    else if (product >= 2147483648.0f)
        stored = std::numeric_limits<int>::max();
    else if (product <= -2147483648.0f)
        stored = std::numeric_limits<int>::min();
    else
        stored = static_cast<int>(product);
    set_int(name, stored);
}

void Params::set_qstring(const char* name, const QString& v)
{
    set_string(name, v.toStdString());
}

bool Params::has_param(const char* name) const
{
    return lookup(m_params, name) != nullptr;
}

bool Params::has_param() const
{
    return !m_params.empty();
}

unsigned int Params::num_params() const
{
    return static_cast<unsigned int>(m_params.size());
}

std::vector<std::string> Params::enum_params() const
{
    std::vector<std::string> names;
    names.reserve(m_params.size());
    for (const auto& entry : m_params)
        names.push_back(entry.first);
    return names;
}

void Params::clear_param(const char* name)
{
    if (name)
        m_params.erase(name);
}

void Params::clear()
{
    m_params.clear();
}

Params& Params::operator+=(const Params& o)
{
    if (&o == this)
        return *this;
    for (const auto& entry : o.m_params)
        m_params[entry.first] = entry.second;
    return *this;
}

Params operator+(const Params& a, const Params& b)
{
    Params result(a);
    result += b;
    return result;
}

void Params::merge(const Params& o, bool update)
{
    if (&o == this)
        return;
    for (const auto& entry : o.m_params) {
        const auto it = m_params.find(entry.first);
        if (update && it != m_params.end())
            it->second = entry.second;
        else if (!update && it == m_params.end())
            m_params.emplace(entry.first, entry.second);
    }
}

bool Params::operator==(const Params& o) const
{
    if (m_params.size() != o.m_params.size())
        return false;
    auto a = m_params.begin();
    auto b = o.m_params.begin();
    for (; a != m_params.end(); ++a, ++b) {
        if (a->first != b->first || a->second != b->second)
            return false;
    }
    return true;
}
