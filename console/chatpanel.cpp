#include "console/chatpanel.h"

#include <QPainter>

ChatPanel::ChatPanel(int width, int height, QGraphicsItem* parent)
    : SurfacePanel(width, height, parent)
{
}

QRect ChatPanel::boundingRecti() const
{
    return QRect(0, 0, 325, 325);
}

QRectF ChatPanel::boundingRect() const
{
    return QRectF(boundingRecti());
}

void ChatPanel::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*)
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);

    painter->setBrush(QColor(204, 204, 238));
    painter->setPen(QPen(QColor(170, 170, 204), 2));
    painter->drawRoundedRect(boundingRecti(), 10, 10, Qt::AbsoluteSize);

    painter->setFont(surfaceFont(16, true));
    painter->setPen(Qt::black);
    painter->drawText(QRect(0, 0, 325, 30), Qt::AlignCenter, QStringLiteral("Studio Chat"));

    painter->restore();
}
