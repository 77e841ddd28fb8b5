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

    drawFrame(painter, boundingRecti(), QStringLiteral("Studio Chat"), 325);

    painter->restore();
}
