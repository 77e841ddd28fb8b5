#pragma once

#include "console/colorbutton.h"
#include "console/dropbutton.h"
#include "console/linepanel.h"
#include "unit/callerinfo.h"
#include "unit/linestatus.h"

#include <QObject>
#include <QString>

#include <cstdint>

class IPCObject;
class QGraphicsScene;
struct Surface;

// What the unit last reported about one line in "line_status". The time is
// counted up locally between reports, one second per "timer_tick".
struct LineState
{
    QString status;
    bool locked = false;
    bool override = false;
    bool priority = false;
    uint32_t ring_num = 0;
    uint64_t time = 0;
    bool utility = false;
    int32_t location = 0;

    void setState(const QString& status, bool locked, bool override, bool priority, uint32_t ring_num, uint32_t time,
                  bool utility, int32_t location);
};

// The caller information of one line, as the unit last sent it in
// "ancillary_data". The index fields select the gender and mood entries.
struct LineAttributes : CallerInfo
{
    void setAttributes(const QString& name, const QString& location, const QString& topic, const QString& notes,
                       uint32_t genderidx, const QString& gender, uint32_t moodidx, const QString& mood);
};

// One telephone line of the console: keeps the line's reported state and
// caller information, draws them on its panel and four buttons, and turns
// presses on those buttons into commands to the unit. Owned by Lines; its
// panel and buttons are held by value and leave the scene with it.
class Line : public QObject
{
    Q_OBJECT

public:
    Line(QGraphicsScene& scene, IPCObject& session, int index);
    ~Line() override;

    void setStatus(const QString& status, bool locked, bool override, bool priority, unsigned ring_num,
                   unsigned long time, bool utility, int location);
    void setAncillary(QString name, QString location, QString topic, QString notes, unsigned genderidx, QString gender,
                      unsigned moodidx, QString mood);
    // One second more of the current call state.
    void tick();
    void setLarge(bool large);
    void setVisible(bool visible);
    void setSelected(bool selected);
    void setAssociatedSurface(bool associated, Surface* surface);
    // What the log knows of the caller on the line: the calls before this
    // one and the caller's flag; marked on the panel.
    void setHistory(int earlierCalls, const QString& flag);
    int historyCalls() const { return m_historyCalls; }
    const QString& historyFlag() const { return m_historyFlag; }

    int index() const { return m_index; }
    // Whether the surface this console stands for lets a press on ANSWER
    // take the call, and one on AIR put it on air (studios only).
    bool mayAnswer() const;
    bool mayAir() const;
    bool isLarge() const { return m_large; }
    bool isVisible() const;
    const LineState& state() const { return m_state; }
    LineAttributes& attributes() { return m_attributes; }
    const LineAttributes& attributes() const { return m_attributes; }

    const LinePanel& panel() const { return m_panel; }
    LinePanel& panel() { return m_panel; }
    ColorButton& answerButton() { return m_answer; }
    ColorButton& holdButton() { return m_hold; }
    ColorButton& airButton() { return m_air; }
    DropButton& dropButton() { return m_drop; }

    // The elapsed-time text for a number of seconds: "hh:mm:ss", with a
    // leading "<days>d " once a day is reached.
    static QString timerText(uint64_t seconds);

signals:
    void selected(uint index);
    void historyChanged();

public slots:
    void blink(int tick);
    void answerPressed();
    void holdPressed();
    void airPressed();
    void dropPressed();
    void panelSelected();

private:
    void move();
    void updateLinePanel();
    void updateTimer();
    void updateHoldButton();
    void updateAirButton();
    void clearLineInfo();
    // The four states of a connected call: only they show the caller and a
    // running time.
    bool isConnectedState() const;
    // Associated with a surface whose record we can actually read.
    bool hasSurface() const { return m_associated && m_surface; }

    LineState m_state;
    // The status word of m_state, read once.
    LineStatus::Word m_word = LineStatus::Unreported;
    LineAttributes m_attributes;
    QGraphicsScene& m_scene;
    IPCObject& m_session;
    bool m_large;
    int m_span;
    int m_index;
    LinePanel m_panel;
    ColorButton m_answer;
    ColorButton m_hold;
    ColorButton m_air;
    DropButton m_drop;
    bool m_associated;
    Surface* m_surface;
    int m_historyCalls = 0;
    QString m_historyFlag;
};
