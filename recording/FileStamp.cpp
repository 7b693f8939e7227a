#include "recording/FileStamp.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace recording {

LocalStamp LocalNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    LocalStamp s;
    s.year = tm.tm_year + 1900;
    s.month = tm.tm_mon + 1;
    s.day = tm.tm_mday;
    s.hour = tm.tm_hour;
    s.minute = tm.tm_min;
    s.second = tm.tm_sec;
    return s;
}

std::string RecordingStem(const LocalStamp& s)
{
    char text[64];
    std::snprintf(text, sizeof text, "%04d%02d%02d_%02d%02d%02d_", s.year, s.month, s.day, s.hour,
                  s.minute, s.second);
    return text;
}

std::string RawRecordingName(const LocalStamp& stamp, int32_t freqCenter)
{
    return RecordingStem(stamp) + std::to_string(freqCenter / 1000) + ".dat";
}

std::string WaveRecordingName(const LocalStamp& stamp, int32_t freqTune, int32_t freqCenter)
{
    // Summed in 64 bits: two extreme 32-bit fields must not wrap.
    const int64_t receive = static_cast<int64_t>(freqTune) + freqCenter;
    return RecordingStem(stamp) + std::to_string(receive / 1000) + ".wav";
}

bool EnsureFolder(const std::filesystem::path& folder, std::string* error)
{
    std::error_code ec;
    if (std::filesystem::is_directory(folder, ec))
        return true;
    std::filesystem::create_directory(folder, ec);
    if (!ec && std::filesystem::is_directory(folder, ec))
        return true;
    if (error)
        *error = "cannot create folder " + folder.string() + ": " +
                 (ec ? ec.message() : std::string("not a folder"));
    return false;
}

std::FILE* CreateNewFile(const std::filesystem::path& wanted, std::filesystem::path* used, int* err)
{
    // Beyond this many recordings of one name in one second something else
    // is wrong; the caller reports the name as taken.
    constexpr int kMaxSuffix = 9999;
    for (int n = 1; n <= kMaxSuffix; ++n) {
        std::filesystem::path name = wanted;
        if (n > 1) {
            name = wanted.parent_path() /
                   (wanted.stem().string() + "-" + std::to_string(n) + wanted.extension().string());
        }
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0)
            break;
        if (std::FILE* file = ::fdopen(fd, "wb")) {
            *used = name;
            return file;
        }
        const int error = errno;
        ::close(fd);
        ::unlink(name.c_str());
        errno = error;
        break;
    }
    *err = errno;
    return nullptr;
}

namespace {

// A pipe opened without waiting: whether a program writes into it. A read
// of a pipe that has no writer returns nothing at once; with a writer that
// is connected but quiet it would block (EAGAIN here). A byte that arrives
// just after the wait is kept in *early.
bool PipeHasWriter(int fd, int* early)
{
    pollfd p{fd, POLLIN, 0};
    int ready = 0;
    do
        ready = ::poll(&p, 1, kPipeWriterWaitMs);
    while (ready < 0 && errno == EINTR);
    if (ready > 0)
        return true;
    unsigned char byte = 0;
    const ssize_t n = ::read(fd, &byte, 1);
    if (n == 1)
        *early = byte;
    return n == 1 || (n < 0 && errno == EAGAIN);
}

}  // namespace

std::FILE* OpenForReading(const std::filesystem::path& file, bool pipes, std::string* error)
{
    // Without O_NONBLOCK the open of a pipe waits for a writer, and that of
    // some devices for the device.
    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *error = DescribeFileError("cannot open", file, errno);
        return nullptr;
    }
    struct stat st {};
    const char* refusal = nullptr;
    int early = EOF;
    if (::fstat(fd, &st) != 0)
        refusal = std::strerror(errno);
    else if (S_ISDIR(st.st_mode))
        refusal = "it is a folder";
    else if (S_ISFIFO(st.st_mode) && !pipes)
        refusal = "a recording of this kind is read from a file, not a pipe";
    else if (S_ISFIFO(st.st_mode) && !PipeHasWriter(fd, &early))
        refusal = "it is a pipe nothing writes into";
    else if (!S_ISREG(st.st_mode) && !S_ISFIFO(st.st_mode))
        refusal = "it is not a file";
    if (!refusal && ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0)
        refusal = std::strerror(errno);
    std::FILE* opened = refusal ? nullptr : ::fdopen(fd, "rb");
    if (!opened) {
        *error = "cannot open " + file.string() + ": " + (refusal ? refusal : std::strerror(errno));
        ::close(fd);
        return nullptr;
    }
    if (early != EOF)
        std::ungetc(early, opened);
    return opened;
}

std::string DescribeFileError(const char* what, const std::filesystem::path& file, int err)
{
    return std::string(what) + " " + file.string() + ": " + std::strerror(err);
}

}  // namespace recording
