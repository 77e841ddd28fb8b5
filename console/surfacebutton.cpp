#include "console/surfacebutton.h"

#include <QGraphicsSceneMouseEvent>

SurfaceButton::SurfaceButton(int, int, QGraphicsItem* parent)
    : QObject(nullptr)
    , QGraphicsItem(parent)
    , m_pressed(false)
{
    setAcceptedMouseButtons(Qt::LeftButton);
}

SurfaceButton::~SurfaceButton() = default;

void SurfaceButton::mousePressEvent(QGraphicsSceneMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    // Accepting the press makes this item the mouse grabber, so the release
    // comes back here even when the pointer has left the button.
    event->accept();
    m_pressed = true;
    // Repaint before emitting: a receiver may tear the console down.
    update();
    emit buttonPressed();
}

void SurfaceButton::mouseReleaseEvent(QGraphicsSceneMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    m_pressed = false;
    update();
    emit buttonReleased();
}
