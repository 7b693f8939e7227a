// The real program on a real X server (Xvfb), with a framing window manager
// (openbox) and without: every window's stored place survives restarts
// exactly, and a place off the screen comes back onto it. Qt's offscreen
// platform has neither frames nor a window manager, so neither fault shows
// there.

#include "tests/support/TempDir.h"

#include <QProcess>
#include <QStringList>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>

#include <sys/prctl.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Children die with the test process, however it ends: no X server or
// window manager is left behind by a crashed or killed test.
void DieWithParent(QProcess& process)
{
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

void Stop(QProcess& process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished();
    }
}

// An X server of the test's own, 1280 x 1024, and on request openbox on it.
class Desktop {
public:
    Desktop(bool windowManager, const fs::path& home)
    {
        env_ = QProcessEnvironment::systemEnvironment();
        env_.insert("HOME", QString::fromStdString(home.string()));
        env_.insert("XDG_CONFIG_HOME", QString::fromStdString((home / "config").string()));
        env_.insert("XDG_CACHE_HOME", QString::fromStdString((home / "cache").string()));
        DieWithParent(server_);
        // -displayfd: the server picks a free display and writes its number
        // once it accepts clients.
        server_.start("Xvfb",
                      {"-displayfd", "1", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"});
        while (server_.waitForReadyRead(10000) && !server_.canReadLine()) {
        }
        const QString number = QString::fromLatin1(server_.readLine()).trimmed();
        if (number.isEmpty())
            throw std::runtime_error("Xvfb did not start");
        env_.insert("DISPLAY", ":" + number);
        if (!windowManager)
            return;
        DieWithParent(windowManager_);
        windowManager_.setProcessEnvironment(env_);
        windowManager_.start("openbox", {"--sm-disable"});
        // Managing once it names itself on the root window.
        for (int i = 0;
             i < 200 &&
             !Output("xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"}).contains("window id");
             ++i)
            std::this_thread::sleep_for(50ms);
        if (!Output("xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"}).contains("window id"))
            throw std::runtime_error("openbox did not start");
    }
    ~Desktop()
    {
        Stop(windowManager_);
        Stop(server_);
    }

    const QProcessEnvironment& Environment() const { return env_; }

    // What `program` prints on this display; empty when it fails or has
    // not finished within a minute.
    QString Output(const QString& program, const QStringList& args) const
    {
        QProcess p;
        DieWithParent(p);
        p.setProcessEnvironment(env_);
        p.start(program, args);
        if (!p.waitForFinished(60000)) {
            Stop(p);
            return {};
        }
        return QString::fromLocal8Bit(p.readAllStandardOutput());
    }

private:
    QProcessEnvironment env_;
    QProcess server_;
    QProcess windowManager_;
};

const char* const kTitles[] = {"Tesmar",    "Spectrum Display", "IF filter",   "Input key",
                               "AF filter", "Memory list",      "Wave recoder"};

struct Config {
    const char* what;
    bool windowManager;
    int scale;  // QT_SCALE_FACTOR
};

class DesktopPlaces : public ::testing::TestWithParam<Config> {
protected:
    void SetUp() override
    {
        fs::create_directories(programDir_);
        fs::create_directories(home_ / "runtime");
        fs::permissions(home_ / "runtime", fs::perms::owner_all);
        fs::copy_file(TESMAR_EXE, programDir_ / "tesmar");
        desktop_ = std::make_unique<Desktop>(GetParam().windowManager, home_);
    }
    void TearDown() override
    {
        Stop(program_);
        desktop_.reset();
    }

    // Starts the program, waits until every window shows and stands still,
    // with `reopen` closes some through the window manager and opens them
    // again with the main window's buttons, and ends it as a desktop session
    // does.
    void RunOnce(bool reopen = false)
    {
        QProcessEnvironment env = desktop_->Environment();
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("QT_SCALE_FACTOR", QString::number(GetParam().scale));
        env.insert("XDG_DATA_HOME", QString::fromStdString((home_ / "share").string()));
        env.insert("XDG_RUNTIME_DIR", QString::fromStdString((home_ / "runtime").string()));
        env.insert("JACK_NO_START_SERVER", "1");
        env.insert("JACK_DEFAULT_SERVER", "tesmar-places-test-absent");
        struct StopAtEnd {
            QProcess& process;
            ~StopAtEnd() { Stop(process); }
        } stopAtEnd{program_};
        DieWithParent(program_);
        program_.setProcessEnvironment(env);
        program_.start(QString::fromStdString((programDir_ / "tesmar").string()), {});
        ASSERT_TRUE(program_.waitForStarted());
        for (const char* title : kTitles) {
            const QString pattern = QStringLiteral("^%1$").arg(title);
            ASSERT_FALSE(
                desktop_
                    ->Output("xdotool", {"search", "--sync", "--onlyvisible", "--name", pattern})
                    .isEmpty())
                << title;
        }
        if (reopen)
            Reopen();
        // The last placing follows the windows' first exposes: wait until
        // the whole tree of windows stays the same.
        QString last;
        for (int same = 0, i = 0; same < 3 && i < 100; ++i) {
            std::this_thread::sleep_for(100ms);
            const QString tree = desktop_->Output("xwininfo", {"-root", "-tree"});
            same = tree == last ? same + 1 : 0;
            last = tree;
        }
        ASSERT_EQ(::kill(static_cast<pid_t>(program_.processId()), SIGTERM), 0);
        ASSERT_TRUE(program_.waitForFinished(10000));
        ASSERT_EQ(program_.exitCode(), 0) << program_.readAllStandardError().toStdString();
    }

    QStringList Visible(const char* title)
    {
        return desktop_
            ->Output("xdotool",
                     {"search", "--onlyvisible", "--name", QStringLiteral("^%1$").arg(title)})
            .split('\n', Qt::SkipEmptyParts);
    }

    // xwininfo's line `field` (as "Width" or "Absolute upper-left X") of window `id`.
    int WindowInfo(const QString& id, const QString& field)
    {
        for (const QString& line : desktop_->Output("xwininfo", {"-id", id}).split('\n'))
            if (line.trimmed().startsWith(field + ":"))
                return line.section(':', 1).trimmed().toInt();
        return -1;
    }

    // Closed with Alt+F4 and opened again by "Key", "List" and "Wave" (at
    // x 631, y 8, 34 and 60, 40 x 20 in the main window).
    void Reopen()
    {
        const int scale = GetParam().scale;
        // The boxes that tell of the missing sound devices keep the mouse
        // from the main window; they have its title and come one after the
        // other.
        for (int i = 0; i < 50 && Visible("Tesmar").size() > 1; ++i) {
            for (const QString& id : Visible("Tesmar"))
                if (WindowInfo(id, "Width") != 734 * scale)
                    desktop_->Output("xdotool", {"windowactivate", "--sync", id, "key", "Return"});
            std::this_thread::sleep_for(100ms);
        }
        const QStringList main = Visible("Tesmar");
        ASSERT_EQ(main.size(), 1);
        const int x = WindowInfo(main[0], "Absolute upper-left X");
        const int y = WindowInfo(main[0], "Absolute upper-left Y");
        const std::pair<const char*, int> windows[] = {
            {"Input key", 18}, {"Memory list", 44}, {"Wave recoder", 70}};
        for (const auto& [title, buttonY] : windows) {
            const QStringList id = Visible(title);
            ASSERT_EQ(id.size(), 1) << title;
            desktop_->Output("xdotool", {"windowactivate", "--sync", id[0], "key", "alt+F4"});
            for (int i = 0; i < 100 && !Visible(title).isEmpty(); ++i)
                std::this_thread::sleep_for(50ms);
            ASSERT_TRUE(Visible(title).isEmpty()) << title;
            desktop_->Output("xdotool", {"mousemove", QString::number(x + 650 * scale),
                                         QString::number(y + buttonY * scale), "click", "1"});
            ASSERT_FALSE(desktop_
                             ->Output("xdotool", {"search", "--sync", "--onlyvisible", "--name",
                                                  QStringLiteral("^%1$").arg(title)})
                             .isEmpty())
                << title;
        }
    }

    void WriteIni(const std::map<std::string, int>& keys)
    {
        std::ofstream ini(programDir_ / "tesmar.ini", std::ios::trunc);
        ini << "[Form]\n";
        for (const auto& [key, value] : keys)
            ini << key << "=" << value << "\n";
        for (const char* shown :
             {"SpecShow", "FiltShow", "InpShow", "ListShow", "AudioShow", "WaveShow"})
            ini << shown << "=1\n";
    }

    // The window keys of the settings file.
    std::map<std::string, int> ReadPlaces()
    {
        std::ifstream ini(programDir_ / "tesmar.ini");
        std::map<std::string, int> keys;
        std::string line;
        while (std::getline(ini, line)) {
            const auto eq = line.find('=');
            const std::string key = line.substr(0, eq);
            if (eq != std::string::npos && key != "MostTop" &&
                (key.ends_with("Top") || key.ends_with("Left") || key.ends_with("Width") ||
                 key.ends_with("Height")))
                keys[key] = std::stoi(line.substr(eq + 1));
        }
        return keys;
    }

    tesmar::test::TempDir temp_;
    const fs::path programDir_ = temp_.Path() / "program";
    const fs::path home_ = temp_.Path() / "home";
    std::unique_ptr<Desktop> desktop_;
    QProcess program_;
};

// A framing window manager moved every window 20 px up and 1 px left at
// every start: the frame's place was stored and the client's restored.
TEST_P(DesktopPlaces, EveryStoredPlaceSurvivesRestartsExactly)
{
    const std::map<std::string, int> places = {
        {"MainTop", 100},   {"MainLeft", 200},   {"SpecTop", 300},  {"SpecLeft", 300},
        {"SpecWidth", 500}, {"SpecHeight", 250}, {"FiltTop", 50},   {"FiltLeft", 700},
        {"InpTop", 400},    {"InpLeft", 50},     {"ListTop", 500},  {"ListLeft", 500},
        {"ListWidth", 400}, {"ListHeight", 200}, {"AudioTop", 200}, {"AudioLeft", 800},
        {"WaveTop", 600},   {"WaveLeft", 100}};
    WriteIni(places);
    RunOnce();
    // Scaled twice, the main window is wider than the screen and goes to
    // its left edge.
    const std::map<std::string, int> first = ReadPlaces();
    if (GetParam().scale == 1) {
        ASSERT_EQ(first, places);
    }
    for (int run = 2; run <= 3; ++run) {
        SCOPED_TRACE(run);
        RunOnce();
        ASSERT_EQ(ReadPlaces(), first);
    }
    // Closed and shown again, a window gave its client area's place.
    if (GetParam().windowManager) {
        RunOnce(true);
        ASSERT_EQ(ReadPlaces(), first);
    }
}

// A smaller or scaled screen, or a monitor taken away: the main window's
// right column stayed off the screen.
TEST_P(DesktopPlaces, PlacesOffTheScreenComeBackOntoItAndStayThere)
{
    WriteIni({{"MainTop", 100},
              {"MainLeft", 3000},
              {"SpecTop", 5000},
              {"SpecLeft", 100},
              {"SpecWidth", 500},
              {"SpecHeight", 250},
              {"FiltTop", 50},
              {"FiltLeft", -3000},
              {"InpTop", -500},
              {"InpLeft", 50},
              {"ListTop", 2000},
              {"ListLeft", 2000},
              {"ListWidth", 400},
              {"ListHeight", 200},
              {"AudioTop", 900},
              {"AudioLeft", 1200},
              {"WaveTop", 9000},
              {"WaveLeft", 9000}});
    // Each window's client size: its frame is at least as large.
    struct Window {
        std::string name;
        int width, height;
    };
    const Window windows[] = {{"Main", 734, 155}, {"Spec", 500, 250}, {"Filt", 432, 62},
                              {"Inp", 157, 156},  {"List", 400, 200}, {"Audio", 432, 62},
                              {"Wave", 223, 31}};
    const int screenWidth = 1280 / GetParam().scale, screenHeight = 1024 / GetParam().scale;
    RunOnce();
    const std::map<std::string, int> placed = ReadPlaces();
    for (const Window& w : windows) {
        SCOPED_TRACE(w.name);
        const int left = placed.at(w.name + "Left"), top = placed.at(w.name + "Top");
        EXPECT_GE(left, 0);
        EXPECT_GE(top, 0);
        if (w.width < screenWidth)
            EXPECT_LE(left + w.width, screenWidth);
        else
            EXPECT_EQ(left, 0);
        EXPECT_LE(top + w.height, screenHeight);
    }
    RunOnce();
    EXPECT_EQ(ReadPlaces(), placed);
}

INSTANTIATE_TEST_SUITE_P(, DesktopPlaces,
                         ::testing::Values(Config{"NoWindowManager", false, 1},
                                           Config{"Openbox", true, 1},
                                           Config{"OpenboxScaledTwice", true, 2}),
                         [](const auto& info) { return std::string(info.param.what); });

}  // namespace
