#pragma once

#include <exception>
#include <string>

// The one exception type of the message and transport layers. The text is
// printf-formatted; by convention the first argument is the signature of the
// throwing function, written out as a literal at the throw site so that the
// text does not depend on how a compiler spells signatures.
class Exception : public std::exception
{
public:
    // Formats like vsnprintf into 4,096 bytes; longer texts are cut at 4,095.
    explicit Exception(const char* format, ...) __attribute__((format(printf, 2, 3)));
    ~Exception() override;

    const char* what() const noexcept override;

private:
    std::string m_text;
};

// The system's text for the current errno. The flag has no effect.
std::string libipc_errstr(bool unused = false);

// The system's text for a given error number (at most 1,023 bytes).
std::string libipc_errstr_for(int err);
