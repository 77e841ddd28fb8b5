#include "tests/support/consolerig.h"

#include "tests/support/barrier.h"
#include "tests/support/wait.h"

#include <QtTest>

namespace testsupport {

ConsoleRig::ConsoleRig(bool withTop)
    : scene(0, 0, 1024, 768)
{
    lines = std::make_unique<Lines>(scene, session);
    if (withTop)
        top = std::make_unique<Top>(nullptr, scene, palette, session, *lines);
}

bool ConsoleRig::start()
{
    if (!sim.start(0))
        return false;
    sim.setTickInterval(3600 * 1000);
    session.connectIPC(QStringLiteral("127.0.0.1"), sim.port(), QStringLiteral("tavrik"), QStringLiteral("tester"));
    if (!waitFor([this] { return session.getState() == IPCObject::IPC_READY; }, 5000))
        return false;
    // Twice: the first round's answers (the full status) make the lines
    // send cleared caller records, which the unit echoes in turn.
    return sync() && sync();
}

bool ConsoleRig::sync()
{
    return roundTrip(session, sim);
}

QList<Message> ConsoleRig::sent()
{
    // Without the round trip "nothing was sent" proves nothing: the test
    // fails, and a frame stands in for the failure so no comparison passes.
    Message failed;
    failed.set_name("no_round_trip");
    const bool synced = sync();
    if (!synced)
        QTest::qFail("the round trip to the unit failed", __FILE__, __LINE__);
    const QList<Message> out = synced ? receivedFrames(sim) : QList<Message>{failed};
    sim.clearReceived();
    return out;
}

void ConsoleRig::deliverLineStatus(unsigned line, const QString& status, bool priority, bool locked, int location,
                                   unsigned time)
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

void ConsoleRig::deliverNumLines(unsigned count)
{
    Message m;
    m.set_name("system_status");
    m.params().set_uint("num_lines", count);
    emit session.recvSystemStatus(m);
}

QString lookOf(const ColorButton& b)
{
    static const char* const colors[] = {"Unlit", "Blue", "Red", "Green", "Yellow"};
    const auto color
        = [](ColorButton::ButtonColors c) { return QString::fromLatin1(unsigned(c) < 5 ? colors[c] : "?"); };
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

} // namespace testsupport
