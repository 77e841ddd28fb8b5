#pragma once

#include <QAccessibleInterface>
#include <QPointer>

class ConsoleAccess;
class QWidget;

// The accessible interface of a widget embedded in a console's scene (a
// caller field, the chat's input): the widget's own interface from Qt, with
// its place put right. An embedded widget is a window of its own to Qt, so
// its own interface names the application as its parent and gives the
// widget's own size rather than the one the view draws it at; this one hangs
// it under its group in the console and maps its rectangle through the view. Everything else (text, editing,
// actions, and the places of the characters, which Qt maps through the view
// by itself) is the widget's own. Registered for the widget in place of Qt's
// interface, which it keeps.
class AccessibleEmbedded : public QAccessibleInterface
{
public:
    AccessibleEmbedded(QWidget* widget, QAccessibleInterface* inner, ConsoleAccess* console);
    ~AccessibleEmbedded() override;

    bool isValid() const override;
    QObject* object() const override;
    QWindow* window() const override;
    QVector<QPair<QAccessibleInterface*, QAccessible::Relation>> relations(QAccessible::Relation match
                                                                           = QAccessible::AllRelations) const override;
    QAccessibleInterface* focusChild() const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    QAccessibleInterface* parent() const override;
    QAccessibleInterface* child(int index) const override;
    int childCount() const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QString text(QAccessible::Text which) const override;
    void setText(QAccessible::Text which, const QString& text) override;
    QRect rect() const override;
    QAccessible::Role role() const override;
    QAccessible::State state() const override;
    QColor foregroundColor() const override;
    QColor backgroundColor() const override;
    void* interface_cast(QAccessible::InterfaceType type) override;

private:
    QPointer<QWidget> m_widget;
    // Qt's interface of the widget; Qt's cache owns it.
    QAccessibleInterface* m_inner;
    QAccessible::Id m_innerId;
    QPointer<ConsoleAccess> m_console;
};
