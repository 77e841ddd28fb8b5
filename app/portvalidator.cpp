#include "app/portvalidator.h"

PortValidator::PortValidator(QObject* parent)
    : QValidator(parent)
{
}

QValidator::State PortValidator::validate(QString& input, int&) const
{
    if (input.isEmpty())
        return Intermediate;

    // Digits only: toInt() alone would let signs and blanks through.
    for (const QChar c : qAsConst(input)) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return Invalid;
    }
    bool ok = false;
    const int port = input.toInt(&ok, 10);
    return ok && port >= 1 && port <= 65535 ? Acceptable : Invalid;
}
