#pragma once

// A line model and top controls wired to a real session that is logged into
// a simulated unit over loopback, so tests can read on the unit's side every
// message the console sent. Shared by the lines, top and end-to-end tests.

#include "console/lines.h"
#include "console/top.h"
#include "ipc/ipcobject.h"
#include "sim/unitsimulator.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGraphicsScene>
#include <QPalette>
#include <QTest>
#include <QTimer>

#include <memory>

class ConsoleRig
{
public:
    explicit ConsoleRig(bool withTop)
        : scene(0, 0, 1024, 768)
    {
        lines = std::make_unique<Lines>(scene, session);
        if (withTop)
            top = std::make_unique<Top>(nullptr, scene, palette, session, *lines);
        QObject::connect(&session, &IPCObject::recvLogMessage, [this](const Message& m) {
            m_echoed = m.params().get_uint("n", 0);
        });
    }

    // Logs in; the unit's clock is slowed down so that no tick moves a timer
    // while a test looks at it.
    bool start()
    {
        if (!sim.start(0))
            return false;
        sim.setTickInterval(3600 * 1000);
        session.connectIPC(QStringLiteral("127.0.0.1"), sim.port(), QStringLiteral("tavrik"),
                           QStringLiteral("tester"));
        if (!waitFor([this] { return session.getState() == IPCObject::IPC_READY; }, 5000))
            return false;
        // Twice: the first round's answers (the full status) make the lines
        // send cleared caller records, which the unit echoes in turn.
        return sync() && sync();
    }

    // Waits until everything sent so far in both directions has arrived: a
    // marker goes to the unit, and once it is there the unit sends a marker
    // back behind whatever it answered.
    bool sync()
    {
        const unsigned n = ++m_marker;
        Message marker;
        marker.set_name("test_marker");
        marker.params().set_uint("n", n);
        session.send_message(marker);
        if (!waitFor([&] { return hasMarker(n); }, 5000))
            return false;
        Message back;
        back.set_name("log_message");
        back.params().set_uint("n", n);
        sim.sendMessage(back);
        return waitFor([&] { return m_echoed == n; }, 5000);
    }

    // Everything the console sent since the last call, markers left out.
    QList<Message> sent()
    {
        sync();
        QList<Message> out;
        for (const Message& m : sim.receivedMessages())
            if (m.get_name() != "test_marker")
                out.append(m);
        sim.clearReceived();
        return out;
    }

    // Hands a message to the console as if the unit had just sent it.
    void deliverLineStatus(unsigned line, const QString& status, bool priority = false, bool locked = false,
                           int location = 0, unsigned time = 0)
    {
        Message m;
        m.set_name("line_status");
        m.params().set_uint("line_id", line);
        m.params().set_qstring("status", status);
        m.params().set_bool("priority", priority);
        m.params().set_bool("locked", locked);
        m.params().set_int("location", location);
        m.params().set_uint("time", time);
        emit session.recvLineStatus(m);
    }

    void deliverNumLines(unsigned count)
    {
        Message m;
        m.set_name("system_status");
        m.params().set_uint("num_lines", count);
        emit session.recvSystemStatus(m);
    }

    // Members in this order so that the controllers leave the scene before
    // it goes, and the session before the unit.
    UnitSimulator sim;
    IPCObject session;
    QGraphicsScene scene;
    QPalette palette;
    std::unique_ptr<Lines> lines;
    std::unique_ptr<Top> top;

    // Like QTest::qWaitFor, but wakes on every event instead of napping
    // 10 ms per poll, so a loopback round trip costs next to nothing; a
    // 20 ms timer makes sure the wait also ends when nothing else happens.
    template <typename Predicate>
    static bool waitFor(Predicate done, int timeoutMs)
    {
        QTimer wake;
        wake.start(20);
        QElapsedTimer clock;
        clock.start();
        while (!done()) {
            if (clock.elapsed() > timeoutMs)
                return false;
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        return true;
    }

private:
    bool hasMarker(unsigned n) const
    {
        for (const Message& m : sim.receivedMessages(QStringLiteral("test_marker")))
            if (m.params().get_uint("n", 0) == n)
                return true;
        return false;
    }

    unsigned m_marker = 0;
    unsigned m_echoed = 0;
};

// A lamp's look in words, for readable table rows: "steady Unlit",
// "slow Green/Unlit", "fast Red/Unlit".
inline QString lookOf(const ColorButton& b)
{
    static const char* const colors[] = {"Unlit", "Blue", "Red", "Green", "Yellow"};
    const auto color = [](ColorButton::ButtonColors c) {
        return QString::fromLatin1(unsigned(c) < 5 ? colors[c] : "?");
    };
    switch (b.state()) {
    case ColorButton::Steady:
        return QStringLiteral("steady ") + color(b.firstColor());
    case ColorButton::BlinkSlow:
        return QStringLiteral("slow %1/%2").arg(color(b.firstColor()), color(b.secondColor()));
    case ColorButton::BlinkFast:
        return QStringLiteral("fast %1/%2").arg(color(b.firstColor()), color(b.secondColor()));
    }
    return QStringLiteral("?");
}
