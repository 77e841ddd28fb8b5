#include "console/accessiblepart.h"

#include "console/consoleaccess.h"

#include <QGraphicsView>

AccessiblePart::AccessiblePart(QObject* object, ConsoleAccess* console)
    : QAccessibleObject(object)
    , m_console(console)
{
}

bool AccessiblePart::isValid() const
{
    return QAccessibleObject::isValid() && m_console;
}

QWindow* AccessiblePart::window() const
{
    return m_console ? m_console->view().window()->windowHandle() : nullptr;
}

QAccessibleInterface* AccessiblePart::parent() const
{
    return m_console ? m_console->parentOf(object()) : nullptr;
}

QAccessibleInterface* AccessiblePart::child(int index) const
{
    if (!m_console)
        return nullptr;
    const QVector<QObject*> parts = m_console->children(object());
    return index >= 0 && index < parts.size() ? QAccessible::queryAccessibleInterface(parts.at(index)) : nullptr;
}

int AccessiblePart::childCount() const
{
    return m_console ? m_console->children(object()).size() : 0;
}

int AccessiblePart::indexOfChild(const QAccessibleInterface* child) const
{
    return child && m_console ? m_console->children(object()).indexOf(child->object()) : -1;
}

QRect AccessiblePart::rect() const
{
    return m_console ? m_console->screenRect(object()) : QRect();
}

QAccessible::Role AccessiblePart::role() const
{
    return m_console ? m_console->role(object()) : QAccessible::NoRole;
}

QString AccessiblePart::text(QAccessible::Text which) const
{
    return m_console ? m_console->text(object(), which) : QString();
}

QAccessible::State AccessiblePart::state() const
{
    if (m_console)
        return m_console->state(object());
    QAccessible::State gone;
    gone.invisible = true;
    return gone;
}

void* AccessiblePart::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::ActionInterface)
        return static_cast<QAccessibleActionInterface*>(this);
    return nullptr;
}

QStringList AccessiblePart::actionNames() const
{
    return m_console ? m_console->actionNames(object()) : QStringList();
}

void AccessiblePart::doAction(const QString& actionName)
{
    if (m_console)
        m_console->doAction(object(), actionName);
}

QStringList AccessiblePart::keyBindingsForAction(const QString& actionName) const
{
    return m_console && actionNames().contains(actionName) ? m_console->keyBindings(object()) : QStringList();
}
