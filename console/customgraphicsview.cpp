#include "console/customgraphicsview.h"

#include <QCloseEvent>
#include <QPainter>
#include <QRegion>
#include <QResizeEvent>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {
// The console is drawn for this scene size; the view stretches it to fit.
const double kSceneWidth = 1024.0;
const double kSceneHeight = 768.0;
} // namespace

CustomGraphicsView::CustomGraphicsView(QGraphicsScene* scene, QWidget* parent)
    : QGraphicsView(scene, parent)
{
    // Resize events arrive for the view and for its viewport, which a frame
    // would make smaller; without one both give the same factors, and the
    // scene fills the window to the last pixel.
    setFrameShape(QFrame::NoFrame);
}

void CustomGraphicsView::resizeEvent(QResizeEvent* event)
{
    QGraphicsView::resizeEvent(event);

    const double scaleX = event->size().width() / kSceneWidth;
    const double scaleY = event->size().height() / kSceneHeight;
    // A window shrunk to nothing would give a zero factor, and undoing it
    // later would divide by zero; keep the last usable scaling instead.
    if (scaleX <= 0.0 || scaleY <= 0.0)
        return;

    scale(1.0 / m_scaleX, 1.0 / m_scaleY);
    scale(scaleX, scaleY);
    m_scaleX = scaleX;
    m_scaleY = scaleY;
}

void CustomGraphicsView::closeEvent(QCloseEvent* event)
{
    emit closing();
    QGraphicsView::closeEvent(event);
}

void CustomGraphicsView::drawBackground(QPainter* painter, const QRectF& rect)
{
    const QBrush brush = backgroundBrush().style() != Qt::NoBrush ? backgroundBrush()
        : scene()                                                 ? scene()->backgroundBrush()
                                                                  : QBrush();
    if (!m_opaqueAreas || brush.style() != Qt::SolidPattern || !painter->transform().isAffine()
        || painter->transform().type() > QTransform::TxScale) {
        QGraphicsView::drawBackground(painter, rect);
        return;
    }
    // A blinking lamp's part of the window lies mostly on line panels, whose
    // pictures cover every pixel there: filling it first is wasted on all
    // but the narrow gaps between them. Only whole device pixels under a
    // panel are left out, so no edge pixel is left unfilled.
    const QTransform toDevice = painter->transform();
    const QRectF deviceRect = toDevice.mapRect(rect);
    const QRect device(QPoint(int(std::floor(deviceRect.left())), int(std::floor(deviceRect.top()))),
                       QPoint(int(std::ceil(deviceRect.right())) - 1, int(std::ceil(deviceRect.bottom())) - 1));
    std::vector<QRect> covered;
    for (const QRectF& area : m_opaqueAreas()) {
        const QRectF d = toDevice.mapRect(area);
        const QPoint topLeft(int(std::ceil(d.left())), int(std::ceil(d.top())));
        const QPoint end(int(std::floor(d.right())), int(std::floor(d.bottom())));
        const QRect whole = QRect(topLeft, end - QPoint(1, 1)) & device;
        if (!whole.isEmpty())
            covered.push_back(whole);
    }
    std::sort(covered.begin(), covered.end(), [](const QRect& a, const QRect& b) { return a.top() < b.top(); });
    // Mostly a column through panels one above the other, each as wide as
    // the column: the fill is the gaps between them.
    std::vector<QRect> fill;
    int top = device.top();
    for (const QRect& r : covered) {
        if (r.left() != device.left() || r.right() != device.right() || r.top() < top) {
            fill.clear();
            QRegion rest(device);
            for (const QRect& c : covered)
                rest -= c;
            fill.assign(rest.begin(), rest.end());
            top = device.bottom() + 1;
            break;
        }
        if (r.top() > top)
            fill.emplace_back(device.left(), top, device.width(), r.top() - top);
        top = r.bottom() + 1;
    }
    if (top <= device.bottom())
        fill.emplace_back(device.left(), top, device.width(), device.bottom() + 1 - top);
    painter->save();
    painter->resetTransform();
    for (const QRect& r : fill)
        painter->fillRect(r, brush);
    painter->restore();
}
