#include "ProgramRun.h"

#include <csignal>
#include <fcntl.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string ReadToEnd(int fd)
{
    std::string text;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0)
            text.append(buffer, static_cast<std::size_t>(n));
        else if (n == 0 || errno != EINTR)
            break;  // a terminal's reader gets EIO once its last writer has gone
    }
    return text;
}

}  // namespace

ProcResult Run(const char* exe, const std::vector<std::string>& args,
               const std::filesystem::path& work, const RunOptions& options)
{
    // The caught output lives outside `work`, which the tests count.
    const TempDir caught;
    const auto outPath = caught / "stdout.txt";
    const auto errPath = caught / "stderr.txt";
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(exe));
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    int pipeFds[2] = {-1, -1};
    if (options.stdoutTo != RunOptions::Stdout::File && ::pipe2(pipeFds, O_CLOEXEC) != 0)
        return {};
    if (options.stdoutTo == RunOptions::Stdout::ClosedPipe) {
        ::close(pipeFds[0]);
        pipeFds[0] = -1;
    }

    // The caught standard error when not a file: [0] read here, [1] the program's.
    int errFds[2] = {-1, -1};
    if (options.stderrTo == RunOptions::Stderr::Pipe && ::pipe2(errFds, O_CLOEXEC) != 0)
        return {};
    if (options.stderrTo == RunOptions::Stderr::Terminal) {
        if (::openpty(&errFds[0], &errFds[1], nullptr, nullptr, nullptr) != 0)
            return {};
        ::fcntl(errFds[0], F_SETFD, FD_CLOEXEC);
        ::fcntl(errFds[1], F_SETFD, FD_CLOEXEC);
    }

    const pid_t pid = ::fork();
    if (pid == 0) {
        const int o = options.stdoutTo == RunOptions::Stdout::File
                          ? ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644)
                          : pipeFds[1];
        const int e = errFds[1] >= 0 ? errFds[1]
                                     : ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (o < 0 || e < 0 || ::chdir(work.c_str()) != 0)
            ::_exit(127);
        ::dup2(o, 1);
        ::dup2(e, 2);
        // As a shell starts it: default signal dispositions, the limit asked for.
        ::signal(SIGPIPE, SIG_DFL);
        ::signal(SIGXFSZ, SIG_DFL);
        struct rlimit limit {};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = options.fileSizeLimit;
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::execv(exe, argv.data());
        ::_exit(127);
    }
    ProcResult r;
    if (pipeFds[1] >= 0)
        ::close(pipeFds[1]);
    if (pipeFds[0] >= 0) {
        r.out = ReadToEnd(pipeFds[0]);
        ::close(pipeFds[0]);
    }
    if (errFds[1] >= 0)
        ::close(errFds[1]);
    if (errFds[0] >= 0) {
        r.err = ReadToEnd(errFds[0]);
        ::close(errFds[0]);
    }
    int ws = 0;
    if (pid > 0 && ::waitpid(pid, &ws, 0) == pid) {
        if (WIFEXITED(ws))
            r.status = WEXITSTATUS(ws);
        else if (WIFSIGNALED(ws))
            r.signal = WTERMSIG(ws);
    }
    if (options.stdoutTo == RunOptions::Stdout::File)
        r.out = ReadFile(outPath);
    if (options.stderrTo == RunOptions::Stderr::File)
        r.err = ReadFile(errPath);
    return r;
}
