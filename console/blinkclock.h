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

class QGraphicsItem;
class QGraphicsScene;
class QRectF;

// The repaints a tick asks for (a column of blinking lamps, the timers of
// every call), gathered while a batch exists and sent when the last one
// goes, merged per scene: boxes that lie close together become one
// rectangle. A view paints a region of many small rectangles span by span,
// each item clipped to all of them; one rectangle a little larger is
// painted in plain runs of pixels, at a fraction of the cost.
class RepaintBatch
{
public:
    RepaintBatch();
    ~RepaintBatch();
    RepaintBatch(const RepaintBatch&) = delete;
    RepaintBatch& operator=(const RepaintBatch&) = delete;

    // A repaint of rect (scene coordinates) of item's scene; at once when
    // no batch gathers, or when the item is hidden or in no scene.
    static void update(QGraphicsItem* item, const QRectF& sceneRect);
};
