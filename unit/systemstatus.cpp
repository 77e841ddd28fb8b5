#include "unit/systemstatus.h"

#include "message/message.h"
#include "unit/linestatus.h"

#include <algorithm>

SystemStatus SystemStatus::read(const Message& msg)
{
    const Params& p = msg.params();
    SystemStatus s;
    s.numLines = std::min(p.get_uint("num_lines", 0), LineStatus::MaxLines);
    s.aaEnabled = p.get_bool("aa_enabled", false);
    s.busiedOut = p.get_bool("busied_out", false);
    return s;
}

void SystemStatus::write(Message& msg) const
{
    msg.set_name("system_status");
    Params& p = msg.params();
    p.set_uint("num_lines", numLines);
    p.set_bool("aa_enabled", aaEnabled);
    p.set_bool("busied_out", busiedOut);
}
