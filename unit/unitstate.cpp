#include "unit/unitstate.h"

#include "message/message.h"

#include <utility>

UnitState::UnitState(QObject* parent)
    : QObject(parent)
{
    reset();
}

UnitState::~UnitState() = default;

void UnitState::reset()
{
    m_system = SystemStatus();
    m_lines.fill(LineStatus());
    m_info.fill(CallerInfo());
    m_infoKnown.fill(false);
    for (unsigned id = 0; id < SurfaceStatus::Count; ++id) {
        m_surfaces[id] = SurfaceStatus();
        m_surfaces[id].id = id;
    }
}

void UnitState::setReady(bool ready)
{
    if (ready == m_ready)
        return;
    m_ready = ready;
    reset();
    emit pictureReset(ready);
}

bool UnitState::refused(const Message& msg, Refusal why)
{
    m_refusals.refused(msg, why);
    return false;
}

bool UnitState::takeLineStatus(const Message& msg)
{
    unsigned index = 0;
    const Refusal why = LineStatus::read(msg, m_system.numLines, index, m_incoming);
    if (why != Refusal::None)
        return refused(msg, why);
    std::swap(m_lines[index], m_incoming);
    emit lineStatusChanged(index, m_incoming, m_lines[index]);
    return true;
}

bool UnitState::takeCallerInfo(const Message& msg)
{
    unsigned index = 0;
    bool local = false;
    const Refusal why = CallerInfo::read(msg, m_system.numLines, index, m_incomingInfo, local);
    if (why != Refusal::None)
        return refused(msg, why);
    std::swap(m_info[index], m_incomingInfo);
    m_infoKnown[index] = true;
    emit callerInfoChanged(index, m_info[index], local);
    return true;
}

bool UnitState::takeSystemStatus(const Message& msg)
{
    const SystemStatus before = m_system;
    m_system = SystemStatus::read(msg);
    emit systemStatusChanged(before, m_system);
    return true;
}

bool UnitState::takeSurfaceStatus(const Message& msg)
{
    SurfaceStatus s;
    const Refusal why = SurfaceStatus::read(msg, SurfaceStatus::Count, s);
    if (why != Refusal::None)
        return refused(msg, why);
    m_surfaces[s.id] = s;
    emit surfaceChanged(s);
    return true;
}

void UnitState::takeChat(const Message& msg)
{
    emit chatReceived(ChatLine::read(msg));
}

void UnitState::takeTimerTick()
{
    for (unsigned i = 0; i < m_system.numLines; ++i)
        ++m_lines[i].time;
}
