#include "core/model/ScanLog.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace core {
namespace {

void AppendNumber(std::string& out, int64_t v, int width = 0)
{
    char digits[24];
    const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, v);
    const int length = static_cast<int>(end - digits);
    for (int i = length; i < width; ++i)
        out += '0';
    out.append(digits, end);
}

void AppendFixed(std::string& out, double v, int decimals)
{
    char digits[48];
    if (!std::isfinite(v))
        v = 0.0;
    const auto [end, ec] =
        std::to_chars(digits, digits + sizeof digits, v, std::chars_format::fixed, decimals);
    out.append(digits, ec == std::errc() ? end : digits);
}

}  // namespace

std::filesystem::path ScanLogPath(const std::filesystem::path& settingsFile)
{
    return settingsFile.parent_path() / "ScanLog.csv";
}

std::string ScanLogLine(const ScanHit& hit)
{
    const std::time_t t = std::chrono::system_clock::to_time_t(hit.start);
    std::tm utc{};
    gmtime_r(&t, &utc);
    std::string line;
    line.reserve(64 + hit.name.size());
    AppendNumber(line, utc.tm_year + 1900, 4);
    line += '-';
    AppendNumber(line, utc.tm_mon + 1, 2);
    line += '-';
    AppendNumber(line, utc.tm_mday, 2);
    line += 'T';
    AppendNumber(line, utc.tm_hour, 2);
    line += ':';
    AppendNumber(line, utc.tm_min, 2);
    line += ':';
    AppendNumber(line, utc.tm_sec, 2);
    line += "Z,";
    AppendNumber(line, hit.hz);
    line += ",\"";
    for (char c : hit.name) {
        // A line break would split the record; a memory name never has one.
        if (c == '\n' || c == '\r')
            c = ' ';
        if (c == '"')
            line += '"';
        line += c;
    }
    line += "\",";
    line += ScanModeName(hit.mode);
    line += ',';
    AppendFixed(line, hit.Seconds(), 2);
    line += ',';
    AppendFixed(line, hit.peakDb, 1);
    line += '\n';
    return line;
}

bool AppendScanLog(const std::filesystem::path& file, const ScanHit& hit, std::string* error)
{
    // Read as well: the last byte says whether a failed write left half a line.
    std::FILE* f = std::fopen(file.c_str(), "a+b");
    auto fail = [&](int err) {
        if (error)
            *error = "Could not write " + file.string() + ": " + std::strerror(err);
        if (f)
            std::fclose(f);
        return false;
    };
    if (!f)
        return fail(errno);
    if (std::fseek(f, 0, SEEK_END) != 0)
        return fail(errno);
    const std::string line = ScanLogLine(hit);
    std::string text;
    text.reserve(std::strlen(kScanLogHeader) + line.size());
    if (std::ftell(f) == 0) {
        // A header goes out only together with a line to follow it.
        text += kScanLogHeader;
    } else if (std::fseek(f, -1, SEEK_END) != 0 || std::fgetc(f) != '\n') {
        // A write that failed half-way (a full disk) left part of a line: the
        // new record starts on a line of its own, so that only the broken
        // line is lost and not the one after it as well.
        text += '\n';
    }
    text += line;
    // A read must not be followed by a write without a seek between them.
    if (std::fseek(f, 0, SEEK_END) != 0)
        return fail(errno);
    if (std::fwrite(text.data(), 1, text.size(), f) != text.size() || std::fflush(f) != 0)
        return fail(errno ? errno : EIO);
    if (std::fclose(f) != 0) {
        f = nullptr;
        return fail(errno ? errno : EIO);
    }
    return true;
}

}  // namespace core
