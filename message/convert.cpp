#include "message/convert.h"

#include <cmath>
#include <cstdio>

std::string int_to_str(int v)
{
    char buffer[32];
    snprintf(buffer, sizeof buffer, "%d", v);
    return buffer;
}

std::string uint_to_str(unsigned int v)
{
    char buffer[32];
    snprintf(buffer, sizeof buffer, "%u", v);
    return buffer;
}

std::string float_to_str(float v)
{
    if (std::isinf(v))
        return v < 0 ? "-inf" : "inf";
    // The largest float prints with 39 digits before the point.
    char buffer[64];
    snprintf(buffer, sizeof buffer, "%3f", static_cast<double>(v));
    return buffer;
}

std::string bool_to_str(bool v)
{
    return v ? "true" : "false";
}

int str_to_int(const std::string& s)
{
    int v = 0;
    if (sscanf(s.c_str(), "%d", &v) != 1)
        v = 0;
    return v;
}

unsigned int str_to_uint(const std::string& s)
{
    unsigned int v = 0;
    if (sscanf(s.c_str(), "%u", &v) != 1)
        v = 0;
    return v;
}

float str_to_float(const std::string& s)
{
    if (s == "-inf")
        return -INFINITY;
    if (s == "inf")
        return INFINITY;
    float v = 0.0f;
    if (sscanf(s.c_str(), "%f", &v) != 1)
        v = 0.0f;
    return v;
}

bool str_to_bool(const std::string& s)
{
    return s == "true";
}
