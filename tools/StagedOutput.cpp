#include "tools/StagedOutput.h"

#include "recording/FileStamp.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <limits>
#include <string_view>
#include <system_error>

#include <sys/stat.h>
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

// The process id in the name of a temporary file an output of `target`
// made: "<target>.tmp-<pid>", or "<target>-<n>.tmp-<pid>" when that name was
// taken. 0 for any other name.
pid_t TemporaryOwner(const std::string& name, const std::string& target)
{
    if (!name.starts_with(target))
        return 0;
    std::string_view rest(name);
    rest.remove_prefix(target.size());
    const auto digits = [&rest] {
        std::size_t n = 0;
        while (n < rest.size() && n < 10 && rest[n] >= '0' && rest[n] <= '9')
            ++n;
        return n;
    };
    if (rest.starts_with('-')) {
        rest.remove_prefix(1);
        const std::size_t n = digits();
        if (n == 0)
            return 0;
        rest.remove_prefix(n);
    }
    constexpr std::string_view kTmp = ".tmp-";
    if (!rest.starts_with(kTmp))
        return 0;
    rest.remove_prefix(kTmp.size());
    const std::size_t n = digits();
    if (n == 0 || n != rest.size())
        return 0;
    long long pid = 0;
    for (char c : rest)
        pid = pid * 10 + (c - '0');
    return pid > 0 && pid <= std::numeric_limits<pid_t>::max() ? static_cast<pid_t>(pid) : 0;
}

// A run ended by SIGKILL (or a power cut) cannot remove its temporary file.
// The next run for the same target removes those whose process is gone: a
// name with this process's own id is one too, since this run has not made
// its own yet. A process id reused since leaves its file for later.
void RemoveOrphanedTemporaries(const std::filesystem::path& target)
{
    std::filesystem::path folder = target.parent_path();
    if (folder.empty())
        folder = ".";
    const std::string base = target.filename().string();
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        const pid_t owner = TemporaryOwner(it->path().filename().string(), base);
        if (owner == 0 || (owner != ::getpid() && (::kill(owner, 0) == 0 || errno != ESRCH)))
            continue;
        std::error_code ignored;
        // Only a plain file: a folder or link of that name is not ours.
        if (it->is_regular_file(ignored) && !it->is_symlink(ignored))
            ::unlink(it->path().c_str());
    }
}

extern "C" void OnSignal(int sig)
{
    StagedOutput::DiscardAllFromSignal();
    _exit(128 + sig);
}

}  // namespace

bool IdentityOf(const std::filesystem::path& path, FileIdentity* identity)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        *identity = {st.st_dev, st.st_ino, {}};
        return true;
    }
    if (errno != ENOENT)
        return false;
    std::filesystem::path folder = path.parent_path();
    if (folder.empty())
        folder = ".";
    if (::stat(folder.c_str(), &st) != 0)
        return false;
    *identity = {st.st_dev, st.st_ino, path.filename().string()};
    return true;
}

StagedOutput::~StagedOutput() { Discard(); }

bool StagedOutput::Prepare(const std::filesystem::path& target, std::string* error)
{
    Discard();
    if (target == "-") {
        kind_ = Kind::StandardOutput;
        name_ = "standard output";
        target_.clear();
        struct stat st {};
        identity_ = ::fstat(STDOUT_FILENO, &st) == 0 ? FileIdentity{st.st_dev, st.st_ino, {}}
                                                     : FileIdentity{};
        return true;
    }
    name_ = target.string();
    std::error_code ec;
    if (target.empty() || std::filesystem::is_directory(target, ec)) {
        *error = "cannot write " + name_ + ": is a folder";
        return false;
    }
    target_ = target;
    // A link is followed, so the file it names is replaced, not the link.
    if (std::filesystem::is_symlink(std::filesystem::symlink_status(target, ec))) {
        const auto resolved = std::filesystem::weakly_canonical(target, ec);
        if (!ec)
            target_ = resolved;
    }
    if (!IdentityOf(target_, &identity_)) {
        *error = recording::DescribeFileError("cannot write", name_, errno);
        return false;
    }
    // A device or a pipe is written in place: renaming a file onto it would
    // replace the device node itself.
    const auto st = std::filesystem::status(target_, ec);
    const bool special =
        !ec && std::filesystem::exists(st) && !std::filesystem::is_regular_file(st);
    kind_ = special ? Kind::InPlace : Kind::Staged;
    return true;
}

std::FILE* StagedOutput::Open(std::string* error)
{
    std::FILE* file = nullptr;
    switch (kind_) {
    case Kind::StandardOutput:
        // A copy, so that closing the output leaves the descriptor of the
        // process as it was.
        if (const int fd = ::dup(STDOUT_FILENO); fd >= 0) {
            file = ::fdopen(fd, "wb");
            if (!file)
                ::close(fd);
        }
        break;
    case Kind::InPlace: file = std::fopen(target_.c_str(), "wb"); break;
    case Kind::Staged: {
        RemoveOrphanedTemporaries(target_);
        std::filesystem::path temp = target_;
        temp += ".tmp-" + std::to_string(::getpid());
        int err = 0;
        file = recording::CreateNewFile(temp, &temp_, &err);
        errno = err;
        if (file)
            slot_ = Claim(temp_);
        break;
    }
    }
    if (!file)
        *error = recording::DescribeFileError("cannot write", name_, errno);
    return file;
}

bool StagedOutput::Commit(std::string* error)
{
    if (kind_ != Kind::Staged || temp_.empty())
        return true;
    if (::rename(temp_.c_str(), target_.c_str()) != 0) {
        *error = recording::DescribeFileError("cannot write", name_, errno);
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
    // Only the temporary file this output made itself: never the target, a
    // device, a link, or a file that was there before.
    if (!temp_.empty())
        ::unlink(temp_.c_str());
    temp_.clear();
    Release(slot_);
    slot_ = -1;
}

void StagedOutput::DiscardAllFromSignal()
{
    for (int i = 0; i < kSlots; ++i)
        if (g_used[i].load())
            ::unlink(g_paths[i]);
}

bool CheckOutputsApart(const std::vector<std::filesystem::path>& inputs,
                       const std::vector<const StagedOutput*>& outputs, std::string* error)
{
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        const StagedOutput& a = *outputs[i];
        for (const auto& input : inputs) {
            FileIdentity in;
            // A missing input is the reader's to report.
            if (IdentityOf(input, &in) && in.name.empty() && a.Identity() == in) {
                *error = "cannot write " + a.Name() + ": it is the input " + input.string();
                return false;
            }
        }
        for (std::size_t j = 0; j < i; ++j) {
            if (outputs[j]->Identity() == a.Identity()) {
                *error = "two outputs name the same file " + a.Name();
                return false;
            }
        }
    }
    return true;
}

void InstallStagedCleanupHandlers()
{
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    // A write into a pipe nobody reads, or beyond the file size limit, then
    // fails with EPIPE or EFBIG and is reported as a write error.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
}

}  // namespace tools
