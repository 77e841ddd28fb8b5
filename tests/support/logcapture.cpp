#include "tests/support/logcapture.h"

namespace testsupport {

namespace {
LogCapture* g_active = nullptr;
}

LogCapture::LogCapture(Forward forward)
    : m_forward(forward)
    , m_outer(g_active)
{
    g_active = this;
    m_previous = qInstallMessageHandler(&LogCapture::handler);
}

LogCapture::~LogCapture()
{
    qInstallMessageHandler(m_previous);
    g_active = m_outer;
}

QString LogCapture::text() const
{
    QStringList all;
    for (const auto& line : m_lines)
        all << line.second;
    return all.join(QLatin1Char('\n'));
}

QStringList LogCapture::lines(QtMsgType type) const
{
    QStringList out;
    for (const auto& line : m_lines) {
        if (line.first == type)
            out << line.second;
    }
    return out;
}

void LogCapture::handler(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    LogCapture* capture = g_active;
    if (!capture)
        return;
    capture->m_lines.append({type, text});
    if (capture->m_forward == Forward::Others && type != QtDebugMsg && capture->m_previous)
        capture->m_previous(type, context, text);
}

} // namespace testsupport
