#pragma once

#include "console/surfacepanel.h"

#include <QRect>

// The drawn background of the top controls: the button strip, the box behind
// the surface menu with the logos, and the version. Owned by Top.
class TopPanel : public SurfacePanel
{
    Q_OBJECT

public:
    TopPanel(int width, int height, QGraphicsItem* parent = nullptr);

    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

    QRect boundingRecti() const;
};
