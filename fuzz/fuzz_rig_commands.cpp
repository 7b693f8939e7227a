// Any bytes from a network client, line by line, through the rig protocol's
// parser and a conversation with an in-memory receiver. Whatever comes in,
// every reply is framed as clients read it (whole lines, a closing "RPRT"
// with one of the codes this server uses), the receiver is only asked for
// what it can take, and nothing reads outside the line.
#include "remote/RigRequest.h"
#include "remote/RigSession.h"

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

constexpr int32_t kWidths[] = {500, 3000, 6000, 12000};
constexpr int32_t kSteps[] = {1, 10, 100, 1000, 5000};

// A receiver that keeps what it is told, and checks that it is told only
// what the protocol layer promises to pass on.
class MemoryRig : public remote::Rig {
public:
    remote::RigCaps Caps() const override
    {
        remote::RigCaps caps;
        caps.minHz = 30000;
        caps.maxHz = 34999990;
        for (int m = 0; m < remote::kRigModeCount; ++m)
            caps.normalWidth[m] = kWidths[m % 4];
        caps.widths = kWidths;
        caps.anyWidth = true;
        caps.tuningSteps = kSteps;
        return caps;
    }
    int64_t Frequency() const override { return hz_; }
    remote::RigStatus SetFrequency(int64_t hz) override
    {
        // Never a negative or absurd frequency.
        Check(hz >= 0 && hz <= 100'000'000'000);
        if (hz < 30000 || hz > 34999990)
            return remote::RigStatus::InvalidParameter;
        hz_ = hz;
        return remote::RigStatus::Ok;
    }
    remote::RigMode Mode() const override { return mode_; }
    int32_t Passband() const override { return width_; }
    remote::RigStatus SetMode(remote::RigMode mode, int32_t width) override
    {
        Check(static_cast<int>(mode) < remote::kRigModeCount);
        // 0 keeps the width; no negative width reaches the receiver.
        Check(width >= 0);
        mode_ = mode;
        if (width > 0)
            width_ = width;
        return remote::RigStatus::Ok;
    }
    int StrengthDb() const override { return -51; }
    double Volume() const override { return volume_; }
    double Squelch() const override { return squelch_; }
    remote::RigStatus SetVolume(double level) override
    {
        Check(level >= 0.0 && level <= 1.0);
        volume_ = level;
        return remote::RigStatus::Ok;
    }
    remote::RigStatus SetSquelch(double level) override
    {
        Check(level >= 0.0 && level <= 1.0);
        squelch_ = level;
        return remote::RigStatus::Ok;
    }
    remote::RigStatus StartRecording() override
    {
        recording_ = true;
        return remote::RigStatus::Ok;
    }
    remote::RigStatus StopRecording() override
    {
        recording_ = false;
        return remote::RigStatus::Ok;
    }
    remote::RigStatus Scan(remote::RigScan what) override
    {
        scanning_ = what != remote::RigScan::Stop;
        return remote::RigStatus::Ok;
    }

private:
    int64_t hz_ = 5000000;
    remote::RigMode mode_ = remote::RigMode::Am;
    int32_t width_ = 6000;
    double volume_ = 0.0;
    double squelch_ = 0.0;
    bool recording_ = false;
    bool scanning_ = false;
};

bool IsStatusCode(std::string_view code)
{
    for (std::string_view known : {"0", "-1", "-4", "-6", "-9", "-11"})
        if (code == known)
            return true;
    return false;
}

bool IsGet(remote::Command c)
{
    using remote::Command;
    for (Command get : {Command::GetFreq, Command::GetMode, Command::GetVfo, Command::GetSplitVfo,
                        Command::GetPtt, Command::GetLevel, Command::GetInfo, Command::ChkVfo,
                        Command::DumpState, Command::GetPowerstat, Command::GetLockMode})
        if (c == get)
            return true;
    return false;
}

void CheckRequest(std::string_view line, const remote::Request& r)
{
    Check(r.argCount <= remote::Request::kMaxArgs);
    const auto inside = [&](std::string_view part) {
        return part.empty() || (part.data() >= line.data() &&
                                part.data() + part.size() <= line.data() + line.size());
    };
    Check(inside(r.rawArgs));
    Check(inside(r.vfo));
    for (std::size_t i = 0; i < r.argCount; ++i)
        Check(!r.args[i].empty() && inside(r.args[i]));
}

// One line's reply as a client reads it.
void CheckReply(const remote::Request& r, const std::string& reply)
{
    if (r.command == remote::Command::Empty) {
        Check(reply.empty());
        return;
    }
    // Every reply is whole lines (an extended record separator other than
    // a line end still closes with one) and small: "\dump_state" is the
    // longest.
    Check(!reply.empty() && reply.back() == '\n');
    Check(reply.size() <= 4096);
    // The status closes the reply as a record of its own.
    const char separator = r.Extended() ? r.separator : '\n';
    const std::size_t status = reply.rfind("RPRT ");
    const bool closed =
        status != std::string::npos &&
        (status == 0 || reply[status - 1] == separator || reply[status - 1] == '\n') &&
        IsStatusCode(std::string_view(reply).substr(status + 5, reply.size() - status - 6));
    // The extended response always closes with its status; so does any
    // command but a get, which may answer with its values alone.
    if (r.Extended() || !IsGet(r.command))
        Check(closed);
}

}  // namespace

// The input is what a client sends: lines ended by '\n', the last one
// possibly without. A line longer than the server takes is cut where the
// server would drop the client.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    MemoryRig rig;
    remote::SharedRigState shared;
    remote::RigSession session(rig, shared);
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string reply;
    std::size_t at = 0;
    while (at < input.size()) {
        std::size_t end = input.find('\n', at);
        if (end == std::string_view::npos)
            end = input.size();
        if (end - at > 256)
            break;
        // A copy of exactly the line's bytes, so that the sanitizer sees any
        // read beyond it.
        const std::string line(input.substr(at, end - at));
        const remote::Request r = remote::ParseRequest(line);
        CheckRequest(line, r);
        reply.clear();
        const bool goOn = session.Handle(line, reply);
        CheckReply(r, reply);
        Check(goOn == (r.command != remote::Command::Quit));
        if (!goOn)
            break;
        at = end + 1;
    }
    return 0;
}
