#include "console/dropbutton.h"

#include "console/surfacepanel.h"

#include <QPainter>

DropButton::DropButton(int width, int height, QGraphicsItem* parent)
    : SurfaceButton(width, height, parent)
    , m_diameter(40)
{
    // Leans like the line's lamps; the line model later places it absolutely.
    setRotation(-45);
    setPos(m_diameter / 3, m_diameter / 2);
}

QRect DropButton::boundingRecti() const
{
    return QRect(0, 0, m_diameter, m_diameter);
}

QRectF DropButton::boundingRect() const
{
    return QRectF(boundingRecti());
}

void DropButton::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*)
{
    const int d = m_diameter;
    const int a = d - d / 5;

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);

    const QColor outline(51, 51, 85);
    painter->setBrush(outline);
    painter->setPen(QPen(outline, 1));
    painter->drawEllipse(QRect(0, 0, d, d));

    const QColor ring(153, 0, 0);
    painter->setBrush(ring);
    painter->setPen(QPen(ring, 1));
    painter->drawEllipse(QRect(d / 20, d / 20, a, a));

    const QPoint origin = m_pressed ? QPoint(d / 11, d / 11) : QPoint(d / 9, d / 7);
    const int faceSize = static_cast<int>(a * 0.95);
    const QRect face(origin, QSize(faceSize, faceSize));
    painter->setBrush(QColor(255, 0, 51));
    painter->setPen(QPen(QColor(204, 0, 0), 3));
    painter->drawEllipse(face);

    painter->setFont(SurfacePanel::surfaceFont(9, true));
    painter->setPen(Qt::white);
    painter->drawText(face, Qt::AlignCenter, QStringLiteral("DROP"));

    painter->restore();
}
