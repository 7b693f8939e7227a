#include "tools/ProgressLine.h"

#include "recording/IqReader.h"
#include "recording/RawIqFile.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>

#include <unistd.h>

namespace tools {

namespace fs = std::filesystem;

namespace {

constexpr std::chrono::milliseconds kRefresh{250};
constexpr double kRawBlockSeconds = 0.05;

// Digits without the process locale's decimal comma.
std::string Fixed(double value, int decimals)
{
    char buffer[32];
    const auto r =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    return std::string(buffer, r.ptr);
}

std::string ClockText(double seconds)
{
    const auto s = static_cast<long long>(std::llround(std::max(seconds, 0.0)));
    const std::string mm = std::to_string(s / 60 % 60), ss = std::to_string(s % 60);
    std::string text = s >= 3600 ? std::to_string(s / 3600) + ":" : "";
    text += s >= 3600 && mm.size() < 2 ? "0" + mm : mm;
    return text + ":" + (ss.size() < 2 ? "0" : "") + ss;
}

}  // namespace

double RecordingSeconds(const fs::path& file)
{
    std::error_code ec;
    // Opening a FIFO to look would wait for its writer and take its data.
    if (!fs::is_regular_file(file, ec))
        return 0;
    recording::IqFileReader reader;
    switch (reader.Open(file)) {
    case recording::IqFileReader::OpenStatus::Opened:
        return reader.Layout().sampleRate > 0
                   ? static_cast<double>(reader.FramesLeft()) / reader.Layout().sampleRate
                   : 0;
    case recording::IqFileReader::OpenStatus::Refused: return 0;
    case recording::IqFileReader::OpenStatus::NotRecognised: break;
    }
    const auto size = fs::file_size(file, ec);
    if (ec || size <= static_cast<std::uintmax_t>(recording::kRawHeaderSize))
        return 0;
    const auto blocks = (size - recording::kRawHeaderSize) / recording::kRawBlockBytes;
    return static_cast<double>(blocks) * kRawBlockSeconds;
}

ProgressLine::ProgressLine(std::FILE* out, double totalSeconds, bool wanted)
    : out_(wanted && out && ::isatty(::fileno(out)) ? out : nullptr)
    , total_(totalSeconds)
    , start_(Clock::now())
{}

ProgressLine::~ProgressLine() { Clear(); }

std::string ProgressLine::Text(double done, double total, double elapsed)
{
    std::string text;
    if (total > 0) {
        const double fraction = std::clamp(done / total, 0.0, 1.0);
        text = std::to_string(static_cast<int>(fraction * 100)) + "%";
    } else {
        text = ClockText(done) + " done";
    }
    if (elapsed > 0 && done > 0) {
        const double speed = done / elapsed;
        text += "  " + Fixed(speed, speed < 10 ? 1 : 0) + "x real time";
        if (total > 0)
            text += "  " + ClockText(std::max(total - done, 0.0) / speed) + " left";
    }
    return text;
}

void ProgressLine::Update(double seconds)
{
    if (!out_)
        return;
    const Clock::time_point now = Clock::now();
    if (visible_ && now - lastShown_ < kRefresh)
        return;
    lastShown_ = now;
    visible_ = true;
    const double elapsed = std::chrono::duration<double>(now - start_).count();
    // Back to the line's start, the text, the rest of the old line erased.
    std::fprintf(out_, "\r%s\x1b[K", Text(seconds, total_, elapsed).c_str());
    std::fflush(out_);
}

void ProgressLine::Clear()
{
    if (!out_ || !visible_)
        return;
    std::fputs("\r\x1b[K", out_);
    std::fflush(out_);
    visible_ = false;
}

}  // namespace tools
