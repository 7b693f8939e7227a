#include "remote/RigRequest.h"

#include <algorithm>

namespace remote {

namespace {

struct CommandEntry {
    char shortName;  // 0: long form only
    std::string_view longName;
    Command command;
    uint8_t minArgs;
    uint8_t maxArgs;
};

constexpr uint8_t kAny = Request::kMaxArgs;

// The commands this receiver answers.
constexpr CommandEntry kCommands[] = {
    {'f', "get_freq", Command::GetFreq, 0, 0},
    {'F', "set_freq", Command::SetFreq, 1, 1},
    {'m', "get_mode", Command::GetMode, 0, 0},
    {'M', "set_mode", Command::SetMode, 1, 2},
    {'v', "get_vfo", Command::GetVfo, 0, 0},
    {'V', "set_vfo", Command::SetVfo, 1, 1},
    {'s', "get_split_vfo", Command::GetSplitVfo, 0, 0},
    {'S', "set_split_vfo", Command::SetSplitVfo, 1, 2},
    {'t', "get_ptt", Command::GetPtt, 0, 0},
    {'T', "set_ptt", Command::SetPtt, 1, 1},
    {'l', "get_level", Command::GetLevel, 1, 1},
    {'L', "set_level", Command::SetLevel, 1, 2},
    {'_', "get_info", Command::GetInfo, 0, 0},
    {'q', "quit", Command::Quit, 0, kAny},
    {'Q', "quit", Command::Quit, 0, kAny},
    {'g', "scan", Command::Scan, 1, 2},
    {0, "chk_vfo", Command::ChkVfo, 0, 0},
    {0, "dump_state", Command::DumpState, 0, 0},
    {0, "get_powerstat", Command::GetPowerstat, 0, 0},
    {0, "set_powerstat", Command::SetPowerstat, 1, 1},
    {0, "set_vfo_opt", Command::SetVfoOpt, 1, 1},
    {0, "get_lock_mode", Command::GetLockMode, 0, 0},
    {0, "set_lock_mode", Command::SetLockMode, 1, 1},
};

// Rig commands of the protocol that a receiver has nothing to do with:
// answered "not available" rather than "unknown", as rigctld answers them
// for a rig without the function.
constexpr CommandEntry kUnavailable[] = {
    {'I', "set_split_freq", Command::NotAvailable, 0, kAny},
    {'i', "get_split_freq", Command::NotAvailable, 0, kAny},
    {'X', "set_split_mode", Command::NotAvailable, 0, kAny},
    {'x', "get_split_mode", Command::NotAvailable, 0, kAny},
    {'K', "set_split_freq_mode", Command::NotAvailable, 0, kAny},
    {'k', "get_split_freq_mode", Command::NotAvailable, 0, kAny},
    {'N', "set_ts", Command::NotAvailable, 0, kAny},
    {'n', "get_ts", Command::NotAvailable, 0, kAny},
    {'U', "set_func", Command::NotAvailable, 0, kAny},
    {'u', "get_func", Command::NotAvailable, 0, kAny},
    {'P', "set_parm", Command::NotAvailable, 0, kAny},
    {'p', "get_parm", Command::NotAvailable, 0, kAny},
    {'G', "vfo_op", Command::NotAvailable, 0, kAny},
    {'A', "set_trn", Command::NotAvailable, 0, kAny},
    {'a', "get_trn", Command::NotAvailable, 0, kAny},
    {'R', "set_rptr_shift", Command::NotAvailable, 0, kAny},
    {'r', "get_rptr_shift", Command::NotAvailable, 0, kAny},
    {'O', "set_rptr_offs", Command::NotAvailable, 0, kAny},
    {'o', "get_rptr_offs", Command::NotAvailable, 0, kAny},
    {'C', "set_ctcss_tone", Command::NotAvailable, 0, kAny},
    {'c', "get_ctcss_tone", Command::NotAvailable, 0, kAny},
    {'D', "set_dcs_code", Command::NotAvailable, 0, kAny},
    {'d', "get_dcs_code", Command::NotAvailable, 0, kAny},
    {'E', "set_mem", Command::NotAvailable, 0, kAny},
    {'e', "get_mem", Command::NotAvailable, 0, kAny},
    {'H', "set_channel", Command::NotAvailable, 0, kAny},
    {'h', "get_channel", Command::NotAvailable, 0, kAny},
    {'B', "set_bank", Command::NotAvailable, 0, kAny},
    {'J', "set_rit", Command::NotAvailable, 0, kAny},
    {'j', "get_rit", Command::NotAvailable, 0, kAny},
    {'Z', "set_xit", Command::NotAvailable, 0, kAny},
    {'z', "get_xit", Command::NotAvailable, 0, kAny},
    {'Y', "set_ant", Command::NotAvailable, 0, kAny},
    {'y', "get_ant", Command::NotAvailable, 0, kAny},
    {'*', "reset", Command::NotAvailable, 0, kAny},
    {'w', "send_cmd", Command::NotAvailable, 0, kAny},
    {'W', "send_cmd_rx", Command::NotAvailable, 0, kAny},
    {'b', "send_morse", Command::NotAvailable, 0, kAny},
    {'1', "dump_caps", Command::NotAvailable, 0, kAny},
    {'2', "power2mW", Command::NotAvailable, 0, kAny},
    {'3', "dump_conf", Command::NotAvailable, 0, kAny},
    {'4', "mW2power", Command::NotAvailable, 0, kAny},
    {0, "get_dcd", Command::NotAvailable, 0, kAny},
    {0, "set_ctcss_sql", Command::NotAvailable, 0, kAny},
    {0, "get_ctcss_sql", Command::NotAvailable, 0, kAny},
    {0, "set_dcs_sql", Command::NotAvailable, 0, kAny},
    {0, "get_dcs_sql", Command::NotAvailable, 0, kAny},
    {0, "send_dtmf", Command::NotAvailable, 0, kAny},
    {0, "recv_dtmf", Command::NotAvailable, 0, kAny},
    {0, "get_vfo_info", Command::NotAvailable, 0, kAny},
    {0, "get_rig_info", Command::NotAvailable, 0, kAny},
    {0, "get_vfo_list", Command::NotAvailable, 0, kAny},
    {0, "get_modes", Command::NotAvailable, 0, kAny},
    {0, "get_mode_bandwidths", Command::NotAvailable, 0, kAny},
    {0, "get_clock", Command::NotAvailable, 0, kAny},
    {0, "set_clock", Command::NotAvailable, 0, kAny},
    {0, "halt", Command::NotAvailable, 0, kAny},
    {0, "pause", Command::NotAvailable, 0, kAny},
    {0, "password", Command::NotAvailable, 0, kAny},
    {0, "set_twiddle", Command::NotAvailable, 0, kAny},
    {0, "get_twiddle", Command::NotAvailable, 0, kAny},
    {0, "set_uplink", Command::NotAvailable, 0, kAny},
    {0, "set_cache", Command::NotAvailable, 0, kAny},
    {0, "get_cache", Command::NotAvailable, 0, kAny},
    {0, "stop_morse", Command::NotAvailable, 0, kAny},
    {0, "wait_morse", Command::NotAvailable, 0, kAny},
    {0, "send_voice_mem", Command::NotAvailable, 0, kAny},
    {0, "send_raw", Command::NotAvailable, 0, kAny},
};

// Satellite trackers announce a pass with these bare words.
constexpr CommandEntry kPassWords[] = {
    {0, "AOS", Command::Aos, 0, 0},
    {0, "LOS", Command::Los, 0, 0},
};

constexpr std::string_view kVfoNames[] = {
    "VFOA", "VFOB",  "VFOC",  "currVFO", "VFO",  "MEM",  "Main", "Sub",  "TX",
    "RX",   "MainA", "MainB", "MainC",   "SubA", "SubB", "SubC", "None",
};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// The word at the front of s, and s moved past it.
std::string_view TakeWord(std::string_view& s)
{
    s = Trim(s);
    std::size_t end = 0;
    while (end < s.size() && !IsBlank(s[end]))
        ++end;
    const std::string_view word = s.substr(0, end);
    s.remove_prefix(end);
    return word;
}

bool IsPunct(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return (u >= 0x21 && u <= 0x2f) || (u >= 0x3a && u <= 0x40) || (u >= 0x5b && u <= 0x60) ||
           (u >= 0x7b && u <= 0x7e);
}

template <std::size_t N>
const CommandEntry* FindLong(const CommandEntry (&table)[N], std::string_view name)
{
    const auto it = std::find_if(std::begin(table), std::end(table),
                                 [&](const CommandEntry& e) { return e.longName == name; });
    return it == std::end(table) ? nullptr : it;
}

template <std::size_t N>
const CommandEntry* FindShort(const CommandEntry (&table)[N], char name)
{
    const auto it = std::find_if(std::begin(table), std::end(table),
                                 [&](const CommandEntry& e) { return e.shortName == name; });
    return it == std::end(table) ? nullptr : it;
}

void TakeArguments(const CommandEntry& entry, std::string_view rest, Request& r)
{
    r.rawArgs = Trim(rest);
    // One more token than any command takes, to tell "too many" apart.
    std::array<std::string_view, Request::kMaxArgs + 2> tokens{};
    std::size_t count = 0;
    for (std::string_view word = TakeWord(rest); !word.empty() && count < tokens.size();
         word = TakeWord(rest))
        tokens[count++] = word;
    std::size_t first = 0;
    // In VFO mode every command but set_vfo names its VFO first. The scan's
    // own "MEM" and "VFO" are VFO names too: they are its VFO only when the
    // scan function and channel follow them.
    const bool scanFunction = entry.command == Command::Scan && count <= entry.maxArgs;
    if (count > 0 && entry.command != Command::SetVfo && !scanFunction && IsVfoName(tokens[0])) {
        r.vfo = tokens[0];
        first = 1;
    }
    const std::size_t given = count - first;
    r.argCount = std::min(given, Request::kMaxArgs);
    for (std::size_t i = 0; i < r.argCount; ++i)
        r.args[i] = tokens[first + i];
    r.badArity = given < entry.minArgs || given > entry.maxArgs;
}

}  // namespace

bool IsVfoName(std::string_view token)
{
    return std::find(std::begin(kVfoNames), std::end(kVfoNames), token) != std::end(kVfoNames);
}

Request ParseRequest(std::string_view line)
{
    Request r;
    line = Trim(line);
    // "+" asks for one record per line; any other punctuation but the three
    // the protocol keeps for itself becomes the record separator.
    if (!line.empty() && IsPunct(line.front()) && line.front() != '\\' && line.front() != '?' &&
        line.front() != '_') {
        r.separator = line.front() == '+' ? '\n' : line.front();
        line = Trim(line.substr(1));
    }
    if (line.empty())
        return r;

    std::string_view rest = line;
    const CommandEntry* entry = nullptr;
    if (line.front() == '\\') {
        rest.remove_prefix(1);
        const std::string_view name = TakeWord(rest);
        entry = FindLong(kCommands, name);
        if (entry == nullptr)
            entry = FindLong(kUnavailable, name);
        r.name = name;
    } else {
        std::string_view afterWord = rest;
        const std::string_view word = TakeWord(afterWord);
        entry = FindLong(kPassWords, word);
        if (entry != nullptr) {
            rest = afterWord;
        } else {
            entry = FindShort(kCommands, line.front());
            if (entry == nullptr)
                entry = FindShort(kUnavailable, line.front());
            r.name = word;
            rest.remove_prefix(entry != nullptr ? 1 : word.size());
        }
    }
    if (entry == nullptr) {
        r.command = Command::Unknown;
        r.rawArgs = Trim(rest);
        return r;
    }
    r.command = entry->command;
    r.name = entry->longName;
    TakeArguments(*entry, rest, r);
    return r;
}

}  // namespace remote
