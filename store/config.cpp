#include "store/config.h"

#include <QByteArray>
#include <QFile>
#include <QSaveFile>
#include <QStringList>

#include <cstdio>
#include <unistd.h>

/*
 * File format: UTF-8 text, one entry per line, "key=value" and a "\n".
 * Nothing is trimmed or unescaped: blanks and a CR before the newline belong
 * to the key or the value. A line that does not split into exactly two parts
 * at "=" (no "=", or several) is skipped. The last occurrence of a key wins.
 */

const char* const Config::maskedValue = "********";

bool Config::load(QString fileName, QMap<QString, QString>& values)
{
    values.clear();

    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return false;

    while (!file.atEnd()) {
        // readLine() without a limit returns the whole line however long it is,
        // so a long value never spills into a bogus entry of its own.
        QByteArray raw = file.readLine();
        if (raw.endsWith('\n'))
            raw.chop(1);

        const QStringList parts = QString::fromUtf8(raw).split(QLatin1Char('='), Qt::KeepEmptyParts);
        if (parts.size() != 2)
            continue;

        values[parts[0]] = parts[1];

        // The echo goes to whatever collects the program's output; password
        // values must never end up there.
        const bool secret = parts[0].contains(QLatin1String("PASSWORD"), Qt::CaseInsensitive);
        const QByteArray shown = secret ? QByteArray(maskedValue) : parts[1].toUtf8();
        std::fprintf(stdout, "%s = %s\n", parts[0].toUtf8().constData(), shown.constData());
        std::fflush(stdout);
    }

    file.close();
    return true;
}

bool Config::save(QString fileName, QMap<QString, QString>& values)
{
    // QSaveFile writes a temporary file beside the target and renames it over
    // the target only on commit, so a crash or a full disk leaves the old file.
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        return false;

    for (auto it = values.constBegin(); it != values.constEnd(); ++it) {
        const QByteArray line = QStringLiteral("%1=%2\n").arg(it.key(), it.value()).toUtf8();
        if (file.write(line) != line.size()) {
            file.cancelWriting();
            return false;
        }
    }

    if (!file.flush() || ::fsync(file.handle()) != 0) {
        file.cancelWriting();
        return false;
    }
    if (!file.commit())
        return false;

    ::sync();
    return true;
}
