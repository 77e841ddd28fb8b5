#pragma once

#include "console/surfacepanel.h"

#include <QRect>

class QGraphicsSceneMouseEvent;

// The list of the console's keyboard shortcuts, drawn over the console in the
// style of its panels when the user presses Ctrl+/: one row per row of the
// shortcut table, the keys as key caps, the name, and what it does. Hidden
// at start; a click on it hides it again, and Keyboard hides it on any key.
// Owned by Keyboard.
class ShortcutOverlay : public SurfacePanel
{
    Q_OBJECT

public:
    explicit ShortcutOverlay(QGraphicsItem* parent = nullptr);

    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

    QRect boundingRecti() const;
    int rowCount() const;
    // Where a row of the table is drawn, in item coordinates, and its three
    // columns: keys, name and what it does.
    QRect rowRect(int row) const;
    QRect keysRect(int row) const;
    QRect nameRect(int row) const;
    QRect doesRect(int row) const;

protected:
    void mousePressEvent(QGraphicsSceneMouseEvent* event) override;
};
