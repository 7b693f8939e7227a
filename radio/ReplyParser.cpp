#include "radio/ReplyParser.h"

#include "radio/RadioTypes.h"

namespace radio {

ReplyParser::ReplyParser()
{
    // Both strings keep their room, so taking bytes never allocates.
    lastCommand_.reserve(kMaxCommandLength);
    replyLine_.reserve(kMaxReplyLine + 1);
}

void ReplyParser::CommandWritten(std::string_view command)
{
    lastCommand_.assign(command.substr(0, command.size() >= 2 ? command.size() - 2 : 0));
}

bool ReplyParser::Take(const char* bytes, std::size_t count)
{
    bool ok = false;
    for (std::size_t i = 0; i < count; ++i) {
        const char c = bytes[i];
        if (c == '\r') {
            if (echoSeen_) {
                if (replyLine_ == "OK") {
                    ok = true;
                    echoSeen_ = false;
                }
            } else if (replyLine_ == lastCommand_) {
                echoSeen_ = true;
                lastCommand_.clear();
            }
            replyLine_.clear();
        } else if (c != '\n' && replyLine_.size() < kMaxReplyLine) {
            replyLine_.push_back(c);
        }
    }
    return ok;
}

}  // namespace radio
