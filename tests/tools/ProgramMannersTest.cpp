// Every program of ours as a user's shell meets it: --help and --version on a
// machine without a display or a sound server, an unknown option refused,
// and the progress line of the long runs only where a person sees it.

#include "ProgramRun.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace {

// The environment of a console login or a build server: no display, no
// sound server to find. Put back when the test ends.
class NoDisplayNoSound {
public:
    NoDisplayNoSound()
    {
        Set("DISPLAY", std::nullopt);
        Set("WAYLAND_DISPLAY", std::nullopt);
        Set("QT_QPA_PLATFORM", std::nullopt);
        Set("JACK_NO_START_SERVER", "1");
        Set("JACK_DEFAULT_SERVER", "tesmar-no-such-server");
        Set("PULSE_SERVER", "unix:/nonexistent/tesmar");
        Set("XDG_RUNTIME_DIR", runtime_.Path().string());
    }
    ~NoDisplayNoSound()
    {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            if (it->second)
                ::setenv(it->first.c_str(), it->second->c_str(), 1);
            else
                ::unsetenv(it->first.c_str());
        }
    }

private:
    void Set(const char* name, std::optional<std::string> value)
    {
        const char* old = std::getenv(name);
        saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        if (value)
            ::setenv(name, value->c_str(), 1);
        else
            ::unsetenv(name);
    }

    TempDir runtime_;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

struct Program {
    const char* name;
    const char* exe;
};

const std::vector<Program>& Programs()
{
    static const std::vector<Program> programs = {
#ifdef TESMAR_EXE
        {"tesmar", TESMAR_EXE},
#endif
        {"tesmar-demod", TESMAR_DEMOD_EXE},
        {"tesmar-iqgen", TESMAR_IQGEN_EXE},
        {"tesmar-iqconvert", TESMAR_IQCONVERT_EXE},
    };
    return programs;
}

TEST(ProgramManners, HelpVersionAndUnknownOptionsWithoutDisplayOrSoundServer)
{
    const NoDisplayNoSound environment;
    TempDir work;
    for (const Program& p : Programs()) {
        SCOPED_TRACE(p.name);
        const ProcResult help = ::Run(p.exe, {"--help"}, work.Path());
        EXPECT_EQ(help.status, 0) << help.err;
        EXPECT_NE(help.out.find("Usage: " + std::string(p.name)), std::string::npos) << help.out;
        for (const char* option : {"--help", "--version"})
            EXPECT_NE(help.out.find(option), std::string::npos) << option << "\n" << help.out;
        EXPECT_EQ(help.err, "");

        const ProcResult version = ::Run(p.exe, {"--version"}, work.Path());
        EXPECT_EQ(version.status, 0) << version.err;
        EXPECT_EQ(version.out.rfind(std::string(p.name) + " 0.", 0), 0u) << version.out;
        EXPECT_TRUE(OneLine(version.out)) << version.out;

        // Refused before it could be taken for a file name or eat the word
        // after it.
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"--no-such-option"},
              std::vector<std::string>{"--no-such-option", "in.dat", "out.wav"}}) {
            const ProcResult refused = ::Run(p.exe, args, work.Path());
            EXPECT_EQ(refused.status, 2) << refused.err;
            EXPECT_TRUE(OneLine(refused.err)) << refused.err;
            EXPECT_NE(refused.err.find("no-such-option"), std::string::npos) << refused.err;
            EXPECT_EQ(refused.out, "");
        }
    }
    EXPECT_TRUE(std::filesystem::is_empty(work.Path()));
}

// The progress line is "\r<text>\x1b[K": what a terminal shows in place and a
// log file would keep as clutter.
bool HasProgressLine(const std::string& err)
{
    return err.find("\r") != std::string::npos && err.find("% ") != std::string::npos &&
           err.find("x real time") != std::string::npos && err.find(" left") != std::string::npos;
}

TEST(ProgramManners, ProgressLineOnlyOnATerminalAndNotWhenQuiet)
{
    TempDir work;
    ASSERT_EQ(IqGen({"--seconds", "20", "in.dat"}, work.Path()).status, 0);
    struct Case {
        const char* exe;
        std::vector<std::string> args;
        RunOptions::Stderr stderrTo;
        bool line;
    };
    using E = RunOptions::Stderr;
    const Case cases[] = {
        {TESMAR_DEMOD_EXE, {"in.dat", "out.wav"}, E::Terminal, true},
        {TESMAR_DEMOD_EXE, {"in.dat", "out.wav"}, E::Pipe, false},
        {TESMAR_DEMOD_EXE, {"in.dat", "out.wav"}, E::File, false},
        {TESMAR_DEMOD_EXE, {"--quiet", "in.dat", "out.wav"}, E::Terminal, false},
        {TESMAR_IQCONVERT_EXE, {"in.dat", "out.wav"}, E::Terminal, true},
        {TESMAR_IQCONVERT_EXE, {"in.dat", "out.wav"}, E::Pipe, false},
        {TESMAR_IQCONVERT_EXE, {"-q", "in.dat", "out.wav"}, E::Terminal, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.exe) + " " + c.args.front() + " stderr " +
                     std::to_string(static_cast<int>(c.stderrTo)));
        std::filesystem::remove(work / "out.wav");
        RunOptions options;
        options.stderrTo = c.stderrTo;
        const ProcResult r = ::Run(c.exe, c.args, work.Path(), options);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(HasProgressLine(r.err), c.line) << r.err;
        if (!c.line) {
            EXPECT_EQ(r.err, "");
        } else {
            // Taken away at the end: the shell's prompt starts on a clean line.
            EXPECT_TRUE(r.err.ends_with("\r\x1b[K")) << r.err;
        }
    }
}

}  // namespace
