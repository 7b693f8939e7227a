// Any text as "MemoryList.txt": it is read as the list window reads it, and
// what a save writes must read back as the same channels, save to the same
// text again, and every frequency must make a list caption that reads back.
#include "memory/MemoryFormat.h"
#include "memory/MemoryList.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void Check(bool holds)
{
    if (!holds)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const memory::ChannelList loaded = memory::ChannelList::Parse(text);
    const std::string saved = loaded.Serialize();
    const memory::ChannelList again = memory::ChannelList::Parse(saved);
    Check(again.Channels() == loaded.Channels());
    Check(again.CrLf() == loaded.CrLf() || loaded.Channels().empty());
    Check(again.Serialize() == saved);
    for (const memory::Channel& c : loaded.Channels()) {
        const std::string caption = memory::FormatHzCaption(c.hz);
        Check(caption.size() == 12 || caption.size() == 13);
        Check(memory::ParseHzCaption(caption) == c.hz);
        Check(c.name.find_first_of(",\n") == std::string::npos);
    }
    return 0;
}
