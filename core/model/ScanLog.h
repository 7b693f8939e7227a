#pragma once

// The scanner's log, "ScanLog.csv" beside the settings file: a header line,
// then one line per hit, written when the hit ends. The file is only ever
// appended to, so a log kept for months loses nothing to a crash or a full
// disk but the line being written: a line a failed write left half-written is
// ended before the next record, which so stays whole. Numbers are written
// with to_chars and never depend on the process locale. Standard library only.

#include "core/model/Scanner.h"

#include <filesystem>
#include <string>

namespace core {

inline constexpr const char* kScanLogHeader =
    "start_utc,frequency_hz,name,mode,duration_s,peak_db_above_floor\n";

// "ScanLog.csv" in the folder of `settingsFile`.
std::filesystem::path ScanLogPath(const std::filesystem::path& settingsFile);

// One line, line feed included:
// 2026-12-07T23:40:01Z,5000000,"Tower",AM,3.25,23.4
// The name is quoted, any quote in it doubled.
std::string ScanLogLine(const ScanHit& hit);

// Appends the hit's line, and the header first to a file that is new or
// empty. False with `error` naming the file and the reason.
bool AppendScanLog(const std::filesystem::path& file, const ScanHit& hit, std::string* error);

}  // namespace core
