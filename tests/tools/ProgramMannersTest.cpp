// Every program as a user's shell meets it: --help and --version without a
// display or a sound server, unknown options refused, and the progress line
// of the long runs only where a person sees it.

#include "ProgramRun.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Runs `exe option...` as a console login or a build server would: no
// display, no sound server to find.
ProcResult RunBare(const char* exe, const std::vector<std::string>& options,
                   const std::filesystem::path& work)
{
    std::vector<std::string> args = {"-u",
                                     "DISPLAY",
                                     "-u",
                                     "WAYLAND_DISPLAY",
                                     "-u",
                                     "QT_QPA_PLATFORM",
                                     "JACK_NO_START_SERVER=1",
                                     "JACK_DEFAULT_SERVER=tesmar-absent",
                                     "PULSE_SERVER=unix:/nonexistent",
                                     exe};
    args.insert(args.end(), options.begin(), options.end());
    return Run("/usr/bin/env", args, work);
}

TEST(ProgramManners, HelpVersionAndUnknownOptionsWithoutDisplayOrSoundServer)
{
    const std::pair<std::string, const char*> programs[] = {
#ifdef TESMAR_EXE
        {"tesmar", TESMAR_EXE},
#endif
        {"tesmar-demod", TESMAR_DEMOD_EXE},
        {"tesmar-iqgen", TESMAR_IQGEN_EXE},
        {"tesmar-iqconvert", TESMAR_IQCONVERT_EXE}};
    TempDir work;
    for (const auto& [name, exe] : programs) {
        SCOPED_TRACE(name);
        const ProcResult help = RunBare(exe, {"--help"}, work.Path());
        EXPECT_EQ(help.status, 0) << help.err;
        EXPECT_NE(help.out.find("Usage: " + name), std::string::npos) << help.out;
        EXPECT_NE(help.out.find("--version"), std::string::npos) << help.out;
        EXPECT_EQ(help.err, "");

        const ProcResult version = RunBare(exe, {"--version"}, work.Path());
        EXPECT_EQ(version.status, 0) << version.err;
        EXPECT_EQ(version.out.rfind(name + " 0.", 0), 0u) << version.out;
        EXPECT_TRUE(OneLine(version.out)) << version.out;

        // Refused as what it is, not taken for a file name nor eating the
        // word after it.
        const ProcResult refused = RunBare(exe, {"--no-such-option", "in.dat"}, work.Path());
        EXPECT_EQ(refused.status, 2) << refused.err;
        EXPECT_TRUE(OneLine(refused.err)) << refused.err;
        EXPECT_NE(refused.err.find("option"), std::string::npos) << refused.err;
        EXPECT_NE(refused.err.find("no-such-option"), std::string::npos) << refused.err;
    }
    EXPECT_TRUE(std::filesystem::is_empty(work.Path()));
}

TEST(ProgramManners, ProgressLineOnlyOnATerminalAndNotWhenQuiet)
{
    TempDir work;
    ASSERT_EQ(IqGen({"--seconds", "20", "in.dat"}, work.Path()).status, 0);
    using E = RunOptions::Stderr;
    const struct {
        const char* exe;
        const char* option;
        E stderrTo;
        bool line;
    } cases[] = {
        {TESMAR_DEMOD_EXE, "--", E::Terminal, true},
        {TESMAR_DEMOD_EXE, "--", E::Pipe, false},
        {TESMAR_DEMOD_EXE, "--", E::File, false},
        {TESMAR_DEMOD_EXE, "--quiet", E::Terminal, false},
        {TESMAR_IQCONVERT_EXE, "--", E::Terminal, true},
        {TESMAR_IQCONVERT_EXE, "--", E::Pipe, false},
        {TESMAR_IQCONVERT_EXE, "-q", E::Terminal, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.exe) + " " + c.option + " " + std::to_string(int(c.stderrTo)));
        std::filesystem::remove(work / "out.wav");
        RunOptions options;
        options.stderrTo = c.stderrTo;
        const ProcResult r = ::Run(c.exe, {c.option, "in.dat", "out.wav"}, work.Path(), options);
        EXPECT_EQ(r.status, 0) << r.err;
        if (!c.line) {
            EXPECT_EQ(r.err, "");
            continue;
        }
        // Rewritten in place and taken away at the end, so that the shell's
        // prompt starts on a clean line.
        for (const char* part : {"\r", "% ", "x real time", " left"})
            EXPECT_NE(r.err.find(part), std::string::npos) << part << "\n" << r.err;
        EXPECT_TRUE(r.err.ends_with("\r\x1b[K")) << r.err;
    }
}

}  // namespace
