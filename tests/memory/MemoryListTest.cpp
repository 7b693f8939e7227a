#include "memory/MemoryList.h"
#include "memory/Lockouts.h"
#include "memory/MemoryFormat.h"

#include "tests/support/Files.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <iterator>

#include <sys/resource.h>

namespace memory {
namespace {

using tesmar::test::ReadFile;
using tesmar::test::TempDir;
using tesmar::test::WriteFile;

TEST(MemoryList, LinesAsTheyAreRead)
{
    const std::string longName(400, 'x');
    const struct {
        std::string line;
        Channel channel;
    } cases[] = {
        {"7.100000,Net,3", {7100000, "Net", 3}},
        {"", {0, "", 0}},
        {"7.1,Net,3,extra,fields", {7100000, "Net", 3}},
        // A comma in a name from a foreign file splits it.
        {"7.1,Net, east,4", {7100000, "Net", 0}},
        {"7.1,Net,4\r", {7100000, "Net", 4}},
        {"7.1,Net,-1", {7100000, "Net", -1}},
        {"7.1,Net,9", {7100000, "Net", 9}},
        {"7 .1,Net,2", {0, "Net", 2}},
        {"7.1", {7100000, "", 0}},
        {"3.5," + longName + ",2", {3500000, longName, 2}},
        {"-0.500000,neg,1", {-500000, "neg", 1}},
        {"7.1,\xe9t\xe9,1", {7100000, "\xe9t\xe9", 1}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseLine(c.line), c.channel) << c.line.substr(0, 40);
}

TEST(MemoryList, FileSplitsIntoLines)
{
    // An empty line is a channel; the last line needs no line end.
    const ChannelList list = ChannelList::Parse("7.100000,Net,3\n\n14.2,DX,4");
    ASSERT_EQ(list.Channels().size(), 3u);
    EXPECT_EQ(list.Channels()[1], (Channel{0, "", 0}));
    EXPECT_EQ(list.Channels()[2], (Channel{14200000, "DX", 4}));
    EXPECT_TRUE(ChannelList::Parse("").Channels().empty());
    EXPECT_EQ(ChannelList::Parse("7.1,a,1\n").Channels().size(), 1u);
}

TEST(MemoryList, WrittenBackAsRead)
{
    for (const std::string& text :
         {std::string("7.100000,Net,3\n"), std::string("7.100000,Net,3\r\n14.200000,DX,-1\r\n"),
          std::string("7.100000,\xe9t\xe9,9\n-0.500000,neg,1\n2147.483647,top,4\n")}) {
        EXPECT_EQ(ChannelList::Parse(text).Serialize(), text);
    }
}

TEST(MemoryList, UnitsOfHertzSurviveManySaveAndLoadCycles)
{
    ChannelList list;
    for (int32_t hz : {7100005, 7100001, 1, 2147483647, 145999999, 30000})
        list.Channels().push_back({hz, "ch", 2});
    const std::vector<Channel> original = list.Channels();
    for (int i = 0; i < 50; ++i)
        list = ChannelList::Parse(list.Serialize());
    EXPECT_EQ(list.Channels(), original);
}

TEST(MemoryList, SaveIsAtomicAndReportsTheFile)
{
    TempDir dir;
    const auto file = MemoryListPath(dir.Path());
    EXPECT_EQ(file.filename(), "MemoryList.txt");
    EXPECT_TRUE(LoadChannelList(file).Channels().empty());  // no file: empty, silently

    ChannelList list;
    list.Channels().push_back({7100000, "Net", 3});
    std::string error;
    ASSERT_TRUE(SaveChannelList(file, list, &error)) << error;
    EXPECT_EQ(ReadFile(file), "7.100000,Net,3\n");
    EXPECT_EQ(LoadChannelList(file).Channels(), list.Channels());

    // A file size limit makes the write fail half-way, for root as well.
    struct rlimit saved {};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 40;
    ::setrlimit(RLIMIT_FSIZE, &small);
    for (int i = 0; i < 10; ++i)
        list.Channels().push_back({14200000 + i, "DX", 4});
    const bool saved2 = SaveChannelList(file, list, &error);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(saved2);
    EXPECT_NE(error.find(file.string()), std::string::npos) << error;
    EXPECT_EQ(ReadFile(file), "7.100000,Net,3\n");  // the old list stays whole
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1)
        << "no temporary file left behind";
}

// A 100 MB list took 4 GB and 20 s to load: within the limits a list loads,
// a line or a byte beyond them it is refused whole, naming the file.
TEST(MemoryList, ReadWithinTheLimitsAndRefusedWholeBeyond)
{
    TempDir dir;
    const auto file = MemoryListPath(dir.Path());
    const std::string lines(kMaxChannels, '\n'), bytes(kMaxListBytes, '1');
    for (const auto& [text, loads] : {std::pair{lines, true}, std::pair{lines + "7.1", false},
                                      std::pair{bytes, true}, std::pair{bytes + "\n", false}}) {
        WriteFile(file, text);
        std::string error;
        EXPECT_EQ(LoadChannelList(file, &error).Channels().empty(), !loads);
        EXPECT_EQ(error.find(file.string() + ": ") != std::string::npos, !loads) << error;
    }
}

TEST(MemoryList, SaveIntoAMissingFolderFailsWithItsName)
{
    TempDir dir;
    const auto file = dir / "gone" / "MemoryList.txt";
    std::string error;
    EXPECT_FALSE(SaveChannelList(file, ChannelList{}, &error));
    EXPECT_NE(error.find("gone"), std::string::npos) << error;
}

TEST(MemoryList, CrLfFileKeepsItsLineEnds)
{
    TempDir dir;
    const auto file = MemoryListPath(dir.Path());
    WriteFile(file, "7.100000,Net,3\r\n");
    ChannelList list = LoadChannelList(file);
    EXPECT_TRUE(list.CrLf());
    list.Channels().push_back({3500000, "80m", 3});
    ASSERT_TRUE(SaveChannelList(file, list, nullptr));
    EXPECT_EQ(ReadFile(file), "7.100000,Net,3\r\n3.500000,80m,3\r\n");
}

// Catches: a name cut at a comma of its own, a negative or large frequency
// that does not come back, a line that does not read taken as a channel,
// a list not saved over the old one whole.
TEST(Lockouts, SavedAndReadBackChannelForChannel)
{
    TempDir dir;
    const std::filesystem::path file = LockoutPath(dir.Path());
    EXPECT_EQ(file.filename(), "MemoryLockout.txt");
    EXPECT_TRUE(LoadLockouts(file).empty());

    const std::vector<Channel> marks = {
        {7100000, "Net, evening", 3}, {-5000, "", 0}, {2147483647, "Turm \xc3\xbc", 4}};
    std::string error;
    ASSERT_TRUE(SaveLockouts(file, marks, &error)) << error;
    EXPECT_EQ(ReadFile(file), "7100000,3,Net, evening\n-5000,0,\n2147483647,4,Turm \xc3\xbc\n");
    EXPECT_EQ(LoadLockouts(file), marks);
    ASSERT_TRUE(SaveLockouts(file, {marks[0]}, &error)) << error;
    EXPECT_EQ(LoadLockouts(file), std::vector<Channel>{marks[0]});

    // Written by hand: CR LF line ends, lines that do not read left out.
    WriteFile(file, "7.1,3,Net\r\n145500000,1,Rpt\r\nnonsense\r\n12,x,Y\r\n");
    EXPECT_EQ(LoadLockouts(file), (std::vector<Channel>{{145500000, "Rpt", 1}}));
}

}  // namespace
}  // namespace memory
