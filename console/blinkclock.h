#pragma once

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <memory>

// The blink clock of the whole program: one timer that every open console
// shares, so that the lamps of all consoles change on the same tick and the
// program wakes once per blink, whatever the number of consoles. It runs
// while some console holds it and stops with the last one.
class BlinkClock : public QObject
{
    Q_OBJECT

public:
    // Half a blink period of a fast-blinking lamp.
    enum { IntervalMs = 225 };

    // The clock every console shares; made, and started, on first use.
    static std::shared_ptr<BlinkClock> shared();
    ~BlinkClock() override;

    const QTimer& timer() const { return m_timer; }
    // One tick now, as the timer gives it.
    void advance();

signals:
    // Every lamp's phase follows from the tick's number.
    void blink(int tick);

private:
    BlinkClock();

    QTimer m_timer;
    uint32_t m_tick = 0;
};
