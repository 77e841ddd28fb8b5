#pragma once

#include "unit/callerinfo.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <vector>

class UnitSimulator;

// One thing that happens on the unit during a show, at a moment counted
// from the start of the show.
struct ShowStep
{
    enum Action {
        // A call comes in; info is the caller the screener will see.
        Ring,
        // Taken on a handset at surface `location`.
        Answer,
        Hold,
        ScreenedHold,
        Air,
        // The air lock or the priority flag, set to `flag`.
        Lock,
        Priority,
        // The screener's notes: info replaces the caller information.
        Info,
        // Hung up, by the caller or the staff.
        Drop,
    };

    qint64 atMs = 0;
    unsigned int line = 0;
    Action action = Ring;
    bool flag = true;
    int location = 1;
    CallerInfo info;

    static ShowStep ring(qint64 atMs, unsigned int line, const QString& name, const QString& location,
                         const QString& topic);
    static ShowStep act(qint64 atMs, unsigned int line, Action action, bool flag = true);
    static ShowStep notes(qint64 atMs, unsigned int line, const QString& name, const QString& location,
                          const QString& topic, const QString& notes, unsigned int genderidx = 0,
                          unsigned int moodidx = 0);
};

// A show on the simulated unit: calls that ring and are answered, held,
// aired and dropped on a schedule, as the staff at the unit's other
// positions and the callers would do it. Tests apply the steps one at a
// time at moments of their choosing; the demo (mirt-unit-sim --show) plays
// them in real time, over and over.
class UnitShow : public QObject
{
    Q_OBJECT

public:
    explicit UnitShow(UnitSimulator& unit, QObject* parent = nullptr);

    void setSteps(std::vector<ShowStep> steps);
    const std::vector<ShowStep>& steps() const { return m_steps; }

    // Does what the step says, now.
    static void apply(UnitSimulator& unit, const ShowStep& step);

    // Plays the steps in real time; with loop the show starts again after
    // its last step.
    void start(bool loop);
    void stop();

    // A few minutes of calls for the demo and the pictures.
    static std::vector<ShowStep> demo();

signals:
    void finished();

private:
    void next();

    UnitSimulator& m_unit;
    std::vector<ShowStep> m_steps;
    size_t m_index = 0;
    bool m_loop = false;
    // Where the current round of a looping show began on the clock.
    qint64 m_offset = 0;
    QTimer m_timer;
    QElapsedTimer m_clock;
};
