#pragma once

#include <QDBusConnection>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

class QDBusPendingCallWatcher;
class QDBusServiceWatcher;

// One desktop notification as the program describes it; texts are plain.
struct DesktopNotification
{
    // The notification this one takes the place of; 0 for a new one.
    uint replacesId = 0;
    QString summary;
    QString body;
};

// The client of the desktop's notification service (org.freedesktop.
// Notifications on the session bus). One per program, shared by every
// console. It never blocks: every call is asynchronous, and a missing bus, a
// missing service or an error reply only means that nothing is shown, which
// is logged once. Clicks on a notification come back as actionInvoked.
class DesktopNotifier : public QObject
{
    Q_OBJECT

public:
    static const QString serviceName;
    static const QString objectPath;
    // The action a click on the notification itself invokes.
    static const QString defaultAction;
    // A call the service has not answered by then counts as failed.
    static constexpr int CALL_TIMEOUT_MS = 5000;
    // Requests waiting for the service's capabilities; consoles ask at most
    // once a second each, so this is only reached if the service hangs.
    static constexpr int MAX_QUEUED = 64;

    // With the session bus, connected on first use.
    explicit DesktopNotifier(QObject* parent = nullptr);
    // With a given bus connection (a private bus, or one that failed).
    explicit DesktopNotifier(const QDBusConnection& bus, QObject* parent = nullptr);
    ~DesktopNotifier() override;

    // Called with the id the service gave the notification, or 0 when none
    // was shown. Not called once context is gone.
    using Done = std::function<void(uint id)>;
    void notify(const DesktopNotification& notification, QObject* context, Done done);
    void close(uint id);

    // Calls sent or waiting that have not been answered yet.
    int pendingCalls() const { return m_queue.size() + m_inFlight; }

    // Plain text made safe for the body markup of the service.
    static QString escapeMarkup(const QString& text);

signals:
    void actionInvoked(uint id, const QString& action);
    void notificationClosed(uint id, uint reason);

private slots:
    // Slots for QDBusConnection::connect, which takes them by signature.
    void dbusActionInvoked(uint id, const QString& action);
    void dbusNotificationClosed(uint id, uint reason);

private:
    struct Request
    {
        DesktopNotification notification;
        QPointer<QObject> context;
        Done done;
    };

    QDBusConnection& bus();
    void subscribe();
    void queryCapabilities();
    void send(const Request& request);
    // Tells the requester, on the next pass of the event loop, that nothing
    // was shown.
    void answerLater(const Request& request, uint id);
    void failed(const QString& why);

    // Null until first used, so that a program that never notifies never
    // touches the session bus.
    std::unique_ptr<QDBusConnection> m_bus;
    QDBusServiceWatcher* m_serviceWatcher = nullptr;
    enum class Capabilities { Unknown, Asking, Known };
    Capabilities m_capabilities = Capabilities::Unknown;
    bool m_markup = false;
    QList<Request> m_queue;
    int m_inFlight = 0;
    bool m_failureLogged = false;
};
