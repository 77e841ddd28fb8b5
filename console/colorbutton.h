#pragma once

#include "console/pixelgrid.h"
#include "console/surfacebutton.h"

#include <QColor>
#include <QPixmap>
#include <QRect>
#include <QString>

// The four colours one lamp look is drawn with.
struct ColorButtonPalette
{
    QColor outline;
    QColor ring;
    QColor face;
    QColor faceEdge;
};

// An elliptic lamp button (a line's ANSWER, HOLD and AIR, the top bar's AA).
// Its look is steady or blinks between two colours in step with the console's
// shared blink clock, so every blinking lamp changes on the same tick.
class ColorButton : public SurfaceButton
{
    Q_OBJECT

public:
    enum ButtonStates : int { Steady = 0, BlinkSlow = 1, BlinkFast = 2 };
    Q_ENUM(ButtonStates)
    enum ButtonColors : int { Unlit = 0, Blue = 1, Red = 2, Green = 3, Yellow = 4 };
    Q_ENUM(ButtonColors)
    enum { ColorCount = 5 };

    ColorButton(bool rotated, int width, int height, QGraphicsItem* parent = nullptr);

    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

    QRect boundingRecti() const;

    void setLook(ButtonStates state, ButtonColors first, ButtonColors second);
    void blink(int tick);
    void setLabel(QString label);
    void setSize(int width, int height);

    const QString& label() const { return m_label; }
    ButtonStates state() const { return m_state; }
    ButtonColors firstColor() const { return m_first; }
    ButtonColors secondColor() const { return m_second; }
    bool isBlinking() const { return m_blinking; }
    // The colour set the lamp shows right now.
    const ColorButtonPalette& currentPalette() const { return m_palettes[m_current]; }

    // The colour set of a colour; out-of-range values give the unlit set.
    static ColorButtonPalette palette(ButtonColors color);

private:
    void showColor(ButtonColors color);
    // Repaints what a change of colour changes: the ring and the face.
    void updateFace();
    void forgetDrawn();
    // Draws the lamp in item coordinates.
    void drawLamp(QPainter* painter) const;

    QString m_label;
    int m_width;
    int m_height;
    ButtonStates m_state;
    ButtonColors m_first;
    ButtonColors m_second;
    bool m_blinking;
    unsigned m_halfPeriod;
    ColorButtonPalette m_palettes[ColorCount];
    int m_current;

    // The last two pictures painted, with what they show.
    struct Drawn
    {
        int look = -1;
        bool pressed = false;
        bool highContrast = false;
        PixelGrid grid;
        QPixmap picture;
    };
    Drawn m_drawn[2];
    int m_nextDrawn = 0;
};
