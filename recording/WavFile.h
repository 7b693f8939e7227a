#pragma once

#include "recording/FileStamp.h"
#include "recording/TimeText.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

namespace recording {

inline constexpr int kWavHeaderSize = 44;
inline constexpr int kWaveRecRate = 8000;
inline constexpr int kWaveRecSamples = 400;                     // one 50 ms block at 8000 Hz
inline constexpr int kWaveRecBlockBytes = 2 * kWaveRecSamples;  // 800

// The size fields of a file written where it cannot be sought back to (a
// pipe): "until the end of the stream", as WAV readers take it.
inline constexpr uint32_t kWavStreamingSize = 0xFFFFFFFF;

// The 44-byte header of a 16-bit PCM WAV file whose data part holds
// `dataLength` bytes: the RIFF size is dataLength + 36, so an empty file
// reads as a valid WAV file without samples. kWavStreamingSize as the length
// writes it into both fields.
void EncodeWavHeader(uint8_t (&header)[kWavHeaderSize], uint32_t sampleRate, uint16_t channels,
                     uint32_t dataLength);

// Cuts the WAV file `file` back to its header and the whole blocks of
// `blockBytes` it holds (at most maxDataBytes), and rewrites the header for
// them. Returns the data length kept, or -1 with *error set.
int64_t TrimWavFile(const std::filesystem::path& file, uint32_t sampleRate, uint16_t channels,
                    uint32_t blockBytes, uint64_t maxDataBytes, std::string* error);

// A 16-bit PCM WAV file being written. Errors are reported by the return
// values and LastError(), and stay visible in Failed() until the next Create.
// A header that cannot be written closes the file again: the writer is not
// open afterwards.
class WavWriter {
public:
    WavWriter() = default;
    ~WavWriter();
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    // Creates `file` (replacing one of that name) with an empty header.
    bool Create(const std::filesystem::path& file, uint32_t sampleRate, uint16_t channels);
    // Creates a new file and never replaces one: a name that is taken gets
    // "-2", "-3", ... before its extension (FileName() tells the name used).
    // A new file whose header cannot be written is removed again.
    bool CreateNew(const std::filesystem::path& wanted, uint32_t sampleRate, uint16_t channels);
    // Writes into an open file, which the writer then owns; `name` is for
    // messages. Where the file cannot be sought (a pipe, a terminal) the
    // header carries the streaming sizes and UpdateSizes has nothing to do.
    bool Adopt(std::FILE* file, const std::filesystem::path& name, uint32_t sampleRate,
               uint16_t channels);
    // Appends `count` samples (interleaved when there are two channels). A WAV
    // file cannot describe more than 4 GiB: an append beyond that is refused.
    bool Append(const int16_t* samples, std::size_t count);
    // Writes dataLength + 36 at offset 4 and dataLength at offset 40, returns to
    // the end and hands everything to the system, so the file on disk is a
    // valid WAV file from here on.
    bool UpdateSizes(uint32_t dataLength);
    // Returns false if anything written to this file was lost.
    bool Close();

    bool IsOpen() const { return file_ != nullptr; }
    bool Failed() const { return failed_; }
    bool Streaming() const { return streaming_; }
    uint64_t DataBytes() const { return dataBytes_; }
    const std::filesystem::path& FileName() const { return fileName_; }
    const std::string& LastError() const { return lastError_; }

private:
    void Reset(const std::filesystem::path& file);
    bool WriteHeader(uint32_t sampleRate, uint16_t channels, bool createdHere);
    bool Fail(const char* what, int err);

    std::FILE* file_ = nullptr;
    std::filesystem::path fileName_;
    uint64_t dataBytes_ = 0;
    bool failed_ = false;
    bool streaming_ = false;
    std::string lastError_;
};

// The recorder of demodulated audio: mono, 8000 Hz, 16 bits, 400 samples per
// block in which the squelch opened. The file is valid at every moment.
class WaveRecorder {
public:
    // Creates `file` with an empty 44-byte header; the time text restarts.
    // False, and not open, when the header cannot be written.
    bool Start(const std::filesystem::path& file);
    // As Start, into an open file the recorder then owns (see WavWriter::Adopt).
    bool Start(std::FILE* file, const std::filesystem::path& name);
    // The application's way in: folder/Wav/yyyymmdd_hhmmss_<kHz>.wav, creating
    // "Wav" when missing. An existing file is never replaced: a name that is
    // taken gets "-2", "-3", ... before ".wav". FileName() holds the name
    // used, or the one wanted when creation failed.
    bool StartInFolder(const std::filesystem::path& folder, const LocalStamp& start,
                       int32_t freqTune, int32_t freqCenter);
    // The same under a name of the caller's (the scanner's hits), with the
    // same rules for the folder and a name that is taken.
    bool StartInFolder(const std::filesystem::path& folder, const std::string& fileName);

    // Refreshes the time text from the blocks written so far, appends the 400
    // samples and counts the block. A block that could not be written is not
    // counted.
    bool AppendBlock(const int16_t* samples);
    // Brings both size fields up to `dataLength` bytes (BlockCount() * 800).
    bool UpdateSizes(uint32_t dataLength);
    // Both of the above, as the signal chain's owner calls them per block.
    bool RecordBlock(const int16_t* samples);

    bool Stop();
    // After a write that failed (disk full, device gone): closes the file,
    // cuts it back to the header and the whole blocks that reached it, and
    // rewrites the header for them, so that it is a valid WAV file holding
    // everything recorded before the failure. BlockCount() then counts the
    // blocks kept. False when the file could not be repaired either.
    bool SalvageAfterFailure();

    bool IsOpen() const { return wav_.IsOpen(); }
    bool WriteFailed() const { return wav_.Failed(); }
    int32_t BlockCount() const { return blockCount_; }
    const char* TimeText() const { return timeText_; }
    const std::filesystem::path& FileName() const { return fileName_; }
    const std::string& LastError() const { return error_.empty() ? wav_.LastError() : error_; }

private:
    void Restart(const std::filesystem::path& file);

    WavWriter wav_;
    std::filesystem::path fileName_;
    int32_t blockCount_ = 0;
    char timeText_[kTimeTextSize] = "00:00:00";
    std::string error_;
};

}  // namespace recording
