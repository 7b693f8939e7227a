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

// Catches: a destination read wrongly (a port alone for this computer, an
// IPv6 address in brackets), a port that is none taken, --udp without its
// destination, and the help not saying it.
TEST(CommandLine, UdpToAPortOfAHost)
{
    struct Case {
        QStringList args;
        const char* host;  // nullptr: no --udp, or refused
        int32_t port;
        bool error;
    };
    const Case cases[] = {
        {{"tesmar"}, nullptr, 0, false},
        {{"tesmar", "--udp", "7355"}, "127.0.0.1", 7355, false},
        {{"tesmar", "--udp=7400"}, "127.0.0.1", 7400, false},
        {{"tesmar", "--udp", "decoder.local:7356"}, "decoder.local", 7356, false},
        {{"tesmar", "--udp", "[::1]:7355", "--remote"}, "::1", 7355, false},
        {{"tesmar", "--udp"}, nullptr, 0, true},
        {{"tesmar", "--udp", "0"}, nullptr, 0, true},
        {{"tesmar", "--udp", "host:"}, nullptr, 0, true},
        {{"tesmar", "--udp", "::1:7355"}, nullptr, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const CommandLine line = ParseCommandLine(c.args);
        EXPECT_EQ(!line.error.isEmpty(), c.error) << line.error.toStdString();
        ASSERT_EQ(line.udp.has_value(), c.host != nullptr);
        if (c.host) {
            EXPECT_EQ(line.udp->host, c.host);
            EXPECT_EQ(line.udp->port, c.port);
        }
    }
    EXPECT_TRUE(ParseCommandLine({"tesmar", "--help"}).helpText.contains("--udp [<host>:]<port>"));
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
