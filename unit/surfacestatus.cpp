#include "unit/surfacestatus.h"

#include "message/message.h"

namespace {
const char* const kStudio = "studio";
const char* const kScreener = "screener";
} // namespace

Refusal SurfaceStatus::read(const Message& msg, unsigned count, SurfaceStatus& out)
{
    const Params& p = msg.params();
    bool ok = false;
    const unsigned id = p.get_qstring("id", QStringLiteral("0")).toUInt(&ok);
    if (!ok || id >= count)
        return Refusal::NotASurface;
    out.id = id;
    out.online = p.get_bool("online", false);
    const std::string type = p.get_string("type", std::string());
    out.type = type == kStudio ? Studio : type == kScreener ? Screener : Unknown;
    out.typeText = out.type == Unknown ? QString::fromStdString(type) : QString();
    return Refusal::None;
}

void SurfaceStatus::write(Message& msg) const
{
    msg.set_name("surface_status");
    Params& p = msg.params();
    p.set_uint("id", id);
    p.set_bool("online", online);
    p.set_qstring("type",
                  type == Studio         ? QLatin1String(kStudio)
                      : type == Screener ? QLatin1String(kScreener)
                                         : typeText);
}
