#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <vector>

#include <time.h>

// Small helpers the scenarios share.

// Runs the event loop until done() holds; false after timeoutMs.
template <typename Predicate> bool waitFor(Predicate done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    // A wake-up at least every 10 ms, whatever else is going on.
    QTimer wake;
    wake.start(10);
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// Processor time of the calling thread so far, in ms: what the GUI thread
// spent, whatever other processes took from the cores meanwhile.
inline double threadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

// Runs the event loop for ms with no wake-ups of its own, so that an idle
// measurement counts only what the console does.
inline void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

// A failed sanity check ends the scenario: its figures are not printed, and
// bench.sh reports them missing.
inline void check(bool ok, const char* what)
{
    if (!ok)
        throw std::runtime_error(what);
}

inline double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

// How responsive the event loop stays: a timer of the given period records
// the longest gap between two of its timeouts. stallMs() is that gap beyond
// the period. With MIRT_BENCH_TRACE set, gaps over 15 ms are printed.
class StallProbe
{
public:
    explicit StallProbe(int periodMs, Qt::TimerType type = Qt::CoarseTimer)
        : m_periodMs(periodMs)
    {
        m_timer.setTimerType(type);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const double gapMs = double(m_gap.nsecsElapsed()) / 1e6;
            m_worstMs = std::max(m_worstMs, gapMs);
            if (m_trace && gapMs > 15)
                std::fprintf(stderr, "gap %.1f ms at %.1f ms\n", gapMs, double(m_since.nsecsElapsed()) / 1e6);
            m_gap.restart();
        });
    }

    void start()
    {
        m_since.start();
        m_gap.start();
        m_timer.start(m_periodMs);
    }
    void stop() { m_timer.stop(); }
    double stallMs() const { return std::max(0.0, m_worstMs - m_periodMs); }

private:
    const int m_periodMs;
    const bool m_trace = qEnvironmentVariableIsSet("MIRT_BENCH_TRACE");
    QTimer m_timer;
    QElapsedTimer m_since;
    QElapsedTimer m_gap;
    double m_worstMs = 0;
};
