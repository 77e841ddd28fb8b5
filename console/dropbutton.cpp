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
    static const RoundLook look{QColor(51, 51, 85), QColor(153, 0, 0), QColor(255, 0, 51),
                                QColor(204, 0, 0), QColor(Qt::white), 9};
    paintRound(painter, m_diameter, look, QStringLiteral("DROP"));
}
