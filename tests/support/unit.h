#pragma once

#include "sim/unitsimulator.h"

#include <QString>

#include <memory>

namespace testsupport {

// A simulated unit listening on 127.0.0.1, on the given port or one the
// system picks (0); null when it cannot listen.
std::unique_ptr<UnitSimulator> startUnit(const QString& password = QStringLiteral("tavrik"), quint16 port = 0);

// "127.0.0.1:<port>": the key of the unit in the directory.
QString unitKey(const UnitSimulator& unit);

} // namespace testsupport
