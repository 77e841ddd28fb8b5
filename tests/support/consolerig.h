#pragma once

#include "console/colorbutton.h"
#include "console/lines.h"
#include "console/top.h"
#include "ipc/ipcobject.h"
#include "sim/unitsimulator.h"

#include <QGraphicsScene>
#include <QList>
#include <QPalette>
#include <QString>

#include <memory>

namespace testsupport {

// A line model and top controls wired to a real session that is logged into
// a simulated unit over loopback, so tests can read on the unit's side every
// message the console sent. Shared by the lines, top and end-to-end tests.
class ConsoleRig
{
public:
    explicit ConsoleRig(bool withTop);

    // Logs in; the unit's clock is slowed down so that no tick moves a timer
    // while a test looks at it.
    bool start();

    // Waits until everything sent so far in both directions has arrived
    // (the round-trip barrier).
    bool sync();

    // Everything the console sent since the last call, markers left out.
    QList<Message> sent();

    // Hands a message to the console as if the unit had just sent it.
    void deliverLineStatus(unsigned line, const QString& status, bool priority = false, bool locked = false,
                           int location = 0, unsigned time = 0);
    void deliverNumLines(unsigned count);

    // Members in this order so that the controllers leave the scene before
    // it goes, and the session before the unit.
    UnitSimulator sim;
    IPCObject session;
    QGraphicsScene scene;
    QPalette palette;
    std::unique_ptr<Lines> lines;
    std::unique_ptr<Top> top;
};

// A lamp's look in words, for readable table rows: "steady Unlit",
// "slow Green/Unlit", "fast Red/Unlit".
QString lookOf(const ColorButton& b);

} // namespace testsupport
