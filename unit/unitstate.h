#pragma once

#include "unit/callerinfo.h"
#include "unit/chatline.h"
#include "unit/linestatus.h"
#include "unit/refusallog.h"
#include "unit/surfacestatus.h"
#include "unit/systemstatus.h"

#include <QObject>

#include <array>

class Message;

// The last known picture of one unit, as one connection heard it: every
// line's status and caller information, the surfaces, the unit's own
// switches. The session owns it and feeds it every status message it
// dispatches; everything that follows the unit without drawing it (the call
// log, the attention code) listens to its typed changes instead of reading
// messages. A message a reader refuses changes nothing and is logged.
//
// The picture is reset whenever the session becomes ready (a new login asks
// for the full status again) or stops being ready.
class UnitState : public QObject
{
    Q_OBJECT

public:
    static constexpr unsigned MaxLines = LineStatus::MaxLines;

    explicit UnitState(QObject* parent = nullptr);
    ~UnitState() override;

    bool isReady() const { return m_ready; }
    const SystemStatus& system() const { return m_system; }
    unsigned numLines() const { return m_system.numLines; }
    // Unreported lines have the word LineStatus::Unreported. Index below MaxLines.
    const LineStatus& line(unsigned index) const { return m_lines[index]; }
    const CallerInfo& callerInfo(unsigned index) const { return m_info[index]; }
    bool hasCallerInfo(unsigned index) const { return m_infoKnown[index]; }
    const SurfaceStatus& surface(unsigned id) const { return m_surfaces[id]; }

    // For the diagnostics: the unit's address.
    void setPeer(const QString& peer) { m_refusals.setPeer(peer); }
    void setReady(bool ready);

    // One message each, in the order they came; false when the message was
    // refused (then nothing changed and a diagnostic was written).
    bool takeLineStatus(const Message& msg);
    bool takeCallerInfo(const Message& msg);
    bool takeSystemStatus(const Message& msg);
    bool takeSurfaceStatus(const Message& msg);
    void takeChat(const Message& msg);
    // One second more for every line in use.
    void takeTimerTick();

signals:
    // Everything was forgotten: the session became ready, or stopped being.
    void pictureReset(bool ready);
    // A line was reported; before is Unreported on its first report since
    // the reset, and may equal now.
    void lineStatusChanged(unsigned line, const LineStatus& before, const LineStatus& now);
    // A line's caller information was reported; local when it answers this
    // console's own edit.
    void callerInfoChanged(unsigned line, const CallerInfo& info, bool local);
    void systemStatusChanged(const SystemStatus& before, const SystemStatus& now);
    void surfaceChanged(const SurfaceStatus& surface);
    void chatReceived(const ChatLine& line);

private:
    void reset();
    bool refused(const Message& msg, Refusal why);

    bool m_ready = false;
    SystemStatus m_system;
    std::array<LineStatus, MaxLines> m_lines;
    std::array<CallerInfo, MaxLines> m_info;
    std::array<bool, MaxLines> m_infoKnown{};
    std::array<SurfaceStatus, SurfaceStatus::Count> m_surfaces;
    // Read into these, so that a frame costs no new allocation of its own.
    LineStatus m_incoming;
    CallerInfo m_incomingInfo;
    RefusalLog m_refusals;
};
