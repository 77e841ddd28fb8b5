#include "console/consoleaccess.h"

#include "console/accessibleapplication.h"
#include "console/accessibleconsole.h"
#include "console/accessibleembedded.h"
#include "console/accessiblepart.h"
#include "console/attentionevents.h"
#include "console/chat.h"
#include "console/infoedit.h"
#include "console/keyboard.h"
#include "console/lines.h"
#include "console/shortcuts.h"
#include "console/top.h"
#include "ipc/ipcobject.h"
#include "unit/unitstate.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QGraphicsProxyWidget>
#include <QGraphicsView>
#include <QMenu>
#include <QMenuBar>

namespace {

QHash<const QObject*, ConsoleAccess*>& consoles()
{
    static QHash<const QObject*, ConsoleAccess*> byView;
    return byView;
}

// The application leaves the consoles' embedded widgets out of its windows;
// a console window lists its parts. Installed when the application object is
// made, before the accessibility layer first asks for either.
QAccessibleInterface* accessibleFactory(const QString& className, QObject* object)
{
    if (object && object == QCoreApplication::instance())
        return new AccessibleApplication;
    if (className == QLatin1String("CustomGraphicsView"))
        return new AccessibleConsole(static_cast<QGraphicsView*>(object));
    return nullptr;
}

void installAccessibleFactory()
{
    QAccessible::installFactory(accessibleFactory);
}

// Texts from the unit may be long or hold line breaks; a screen reader gets
// one line of a sensible length.
constexpr int kMaxSpokenChars = 200;

QString spoken(const QString& text)
{
    return text.left(kMaxSpokenChars * 4).simplified().left(kMaxSpokenChars);
}

// "0:12", "4:05", "1:02:03": how long a call has been in its state.
QString spokenTime(uint64_t seconds)
{
    const uint64_t h = seconds / 3600;
    const uint64_t m = seconds / 60 % 60;
    const uint64_t s = seconds % 60;
    if (h > 0)
        return QStringLiteral("%1:%2:%3").arg(h).arg(m, 2, 10, QLatin1Char('0')).arg(s, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(m).arg(s, 2, 10, QLatin1Char('0'));
}

// The states in which a line has a call on it: its time is worth saying.
bool hasCall(LineStatus::Word word)
{
    switch (word) {
    case LineStatus::Ringing:
    case LineStatus::OnHold:
    case LineStatus::OnScreenedHold:
    case LineStatus::RemoteOnHold:
    case LineStatus::RemoteOnScreenedHold:
    case LineStatus::AutoAttendant:
    case LineStatus::RemoteAutoAttendant:
    case LineStatus::OnHandset:
    case LineStatus::RemoteOnHandset:
    case LineStatus::OnAir:
    case LineStatus::RemoteOnAir:
        return true;
    default:
        return false;
    }
}

// What a screen reader says by itself, wherever the user is, when a line
// changes: it starts ringing, is answered, goes on air, or its call ends.
bool isNews(LineStatus::Word before, LineStatus::Word now)
{
    if (now == before)
        return false;
    switch (now) {
    case LineStatus::Ringing:
    case LineStatus::OnHandset:
    case LineStatus::RemoteOnHandset:
    case LineStatus::OnAir:
    case LineStatus::RemoteOnAir:
        return true;
    case LineStatus::Idle:
        return hasCall(before);
    default:
        return false;
    }
}

QString colourName(ColorButton::ButtonColors color)
{
    switch (color) {
    case ColorButton::Blue:
        return QStringLiteral("blue");
    case ColorButton::Red:
        return QStringLiteral("red");
    case ColorButton::Green:
        return QStringLiteral("green");
    case ColorButton::Yellow:
        return QStringLiteral("yellow");
    default:
        return QStringLiteral("off");
    }
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(installAccessibleFactory)

ConsoleAccess::ConsoleAccess(QGraphicsView& view, IPCObject& session, AttentionEvents& news, Lines& lines, Top& top,
                             InfoEdit& infoEdit, Chat& chat, Keyboard& keyboard)
    : m_view(view)
    , m_session(session)
    , m_lines(lines)
    , m_top(top)
    , m_infoEdit(infoEdit)
    , m_chat(chat)
    , m_keyboard(keyboard)
{
    consoles().insert(&m_view, this);

    // Reading order: the top strip from the left, the lines from the top,
    // then the editor and the chat on the right, each field in its row.
    addPart(&m_top.nextButton(), {Kind::Next, -1, nullptr, &m_top.nextButton(), QStringLiteral("NEXT")});
    addPart(&m_top.busyButton(), {Kind::Busy, -1, nullptr, &m_top.busyButton(), QStringLiteral("BUSY")});
    addPart(&m_top.prioButton(), {Kind::Priority, -1, nullptr, &m_top.prioButton(), QStringLiteral("PRIO")});
    addPart(&m_top.aaButton(), {Kind::AutoAttendant, -1, nullptr, &m_top.aaButton(), QStringLiteral("AA")});
    if (QMenuBar* surfaces = m_top.menuBar())
        addPart(surfaces, {Kind::Surfaces, -1, nullptr, surfaces->graphicsProxyWidget(), QStringLiteral("Surfaces")});
    for (unsigned i = 0; i < Lines::MaxLines; ++i) {
        Line* line = m_lines.line(i);
        const int n = int(i);
        addPart(line, {Kind::Line, n, nullptr, &line->panel(), QStringLiteral("Line %1").arg(n + 1)});
        addPart(&line->answerButton(), {Kind::Answer, n, line, &line->answerButton(), QStringLiteral("ANSWER")});
        addPart(&line->holdButton(), {Kind::Hold, n, line, &line->holdButton(), QStringLiteral("HOLD")});
        addPart(&line->airButton(), {Kind::Air, n, line, &line->airButton(), QStringLiteral("AIR")});
        addPart(&line->dropButton(), {Kind::Drop, n, line, &line->dropButton(), QStringLiteral("DROP")});
        connect(&line->dropButton(), &DropButton::armedChanged, this, &ConsoleAccess::schedule);
        connect(line, &Line::historyChanged, this, &ConsoleAccess::schedule);
    }
    addPart(&m_infoEdit, {Kind::Editor, -1, nullptr, &m_infoEdit.panel(), QString()});
    const std::pair<QWidget*, const char*> fields[] = {
        {&m_infoEdit.nameEditor(), "Name"},   {&m_infoEdit.locationEditor(), "Location"},
        {&m_infoEdit.topicEditor(), "Topic"}, {&m_infoEdit.genderChooser(), "Gender"},
        {&m_infoEdit.moodChooser(), "Mood"},  {&m_infoEdit.notesEditor(), "Notes"},
    };
    for (const auto& field : fields)
        addPart(field.first,
                {Kind::Field, -1, &m_infoEdit, field.first->graphicsProxyWidget(), QString::fromLatin1(field.second)});
    addPart(&m_chat, {Kind::Chat, -1, nullptr, &m_chat.panel(), QStringLiteral("Studio Chat")});
    addPart(&m_chat.history(),
            {Kind::Field, -1, &m_chat, m_chat.history().graphicsProxyWidget(), QStringLiteral("Chat history")});
    addPart(&m_chat.input(), {Kind::Field, -1, &m_chat, m_chat.input().graphicsProxyWidget(), QStringLiteral("Chat")});
    addPart(&m_chat.sendButton(), {Kind::Field, -1, &m_chat, m_chat.sendButton().graphicsProxyWidget(), QString()});

    for (QObject* object : qAsConst(m_order)) {
        const Part& p = m_parts[object];
        if (p.kind == Kind::Field) {
            auto* widget = static_cast<QWidget*>(object);
            // Qt's own interface of the widget does the work; ours only puts
            // it in its place.
            if (QAccessibleInterface* inner = QAccessible::queryAccessibleInterface(widget))
                QAccessible::registerAccessibleInterface(new AccessibleEmbedded(widget, inner, this));
        } else {
            QAccessible::registerAccessibleInterface(new AccessiblePart(object, this));
        }
        if (p.kind != Kind::Field)
            m_seen.insert(object, seen(object));
    }

    m_view.scene()->addItem(&m_frame);

    m_flush.setSingleShot(true);
    m_flush.setInterval(0);
    connect(&m_flush, &QTimer::timeout, this, &ConsoleAccess::flush);

    // What the layer must hear about comes with the unit's reports, the
    // surface association, the selection and the focus; the clock's ticks
    // change only the time a line's description ends with, and must not
    // make a screen reader speak every second.
    connect(&m_session, &IPCObject::recvLineStatus, this, &ConsoleAccess::schedule);
    connect(&m_session, &IPCObject::recvAncillaryData, this, &ConsoleAccess::schedule);
    connect(&m_session, &IPCObject::recvSystemStatus, this, &ConsoleAccess::schedule);
    connect(&m_session, &IPCObject::recvSurfaceStatus, this, &ConsoleAccess::schedule);
    connect(&m_session, &IPCObject::recvSetConfig, this, &ConsoleAccess::schedule);
    // The chat says the last line another position wrote; this console's own
    // lines, relayed back by the unit, are no news.
    connect(&news, &AttentionEvents::chatFromOthers, this, [this](const ChatLine& line) {
        m_chatLine = QStringLiteral("%1: %2").arg(spoken(line.from), spoken(line.text));
        schedule();
    });
    connect(&m_top, &Top::associationChanged, this, &ConsoleAccess::schedule);
    connect(&m_lines, &Lines::lineSelected, this, &ConsoleAccess::schedule);
    connect(m_view.scene(), &QGraphicsScene::focusItemChanged, this, &ConsoleAccess::schedule);
    m_view.installEventFilter(this);
}

ConsoleAccess::~ConsoleAccess()
{
    m_view.removeEventFilter(this);
    if (m_frame.scene())
        m_frame.scene()->removeItem(&m_frame);
    consoles().remove(&m_view);
}

ConsoleAccess* ConsoleAccess::of(const QObject* view)
{
    return consoles().value(view, nullptr);
}

void ConsoleAccess::addPart(QObject* object, Part part)
{
    m_parts.insert(object, part);
    m_order.append(object);
}

const ConsoleAccess::Part* ConsoleAccess::part(const QObject* object) const
{
    auto it = m_parts.constFind(object);
    return it == m_parts.constEnd() ? nullptr : &it.value();
}

Line* ConsoleAccess::lineOf(const Part& p) const
{
    return p.line >= 0 ? m_lines.line(unsigned(p.line)) : nullptr;
}

QVector<QObject*> ConsoleAccess::children(const QObject* parent) const
{
    QVector<QObject*> list;
    for (QObject* object : m_order) {
        const Part& p = m_parts[object];
        if (p.parent == parent && isShown(object))
            list.append(object);
    }
    return list;
}

QAccessibleInterface* ConsoleAccess::parentOf(const QObject* object) const
{
    const Part* p = part(object);
    if (!p)
        return nullptr;
    return QAccessible::queryAccessibleInterface(p->parent ? p->parent : &m_view);
}

QRect ConsoleAccess::screenRect(const QObject* object) const
{
    const Part* p = part(object);
    if (!p || !p->item)
        return QRect();
    const QRect r = m_view.mapFromScene(p->item->sceneBoundingRect()).boundingRect();
    return QRect(m_view.viewport()->mapToGlobal(r.topLeft()), r.size());
}

bool ConsoleAccess::isShown(const QObject* object) const
{
    const Part* p = part(object);
    if (!p)
        return false;
    switch (p->kind) {
    case Kind::Line:
        return lineOf(*p)->isVisible();
    case Kind::Editor:
    case Kind::Chat:
    case Kind::Field:
        return true;
    default:
        return p->item && p->item->isVisible();
    }
}

bool ConsoleAccess::isAvailable(const Part& p) const
{
    // A shown button that the surface forbids: a press would send nothing.
    switch (p.kind) {
    case Kind::Answer:
        return lineOf(p)->mayAnswer();
    case Kind::Air:
        return lineOf(p)->mayAir();
    case Kind::Priority:
        return m_lines.hasSelection();
    default:
        return true;
    }
}

bool ConsoleAccess::isLit(const QObject* object, const Part& p) const
{
    switch (p.kind) {
    case Kind::Answer:
    case Kind::Hold:
    case Kind::Air:
    case Kind::AutoAttendant: {
        const auto* lamp = static_cast<const ColorButton*>(static_cast<const SurfaceButton*>(object));
        return lamp->firstColor() != ColorButton::Unlit || lamp->secondColor() != ColorButton::Unlit;
    }
    case Kind::Drop:
        return lineOf(p)->dropButton().isArmed();
    case Kind::Busy:
        return m_top.isBusiedOut();
    default:
        return false;
    }
}

int ConsoleAccess::lookOf(const QObject* object, const Part& p) const
{
    switch (p.kind) {
    case Kind::Answer:
    case Kind::Hold:
    case Kind::Air:
    case Kind::AutoAttendant: {
        const auto* lamp = static_cast<const ColorButton*>(static_cast<const SurfaceButton*>(object));
        return int(lamp->state()) << 8 | int(lamp->firstColor()) << 4 | int(lamp->secondColor());
    }
    default:
        return isLit(object, p) ? 1 : 0;
    }
}

QAccessible::Role ConsoleAccess::role(const QObject* object) const
{
    const Part* p = part(object);
    if (!p)
        return QAccessible::NoRole;
    switch (p->kind) {
    case Kind::Line:
    case Kind::Editor:
    case Kind::Chat:
        return QAccessible::Grouping;
    case Kind::Surfaces:
        return QAccessible::ButtonMenu;
    default:
        return QAccessible::PushButton;
    }
}

QString ConsoleAccess::text(const QObject* object, QAccessible::Text which) const
{
    const Part* p = part(object);
    if (!p)
        return QString();
    if (which == QAccessible::Name) {
        if (p->kind == Kind::Editor)
            return m_infoEdit.panel().title();
        if (const auto* chooser = qobject_cast<const QComboBox*>(object))
            return QStringLiteral("%1: %2").arg(p->name, chooser->currentText());
        return p->name;
    }
    if (which != QAccessible::Description)
        return QString();
    switch (p->kind) {
    case Kind::Line:
        return describe(*lineOf(*p));
    case Kind::Answer:
    case Kind::Hold:
    case Kind::Air:
    case Kind::AutoAttendant: {
        const auto* lamp = static_cast<const ColorButton*>(static_cast<const SurfaceButton*>(object));
        if (!isLit(object, *p))
            return QString();
        QString look = colourName(lamp->firstColor());
        if (lamp->state() != ColorButton::Steady)
            look += lamp->secondColor() == ColorButton::Unlit
                ? QStringLiteral(", blinking")
                : QStringLiteral(", blinking %1").arg(colourName(lamp->secondColor()));
        return look;
    }
    case Kind::Drop:
        return isLit(object, *p) ? QStringLiteral("Armed: press again within 1.5 seconds to drop the call on air")
                                 : QString();
    case Kind::Surfaces:
        for (unsigned i = 0; i < Top::SurfaceCount; ++i)
            if (QAction* entry = m_top.menuEntry(i); entry && entry->isChecked())
                return entry->text();
        return QStringLiteral("None");
    case Kind::Chat:
        return m_chatLine;
    case Kind::Field:
        return object == m_focusField ? m_announcement : QString();
    default:
        return QString();
    }
}

QAccessible::State ConsoleAccess::state(const QObject* object) const
{
    QAccessible::State s;
    const Part* p = part(object);
    if (!p || !isShown(object)) {
        s.invisible = true;
        return s;
    }
    if (!m_view.isVisible()) {
        s.invisible = true;
        s.offscreen = true;
    }
    switch (p->kind) {
    case Kind::Line:
        s.focusable = true;
        s.focused = m_focus == object;
        s.selectable = true;
        s.selected = m_lines.hasSelection() && int(m_lines.selectedLine()) == p->line;
        break;
    case Kind::Answer:
    case Kind::Hold:
    case Kind::Air:
    case Kind::AutoAttendant:
    case Kind::Drop:
    case Kind::Busy:
        s.checkable = true;
        s.checked = isLit(object, *p);
        s.disabled = !isAvailable(*p);
        if (p->kind != Kind::Drop && p->kind != Kind::Busy)
            s.animated = static_cast<const ColorButton*>(static_cast<const SurfaceButton*>(object))->isBlinking();
        break;
    case Kind::Next:
    case Kind::Priority:
        s.disabled = !isAvailable(*p);
        break;
    case Kind::Surfaces:
        s.hasPopup = true;
        break;
    default:
        break;
    }
    return s;
}

QStringList ConsoleAccess::actionNames(const QObject* object) const
{
    const Part* p = part(object);
    if (!p || !isShown(object))
        return {};
    switch (p->kind) {
    case Kind::Line:
        return {QAccessibleActionInterface::setFocusAction()};
    case Kind::Surfaces:
        return {QAccessibleActionInterface::showMenuAction(), QAccessibleActionInterface::pressAction()};
    case Kind::Editor:
    case Kind::Chat:
    case Kind::Field:
        return {};
    default:
        return {QAccessibleActionInterface::pressAction()};
    }
}

void ConsoleAccess::doAction(QObject* object, const QString& action)
{
    const Part* p = part(object);
    if (!p || !actionNames(object).contains(action))
        return;
    switch (p->kind) {
    case Kind::Line:
        // As a click on the panel, which also takes the focus from a field.
        m_view.setFocus(Qt::OtherFocusReason);
        m_view.scene()->setFocusItem(nullptr);
        lineOf(*p)->panelSelected();
        return;
    case Kind::Surfaces:
        if (QMenuBar* bar = m_top.menuBar())
            bar->setActiveAction(m_top.menu()->menuAction());
        return;
    case Kind::Drop:
        // On air, the first press only arms it, as from the keyboard.
        m_keyboard.dropLine(*lineOf(*p));
        return;
    default:
        // Exactly what a click sends; a button the surface forbids sends
        // nothing, not even the selection a click would make.
        if (isAvailable(*p))
            static_cast<SurfaceButton*>(object)->click();
        return;
    }
}

QStringList ConsoleAccess::keyBindings(const QObject* object) const
{
    const Part* p = part(object);
    if (!p)
        return {};
    // The line keys act on the selected line, so only the top buttons and
    // the lines themselves have a key of their own.
    switch (p->kind) {
    case Kind::Line:
        return {shortcuts::of(ShortcutAction::SelectLine).sequence(p->line).toString(QKeySequence::NativeText)};
    case Kind::Next:
        return {shortcuts::of(ShortcutAction::Next).keysText()};
    case Kind::Busy:
        return {shortcuts::of(ShortcutAction::Busy).keysText()};
    case Kind::Priority:
        return {shortcuts::of(ShortcutAction::Priority).keysText()};
    case Kind::AutoAttendant:
        return {shortcuts::of(ShortcutAction::AutoAttendant).keysText()};
    default:
        return {};
    }
}

QString ConsoleAccess::describe(const Line& line, bool withTime) const
{
    const UnitState& unit = m_session.unitState();
    const unsigned index = unsigned(line.index());
    const LineStatus& s = unit.line(index);
    QStringList said;
    // A connected call shows its caller; every other state a text of its
    // own ("Ringing", "On Hold (Remote)"), said as the panel shows it.
    if (LineStatus::isConnected(s.word)) {
        said << LineStatus::textOf(s.word);
        const CallerInfo& caller = unit.callerInfo(index);
        for (const QString* t : {&caller.name, &caller.location, &caller.topic})
            if (!t->trimmed().isEmpty())
                said << spoken(*t);
    } else if (!line.panel().textLine1().isEmpty()) {
        said << spoken(line.panel().textLine1()).toLower();
    }
    // The panel's mark of a caller the log knows.
    if (line.historyCalls() > 0)
        said << (line.historyCalls() == 1 ? QStringLiteral("called once before")
                                          : QStringLiteral("called %1 times before").arg(line.historyCalls()));
    if (!line.historyFlag().isEmpty())
        said << QStringLiteral("flag: %1").arg(spoken(line.historyFlag()));
    if (withTime && hasCall(s.word))
        said << spokenTime(s.time);
    if (s.priority)
        said << QStringLiteral("priority");
    if (s.locked)
        said << QStringLiteral("locked");
    return said.join(QStringLiteral(", "));
}

QObject* ConsoleAccess::focusLine() const
{
    if (!m_view.hasFocus() || focusedField() || !m_lines.hasSelection())
        return nullptr;
    Line* line = m_lines.line(m_lines.selectedLine());
    return line && line->isVisible() ? line : nullptr;
}

QWidget* ConsoleAccess::focusedField() const
{
    QGraphicsItem* item = m_view.scene()->focusItem();
    if (!item || !item->isWidget())
        return nullptr;
    auto* proxy = qobject_cast<QGraphicsProxyWidget*>(static_cast<QGraphicsWidget*>(item));
    return proxy ? proxy->widget() : nullptr;
}

ConsoleAccess::Seen ConsoleAccess::seen(QObject* object) const
{
    Seen s;
    const Part& p = m_parts[object];
    s.shown = isShown(object);
    s.name = text(object, QAccessible::Name);
    s.description = p.kind == Kind::Line ? describe(*lineOf(p), false) : text(object, QAccessible::Description);
    const QAccessible::State state = this->state(object);
    s.disabled = state.disabled;
    s.checked = state.checked;
    s.look = lookOf(object, p);
    if (p.kind == Kind::Line)
        s.word = m_session.unitState().line(unsigned(p.line)).word;
    return s;
}

void ConsoleAccess::schedule()
{
    if (!m_flush.isActive())
        m_flush.start();
}

bool ConsoleAccess::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == &m_view && (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut))
        schedule();
    return false;
}

void ConsoleAccess::flush()
{
    const auto tell = [](QObject* object, QAccessible::Event type) {
        if (QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(object)) {
            QAccessibleEvent event(iface, type);
            QAccessible::updateAccessibility(&event);
        }
    };
    const auto tellState = [](QObject* object, QAccessible::State changed) {
        if (QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(object)) {
            QAccessibleStateChangeEvent event(iface, changed);
            QAccessible::updateAccessibility(&event);
        }
    };

    // The focus first: the state of a line says whether it has it.
    QObject* focus = focusLine();
    const bool focusMoved = focus != m_focus;
    m_focus = focus;
    if (Line* line = qobject_cast<Line*>(focus))
        m_frame.frame(line->panel().sceneBoundingRect());
    m_frame.setVisible(focus != nullptr);

    // The frame is for every user; the rest waits until a client of the
    // accessibility layer (a screen reader) comes, and then tells what
    // changed since the last time anyone listened.
    if (!QAccessible::isActive())
        return;

    for (QObject* object : qAsConst(m_order)) {
        const Part& p = m_parts[object];
        if (p.kind == Kind::Field)
            continue;
        const Seen now = seen(object);
        Seen& before = m_seen[object];
        // A part that is hidden (a line beyond the unit's number, a button
        // the surface does not have) leaves the tree, and comes back when
        // shown again.
        if (now.shown != before.shown)
            tell(object, now.shown ? QAccessible::ObjectCreated : QAccessible::ObjectDestroyed);
        if (now.shown) {
            if (now.name != before.name)
                tell(object, QAccessible::NameChanged);
            if (now.description != before.description) {
                tell(object, QAccessible::DescriptionChanged);
                const bool news = p.kind == Kind::Line
                    ? isNews(LineStatus::Word(before.word), LineStatus::Word(now.word))
                    : p.kind == Kind::Chat || (p.kind == Kind::Drop && now.checked);
                if (news)
                    announce(object, now.name + QStringLiteral(", ") + text(object, QAccessible::Description));
            }
            if (now.disabled != before.disabled) {
                QAccessible::State changed;
                changed.disabled = true;
                tellState(object, changed);
            }
            if (now.checked != before.checked || now.look != before.look) {
                QAccessible::State changed;
                changed.checked = true;
                tellState(object, changed);
            }
        }
        before = now;
    }
    if (focusMoved && focus)
        tell(focus, QAccessible::Focus);

    // While the user types in a field, the keyboard stays there and the
    // newly selected line is said by the field.
    QWidget* field = focusedField();
    const int selected = m_lines.hasSelection() ? int(m_lines.selectedLine()) : -1;
    if (field != m_focusField)
        m_announcement.clear();
    if (field && selected != m_selected && selected >= 0) {
        const Line& line = *m_lines.line(unsigned(selected));
        m_announcement = QStringLiteral("Line %1, %2").arg(selected + 1).arg(describe(line));
        tell(field, QAccessible::DescriptionChanged);
        announce(field, m_announcement);
    }
    m_focusField = field;
    m_selected = selected;
}

void ConsoleAccess::announce(QObject* object, const QString& text)
{
    // Said by the screen reader wherever the focus is; Qt's bridge to the
    // bus carries it from 6.8 on. Before, the changed descriptions and
    // states above are what a screen reader hears.
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    if (QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(object)) {
        QAccessibleAnnouncementEvent event(iface, text);
        QAccessible::updateAccessibility(&event);
    }
#else
    Q_UNUSED(object)
    Q_UNUSED(text)
#endif
}
