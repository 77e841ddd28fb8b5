#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <stdexcept>
#include <vector>

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
