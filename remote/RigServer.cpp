#include "remote/RigServer.h"

#include <QElapsedTimer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <string>

#include <sys/socket.h>

namespace remote {

// One connection: its socket, its conversation and its idle timer.
class RigServer::Client : public QObject {
public:
    Client(RigServer& server, QTcpSocket* socket)
        : QObject(&server)
        , server_(server)
        , socket_(socket)
        , session_(server.rig_, server.shared_)
    {
        const ServerLimits& limits = server_.limits_;
        socket_->setParent(this);
        // Replies are small and the client waits for each: send at once.
        socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        socket_->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
        // Qt stops taking bytes from the system beyond this, so a flood
        // waits in the kernel (and TCP slows its sender) instead of memory.
        socket_->setReadBufferSize(int64_t(limits.maxLineBytes) * 16);
        line_.resize(std::size_t(limits.maxLineBytes) + 2);
        idle_.setSingleShot(true);
        idle_.setInterval(limits.firstCommandTimeout);
        connect(&idle_, &QTimer::timeout, this, [this] { server_.Drop(this); });
        connect(socket_, &QTcpSocket::readyRead, this, [this] { Serve(); });
        connect(socket_, &QTcpSocket::disconnected, this, [this] { server_.Drop(this); });
        connect(socket_, &QTcpSocket::errorOccurred, this, [this] { server_.Drop(this); });
        idle_.start();
        silent_.start();
    }

    // Started at the last whole command, or at the connection when none came.
    const QElapsedTimer& Silent() const { return silent_; }

    // Stops serving; the object goes away once the event loop is back.
    void Close()
    {
        if (released_)
            return;
        released_ = true;
        closing_ = true;
        idle_.stop();
        socket_->disconnect(this);
        socket_->abort();
        deleteLater();
    }

private:
    // Serves the complete lines waiting, a few at a time.
    void Serve()
    {
        turnQueued_ = false;
        const ServerLimits& limits = server_.limits_;
        for (int n = 0; n < limits.linesPerTurn && !closing_; ++n) {
            if (!socket_->canReadLine()) {
                // No line end within the limit: this is no client of ours.
                if (socket_->bytesAvailable() > limits.maxLineBytes) {
                    server_.Drop(this);
                    return;
                }
                break;
            }
            const int64_t read = socket_->readLine(line_.data(), int64_t(line_.size()));
            if (read <= 0 || line_[std::size_t(read) - 1] != '\n') {
                server_.Drop(this);
                return;
            }
            idle_.setInterval(limits.idleTimeout);
            idle_.start();
            silent_.start();
            reply_.clear();
            const bool goOn =
                session_.Handle(std::string_view(line_.data(), std::size_t(read) - 1), reply_);
            Send(reply_);
            if (!goOn) {
                // "q": the reply still goes out, then the connection ends.
                closing_ = true;
                socket_->disconnectFromHost();
                return;
            }
        }
        if (closing_)
            return;
        if (socket_->bytesToWrite() > 0)
            socket_->flush();
        if (socket_->bytesToWrite() > limits.maxUnsentBytes) {
            server_.Drop(this);
            return;
        }
        // More lines are waiting: serve them after the event loop has run
        // (a block may be due).
        if (socket_->canReadLine() && !turnQueued_) {
            turnQueued_ = true;
            QMetaObject::invokeMethod(
                this, [this] { Serve(); }, Qt::QueuedConnection);
        }
    }

    // A reply goes straight to the system when nothing of an earlier one
    // waits in the socket's buffer (the usual case: a client waits for each
    // reply). Qt's buffered write would switch its write notifier on and off
    // again for every reply, which wakes the event loop twice more.
    void Send(const std::string& reply)
    {
        std::size_t sent = 0;
        if (socket_->bytesToWrite() == 0) {
            const ssize_t n = ::send(int(socket_->socketDescriptor()), reply.data(), reply.size(),
                                     MSG_DONTWAIT | MSG_NOSIGNAL);
            if (n > 0)
                sent = std::size_t(n);
        }
        // The rest (or all of it, or a failure to report) through the socket.
        if (sent < reply.size())
            socket_->write(reply.data() + sent, int64_t(reply.size() - sent));
    }

    RigServer& server_;
    QTcpSocket* socket_;
    RigSession session_;
    QTimer idle_;
    QElapsedTimer silent_;
    std::string line_;
    std::string reply_;
    bool closing_ = false;   // serves no more lines
    bool released_ = false;  // dropped by the server
    bool turnQueued_ = false;
};

RigServer::RigServer(Rig& rig, ServerLimits limits, QObject* parent)
    : QObject(parent)
    , rig_(rig)
    , limits_(limits)
{
    connect(&server_, &QTcpServer::newConnection, this, [this] { Accept(); });
}

RigServer::~RigServer() { Stop(); }

bool RigServer::Listen(uint16_t port, const AllowList& allow, QString* error)
{
    Stop();
    allow_ = allow;
    bool listening = false;
    if (allow_.LocalOnly()) {
        listening = server_.listen(QHostAddress(QHostAddress::LocalHost), port);
    } else {
        // Both protocols where the system has IPv6, IPv4 alone otherwise.
        listening = server_.listen(QHostAddress(QHostAddress::Any), port) ||
                    server_.listen(QHostAddress(QHostAddress::AnyIPv4), port);
    }
    if (!listening && error != nullptr)
        *error = server_.errorString();
    return listening;
}

void RigServer::Stop()
{
    server_.close();
    while (!clients_.empty())
        Drop(clients_.back());
}

void RigServer::Accept()
{
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        if (allow_.Allows(socket->peerAddress()) && ClientCount() >= limits_.maxClients) {
            if (Client* yielding = Yielding())
                Drop(yielding);
        }
        if (!allow_.Allows(socket->peerAddress()) || ClientCount() >= limits_.maxClients) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        clients_.push_back(new Client(*this, socket));
    }
}

RigServer::Client* RigServer::Yielding() const
{
    Client* longest = nullptr;
    for (Client* client : clients_) {
        if (longest == nullptr || client->Silent() < longest->Silent())
            longest = client;
    }
    if (longest == nullptr || longest->Silent().elapsed() < limits_.yieldAfter.count())
        return nullptr;
    return longest;
}

void RigServer::Drop(Client* client)
{
    const auto it = std::find(clients_.begin(), clients_.end(), client);
    if (it != clients_.end())
        clients_.erase(it);
    client->Close();
}

}  // namespace remote
