#pragma once

#include <QByteArray>
#include <QString>

namespace testsupport {

// The bytes of a file; "<unreadable>" when it cannot be read.
QByteArray readAll(const QString& path);

// Writes the file whole; false when it could not.
bool writeAll(const QString& path, const QByteArray& bytes);

// The permission bits of a file or folder (0600 and the like); -1 when it
// is not there.
int modeOf(const QString& path);

} // namespace testsupport
