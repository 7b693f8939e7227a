#include "remote/RigRequest.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace remote {
namespace {

struct Case {
    std::string line;
    Command command;
    char separator;
    std::vector<std::string> args;
    std::string vfo;
    bool badArity;
};

std::vector<std::string> Args(const Request& r)
{
    std::vector<std::string> args;
    for (std::size_t i = 0; i < r.argCount; ++i)
        args.emplace_back(r.args[i]);
    return args;
}

TEST(RigRequest, ShortLongExtendedAndVfoForms)
{
    const Case cases[] = {
        // Short and long forms, the line end's CR, blanks around.
        {"f", Command::GetFreq, 0, {}, "", false},
        {"\\get_freq\r", Command::GetFreq, 0, {}, "", false},
        {"  F 7074055.000000 ", Command::SetFreq, 0, {"7074055.000000"}, "", false},
        // A satellite tracker pads the value with blanks; some clients leave
        // out the blank after the letter.
        {"F      7074000", Command::SetFreq, 0, {"7074000"}, "", false},
        {"F7074000", Command::SetFreq, 0, {"7074000"}, "", false},
        {"\\set_mode PKTUSB -1", Command::SetMode, 0, {"PKTUSB", "-1"}, "", false},
        {"M USB", Command::SetMode, 0, {"USB"}, "", false},
        // VFO mode: the VFO comes first, except for set_vfo itself.
        {"f VFOA", Command::GetFreq, 0, {}, "VFOA", false},
        {"F VFOA 7074000", Command::SetFreq, 0, {"7074000"}, "VFOA", false},
        {"l VFOA STRENGTH", Command::GetLevel, 0, {"STRENGTH"}, "VFOA", false},
        {"V VFOA", Command::SetVfo, 0, {"VFOA"}, "", false},
        {"S VFOA 0 VFOA", Command::SetSplitVfo, 0, {"0", "VFOA"}, "VFOA", false},
        // Extended responses: "+" asks for new lines, other punctuation
        // becomes the separator; "\", "?" and "_" are no prefixes.
        {"+f", Command::GetFreq, '\n', {}, "", false},
        {"+\\get_mode", Command::GetMode, '\n', {}, "", false},
        {";m", Command::GetMode, ';', {}, "", false},
        {"|M USB 2400", Command::SetMode, '|', {"USB", "2400"}, "", false},
        {"_", Command::GetInfo, 0, {}, "", false},
        {"?", Command::Unknown, 0, {}, "", false},
        // Long names only with the backslash, and exactly.
        {"\\chk_vfo", Command::ChkVfo, 0, {}, "", false},
        {"\\dump_state", Command::DumpState, 0, {}, "", false},
        {"\\set_vfo_opt 1", Command::SetVfoOpt, 0, {"1"}, "", false},
        {"\\GET_FREQ", Command::Unknown, 0, {}, "", false},
        // Without the backslash the first letter is the command: "g", scan.
        {"get_freq", Command::Scan, 0, {"et_freq"}, "", false},
        // The scan's own "MEM" and "VFO" are no VFO, unless one comes first.
        {"g MEM 0", Command::Scan, 0, {"MEM", "0"}, "", false},
        {"\\scan VFO 0", Command::Scan, 0, {"VFO", "0"}, "", false},
        {"g VFOA MEM 0", Command::Scan, 0, {"MEM", "0"}, "VFOA", false},
        {"g", Command::Scan, 0, {}, "", true},
        // The words of a satellite pass, and what is close to them.
        {"AOS", Command::Aos, 0, {}, "", false},
        {"LOS", Command::Los, 0, {}, "", false},
        {"AOSX", Command::NotAvailable, 0, {"OSX"}, "", false},
        // Rig functions a receiver lacks are known, not unknown.
        {"J 100", Command::NotAvailable, 0, {"100"}, "", false},
        {"\\get_dcd", Command::NotAvailable, 0, {}, "", false},
        {"\\bogus 1 2", Command::Unknown, 0, {}, "", false},
        {"%", Command::Empty, '%', {}, "", false},
        {"", Command::Empty, 0, {}, "", false},
        {"\r", Command::Empty, 0, {}, "", false},
        // Arity: too few and too many.
        {"F", Command::SetFreq, 0, {}, "", true},
        {"f 1", Command::GetFreq, 0, {"1"}, "", true},
        {"L AF 0.5 1 2 3", Command::SetLevel, 0, {"AF", "0.5", "1"}, "", true},
        {"q", Command::Quit, 0, {}, "", false},
        {"Q now", Command::Quit, 0, {"now"}, "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const Request r = ParseRequest(c.line);
        EXPECT_EQ(r.command, c.command);
        EXPECT_EQ(r.separator, c.separator);
        EXPECT_EQ(Args(r), c.args);
        EXPECT_EQ(std::string(r.vfo), c.vfo);
        EXPECT_EQ(r.badArity, c.badArity);
    }
}

TEST(RigRequest, EchoKeepsTheArgumentsAsSentAndTheLongName)
{
    const Request r = ParseRequest("+M  USB   2400 ");
    EXPECT_EQ(r.name, "set_mode");
    EXPECT_EQ(r.rawArgs, "USB   2400");
    EXPECT_EQ(ParseRequest("+\\get_freq").name, "get_freq");
    EXPECT_EQ(ParseRequest("9xyz").name, "9xyz");
}

TEST(RigRequest, AnyBytesAreTakenApartWithoutHarm)
{
    // Every single byte and pairs of them, NUL and the high half included:
    // the parser reads only inside the line and always names a command.
    for (int a = 0; a < 256; ++a) {
        for (int b = 0; b < 256; b += 17) {
            const char bytes[3] = {static_cast<char>(a), static_cast<char>(b), ' '};
            const Request r = ParseRequest(std::string_view(bytes, 3));
            EXPECT_LE(r.argCount, Request::kMaxArgs);
        }
    }
    const std::string long_line(100000, 'F');
    EXPECT_EQ(ParseRequest(long_line).command, Command::SetFreq);
}

}  // namespace
}  // namespace remote
