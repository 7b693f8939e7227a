#pragma once

// The progress line of a long command-line run: percent done, speed as a
// multiple of real time and the time left, rewritten in place on standard
// error a few times a second. Only a person at a terminal wants it: into a
// pipe or a log file nothing is written.

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

namespace tools {

// The length of the recording in `file`, in seconds: our raw format by its
// size, the others by their headers. 0 when it cannot be told (a pipe, a
// FIFO, a file nothing reads).
double RecordingSeconds(const std::filesystem::path& file);

class ProgressLine {
public:
    // Shows the line on `out` when `wanted` and `out` is a terminal.
    // totalSeconds: the recording's length (0 when unknown: no percent and
    // no time left).
    ProgressLine(std::FILE* out, double totalSeconds, bool wanted);
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // `seconds` of the recording are done. The first call shows the line,
    // later ones refresh it at most four times a second.
    void Update(double seconds);
    // Takes the line away (also done when destroyed).
    void Clear();

    bool Shown() const { return out_ != nullptr; }

    // The line's text for `done` of `total` seconds after `elapsed` seconds
    // of work (no control characters).
    static std::string Text(double done, double total, double elapsed);

private:
    using Clock = std::chrono::steady_clock;
    std::FILE* out_ = nullptr;
    double total_ = 0;
    Clock::time_point start_;
    Clock::time_point lastShown_;
    bool visible_ = false;
};

}  // namespace tools
