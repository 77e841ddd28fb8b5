#pragma once

#include <cstdarg>

// Verbosity of a log line; a line passes a channel when its level is not
// greater than the channel's level, so larger means more verbose. The type is
// unsigned and may hold numbers outside the named ones.
enum LOG_LEVEL : unsigned int {
    LL_ERROR = 0,
    LL_WARNING = 1,
    LL_INFO = 2,
    LL_DEBUG = 3,
};

// Leveled log sink of the message and transport layers. Lines go to the
// standard error stream, or to the system log once open_syslog() was called.
// There are 32 channels (one per bit of a mask), each with its own level.
// Subclasses may override handle_log() to send formatted lines elsewhere.
class Logger
{
public:
    Logger();
    virtual ~Logger();

    void open_syslog();
    void close_syslog();
    bool syslog_open() const { return m_syslog; }

    void set_log_level(unsigned int mask, LOG_LEVEL level);
    LOG_LEVEL get_log_level(unsigned int channel) const;

    // Channel 0, handed on with mask 1.
    void log(LOG_LEVEL level, const char* format, ...) __attribute__((format(printf, 3, 4)));
    // Gated by the lowest set bit of mask (channel 0 for an empty mask).
    void clog(unsigned int mask, LOG_LEVEL level, const char* format, ...) __attribute__((format(printf, 4, 5)));
    // Appends ": <error text>" and logs at LL_ERROR whatever the levels.
    void log_errno(int err, const char* format, ...) __attribute__((format(printf, 3, 4)));
    void clog_errno(unsigned int mask, int err, const char* format, ...) __attribute__((format(printf, 4, 5)));

    void do_log(unsigned int mask, LOG_LEVEL level, const char* format, va_list args);
    virtual void handle_log(unsigned int mask, LOG_LEVEL level, const char* text);

    // The system-log priority of a level (LOG_INFO for unknown levels).
    static int syslog_priority(LOG_LEVEL level);

private:
    bool passes(unsigned int mask, LOG_LEVEL level) const;
    void errno_log(unsigned int mask, int err, const char* format, va_list args);

    bool m_syslog = false;
    LOG_LEVEL m_levels[32];
};

// The process-wide logger.
extern Logger g_log;
