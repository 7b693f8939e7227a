#pragma once

// The TCP server of the network rig protocol. It lives on the main thread,
// like everything that touches the receiver, so each command runs between
// two blocks and sees the state the controls see. Nothing here waits: the
// sockets are served from the event loop.
//
// What a client cannot do to the receiver: send lines longer than
// maxLineBytes (it is dropped), stay silent beyond idleTimeout (dropped),
// connect and send no whole command within firstCommandTimeout (dropped),
// send faster than it reads (its unsent replies pass maxUnsentBytes and it
// is dropped), take the main thread for long (at most linesPerTurn lines
// are served before the event loop runs again), connect from an address
// the allow list does not name, or as the ninth client while all eight
// have spoken within yieldAfter (closed at once; otherwise the one silent
// longest makes room).

#include "remote/AllowList.h"
#include "remote/RigSession.h"

#include <QObject>
#include <QString>
#include <QTcpServer>

#include <chrono>
#include <cstdint>
#include <vector>

namespace remote {

class Rig;

struct ServerLimits {
    int maxClients = 8;
    int maxLineBytes = 256;
    // Long enough for a logging program that polls only while the operator
    // works; the slot of a client that went away without closing is free
    // again after it.
    std::chrono::milliseconds idleTimeout = std::chrono::minutes(10);
    // Every client sends as soon as it has connected; a connection that has
    // not sent one whole command by then is none, and would otherwise hold
    // its place for the whole idle time.
    std::chrono::milliseconds firstCommandTimeout = std::chrono::seconds(5);
    // With every place taken, a client silent for this long gives its place
    // to a new one (the one silent longest): a program that went away
    // without closing must not keep the others out for ten minutes.
    std::chrono::milliseconds yieldAfter = std::chrono::seconds(5);
    // Some hundred replies, dump_state included.
    int64_t maxUnsentBytes = 64 * 1024;
    int linesPerTurn = 16;
};

class RigServer : public QObject {
    Q_OBJECT

public:
    explicit RigServer(Rig& rig, ServerLimits limits = {}, QObject* parent = nullptr);
    ~RigServer() override;

    // Drops every client and listens afresh on `port` (0: a free port):
    // on 127.0.0.1 alone when the list allows only the local host,
    // otherwise on every address. False, with the reason in *error, when
    // the port cannot be had.
    bool Listen(uint16_t port, const AllowList& allow, QString* error = nullptr);
    // Closes the port and drops every client.
    void Stop();

    bool Listening() const { return server_.isListening(); }
    uint16_t Port() const { return server_.serverPort(); }
    int ClientCount() const { return static_cast<int>(clients_.size()); }

private:
    class Client;

    void Accept();
    void Drop(Client* client);
    // The client silent longest, when it has been silent for yieldAfter.
    Client* Yielding() const;

    Rig& rig_;
    ServerLimits limits_;
    SharedRigState shared_;
    AllowList allow_;
    QTcpServer server_;
    std::vector<Client*> clients_;  // owned as children
};

}  // namespace remote
