#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

namespace recording {

// A local date and time to the second. Recordings take one stamp when they
// start, so the file name and the raw header agree on the moment.
struct LocalStamp {
    int year = 1970;
    int month = 1;  // 1..12
    int day = 1;    // 1..31
    int hour = 0;   // 0..23
    int minute = 0;
    int second = 0;
};

LocalStamp LocalNow();

// "yyyymmdd_hhmmss_", the start of every recording's file name.
std::string RecordingStem(const LocalStamp& stamp);

// "yyyymmdd_hhmmss_<kHz>.dat": the centre frequency in whole kHz.
std::string RawRecordingName(const LocalStamp& stamp, int32_t freqCenter);

// "yyyymmdd_hhmmss_<kHz>.wav": the receive frequency FreqCenter + FreqTune in
// whole kHz (truncated toward zero).
std::string WaveRecordingName(const LocalStamp& stamp, int32_t freqTune, int32_t freqCenter);

// The recorders keep their files one level below the program's folder
// ("Raw", "Wav"). The folder is created when missing; its parent is not.
bool EnsureFolder(const std::filesystem::path& folder, std::string* error);

// Opens a new file for binary writing and never one that exists: when the
// name `wanted` is taken, "-2", "-3", ... go before its extension
// (20210303_153012_7100-2.dat), so that two recordings started in the same
// second keep both. Returns the open file with its name in *used, or null
// with the errno value in *err.
std::FILE* CreateNewFile(const std::filesystem::path& wanted, std::filesystem::path* used,
                         int* err);

// Opens a recording for reading without ever waiting on it. A plain file
// opens; a named pipe (or the pipe a shell hands over) only when `pipes`
// allows it and a program writes into it: one that nobody opens for writing
// within kPipeWriterWaitMs is refused, where a plain open would wait for ever.
// Devices, sockets and folders are refused. Null with one line in *error
// otherwise.
inline constexpr int kPipeWriterWaitMs = 2000;
std::FILE* OpenForReading(const std::filesystem::path& file, bool pipes, std::string* error);

// One line for the caller to show: "<what> <path>: <reason>".
std::string DescribeFileError(const char* what, const std::filesystem::path& file, int err);

}  // namespace recording
