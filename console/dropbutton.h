#pragma once

#include "console/surfacebutton.h"

#include <QRect>

// The red round DROP button of every line.
class DropButton : public SurfaceButton
{
    Q_OBJECT

public:
    DropButton(int width, int height, QGraphicsItem* parent = nullptr);

    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

    QRect boundingRecti() const;
    int diameter() const { return m_diameter; }

private:
    int m_diameter;
};
