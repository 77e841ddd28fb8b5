#include "console/line.h"

#include "console/surface.h"
#include "ipc/ipcobject.h"

#include <QGraphicsScene>

namespace {

using State = ColorButton::ButtonStates;
using Color = ColorButton::ButtonColors;

struct Look
{
    State state;
    Color first;
    Color second;
};

constexpr Look kUnlit{ColorButton::Steady, ColorButton::Unlit, ColorButton::Unlit};
constexpr Look kSlowGreen{ColorButton::BlinkSlow, ColorButton::Green, ColorButton::Unlit};
constexpr Look kFastGreen{ColorButton::BlinkFast, ColorButton::Green, ColorButton::Unlit};
constexpr Look kYellow{ColorButton::Steady, ColorButton::Yellow, ColorButton::Unlit};
constexpr Look kRed{ColorButton::Steady, ColorButton::Red, ColorButton::Unlit};

// How ANSWER, HOLD and AIR are decided for a status word.
enum class Rule { Fixed, Handset, Hold, Air };

// One row per status word the unit sends, in the order of LineStatus::Word.
// A null text means the panel shows the caller; "clear" asks the unit to
// reset the caller information, because every state outside a connected
// call ends the previous caller's record.
struct StatusRow
{
    Rule answerRule;
    Look answer;
    Rule holdRule;
    Rule airRule;
    Look air;
    const char* text;
    LinePanel::TextPanelColor color;
    bool clear;
};

constexpr Rule kFixed = Rule::Fixed;

const StatusRow kStatusTable[] = {
    {kFixed, kUnlit, kFixed, kFixed, kUnlit, "Idle", LinePanel::Plain, true},
    {kFixed, kUnlit, kFixed, kFixed, kUnlit, "Line In Use", LinePanel::Unavailable, true},
    {kFixed, kUnlit, kFixed, kFixed, kUnlit, "Line Busied Out", LinePanel::Unavailable, true},
    {kFixed, kSlowGreen, kFixed, kFixed, kUnlit, "Ringing", LinePanel::Green, true},
    {kFixed, kUnlit, Rule::Hold, kFixed, kUnlit, nullptr, LinePanel::Yellow, false},
    {kFixed, kUnlit, Rule::Hold, kFixed, kUnlit, nullptr, LinePanel::Yellow, false},
    {kFixed, kUnlit, Rule::Hold, kFixed, kUnlit, "On Hold (Remote)", LinePanel::Yellow, true},
    {kFixed, kUnlit, Rule::Hold, kFixed, kUnlit, "On Screened Hold (Remote)", LinePanel::Yellow, true},
    {kFixed, kFastGreen, kFixed, kFixed, kUnlit, "Auto Attendant", LinePanel::Green, true},
    {kFixed, kFastGreen, kFixed, kFixed, kUnlit, "Auto Attendant (Remote)", LinePanel::Green, true},
    {Rule::Handset, kUnlit, kFixed, kFixed, kUnlit, nullptr, LinePanel::Green, false},
    {kFixed, kYellow, kFixed, kFixed, kUnlit, "On Handset (Remote)", LinePanel::Green, true},
    // The air rule sets the AIR look and the text colour from the air channel.
    {kFixed, kUnlit, kFixed, Rule::Air, kUnlit, nullptr, LinePanel::Plain, false},
    {kFixed, kUnlit, kFixed, kFixed, kRed, "On Air (Remote)", LinePanel::Red, false},
    {kFixed, kUnlit, kFixed, kFixed, kUnlit, "Busied Out (Remote)", LinePanel::Unavailable, true},
    {kFixed, kUnlit, kFixed, kFixed, kUnlit, "Not Installed", LinePanel::Unavailable, true},
};
static_assert(sizeof(kStatusTable) / sizeof(kStatusTable[0]) == LineStatus::WordCount, "one row per status word");

void apply(ColorButton& button, const Look& look)
{
    button.setLook(look.state, look.first, look.second);
}

} // namespace

void LineState::setState(const QString& status_, bool locked_, bool override_, bool priority_, uint32_t ring_num_,
                         uint32_t time_, bool utility_, int32_t location_)
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

Line::Line(QGraphicsScene& scene, IPCObject& session, int index)
    : m_scene(scene)
    , m_session(session)
    , m_large(false)
    , m_span(1)
    , m_index(index)
    , m_panel(0, 0)
    , m_answer(true, 0, 0)
    , m_hold(true, 0, 0)
    , m_air(true, 0, 0)
    , m_drop(0, 0)
    , m_associated(false)
    , m_surface(nullptr)
{
    move();
    m_panel.setLineNum(unsigned(index + 1));

    m_scene.addItem(&m_panel);
    m_answer.setLabel(QStringLiteral("ANSWER"));
    m_hold.setLabel(QStringLiteral("HOLD"));
    m_air.setLabel(QStringLiteral("AIR"));
    for (QGraphicsItem* item : {static_cast<QGraphicsItem*>(&m_answer), static_cast<QGraphicsItem*>(&m_hold),
                                static_cast<QGraphicsItem*>(&m_air), static_cast<QGraphicsItem*>(&m_drop)}) {
        item->setZValue(1.0);
        m_scene.addItem(item);
    }

    connect(&m_answer, &SurfaceButton::buttonPressed, this, &Line::answerPressed);
    connect(&m_hold, &SurfaceButton::buttonPressed, this, &Line::holdPressed);
    connect(&m_air, &SurfaceButton::buttonPressed, this, &Line::airPressed);
    connect(&m_drop, &SurfaceButton::buttonPressed, this, &Line::dropPressed);
    for (SurfaceButton* button : {static_cast<SurfaceButton*>(&m_answer), static_cast<SurfaceButton*>(&m_hold),
                                  static_cast<SurfaceButton*>(&m_air), static_cast<SurfaceButton*>(&m_drop)})
        connect(button, &SurfaceButton::buttonPressed, this, &Line::panelSelected);
    connect(&m_panel, &LinePanel::selected, this, &Line::panelSelected);
}

// The panel and buttons are members; each item's own destructor takes it out
// of the scene, so nothing is left behind for the scene to delete.
Line::~Line() = default;

void Line::setStatus(const QString& status, bool locked, bool override, bool priority, unsigned ring_num,
                     unsigned long time, bool utility, int location)
{
    m_state.setState(status, locked, override, priority, ring_num, uint32_t(time), utility, location);
    m_panel.setUtility(utility);

    const LineStatus::Word previous = m_word;
    m_word = LineStatus::wordOf(status);
    const StatusRow* row = m_word < LineStatus::WordCount ? &kStatusTable[m_word] : nullptr;
    if (!row) {
        apply(m_answer, kUnlit);
        apply(m_hold, kUnlit);
        apply(m_air, kUnlit);
        m_panel.setText(QStringLiteral("Unknown Status (%1)").arg(status), QString(), QString(), QString());
        m_panel.setTextPanelColor(LinePanel::Unavailable);
        return;
    }

    if (row->answerRule == Rule::Handset) {
        const bool ours = hasSurface() && m_state.location >= 0 && uint32_t(m_state.location) == m_surface->id;
        apply(m_answer, ours ? Look{ColorButton::Steady, ColorButton::Green, ColorButton::Unlit} : kYellow);
    } else {
        apply(m_answer, row->answer);
    }

    if (row->holdRule == Rule::Hold)
        updateHoldButton();
    else
        apply(m_hold, kUnlit);

    if (row->airRule != Rule::Air)
        apply(m_air, row->air);

    if (row->text) {
        m_panel.setText(QString::fromLatin1(row->text), QString(), QString(), QString());
        m_panel.setTextPanelColor(row->color);
    } else {
        updateLinePanel();
        if (row->airRule != Rule::Air)
            m_panel.setTextPanelColor(row->color);
    }

    if (row->airRule == Rule::Air)
        updateAirButton();

    // The caller's record ends as the line enters such a state, once. A
    // repeated report of the same state (a resync answer that crossed a
    // broadcast, say) must not clear it again: by then a screener may have
    // typed the next caller's details on another console.
    if (row->clear && m_word != previous)
        clearLineInfo();
}

void Line::setAncillary(QString name, QString location, QString topic, QString notes, unsigned genderidx,
                        QString gender, unsigned moodidx, QString mood)
{
    m_attributes.setAttributes(name, location, topic, notes, genderidx, gender, moodidx, mood);
    updateLinePanel();
}

void Line::tick()
{
    ++m_state.time;
    updateTimer();
}

void Line::setLarge(bool large)
{
    m_large = large;
    m_panel.setLarge(large);
    m_span = large ? 2 : 1;
    move();
}

void Line::setVisible(bool visible)
{
    m_panel.setVisible(visible);
    m_answer.setVisible(visible);
    m_hold.setVisible(visible);
    m_air.setVisible(visible);
    m_drop.setVisible(visible);
}

bool Line::isVisible() const
{
    return m_panel.isVisible();
}

void Line::setSelected(bool selected)
{
    m_panel.setSelected(selected);
}

void Line::setHistory(int earlierCalls, const QString& flag)
{
    if (earlierCalls == m_historyCalls && flag == m_historyFlag)
        return;
    m_historyCalls = earlierCalls;
    m_historyFlag = flag;
    m_panel.setHistoryMark(earlierCalls, !flag.isEmpty());
    emit historyChanged();
}

void Line::setAssociatedSurface(bool associated, Surface* surface)
{
    m_associated = associated;
    m_surface = surface;
}

QString Line::timerText(uint64_t seconds)
{
    uint64_t s = seconds;
    uint64_t m = 0;
    uint64_t h = 0;
    uint64_t d = 0;
    bool days = false;
    if (s >= 60) {
        m = s / 60;
        s = s % 60;
        if (m >= 60) {
            h = m / 60;
            m = m % 60;
            if (h >= 24) {
                d = h / 24;
                h = h % 24;
                days = true;
            }
        }
    }
    QString text = days ? QStringLiteral("%1d ").arg(d) : QString();
    text += QStringLiteral("%1:%2:%3")
                .arg(h, 2, 10, QLatin1Char('0'))
                .arg(m, 2, 10, QLatin1Char('0'))
                .arg(s, 2, 10, QLatin1Char('0'));
    return text;
}

void Line::blink(int tick)
{
    // Steady lamps ignore the tick themselves; only a lamp whose colour
    // flips on this tick repaints, and only its own rectangle.
    m_answer.blink(tick);
    m_hold.blink(tick);
    m_air.blink(tick);
    m_drop.blink(tick);
}

bool Line::mayAnswer() const
{
    return hasSurface();
}

bool Line::mayAir() const
{
    return hasSurface() && m_surface->type == Surface::Studio;
}

void Line::answerPressed()
{
    if (mayAnswer())
        m_session.cmd_line_handset(unsigned(m_index));
    emit selected(uint(m_index));
}

void Line::holdPressed()
{
    m_session.cmd_line_hold(unsigned(m_index));
    emit selected(uint(m_index));
}

void Line::airPressed()
{
    // Only a studio decides what goes on air; a second press on a line that
    // is already on air locks or unlocks it there.
    if (mayAir()) {
        if (m_word == LineStatus::OnAir)
            m_session.cmd_line_lock(unsigned(m_index), !m_state.locked);
        else
            m_session.cmd_line_air(unsigned(m_index));
    }
    emit selected(uint(m_index));
}

void Line::dropPressed()
{
    m_session.cmd_line_drop(unsigned(m_index));
}

void Line::panelSelected()
{
    emit selected(uint(m_index));
}

void Line::move()
{
    const qreal y = 65 + 58 * m_span * m_index;
    const qreal buttonY = y + (m_large ? 90 : 36);
    m_panel.setPos(5, y);
    m_answer.setPos(5, buttonY);
    m_hold.setPos(75, buttonY);
    m_air.setPos(575, buttonY);
    m_drop.setPos(630, y + (m_large ? 80 : 25));
}

bool Line::isConnectedState() const
{
    return LineStatus::isConnected(m_word);
}

void Line::updateLinePanel()
{
    if (!isConnectedState())
        return;
    const LineAttributes& a = m_attributes;
    const QString first = a.location.isEmpty() ? a.name : QStringLiteral("%1 (%2)").arg(a.name, a.location);
    const QString second = a.notes.isEmpty() ? a.topic : QStringLiteral("%1 (%2)").arg(a.topic, a.notes);
    m_panel.setTextLines(first, second);
    m_panel.setTextGender(a.genderidx == 1       ? QStringLiteral("M")
                              : a.genderidx == 2 ? QStringLiteral("F")
                                                 : QStringLiteral("?"));
    m_panel.setEmoticonIndex(a.moodidx);
    updateTimer();
}

void Line::updateTimer()
{
    if (!isConnectedState())
        return;
    m_panel.setTextTimer(timerText(m_state.time));
}

void Line::updateHoldButton()
{
    const bool hold = m_word == LineStatus::OnHold || m_word == LineStatus::RemoteOnHold;
    const bool screened = m_word == LineStatus::OnScreenedHold || m_word == LineStatus::RemoteOnScreenedHold;
    if (!hold && !screened)
        return;
    // A priority caller stands out from every other held line.
    if (m_state.priority)
        m_hold.setLook(ColorButton::BlinkFast, ColorButton::Green, ColorButton::Yellow);
    else if (hold)
        apply(m_hold, kYellow);
    else
        m_hold.setLook(ColorButton::BlinkFast, ColorButton::Yellow, ColorButton::Unlit);
}

void Line::updateAirButton()
{
    // The location of an on-air line names the air channel. The lamp blinks
    // until the line is locked on air.
    ColorButton::ButtonColors color;
    LinePanel::TextPanelColor panelColor;
    if (m_state.location == 0) {
        color = ColorButton::Red;
        panelColor = LinePanel::Red;
    } else if (m_state.location == 1) {
        color = ColorButton::Blue;
        panelColor = LinePanel::Blue;
    } else {
        return;
    }
    if (m_state.locked)
        m_air.setLook(ColorButton::Steady, color, ColorButton::Unlit);
    else
        m_air.setLook(ColorButton::BlinkFast, color, ColorButton::Unlit);
    m_panel.setTextPanelColor(panelColor);
}

void Line::clearLineInfo()
{
    m_session.send_message(CallerInfo::cleared(unsigned(m_index)));
}
