#include "console/historymarks.h"

#include "console/infoedit.h"
#include "console/lines.h"

#include <QDateTime>

#include <utility>

HistoryMarks::HistoryMarks(Lines& lines, InfoEdit& edit)
    : m_lines(lines)
    , m_edit(edit)
{
    qRegisterMetaType<HistoryAnswer>();
    m_settle.setSingleShot(true);
    m_settle.setInterval(SettleMs);
    connect(&m_settle, &QTimer::timeout, this, &HistoryMarks::ask);
    connect(&m_lines, &Lines::ancillaryChanged, this, [this](uint line, LineAttributes&, bool) { schedule(line); });
    connect(&m_lines, &Lines::lineSelected, this, &HistoryMarks::showTooltip);
}

HistoryMarks::~HistoryMarks() = default;

void HistoryMarks::setSource(CallerHistorySource* source)
{
    if (m_source)
        disconnect(m_source, nullptr, this, nullptr);
    m_source = source;
    m_asked.clear();
    m_answers.clear();
    if (source) {
        connect(source, &CallerHistorySource::callerFound, this, &HistoryMarks::answered);
        connect(source, &CallerHistorySource::changed, this, &HistoryMarks::scheduleAll);
        scheduleAll();
        return;
    }
    for (unsigned i = 0; i < Lines::MaxLines; ++i)
        if (Line* line = m_lines.line(i))
            line->setHistory(0, QString());
    showTooltip();
}

void HistoryMarks::schedule(unsigned line)
{
    if (!m_source || line >= Lines::MaxLines)
        return;
    m_due.insert(line);
    if (!m_settle.isActive())
        m_settle.start();
}

void HistoryMarks::scheduleAll()
{
    for (unsigned i = 0; i < Lines::MaxLines; ++i)
        schedule(i);
}

void HistoryMarks::ask()
{
    const QSet<unsigned> due = std::exchange(m_due, {});
    // In line order: the answers come back in the order asked.
    for (unsigned index = 0; index < Lines::MaxLines; ++index) {
        Line* line = m_lines.line(index);
        if (!due.contains(index) || !line || !m_source)
            continue;
        const LineAttributes& a = line->attributes();
        if (a.name.trimmed().isEmpty()) {
            m_answers.remove(index);
            line->setHistory(0, QString());
            if (index == m_lines.selectedLine())
                showTooltip();
            continue;
        }
        // One more than the tooltip lists: the call on the line now may be
        // among them.
        const int ticket = m_source->lookUpCaller(a.name, a.location, TooltipCalls + 1);
        m_asked.insert(ticket, {index, a.name, a.location});
    }
}

void HistoryMarks::answered(int ticket, const HistoryAnswer& answer)
{
    const auto it = m_asked.find(ticket);
    if (it == m_asked.end())
        return;
    const Asked asked = *it;
    m_asked.erase(it);
    Line* line = m_lines.line(asked.line);
    // The caller changed since: a newer question is on its way.
    if (!line || !answer.ok || line->attributes().name != asked.name || line->attributes().location != asked.location)
        return;
    m_answers.insert(asked.line, answer);
    line->setHistory(answer.earlierCalls, answer.flag);
    if (asked.line == m_lines.selectedLine())
        showTooltip();
}

QString HistoryMarks::summary(const HistoryAnswer& answer)
{
    if (answer.earlierCalls <= 0 && answer.flag.isEmpty())
        return QString();
    QStringList lines;
    lines << (answer.earlierCalls == 1 ? tr("Called once before")
                                       : tr("Called %1 times before").arg(answer.earlierCalls));
    int listed = 0;
    for (const HistoryCall& call : answer.recent) {
        if (call.inProgress || listed == TooltipCalls)
            continue;
        ++listed;
        const QString when
            = QDateTime::fromMSecsSinceEpoch(call.when, Qt::LocalTime).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
        lines << QStringLiteral("%1 \u2014 %2 \u2014 %3")
                     .arg(when, call.topic.isEmpty() ? tr("no topic") : call.topic, call.outcome);
    }
    if (!answer.flag.isEmpty())
        lines << tr("Flag: %1").arg(answer.flag);
    return lines.join(QLatin1Char('\n'));
}

QString HistoryMarks::selectedSummary() const
{
    if (!m_source || !m_lines.hasSelection())
        return QString();
    const auto it = m_answers.find(m_lines.selectedLine());
    return it == m_answers.end() ? QString() : summary(*it);
}

void HistoryMarks::showTooltip()
{
    const QString text = selectedSummary();
    if (m_edit.nameEditor().toolTip() != text)
        m_edit.nameEditor().setToolTip(text);
}
