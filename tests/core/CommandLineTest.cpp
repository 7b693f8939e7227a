#include "core/CommandLine.h"

#include <gtest/gtest.h>

namespace core {
namespace {

TEST(CommandLine, RemoteWithAndWithoutItsPort)
{
    struct Case {
        QStringList args;
        std::optional<int32_t> port;
        bool error;
    };
    const Case cases[] = {
        {{"tesmar"}, std::nullopt, false},
        {{"tesmar", "--remote"}, 4532, false},
        {{"tesmar", "--remote=4600"}, 4600, false},
        {{"tesmar", "--remote=65535"}, 65535, false},
        {{"tesmar", "--remote=0"}, std::nullopt, true},
        {{"tesmar", "--remote=65536"}, std::nullopt, true},
        {{"tesmar", "--remote=port"}, std::nullopt, true},
        {{"tesmar", "--remote="}, std::nullopt, true},
        // The port as the next word, as --help shows it; an option after
        // a bare --remote is no port.
        {{"tesmar", "--remote", "4600"}, 4600, false},
        {{"tesmar", "-remote", "4600"}, 4600, false},
        {{"tesmar", "--remote", "port"}, std::nullopt, true},
        {{"tesmar", "--remote", "--version"}, 4532, false},
        {{"tesmar", "--bogus"}, std::nullopt, true},
        {{"tesmar", "file.dat"}, std::nullopt, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const CommandLine line = ParseCommandLine(c.args);
        EXPECT_EQ(line.remotePort, c.port);
        EXPECT_EQ(!line.error.isEmpty(), c.error) << line.error.toStdString();
    }
    const CommandLine help = ParseCommandLine({"tesmar", "--help"});
    EXPECT_TRUE(help.help);
    for (const char* option : {"--remote [<port>]", "--scan", "--help", "--version"})
        EXPECT_TRUE(help.helpText.contains(option)) << help.helpText.toStdString();
    const CommandLine version = ParseCommandLine({"tesmar", "--version"});
    EXPECT_TRUE(version.version);
    EXPECT_TRUE(version.versionText.startsWith("tesmar ")) << version.versionText.toStdString();
}

// Catches: --scan lost, taken for --remote's port, or taking a value.
TEST(CommandLine, ScanOpensTheScanWindow)
{
    EXPECT_FALSE(ParseCommandLine({"tesmar"}).scan);
    const CommandLine both = ParseCommandLine({"tesmar", "--remote", "--scan"});
    EXPECT_TRUE(both.scan);
    EXPECT_EQ(both.remotePort, 4532);
    EXPECT_TRUE(both.error.isEmpty());
    EXPECT_FALSE(ParseCommandLine({"tesmar", "--scan=now"}).error.isEmpty());
}

}  // namespace
}  // namespace core
