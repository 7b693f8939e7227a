// The program as a package installs it: `cmake --install` into a DESTDIR,
// the tree made read-only, the installed receiver started on Qt's offscreen
// platform against a private JACK server with the dummy driver. It must find
// its meter face, sounds and demo band in share/tesmar and write nothing
// into the prefix, not even as root, whom no permission stops.

#include "JackServer.h"
#include "tests/support/TempDir.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <tuple>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// Every entry of the tree with what a write would change.
using Snapshot = std::map<std::string, std::tuple<uintmax_t, fs::file_time_type, fs::perms>>;

Snapshot Take(const fs::path& root)
{
    Snapshot s;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        const auto size = e.is_regular_file() ? e.file_size() : 0;
        s[e.path().string()] = {size, e.last_write_time(), e.status().permissions()};
    }
    return s;
}

void RemoveWritePermissions(const fs::path& root)
{
    const auto write = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    for (const auto& e : fs::recursive_directory_iterator(root))
        fs::permissions(e.path(), write, fs::perm_options::remove);
    fs::permissions(root, write, fs::perm_options::remove);
}

void AddOwnerWrite(const fs::path& root)
{
    std::error_code ec;
    fs::permissions(root, fs::perms::owner_write, fs::perm_options::add, ec);
    for (const auto& e : fs::recursive_directory_iterator(root, ec))
        fs::permissions(e.path(), fs::perms::owner_write, fs::perm_options::add, ec);
}

bool CatchesTermination(qint64 pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("SigCgt:", 0) == 0) {
            const unsigned long long mask = std::stoull(line.substr(7), nullptr, 16);
            return (mask >> (SIGTERM - 1)) & 1;
        }
    }
    return false;
}

// A local TCP port nobody listens on just now.
int FreePort()
{
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    const bool bound = ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
                       ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &length) == 0;
    ::close(s);
    return bound ? ntohs(a.sin_port) : 0;
}

// The receiver's frequency over its remote control, or "" while it does not
// answer yet: an answer means the start-up is over and the event loop runs.
std::string AskFrequency(int port)
{
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string reply;
    if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::write(s, "f\n", 2) == 2) {
        char buffer[256];
        pollfd p{s, POLLIN, 0};
        while (reply.find('\n') == std::string::npos && ::poll(&p, 1, 5000) > 0) {
            const ssize_t n = ::read(s, buffer, sizeof buffer);
            if (n <= 0)
                break;
            reply.append(buffer, static_cast<std::size_t>(n));
        }
    }
    ::close(s);
    return reply;
}

TEST(Install, TheInstalledProgramRunsFromAReadOnlyPrefixAndFindsItsFiles)
{
    if (!audiotest::JackServer::Installed())
        GTEST_SKIP() << "jackd is not installed";
    tesmar::test::TempDir temp;
    const fs::path dest = temp / "dest";
    const fs::path home = temp / "home";
    fs::create_directories(home);

    QProcess install;
    QProcessEnvironment installEnv = QProcessEnvironment::systemEnvironment();
    installEnv.insert("DESTDIR", QString::fromStdString(dest.string()));
    install.setProcessEnvironment(installEnv);
    install.start(CMAKE_COMMAND, {"--install", TESMAR_BUILD_DIR, "--prefix", "/usr"});
    ASSERT_TRUE(install.waitForFinished(120000));
    ASSERT_EQ(install.exitCode(), 0) << install.readAllStandardError().toStdString();

    const fs::path share = dest / "usr" / "share" / "tesmar";
    for (const char* name : {"Meter.bmp", "beep1.wav", "beep2.wav", "beep3.wav", "RawData.dat"})
        EXPECT_TRUE(fs::is_regular_file(share / name)) << name;
    RemoveWritePermissions(dest);
    const Snapshot before = Take(dest);

    // The meter face is read as the main window is built.
    const int watch = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, share.c_str(), IN_OPEN), 0);

    audiotest::JackServer server;
    std::string error;
    ASSERT_TRUE(server.Start(error)) << error;

    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("HOME", QString::fromStdString(home.string()));
    env.insert("XDG_DATA_HOME", QString::fromStdString((home / "share").string()));
    env.insert("XDG_CONFIG_HOME", QString::fromStdString((home / "config").string()));
    env.insert("JACK_NO_START_SERVER", "1");
    program.setProcessEnvironment(env);
    const int port = FreePort();
    ASSERT_GT(port, 0);
    program.start(QString::fromStdString((dest / "usr" / "bin" / "tesmar").string()),
                  {"--remote", QString::number(port)});
    ASSERT_TRUE(program.waitForStarted());

    bool meterRead = false;
    std::string frequency;
    for (int i = 0; i < 1200 && !(meterRead && !frequency.empty()); ++i) {
        ASSERT_EQ(program.state(), QProcess::Running)
            << program.readAllStandardError().toStdString();
        pollfd p{watch, POLLIN, 0};
        if (::poll(&p, 1, 50) > 0) {
            alignas(inotify_event) char buffer[4096];
            const ssize_t n = ::read(watch, buffer, sizeof buffer);
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                if (event->len > 0 && std::string(event->name) == "Meter.bmp")
                    meterRead = true;
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        if (CatchesTermination(program.processId()))
            frequency = AskFrequency(port);
    }
    ::close(watch);
    EXPECT_TRUE(meterRead);
    EXPECT_FALSE(frequency.empty());
    ASSERT_EQ(::kill(static_cast<pid_t>(program.processId()), SIGTERM), 0);
    ASSERT_TRUE(program.waitForFinished(10000));
    const std::string log = program.readAllStandardError().toStdString();
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << log;
    EXPECT_EQ(program.exitCode(), 0) << log;
    // The program names any read-only file it cannot find.
    EXPECT_EQ(log.find("missing"), std::string::npos) << log;

    EXPECT_TRUE(Take(dest) == before) << "the program wrote into its prefix";
    EXPECT_TRUE(fs::is_regular_file(home / "share" / "Tesmar" / "tesmar.ini"));
    AddOwnerWrite(dest);  // so that the temporary folder can go
}

}  // namespace
