#include "console/customgraphicsview.h"

#include <QCloseEvent>
#include <QResizeEvent>

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
