#pragma once

#include "console/shortcutoverlay.h"
#include "console/shortcuts.h"

#include <QObject>
#include <QTimer>

#include <vector>

class Chat;
class InfoEdit;
class Line;
class Lines;
class QGraphicsScene;
class QGraphicsView;
class QShortcut;
class Top;

// Works the console from the keyboard: makes one window-wide QShortcut on the
// console's view for every key of the shortcut table, and carries each one
// out the way the matching click does, through the very button, menu entry or
// panel the user would click. Text fields embedded in the console never claim
// those keys, so they work while the caller editor or the chat has focus,
// and nothing typed into a field (letters, digits, Return) is ever taken as
// a command. Also owns the Ctrl+/ list of shortcuts and the arming of DROP on
// a line that is on air. Created and deleted by the console window, after
// the controllers it drives.
class Keyboard : public QObject
{
    Q_OBJECT

public:
    Keyboard(QGraphicsView& view, QGraphicsScene& scene, Lines& lines, Top& top, InfoEdit& infoEdit, Chat& chat);
    ~Keyboard() override;

    // The DROP on air waiting for its second press, or -1.
    int armedLine() const { return m_armedLine; }
    const QTimer& dropArmTimer() const { return m_dropArmTimer; }
    // DROP on a line as from the keyboard: on a line that is on air the first
    // press only arms it, and a second one within 1.5 s drops the call.
    void dropLine(Line& line);
    // Tests shorten the 1.5 s.
    void setDropArmInterval(int ms) { m_dropArmTimer.setInterval(ms); }

    ShortcutOverlay& overlay() { return m_overlay; }
    // Every QShortcut made from the table, with the row and run index it stands for.
    struct Binding
    {
        QShortcut* shortcut;
        const Shortcut* row;
        int index;
    };
    const std::vector<Binding>& bindings() const { return m_bindings; }

signals:
    // Ctrl+L: the application opens the call log for this console's unit.
    void callLogRequested();
    void callerHistoryRequested();

public slots:
    // What the index-th key of the action's row does.
    void trigger(ShortcutAction action, int index = 0);
    void disarmDrop();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The selected line, if it is shown; null otherwise.
    Line* selectedLine() const;
    void selectLine(int index);
    void stepSelection(int step);
    void focusField(QWidget& field);
    void leaveField();
    bool isTableKey(int keyWithModifiers) const;
    void setToolTips();

    QGraphicsView& m_view;
    QGraphicsScene& m_scene;
    Lines& m_lines;
    Top& m_top;
    InfoEdit& m_infoEdit;
    Chat& m_chat;
    std::vector<Binding> m_bindings;
    ShortcutOverlay m_overlay;
    int m_armedLine = -1;
    QTimer m_dropArmTimer;
};
