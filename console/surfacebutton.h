#pragma once

#include <QGraphicsItem>
#include <QObject>

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

signals:
    void buttonPressed();
    void buttonReleased();

protected:
    void mousePressEvent(QGraphicsSceneMouseEvent* event) override;
    void mouseReleaseEvent(QGraphicsSceneMouseEvent* event) override;

    bool m_pressed;
};
