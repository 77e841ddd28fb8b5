#pragma once

#include "message/message.h"

#include <QList>
#include <QString>

class IPCObject;
class UnitSimulator;

namespace testsupport {

// The round-trip barrier between a console's session and a simulated unit:
// a marker goes to the unit, and once it has arrived the unit sends a marker
// back behind whatever it sent before. When it returns true, everything the
// session sent before the call has reached the unit, and everything the unit
// sent before the marker has been handled by the session. This is how tests
// prove that nothing more arrived, without waiting a fixed time.
//
// The unit keeps the markers it receives ("test_marker"); sent() style
// helpers leave them out.
bool roundTrip(IPCObject& session, UnitSimulator& unit, int timeoutMs = 5000);

// What the unit has received so far, the markers left out.
QList<Message> receivedFrames(const UnitSimulator& unit);

// The caller records the console's editor sent, in order: those the line
// model sends to clear a line carry no "moodidx".
QList<Message> editorSends(const UnitSimulator& unit);

// A message as its XML frame, without the header.
QString xmlOf(const Message& m);

} // namespace testsupport
