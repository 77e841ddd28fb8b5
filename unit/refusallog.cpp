#include "unit/refusallog.h"

#include "message/message.h"

Q_LOGGING_CATEGORY(lcUnit, "mirt.unit")

namespace {

// A value from the wire may be a whole frame long.
constexpr int kMaxShownValue = 40;

} // namespace

const char* RefusalLog::reason(Refusal why)
{
    switch (why) {
    case Refusal::None:
        break;
    case Refusal::NotALine:
        return "names no line";
    case Refusal::LineOutOfRange:
        return "is beyond the unit's lines";
    case Refusal::NotASurface:
        return "names no surface";
    }
    return "accepted";
}

void RefusalLog::refused(const Message& msg, Refusal why)
{
    if (!lcUnit().isDebugEnabled())
        return;
    if (!m_window.isValid() || m_window.elapsed() >= WindowMs) {
        m_window.start();
        m_written = 0;
    }
    if (m_written >= Burst) {
        ++m_leftOut;
        return;
    }
    ++m_written;
    const char* field = why == Refusal::NotASurface ? "id" : "line_id";
    const variant* value = msg.params().get_variant(field);
    QString text = value ? QString::fromStdString(value->to_string()) : QString();
    if (text.size() > kMaxShownValue)
        text = text.left(kMaxShownValue) + QStringLiteral("...");
    QString line = QStringLiteral("[%1] %2 refused: %3 \"%4\" %5")
                       .arg(m_peer, QString::fromStdString(msg.get_name()), QLatin1String(field), text,
                            QLatin1String(reason(why)));
    if (m_leftOut) {
        line += QStringLiteral(" (%1 more refused, not shown)").arg(m_leftOut);
        m_leftOut = 0;
    }
    qCDebug(lcUnit).noquote() << line;
}
