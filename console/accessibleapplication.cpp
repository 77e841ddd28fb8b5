#include "console/accessibleapplication.h"

#include <QGraphicsProxyWidget>
#include <QGuiApplication>
#include <QWidget>
#include <QWindow>

QVector<QAccessibleInterface*> AccessibleApplication::windows() const
{
    QVector<QAccessibleInterface*> list;
    const QWindowList all = QGuiApplication::topLevelWindows();
    for (QWindow* window : all) {
        if (window->type() == Qt::Popup || window->type() == Qt::Desktop)
            continue;
        QAccessibleInterface* root = window->accessibleRoot();
        if (!root || !root->object())
            continue;
        const auto* widget = qobject_cast<const QWidget*>(root->object());
        if (!widget || !widget->graphicsProxyWidget())
            list.append(root);
    }
    return list;
}

int AccessibleApplication::childCount() const
{
    return windows().size();
}

int AccessibleApplication::indexOfChild(const QAccessibleInterface* child) const
{
    return child ? windows().indexOf(const_cast<QAccessibleInterface*>(child)) : -1;
}

QAccessibleInterface* AccessibleApplication::child(int index) const
{
    const QVector<QAccessibleInterface*> list = windows();
    return index >= 0 && index < list.size() ? list.at(index) : nullptr;
}
