#include "unit/unitcommands.h"

#include "message/message.h"
#include "unit/linestatus.h"

namespace {

// In the order of UnitCommands::Kind, Action and Flag.
const char* const kKinds[]
    = {"login",          "resync",     "change_line_state", "change_line_flags", "change_global_state",
       "set_handset_id", "set_config", "ancillary_data",    "chat_data"};
const char* const kActions[] = {"drop", "hold", "air", "handset", "busy", "unbusy"};
const char* const kFlags[] = {"locked", "priority"};
static_assert(sizeof(kKinds) / sizeof(kKinds[0]) == UnitCommands::Other, "one name per kind");
static_assert(sizeof(kActions) / sizeof(kActions[0]) == unsigned(UnitCommands::Action::Other), "one word per action");
static_assert(sizeof(kFlags) / sizeof(kFlags[0]) == unsigned(UnitCommands::Flag::Other), "one word per flag");
const char* const kPriority = "priority";
const char* const kUnlocked = "unlocked";
const char* const kNone = "none";

// The index of text in a table, or the table's size.
template <std::size_t N> unsigned indexOf(const std::string& text, const char* const (&table)[N])
{
    unsigned i = 0;
    while (i < N && text != table[i])
        ++i;
    return i;
}

Message named(const char* name)
{
    Message msg;
    msg.set_name(name);
    return msg;
}

} // namespace

UnitCommands::Kind UnitCommands::kindOf(const Message& msg)
{
    return Kind(indexOf(msg.get_name(), kKinds));
}

Message UnitCommands::login(const QString& username, const QString& password)
{
    Message msg = named("login");
    msg.params().set_qstring("username", username);
    msg.params().set_qstring("password", password);
    msg.params().set_string("id", "console");
    return msg;
}

UnitCommands::LoginRequest UnitCommands::readLogin(const Message& msg)
{
    return {msg.params().get_qstring("username", QString()), msg.params().get_qstring("password", QString())};
}

Message UnitCommands::loginAnswer(bool success)
{
    Message msg = named("login");
    msg.params().set_bool("success", success);
    return msg;
}

bool UnitCommands::readLoginAnswer(const Message& msg)
{
    return msg.params().get_bool("success", false);
}

Message UnitCommands::resync()
{
    return named("resync");
}

Message UnitCommands::forLog(const Message& msg)
{
    Message masked(msg);
    if (msg.params().has_param("password"))
        masked.params().set_string("password", "********");
    return masked;
}

Message UnitCommands::lineCommand(Action action, unsigned line)
{
    Message msg = named("change_line_state");
    msg.params().set_string("command", kActions[unsigned(action)]);
    msg.params().set_uint("line_id", line);
    return msg;
}

Message UnitCommands::nextToAir()
{
    Message msg = named("change_line_state");
    msg.params().set_string("line_id", kPriority);
    msg.params().set_string("command", "air");
    return msg;
}

Message UnitCommands::busyAll(bool busy)
{
    Message msg = named("change_line_state");
    msg.params().set_string("line_id", kUnlocked);
    msg.params().set_string("command", busy ? "busy" : "unbusy");
    return msg;
}

Refusal UnitCommands::readLineCommand(const Message& msg, unsigned lineCount, LineCommand& out)
{
    const Params& p = msg.params();
    out.action = Action(indexOf(p.get_string("command", ""), kActions));
    const std::string target = p.get_string("line_id", "");
    out.target = target == kPriority ? Target::Priority : target == kUnlocked ? Target::Unlocked : Target::Line;
    return out.target == Target::Line ? LineStatus::readLine(p, lineCount, out.line) : Refusal::None;
}

Message UnitCommands::lineFlag(Flag flag, unsigned line, bool state)
{
    Message msg = named("change_line_flags");
    msg.params().set_string("flag", kFlags[unsigned(flag)]);
    msg.params().set_bool("state", state);
    msg.params().set_uint("line_id", line);
    return msg;
}

Refusal UnitCommands::readLineFlag(const Message& msg, unsigned lineCount, FlagCommand& out)
{
    const Params& p = msg.params();
    out.flag = Flag(indexOf(p.get_string("flag", ""), kFlags));
    out.state = p.get_bool("state", false);
    return LineStatus::readLine(p, lineCount, out.line);
}

Message UnitCommands::autoAttendant(bool enabled)
{
    Message msg = named("change_global_state");
    msg.params().set_string("state", "aa");
    msg.params().set_bool("enabled", enabled);
    return msg;
}

bool UnitCommands::readAutoAttendant(const Message& msg, bool& enabled)
{
    enabled = msg.params().get_bool("enabled", false);
    return msg.params().get_string("state", "") == "aa";
}

Message UnitCommands::setHandset(unsigned id)
{
    Message msg = named("set_handset_id");
    msg.params().set_uint("id", id);
    return msg;
}

Message UnitCommands::noHandset()
{
    Message msg = named("set_handset_id");
    msg.params().set_string("id", kNone);
    return msg;
}

QString UnitCommands::readHandset(const Message& msg)
{
    const QString id = msg.params().get_qstring("id", QLatin1String(kNone));
    bool number = false;
    id.toUInt(&number);
    return number || id == QLatin1String(kNone) ? id : QString();
}

Message UnitCommands::setConfig(unsigned surface)
{
    Message msg = named("set_config");
    msg.params().set_uint("surface", surface);
    return msg;
}

unsigned UnitCommands::readSetConfig(const Message& msg)
{
    return msg.params().get_uint("surface", 0);
}
