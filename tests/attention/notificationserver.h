#pragma once

// A private session bus for one test run, and a small notification service
// on it that records every call it is given and can click its own
// notifications. Both are real: the program under test talks to them over
// the bus exactly as it would to a desktop's service.

#include <QDBusConnection>
#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QObject>
#include <QProcess>
#include <QSet>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantMap>

class PrivateBus
{
public:
    // Starts dbus-daemon with a configuration of its own (no service
    // files, so nothing on this machine is started on demand).
    bool start()
    {
        const QString config = m_dir.filePath(QStringLiteral("bus.conf"));
        QFile file(config);
        if (!m_dir.isValid() || !file.open(QIODevice::WriteOnly))
            return false;
        file.write(QStringLiteral("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                                  " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                                  "<busconfig><type>session</type><listen>unix:dir=%1</listen>"
                                  "<auth>EXTERNAL</auth><policy context=\"default\">"
                                  "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                                  "<allow own=\"*\"/></policy></busconfig>\n")
                       .arg(m_dir.path())
                       .toUtf8());
        file.close();
        m_daemon.start(
            QStringLiteral("dbus-daemon"),
            {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"), QStringLiteral("--print-address")});
        if (!m_daemon.waitForStarted(10000))
            return false;
        while (!m_daemon.canReadLine()) {
            if (!m_daemon.waitForReadyRead(10000))
                return false;
        }
        m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        return !m_address.isEmpty();
    }

    ~PrivateBus()
    {
        if (m_daemon.state() == QProcess::NotRunning)
            return;
        m_daemon.terminate();
        if (!m_daemon.waitForFinished(5000))
            m_daemon.kill();
        m_daemon.waitForFinished(5000);
    }

    QString address() const { return m_address; }
    QString error() { return m_daemon.errorString() + QString::fromUtf8(m_daemon.readAllStandardError()); }

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
    QString m_address;
};

class NotificationServer : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Call
    {
        QString appName;
        uint replacesId = 0;
        QString summary;
        QString body;
        QStringList actions;
        QVariantMap hints;
        uint id = 0;
        qint64 atMs = 0;
    };

    // Takes the service's name on its own connection to the bus.
    bool start(const QString& address, const QString& connectionName, const QStringList& capabilities)
    {
        m_capabilities = capabilities;
        m_bus = QDBusConnection::connectToBus(address, connectionName);
        m_clock.start();
        return m_bus.isConnected()
            && m_bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), this,
                                    QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals)
            && m_bus.registerService(QStringLiteral("org.freedesktop.Notifications"));
    }

    ~NotificationServer() override
    {
        m_bus.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
        m_bus.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
        QDBusConnection::disconnectFromBus(m_bus.name());
    }

    // What a click on the notification does on a desktop: the action, and
    // the notification goes.
    void click(uint id)
    {
        emit ActionInvoked(id, QStringLiteral("default"));
        m_visible.remove(id);
        emit NotificationClosed(id, 2);
    }

    // A button of the notification's own.
    void invoke(uint id, const QString& action) { emit ActionInvoked(id, action); }

    QList<Call> calls;
    QList<uint> closed;
    const QSet<uint>& visible() const { return m_visible; }

public slots:
    uint Notify(const QString& appName, uint replacesId, const QString&, const QString& summary, const QString& body,
                const QStringList& actions, const QVariantMap& hints, int)
    {
        const uint id = m_visible.contains(replacesId) ? replacesId : ++m_lastId;
        m_visible.insert(id);
        calls.append({appName, replacesId, summary, body, actions, hints, id, m_clock.elapsed()});
        return id;
    }

    void CloseNotification(uint id)
    {
        closed.append(id);
        if (m_visible.remove(id))
            emit NotificationClosed(id, 3);
    }

    QStringList GetCapabilities() { return m_capabilities; }

signals:
    void ActionInvoked(uint id, const QString& actionKey);
    void NotificationClosed(uint id, uint reason);

private:
    QDBusConnection m_bus{QString()};
    QStringList m_capabilities;
    QSet<uint> m_visible;
    uint m_lastId = 0;
    QElapsedTimer m_clock;
};
