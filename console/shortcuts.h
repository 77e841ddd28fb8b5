#pragma once

#include <QKeySequence>
#include <QString>

#include <cstddef>

// What a console shortcut does; Keyboard carries each one out.
enum class ShortcutAction {
    SelectLine,
    NextLine,
    PreviousLine,
    Answer,
    Hold,
    Air,
    Drop,
    Next,
    Busy,
    Priority,
    AutoAttendant,
    Surface,
    EditCaller,
    Chat,
    Leave,
    CallLog,
    CallerHistory,
    Help,
};

// One row of the console's keyboard table. A row may stand for a run of
// consecutive keys (F1 to F12, Ctrl+1 to Ctrl+6); the n-th key of the run
// acts on the n-th line or menu entry.
struct Shortcut
{
    ShortcutAction action;
    // Short name, as on the button where there is one ("ANSWER").
    const char* name;
    // The first key of the run, a Qt key code with its modifiers.
    int key;
    // Keys in the run: 1 for a single key.
    int count;
    // Whether holding the key down repeats it. Only moving the selection
    // does: a held Alt+H must not send a stream of commands.
    bool autoRepeat;
    const char* does;

    QKeySequence sequence(int index = 0) const { return QKeySequence(key + index); }
    // "Alt+A", or "F1 to F12" for a run.
    QString keysText() const;
    // The name with its keys, for a tooltip: "ANSWER (Alt+A)",
    // "Surfaces (Ctrl+1 to Ctrl+6)"; with an index, only that key of a run.
    QString toolTip() const;
    QString toolTip(int index) const;
};

// The one table of console shortcuts. The shortcuts themselves, the list the
// console shows on Ctrl+/, the buttons' tooltips and the README's table all
// come from it.
namespace shortcuts {

const Shortcut* begin();
const Shortcut* end();
std::size_t size();
// The row of an action (every action has exactly one).
const Shortcut& of(ShortcutAction action);

// How long an armed DROP on a line that is on air waits for the second press.
constexpr int DropArmMs = 1500;

} // namespace shortcuts
