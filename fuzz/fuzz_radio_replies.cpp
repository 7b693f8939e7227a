// Any bytes from the radio, with commands written in between, through the
// link's reply rules; checked against the rules written out plainly.
#include "radio/ReplyParser.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

// The reply rules as plainly as they can be written, without a length limit.
struct PlainRules {
    std::string lastCommand;
    bool echoSeen = false;
    std::string line;

    bool Take(char c)
    {
        bool ok = false;
        if (c == '\r') {
            if (echoSeen && line == "OK") {
                ok = true;
                echoSeen = false;
            } else if (!echoSeen && line == lastCommand) {
                echoSeen = true;
                lastCommand.clear();
            }
            line.clear();
        } else if (c != '\n') {
            line += c;
        }
        return ok;
    }
};

void Check(bool holds)
{
    if (!holds)
        std::abort();
}

}  // namespace

// The input is a sequence of steps. A byte 0x01 starts a command: the bytes
// up to the next 0x01 (or the end) are written as a command line. Any other
// run of bytes is what the radio sends, taken in one go.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    radio::ReplyParser parser;
    PlainRules plain;
    std::size_t i = 0;
    while (i < size) {
        const bool command = data[i] == 0x01;
        if (command)
            ++i;
        std::size_t end = i;
        while (end < size && data[end] != 0x01)
            ++end;
        const char* bytes = reinterpret_cast<const char*>(data + i);
        const std::size_t count = end - i;
        if (command) {
            const std::string text(bytes, count);
            parser.CommandWritten(text);
            plain.lastCommand = text.substr(0, text.size() >= 2 ? text.size() - 2 : 0);
        } else {
            bool plainOk = false;
            for (std::size_t k = 0; k < count; ++k)
                plainOk = plain.Take(bytes[k]) || plainOk;
            Check(parser.Take(bytes, count) == plainOk);
        }
        Check(parser.EchoSeen() == plain.echoSeen);
        Check(parser.LastCommand() == plain.lastCommand);
        Check(parser.ReplyLine().size() <= radio::ReplyParser::kMaxReplyLine);
        Check(plain.line.compare(0, parser.ReplyLine().size(), parser.ReplyLine()) == 0);
        i = end;
    }
    return 0;
}
