#include "console/surfacebutton.h"

#include "console/surfacepanel.h"

#include <QGraphicsSceneMouseEvent>
#include <QPainter>

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

void SurfaceButton::click()
{
    emit buttonPressed();
    emit buttonReleased();
}

void SurfaceButton::paintRound(QPainter* painter, int d, const RoundLook& look, const QString& label) const
{
    const int a = d - d / 5;

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);

    painter->setBrush(look.outline);
    painter->setPen(QPen(look.outline, 1));
    painter->drawEllipse(QRect(0, 0, d, d));

    painter->setBrush(look.ring);
    painter->setPen(QPen(look.ring, 1));
    painter->drawEllipse(QRect(d / 20, d / 20, a, a));

    const QPoint origin = m_pressed ? QPoint(d / 11, d / 11) : QPoint(d / 9, d / 7);
    const int faceSize = static_cast<int>(a * 0.95);
    const QRect face(origin, QSize(faceSize, faceSize));
    painter->setBrush(look.face);
    painter->setPen(QPen(look.faceEdge, 3));
    painter->drawEllipse(face);

    painter->setFont(SurfacePanel::surfaceFont(look.fontPoints, true));
    painter->setPen(look.text);
    // Labels such as "UN-\nBUSY" span two lines; AlignCenter centres both.
    painter->drawText(face, Qt::AlignCenter, label);

    painter->restore();
}
