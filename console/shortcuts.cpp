#include "console/shortcuts.h"

#include <iterator>

namespace {

// Every key carries a modifier or is a function key, Escape aside, so that a
// text field with focus never takes one of them as typing: letters, digits
// and Return always go into the field. Alt+letter follows the button's label
// where it can (AIR's A is ANSWER's, so AIR takes its R; AA takes its
// "attendant" U).
const Shortcut kTable[] = {
    {ShortcutAction::SelectLine, "Line", Qt::Key_F1, 12, false, "Select line 1 to 12, as a click on its panel does"},
    {ShortcutAction::NextLine, "Next line", int(Qt::ALT) | Qt::Key_Down, 1, true, "Select the next line shown"},
    {ShortcutAction::PreviousLine, "Previous line", int(Qt::ALT) | Qt::Key_Up, 1, true,
     "Select the previous line shown"},
    {ShortcutAction::Answer, "ANSWER", int(Qt::ALT) | Qt::Key_A, 1, false, "ANSWER on the selected line"},
    {ShortcutAction::Hold, "HOLD", int(Qt::ALT) | Qt::Key_H, 1, false, "HOLD on the selected line"},
    {ShortcutAction::Air, "AIR", int(Qt::ALT) | Qt::Key_R, 1, false,
     "AIR on the selected line; on air, lock or unlock it"},
    {ShortcutAction::Drop, "DROP", int(Qt::ALT) | Qt::Key_D, 1, false,
     "DROP on the selected line; on air, press twice within 1.5 s"},
    {ShortcutAction::Next, "NEXT", int(Qt::ALT) | Qt::Key_N, 1, false, "NEXT: the priority caller to air"},
    {ShortcutAction::Busy, "BUSY", int(Qt::ALT) | Qt::Key_B, 1, false,
     "BUSY: busy out every idle unlocked line, or back in"},
    {ShortcutAction::Priority, "PRIO", int(Qt::ALT) | Qt::Key_P, 1, false,
     "PRIO: mark the selected caller as priority"},
    {ShortcutAction::AutoAttendant, "AA", int(Qt::ALT) | Qt::Key_U, 1, false, "AA: switch the auto attendant"},
    {ShortcutAction::Surface, "Surfaces", int(Qt::CTRL) | Qt::Key_1, 6, false,
     "Choose entry 1 to 6 of the Surfaces menu"},
    {ShortcutAction::EditCaller, "Name", int(Qt::CTRL) | Qt::Key_E, 1, false, "Type in the caller's Name field"},
    {ShortcutAction::Chat, "Chat", int(Qt::CTRL) | Qt::Key_T, 1, false, "Type in the studio chat"},
    {ShortcutAction::Leave, "Leave field", Qt::Key_Escape, 1, false,
     "Leave the caller editor or the chat, back to the console"},
    {ShortcutAction::CallLog, "Call log", int(Qt::CTRL) | Qt::Key_L, 1, false,
     "Call log of this unit (opened by the application)"},
    {ShortcutAction::CallerHistory, "Caller history", int(Qt::CTRL) | Qt::Key_H, 1, false,
     "Earlier calls of the selected line's caller"},
    {ShortcutAction::Help, "Shortcuts", int(Qt::CTRL) | Qt::Key_Slash, 1, false, "Show this list; any key hides it"},
};

QString keyText(int key)
{
    return QKeySequence(key).toString(QKeySequence::PortableText);
}

} // namespace

QString Shortcut::keysText() const
{
    if (count <= 1)
        return keyText(key);
    return QStringLiteral("%1 to %2").arg(keyText(key), keyText(key + count - 1));
}

QString Shortcut::toolTip() const
{
    return QStringLiteral("%1 (%2)").arg(QString::fromLatin1(name), keysText());
}

QString Shortcut::toolTip(int index) const
{
    return QStringLiteral("%1 (%2)").arg(QString::fromLatin1(name), keyText(key + index));
}

namespace shortcuts {

const Shortcut* begin()
{
    return std::begin(kTable);
}

const Shortcut* end()
{
    return std::end(kTable);
}

std::size_t size()
{
    return std::size(kTable);
}

const Shortcut& of(ShortcutAction action)
{
    for (const Shortcut& s : kTable)
        if (s.action == action)
            return s;
    // Every action has a row; the table is fixed at compile time.
    Q_UNREACHABLE();
}

} // namespace shortcuts
