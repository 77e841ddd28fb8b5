#pragma once

#include <QAccessibleObject>

// The accessible interface of the application: its windows, as Qt lists
// them, but without the widgets that consoles embed in their scenes. Qt
// counts each of those as a window of its own; they are read inside their
// console window instead (see ConsoleAccess).
class AccessibleApplication : public QAccessibleApplication
{
public:
    int childCount() const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* child(int index) const override;

private:
    QVector<QAccessibleInterface*> windows() const;
};
