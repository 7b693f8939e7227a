#pragma once

#include <filesystem>
#include <string>

namespace tools {

// An output file that appears under its own name only when the whole run has
// succeeded: it is written beside the target under a temporary name and
// renamed at the end. A failed or interrupted run leaves nothing behind.
// An existing target that is not a plain file (a device such as /dev/null, a
// pipe) is written directly instead.
class StagedOutput {
public:
    StagedOutput() = default;
    ~StagedOutput();  // discards what was not committed
    StagedOutput(const StagedOutput&) = delete;
    StagedOutput& operator=(const StagedOutput&) = delete;

    // Chooses the temporary name; refuses a target that is a folder. A link
    // as the target is followed.
    bool Prepare(const std::filesystem::path& target, std::string* error);
    const std::filesystem::path& TempPath() const { return temp_; }
    const std::filesystem::path& Target() const { return target_; }

    bool Commit(std::string* error);  // renames the temporary file onto the target
    void Discard();                   // removes the temporary file

    // Removes the temporary files of every staged output still pending; safe
    // to call from a signal handler.
    static void DiscardAllFromSignal();

private:
    std::filesystem::path target_;
    std::filesystem::path temp_;
    int slot_ = -1;
    bool direct_ = false;
};

// Removes staged files and exits on SIGINT, SIGTERM and SIGHUP.
void InstallStagedCleanupHandlers();

}  // namespace tools
