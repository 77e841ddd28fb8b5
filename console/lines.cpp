#include "console/lines.h"

#include "console/line.h"
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

void LineState::setState(const QString& status_, bool locked_, bool override_, bool priority_,
                         uint32_t ring_num_, uint32_t time_, bool utility_, int32_t location_)
{
    status = status_;
    locked = locked_;
    override = override_;
    priority = priority_;
    ring_num = ring_num_;
    time = time_;
    utility = utility_;
    location = location_;
}

void LineAttributes::setAttributes(const QString& name_, const QString& location_, const QString& topic_,
                                   const QString& notes_, uint32_t genderidx_, const QString& gender_,
                                   uint32_t moodidx_, const QString& mood_)
{
    name = name_;
    location = location_;
    topic = topic_;
    notes = notes_;
    genderidx = genderidx_;
    gender = gender_;
    moodidx = moodidx_;
    mood = mood_;
}

Lines::Lines(QGraphicsScene& scene, IPCObject& session)
    : m_scene(scene)
    , m_session(session)
    , m_count(MaxLines)
    , m_lines{}
    , m_blinkCounter(0)
    , m_selected(0)
    , m_hasSelection(false)
{
    m_blinkTimer.setSingleShot(false);
    m_blinkTimer.setInterval(BlinkIntervalMs);
    connect(&m_blinkTimer, &QTimer::timeout, this, &Lines::timer);
    m_blinkTimer.start();

    for (int i = 0; i < MaxLines; ++i) {
        Line* line = new Line(m_scene, m_session, i);
        m_lines[size_t(i)] = line;
        connect(this, &Lines::blink, line, &Line::blink);
        connect(line, &Line::selected, this, &Lines::panelSelected);
    }

    connect(&m_session, &IPCObject::recvLineStatus, this, &Lines::ipcRecvLineStatus);
    connect(&m_session, &IPCObject::recvAncillaryData, this, &Lines::ipcRecvAncillaryData);
    connect(&m_session, &IPCObject::recvTimerTick, this, &Lines::ipcRecvTimerTick);
    connect(&m_session, &IPCObject::recvSystemStatus, this, &Lines::ipcRecvSystemStatus);
}

Lines::~Lines()
{
    m_blinkTimer.stop();
    for (Line*& line : m_lines) {
        delete line;
        line = nullptr;
    }
}

Line* Lines::line(unsigned index) const
{
    return index < MaxLines ? m_lines[index] : nullptr;
}

LineAttributes* Lines::attributes(unsigned index) const
{
    return index < MaxLines ? &m_lines[index]->attributes() : nullptr;
}

void Lines::changeAssociation(bool associated, Surface* surface)
{
    for (Line* line : m_lines)
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
                           p.get_bool("override", false), p.get_bool("priority", false),
                           p.get_uint("ring_num", 0), p.get_uint("time", 0), p.get_bool("utility", false),
                           p.get_int("location", 0));
}

void Lines::ipcRecvAncillaryData(const Message& msg)
{
    const Params& p = msg.params();
    unsigned id = 0;
    if (!readLineId(p, id) || id >= m_count)
        return;
    Line* line = m_lines[id];
    line->setAncillary(p.get_qstring("name", QString()), p.get_qstring("location", QString()),
                       p.get_qstring("topic", QString()), p.get_qstring("notes", QString()),
                       p.get_uint("genderidx", 0), p.get_qstring("gender", QString()), p.get_uint("moodidx", 0),
                       p.get_qstring("mood", QString()));
    emit ancillaryChanged(id, line->attributes(), p.get_bool("local", false));
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
        Line* line = m_lines[i];
        if (i < m_count) {
            line->setLarge(large);
            line->setVisible(true);
        } else {
            line->setVisible(false);
        }
    }
}
