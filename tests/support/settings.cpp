#include "tests/support/settings.h"

#include <QByteArray>
#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdlib>
#include <memory>

namespace testsupport {

QString isolateSettings()
{
    static std::unique_ptr<QTemporaryDir> home;
    if (home)
        return home->path();
    home = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/mirt-test-XXXXXX"));
    if (!home->isValid())
        std::abort(); // nowhere private to write: running on would touch the user's files
    const QString root = home->path();

    // Test mode alone would share ~/.qttest between tests; the folders it
    // uses hang off HOME, which is private from here on.
    const struct
    {
        const char* name;
        const char* folder;
    } variables[] = {
        {"HOME", ""},
        {"XDG_CONFIG_HOME", "/config"},
        {"XDG_DATA_HOME", "/data"},
        {"XDG_CACHE_HOME", "/cache"},
    };
    for (const auto& v : variables) {
        const QString path = root + QLatin1String(v.folder);
        QDir().mkpath(path);
        qputenv(v.name, QFile::encodeName(path));
    }
    QStandardPaths::setTestModeEnabled(true);
    for (QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat}) {
        QSettings::setPath(format, QSettings::UserScope, root + QStringLiteral("/settings"));
        QSettings::setPath(format, QSettings::SystemScope, root + QStringLiteral("/system-settings"));
    }
    return root;
}

Utf8Settings settingsStore()
{
    return Utf8Settings(QStringLiteral("Ardeno"), QStringLiteral("MIRT Orvel Desktop"));
}

} // namespace testsupport
