#pragma once

#include <QAccessibleWidget>

class QGraphicsView;

// The accessible interface of a console window (the view that shows the drawn
// console): a window whose children are the console's parts, as its
// ConsoleAccess lists them. A view without one (the connection screen) is
// read as Qt reads any widget.
class AccessibleConsole : public QAccessibleWidget
{
public:
    explicit AccessibleConsole(QGraphicsView* view);

    QAccessibleInterface* child(int index) const override;
    int childCount() const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    QAccessibleInterface* focusChild() const override;
};
