#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

namespace testsupport {

// Like QTest::qWaitFor, but wakes on every event instead of napping 10 ms
// per poll, so a loopback round trip costs next to nothing; a 20 ms timer
// makes sure the wait also ends when nothing else happens.
template <typename Predicate> bool waitFor(Predicate done, int timeoutMs = 5000)
{
    QTimer wake;
    wake.start(20);
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// A time bound of a test (never a measure of speed) stretched by
// MIRT_TIME_FACTOR, which slow builds (the sanitizers) set.
int scaled(int ms);

// Runs everything already queued in this thread (posted events, queued
// calls, and what they queue in turn) without waiting for anything new,
// such as bytes still on their way through a socket.
void drainEvents();

} // namespace testsupport
