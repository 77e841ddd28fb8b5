#pragma once

#include "console/attentionevents.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
// Whole, not declared: alerted() carries a QWidget*, which Qt 6 can hand to
// a queued connection or a spy only when the type is complete here.
#include <QWidget>

class AttentionSwitches;
class DesktopNotifier;
class MIRTGui;
class QMenu;
class QPoint;
struct DesktopNotification;

// Asks the user to look at one console when something happens there while
// its window is not the active one: a line starts ringing, a line is put on
// priority, or another position writes in the chat. It flags the window's
// taskbar entry (the urgency hint) and shows one desktop notification for the
// unit, which later events replace rather than stack, at most once a second;
// a click on it brings the console forward with the line selected. What is
// news comes from AttentionEvents, which follows the session's picture of
// the unit, never the drawing. It also adds the attention switches to the
// console window's context menu when the console shows it.
//
// Created by the main window for each console it opens, as a child of that
// console, so it goes with it.
class ConsoleAttention : public QObject
{
    Q_OBJECT

public:
    // The service shows at most one notification of a unit per this time.
    static constexpr int MIN_INTERVAL_MS = 1000;
    static constexpr int MAX_CHAT_CHARS = 200;
    static constexpr int MAX_NAME_CHARS = 64;

    // unitKey: the unit's key in the directory, which names its switch.
    ConsoleAttention(MIRTGui& console, const QString& unitKey, DesktopNotifier& notifier, AttentionSwitches& settings);
    ~ConsoleAttention() override;

    // Whether the user has this window in front of them: shown, not
    // minimised, and the active window (or one of its dialogs is).
    static bool windowIsActive(const QWidget* window);
    // The one decision whether the console is being looked at.
    bool consoleIsActive() const;

    // The notification of this unit on show, 0 when there is none.
    uint notificationId() const { return m_id; }
    // Something is noted that the service has not been told yet.
    bool hasUnsent() const { return m_dirty || m_inFlight; }

    // The attention switches, as the console's context menu shows them.
    void fillMenu(QMenu& menu);

    // Line numbers as the user counts them, runs shortened: "1–3, 5".
    static QString lineList(QList<unsigned> lines);
    // Plain text cut to at most maxChars characters, "…" marking a cut.
    static QString shortened(const QString& text, int maxChars);

signals:
    // The taskbar entry was asked to flag the window.
    void alerted(QWidget* window);

private slots:
    void lineReported(const LineNews& news);
    void chatFromOthers(const ChatLine& line);
    void actionInvoked(uint id, const QString& action);
    void notificationClosed(uint id, uint reason);
    void settingsChanged();
    void flush();

private:
    enum class Event { Ringing, Priority, Chat };

    bool eventFilter(QObject* watched, QEvent* event) override;
    // The window that stands for the console: the drawn console, or the
    // connection screen while the unit is not ready; null once closed.
    QWidget* window() const;
    void note(Event event, unsigned line);
    void schedule();
    void send();
    // The user has seen it: forget what was noted and take the
    // notification down (unless the service already did).
    void seen(bool closeNotification);
    DesktopNotification describe() const;
    int targetLine() const;
    void bringForward();

    MIRTGui& m_console;
    const QString m_unitKey;
    QPointer<DesktopNotifier> m_notifier;
    QPointer<AttentionSwitches> m_settings;
    AttentionEvents& m_events;

    // Noted since the user last looked, in order of arrival.
    QList<unsigned> m_ringing;
    QList<unsigned> m_priority;
    int m_chats = 0;
    QString m_chatFrom;
    QString m_chatText;

    uint m_id = 0;
    // Counts the times the user looked; an answer for an older count
    // belongs to a notification that is stale on arrival.
    unsigned m_generation = 0;
    bool m_inFlight = false;
    bool m_dirty = false;
    QElapsedTimer m_lastShown;
    QTimer m_throttle;
};
