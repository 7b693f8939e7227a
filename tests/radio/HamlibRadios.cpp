#include "HamlibRadios.h"

#include "tests/support/EventLoop.h"
#include "tests/support/Loopback.h"

#include <QStringList>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <pty.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>
#include <utility>

namespace radio::test {
Rigctld::Rigctld()
    : port_(tesmar::test::FreePorts(1)[0])
{
    process_.setProcessChannelMode(QProcess::ForwardedChannels);
}

Rigctld::~Rigctld() { Stop(); }

std::string Rigctld::Address() const { return "127.0.0.1:" + std::to_string(port_); }

bool Rigctld::Start()
{
    Stop();
    process_.start(QStringLiteral("rigctld"),
                   {QStringLiteral("-m"), QStringLiteral("1"), QStringLiteral("-T"),
                    QStringLiteral("127.0.0.1"), QStringLiteral("-t"), QString::number(port_)});
    return process_.waitForStarted() &&
           tesmar::test::RunUntil([this] { return tesmar::test::ListensLocally(port_); }, 10000);
}

void Rigctld::Stop()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.terminate();
    if (!process_.waitForFinished(3000)) {
        process_.kill();
        process_.waitForFinished();
    }
}

std::string Rigctld::Rigctl(const std::string& arguments) const
{
    QProcess p;
    QStringList args{QStringLiteral("-m"), QStringLiteral("2"), QStringLiteral("-r"),
                     QString::fromStdString(Address())};
    args += QString::fromStdString(arguments).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    p.start(QStringLiteral("rigctl"), args);
    if (!p.waitForFinished(10000)) {
        p.kill();
        p.waitForFinished();
        return {};
    }
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed().toStdString();
}

BlackHole::BlackHole()
{
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_in at = tesmar::test::LoopbackAddress(0);
    socklen_t size = sizeof at;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 ||
        ::listen(listener_, 64) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&at), &size) != 0)
        throw std::runtime_error("black-hole listener failed");
    port_ = ntohs(at.sin_port);
}

BlackHole::~BlackHole()
{
    for (int fd : accepted_)
        ::close(fd);
    ::close(listener_);
}

std::string BlackHole::Address() const { return "127.0.0.1:" + std::to_string(port_); }

int BlackHole::Connections()
{
    for (int fd; (fd = ::accept(listener_, nullptr, nullptr)) >= 0;)
        accepted_.push_back(fd);
    return static_cast<int>(accepted_.size());
}

KenwoodPty::KenwoodPty(std::filesystem::path link)
    : link_(std::move(link))
{
    PlugIn();
}

KenwoodPty::~KenwoodPty() { Unplug(); }

void KenwoodPty::PlugIn()
{
    Unplug();
    termios raw{};
    cfmakeraw(&raw);
    char name[256] = {};
    if (::openpty(&master_, &slave_, name, &raw, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    std::error_code ec;
    std::filesystem::remove(link_, ec);
    std::filesystem::create_symlink(name, link_);
    notifier_ = std::make_unique<QSocketNotifier>(master_, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { Take(); });
}

void KenwoodPty::Unplug()
{
    notifier_.reset();
    if (master_ >= 0)
        ::close(master_);
    if (slave_ >= 0)
        ::close(slave_);
    master_ = slave_ = -1;
}

void KenwoodPty::Take()
{
    char buffer[256];
    for (;;) {
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n <= 0)
            break;
        for (ssize_t i = 0; i < n; ++i)
            if (buffer[i] != ';')
                partial_.push_back(buffer[i]);
            else if (const std::string command = std::exchange(partial_, {}); !silent)
                Answer(command);
    }
}

void KenwoodPty::Answer(const std::string& c)
{
    char reply[64] = {};
    if (c == "ID")
        std::snprintf(reply, sizeof reply, "ID020;");
    else if (c == "FA")
        std::snprintf(reply, sizeof reply, "FA%011lld;", static_cast<long long>(frequency));
    else if (c.size() > 2 && c.compare(0, 2, "FA") == 0)
        frequency = std::stoll(c.substr(2));
    else if (c == "MD")
        std::snprintf(reply, sizeof reply, "MD%d;", mode);
    else if (c.size() == 3 && c.compare(0, 2, "MD") == 0)
        mode = c[2] - '0';
    else if (c == "IF")  // frequency, step, RIT, flags, mode at column 29, VFO, ...
        std::snprintf(reply, sizeof reply, "IF%011lld     +0000000000%d000000 ;",
                      static_cast<long long>(frequency), mode);
    else if (c == "AI")
        std::snprintf(reply, sizeof reply, "AI0;");
    else if (c == "PS")
        std::snprintf(reply, sizeof reply, "PS1;");
    else if (c.size() <= 2)
        std::snprintf(reply, sizeof reply, "?;");
    const std::size_t length = std::char_traits<char>::length(reply);
    if (length > 0 && ::write(master_, reply, length) < 0 && errno != EAGAIN)
        throw std::runtime_error("pty write failed");
}

}  // namespace radio::test
