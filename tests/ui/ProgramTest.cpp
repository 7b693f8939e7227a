// The real program as a desktop session or a service manager runs it: a
// process of its own on Qt's offscreen platform, ended by a signal, its
// files in real folders. No sound server is found, so both devices fail,
// but where a test starts a private JACK server of its own.

#include "JackRig.h"
#include "JackServer.h"
#include "tests/support/Loopback.h"
#include "tests/support/TempDir.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>

#include <grp.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// The "nobody" account: for root, whom no folder's permissions stop, the
// program runs as this user so that a read-only folder is read-only for it.
constexpr uid_t kNobody = 65534;

std::string ReadText(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteText(const fs::path& file, const std::string& text)
{
    std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
}

bool HasLine(const std::string& text, const std::string& line)
{
    return ("\n" + text).find("\n" + line + "\n") != std::string::npos;
}

// True once the process catches SIGTERM and SIGINT (its handlers are set up).
bool CatchesTermination(qint64 pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("SigCgt:", 0) != 0)
            continue;
        const unsigned long long mask = std::stoull(line.substr(7), nullptr, 16);
        const unsigned long long want = (1ULL << (SIGTERM - 1)) | (1ULL << (SIGINT - 1));
        return (mask & want) == want;
    }
    return false;
}

class Program : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Another user must be able to reach the program and its home.
        fs::permissions(temp_.Path(), fs::perms::owner_all | fs::perms::group_read |
                                          fs::perms::group_exec | fs::perms::others_read |
                                          fs::perms::others_exec);
        fs::create_directories(programDir_);
        fs::create_directories(home_ / "runtime");
        fs::permissions(home_ / "runtime", fs::perms::owner_all);
        fs::copy_file(TESMAR_EXE, programDir_ / "tesmar");
    }

    void TearDown() override
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished();
        }
        std::error_code ec;
        fs::permissions(programDir_, fs::perms::owner_all, fs::perm_options::add, ec);
    }

    static bool Root() { return ::geteuid() == 0; }

    // Starts the program and waits until its termination handlers are set up.
    void Start(const QStringList& arguments = {})
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("HOME", QString::fromStdString(home_.string()));
        env.insert("XDG_DATA_HOME", QString::fromStdString((home_ / "share").string()));
        env.insert("XDG_CONFIG_HOME", QString::fromStdString((home_ / "config").string()));
        env.insert("XDG_RUNTIME_DIR", QString::fromStdString((home_ / "runtime").string()));
        env.insert("JACK_NO_START_SERVER", "1");
        env.insert("JACK_DEFAULT_SERVER", jack_.Name().empty()
                                              ? QStringLiteral("tesmar-program-test-absent")
                                              : QString::fromStdString(jack_.Name()));
        process_.setProcessEnvironment(env);
        // The server's socket is its user's: the program meets it as the same.
        if (Root() && jack_.Name().empty()) {
            for (const auto& entry : fs::recursive_directory_iterator(home_)) {
                ASSERT_EQ(::chown(entry.path().c_str(), kNobody, kNobody), 0);
            }
            ASSERT_EQ(::chown(home_.c_str(), kNobody, kNobody), 0);
            process_.setChildProcessModifier([] {
                if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 ||
                    ::setuid(kNobody) != 0)
                    ::_exit(120);
            });
        }
        process_.start(QString::fromStdString((programDir_ / "tesmar").string()), arguments);
        ASSERT_TRUE(process_.waitForStarted());
        for (int i = 0; i < 600 && !CatchesTermination(process_.processId()); ++i) {
            ASSERT_EQ(process_.state(), QProcess::Running)
                << process_.readAllStandardError().toStdString();
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        ASSERT_TRUE(CatchesTermination(process_.processId()));
    }

    // The reply to one command line sent to the program's remote control on
    // `port`, once it listens there (empty when it never does).
    std::string AskRemote(uint16_t port, const std::string& line, int patienceSeconds = 30)
    {
        int fd = -1;
        for (int i = 0; i < 600 && fd < 0 && process_.state() == QProcess::Running; ++i) {
            fd = tesmar::test::ConnectLocal(port);
            if (fd < 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        if (fd < 0)
            return {};
        // A program that never answers must not hold the test up for good.
        const timeval patience{patienceSeconds, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
        ::send(fd, line.data(), line.size(), MSG_NOSIGNAL);
        std::string reply;
        char c = 0;
        while (reply.find('\n') == std::string::npos && ::recv(fd, &c, 1, 0) == 1)
            reply += c;
        ::close(fd);
        return reply;
    }

    // Sends the signal; true when the program ended by itself, with status 0,
    // within 5 s (then the SIGKILL of a logout or service stop would come).
    bool EndWith(int signalNumber)
    {
        EXPECT_EQ(::kill(static_cast<pid_t>(process_.processId()), signalNumber), 0);
        const bool ended = process_.waitForFinished(5000);
        if (!ended) {
            process_.kill();
            process_.waitForFinished();
        }
        log_ = process_.readAllStandardError().toStdString();
        return ended && process_.exitStatus() == QProcess::NormalExit && process_.exitCode() == 0;
    }

    // True once the program's capture and playback streams have their ports
    // on the test's server (within a minute).
    bool StreamsOnTheServer()
    {
        audiotest::JackRig watch;
        for (int i = 0; i < 1200 && process_.state() == QProcess::Running; ++i) {
            if ((watch.Client() || watch.Open("watch", 0, 0)) &&
                watch.PortsStartingWith("tesmar-capture:").size() == 2 &&
                watch.PortsStartingWith("tesmar-playback:").size() == 2)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    audiotest::JackServer jack_;
    tesmar::test::TempDir temp_;
    const fs::path programDir_ = temp_.Path() / "program";
    const fs::path home_ = temp_.Path() / "home";
    QProcess process_;
    std::string log_;
};

// The close used to wait on a box that told of the failed save, and a logout
// stalled until the program was killed.
TEST_F(Program, ASignalEndsItWithinFiveSecondsWhenTheSettingsCannotBeSaved)
{
    const fs::path ini = programDir_ / "tesmar.ini";
    const fs::path notice = programDir_ / "tesmar.notice";
    fs::create_directory(ini);  // no file can replace a folder
    if (Root()) {
        ASSERT_EQ(::chown(programDir_.c_str(), kNobody, kNobody), 0);
    }
    for (const int signalNumber : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signalNumber);
        Start();
        ASSERT_TRUE(EndWith(signalNumber)) << "status " << process_.exitCode() << "\n" << log_;
        // In the log at once, and kept for the next start.
        EXPECT_NE(log_.find(ini.string()), std::string::npos) << log_;
        EXPECT_NE(ReadText(notice).find(ini.string()), std::string::npos) << ReadText(notice);
        fs::remove(notice);
    }
}

// A program folder its user cannot write (a system-wide install): the
// settings installed beside the program give the first start its values,
// saves go to the per-user folder, and from then on the per-user file counts.
TEST_F(Program, AReadOnlyProgramFolderGivesTheStartingValuesAndSavesGoPerUser)
{
    const std::string installed = "[Wave]\nFreqCenter=7100000\nRxMode=3\n";
    WriteText(programDir_ / "tesmar.ini", installed);
    fs::permissions(programDir_,
                    fs::perms::owner_all | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    fs::permissions(programDir_, fs::perms::owner_read | fs::perms::owner_exec,
                    fs::perm_options::add);
    const fs::path perUser = home_ / "share" / "Tesmar" / "tesmar.ini";

    Start();
    ASSERT_TRUE(EndWith(SIGTERM)) << log_;
    const std::string first = ReadText(perUser);
    EXPECT_TRUE(HasLine(first, "FreqCenter=7100000")) << first;
    EXPECT_TRUE(HasLine(first, "RxMode=3")) << first;
    EXPECT_EQ(ReadText(programDir_ / "tesmar.ini"), installed);

    std::string changed = first;
    changed.replace(changed.find("FreqCenter=7100000"), 18, "FreqCenter=14200000");
    WriteText(perUser, changed);
    Start();
    ASSERT_TRUE(EndWith(SIGTERM)) << log_;
    EXPECT_TRUE(HasLine(ReadText(perUser), "FreqCenter=14200000")) << ReadText(perUser);
}

// Remote control lives beside the receiver, set going by the program's main:
// the settings file's choice at the start, or instead of it --remote's port
// for this run.
TEST_F(Program, RemoteControlListensWhereTheSettingsFileOrTheCommandLineSays)
{
    const std::vector<uint16_t> ports = tesmar::test::FreePorts(2);
    const uint16_t stored = ports[0], given = ports[1];
    WriteText(programDir_ / "tesmar.ini",
              "[Remote]\nRemoteOn=1\nRemotePort=" + std::to_string(stored) + "\n");
    struct Case {
        QStringList arguments;
        uint16_t listening;
        uint16_t closed;
    };
    const Case cases[] = {
        {{}, stored, given},
        {{"--remote", QString::number(given)}, given, stored},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        Start(c.arguments);
        EXPECT_EQ(AskRemote(c.listening, "f\n"), "5000000\n");
        EXPECT_FALSE(tesmar::test::ListensLocally(c.closed));
        ASSERT_TRUE(EndWith(SIGTERM)) << log_;
    }
}

// A sound server not there when the program starts (killed a moment before,
// or on its way up) used to leave it without capture and playback for good,
// with two boxes beneath the window: the streams come once the server does,
// and the keypad's sound worker says once that it waits instead of ALSA's
// library filling standard error every 2 s.
TEST_F(Program, TheStreamsComeWithASoundServerThatWasNotThereAtTheStart)
{
    if (!audiotest::JackServer::Installed())
        GTEST_SKIP() << "jackd is not installed (scripts/deps installs jackd2)";
    std::string error;
    ASSERT_TRUE(jack_.Start(error)) << error;
    jack_.Stop();
    Start();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    ASSERT_TRUE(jack_.Restart(error)) << error;
    EXPECT_TRUE(StreamsOnTheServer());
    ASSERT_TRUE(EndWith(SIGTERM)) << log_;
    EXPECT_EQ(log_.find("ALSA lib"), std::string::npos) << log_;
    const std::string told = "No output for the keypad's sounds";
    EXPECT_EQ(log_.find(told), log_.rfind(told)) << log_;
}

// A server that stops answering (stopped, a stalled driver): the main thread
// waited for the sound system behind the worker's call into it, the remote
// control went unanswered for as long, and a SIGTERM meanwhile ended the
// program at its deadline without saving the settings.
TEST_F(Program, AServerThatStopsAnsweringLeavesTheProgramAnsweringAndItsSettingsSaved)
{
    if (!audiotest::JackServer::Installed())
        GTEST_SKIP() << "jackd is not installed (scripts/deps installs jackd2)";
    std::string error;
    ASSERT_TRUE(jack_.Start(error)) << error;
    const uint16_t port = tesmar::test::FreePorts(1)[0];
    Start({"--remote", QString::number(port)});
    ASSERT_TRUE(StreamsOnTheServer());
    // Answering, the program has finished its start (whose opens still
    // wait on the server: the window has yet to show).
    ASSERT_EQ(AskRemote(port, "f\n"), "5000000\n");
    jack_.Suspend();
    // Two checks of the streams' life: the loss is found and its close handed on.
    std::this_thread::sleep_for(std::chrono::milliseconds(2 * 2000 + 1000));
    const std::string answer = AskRemote(port, "F 5010000\n", 10);
    const bool ended = EndWith(SIGTERM);
    jack_.Resume();
    EXPECT_EQ(answer, "RPRT 0\n");
    EXPECT_TRUE(ended) << "status " << process_.exitCode() << "\n" << log_;
    const std::string ini = ReadText(programDir_ / "tesmar.ini");
    auto value = [&ini](const std::string& key) {
        const std::size_t at = ("\n" + ini).find("\n" + key + "=");
        return at == std::string::npos ? -1 : std::stoll(ini.substr(at + key.size() + 1));
    };
    EXPECT_EQ(value("FreqCenter") + value("FreqTune"), 5010000) << ini;
}

}  // namespace
