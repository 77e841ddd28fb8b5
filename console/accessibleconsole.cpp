#include "console/accessibleconsole.h"

#include "console/consoleaccess.h"

#include <QGraphicsView>

AccessibleConsole::AccessibleConsole(QGraphicsView* view)
    : QAccessibleWidget(view, QAccessible::Window)
{
}

QAccessibleInterface* AccessibleConsole::child(int index) const
{
    const ConsoleAccess* console = ConsoleAccess::of(object());
    if (!console)
        return QAccessibleWidget::child(index);
    const QVector<QObject*> parts = console->children();
    return index >= 0 && index < parts.size() ? QAccessible::queryAccessibleInterface(parts.at(index)) : nullptr;
}

int AccessibleConsole::childCount() const
{
    const ConsoleAccess* console = ConsoleAccess::of(object());
    return console ? console->children().size() : QAccessibleWidget::childCount();
}

int AccessibleConsole::indexOfChild(const QAccessibleInterface* child) const
{
    const ConsoleAccess* console = ConsoleAccess::of(object());
    if (!console)
        return QAccessibleWidget::indexOfChild(child);
    return child ? console->children().indexOf(child->object()) : -1;
}

QAccessibleInterface* AccessibleConsole::childAt(int x, int y) const
{
    if (!ConsoleAccess::of(object()))
        return QAccessibleWidget::childAt(x, y);
    // The topmost part there: the fields lie over the drawn panels.
    for (int i = childCount() - 1; i >= 0; --i) {
        QAccessibleInterface* part = child(i);
        if (part && part->rect().contains(x, y))
            return part;
    }
    return nullptr;
}

QAccessibleInterface* AccessibleConsole::focusChild() const
{
    const ConsoleAccess* console = ConsoleAccess::of(object());
    if (!console)
        return QAccessibleWidget::focusChild();
    if (QObject* line = console->focusLine())
        return QAccessible::queryAccessibleInterface(line);
    return QAccessibleWidget::focusChild();
}
