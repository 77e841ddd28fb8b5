#include "bench/simthread.h"
#include "bench/wait.h"

#include "sim/unitsimulator.h"

#include <pthread.h>

SimThread::SimThread()
    : m_context(new QObject)
{
    m_context->moveToThread(&m_thread);
    m_thread.start();
    bool started = false;
    exec([&] {
        pthread_getcpuclockid(pthread_self(), &m_clock);
        m_sim = new UnitSimulator;
        started = m_sim->start(0);
        m_port = m_sim->port();
    });
    check(started, "simulated unit did not start");
}

SimThread::~SimThread()
{
    exec([this] {
        delete m_sim;
        m_sim = nullptr;
    });
    m_thread.quit();
    m_thread.wait();
    delete m_context;
}

void SimThread::exec(const std::function<void()>& what)
{
    QMetaObject::invokeMethod(m_context, what, Qt::BlockingQueuedConnection);
}

void SimThread::run(const std::function<void(UnitSimulator&)>& what)
{
    exec([&] { what(*m_sim); });
}

double SimThread::cpuSeconds() const
{
    timespec ts{};
    clock_gettime(m_clock, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}
