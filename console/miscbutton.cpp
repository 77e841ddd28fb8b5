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
    const int d = m_diameter;
    const int a = d - d / 5;

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);

    const QColor outline(17, 17, 17);
    painter->setBrush(outline);
    painter->setPen(QPen(outline, 1));
    painter->drawEllipse(QRect(0, 0, d, d));

    const QColor ring(51, 51, 51);
    painter->setBrush(ring);
    painter->setPen(QPen(ring, 1));
    painter->drawEllipse(QRect(d / 20, d / 20, a, a));

    const QPoint origin = m_pressed ? QPoint(d / 11, d / 11) : QPoint(d / 9, d / 7);
    const int faceSize = static_cast<int>(a * 0.95);
    const QRect face(origin, QSize(faceSize, faceSize));
    painter->setBrush(QColor(68, 68, 68));
    painter->setPen(QPen(QColor(72, 72, 72), 3));
    painter->drawEllipse(face);

    painter->setFont(SurfacePanel::surfaceFont(10, true));
    painter->setPen(QColor(221, 221, 221));
    // Labels such as "UN-\nBUSY" span two lines; AlignCenter centres both.
    painter->drawText(face, Qt::AlignCenter, m_label);

    painter->restore();
}
