#include "memory/Lockouts.h"

#include "tests/support/Files.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

namespace memory {
namespace {

using tesmar::test::ReadFile;
using tesmar::test::TempDir;
using tesmar::test::WriteFile;

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
