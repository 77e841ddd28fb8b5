#include "console/toppanel.h"

#include <QPainter>
#include <QPen>

TopPanel::TopPanel(int width, int height, QGraphicsItem* parent)
    : SurfacePanel(width, height, parent)
{
}

QRect TopPanel::boundingRecti() const
{
    return QRect(0, 0, 1012, 53);
}

QRectF TopPanel::boundingRect() const
{
    return QRectF(boundingRecti());
}

void TopPanel::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*)
{
    painter->setBrush(QColor(204, 204, 238));
    painter->setPen(QPen(QColor(170, 170, 204), 2));
    painter->drawRoundedRect(QRect(0, 0, 680, 53), 10, 10);
    painter->drawRoundedRect(QRect(687, 0, 325, 53), 10, 10);

    drawImage(painter, QPoint(900, 5), ardenoLogo100());
    drawImage(painter, QPoint(900, 27), mirtLogo100());

    painter->setFont(surfaceFont(10, true));
    painter->setPen(QColor(102, 102, 136));
    painter->drawText(QPoint(570, 37), QStringLiteral("%1.%2").arg(QStringLiteral("3.2"), QStringLiteral("27")));
    painter->setFont(surfaceFont(10, false));
    painter->drawText(QPoint(570, 25), QStringLiteral("Version"));
}
