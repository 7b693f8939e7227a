#include "settings/SettingsLocation.h"

#include "tests/support/Files.h"
#include "tests/support/TempDir.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

using settings::ChooseDataDirectory;
using settings::IsDirectoryWritable;
using settings::SettingsFileName;
using tesmar::test::CountEntries;
using tesmar::test::TempDir;
using tesmar::test::WriteFile;

TEST(SettingsLocation, FileNameFromTheExecutable)
{
    EXPECT_EQ(SettingsFileName("/usr/local/bin/tesmar"), "tesmar.ini");
    EXPECT_EQ(SettingsFileName("/opt/x/tesmar.exe"), "tesmar.ini");
    EXPECT_EQ(SettingsFileName("tesmar"), "tesmar.ini");
}

TEST(SettingsLocation, WritableFolderIsTriedNotGuessed)
{
    TempDir dir;
    EXPECT_TRUE(IsDirectoryWritable(dir.Path()));
    EXPECT_EQ(CountEntries(dir.Path()), 0);  // the probe is removed
    WriteFile(dir / "file", "x");
    EXPECT_FALSE(IsDirectoryWritable(dir / "file"));
    EXPECT_FALSE(IsDirectoryWritable(dir / "file" / "sub"));
    EXPECT_FALSE(IsDirectoryWritable(dir / "missing"));
    EXPECT_FALSE(IsDirectoryWritable(""));
}

TEST(SettingsLocation, ExecutableFolderWhenWritable)
{
    TempDir exe;
    TempDir user;
    EXPECT_EQ(ChooseDataDirectory(exe.Path(), user / "a" / "b"), exe.Path());
    EXPECT_FALSE(std::filesystem::exists(user / "a"));
}

TEST(SettingsLocation, PerUserFolderWhenTheExecutableFolderIsNotWritable)
{
    TempDir exe;
    TempDir user;
    WriteFile(exe / "plain", "x");
    const auto perUser = user / "share" / "Tesmar";
    EXPECT_EQ(ChooseDataDirectory(exe / "plain" / "bin", perUser), perUser);
    EXPECT_TRUE(std::filesystem::is_directory(perUser));
}

TEST(SettingsLocation, RunningProgramsSettingsFileLiesBesideIt)
{
    int argc = 1;
    char name[] = "tesmar_settings_tests";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    const std::filesystem::path exe = QCoreApplication::applicationFilePath().toStdString();
    // The test runs from the build's output folder, which is writable.
    EXPECT_EQ(settings::DataDirectory(), exe.parent_path());
    EXPECT_EQ(settings::SettingsFilePath(), exe.parent_path() / SettingsFileName(exe));
    EXPECT_EQ(settings::SettingsFilePath().filename(), "tesmar_settings_tests.ini");
}
