#pragma once

// The memory channels and their file, "MemoryList.txt": one channel per line,
// "frequency in MHz,name,mode code", in list order, no header.
//
// Reading is forgiving, as it always was: a field that does not read gives 0,
// fields after the third are ignored, missing ones are empty. Beyond that:
// a line is read whole however long it is, a CR before the line feed is not
// part of the mode field, and a mode code outside 0..4 is kept as it was read,
// so that a save writes back every line it loaded. Names are bytes: what was
// read is written back unchanged.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace memory {

struct Channel {
    int32_t hz = 0;    // the receive frequency
    std::string name;  // bytes as read or typed; never holds a comma when typed
    int32_t mode = 0;  // RxMode code; other values are kept for the file's sake

    bool operator==(const Channel&) const = default;
};

class ChannelList {
public:
    // The file's text, as read from disk.
    static ChannelList Parse(std::string_view text);
    // The file's text to write: one line per channel, with the line end the
    // loaded file used (LF for a new list).
    std::string Serialize() const;

    std::vector<Channel>& Channels() { return channels_; }
    const std::vector<Channel>& Channels() const { return channels_; }
    bool CrLf() const { return crlf_; }

private:
    std::vector<Channel> channels_;
    bool crlf_ = false;
};

// The channel of one line (without its line feed).
Channel ParseLine(std::string_view line);

// "MemoryList.txt" in `folder`.
std::filesystem::path MemoryListPath(const std::filesystem::path& folder);

// A missing or unreadable file gives an empty list.
ChannelList LoadChannelList(const std::filesystem::path& file);

// Writes the whole list to a temporary file beside `file`, flushes it to disk
// and renames it over the old one, so that a crash or a full disk never
// leaves half a list. False with `error` naming the file and the reason when
// it could not be written; the old file is then untouched.
bool SaveChannelList(const std::filesystem::path& file, const ChannelList& list,
                     std::string* error);

}  // namespace memory
