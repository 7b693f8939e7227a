#pragma once

// Runs the command-line programs as separate processes, as a user's shell
// would, with their output caught.

#include "recording/TestFiles.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <filesystem>
#include <string>
#include <vector>

struct ProcResult {
    int status = -1;  // exit status, or -1 when the program did not exit normally
    int signal = 0;   // the signal that ended it, if one did
    std::string out;
    std::string err;
};

struct RunOptions {
    enum class Stdout {
        File,        // caught in a file
        Pipe,        // a pipe the test reads to its end
        ClosedPipe,  // a pipe whose reader has already gone
    };
    Stdout stdoutTo = Stdout::File;
    enum class Stderr {
        File,      // caught in a file
        Pipe,      // a pipe the test reads to its end (stdout must go to a file)
        Terminal,  // a pseudo-terminal, as a person at a shell sees it (likewise)
    };
    Stderr stderrTo = Stderr::File;
    rlim_t fileSizeLimit = RLIM_INFINITY;  // no file of the program may grow beyond
};

// Runs exe with args in the folder `work` (its current folder).
ProcResult Run(const char* exe, const std::vector<std::string>& args,
               const std::filesystem::path& work, const RunOptions& options = {});

inline ProcResult Demod(const std::vector<std::string>& args, const std::filesystem::path& work,
                        const RunOptions& options = {})
{
    return Run(TESMAR_DEMOD_EXE, args, work, options);
}

inline ProcResult IqConvert(const std::vector<std::string>& args, const std::filesystem::path& work,
                            const RunOptions& options = {})
{
    return Run(TESMAR_IQCONVERT_EXE, args, work, options);
}

inline ProcResult IqGen(const std::vector<std::string>& args, const std::filesystem::path& work)
{
    return Run(TESMAR_IQGEN_EXE, args, work);
}

// A message of exactly one line.
inline bool OneLine(const std::string& s)
{
    return !s.empty() && s.back() == '\n' && s.find('\n') == s.size() - 1;
}

// A folder of its own and recordings made in it by tesmar-iqgen.
class DemodFixture : public ::testing::Test {
protected:
    TempDir dir;
    int threads = 0;  // tesmar-demod's --threads (0: its default)

    // tesmar-demod with the fixture's --threads.
    ProcResult Demod(std::vector<std::string> args, const std::filesystem::path& work,
                     const RunOptions& options = {})
    {
        if (threads > 0)
            args.insert(args.begin(), {"--threads", std::to_string(threads)});
        return ::Demod(args, work, options);
    }
    std::filesystem::path Make(const std::string& name, std::vector<std::string> args)
    {
        const auto p = dir / name;
        args.push_back(p.string());
        const ProcResult r = IqGen(args, dir.Path());
        EXPECT_EQ(r.status, 0) << r.err;
        return p;
    }
};

// The same, run with tesmar-demod on one thread and on two.
class DemodThreadsFixture : public DemodFixture, public ::testing::WithParamInterface<int> {
protected:
    void SetUp() override { threads = GetParam(); }
};
