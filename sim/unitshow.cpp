#include "sim/unitshow.h"

#include "sim/unitsimulator.h"

#include <algorithm>

namespace {

CallerInfo callerInfo(const QString& name, const QString& location, const QString& topic, const QString& notes,
                      unsigned int genderidx, unsigned int moodidx)
{
    CallerInfo c;
    c.name = name;
    c.location = location;
    c.topic = topic;
    c.notes = notes;
    c.genderidx = genderidx < kGenderCount ? genderidx : 0;
    c.gender = QLatin1String(kGenderChoices[c.genderidx].sent);
    c.moodidx = moodidx < kMoodCount ? moodidx : 0;
    c.mood = QLatin1String(kMoodChoices[c.moodidx].sent);
    c.fields = 0xff;
    return c;
}

} // namespace

ShowStep ShowStep::ring(qint64 atMs, unsigned int line, const QString& name, const QString& location,
                        const QString& topic)
{
    ShowStep s;
    s.atMs = atMs;
    s.line = line;
    s.action = Ring;
    s.info = callerInfo(name, location, topic, QString(), 0, 0);
    return s;
}

ShowStep ShowStep::act(qint64 atMs, unsigned int line, Action action, bool flag)
{
    ShowStep s;
    s.atMs = atMs;
    s.line = line;
    s.action = action;
    s.flag = flag;
    return s;
}

ShowStep ShowStep::notes(qint64 atMs, unsigned int line, const QString& name, const QString& location,
                         const QString& topic, const QString& notes, unsigned int genderidx, unsigned int moodidx)
{
    ShowStep s;
    s.atMs = atMs;
    s.line = line;
    s.action = Info;
    s.info = callerInfo(name, location, topic, notes, genderidx, moodidx);
    return s;
}

UnitShow::UnitShow(UnitSimulator& unit, QObject* parent)
    : QObject(parent)
    , m_unit(unit)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &UnitShow::next);
}

void UnitShow::setSteps(std::vector<ShowStep> steps)
{
    std::stable_sort(steps.begin(), steps.end(), [](const ShowStep& a, const ShowStep& b) { return a.atMs < b.atMs; });
    m_steps = std::move(steps);
}

void UnitShow::apply(UnitSimulator& unit, const ShowStep& step)
{
    switch (step.action) {
    case ShowStep::Ring:
        unit.ring(step.line, step.info);
        break;
    case ShowStep::Answer:
        unit.setLineState(step.line, LineStatus::textOf(LineStatus::OnHandset), step.location);
        break;
    case ShowStep::Hold:
        unit.setLineState(step.line, LineStatus::textOf(LineStatus::OnHold));
        break;
    case ShowStep::ScreenedHold:
        unit.setLineState(step.line, LineStatus::textOf(LineStatus::OnScreenedHold));
        break;
    case ShowStep::Air:
        unit.setLineState(step.line, LineStatus::textOf(LineStatus::OnAir));
        break;
    case ShowStep::Lock:
        unit.setLineFlag(step.line, UnitCommands::Flag::Locked, step.flag);
        break;
    case ShowStep::Priority:
        unit.setLineFlag(step.line, UnitCommands::Flag::Priority, step.flag);
        break;
    case ShowStep::Info:
        unit.setCallerInfo(step.line, step.info);
        break;
    case ShowStep::Drop:
        unit.setLineState(step.line, LineStatus::textOf(LineStatus::Idle));
        break;
    }
}

void UnitShow::start(bool loop)
{
    m_loop = loop;
    m_index = 0;
    m_offset = 0;
    m_clock.start();
    next();
}

void UnitShow::stop()
{
    m_timer.stop();
}

void UnitShow::next()
{
    const qint64 now = m_clock.elapsed() - m_offset;
    while (m_index < m_steps.size() && m_steps[m_index].atMs <= now)
        apply(m_unit, m_steps[m_index++]);
    if (m_index == m_steps.size()) {
        emit finished();
        if (!m_loop || m_steps.empty())
            return;
        // A pause, then the same show again.
        m_offset += m_steps.back().atMs + 10000;
        m_index = 0;
    }
    m_timer.start(int(std::max<qint64>(0, m_steps[m_index].atMs + m_offset - m_clock.elapsed())));
}

std::vector<ShowStep> UnitShow::demo()
{
    using S = ShowStep;
    const qint64 s = 1000;
    // The first call rings a few seconds in, so a console started with the
    // unit sees the show from its beginning.
    return {
        S::ring(10 * s, 0, QStringLiteral("Margaret"), QStringLiteral("Harbour Street"),
                QStringLiteral("Bin collections")),
        S::act(14 * s, 0, S::Answer),
        S::notes(16 * s, 0, QStringLiteral("Margaret"), QStringLiteral("Harbour Street"),
                 QStringLiteral("Bin collections"), QStringLiteral("Third call this month, keep it short"), 2, 4),
        S::ring(15 * s, 1, QStringLiteral("Tomasz"), QStringLiteral("Northfield"), QStringLiteral("Football results")),
        S::ring(18 * s, 2, QStringLiteral("Priya"), QStringLiteral("Kingsbridge"), QStringLiteral("Allotment prizes")),
        S::act(19 * s, 0, S::Hold),
        S::act(22 * s, 1, S::Answer),
        S::notes(23 * s, 1, QStringLiteral("Tomasz"), QStringLiteral("Northfield"), QStringLiteral("Football results"),
                 QStringLiteral("Season ticket holder"), 1, 1),
        S::act(26 * s, 1, S::Priority, true),
        S::act(28 * s, 1, S::Hold),
        S::act(30 * s, 0, S::Air),
        S::act(31 * s, 0, S::Lock, true),
        S::ring(34 * s, 3, QStringLiteral("Dev"), QStringLiteral("The Mill"), QStringLiteral("Road works")),
        S::act(40 * s, 2, S::Drop),
        S::act(44 * s, 0, S::Drop),
        S::act(45 * s, 1, S::Air),
        S::act(48 * s, 3, S::Answer),
        S::notes(50 * s, 3, QStringLiteral("Dev"), QStringLiteral("The Mill"), QStringLiteral("Road works"),
                 QStringLiteral("Lives by the junction"), 1, 8),
        S::act(54 * s, 3, S::ScreenedHold),
        S::act(60 * s, 1, S::Drop),
        S::act(62 * s, 3, S::Air),
        S::act(72 * s, 3, S::Drop),
    };
}
