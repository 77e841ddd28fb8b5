#pragma once

#include <QAccessibleObject>
#include <QPointer>

class ConsoleAccess;

// The accessible interface of one drawn part of a console: a line, a button,
// the Surfaces menu button, the caller editor's or the chat's group. It only
// relays: the console's ConsoleAccess decides what the part is and does.
// Registered for the part's object and deleted with it by Qt's cache.
class AccessiblePart : public QAccessibleObject, public QAccessibleActionInterface
{
public:
    AccessiblePart(QObject* object, ConsoleAccess* console);

    bool isValid() const override;
    QWindow* window() const override;
    QAccessibleInterface* parent() const override;
    QAccessibleInterface* child(int index) const override;
    int childCount() const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QRect rect() const override;
    QAccessible::Role role() const override;
    QString text(QAccessible::Text which) const override;
    QAccessible::State state() const override;
    void* interface_cast(QAccessible::InterfaceType type) override;

    QStringList actionNames() const override;
    void doAction(const QString& actionName) override;
    QStringList keyBindingsForAction(const QString& actionName) const override;

private:
    // The console goes before its parts: a part outliving it for a moment
    // (while the console window comes apart) answers as an empty one.
    QPointer<ConsoleAccess> m_console;
};
