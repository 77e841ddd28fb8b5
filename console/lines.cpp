#include "console/lines.h"

#include "ipc/ipcobject.h"
#include "unit/systemstatus.h"

Lines::Lines(QGraphicsScene& scene, IPCObject& session)
    : m_scene(scene)
    , m_session(session)
    , m_count(MaxLines)
    , m_blinkClock(BlinkClock::shared())
    , m_selected(0)
    , m_hasSelection(false)
{
    // Every console on the one clock: ten consoles wake the program once
    // per blink, not ten times, and their lamps change together.
    connect(m_blinkClock.get(), &BlinkClock::blink, this, &Lines::blink);

    for (int i = 0; i < MaxLines; ++i) {
        m_lines[size_t(i)] = std::make_unique<Line>(m_scene, m_session, i);
        Line* line = m_lines[size_t(i)].get();
        connect(this, &Lines::blink, line, &Line::blink);
        connect(line, &Line::selected, this, &Lines::panelSelected);
    }

    connect(&m_session, &IPCObject::recvLineStatus, this, &Lines::ipcRecvLineStatus);
    connect(&m_session, &IPCObject::recvAncillaryData, this, &Lines::ipcRecvAncillaryData);
    connect(&m_session, &IPCObject::recvTimerTick, this, &Lines::ipcRecvTimerTick);
    connect(&m_session, &IPCObject::recvSystemStatus, this, &Lines::ipcRecvSystemStatus);
}

// The members put things in order: the lines, with their panels and buttons,
// leave the scene before the blink clock stops.
Lines::~Lines() = default;

Line* Lines::line(unsigned index) const
{
    return index < MaxLines ? m_lines[index].get() : nullptr;
}

QVector<QRectF> Lines::opaqueAreas() const
{
    QVector<QRectF> areas;
    for (const auto& line : m_lines) {
        const LinePanel& panel = line->panel();
        if (!panel.isVisible() || panel.effectiveOpacity() < 1.0)
            continue;
        areas << panel.mapRectToScene(QRectF(panel.solidRect()));
    }
    return areas;
}

LineAttributes* Lines::attributes(unsigned index) const
{
    return index < MaxLines ? &m_lines[index]->attributes() : nullptr;
}

void Lines::changeAssociation(bool associated, Surface* surface)
{
    for (const auto& line : m_lines)
        line->setAssociatedSurface(associated, surface);
}

void Lines::timer()
{
    m_blinkClock->advance();
}

void Lines::panelSelected(uint line)
{
    if (line >= MaxLines)
        return;
    m_lines[m_selected]->setSelected(false);
    m_selected = line;
    m_hasSelection = true;
    m_lines[m_selected]->setSelected(true);
    emit lineSelected(line, m_lines[m_selected]->attributes());
}

void Lines::ipcRecvLineStatus(const Message& msg)
{
    unsigned id = 0;
    LineStatus s;
    if (LineStatus::read(msg, m_count, id, s) != Refusal::None)
        return;
    m_lines[id]->setStatus(s.status, s.locked, s.override, s.priority, s.ringNum, s.time, s.utility, s.location);
}

void Lines::ipcRecvAncillaryData(const Message& msg)
{
    unsigned id = 0;
    CallerInfo a;
    bool local = false;
    if (CallerInfo::read(msg, m_count, id, a, local) != Refusal::None)
        return;
    Line& line = *m_lines[id];
    line.setAncillary(a.name, a.location, a.topic, a.notes, a.genderidx, a.gender, a.moodidx, a.mood);
    emit ancillaryChanged(id, line.attributes(), local);
}

void Lines::ipcRecvTimerTick(const Message&)
{
    const RepaintBatch batch;
    for (unsigned i = 0; i < m_count; ++i)
        m_lines[i]->tick();
}

void Lines::ipcRecvSystemStatus(const Message& msg)
{
    m_count = SystemStatus::read(msg).numLines;
    // Every count puts the whole picture right again, so a unit that goes
    // from six lines back to twelve (or from four to eight) shows the lines
    // it has, at the size that goes with the count.
    const bool large = m_count == 6;
    for (unsigned i = 0; i < MaxLines; ++i) {
        Line* line = m_lines[i].get();
        if (i < m_count) {
            line->setLarge(large);
            line->setVisible(true);
        } else {
            line->setVisible(false);
        }
    }
}
