#pragma once

#include "attention/attentionswitches.h"
#include "support/qtcompat.h"

#include <QString>

// The attention switches as the user left them, kept in the same settings
// store as the unit directory, each under its own key; a missing key means
// on. Owned by the main window.
class AttentionSettings : public AttentionSwitches
{
    Q_OBJECT

public:
    explicit AttentionSettings(QObject* parent = nullptr);

    // The key of a unit's own switch, beside its saved window geometry.
    static QString unitKeyName(const QString& unitKey);

    bool notificationsEnabled() const override;
    bool urgencyHintEnabled() const override;
    bool unitNotificationsEnabled(const QString& unitKey) const override;

public slots:
    void setNotificationsEnabled(bool enabled) override;
    void setUrgencyHintEnabled(bool enabled) override;
    void setUnitNotificationsEnabled(const QString& unitKey, bool enabled) override;

private:
    void store(const QString& key, bool value);

    mutable Utf8Settings m_settings;
};
