#pragma once

#include <filesystem>

namespace settings {

// True when a file can really be created in `dir` (tried, not guessed from
// permission bits, which say nothing for root or a read-only file system).
bool IsDirectoryWritable(const std::filesystem::path& dir);

// The folder for every file the program writes: the executable's folder when
// a file can be created there and the program is not installed (its
// read-only files are not in "../share/tesmar", see ChooseResourceDirectory),
// otherwise `perUserDir` (created if missing), so that a system-wide install
// keeps its settings and recordings per user and its prefix untouched.
std::filesystem::path ChooseDataDirectory(const std::filesystem::path& executableDir,
                                          const std::filesystem::path& perUserDir);

// The folder of the program's read-only files (meter face, keypad sounds,
// icons, demo band): the executable's folder when the build placed them there
// (it holds "Meter.bmp"), otherwise "../share/tesmar" from it when that holds
// them (an install's usual layout), otherwise the executable's folder.
std::filesystem::path ChooseResourceDirectory(const std::filesystem::path& executableDir);

// The settings file's name for an executable: its file name with the
// extension replaced by ".ini" ("tesmar" -> "tesmar.ini").
std::filesystem::path SettingsFileName(const std::filesystem::path& executable);

// The settings file to read: `settingsFile` when there is one, otherwise
// `besideProgram`. With a read-only program folder the settings are saved in
// the per-user folder; until the first save there, the file installed beside
// the program gives the starting values (and its other lines).
std::filesystem::path SettingsFileToRead(const std::filesystem::path& settingsFile,
                                         const std::filesystem::path& besideProgram);

// The running program's data folder, by ChooseDataDirectory with the
// application's folder and the per-user application data location. Needs the
// application object; decided once and then kept for the run, so that every
// file of a run lands in the same place.
std::filesystem::path DataDirectory();

// The running program's ChooseResourceDirectory. Needs the application object.
std::filesystem::path ResourceDirectory();

// The settings file of the running program: SettingsFileName in DataDirectory.
std::filesystem::path SettingsFilePath();

}  // namespace settings
