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

    // Armed: a DROP from the keyboard waits for its confirming second press,
    // and the button blinks on the console's blink clock until then.
    void setArmed(bool armed);
    bool isArmed() const { return m_armed; }
    // Whether the blink currently shows the button unlit.
    bool isDimmed() const { return m_dimmed; }
    void blink(int tick);

signals:
    void armedChanged(bool armed);

private:
    int m_diameter;
    bool m_armed = false;
    bool m_dimmed = false;
};
