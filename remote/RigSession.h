#pragma once

// One client's conversation in Hamlib's network rig protocol: each line in,
// its whole reply out. Replies follow rigctld: a get answers its values one
// per line (or "RPRT -n" alone when it fails), a set answers "RPRT 0" or
// "RPRT -n"; with an extended-response prefix the command is echoed first,
// values come as "Key: value" records and "RPRT n" closes every reply.
// GUI-free and socket-free: the server feeds it lines, tests and the fuzz
// target feed it bytes. Standard library only.

#include "remote/Rig.h"
#include "remote/RigRequest.h"

#include <string>
#include <string_view>

namespace remote {

// What every connection shares: "\set_lock_mode 1" keeps all clients from
// changing the mode.
struct SharedRigState {
    bool modeLocked = false;
};

class RigSession {
public:
    RigSession(Rig& rig, SharedRigState& shared);

    // Appends the reply to one line (without its line end) to `reply`.
    // Returns false when the client asked to end the connection; the reply
    // is still to be sent.
    bool Handle(std::string_view line, std::string& reply);

    // "\set_vfo_opt 1": the client names the VFO in front of the arguments.
    bool VfoMode() const { return vfoMode_; }

private:
    class Writer;

    RigStatus Execute(const Request& r, Writer& out);
    RigStatus SetFrequency(const Request& r);
    RigStatus Scan(const Request& r);
    RigStatus GetMode(Writer& out);
    RigStatus SetMode(const Request& r, Writer& out);
    RigStatus GetLevel(const Request& r, Writer& out) const;
    RigStatus SetLevel(const Request& r, Writer& out);
    void DumpState(Writer& out) const;

    Rig& rig_;
    SharedRigState& shared_;
    bool vfoMode_ = false;
    // A data or reversed mode this client set ("PKTUSB"): reported back for
    // as long as the receiver stays in its base mode, so that a client that
    // compares what it set with what it reads is not sent into a loop.
    std::string_view modeAlias_;
    RigMode aliasBase_ = RigMode::Usb;
};

// Hamlib's name of a mode ("USB").
std::string_view RigModeName(RigMode mode);

}  // namespace remote
