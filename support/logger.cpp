#include "support/logger.h"

#include "support/exception.h"

#include <cstdio>
#include <cstring>
#include <syslog.h>

Logger g_log;

Logger::Logger()
{
    for (LOG_LEVEL& level : m_levels)
        level = LL_INFO;
}

Logger::~Logger()
{
    close_syslog();
}

void Logger::open_syslog()
{
    close_syslog();
    openlog(nullptr, 0, LOG_USER);
    m_syslog = true;
}

void Logger::close_syslog()
{
    if (m_syslog) {
        closelog();
        m_syslog = false;
    }
}

void Logger::set_log_level(unsigned int mask, LOG_LEVEL level)
{
    for (unsigned int bit = 0; bit < 32; ++bit) {
        if (mask & (1u << bit))
            m_levels[bit] = level;
    }
}

LOG_LEVEL Logger::get_log_level(unsigned int channel) const
{
    return channel < 32 ? m_levels[channel] : LL_INFO;
}

bool Logger::passes(unsigned int mask, LOG_LEVEL level) const
{
    unsigned int channel = 0;
    while (channel < 32 && !(mask & (1u << channel)))
        ++channel;
    if (channel == 32)
        channel = 0;
    return level <= m_levels[channel];
}

void Logger::log(LOG_LEVEL level, const char* format, ...)
{
    if (!passes(1, level))
        return;
    va_list args;
    va_start(args, format);
    do_log(1, level, format, args);
    va_end(args);
}

void Logger::clog(unsigned int mask, LOG_LEVEL level, const char* format, ...)
{
    if (!passes(mask, level))
        return;
    va_list args;
    va_start(args, format);
    do_log(mask, level, format, args);
    va_end(args);
}

void Logger::errno_log(unsigned int mask, int err, const char* format, va_list args)
{
    const std::string error = libipc_errstr_for(err);
    char combined[1024];
    const int n = snprintf(combined, sizeof combined, "%s: %s", format ? format : "", error.c_str());
    // A cut in the middle of a conversion would leave a dangling '%' that
    // vsnprintf must not see.
    if (n >= static_cast<int>(sizeof combined)) {
        size_t len = strlen(combined);
        size_t percents = 0;
        while (percents < len && combined[len - 1 - percents] == '%')
            ++percents;
        if (percents % 2)
            combined[len - 1] = '\0';
    }
    do_log(mask, LL_ERROR, combined, args);
}

void Logger::log_errno(int err, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    errno_log(1, err, format, args);
    va_end(args);
}

void Logger::clog_errno(unsigned int mask, int err, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    errno_log(mask, err, format, args);
    va_end(args);
}

void Logger::do_log(unsigned int mask, LOG_LEVEL level, const char* format, va_list args)
{
    char line[4096];
    line[0] = '\0';
    if (vsnprintf(line, sizeof line, format ? format : "", args) < 0)
        line[0] = '\0';
    handle_log(mask, level, line);
}

int Logger::syslog_priority(LOG_LEVEL level)
{
    switch (level) {
    case LL_ERROR:
        return LOG_ERR;
    case LL_WARNING:
        return LOG_WARNING;
    case LL_INFO:
        return LOG_INFO;
    case LL_DEBUG:
        return LOG_DEBUG;
    }
    return LOG_INFO;
}

void Logger::handle_log(unsigned int, LOG_LEVEL level, const char* text)
{
    if (m_syslog)
        syslog(syslog_priority(level), "%s", text);
    else
        fprintf(stderr, "%s\n", text);
}
