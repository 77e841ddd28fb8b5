#include "attention/consoleattention.h"

#include "attention/attentionswitches.h"
#include "attention/desktopnotifier.h"
#include "console/customgraphicsview.h"
#include "console/mirtgui.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QGraphicsItem>
#include <QMenu>
#include <QStringList>
#include <QWidget>

#include <algorithm>

ConsoleAttention::ConsoleAttention(MIRTGui& console, const QString& unitKey, DesktopNotifier& notifier,
                                   AttentionSwitches& settings)
    : QObject(&console)
    , m_console(console)
    , m_unitKey(unitKey)
    , m_notifier(&notifier)
    , m_settings(&settings)
    , m_events(console.attentionEvents())
{
    m_throttle.setSingleShot(true);
    // A coarse timer may fire early, and the interval is a promise.
    m_throttle.setTimerType(Qt::PreciseTimer);
    connect(&m_throttle, &QTimer::timeout, this, &ConsoleAttention::flush);

    connect(&m_events, &AttentionEvents::lineReported, this, &ConsoleAttention::lineReported);
    connect(&m_events, &AttentionEvents::chatFromOthers, this, &ConsoleAttention::chatFromOthers);
    connect(&notifier, &DesktopNotifier::actionInvoked, this, &ConsoleAttention::actionInvoked);
    connect(&notifier, &DesktopNotifier::notificationClosed, this, &ConsoleAttention::notificationClosed);
    connect(&settings, &AttentionSwitches::changed, this, &ConsoleAttention::settingsChanged);

    for (QGraphicsView* view :
         {static_cast<QGraphicsView*>(&console.consoleView()), static_cast<QGraphicsView*>(&console.connectionView())})
        view->installEventFilter(this);
    connect(&console, &MIRTGui::contextMenu, this, [this](QMenu* menu) { fillMenu(*menu); });
}

ConsoleAttention::~ConsoleAttention()
{
    // Nothing would answer a click on it any more.
    if (m_notifier)
        m_notifier->close(m_id);
}

bool ConsoleAttention::windowIsActive(const QWidget* window)
{
    return window && window->isVisible() && !window->isMinimized() && window->isActiveWindow();
}

bool ConsoleAttention::consoleIsActive() const
{
    return windowIsActive(&m_console.consoleView()) || windowIsActive(&m_console.connectionView());
}

QWidget* ConsoleAttention::window() const
{
    if (m_console.consoleView().isVisible())
        return &m_console.consoleView();
    if (m_console.connectionView().isVisible())
        return &m_console.connectionView();
    return nullptr;
}

void ConsoleAttention::lineReported(const LineNews& news)
{
    const unsigned line = news.line;
    bool withdrawn = !news.ringing && m_ringing.removeAll(line) > 0;
    if (!news.priority && m_priority.removeAll(line) > 0)
        withdrawn = true;
    if (news.startsRinging)
        note(Event::Ringing, line);
    if (news.putOnPriority)
        note(Event::Priority, line);
    // A call that stopped ringing (answered elsewhere, or the caller gave
    // up) is no longer news: the notification says what is still waiting,
    // and goes when nothing is.
    if (withdrawn && !news.startsRinging && !news.putOnPriority) {
        if (m_ringing.isEmpty() && m_priority.isEmpty() && m_chats == 0) {
            seen(true);
        } else {
            m_dirty = true;
            schedule();
        }
    }
}

void ConsoleAttention::chatFromOthers(const ChatLine& line)
{
    if (consoleIsActive())
        return;
    m_chatFrom = shortened(line.from, MAX_NAME_CHARS);
    m_chatText = shortened(line.text, MAX_CHAT_CHARS);
    note(Event::Chat, 0);
}

void ConsoleAttention::note(Event event, unsigned line)
{
    QWidget* w = window();
    if (!w || consoleIsActive() || !m_settings)
        return;
    if (m_settings->urgencyHintEnabled()) {
        // Lasts until the window is activated, which takes it off again.
        QApplication::alert(w, 0);
        emit alerted(w);
    }
    if (!m_settings->notifies(m_unitKey))
        return;
    switch (event) {
    case Event::Ringing:
        if (!m_ringing.contains(line))
            m_ringing.append(line);
        break;
    case Event::Priority:
        if (!m_priority.contains(line))
            m_priority.append(line);
        break;
    case Event::Chat:
        ++m_chats;
        break;
    }
    m_dirty = true;
    schedule();
}

void ConsoleAttention::schedule()
{
    if (m_inFlight || m_throttle.isActive())
        return;
    if (m_lastShown.isValid() && m_lastShown.elapsed() < MIN_INTERVAL_MS) {
        m_throttle.start(int(MIN_INTERVAL_MS - m_lastShown.elapsed()));
        return;
    }
    send();
}

void ConsoleAttention::flush()
{
    if (m_dirty)
        schedule();
}

void ConsoleAttention::send()
{
    m_dirty = false;
    if (!m_notifier || !m_settings || !m_settings->notifies(m_unitKey))
        return;
    if (m_ringing.isEmpty() && m_priority.isEmpty() && m_chats == 0)
        return;
    m_inFlight = true;
    const unsigned generation = m_generation;
    m_notifier->notify(describe(), this, [this, generation](uint id) {
        m_inFlight = false;
        // Counted from the answer, when the service has shown it.
        m_lastShown.start();
        if (generation != m_generation) {
            // The user looked meanwhile: this one is old news.
            if (m_notifier)
                m_notifier->close(id);
        } else if (id != 0) {
            m_id = id;
        }
        if (m_dirty)
            schedule();
    });
}

DesktopNotification ConsoleAttention::describe() const
{
    QStringList parts;
    if (m_ringing.size() == 1)
        parts << tr("Line %1 ringing").arg(m_ringing.first() + 1);
    else if (!m_ringing.isEmpty())
        parts << tr("Lines %1 ringing").arg(lineList(m_ringing));
    if (m_priority.size() == 1)
        parts << tr("Line %1 on priority").arg(m_priority.first() + 1);
    else if (!m_priority.isEmpty())
        parts << tr("Lines %1 on priority").arg(lineList(m_priority));
    if (m_chats == 1)
        parts << (m_chatFrom.isEmpty() ? tr("Chat") : tr("Chat from %1").arg(m_chatFrom));
    else if (m_chats > 1)
        parts << tr("%1 chat lines").arg(m_chats);

    const QString username = m_console.session().username();
    QString body = username.isEmpty() ? m_unitKey : tr("%1 (%2)").arg(m_unitKey, username);
    if (m_chats == 1)
        body += QLatin1Char('\n') + m_chatText;
    else if (m_chats > 1)
        body += QLatin1Char('\n') + tr("%1: %2").arg(m_chatFrom, m_chatText);

    DesktopNotification n;
    n.replacesId = m_id;
    n.summary = parts.join(QStringLiteral("; "));
    n.body = body;
    return n;
}

int ConsoleAttention::targetLine() const
{
    if (!m_ringing.isEmpty())
        return int(m_ringing.first());
    if (!m_priority.isEmpty())
        return int(m_priority.first());
    return -1;
}

void ConsoleAttention::seen(bool closeNotification)
{
    m_ringing.clear();
    m_priority.clear();
    m_chats = 0;
    m_chatFrom.clear();
    m_chatText.clear();
    m_dirty = false;
    m_throttle.stop();
    ++m_generation;
    if (closeNotification && m_notifier)
        m_notifier->close(m_id);
    m_id = 0;
}

void ConsoleAttention::actionInvoked(uint id, const QString& action)
{
    if (id == 0 || id != m_id || action != DesktopNotifier::defaultAction)
        return;
    const int line = targetLine();
    bringForward();
    if (line >= 0)
        m_console.selectLine(unsigned(line));
    // The service takes a clicked notification down itself.
    seen(false);
}

void ConsoleAttention::notificationClosed(uint id, uint)
{
    if (id != 0 && id == m_id)
        seen(false);
}

void ConsoleAttention::settingsChanged()
{
    if (m_settings && !m_settings->notifies(m_unitKey))
        seen(true);
}

void ConsoleAttention::bringForward()
{
    // A console whose window was closed is on its way out: nothing to bring.
    QWidget* w = window();
    if (!w)
        return;
    if (w->isMinimized())
        w->setWindowState(w->windowState() & ~Qt::WindowMinimized);
    w->raise();
    w->activateWindow();
}

void ConsoleAttention::fillMenu(QMenu& menu)
{
    if (!m_settings)
        return;
    const QPointer<AttentionSwitches> settings = m_settings;
    const QString key = m_unitKey;

    QAction* unit = menu.addAction(tr("Notify for This Unit"));
    unit->setCheckable(true);
    unit->setChecked(settings->unitNotificationsEnabled(key));
    unit->setEnabled(settings->notificationsEnabled());
    connect(unit, &QAction::toggled, this, [settings, key](bool on) {
        if (settings)
            settings->setUnitNotificationsEnabled(key, on);
    });

    QAction* all = menu.addAction(tr("Desktop Notifications"));
    all->setCheckable(true);
    all->setChecked(settings->notificationsEnabled());
    connect(all, &QAction::toggled, settings.data(), &AttentionSwitches::setNotificationsEnabled);

    QAction* alert = menu.addAction(tr("Taskbar Alert"));
    alert->setCheckable(true);
    alert->setChecked(settings->urgencyHintEnabled());
    connect(alert, &QAction::toggled, settings.data(), &AttentionSwitches::setUrgencyHintEnabled);
}

bool ConsoleAttention::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::WindowActivate
        && (watched == &m_console.consoleView() || watched == &m_console.connectionView()))
        seen(true);
    return false;
}

QString ConsoleAttention::lineList(QList<unsigned> lines)
{
    std::sort(lines.begin(), lines.end());
    lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
    QStringList parts;
    for (int i = 0; i < lines.size();) {
        int j = i;
        while (j + 1 < lines.size() && lines.at(j + 1) == lines.at(j) + 1)
            ++j;
        if (j - i >= 2) {
            parts << QStringLiteral("%1–%2").arg(lines.at(i) + 1).arg(lines.at(j) + 1);
        } else {
            for (int k = i; k <= j; ++k)
                parts << QString::number(lines.at(k) + 1);
        }
        i = j + 1;
    }
    return parts.join(QStringLiteral(", "));
}

QString ConsoleAttention::shortened(const QString& text, int maxChars)
{
    if (text.size() <= maxChars)
        return text;
    int cut = maxChars - 1;
    // Never between the two halves of a character outside the basic plane.
    if (cut > 0 && text.at(cut - 1).isHighSurrogate())
        --cut;
    return text.left(cut) + QChar(0x2026);
}
