#pragma once

#include "console/focusframe.h"

#include <QAccessible>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVector>

class AttentionEvents;
class Chat;
class InfoEdit;
class IPCObject;
class Keyboard;
class Line;
class Lines;
class QGraphicsItem;
class QGraphicsView;
class QWidget;
class QWindow;
class SurfaceButton;
class Top;

// Makes one drawn console readable and operable through the platform's
// accessibility layer (AT-SPI on Linux), so that a screen reader can say
// "Line 3, ringing, 0:12" and press ANSWER. The console window's tree is,
// in reading order: the shown top buttons and the Surfaces menu button, one
// group per shown line with its four buttons, then the caller editor and the
// studio chat with their fields, which live in the scene as embedded widgets
// and are stitched in here.
//
// This class is the model behind the interfaces (AccessiblePart for the drawn
// parts, AccessibleEmbedded for the fields, AccessibleConsole for the window):
// it decides what each part is called, what it says and what its actions do,
// and it tells the layer what changed by comparing a picture of the whole tree
// after each report of the unit, never on the clock's ticks. It also draws the
// focus frame around the line that has the console's focus.
//
// Created and deleted by the console window, after the controllers it reads.
class ConsoleAccess : public QObject
{
    Q_OBJECT

public:
    enum class Kind {
        Line,
        Answer,
        Hold,
        Air,
        Drop,
        Next,
        Busy,
        Priority,
        AutoAttendant,
        Surfaces,
        Editor,
        Chat,
        Field,
    };

    ConsoleAccess(QGraphicsView& view, IPCObject& session, AttentionEvents& news, Lines& lines, Top& top,
                  InfoEdit& infoEdit, Chat& chat, Keyboard& keyboard);
    ~ConsoleAccess() override;

    // The console shown by a view; null for any other widget.
    static ConsoleAccess* of(const QObject* view);

    QGraphicsView& view() const { return m_view; }
    // The parts right under the console window, in reading order; under a
    // part, its own parts (a line's buttons, a group's fields).
    QVector<QObject*> children(const QObject* part = nullptr) const;
    // The interface above a part: the console window's or its group's.
    QAccessibleInterface* parentOf(const QObject* part) const;
    QRect screenRect(const QObject* part) const;

    QAccessible::Role role(const QObject* part) const;
    QString text(const QObject* part, QAccessible::Text which) const;
    QAccessible::State state(const QObject* part) const;
    QStringList actionNames(const QObject* part) const;
    void doAction(QObject* part, const QString& action);
    QStringList keyBindings(const QObject* part) const;

    // The part that has the console's focus: the selected line while the
    // console itself (not one of its fields) has the keyboard focus.
    QObject* focusLine() const;
    // Said by the field that has the focus when the selection moves while
    // the user types; empty otherwise.
    const QString& announcement() const { return m_announcement; }

    // What a line says after its name: what its panel shows, spoken, from
    // the session's picture of the unit.
    QString describe(const Line& line, bool withTime = true) const;

    const FocusFrame& focusFrame() const { return m_frame; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Part
    {
        Kind kind;
        int line = -1;
        QObject* parent = nullptr;
        const QGraphicsItem* item = nullptr;
        QString name;
    };
    // What the layer was last told about a part.
    struct Seen
    {
        bool shown = false;
        QString name;
        QString description;
        bool disabled = false;
        bool checked = false;
        int look = 0;
        // A line's status word.
        int word = 0;
    };

    void addPart(QObject* object, Part part);
    const Part* part(const QObject* object) const;
    Line* lineOf(const Part& p) const;
    bool isShown(const QObject* object) const;
    bool isAvailable(const Part& p) const;
    bool isLit(const QObject* object, const Part& p) const;
    int lookOf(const QObject* object, const Part& p) const;
    Seen seen(QObject* object) const;
    // Something may have changed: the layer hears of it once the events of
    // this round are handled, so that every controller has drawn it by then.
    void schedule();
    void flush();
    void announce(QObject* object, const QString& text);
    QWidget* focusedField() const;

    QGraphicsView& m_view;
    IPCObject& m_session;
    Lines& m_lines;
    Top& m_top;
    InfoEdit& m_infoEdit;
    Chat& m_chat;
    Keyboard& m_keyboard;

    QHash<const QObject*, Part> m_parts;
    QVector<QObject*> m_order;
    QHash<const QObject*, Seen> m_seen;
    QVector<QObject*> m_shownTop;
    QPointer<QObject> m_focus;
    QPointer<QWidget> m_focusField;
    int m_selected = -1;
    QString m_announcement;
    QString m_chatLine;
    QTimer m_flush;
    FocusFrame m_frame;
};
