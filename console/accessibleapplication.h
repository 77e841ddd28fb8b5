#pragma once

#include <QAccessibleObject>

// The accessible interface of the application: its windows, as Qt lists
// them, but without the widgets embedded in graphics scenes. Qt counts each
// of those as a window of its own; they belong to the window that shows the
// scene (a console window lists its fields, see ConsoleAccess; the
// connection screen says its state in its description).
class AccessibleApplication : public QAccessibleApplication
{
public:
    int childCount() const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* child(int index) const override;

private:
    QVector<QAccessibleInterface*> windows() const;
};
