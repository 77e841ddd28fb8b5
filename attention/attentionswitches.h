#pragma once

#include <QObject>
#include <QString>

// The user's switches for asking for attention: desktop notifications for
// all units and per unit, and the taskbar's urgency hint. One object is
// shared by the main window and every console, so a change made in one menu
// shows in all of them at once; where the choices are kept is up to the
// program (AttentionSettings keeps them with the unit directory).
class AttentionSwitches : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    virtual bool notificationsEnabled() const = 0;
    virtual bool urgencyHintEnabled() const = 0;
    virtual bool unitNotificationsEnabled(const QString& unitKey) const = 0;
    // Whether a notification for this unit may be shown at all.
    bool notifies(const QString& unitKey) const { return notificationsEnabled() && unitNotificationsEnabled(unitKey); }

public slots:
    virtual void setNotificationsEnabled(bool enabled) = 0;
    virtual void setUrgencyHintEnabled(bool enabled) = 0;
    virtual void setUnitNotificationsEnabled(const QString& unitKey, bool enabled) = 0;

signals:
    void changed();
};
