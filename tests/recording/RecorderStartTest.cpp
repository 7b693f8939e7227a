// How the two recorders begin a file: never over an existing one, and never
// with a header that did not reach the disk.
#include "TestFiles.h"
#include "recording/RawIqFile.h"
#include "recording/WavFile.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace recording;

namespace {

// 6 May 2024, 12:00:00.
LocalStamp Noon() { return LocalStamp{2024, 5, 6, 12, 0, 0}; }

// The raw and the WAV recorder behind one face, so each case runs for both.
struct Recorder {
    const char* kind;
    const char* folder;     // below the program's folder
    const char* extension;  // of the file name
    std::size_t headerSize;
    std::function<bool(const std::filesystem::path& dataDir)> startInFolder;
    std::function<bool(const std::filesystem::path& file)> start;
    std::function<bool()> appendBlock;
    std::function<bool()> stop;
    std::function<bool()> isOpen;
    std::function<std::filesystem::path()> fileName;
    std::function<std::string()> lastError;
};

std::vector<Recorder> BothRecorders(RawRecorder& raw, WaveRecorder& wav)
{
    static const std::vector<uint8_t> rawBlock(kRawBlockBytes, 0x5A);
    static const std::vector<int16_t> wavBlock(kWaveRecSamples, 1234);
    return {
        {"raw", "Raw", ".dat", kRawHeaderSize,
         [&](const auto& d) { return raw.StartInFolder(d, Noon(), 7100000); },
         [&](const auto& f) { return raw.Start(f, Noon(), 7100000); },
         [&] { return raw.AppendBlock(rawBlock.data()); }, [&] { return raw.Stop(); },
         [&] { return raw.IsOpen(); }, [&] { return raw.FileName(); },
         [&] { return raw.LastError(); }},
        {"WAV", "Wav", ".wav", kWavHeaderSize,
         [&](const auto& d) { return wav.StartInFolder(d, Noon(), -12000, 7100000); },
         [&](const auto& f) { return wav.Start(f); },
         [&] { return wav.RecordBlock(wavBlock.data()); }, [&] { return wav.Stop(); },
         [&] { return wav.IsOpen(); }, [&] { return wav.FileName(); },
         [&] { return wav.LastError(); }},
    };
}

}  // namespace

TEST(RecorderStart, RecordingsStartedInTheSameSecondKeepEachOther)
{
    RawRecorder raw;
    WaveRecorder wav;
    for (const Recorder& r : BothRecorders(raw, wav)) {
        TempDir dir;
        const auto folder = dir.Path() / r.folder;
        const std::string stem =
            r.kind == std::string("raw") ? "20240506_120000_7100" : "20240506_120000_7088";
        ASSERT_TRUE(r.startInFolder(dir.Path())) << r.kind << ": " << r.lastError();
        ASSERT_TRUE(r.appendBlock()) << r.kind;
        ASSERT_TRUE(r.stop()) << r.kind;
        const auto first = ReadBytes(folder / (stem + r.extension));
        ASSERT_GT(first.size(), r.headerSize) << r.kind;

        // The second and third recording of that second: same stamp, same
        // frequency, new names; the first file keeps its block.
        ASSERT_TRUE(r.startInFolder(dir.Path())) << r.kind << ": " << r.lastError();
        EXPECT_EQ(r.fileName(), folder / (stem + "-2" + r.extension)) << r.kind;
        ASSERT_TRUE(r.stop()) << r.kind;
        ASSERT_TRUE(r.startInFolder(dir.Path())) << r.kind;
        EXPECT_EQ(r.fileName(), folder / (stem + "-3" + r.extension)) << r.kind;
        ASSERT_TRUE(r.stop()) << r.kind;
        EXPECT_EQ(ReadBytes(folder / (stem + r.extension)), first) << r.kind;
        EXPECT_EQ(CountEntries(folder), 3) << r.kind;
    }
}

TEST(RecorderStart, AHeaderThatCannotBeWrittenLeavesNoRecordingRunning)
{
    RawRecorder raw;
    WaveRecorder wav;
    for (const Recorder& r : BothRecorders(raw, wav)) {
        TempDir dir;
        {
            // A disk with room for less than a header.
            FileSizeLimit full(r.headerSize / 2);
            EXPECT_FALSE(r.startInFolder(dir.Path())) << r.kind;
        }
        EXPECT_FALSE(r.isOpen()) << r.kind;
        EXPECT_NE(r.lastError().find("cannot write"), std::string::npos) << r.kind;
        // The file it made holds nothing worth keeping.
        EXPECT_EQ(CountEntries(dir.Path() / r.folder), 0) << r.kind;
        EXPECT_FALSE(r.appendBlock()) << r.kind;

        if (std::filesystem::exists("/dev/full")) {
            EXPECT_FALSE(r.start("/dev/full")) << r.kind;
            EXPECT_FALSE(r.isOpen()) << r.kind;
            EXPECT_TRUE(std::filesystem::is_character_file("/dev/full"));
        }
    }
}

TEST(RecorderStart, AFullDiskIsDetectedAtTheBlock)
{
    RawRecorder raw;
    WaveRecorder wav;
    for (const Recorder& r : BothRecorders(raw, wav)) {
        TempDir dir;
        bool allWritten = true;
        {
            // Room for the header and a little more.
            FileSizeLimit full(r.headerSize + 100);
            ASSERT_TRUE(r.startInFolder(dir.Path())) << r.kind << ": " << r.lastError();
            for (int i = 0; i < 4; ++i)
                allWritten = r.appendBlock() && allWritten;
            allWritten = r.stop() && allWritten;
        }
        EXPECT_FALSE(allWritten) << r.kind;
        EXPECT_NE(r.lastError().find("cannot write"), std::string::npos) << r.kind;
    }
}
