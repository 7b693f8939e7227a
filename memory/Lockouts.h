#pragma once

// The scanner's lock-out marks of the memory channels, kept in a file of
// their own beside the memory list ("MemoryLockout.txt"), so that the memory
// list's own format stays as it is. One locked-out channel per line:
// "frequency in Hz,mode code,name", the name being the rest of the line,
// byte for byte. A channel is locked out when all three match; an edited
// channel is therefore a new one, and scanned again. Numbers are written and
// read without the process locale.

#include "memory/MemoryList.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace memory {

// "MemoryLockout.txt" in `folder`.
std::filesystem::path LockoutPath(const std::filesystem::path& folder);

// The file's text and back. Lines that do not read are left out.
std::string SerializeLockouts(const std::vector<Channel>& channels);
std::vector<Channel> ParseLockouts(std::string_view text);

// The marks of `file`: none when it is missing; none either when it is there
// but cannot be read whole (as a memory list, ReadListFile), with `error`
// naming the file and the reason: such marks must not be saved over.
std::vector<Channel> LoadLockouts(const std::filesystem::path& file, std::string* error = nullptr);

// Written atomically, as the memory list is: a temporary file renamed over
// the old one. False with `error` naming the file and the reason.
bool SaveLockouts(const std::filesystem::path& file, const std::vector<Channel>& channels,
                  std::string* error);

}  // namespace memory
