#pragma once

#include "recording/FileStamp.h"
#include "recording/TimeText.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

namespace recording {

// One captured block: 2400 frames of two int16 samples, 9600 bytes.
inline constexpr int kRawBlockFrames = 2400;
inline constexpr int kRawBlockSamples = 2 * kRawBlockFrames;
inline constexpr int kRawBlockBytes = 2 * kRawBlockSamples;

inline constexpr int kRawHeaderSize = 19;
inline constexpr std::array<uint8_t, 6> kRawMarker = {'T', 'e', 's', 'm', 'a', 'r'};
inline constexpr std::array<uint8_t, 16> kRawEndMarker = {
    0x42, 0xE2, 0x98, 0xFE, 0x7B, 0x9B, 0xCC, 0x37, 0x92, 0x4B, 0x1A, 0x91, 0x52, 0xA7, 0x04, 0x8C};
// The largest centre frequency the five header bytes can hold.
inline constexpr int64_t kRawMaxFreqCenter = (int64_t{1} << 40) - 1;

inline constexpr const char* kMsgRawWrongFormat = "Tesmar can not read this format.";
inline constexpr const char* kMsgRawNotTesmar = "This data is not to use for Tesmar.";

// Marker, two zero bytes, the start time as six digits hhmmss, FreqCenter as
// five bytes, most significant first. A centre frequency outside what five
// unsigned bytes hold is clamped into that range.
std::array<uint8_t, kRawHeaderSize> EncodeRawHeader(const LocalStamp& start, int64_t freqCenter);

enum class RawHeaderStatus {
    Accepted,
    WrongFormat,  // "Tesmar" but a format byte we do not know, or a cut-off header
    NotTesmar,    // some other kind of file
    Unreadable,   // the file could not be opened or read: nothing to show
};

struct RawHeaderCheck {
    RawHeaderStatus status = RawHeaderStatus::NotTesmar;
    int32_t blockCount = 0;         // the start time of day in blocks (20 per second)
    int64_t freqCenter = 0;         // Hz
    const char* message = nullptr;  // the text to show when refused, else null
};

// Checks and decodes the first `size` bytes of a file (at most 19 are read).
RawHeaderCheck CheckRawHeader(const uint8_t* bytes, std::size_t size);

// Writes a raw IQ recording: header, whole captured blocks, end marker.
// Every failure is reported through the return value and LastError(); a write
// failure also stays visible in WriteFailed() until the next Start.
class RawRecorder {
public:
    RawRecorder() = default;
    ~RawRecorder();
    RawRecorder(const RawRecorder&) = delete;
    RawRecorder& operator=(const RawRecorder&) = delete;

    // Creates `file` (replacing one of that name) and writes its header. A
    // header that cannot be written closes the file again: false, not open.
    bool Start(const std::filesystem::path& file, const LocalStamp& start, int64_t freqCenter);
    // As above, into an open file the recorder then owns; `name` is for messages.
    bool Start(std::FILE* file, const std::filesystem::path& name, const LocalStamp& start,
               int64_t freqCenter);
    // The application's way in: folder/Raw/yyyymmdd_hhmmss_<kHz>.dat, creating
    // "Raw" when missing. An existing file is never replaced: a name that is
    // taken gets "-2", "-3", ... before ".dat". FileName() holds the name
    // used, or the one wanted when creation failed; a new file whose header
    // cannot be written is removed again.
    bool StartInFolder(const std::filesystem::path& folder, const LocalStamp& start,
                       int32_t freqCenter);

    // The recording hook: appends the 9600 bytes unchanged, then refreshes the
    // time text from the block count and counts the block. Does nothing (and
    // returns false) while no file is open.
    bool AppendBlock(const void* block);

    // Appends the end marker and closes. Returns false if anything written to
    // this file was lost.
    bool Stop();
    // Closes without the end marker, as closing the program does.
    bool Abandon();
    // After a write that failed (disk full, device gone): closes the file,
    // cuts it back to the header and the whole blocks that reached it, and
    // ends it with the end marker when the disk takes those 16 bytes too.
    // BlockCount() then counts the blocks kept. True when the file holds its
    // whole blocks and nothing else (with or without the marker, a player
    // reads them all); LastError() keeps the failure's own description.
    bool SalvageAfterFailure();

    bool IsOpen() const { return file_ != nullptr; }
    bool WriteFailed() const { return writeFailed_; }
    const std::filesystem::path& FileName() const { return fileName_; }
    int32_t BlockCount() const { return blockCount_; }
    const char* TimeText() const { return timeText_; }
    const std::string& LastError() const { return lastError_; }

private:
    void Reset(const std::filesystem::path& file);
    bool WriteHeader(const LocalStamp& start, int64_t freqCenter, bool createdHere);
    bool Write(const void* data, std::size_t size);
    bool Close();

    std::FILE* file_ = nullptr;
    std::filesystem::path fileName_;
    int32_t blockCount_ = 0;
    char timeText_[kTimeTextSize] = "00:00:00";
    bool writeFailed_ = false;
    std::string lastError_;
};

// Plays a raw IQ recording back one block per Pump(), as the playback engine
// asks for them.
class RawPlayer {
public:
    enum class Step {
        Idle,        // no file open: nothing to process
        Block,       // Frames() holds the next 9600 bytes of the file
        FinalBlock,  // the end was reached: Frames() holds the last, zero-padded
                     // block to process, and the file is closed
    };

    RawPlayer() = default;
    ~RawPlayer();
    RawPlayer(const RawPlayer&) = delete;
    RawPlayer& operator=(const RawPlayer&) = delete;

    // Opens `file` and checks its header. On refusal the file is closed again,
    // and the result carries the message to show; when the file cannot be
    // opened or read, status is Unreadable, message is null and LastError()
    // says why (a pipe nothing writes into, a device or a folder is such a
    // file: see OpenForReading). On success BlockCount() starts at the
    // recording's time of day.
    RawHeaderCheck Open(const std::filesystem::path& file);
    // As above for a file already open, which the player then owns; `name`
    // is for messages.
    RawHeaderCheck Open(std::FILE* file, const std::filesystem::path& name);

    // One call per block wanted: refreshes the time text from the block count,
    // counts the block, and reads on until it holds 9600 bytes of data or
    // meets the end marker. The marker is recognised in the byte stream with a
    // 16-byte window, wherever it lies; at the marker the block is zeroed from
    // where the marker began. A file that simply ends (no marker, or a read
    // error) ends the same way, the bytes read so far followed by zeros.
    Step Pump();

    // Closes the file early, as the user's stop does.
    void Close();

    bool IsOpen() const { return file_ != nullptr; }
    // The block just read, 2400 frames in host byte order.
    const int16_t* Frames() const { return frames_.data(); }
    int32_t BlockCount() const { return blockCount_; }
    const char* TimeText() const { return timeText_; }
    int64_t FreqCenter() const { return freqCenter_; }
    bool ReadFailed() const { return readFailed_; }
    bool EndMarkerSeen() const { return endMarkerSeen_; }
    // Whole frames of the last block that came from the file; a final
    // block's rest is padding.
    int ValidFrames() const { return validFrames_; }
    const std::string& LastError() const { return lastError_; }

private:
    bool Refill();
    void PushToWindow(const uint8_t* p, std::size_t count);
    bool WindowMatches() const;
    Step Finish(int zeroFrom);

    std::FILE* file_ = nullptr;
    int32_t blockCount_ = 0;
    int64_t freqCenter_ = 0;
    char timeText_[kTimeTextSize] = "00:00:00";
    bool readFailed_ = false;
    bool endMarkerSeen_ = false;
    int validFrames_ = 0;
    std::string lastError_;

    // The last 16 bytes read, as a ring; windowPos_ is where the next goes.
    std::array<uint8_t, 16> window_{};
    unsigned windowPos_ = 0;

    static constexpr std::size_t kReadAhead = 64 * 1024;
    std::array<uint8_t, kReadAhead> readBuffer_{};
    std::size_t readPos_ = 0;
    std::size_t readLen_ = 0;

    alignas(16) std::array<int16_t, kRawBlockSamples> frames_{};
};

}  // namespace recording
