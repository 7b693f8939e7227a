#pragma once

#include "tests/support/EventLoop.h"

#include <QHostAddress>
#include <QTcpSocket>

#include <string>

namespace core::test {

// A client in the test's own event loop, so the receiver serves it while
// the test waits.
class LineClient {
public:
    explicit LineClient(uint16_t port,
                        const QHostAddress& from = QHostAddress(QHostAddress::LocalHost))
    {
        if (from != QHostAddress(QHostAddress::LocalHost))
            socket_.bind(from);
        socket_.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
        tesmar::test::RunUntil(
            [&] {
                return socket_.state() == QAbstractSocket::ConnectedState ||
                       socket_.state() == QAbstractSocket::UnconnectedState;
            },
            5000);
    }

    // Sends `line` and waits for `lines` lines of reply.
    std::string Ask(const std::string& line, int lines = 1)
    {
        Send(line + "\n");
        return Read(lines);
    }
    void Send(const std::string& bytes)
    {
        socket_.write(bytes.data(), qint64(bytes.size()));
        socket_.flush();
    }
    std::string Read(int lines)
    {
        auto end = [&] {
            std::size_t at = std::string::npos;
            for (int i = 0, from = 0; i < lines; ++i, from = int(at) + 1)
                if ((at = buffer_.find('\n', std::size_t(from))) == std::string::npos)
                    break;
            return at;
        };
        tesmar::test::RunUntil(
            [&] {
                buffer_ += socket_.readAll().toStdString();
                return end() != std::string::npos ||
                       socket_.state() != QAbstractSocket::ConnectedState;
            },
            5000);
        const std::size_t at = end();
        const std::string reply = at == std::string::npos ? buffer_ : buffer_.substr(0, at + 1);
        buffer_.erase(0, reply.size());
        return reply;
    }
    // Waits (bounded) until the server has closed the connection.
    bool Closed(int ms = 5000)
    {
        return tesmar::test::RunUntil(
            [&] { return socket_.state() == QAbstractSocket::UnconnectedState; }, ms);
    }
    QTcpSocket& Socket() { return socket_; }

private:
    QTcpSocket socket_;
    std::string buffer_;
};

}  // namespace core::test
