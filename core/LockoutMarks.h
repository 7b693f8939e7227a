#pragma once

// The scanner's lock-out marks of the memory channels ("MemoryLockout.txt"
// beside the memory list, memory/Lockouts) as the receiver keeps them for a
// run: read at start, matched against the memory list's channels, changed by
// the scan's "Lock out" and the memory list window's "Unlock", and saved whole
// after each change.
//
// Marks that are there but could not be read follow the memory list's rule:
// they are never saved over. The start names the file once; for the rest of
// the run no mark is added or taken away, and a memory scan does not run (it
// would visit the channels the operator locked out).
//
// A mark holds a channel's frequency, name and mode; a mode code no button
// gives is scanned as AM and matched so. GUI-free, main thread.

#include "memory/MemoryList.h"

#include <QString>

#include <filesystem>
#include <vector>

namespace core {

class LockoutMarks {
public:
    explicit LockoutMarks(std::filesystem::path file);

    // Start-up: the file's marks. Empty, or the message naming the file that
    // is there but could not be read.
    QString Load();
    bool Unread() const { return unread_; }
    const std::filesystem::path& File() const { return file_; }
    // Why nothing changes while the marks could not be read.
    QString UnreadRefusal() const;

    bool LockedOut(const memory::Channel& channel) const;
    // Marks `channel` and saves. Empty, or why the mark is not kept in the file.
    QString Lock(const memory::Channel& channel);
    // Takes every mark of `channel` away and saves. Empty, or why not.
    QString Unlock(const memory::Channel& channel);

private:
    QString Save();

    std::filesystem::path file_;
    std::vector<memory::Channel> marks_;
    bool unread_ = false;  // the file is there but was not read whole
};

}  // namespace core
