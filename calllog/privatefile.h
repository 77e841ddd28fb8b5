#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

class QIODevice;

// Files that hold personal data (the call log, its companions, the calls
// kept aside at quit) are the owner's alone: created without group and
// other bits from their first byte, whatever the umask, and stripped of
// those bits when an older version left them readable. Owner bits are
// never touched, so a file the user made read-only stays read-only.
class PrivateFile
{
public:
    // Creates an empty file with mode 0600 unless one exists; false (with
    // the reason in error) when it neither existed nor could be made.
    static bool create(const QString& path, QString* error = nullptr);
    // Clears the group and other bits of an existing file or folder; true
    // when there was nothing to do.
    static bool restrict(const QString& path);
    // Makes the folder and its parents when missing, the folder itself
    // 0700, and clears group and other bits of an existing one. Only for
    // folders the program owns: never for one the user chose.
    static bool makeFolder(const QString& path);
    // Whether the owner may write: the owner's write bit is set (also for
    // the superuser, who could write through it) and the system agrees.
    static bool ownerWritable(const QString& path);
    // Writes data to a new owner-only file at path, through a temporary
    // file in the same folder that is synced and renamed over it.
    static bool write(const QString& path, const QByteArray& data, QString* error = nullptr);
    // The same for a file written piece by piece: fill gets the new file,
    // owner-only from its first byte, and the file takes the place of path
    // only when fill returns true. The old file, if any, stays otherwise.
    static bool save(const QString& path, const std::function<bool(QIODevice&)>& fill, QString* error = nullptr);
};
