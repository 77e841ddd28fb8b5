#pragma once

#include "sim/unitsimulator.h"

#include <QString>

#include <memory>

namespace testsupport {

// A simulated unit listening on 127.0.0.1 on a port the system picks; null
// when it cannot listen.
std::unique_ptr<UnitSimulator> startUnit(const QString& password = QStringLiteral("tavrik"));

// A simulated unit that goes down and comes back on the same port, which
// stays this test's all the while: down, the port is bound but does not
// listen, so a console's attempts are refused as by a unit that is off, and
// no other program (another test under ctest -j) can take it meanwhile.
class RestartableUnit
{
public:
    RestartableUnit();
    ~RestartableUnit();
    UnitSimulator* operator->() const { return m_unit.get(); }
    UnitSimulator& operator*() const { return *m_unit; }
    explicit operator bool() const { return m_unit != nullptr; }
    quint16 port() const { return m_port; }
    // Gone, its connections reset first with reset, otherwise closed.
    void stop(bool reset = false);
    // A new unit on the port; false when it cannot listen.
    bool restart();

private:
    std::unique_ptr<UnitSimulator> m_unit;
    int m_hold = -1;
    quint16 m_port = 0;
};

// "127.0.0.1:<port>": the key of the unit in the directory.
QString unitKey(const UnitSimulator& unit);

} // namespace testsupport
