#pragma once

// A strict reader of comma-separated values as RFC 4180 writes them, kept
// apart from the program's writer so the tests do not check the writer
// against itself: records end with CRLF (the last one too), a field is
// either plain (no comma, quote, CR or LF) or quoted with inner quotes
// doubled. Anything else is an error.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

struct CsvReadResult
{
    bool ok = false;
    QString error;
    QList<QStringList> records;
};

inline CsvReadResult readCsv(const QByteArray& bytes)
{
    CsvReadResult result;
    const QString text = QString::fromUtf8(bytes);
    if (text.toUtf8() != bytes) {
        result.error = QStringLiteral("not valid UTF-8");
        return result;
    }
    QStringList record;
    QString field;
    int i = 0;
    const int n = text.size();
    while (i < n) {
        if (text.at(i) == QLatin1Char('"')) {
            ++i;
            for (;;) {
                if (i >= n) {
                    result.error = QStringLiteral("unterminated quoted field");
                    return result;
                }
                if (text.at(i) == QLatin1Char('"')) {
                    if (i + 1 < n && text.at(i + 1) == QLatin1Char('"')) {
                        field += QLatin1Char('"');
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += text.at(i++);
            }
        } else {
            while (i < n && text.at(i) != QLatin1Char(',') && text.at(i) != QLatin1Char('\r')) {
                if (text.at(i) == QLatin1Char('"') || text.at(i) == QLatin1Char('\n')) {
                    result.error = QStringLiteral("quote or bare line feed in a plain field at %1").arg(i);
                    return result;
                }
                field += text.at(i++);
            }
        }
        record << field;
        field.clear();
        if (i < n && text.at(i) == QLatin1Char(',')) {
            ++i;
            if (i == n) {
                result.error = QStringLiteral("record cut after a comma");
                return result;
            }
            continue;
        }
        if (i + 1 < n && text.at(i) == QLatin1Char('\r') && text.at(i + 1) == QLatin1Char('\n')) {
            i += 2;
            result.records << record;
            record.clear();
            continue;
        }
        result.error = QStringLiteral("a record does not end with CRLF at %1").arg(i);
        return result;
    }
    if (!record.isEmpty()) {
        result.error = QStringLiteral("the last record does not end with CRLF");
        return result;
    }
    for (const QStringList& r : qAsConst(result.records)) {
        if (r.size() != result.records.first().size()) {
            result.error = QStringLiteral("records of different lengths");
            return result;
        }
    }
    result.ok = true;
    return result;
}
