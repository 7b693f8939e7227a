// Any bytes as a whole small recording in one of the formats the player
// reads, played to its end (the slice shifted when the recording is wide
// enough) and converted to one of the converter's outputs. Every sample,
// however odd (NaN, infinities, huge values), converts without undefined
// behaviour, every refusal says why, and a conversion that succeeds leaves
// its output.
//
// The first byte picks the format and the output, the second the shift; a
// SigMF recording takes its meta's length from the third byte, and a gqrx
// name its rate from the third and fourth. The rest is the file.
#include "recording/IqPlayer.h"
#include "recording/IqReader.h"
#include "tools/IqConvert.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// The run's own folder, removed when the fuzzer exits.
char g_folder[] = "/tmp/fuzz_iq_playback-XXXXXX";

const fs::path& Folder()
{
    static const fs::path folder = [] {
        if (!::mkdtemp(g_folder))
            std::abort();
        std::atexit([] {
            std::error_code ec;
            fs::remove_all(g_folder, ec);
        });
        return fs::path(g_folder);
    }();
    return folder;
}

void Write(const fs::path& file, const uint8_t* data, std::size_t size)
{
    std::FILE* f = std::fopen(file.c_str(), "wb");
    if (!f || (size > 0 && std::fwrite(data, 1, size, f) != size) || std::fclose(f) != 0)
        std::abort();
}

// Writes the recording the bytes describe; the name to open.
fs::path WriteRecording(uint8_t format, const uint8_t* data, std::size_t size)
{
    const fs::path dir = Folder();
    switch (format % 5) {
    case 0: Write(dir / "in.dat", data, size); return dir / "in.dat";
    case 1: Write(dir / "in.wav", data, size); return dir / "in.wav";
    case 2: Write(dir / "in.sdriq", data, size); return dir / "in.sdriq";
    case 3: {
        const std::size_t meta = size > 0 ? std::min<std::size_t>(data[0], size - 1) : 0;
        Write(dir / "in.sigmf-meta", data + (size > 0), meta);
        Write(dir / "in.sigmf-data", data + (size > 0) + meta, size - (size > 0) - meta);
        return dir / "in.sigmf-meta";
    }
    default: {
        const unsigned rate = size >= 2 ? (data[0] | data[1] << 8) * 40u : 0;
        const fs::path name =
            dir / ("gqrx_20261207_101112_7100000_" + std::to_string(rate) + "_fc.raw");
        const std::size_t skip = std::min<std::size_t>(size, 2);
        Write(name, data + skip, size - skip);
        return name;
    }
    }
}

void RemoveAll()
{
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(Folder(), ec))
        fs::remove(e.path(), ec);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    const uint8_t format = data[0];
    const int64_t shift = (static_cast<int8_t>(data[1]) % 5) * int64_t{48000};
    RemoveAll();
    const fs::path in = WriteRecording(format, data + 2, size - 2);

    // Higher rates are read as any other; the resampler's warm-up for them
    // would only slow the search down.
    {
        recording::IqFileReader probe;
        if (probe.Open(in) == recording::IqFileReader::OpenStatus::Opened &&
            probe.Layout().sampleRate > 3e6)
            return 0;
    }

    static auto player = std::make_unique<recording::IqPlayer>();
    const auto opened = player->Open(in);
    if (opened.status == recording::RawHeaderStatus::Accepted) {
        player->SetShift(shift);
        for (;;) {
            const auto step = player->Pump();
            if (step != recording::IqPlayer::Step::Block)
                break;
        }
    } else if (opened.message.empty() && player->LastError().empty()) {
        std::abort();  // every refusal says what is wrong
    }
    player->Close();

    static const char* const kOutputs[] = {"out.dat", "out.wav", "out.sigmf-meta"};
    const fs::path out = Folder() / kOutputs[format / 5 % 3];
    std::string error;
    if (tools::ConvertIq(in, out, nullptr, &error)) {
        if (!fs::exists(out))
            std::abort();
    } else if (error.empty()) {
        std::abort();
    }
    return 0;
}
