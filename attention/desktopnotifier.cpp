#include "attention/desktopnotifier.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDebug>
#include <QStringList>
#include <QVariantMap>

const QString DesktopNotifier::serviceName = QStringLiteral("org.freedesktop.Notifications");
const QString DesktopNotifier::objectPath = QStringLiteral("/org/freedesktop/Notifications");
const QString DesktopNotifier::defaultAction = QStringLiteral("default");

namespace {

const QString kAppName = QStringLiteral("MIRT Desktop Control");
// The name the menu entry and the icon theme know the program by.
const QString kDesktopEntry = QStringLiteral("mirt-desktop");
// "normal" in the urgency hint.
const uchar kNormalUrgency = 1;
// Let the service decide how long a notification stays.
const int kServerDefaultTimeout = -1;

// Texts come from the network. The bus refuses strings that are not valid
// UTF-8 (a lone surrogate), and control characters have no place on a
// notification; newlines are kept where asked for.
QString cleanText(const QString& text, bool keepNewlines)
{
    QString out;
    out.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            out.append(c);
            out.append(text.at(++i));
        } else if (c.isSurrogate() || c.isNonCharacter()) {
            out.append(QChar(QChar::ReplacementCharacter));
        } else if (c == QLatin1Char('\n') && keepNewlines) {
            out.append(c);
        } else if (c.category() == QChar::Other_Control) {
            out.append(QLatin1Char(' '));
        } else {
            out.append(c);
        }
    }
    return out;
}

} // namespace

DesktopNotifier::DesktopNotifier(QObject* parent)
    : QObject(parent)
{
}

DesktopNotifier::DesktopNotifier(const QDBusConnection& bus, QObject* parent)
    : QObject(parent)
{
    m_bus = std::make_unique<QDBusConnection>(bus);
    subscribe();
}

DesktopNotifier::~DesktopNotifier()
{
    if (m_bus && m_bus->isConnected()) {
        m_bus->disconnect(serviceName, objectPath, serviceName, QStringLiteral("ActionInvoked"), this,
                          SLOT(dbusActionInvoked(uint, QString)));
        m_bus->disconnect(serviceName, objectPath, serviceName, QStringLiteral("NotificationClosed"), this,
                          SLOT(dbusNotificationClosed(uint, uint)));
    }
}

QDBusConnection& DesktopNotifier::bus()
{
    if (!m_bus) {
        m_bus = std::make_unique<QDBusConnection>(QDBusConnection::sessionBus());
        subscribe();
    }
    return *m_bus;
}

void DesktopNotifier::subscribe()
{
    if (!m_bus->isConnected())
        return;
    // QDBusConnection takes its receivers by signature only.
    m_bus->connect(serviceName, objectPath, serviceName, QStringLiteral("ActionInvoked"), this,
                   SLOT(dbusActionInvoked(uint, QString)));
    m_bus->connect(serviceName, objectPath, serviceName, QStringLiteral("NotificationClosed"), this,
                   SLOT(dbusNotificationClosed(uint, uint)));
    // Another service may take over (or one may start later) with other
    // capabilities: ask again before the next notification.
    m_serviceWatcher = new QDBusServiceWatcher(serviceName, *m_bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(m_serviceWatcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this]() { m_capabilities = Capabilities::Unknown; });
}

void DesktopNotifier::notify(const DesktopNotification& notification, QObject* context, Done done)
{
    Request request{notification, context, std::move(done)};
    if (!bus().isConnected()) {
        const QDBusError error = bus().lastError();
        failed(error.isValid() ? error.message() : QStringLiteral("no session bus"));
        answerLater(request, 0);
        return;
    }
    if (m_capabilities == Capabilities::Known) {
        send(request);
        return;
    }
    if (m_queue.size() >= MAX_QUEUED) {
        answerLater(request, 0);
        return;
    }
    m_queue.append(request);
    queryCapabilities();
}

void DesktopNotifier::close(uint id)
{
    if (id == 0 || !m_bus || !m_bus->isConnected())
        return;
    QDBusMessage call
        = QDBusMessage::createMethodCall(serviceName, objectPath, serviceName, QStringLiteral("CloseNotification"));
    call << id;
    // The answer does not matter (a notification that is gone already is
    // answered with an error, and there is nothing to do about it); it is
    // only counted.
    ++m_inFlight;
    auto* watcher = new QDBusPendingCallWatcher(m_bus->asyncCall(call, CALL_TIMEOUT_MS), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        --m_inFlight;
    });
}

QString DesktopNotifier::escapeMarkup(const QString& text)
{
    QString out;
    out.reserve(text.size() + text.size() / 8);
    for (const QChar c : text) {
        if (c == QLatin1Char('&'))
            out += QLatin1String("&amp;");
        else if (c == QLatin1Char('<'))
            out += QLatin1String("&lt;");
        else if (c == QLatin1Char('>'))
            out += QLatin1String("&gt;");
        else
            out += c;
    }
    return out;
}

void DesktopNotifier::queryCapabilities()
{
    if (m_capabilities != Capabilities::Unknown)
        return;
    m_capabilities = Capabilities::Asking;
    const QDBusMessage call
        = QDBusMessage::createMethodCall(serviceName, objectPath, serviceName, QStringLiteral("GetCapabilities"));
    auto* watcher = new QDBusPendingCallWatcher(bus().asyncCall(call, CALL_TIMEOUT_MS), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<QStringList> reply = *w;
        // Without "body-markup" the service shows the body as it is, so
        // escaped text would show its entities.
        m_markup = !reply.isError() && reply.value().contains(QStringLiteral("body-markup"));
        // Also after an error: the notifications themselves then fail and
        // say why; a service that appears later is asked anew.
        m_capabilities = Capabilities::Known;
        const QList<Request> queue = m_queue;
        m_queue.clear();
        for (const Request& request : queue)
            send(request);
    });
}

void DesktopNotifier::send(const Request& request)
{
    if (!request.context)
        return;
    const DesktopNotification& n = request.notification;
    const QString body = cleanText(n.body, true);
    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(kNormalUrgency));
    hints.insert(QStringLiteral("desktop-entry"), kDesktopEntry);

    QDBusMessage call = QDBusMessage::createMethodCall(serviceName, objectPath, serviceName, QStringLiteral("Notify"));
    call << kAppName << n.replacesId << kDesktopEntry << cleanText(n.summary, false)
         << (m_markup ? escapeMarkup(body) : body) << QStringList{defaultAction, tr("Show Console")} << hints
         << kServerDefaultTimeout;

    ++m_inFlight;
    auto* watcher = new QDBusPendingCallWatcher(bus().asyncCall(call, CALL_TIMEOUT_MS), this);
    const QPointer<QObject> context = request.context;
    const Done done = request.done;
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, context, done](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        --m_inFlight;
        const QDBusPendingReply<uint> reply = *w;
        uint id = 0;
        if (reply.isError())
            failed(QStringLiteral("%1 (%2)").arg(reply.error().message(), reply.error().name()));
        else
            id = reply.value();
        if (context)
            done(id);
    });
}

void DesktopNotifier::answerLater(const Request& request, uint id)
{
    ++m_inFlight;
    QMetaObject::invokeMethod(
        this,
        [this, request, id]() {
            --m_inFlight;
            if (request.context)
                request.done(id);
        },
        Qt::QueuedConnection);
}

void DesktopNotifier::failed(const QString& why)
{
    if (m_failureLogged)
        return;
    m_failureLogged = true;
    qWarning().noquote() << "desktop notifications unavailable:" << why;
}

void DesktopNotifier::dbusActionInvoked(uint id, const QString& action)
{
    emit actionInvoked(id, action);
}

void DesktopNotifier::dbusNotificationClosed(uint id, uint reason)
{
    emit notificationClosed(id, reason);
}
