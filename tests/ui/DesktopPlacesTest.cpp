// The real program on an X server of the test's own (Xvfb), bare, under a
// framing window manager (openbox) and scaled twice: stored places come back
// exactly at every start and places off the screen come onto it. Qt's
// offscreen platform has neither frames nor a window manager.

#include "tests/support/Loopback.h"
#include "tests/support/TempDir.h"

#include <QProcess>
#include <QRect>

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

    // Starts the program, waits until every window of `titles` shows and
    // stands still, notes where each shows (its client area in the screen's
    // pixels) and ends it as a desktop session does.
    void RunOnce(const std::vector<QString>& titles = kAllWindows)
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
        for (const QString& title : titles) {
            const QStringList find = {"search", "--onlyvisible", "--name", "^" + title + "$"};
            for (int i = 0; i < 600 && program.state() == QProcess::Running &&
                            Output(env, "xdotool", find).isEmpty();
                 ++i)
                std::this_thread::sleep_for(50ms);
            ASSERT_NE(Output(env, "xdotool", find), "")
                << title.toStdString() << " did not show; the program says:\n"
                << std::ifstream(log).rdbuf();
        }
        // The frame is checked at the first expose: wait for a still screen.
        QString last, tree;
        for (int same = 0, i = 0; same < 3 && i < 100; ++i, last = tree) {
            std::this_thread::sleep_for(100ms);
            tree = Output(env, "xwininfo", {"-root", "-tree"});
            same = tree == last ? same + 1 : 0;
        }
        shown_.clear();
        for (const QString& title : titles)
            shown_[title.toStdString()] = Geometry(env, title);
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
                eq != std::string::npos &&
                (line.substr(0, eq).ends_with("Top") || line.substr(0, eq).ends_with("Left")))
                places[line.substr(0, eq)] = std::stoi(line.substr(eq + 1));
        places.erase("MostTop");
        return places;
    }

    // The client area of the window titled `title`, as xdotool reports it;
    // of several (the main window shares its title with its message boxes)
    // the largest.
    static QRect Geometry(const QProcessEnvironment& env, const QString& title)
    {
        const QString shell = Output(env, "xdotool",
                                     {"search", "--onlyvisible", "--name", "^" + title + "$",
                                      "getwindowgeometry", "--shell", "%@"});
        QRect largest;
        std::map<QString, int> v;
        auto take = [&] {
            const QRect r(v["X"], v["Y"], v["WIDTH"], v["HEIGHT"]);
            if (r.width() * r.height() > largest.width() * largest.height())
                largest = r;
        };
        for (const QString& line : shell.split('\n', Qt::SkipEmptyParts)) {
            const auto eq = line.indexOf('=');
            if (eq <= 0)
                continue;
            if (line.startsWith("WINDOW=") && !v.empty()) {
                take();
                v.clear();
            }
            v[line.left(eq)] = line.mid(eq + 1).toInt();
        }
        take();
        return largest;
    }

    inline static const std::vector<QString> kAllWindows = {
        "Tesmar",    "Spectrum Display", "IF filter",   "Input key",
        "AF filter", "Memory list",      "Wave recoder"};

    tesmar::test::TempDir temp_;
    QProcessEnvironment env_;
    QProcess server_, windowManager_;
    std::map<std::string, QRect> shown_;  // the last run's windows, by title
};

// Under openbox every window crept 20 px up and 1 px left per start (its
// frame's place stored, its client's restored), and no place off the screen
// (a smaller or scaled screen, a monitor taken away) came back onto it. A
// place brought onto the screen for a run was then stored over the
// operator's: only the operator's moves are stored, so that the layout is
// there again on the screen it was made for.
TEST_P(DesktopPlaces, PlacesComeBackExactlyAndOntoTheScreenWithoutReplacingTheStoredOnes)
{
    std::ofstream(temp_.Path() / "tesmar.ini")
        << "[Form]\nSpecTop=200\nSpecLeft=100\nSpecWidth=500\nSpecHeight=250\nInpTop=300\n"
           "InpLeft=50\nWaveTop=400\nWaveLeft=100\nMainTop=100\nMainLeft=3000\nFiltTop=50\n"
           "FiltLeft=-3000\nListTop=2000\nListLeft=2000\nListWidth=400\nListHeight=200\n"
           "AudioTop=900\nAudioLeft=1200\nSpecShow=1\nFiltShow=1\nInpShow=1\nListShow=1\n"
           "AudioShow=1\nWaveShow=1\n";
    const std::map<std::string, int> stored = Places();
    ASSERT_EQ(stored.size(), 14u);
    for (int run = 1; run <= 3; ++run) {
        ASSERT_NO_FATAL_FAILURE(RunOnce());
        EXPECT_EQ(Places(), stored) << "run " << run;
    }
    // Every window showed on the screen (in its pixels: 1280 x 1024), its
    // title bar in sight. (At the first expose openbox may not have told the
    // frame's height yet: a window brought up from below the screen may lack
    // a title bar's height at the bottom.)
    const QRect screen(0, 0, 1280, 1024);
    for (const auto& [title, shown] : shown_) {
        const QRect seen = screen.intersected(shown);
        EXPECT_TRUE(screen.contains(shown.topLeft()) &&
                    seen.width() >= std::min(shown.width(), screen.width() - shown.left()) &&
                    seen.height() >= shown.height() - 30)
            << title << " at " << shown.x() << "," << shown.y() << " " << shown.width() << "x"
            << shown.height();
    }
}

// A window opened for the first time came up at (0,0), on top of the main
// window there: the keypad covered its close button. It goes beside the
// main window, on the screen, and its place is stored only once moved.
TEST_P(DesktopPlaces, FirstPlacesGoBesideTheMainWindow)
{
    std::ofstream(temp_.Path() / "tesmar.ini")
        << "[Form]\nMainTop=0\nMainLeft=0\nSpecShow=1\nInpShow=1\nWaveShow=1\n";
    ASSERT_NO_FATAL_FAILURE(RunOnce({"Tesmar", "Spectrum Display", "Input key", "Wave recoder"}));
    const QRect screen(0, 0, 1280, 1024);
    const QRect main = shown_.at("Tesmar");
    for (const auto& [title, shown] : shown_) {
        EXPECT_TRUE(screen.contains(shown.topLeft()))
            << title << " at " << shown.x() << "," << shown.y();
        // Twice scaled, the spectrum window finds no room beside the main
        // window: below it, the main window's title bar stays in sight.
        if (title == "Tesmar")
            continue;
        if (title == "Spectrum Display" && GetParam().scale > 1)
            EXPECT_GT(shown.top(), main.top() + 20) << title;
        else
            EXPECT_FALSE(shown.intersects(main))
                << title << " at " << shown.x() << "," << shown.y() << ", the main window at "
                << main.x() << "," << main.y() << " " << main.width() << "x" << main.height();
    }
    for (const char* key : {"SpecTop", "SpecLeft", "InpTop", "InpLeft", "WaveTop", "WaveLeft"})
        EXPECT_EQ(Places().at(key), 0) << key;
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
