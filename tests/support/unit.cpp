#include "tests/support/unit.h"

namespace testsupport {

std::unique_ptr<UnitSimulator> startUnit(const QString& password, quint16 port)
{
    auto unit = std::make_unique<UnitSimulator>();
    unit->setPassword(password);
    return unit->start(port) ? std::move(unit) : nullptr;
}

QString unitKey(const UnitSimulator& unit)
{
    return QStringLiteral("127.0.0.1:%1").arg(unit.port());
}

} // namespace testsupport
