#include "console/keyboard.h"

#include "console/chat.h"
#include "console/infoedit.h"
#include "console/lines.h"
#include "console/top.h"

#include <QAction>
#include <QGraphicsProxyWidget>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QShortcut>

namespace {

bool isModifierKey(int key)
{
    return key == Qt::Key_Shift || key == Qt::Key_Control || key == Qt::Key_Alt || key == Qt::Key_Meta
        || key == Qt::Key_AltGr || key == Qt::Key_Super_L || key == Qt::Key_Super_R;
}

// A line whose call is on the air, here or at another position: dropping it
// by accident cuts a caller off mid-sentence on the air.
bool isOnAir(const Line& line)
{
    const LineStatus::Word word = LineStatus::wordOf(line.state().status);
    return word == LineStatus::OnAir || word == LineStatus::RemoteOnAir;
}

} // namespace

Keyboard::Keyboard(QGraphicsView& view, QGraphicsScene& scene, Lines& lines, Top& top, InfoEdit& infoEdit, Chat& chat)
    : m_view(view)
    , m_scene(scene)
    , m_lines(lines)
    , m_top(top)
    , m_infoEdit(infoEdit)
    , m_chat(chat)
{
    for (const Shortcut* row = shortcuts::begin(); row != shortcuts::end(); ++row) {
        for (int i = 0; i < row->count; ++i) {
            auto* shortcut = new QShortcut(row->sequence(i), &m_view);
            // The whole console window, whichever embedded field has focus.
            shortcut->setContext(Qt::WindowShortcut);
            shortcut->setAutoRepeat(row->autoRepeat);
            const ShortcutAction action = row->action;
            connect(shortcut, &QShortcut::activated, this, [this, action, i] { trigger(action, i); });
            m_bindings.push_back({shortcut, row, i});
        }
    }
    m_view.installEventFilter(this);

    m_scene.addItem(&m_overlay);

    m_dropArmTimer.setSingleShot(true);
    // A coarse timer may end up to 5 % early; the promise is 1.5 s.
    m_dropArmTimer.setTimerType(Qt::PreciseTimer);
    m_dropArmTimer.setInterval(shortcuts::DropArmMs);
    connect(&m_dropArmTimer, &QTimer::timeout, this, &Keyboard::disarmDrop);

    setToolTips();
}

Keyboard::~Keyboard()
{
    m_view.removeEventFilter(this);
    for (const Binding& b : m_bindings)
        delete b.shortcut;
    if (m_overlay.scene())
        m_overlay.scene()->removeItem(&m_overlay);
}

void Keyboard::setToolTips()
{
    using shortcuts::of;
    for (unsigned i = 0; i < Lines::MaxLines; ++i) {
        Line* line = m_lines.line(i);
        line->answerButton().setToolTip(of(ShortcutAction::Answer).toolTip());
        line->holdButton().setToolTip(of(ShortcutAction::Hold).toolTip());
        line->airButton().setToolTip(of(ShortcutAction::Air).toolTip());
        line->dropButton().setToolTip(of(ShortcutAction::Drop).toolTip());
    }
    m_top.nextButton().setToolTip(of(ShortcutAction::Next).toolTip());
    m_top.busyButton().setToolTip(of(ShortcutAction::Busy).toolTip());
    m_top.prioButton().setToolTip(of(ShortcutAction::Priority).toolTip());
    m_top.aaButton().setToolTip(of(ShortcutAction::AutoAttendant).toolTip());
    if (m_top.menuBar())
        m_top.menuBar()->setToolTip(of(ShortcutAction::Surface).toolTip());
    m_infoEdit.nameEditor().setToolTip(of(ShortcutAction::EditCaller).toolTip());
    m_chat.input().setToolTip(of(ShortcutAction::Chat).toolTip());
}

void Keyboard::trigger(ShortcutAction action, int index)
{
    switch (action) {
    case ShortcutAction::SelectLine:
        selectLine(index);
        break;
    case ShortcutAction::NextLine:
        stepSelection(1);
        break;
    case ShortcutAction::PreviousLine:
        stepSelection(-1);
        break;
    case ShortcutAction::Answer:
        if (Line* line = selectedLine())
            line->answerButton().click();
        break;
    case ShortcutAction::Hold:
        if (Line* line = selectedLine())
            line->holdButton().click();
        break;
    case ShortcutAction::Air:
        if (Line* line = selectedLine())
            line->airButton().click();
        break;
    case ShortcutAction::Drop:
        if (Line* line = selectedLine())
            dropLine(*line);
        break;
    // A top button that the surface hides cannot be clicked, so its key does
    // nothing either.
    case ShortcutAction::Next:
        if (m_top.nextButton().isVisible())
            m_top.nextButton().click();
        break;
    case ShortcutAction::Busy:
        if (m_top.busyButton().isVisible())
            m_top.busyButton().click();
        break;
    case ShortcutAction::Priority:
        if (m_top.prioButton().isVisible())
            m_top.prioButton().click();
        break;
    case ShortcutAction::AutoAttendant:
        if (m_top.aaButton().isVisible())
            m_top.aaButton().click();
        break;
    case ShortcutAction::Surface:
        // As the menu: a disabled entry cannot be chosen, and choosing the
        // checked one again changes nothing.
        if (QAction* entry = m_top.menuEntry(unsigned(index)); entry && entry->isEnabled())
            entry->trigger();
        break;
    case ShortcutAction::EditCaller:
        focusField(m_infoEdit.nameEditor());
        break;
    case ShortcutAction::Chat:
        focusField(m_chat.input());
        break;
    case ShortcutAction::Leave:
        leaveField();
        break;
    case ShortcutAction::CallLog:
        emit callLogRequested();
        break;
    case ShortcutAction::CallerHistory:
        emit callerHistoryRequested();
        break;
    case ShortcutAction::Help:
        m_overlay.show();
        break;
    }
}

Line* Keyboard::selectedLine() const
{
    if (!m_lines.hasSelection())
        return nullptr;
    Line* line = m_lines.line(m_lines.selectedLine());
    return line && line->isVisible() ? line : nullptr;
}

void Keyboard::selectLine(int index)
{
    Line* line = m_lines.line(unsigned(index));
    if (line && line->isVisible())
        line->panelSelected();
}

void Keyboard::stepSelection(int step)
{
    int i = m_lines.hasSelection() ? int(m_lines.selectedLine()) : (step > 0 ? -1 : int(Lines::MaxLines));
    for (i += step; i >= 0 && i < int(Lines::MaxLines); i += step) {
        if (m_lines.line(unsigned(i))->isVisible()) {
            selectLine(i);
            return;
        }
    }
}

void Keyboard::dropLine(Line& line)
{
    const bool armed = m_armedLine == line.index() && m_dropArmTimer.isActive();
    if (isOnAir(line) && !armed) {
        disarmDrop();
        m_armedLine = line.index();
        line.dropButton().setArmed(true);
        m_dropArmTimer.start();
        return;
    }
    disarmDrop();
    line.dropButton().click();
}

void Keyboard::disarmDrop()
{
    m_dropArmTimer.stop();
    if (m_armedLine < 0)
        return;
    if (Line* line = m_lines.line(unsigned(m_armedLine)))
        line->dropButton().setArmed(false);
    m_armedLine = -1;
}

void Keyboard::focusField(QWidget& field)
{
    // The editors stay disabled until a line is selected.
    if (!field.isEnabled())
        return;
    m_view.setFocus(Qt::ShortcutFocusReason);
    field.setFocus(Qt::ShortcutFocusReason);
    if (&field == &m_infoEdit.nameEditor())
        m_infoEdit.nameEditor().selectAll();
}

void Keyboard::leaveField()
{
    QGraphicsItem* focus = m_scene.focusItem();
    if (focus && focus->isWidget() && qobject_cast<QGraphicsProxyWidget*>(static_cast<QGraphicsWidget*>(focus)))
        m_scene.setFocusItem(nullptr);
}

bool Keyboard::isTableKey(int combination) const
{
    for (const Binding& b : m_bindings)
        if (b.row->key + b.index == combination)
            return true;
    return false;
}

bool Keyboard::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != &m_view || (event->type() != QEvent::ShortcutOverride && event->type() != QEvent::KeyPress))
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (isModifierKey(key->key()))
        return false;

    if (m_overlay.isVisible()) {
        // Any key closes the list, and does nothing else: taken as a plain
        // key press (not a shortcut), then swallowed.
        if (event->type() == QEvent::ShortcutOverride) {
            event->accept();
        } else {
            m_overlay.hide();
        }
        return true;
    }

    // A focused text field claims some of the table's keys for itself (a
    // line editor ends the line on Ctrl+E); the console's keys win, so they
    // act the same wherever the focus is.
    if (event->type() == QEvent::ShortcutOverride
        && isTableKey(int(key->modifiers() & ~Qt::KeypadModifier) | key->key())) {
        event->ignore();
        return true;
    }
    return false;
}
