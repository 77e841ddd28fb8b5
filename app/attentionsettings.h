#pragma once

#include <QObject>
#include <QSettings>
#include <QString>

// The user's choices about asking for attention: desktop notifications for
// all units and per unit, and the taskbar's urgency hint. Kept in the same
// settings store as the unit directory, each under its own key; a missing
// key means on. One object is shared by the main window and every console,
// so a change made in one menu shows in all of them at once.
class AttentionSettings : public QObject
{
    Q_OBJECT

public:
    explicit AttentionSettings(QObject* parent = nullptr);

    // The key of a unit's own switch, beside its saved window geometry.
    static QString unitKeyName(const QString& unitKey);

    bool notificationsEnabled() const;
    bool urgencyHintEnabled() const;
    bool unitNotificationsEnabled(const QString& unitKey) const;
    // Whether a notification for this unit may be shown at all.
    bool notifies(const QString& unitKey) const;

public slots:
    void setNotificationsEnabled(bool enabled);
    void setUrgencyHintEnabled(bool enabled);
    void setUnitNotificationsEnabled(const QString& unitKey, bool enabled);

signals:
    void changed();

private:
    void store(const QString& key, bool value);

    mutable QSettings m_settings;
};
