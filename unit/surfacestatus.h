#pragma once

#include "unit/refusallog.h"

#include <QString>

#include <cstdint>

class Message;

// One control surface of the unit ("surface_status"): a studio or screener
// position, and whether it is online. Ids run over the unit's four surfaces
// and the console's two entries without one.
struct SurfaceStatus
{
    static constexpr unsigned Count = 6;
    // The values of the console's Surface::Type.
    enum Type : uint32_t { Unknown = 0, Studio = 1, Screener = 2 };

    unsigned id = 0;
    bool online = false;
    Type type = Unknown;
    // The type as the unit wrote it, for a type outside the table.
    QString typeText;

    // An absent id is surface 0; "none" and anything but a plain unsigned
    // number below count name no surface.
    static Refusal read(const Message& msg, unsigned count, SurfaceStatus& out);
    void write(Message& msg) const;
};
