#pragma once

#include "unit/refusallog.h"

#include <QString>

#include <cstdint>

class Message;

// The messages a console sends to its unit, and the two answers that go
// with them (the login answer and "set_config"), built and read in this one
// place: the session and the console build them, the simulated unit reads
// them. Caller information and chat lines travel as CallerInfo and ChatLine.
class UnitCommands
{
public:
    enum Kind : uint8_t {
        Login,
        Resync,
        ChangeLineState,
        ChangeLineFlags,
        ChangeGlobalState,
        SetHandsetId,
        SetConfig,
        AncillaryData,
        ChatData,
        Other,
    };
    static Kind kindOf(const Message& msg);

    struct LoginRequest
    {
        QString username;
        QString password;
    };
    static Message login(const QString& username, const QString& password);
    static LoginRequest readLogin(const Message& msg);
    static Message loginAnswer(bool success);
    // Only a "success" of true is a success.
    static bool readLoginAnswer(const Message& msg);
    static Message resync();
    // The message as the debug log may show it: a password is masked.
    static Message forLog(const Message& msg);

    // "change_line_state": an action on one line, on the priority caller
    // (NEXT) or on every unlocked line (BUSY).
    enum class Action : uint8_t { Drop, Hold, Air, Handset, Busy, Unbusy, Other };
    enum class Target : uint8_t { Line, Priority, Unlocked };
    struct LineCommand
    {
        Action action = Action::Other;
        Target target = Target::Line;
        unsigned line = 0;
    };
    static Message lineCommand(Action action, unsigned line);
    static Message nextToAir();
    static Message busyAll(bool busy);
    static Refusal readLineCommand(const Message& msg, unsigned lineCount, LineCommand& out);

    // "change_line_flags": the air lock or the priority mark of one line.
    enum class Flag : uint8_t { Locked, Priority, Other };
    struct FlagCommand
    {
        Flag flag = Flag::Other;
        bool state = false;
        unsigned line = 0;
    };
    static Message lineFlag(Flag flag, unsigned line, bool state);
    static Refusal readLineFlag(const Message& msg, unsigned lineCount, FlagCommand& out);

    // "change_global_state": the auto attendant switch; false from the
    // reader for any other state.
    static Message autoAttendant(bool enabled);
    static bool readAutoAttendant(const Message& msg, bool& enabled);

    // "set_handset_id": the surface whose handset this console uses, or none.
    static Message setHandset(unsigned id);
    static Message noHandset();
    // "none" or the number, as the unit shows it; empty when it is neither.
    static QString readHandset(const Message& msg);

    // "set_config": the surface entry a console stands for.
    static Message setConfig(unsigned surface);
    static unsigned readSetConfig(const Message& msg);
};
