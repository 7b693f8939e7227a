#pragma once

#include <sys/types.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace tools {

// Which file a name leads to, for telling whether two names are one file:
// an existing file by its device and inode (links followed), a file still to
// be made by its folder's device and inode and its own name.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    std::string name;  // empty for an existing file
    bool operator==(const FileIdentity&) const = default;
};

// The identity of `path`, links followed; false when neither the file nor
// its folder can be examined.
bool IdentityOf(const std::filesystem::path& path, FileIdentity* identity);

// One output of a run. A plain file appears under its own name only when the
// whole run has succeeded: it is written beside the target under a temporary
// name of its own and renamed at the end, so a failed or interrupted run
// leaves nothing behind. "-" is standard output, and an existing file that is
// not a plain file (a device such as /dev/null, a named pipe) is written in
// place. Only the temporary file the output made itself is ever removed,
// and those of the same target that runs killed outright left behind (their
// process is gone: see Open).
class StagedOutput {
public:
    StagedOutput() = default;
    ~StagedOutput();  // discards what was not committed
    StagedOutput(const StagedOutput&) = delete;
    StagedOutput& operator=(const StagedOutput&) = delete;

    // Settles where the output goes; makes nothing yet. Refuses a folder. A
    // link as the target is followed, so the file it names is replaced.
    bool Prepare(const std::filesystem::path& target, std::string* error);
    // The file the output ends up in.
    const FileIdentity& Identity() const { return identity_; }
    // How messages name the output: as given, or "standard output".
    const std::string& Name() const { return name_; }

    // The file to write into, owned by the caller: the new temporary file
    // (made exclusively, never over an existing one, after removing the
    // temporary files of this target whose process has died), the device or
    // pipe, or a copy of standard output.
    std::FILE* Open(std::string* error);
    const std::filesystem::path& TempPath() const { return temp_; }
    const std::filesystem::path& Target() const { return target_; }

    bool Commit(std::string* error);  // renames the temporary file onto the target
    void Discard();                   // removes the temporary file, if one was made

    // Removes the temporary files of every staged output still pending; safe
    // to call from a signal handler.
    static void DiscardAllFromSignal();

private:
    enum class Kind { Staged, InPlace, StandardOutput };

    Kind kind_ = Kind::Staged;
    std::string name_;
    std::filesystem::path target_;
    std::filesystem::path temp_;  // the temporary file this output made, or empty
    FileIdentity identity_;
    int slot_ = -1;
};

// Refuses outputs that would overwrite one of the files being read, or each
// other: by the files the names lead to (links followed), not by the names.
// False with one line in *error.
bool CheckOutputsApart(const std::vector<std::filesystem::path>& inputs,
                       const std::vector<const StagedOutput*>& outputs, std::string* error);

// Removes staged files and exits on SIGINT, SIGTERM and SIGHUP. A reader
// that goes away (SIGPIPE) and the file size limit (SIGXFSZ) no longer end
// the program: the write fails, and the run reports it like any other error.
void InstallStagedCleanupHandlers();

}  // namespace tools
