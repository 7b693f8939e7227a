#pragma once

// A full disk for one test: while an object lives, no file of this process
// grows beyond `bytes` (RLIMIT_FSIZE). SIGXFSZ is ignored meanwhile, so the
// write that crosses the limit fails with EFBIG as a write to a full disk
// fails with ENOSPC, instead of killing the process. Works for root too,
// which a full tmpfs would not stop. Pipes and terminals are not affected, so
// the test's own output still gets through.

#include <signal.h>
#include <sys/resource.h>

#include <stdexcept>

namespace tesmar::test {

class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        if (::getrlimit(RLIMIT_FSIZE, &saved_) != 0)
            throw std::runtime_error("getrlimit failed");
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        ::sigaction(SIGXFSZ, &ignore, &savedAction_);
        rlimit limited = saved_;
        limited.rlim_cur = bytes;
        if (::setrlimit(RLIMIT_FSIZE, &limited) != 0)
            throw std::runtime_error("setrlimit failed");
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        ::sigaction(SIGXFSZ, &savedAction_, nullptr);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit saved_{};
    struct sigaction savedAction_ {};
};

}  // namespace tesmar::test
