#include "app/attentionsettings.h"

namespace {
const QString kNotificationsKey = QStringLiteral("attention/notifications");
const QString kUrgencyHintKey = QStringLiteral("attention/urgencyHint");
} // namespace

AttentionSettings::AttentionSettings(QObject* parent)
    : AttentionSwitches(parent)
    , m_settings(QStringLiteral("Ardeno"), QStringLiteral("MIRT Orvel Desktop"))
{
}

QString AttentionSettings::unitKeyName(const QString& unitKey)
{
    return QStringLiteral("%1/notifications").arg(unitKey);
}

bool AttentionSettings::notificationsEnabled() const
{
    return m_settings.value(kNotificationsKey, true).toBool();
}

bool AttentionSettings::urgencyHintEnabled() const
{
    return m_settings.value(kUrgencyHintKey, true).toBool();
}

bool AttentionSettings::unitNotificationsEnabled(const QString& unitKey) const
{
    return m_settings.value(unitKeyName(unitKey), true).toBool();
}

void AttentionSettings::setNotificationsEnabled(bool enabled)
{
    store(kNotificationsKey, enabled);
}

void AttentionSettings::setUrgencyHintEnabled(bool enabled)
{
    store(kUrgencyHintKey, enabled);
}

void AttentionSettings::setUnitNotificationsEnabled(const QString& unitKey, bool enabled)
{
    store(unitKeyName(unitKey), enabled);
}

void AttentionSettings::store(const QString& key, bool value)
{
    if (m_settings.contains(key) && m_settings.value(key).toBool() == value)
        return;
    m_settings.setValue(key, value);
    // A choice is written at once: the directory itself is only saved when
    // the program ends, and a crash must not bring notifications back.
    m_settings.sync();
    emit changed();
}
