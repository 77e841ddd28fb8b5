#include "console/lines.h"

#include "ipc/ipcobject.h"
#include "message/message.h"

#include <algorithm>

namespace {

// The line a message is about. A missing "line_id" means line 0, but one
// that is present and not a plain unsigned number ("abc", "-1") names no line
// at all, rather than falling back to line 0.
bool readLineId(const Params& p, unsigned& id)
{
    bool ok = false;
    id = p.get_qstring("line_id", QStringLiteral("0")).toUInt(&ok);
    return ok;
}

} // namespace

Lines::Lines(QGraphicsScene& scene, IPCObject& session)
    : m_scene(scene)
    , m_session(session)
    , m_count(MaxLines)
    , m_blinkCounter(0)
    , m_selected(0)
    , m_hasSelection(false)
{
    m_blinkTimer.setSingleShot(false);
    m_blinkTimer.setInterval(BlinkIntervalMs);
    connect(&m_blinkTimer, &QTimer::timeout, this, &Lines::timer);
    m_blinkTimer.start();

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
    emit blink(int(m_blinkCounter));
    ++m_blinkCounter;
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
    const Params& p = msg.params();
    unsigned id = 0;
    if (!readLineId(p, id) || id >= m_count)
        return;
    m_lines[id]->setStatus(p.get_qstring("status", QString()), p.get_bool("locked", false),
                           p.get_bool("override", false), p.get_bool("priority", false), p.get_uint("ring_num", 0),
                           p.get_uint("time", 0), p.get_bool("utility", false), p.get_int("location", 0));
}

void Lines::ipcRecvAncillaryData(const Message& msg)
{
    const Params& p = msg.params();
    unsigned id = 0;
    if (!readLineId(p, id) || id >= m_count)
        return;
    Line& line = *m_lines[id];
    const LineAttributes a = LineAttributes::fromParams(p);
    line.setAncillary(a.name, a.location, a.topic, a.notes, a.genderidx, a.gender, a.moodidx, a.mood);
    emit ancillaryChanged(id, line.attributes(), p.get_bool("local", false));
}

void Lines::ipcRecvTimerTick(const Message&)
{
    for (unsigned i = 0; i < m_count; ++i)
        m_lines[i]->tick();
}

void Lines::ipcRecvSystemStatus(const Message& msg)
{
    const unsigned requested = msg.params().get_uint("num_lines", 0);
    m_count = std::min<unsigned>(requested, MaxLines);
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
