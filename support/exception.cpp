#include "support/exception.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

// strerror_r comes in two flavours (XSI returns int, GNU returns char*);
// these overloads pick the right reading of the result at compile time.
[[maybe_unused]] const char* errstr_result(int rc, const char* buffer)
{
    return rc == 0 ? buffer : "Unknown error";
}

[[maybe_unused]] const char* errstr_result(const char* text, const char*)
{
    return text ? text : "Unknown error";
}

} // namespace

Exception::Exception(const char* format, ...)
{
    char buffer[4096];
    buffer[0] = '\0';
    va_list args;
    va_start(args, format);
    const int n = vsnprintf(buffer, sizeof buffer, format ? format : "", args);
    va_end(args);
    if (n < 0)
        buffer[0] = '\0';
    m_text = buffer;
}

Exception::~Exception() = default;

const char* Exception::what() const noexcept
{
    return m_text.c_str();
}

std::string libipc_errstr_for(int err)
{
    char buffer[1024];
    buffer[0] = '\0';
    return std::string(errstr_result(strerror_r(err, buffer, sizeof buffer), buffer));
}

std::string libipc_errstr(bool)
{
    return libipc_errstr_for(errno);
}
