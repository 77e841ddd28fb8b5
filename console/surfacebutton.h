#pragma once

#include <QColor>
#include <QGraphicsItem>
#include <QObject>

class QPainter;

// Base of every drawn push button. Commands hang on buttonPressed(), which
// fires on the press of the left mouse button, not on its release.
class SurfaceButton : public QObject, public QGraphicsItem
{
    Q_OBJECT
    Q_INTERFACES(QGraphicsItem)

public:
    SurfaceButton(int width, int height, QGraphicsItem* parent = nullptr);
    ~SurfaceButton() override;

    bool isPressed() const { return m_pressed; }
    // A press and release without the pointer, for the keyboard: everything
    // connected to the button hears exactly what a click would tell it.
    void click();

signals:
    void buttonPressed();
    void buttonReleased();

protected:
    // The colours of a round button (DROP and the top bar's dark buttons).
    struct RoundLook
    {
        QColor outline;
        QColor ring;
        QColor face;
        QColor faceEdge;
        QColor text;
        int fontPoints;
    };
    // Draws a round button of diameter d: outline, ring, and a face that sinks
    // towards the top left while pressed, with the label centred on it.
    void paintRound(QPainter* painter, int d, const RoundLook& look, const QString& label) const;

    void mousePressEvent(QGraphicsSceneMouseEvent* event) override;
    void mouseReleaseEvent(QGraphicsSceneMouseEvent* event) override;

    bool m_pressed;
};
