#include "console/blinkclock.h"

#include <QGraphicsItem>
#include <QGraphicsScene>
#include <QPointer>
#include <QRectF>

#include <utility>
#include <vector>

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
    const RepaintBatch batch;
    emit blink(int(m_tick));
    ++m_tick;
}

namespace {

int g_batches = 0;
std::vector<std::pair<QPointer<QGraphicsScene>, QRectF>> g_pending;

qreal area(const QRectF& r)
{
    return r.width() * r.height();
}

} // namespace

RepaintBatch::RepaintBatch()
{
    ++g_batches;
}

RepaintBatch::~RepaintBatch()
{
    if (--g_batches > 0)
        return;
    std::vector<std::pair<QPointer<QGraphicsScene>, QRectF>> pending;
    pending.swap(g_pending);
    // A box joins a merged rectangle when the rectangle grows by no more
    // than half again the area of the boxes in it: a column of lamps on the
    // lines one above the other merges, lamps at both ends of a line do not.
    struct Merged
    {
        QGraphicsScene* scene;
        QRectF box;
        qreal covered;
    };
    std::vector<Merged> merged;
    for (const auto& [scene, rect] : pending) {
        if (!scene)
            continue;
        bool joined = false;
        for (Merged& m : merged) {
            if (m.scene != scene)
                continue;
            const QRectF grown = m.box | rect;
            if (area(grown) <= 1.5 * (m.covered + area(rect))) {
                m.box = grown;
                m.covered += area(rect);
                joined = true;
                break;
            }
        }
        if (!joined)
            merged.push_back({scene.data(), rect, area(rect)});
    }
    for (const Merged& m : merged)
        m.scene->update(m.box);
}

void RepaintBatch::update(QGraphicsItem* item, const QRectF& sceneRect)
{
    QGraphicsScene* scene = item->scene();
    if (!scene || !item->isVisible()) {
        item->update(item->mapRectFromScene(sceneRect));
        return;
    }
    if (g_batches == 0)
        scene->update(sceneRect);
    else
        g_pending.emplace_back(scene, sceneRect);
}
