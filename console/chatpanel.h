#pragma once

#include "console/surfacepanel.h"

#include <QRect>

// The drawn frame behind the studio chat: a rounded box titled "Studio Chat"
// under the history, the input and the Send button. Owned by the Chat.
class ChatPanel : public SurfacePanel
{
    Q_OBJECT

public:
    // The size arguments are kept for the panel family's common shape; the
    // chat frame always has the same size.
    ChatPanel(int width, int height, QGraphicsItem* parent = nullptr);

    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

    QRect boundingRecti() const;
};
