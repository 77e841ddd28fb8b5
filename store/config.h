#pragma once

#include <QMap>
#include <QObject>
#include <QString>

// Reads and writes the plain key=value files that hold a unit's network and
// application settings. Stateless; the configuration dialogs create one each.
class Config : public QObject
{
    Q_OBJECT

public:
    Config() = default;

    // Clears values, then fills it from fileName. False only when the file
    // cannot be opened. Every entry read is echoed to standard output, with the
    // value of any password key masked.
    bool load(QString fileName, QMap<QString, QString>& values);

    // Replaces fileName with one "key=value\n" line per entry, in key order.
    // The old file stays intact unless the new one was written and synced in
    // full; false when anything fails.
    bool save(QString fileName, QMap<QString, QString>& values);

    // The text printed in place of a password value when a file is echoed.
    static const char* const maskedValue;
};
