#include "app/consoleoptions.h"

namespace {
const QString kHighContrastKey = QStringLiteral("console/highContrast");
} // namespace

ConsoleOptions::ConsoleOptions(QObject* parent)
    : QObject(parent)
    , m_settings(QStringLiteral("Ardeno"), QStringLiteral("MIRT Orvel Desktop"))
    , m_highContrast(m_settings.value(kHighContrastKey, false).toBool())
{
}

void ConsoleOptions::setHighContrast(bool on)
{
    // Written at once, as the attention switches are: the directory itself
    // is only saved when the program ends.
    m_settings.setValue(kHighContrastKey, on);
    m_settings.sync();
    if (on == m_highContrast)
        return;
    m_highContrast = on;
    emit changed();
}

void ConsoleOptions::useHighContrast()
{
    if (m_highContrast)
        return;
    m_highContrast = true;
    emit changed();
}
