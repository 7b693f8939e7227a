// The program as a package installs it: `cmake --install` into a DESTDIR made
// read-only, the installed receiver started offscreen against a private JACK
// server. It must find its meter face, sounds and demo band in share/tesmar
// and write nothing into the prefix, not even as root, whom no permission
// stops.

#include "JackServer.h"
#include "tests/support/TempDir.h"

#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <map>
#include <string>
#include <tuple>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// Every entry of the tree with what a write would change.
std::map<fs::path, std::tuple<uintmax_t, fs::file_time_type>> Snapshot(const fs::path& root)
{
    std::map<fs::path, std::tuple<uintmax_t, fs::file_time_type>> s;
    for (const auto& e : fs::recursive_directory_iterator(root))
        s[e.path()] = {e.is_regular_file() ? e.file_size() : 0, e.last_write_time()};
    return s;
}

void SetWritable(const fs::path& root, bool writable)
{
    const auto how = writable ? fs::perm_options::add : fs::perm_options::remove;
    const auto write =
        fs::perms::owner_write |
        (writable ? fs::perms::none : fs::perms::group_write | fs::perms::others_write);
    fs::permissions(root, write, how);
    for (const auto& e : fs::recursive_directory_iterator(root))
        fs::permissions(e.path(), write, how);
}

// Runs a program to its end; its standard output when it succeeded.
std::string Output(const QString& program, const QStringList& args,
                   const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    const bool done = p.waitForFinished(120000) && p.exitCode() == 0;
    return done ? p.readAllStandardOutput().toStdString() : std::string();
}

TEST(Install, TheInstalledProgramRunsFromAReadOnlyPrefixAndFindsItsFiles)
{
    if (!audiotest::JackServer::Installed())
        GTEST_SKIP() << "jackd is not installed";
    tesmar::test::TempDir temp;
    const fs::path dest = temp / "dest", home = temp / "home";
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DESTDIR", QString::fromStdString(dest.string()));
    ASSERT_NE(Output(CMAKE_COMMAND, {"--install", TESMAR_BUILD_DIR, "--prefix", "/usr"}, env), "");
    SetWritable(dest, false);
    const auto before = Snapshot(dest);

    audiotest::JackServer server;
    std::string error;
    ASSERT_TRUE(server.Start(error)) << error;
    env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("HOME", QString::fromStdString(home.string()));
    env.insert("XDG_DATA_HOME", QString::fromStdString((home / "share").string()));
    env.insert("JACK_NO_START_SERVER", "1");
    const QString port = QString::number(20000 + ::getpid() % 20000);
    QProcess program;
    program.setProcessEnvironment(env);
    program.start(QString::fromStdString((dest / "usr/bin/tesmar").string()), {"--remote", port});
    // Its answer over the remote control tells that the start-up is over.
    std::string frequency;
    for (int i = 0; i < 120 && frequency.empty(); ++i) {
        ASSERT_FALSE(program.waitForFinished(500)) << program.readAllStandardError().toStdString();
        frequency = Output("rigctl", {"-m", "2", "-r", "127.0.0.1:" + port, "f"});
    }
    EXPECT_FALSE(frequency.empty());
    ASSERT_EQ(::kill(static_cast<pid_t>(program.processId()), SIGTERM), 0);
    ASSERT_TRUE(program.waitForFinished(10000));
    const std::string log = program.readAllStandardError().toStdString();
    EXPECT_EQ(program.exitCode(), 0) << log;
    // It names each of its read-only files it cannot find.
    EXPECT_EQ(log.find("missing"), std::string::npos) << log;

    EXPECT_TRUE(Snapshot(dest) == before) << "the program wrote into its prefix";
    EXPECT_TRUE(fs::is_regular_file(home / "share" / "Tesmar" / "tesmar.ini"));
    SetWritable(dest, true);  // so that the temporary folder can go
}

// The page `man tesmar` shows names every option the program takes and every
// file it writes beside its settings; the pages go compressed, and the
// package's copyright file where Debian looks for it.
TEST(Install, TheManPageNamesEveryOptionAndFileAndGoesCompressed)
{
    tesmar::test::TempDir temp;
    const fs::path dest = temp / "dest";
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DESTDIR", QString::fromStdString(dest.string()));
    ASSERT_NE(Output(CMAKE_COMMAND, {"--install", TESMAR_BUILD_DIR, "--prefix", "/usr"}, env), "");
    const fs::path man = dest / "usr/share/man/man1";
    for (const char* page : {"tesmar", "tesmar-demod", "tesmar-iqgen", "tesmar-iqconvert"}) {
        EXPECT_TRUE(fs::is_regular_file(man / (std::string(page) + ".1.gz"))) << page;
        EXPECT_FALSE(fs::exists(man / (std::string(page) + ".1"))) << page;
    }
    EXPECT_TRUE(fs::is_regular_file(dest / "usr/share/doc/tesmar/copyright"));
    const QString page = QString::fromStdString(
        Output("gzip", {"-dc", QString::fromStdString((man / "tesmar.1.gz").string())}));
    ASSERT_FALSE(page.isEmpty());

    env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    const QString help = QString::fromStdString(
        Output(QString::fromStdString((dest / "usr/bin/tesmar").string()), {"--help"}, env));
    QStringList options;
    for (const auto& m : QRegularExpression("--[a-z]+").globalMatch(help))
        options << m.captured();
    EXPECT_GE(options.size(), 4) << help.toStdString();
    for (const QString& option : options) {
        QString escaped = option;  // man writes a dash as "\-"
        EXPECT_TRUE(page.contains(escaped.replace("-", "\\-"))) << option.toStdString();
    }
    for (const char* file :
         {"tesmar.ini", "MemoryList.txt", "MemoryLockout.txt", "ScanLog.csv", "RawData.dat"})
        EXPECT_TRUE(page.contains(file)) << file;
}

}  // namespace
