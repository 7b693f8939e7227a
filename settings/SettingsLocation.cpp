#include "SettingsLocation.h"

#include <QCoreApplication>
#include <QStandardPaths>

#include <atomic>
#include <string>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

namespace settings {

namespace fs = std::filesystem;

namespace {

fs::path FromQString(const QString& s) { return fs::path(s.toStdString()); }

}  // namespace

bool IsDirectoryWritable(const fs::path& dir)
{
    static std::atomic<unsigned> serial{0};
    if (dir.empty())
        return false;
    for (int attempt = 0; attempt < 10; ++attempt) {
        const fs::path probe =
            dir / (".tesmar-probe-" + std::to_string(::getpid()) + "-" + std::to_string(serial++));
        const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::close(fd);
            ::unlink(probe.c_str());
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    return false;
}

fs::path ChooseDataDirectory(const fs::path& executableDir, const fs::path& perUserDir)
{
    // An installed program never writes into its prefix, not even for root,
    // whom no permission stops.
    const bool installed = ChooseResourceDirectory(executableDir) != executableDir;
    if (!installed && IsDirectoryWritable(executableDir))
        return executableDir;
    std::error_code ec;
    fs::create_directories(perUserDir, ec);  // a failure shows when a file is written
    return perUserDir;
}

fs::path ChooseResourceDirectory(const fs::path& executableDir)
{
    std::error_code ec;
    const auto holdsThem = [&ec](const fs::path& dir) { return fs::exists(dir / "Meter.bmp", ec); };
    if (holdsThem(executableDir))
        return executableDir;
    const fs::path installed = (executableDir / ".." / "share" / "tesmar").lexically_normal();
    return holdsThem(installed) ? installed : executableDir;
}

fs::path SettingsFileName(const fs::path& executable)
{
    fs::path name = executable.filename();
    name.replace_extension(".ini");
    return name;
}

fs::path SettingsFileToRead(const fs::path& settingsFile, const fs::path& besideProgram)
{
    std::error_code ec;
    // Anything of that name counts: a folder in the way must give the save's
    // error, not silently the program's values.
    if (fs::exists(fs::symlink_status(settingsFile, ec)) || besideProgram.empty())
        return settingsFile;
    return besideProgram;
}

fs::path DataDirectory()
{
    static const fs::path dir = ChooseDataDirectory(
        FromQString(QCoreApplication::applicationDirPath()),
        FromQString(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)));
    return dir;
}

fs::path ResourceDirectory()
{
    return ChooseResourceDirectory(FromQString(QCoreApplication::applicationDirPath()));
}

fs::path SettingsFilePath()
{
    return DataDirectory() / SettingsFileName(FromQString(QCoreApplication::applicationFilePath()));
}

}  // namespace settings
