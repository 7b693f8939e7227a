#pragma once

// One line of Hamlib's network rig protocol (what rigctld reads) taken
// apart: the command in its short ("f") or long ("\get_freq") form, an
// optional extended-response prefix ("+f", ";\get_mode"), an optional VFO
// token in front of the arguments ("f VFOA", as clients send in VFO mode),
// and the arguments. A pure function of the line: no state, no allocation,
// any bytes accepted. Standard library only.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace remote {

enum class Command : uint8_t {
    Empty,         // a blank line: no reply
    Unknown,       // not a command of the protocol
    NotAvailable,  // a rig command a receiver cannot carry out (PTT on, RIT, memories, ...)
    GetFreq,
    SetFreq,
    GetMode,
    SetMode,
    GetVfo,
    SetVfo,
    GetSplitVfo,
    SetSplitVfo,
    GetPtt,
    SetPtt,
    GetLevel,
    SetLevel,
    GetInfo,
    ChkVfo,
    DumpState,
    GetPowerstat,
    SetPowerstat,
    SetVfoOpt,
    GetLockMode,
    SetLockMode,
    Scan,
    Aos,  // a satellite comes over the horizon
    Los,  // and goes below it
    Quit,
};

struct Request {
    static constexpr std::size_t kMaxArgs = 3;

    Command command = Command::Empty;
    // 0: plain replies. Otherwise the extended response protocol, with this
    // character ending each record ('\n' for a "+" prefix).
    char separator = 0;
    // The long name the extended response echoes ("set_freq"); for an
    // unknown command, the word that was sent.
    std::string_view name;
    // Everything after the command as sent, blanks around it removed: the
    // extended response echoes it.
    std::string_view rawArgs;
    // The VFO named in front of the arguments, if any ("VFOA").
    std::string_view vfo;
    std::array<std::string_view, kMaxArgs> args{};
    std::size_t argCount = 0;
    // The argument count does not fit the command (too few or too many).
    bool badArity = false;

    bool Extended() const { return separator != 0; }
};

// line: without its line end (a trailing CR is ignored).
Request ParseRequest(std::string_view line);

// A VFO token of the protocol ("VFOA", "currVFO", "Main", ...).
bool IsVfoName(std::string_view token);

}  // namespace remote
