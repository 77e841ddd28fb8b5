#pragma once

#include "support/qtcompat.h"

#include <QString>

namespace testsupport {

// Gives this test process a private, empty home for everything the program
// keeps: the saved settings (QSettings, every format and scope) and the
// standard folders (QStandardPaths in test mode, with HOME and the XDG
// folders pointed into the same temporary directory). Tests that run in
// parallel never share a file, and none touches the user's own. Call it
// before the first QSettings is created, typically from initTestCase();
// later calls return the same folder. It is removed when the process ends.
QString isolateSettings();

// The program's settings store, as the unit directory and the consoles see it.
Utf8Settings settingsStore();

} // namespace testsupport
