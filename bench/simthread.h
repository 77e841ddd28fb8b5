#pragma once

#include <QObject>
#include <QThread>

#include <functional>

#include <time.h>

class UnitSimulator;

// The simulated unit on a thread of its own, as a real unit is a machine of
// its own: its work (ticks, encoding and writing frames) neither delays the
// console's event loop nor counts in the console's processor time. The unit
// is made, used and deleted on its thread; the scenario reaches it only
// through run().
class SimThread
{
public:
    // Starts the thread and the unit listening on 127.0.0.1, on a port the
    // system picks.
    SimThread();
    ~SimThread();
    SimThread(const SimThread&) = delete;
    SimThread& operator=(const SimThread&) = delete;

    quint16 port() const { return m_port; }
    // Runs what on the unit's thread and waits until it has.
    void run(const std::function<void(UnitSimulator&)>& what);
    // Processor time the unit's thread has used so far.
    double cpuSeconds() const;

private:
    void exec(const std::function<void()>& what);

    QThread m_thread;
    QObject* m_context;
    UnitSimulator* m_sim = nullptr;
    clockid_t m_clock{};
    quint16 m_port = 0;
};
