#pragma once

#include <QMetaType>

#include <cstdint>

// One control surface of the unit as the top controls know it. The id is the
// record's own index in the surface table, so it doubles as the surface
// number on the wire. Top owns the table; the lines read the entry that the
// console is associated with to decide what their buttons may do.
struct Surface
{
    enum Type : uint32_t { Unknown = 0, Studio = 1, Screener = 2 };

    bool online = false;
    uint32_t type = Unknown;
    uint32_t id = 0;
};

Q_DECLARE_METATYPE(Surface)
Q_DECLARE_METATYPE(Surface*)
