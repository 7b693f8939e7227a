#include "tools/StagedOutput.h"

#include <atomic>
#include <csignal>
#include <cstring>
#include <system_error>
#include <unistd.h>

namespace tools {

namespace {

// Plain character buffers, so the signal handler needs nothing but unlink().
constexpr int kSlots = 8;
constexpr std::size_t kPathMax = 4096;
char g_paths[kSlots][kPathMax];
std::atomic<bool> g_used[kSlots];

int Claim(const std::filesystem::path& p)
{
    const std::string& s = p.native();
    if (s.size() >= kPathMax)
        return -1;
    // The tools are single-threaded; the flag is raised only once the name is
    // complete, so the handler never sees half a path.
    for (int i = 0; i < kSlots; ++i) {
        if (!g_used[i].load()) {
            std::memcpy(g_paths[i], s.c_str(), s.size() + 1);
            g_used[i].store(true);
            return i;
        }
    }
    return -1;
}

void Release(int slot)
{
    if (slot >= 0)
        g_used[slot].store(false);
}

extern "C" void OnSignal(int sig)
{
    StagedOutput::DiscardAllFromSignal();
    _exit(128 + sig);
}

}  // namespace

StagedOutput::~StagedOutput() { Discard(); }

bool StagedOutput::Prepare(const std::filesystem::path& target, std::string* error)
{
    Discard();
    std::error_code ec;
    if (target.empty() || std::filesystem::is_directory(target, ec)) {
        if (error)
            *error = "cannot write " + target.string() + ": is a folder";
        return false;
    }
    target_ = target;
    // A link is followed, so the file it names is replaced, not the link.
    if (std::filesystem::is_symlink(std::filesystem::symlink_status(target, ec))) {
        const auto resolved = std::filesystem::weakly_canonical(target, ec);
        if (!ec)
            target_ = resolved;
    }
    // A device or a pipe is written to directly: renaming a file onto it
    // would replace the device node itself.
    const auto st = std::filesystem::status(target_, ec);
    if (!ec && std::filesystem::exists(st) && !std::filesystem::is_regular_file(st)) {
        direct_ = true;
        temp_ = target_;
        return true;
    }
    direct_ = false;
    temp_ = target_;
    temp_ += ".tmp-" + std::to_string(::getpid());
    slot_ = Claim(temp_);
    return true;
}

bool StagedOutput::Commit(std::string* error)
{
    if (temp_.empty())
        return false;
    if (direct_) {
        temp_.clear();
        return true;
    }
    std::error_code ec;
    std::filesystem::rename(temp_, target_, ec);
    if (ec) {
        if (error)
            *error = "cannot write " + target_.string() + ": " + ec.message();
        Discard();
        return false;
    }
    Release(slot_);
    slot_ = -1;
    temp_.clear();
    return true;
}

void StagedOutput::Discard()
{
    if (!temp_.empty() && !direct_) {
        std::error_code ec;
        std::filesystem::remove(temp_, ec);
        temp_.clear();
    }
    Release(slot_);
    slot_ = -1;
}

void StagedOutput::DiscardAllFromSignal()
{
    for (int i = 0; i < kSlots; ++i)
        if (g_used[i].load())
            ::unlink(g_paths[i]);
}

void InstallStagedCleanupHandlers()
{
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
}

}  // namespace tools
