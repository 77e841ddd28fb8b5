#pragma once

#include <QGraphicsItem>
#include <QRectF>

// The frame around the line panel that has the console's keyboard focus: a
// rounded band just inside the panel's own outline, so nothing else of the
// console moves or is covered but the outline. Lies above the panels and
// below the lamps. Owned and placed by ConsoleAccess.
class FocusFrame : public QGraphicsItem
{
public:
    FocusFrame();

    // The panel's area in scene coordinates.
    void frame(const QRectF& panel);

    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

    static constexpr qreal Width = 3;

private:
    QRectF m_rect;
};
