#include "console/accessibleembedded.h"

#include "console/consoleaccess.h"

#include <QGraphicsView>
#include <QWidget>

AccessibleEmbedded::AccessibleEmbedded(QWidget* widget, QAccessibleInterface* inner, ConsoleAccess* console)
    : m_widget(widget)
    , m_inner(inner)
    , m_innerId(QAccessible::uniqueId(inner))
    , m_console(console)
{
}

AccessibleEmbedded::~AccessibleEmbedded()
{
    // Deleted with its widget: Qt's interface of the widget goes too. (At
    // the end of the program Qt's cache deletes both by itself.)
    if (!m_widget)
        QAccessible::deleteAccessibleInterface(m_innerId);
}

bool AccessibleEmbedded::isValid() const
{
    return m_widget && m_inner->isValid();
}

QObject* AccessibleEmbedded::object() const
{
    return m_widget;
}

QWindow* AccessibleEmbedded::window() const
{
    return m_console ? m_console->view().window()->windowHandle() : m_inner->window();
}

QVector<QPair<QAccessibleInterface*, QAccessible::Relation>>
AccessibleEmbedded::relations(QAccessible::Relation match) const
{
    return m_inner->relations(match);
}

QAccessibleInterface* AccessibleEmbedded::focusChild() const
{
    return m_inner->focusChild();
}

QAccessibleInterface* AccessibleEmbedded::childAt(int x, int y) const
{
    // The widget's own children know only where the widget thinks it is.
    const QRect here = rect();
    if (!here.contains(x, y))
        return nullptr;
    const QRect own = m_inner->rect();
    return m_inner->childAt(x - here.x() + own.x(), y - here.y() + own.y());
}

QAccessibleInterface* AccessibleEmbedded::parent() const
{
    if (m_console)
        if (QAccessibleInterface* group = m_console->parentOf(m_widget))
            return group;
    return m_inner->parent();
}

QAccessibleInterface* AccessibleEmbedded::child(int index) const
{
    return m_inner->child(index);
}

int AccessibleEmbedded::childCount() const
{
    return m_inner->childCount();
}

int AccessibleEmbedded::indexOfChild(const QAccessibleInterface* child) const
{
    return m_inner->indexOfChild(child);
}

QString AccessibleEmbedded::text(QAccessible::Text which) const
{
    if (m_console) {
        const QString own = m_console->text(m_widget, which);
        if (!own.isEmpty())
            return own;
    }
    return m_inner->text(which);
}

void AccessibleEmbedded::setText(QAccessible::Text which, const QString& text)
{
    m_inner->setText(which, text);
}

QRect AccessibleEmbedded::rect() const
{
    return m_console ? m_console->screenRect(m_widget) : m_inner->rect();
}

QAccessible::Role AccessibleEmbedded::role() const
{
    return m_inner->role();
}

QAccessible::State AccessibleEmbedded::state() const
{
    QAccessible::State state = m_inner->state();
    // A window of its own to Qt, a field on the console to the user.
    state.active = false;
    if (m_console && !m_console->view().isVisible()) {
        state.invisible = true;
        state.offscreen = true;
    }
    return state;
}

QColor AccessibleEmbedded::foregroundColor() const
{
    return m_inner->foregroundColor();
}

QColor AccessibleEmbedded::backgroundColor() const
{
    return m_inner->backgroundColor();
}

void* AccessibleEmbedded::interface_cast(QAccessible::InterfaceType type)
{
    return m_inner->interface_cast(type);
}
