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
 *
 * A file written by other tools may hold bytes that are not UTF-8 (a Latin-1
 * name, say). Such a byte b is read as the lone surrogate U+DC00 + b, which
 * no valid UTF-8 text can produce, and written back as the byte itself, so a
 * key or value that nobody changed goes back to the file byte for byte.
 */

namespace {

constexpr ushort kEscapeBase = 0xDC00;

// Length of the well-formed UTF-8 sequence at the start of s (at most n
// bytes), or 0 when there is none: no overlong forms, no surrogates, nothing
// beyond U+10FFFF.
int utf8Sequence(const uchar* s, int n)
{
    const uchar b = s[0];
    if (b < 0x80)
        return 1;
    int length = 0;
    uchar low = 0x80, high = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) {
        length = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
        length = 3;
        if (b == 0xE0)
            low = 0xA0;
        else if (b == 0xED)
            high = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        length = 4;
        if (b == 0xF0)
            low = 0x90;
        else if (b == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    if (n < length || s[1] < low || s[1] > high)
        return 0;
    for (int i = 2; i < length; ++i) {
        if (s[i] < 0x80 || s[i] > 0xBF)
            return 0;
    }
    return length;
}

QString decode(const QByteArray& bytes)
{
    QString text;
    text.reserve(bytes.size());
    const uchar* s = reinterpret_cast<const uchar*>(bytes.constData());
    const int n = bytes.size();
    for (int i = 0; i < n;) {
        const int length = utf8Sequence(s + i, n - i);
        if (length == 0) {
            text.append(QChar(ushort(kEscapeBase + s[i])));
            ++i;
        } else {
            text.append(QString::fromUtf8(reinterpret_cast<const char*>(s + i), length));
            i += length;
        }
    }
    return text;
}

QByteArray encode(const QString& text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    const int n = text.size();
    int run = 0; // start of the text not yet encoded
    for (int i = 0; i < n; ++i) {
        const ushort c = text.at(i).unicode();
        const bool escaped = c >= kEscapeBase + 0x80 && c <= kEscapeBase + 0xFF
            && (i == 0 || !QChar::isHighSurrogate(text.at(i - 1).unicode()));
        if (!escaped)
            continue;
        bytes += QStringView(text).mid(run, i - run).toUtf8();
        bytes += char(c - kEscapeBase);
        run = i + 1;
    }
    bytes += QStringView(text).mid(run).toUtf8();
    return bytes;
}

} // namespace

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

        const QStringList parts = decode(raw).split(QLatin1Char('='), Qt::KeepEmptyParts);
        if (parts.size() != 2)
            continue;

        values[parts[0]] = parts[1];

        // The echo goes to whatever collects the program's output; password
        // values must never end up there.
        const bool secret = parts[0].contains(QLatin1String("PASSWORD"), Qt::CaseInsensitive);
        const QByteArray shown = secret ? QByteArray(maskedValue) : encode(parts[1]);
        std::fprintf(stdout, "%s = %s\n", encode(parts[0]).constData(), shown.constData());
        std::fflush(stdout);
    }

    file.close();
    return true;
}

bool Config::save(QString fileName, QMap<QString, QString>& values)
{
    // QSaveFile writes a temporary file beside the target and renames it over
    // the target only on commit, so a crash or a full disk leaves the old file.
    // Where the directory may not be written but the file may, the file is
    // written in place, as a plain open for writing would do: a unit's
    // configuration folder is not always the user's to create files in.
    QSaveFile file(fileName);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        return false;

    for (auto it = values.constBegin(); it != values.constEnd(); ++it) {
        const QByteArray line = encode(it.key()) + '=' + encode(it.value()) + '\n';
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
