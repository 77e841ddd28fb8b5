#include "console/blinkclock.h"

BlinkClock::BlinkClock()
{
    m_timer.setSingleShot(false);
    m_timer.setInterval(IntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &BlinkClock::advance);
    m_timer.start();
}

BlinkClock::~BlinkClock() = default;

std::shared_ptr<BlinkClock> BlinkClock::shared()
{
    // Held by the consoles only: the clock goes with the last of them, on
    // the GUI thread, never at the program's exit after Qt is gone.
    static std::weak_ptr<BlinkClock> clock;
    std::shared_ptr<BlinkClock> held = clock.lock();
    if (!held) {
        held.reset(new BlinkClock);
        clock = held;
    }
    return held;
}

void BlinkClock::advance()
{
    emit blink(int(m_tick));
    ++m_tick;
}
