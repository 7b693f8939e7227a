#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace radio {

// The radio's replies, taken byte by byte as they arrive: a line ends at CR
// and LF is ignored. The line equal to the command last written is its echo;
// the next line "OK" after an echo acknowledges. Any other line changes
// nothing. Knows nothing of ports or time, so it can be driven directly.
class ReplyParser {
public:
    // Longest reply line kept; anything longer cannot be an echo or "OK".
    static constexpr std::size_t kMaxReplyLine = 1023;

    ReplyParser();

    // A command has been written: `command` is its text with its CR LF
    // terminator (the last two characters, whatever they are) left off.
    void CommandWritten(std::string_view command);
    // Takes `count` received bytes; true when an "OK" following an echo was
    // among them.
    bool Take(const char* bytes, std::size_t count);
    // Forgets a line begun on a port that has gone.
    void DropPartialLine() { replyLine_.clear(); }

    // The text awaited as the echo; emptied when the echo arrives.
    const std::string& LastCommand() const { return lastCommand_; }
    // The echo has arrived, so the next complete line is examined as the
    // acknowledgment. A time-out leaves it as it is.
    bool EchoSeen() const { return echoSeen_; }
    // The characters received since the last CR.
    const std::string& ReplyLine() const { return replyLine_; }

private:
    std::string lastCommand_;
    bool echoSeen_ = false;
    std::string replyLine_;
};

}  // namespace radio
