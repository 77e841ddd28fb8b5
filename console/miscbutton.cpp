#include "console/miscbutton.h"

#include "console/surfacepanel.h"

#include <QPainter>

MiscButton::MiscButton(int width, int height, QGraphicsItem* parent)
    : SurfaceButton(width, height, parent)
    , m_diameter(44)
{
}

QRect MiscButton::boundingRecti() const
{
    return QRect(0, 0, m_diameter, m_diameter);
}

QRectF MiscButton::boundingRect() const
{
    return QRectF(boundingRecti());
}

void MiscButton::setLabel(QString label)
{
    m_label = std::move(label);
    update();
}

void MiscButton::setBaseSize(int diameter)
{
    prepareGeometryChange();
    m_diameter = diameter;
    update();
}

void MiscButton::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*)
{
    static const RoundLook look{QColor(17, 17, 17), QColor(51, 51, 51),    QColor(68, 68, 68),
                                QColor(72, 72, 72), QColor(221, 221, 221), 10};
    paintRound(painter, m_diameter, look, m_label);
}
