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

#include <cstddef>
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

// The most a list may hold: far beyond any operator's channels, and small
// enough that the list and its window stay a few megabytes (a list is read
// whole, and each line becomes a row of the window).
inline constexpr std::uintmax_t kMaxListBytes = 4u << 20;
inline constexpr std::size_t kMaxChannels = 65536;

// The whole text of a file of channels, one a line (the memory list, the
// lock-out marks). A missing file is an empty text. A file that is there but
// cannot be read whole (no permission, not a plain file, a read error, beyond
// the limits above) is false, with `error` naming the file and the reason and
// `text` empty. Memory stays bounded by the limits whatever the file holds.
bool ReadListFile(const std::filesystem::path& file, std::string& text, std::string* error);

// The channels of `file`. A missing file is an empty list to begin with. A
// file that is there but cannot be read whole (no permission, not a plain
// file, a read error, beyond the limits above) also gives an empty list, and
// `error` then names the file and the reason: such a list must not be saved
// over. Memory stays bounded by the limits whatever the file holds.
ChannelList LoadChannelList(const std::filesystem::path& file, std::string* error = nullptr);

// Writes the whole list to a temporary file beside `file`, flushes it to disk
// and renames it over the old one, so that a crash or a full disk never
// leaves half a list. False with `error` naming the file and the reason when
// it could not be written; the old file is then untouched.
bool SaveChannelList(const std::filesystem::path& file, const ChannelList& list,
                     std::string* error);

}  // namespace memory
