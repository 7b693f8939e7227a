// The real program on an X server of the test's own (Xvfb), bare, under a
// framing window manager (openbox) and scaled twice: stored places come back
// exactly at every start and places off the screen come onto it. Qt's
// offscreen platform has neither frames nor a window manager.

#include "tests/support/Loopback.h"
#include "tests/support/TempDir.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fstream>
#include <map>
#include <ostream>
#include <thread>
#include <tuple>

#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

// Children die with the test process however it ends: no X server is left.
// Unread, a full pipe would stop a child: what it complains of goes to `log`.
void Start(QProcess& p, const QProcessEnvironment& env, const QString& program,
           const QStringList& args = {}, const QString& log = QProcess::nullDevice())
{
    p.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    p.setProcessEnvironment(env);
    p.setStandardErrorFile(log);
    p.start(program, args);
}

void Stop(QProcess& p)
{
    p.terminate();
    if (!p.waitForFinished(5000)) {
        p.kill();
        p.waitForFinished();
    }
}

// What a tool prints on the display; empty when it fails or hangs a minute.
QString Output(const QProcessEnvironment& env, const QString& program, const QStringList& args)
{
    QProcess p;
    Start(p, env, program, args);
    const bool ended = p.waitForFinished(60000);
    Stop(p);
    return ended ? QString::fromLocal8Bit(p.readAllStandardOutput()) : QString();
}

struct Config {
    const char* what;
    bool windowManager;
    int scale;  // QT_SCALE_FACTOR
};

// Named in the test's name, not as bytes with a pointer in them.
void PrintTo(const Config& c, std::ostream* out) { *out << c.what; }

class DesktopPlaces : public ::testing::TestWithParam<Config> {
protected:
    void SetUp() override
    {
        const auto home = temp_.Path();
        std::filesystem::create_directories(home / "runtime");
        std::filesystem::permissions(home / "runtime", std::filesystem::perms::owner_all);
        std::filesystem::copy_file(TESMAR_EXE, home / "tesmar");
        env_ = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"})
            env_.insert(name, QString::fromStdString(home.string()));
        env_.insert("XDG_RUNTIME_DIR", QString::fromStdString((home / "runtime").string()));
        // The server picks a free display and names it once it takes clients.
        Start(server_, env_, "Xvfb",
              {"-displayfd", "1", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"});
        while (server_.waitForReadyRead(10000) && !server_.canReadLine()) {
        }
        env_.insert("DISPLAY", ":" + QString::fromLatin1(server_.readLine()).trimmed());
        if (!GetParam().windowManager)
            return;
        Start(windowManager_, env_, "openbox", {"--sm-disable"});
        // Managing once it names itself on the root window.
        for (int i = 0;
             i < 200 &&
             !Output(env_, "xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"}).contains("window id");
             ++i)
            std::this_thread::sleep_for(50ms);
    }
    void TearDown() override
    {
        Stop(windowManager_);
        Stop(server_);
    }

    // Starts the program, waits until every window shows and stands still,
    // and ends it as a desktop session does.
    void RunOnce()
    {
        QProcessEnvironment env = env_;
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("QT_SCALE_FACTOR", QString::number(GetParam().scale));
        env.insert("JACK_NO_START_SERVER", "1");
        env.insert("JACK_DEFAULT_SERVER", "tesmar-places-test-absent");
        QProcess program;
        const auto log = temp_.Path() / "tesmar.log";
        Start(program, env, QString::fromStdString((temp_.Path() / "tesmar").string()), {},
              QString::fromStdString(log.string()));
        ASSERT_TRUE(program.waitForStarted());
        for (const char* title : {"Tesmar", "Spectrum Display", "IF filter", "Input key",
                                  "AF filter", "Memory list", "Wave recoder"}) {
            const QStringList find = {"search", "--onlyvisible", "--name",
                                      "^" + QString(title) + "$"};
            for (int i = 0; i < 600 && program.state() == QProcess::Running &&
                            Output(env, "xdotool", find).isEmpty();
                 ++i)
                std::this_thread::sleep_for(50ms);
            ASSERT_NE(Output(env, "xdotool", find), "")
                << title << " did not show; the program says:\n"
                << std::ifstream(log).rdbuf();
        }
        // The frame is checked at the first expose: wait for a still screen.
        QString last, tree;
        for (int same = 0, i = 0; same < 3 && i < 100; ++i, last = tree) {
            std::this_thread::sleep_for(100ms);
            tree = Output(env, "xwininfo", {"-root", "-tree"});
            same = tree == last ? same + 1 : 0;
        }
        ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
        EXPECT_TRUE(program.waitForFinished(10000));
        Stop(program);
    }

    std::map<std::string, int> Places()
    {
        std::ifstream ini(temp_.Path() / "tesmar.ini");
        std::map<std::string, int> places;
        for (std::string line; std::getline(ini, line);)
            if (const auto eq = line.find('=');
                line.find("Top=") == eq - 3 || line.find("Left=") == eq - 4)
                places[line.substr(0, eq)] = std::stoi(line.substr(eq + 1));
        places.erase("MostTop");
        return places;
    }

    tesmar::test::TempDir temp_;
    QProcessEnvironment env_;
    QProcess server_, windowManager_;
};

// Under openbox every window crept 20 px up and 1 px left per start (its
// frame's place stored, its client's restored), and no place off the screen
// (a smaller or scaled screen, a monitor taken away) came back onto it.
TEST_P(DesktopPlaces, PlacesComeBackExactlyAndOntoTheScreen)
{
    // Spectrum, keypad and wave recorder fit even the twice scaled screen.
    const std::map<std::string, int> kept = {{"SpecTop", 200}, {"SpecLeft", 100},
                                             {"InpTop", 300},  {"InpLeft", 50},
                                             {"WaveTop", 400}, {"WaveLeft", 100}};
    std::ofstream(temp_.Path() / "tesmar.ini")
        << "[Form]\nSpecTop=200\nSpecLeft=100\nSpecWidth=500\nSpecHeight=250\nInpTop=300\n"
           "InpLeft=50\nWaveTop=400\nWaveLeft=100\nMainTop=100\nMainLeft=3000\nFiltTop=50\n"
           "FiltLeft=-3000\nListTop=2000\nListLeft=2000\nListWidth=400\nListHeight=200\n"
           "AudioTop=900\nAudioLeft=1200\nSpecShow=1\nFiltShow=1\nInpShow=1\nListShow=1\n"
           "AudioShow=1\nWaveShow=1\n";
    ASSERT_NO_FATAL_FAILURE(RunOnce());
    const std::map<std::string, int> first = Places();
    for (const auto& [key, value] : kept)
        EXPECT_EQ(first.at(key), value) << key;
    // Client sizes: the frames are at least as large.
    const int screenWidth = 1280 / GetParam().scale, screenHeight = 1024 / GetParam().scale;
    for (const auto& [name, width, height] : {std::tuple{"Main", 734, 155},
                                              {"Filt", 432, 62},
                                              {"List", 400, 200},
                                              {"Audio", 432, 62}}) {
        const int left = first.at(std::string(name) + "Left");
        const int top = first.at(std::string(name) + "Top");
        EXPECT_TRUE(left >= 0 && (left + width <= screenWidth || left == 0)) << name << left;
        EXPECT_TRUE(top >= 0 && top + height <= screenHeight) << name << top;
    }
    for (int run = 2; run <= 3; ++run) {
        ASSERT_NO_FATAL_FAILURE(RunOnce());
        EXPECT_EQ(Places(), first) << "run " << run;
    }
}

// The frame (or, bare, the window itself) that is a child of the root, as
// xwininfo writes it ("0x1e00003"; xdotool gives decimal ids).
QString TopLevelOf(const QProcessEnvironment& env, QString id)
{
    for (int depth = 0; depth < 8; ++depth) {
        const QString tree = Output(env, "xwininfo", {"-tree", "-id", id});
        const auto at = tree.indexOf("Parent window id: ");
        if (at < 0 || tree.indexOf("(the root window)", at) == tree.indexOf('(', at))
            break;
        id = tree.mid(at + 18).section(' ', 0, 0);
    }
    return "0x" + QString::number(id.toULongLong(nullptr, 0), 16);
}

// A box raised while the program starts (here: remote control cannot listen,
// its port being taken) was made before the main window and lay beneath it
// where no window manager stacks them; modal, it left the window taking no
// click at all.
TEST_P(DesktopPlaces, AStartUpBoxLiesAboveTheWindowItBlocks)
{
    const uint16_t port = tesmar::test::FreePorts(1)[0];
    const int taken = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(taken, 0);
    sockaddr_in address = tesmar::test::LoopbackAddress(port);
    ASSERT_EQ(::bind(taken, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(taken, 1), 0);
    QProcessEnvironment env = env_;
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("QT_SCALE_FACTOR", QString::number(GetParam().scale));
    env.insert("JACK_NO_START_SERVER", "1");
    env.insert("JACK_DEFAULT_SERVER", "tesmar-places-test-absent");
    QProcess program;
    Start(program, env, QString::fromStdString((temp_.Path() / "tesmar").string()),
          {"--remote", QString::number(port)});
    ASSERT_TRUE(program.waitForStarted());
    // The main window and the boxes all bear the program's name; the main
    // window is the widest.
    auto named = [&] {
        return Output(env, "xdotool", {"search", "--onlyvisible", "--name", "^Tesmar$"})
            .split('\n', Qt::SkipEmptyParts);
    };
    for (int i = 0; i < 600 && named().size() < 2 && program.state() == QProcess::Running; ++i)
        std::this_thread::sleep_for(50ms);
    std::this_thread::sleep_for(1s);  // the secondary windows and a raise or two
    QStringList windows = named();
    ASSERT_GE(windows.size(), 2);
    auto width = [&](const QString& id) {
        const QString info = Output(env, "xwininfo", {"-id", id});
        return info.mid(info.indexOf("Width: ") + 7).section('\n', 0, 0).toInt();
    };
    std::sort(windows.begin(), windows.end(),
              [&](const QString& a, const QString& b) { return width(a) > width(b); });
    // The root's children from the top of the stack to its bottom.
    const QString stack = Output(env, "xwininfo", {"-root", "-children"});
    auto place = [&](const QString& id) { return stack.indexOf(" " + TopLevelOf(env, id) + " "); };
    const auto mainAt = place(windows[0]);
    ASSERT_GE(mainAt, 0) << stack.toStdString();
    for (int k = 1; k < windows.size(); ++k) {
        EXPECT_GE(place(windows[k]), 0) << stack.toStdString();
        EXPECT_LT(place(windows[k]), mainAt) << stack.toStdString();
    }
    ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    EXPECT_TRUE(program.waitForFinished(10000));
    Stop(program);
    ::close(taken);
}

INSTANTIATE_TEST_SUITE_P(, DesktopPlaces,
                         ::testing::Values(Config{"Bare", false, 1}, Config{"Openbox", true, 1},
                                           Config{"OpenboxScaledTwice", true, 2}),
                         [](const auto& info) { return std::string(info.param.what); });

}  // namespace
