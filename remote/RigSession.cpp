#include "remote/RigSession.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

namespace remote {

namespace {

// Hamlib's mode bits (RIG_MODE_AM, ...), for "\dump_state".
constexpr uint64_t kModeAm = 1u << 0, kModeCw = 1u << 1, kModeUsb = 1u << 2, kModeLsb = 1u << 3,
                   kModeFm = 1u << 5, kModeCwr = 1u << 7, kModePktLsb = 1u << 10,
                   kModePktUsb = 1u << 11, kModePktFm = 1u << 12;
constexpr uint64_t kAllModes = kModeAm | kModeCw | kModeUsb | kModeLsb | kModeFm | kModeCwr |
                               kModePktLsb | kModePktUsb | kModePktFm;
// Hamlib's level bits: RIG_LEVEL_AF, RIG_LEVEL_SQL, RIG_LEVEL_STRENGTH.
constexpr uint64_t kLevelAf = 1u << 3, kLevelSql = 1u << 5, kLevelStrength = 1u << 30;
constexpr uint64_t kVfoA = 1u << 0;  // RIG_VFO_A
constexpr uint64_t kAnt1 = 1u << 0;  // RIG_ANT_1

struct ModeName {
    std::string_view name;
    RigMode base;
    bool alias;  // a Hamlib mode the receiver hears with its base mode
};

// In Hamlib's bit order, which is also the order "M ?" lists them in.
constexpr ModeName kModeNames[] = {
    {"AM", RigMode::Am, false},     {"CW", RigMode::Cw, false},     {"USB", RigMode::Usb, false},
    {"LSB", RigMode::Lsb, false},   {"FM", RigMode::Fm, false},     {"CWR", RigMode::Cw, true},
    {"PKTLSB", RigMode::Lsb, true}, {"PKTUSB", RigMode::Usb, true}, {"PKTFM", RigMode::Fm, true},
};

uint64_t ModeBits(RigMode mode)
{
    switch (mode) {
    case RigMode::Am: return kModeAm;
    case RigMode::Fm: return kModeFm | kModePktFm;
    case RigMode::Cw: return kModeCw | kModeCwr;
    case RigMode::Lsb: return kModeLsb | kModePktLsb;
    case RigMode::Usb: break;
    }
    return kModeUsb | kModePktUsb;
}

// Every level name Hamlib knows: those the receiver lacks are "not
// available", any other word is an invalid parameter.
constexpr std::string_view kHamlibLevels[] = {
    "PREAMP",
    "ATT",
    "VOXDELAY",
    "AF",
    "RF",
    "SQL",
    "IF",
    "APF",
    "NR",
    "PBT_IN",
    "PBT_OUT",
    "CWPITCH",
    "RFPOWER",
    "MICGAIN",
    "KEYSPD",
    "NOTCHF",
    "COMP",
    "AGC",
    "BKINDL",
    "BAL",
    "METER",
    "VOXGAIN",
    "ANTIVOX",
    "SLOPE_LOW",
    "SLOPE_HIGH",
    "BKIN_DLYMS",
    "RAWSTR",
    "SWR",
    "ALC",
    "STRENGTH",
    "RFPOWER_METER",
    "COMP_METER",
    "VD_METER",
    "ID_METER",
    "NOTCHF_RAW",
    "MONITOR_GAIN",
    "NB",
    "RFPOWER_METER_WATTS",
    "SPECTRUM_MODE",
    "SPECTRUM_SPAN",
    "SPECTRUM_EDGE_LOW",
    "SPECTRUM_EDGE_HIGH",
    "SPECTRUM_SPEED",
    "SPECTRUM_REF",
    "SPECTRUM_AVG",
    "SPECTRUM_ATT",
    "TEMP_METER",
    "BAND_SELECT",
    "USB_AF",
    "AGC_TIME",
};

// The VFO names that mean the receiver's one VFO.
constexpr std::string_view kOurVfo[] = {"VFOA", "currVFO", "VFO", "Main", "MainA", "RX"};

template <class Range, class T>
bool Contains(const Range& range, const T& value)
{
    return std::find(std::begin(range), std::end(range), value) != std::end(range);
}

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool EqualsUpper(std::string_view a, std::string_view upper)
{
    return a.size() == upper.size() && std::equal(a.begin(), a.end(), upper.begin(),
                                                  [](char x, char y) { return Upper(x) == y; });
}

// A decimal number as clients write them ("7074000", "7074055.000000",
// "0.5"); nothing else (no "inf", no trailing text).
std::optional<double> ParseNumber(std::string_view s)
{
    double v = 0.0;
    const char* end = s.data() + s.size();
    const auto [ptr, ec] = std::from_chars(s.data(), end, v, std::chars_format::general);
    if (s.empty() || ec != std::errc() || ptr != end || !std::isfinite(v))
        return std::nullopt;
    return v;
}

void AppendInt(std::string& out, int64_t v)
{
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

void AppendHex(std::string& out, uint64_t v)
{
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, 16);
    out += "0x";
    out.append(buf, r.ptr);
}

// "%f": six decimals, a point whatever the locale.
void AppendFixed(std::string& out, double v)
{
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 6);
    out.append(buf, r.ptr);
}

bool IsGet(Command c)
{
    switch (c) {
    case Command::GetFreq:
    case Command::GetMode:
    case Command::GetVfo:
    case Command::GetSplitVfo:
    case Command::GetPtt:
    case Command::GetLevel:
    case Command::GetInfo:
    case Command::ChkVfo:
    case Command::DumpState:
    case Command::GetPowerstat:
    case Command::GetLockMode: return true;
    default: return false;
    }
}

// "0" or "1", or nothing.
std::optional<bool> ParseFlag(std::string_view s)
{
    if (s == "0")
        return false;
    if (s == "1")
        return true;
    return std::nullopt;
}

}  // namespace

std::string_view RigModeName(RigMode mode)
{
    for (const ModeName& m : kModeNames)
        if (!m.alias && m.base == mode)
            return m.name;
    return "USB";
}

// Writes a reply's records with the request's separator.
class RigSession::Writer {
public:
    Writer(std::string& out, const Request& r)
        : out_(out)
        , separator_(r.separator)
    {}

    bool Extended() const { return separator_ != 0; }

    // The extended response's echo of the command: "set_mode: USB 2400".
    void Header(const Request& r)
    {
        if (!Extended())
            return;
        out_ += r.name;
        out_ += ':';
        if (!r.rawArgs.empty()) {
            out_ += ' ';
            out_ += r.rawArgs;
        }
        End();
    }
    // "value" alone, or "Key: value" in the extended response.
    std::string& Key(std::string_view key)
    {
        if (Extended()) {
            out_ += key;
            out_ += ": ";
        }
        return out_;
    }
    void Value(std::string_view key, std::string_view text)
    {
        Key(key) += text;
        End();
    }
    void Value(std::string_view key, int64_t v)
    {
        AppendInt(Key(key), v);
        End();
    }
    std::string& Out() { return out_; }
    void Line(std::string_view text)
    {
        out_ += text;
        End();
    }
    void End() { out_ += separator_ == 0 ? '\n' : separator_; }
    void Status(RigStatus s)
    {
        out_ += "RPRT ";
        AppendInt(out_, -static_cast<int>(s));
        out_ += '\n';
    }

private:
    std::string& out_;
    char separator_;
};

RigSession::RigSession(Rig& rig, SharedRigState& shared)
    : rig_(rig)
    , shared_(shared)
{}

bool RigSession::Handle(std::string_view line, std::string& reply)
{
    const Request r = ParseRequest(line);
    if (r.command == Command::Empty)
        return true;
    Writer out(reply, r);
    out.Header(r);
    const bool arityMatters = r.command != Command::Unknown && r.command != Command::NotAvailable &&
                              r.command != Command::Quit;
    const RigStatus status =
        arityMatters && r.badArity ? RigStatus::InvalidParameter : Execute(r, out);
    // A get that succeeded says so by its values alone, unless extended.
    if (out.Extended() || !IsGet(r.command) || status != RigStatus::Ok)
        out.Status(status);
    return r.command != Command::Quit;
}

RigStatus RigSession::Execute(const Request& r, Writer& out)
{
    const std::string_view a0 = r.args[0];
    switch (r.command) {
    case Command::GetFreq: out.Value("Frequency", rig_.Frequency()); return RigStatus::Ok;
    case Command::SetFreq: return SetFrequency(r);
    case Command::GetMode: return GetMode(out);
    case Command::SetMode: return SetMode(r, out);
    case Command::GetVfo: out.Value("VFO", "VFOA"); return RigStatus::Ok;
    case Command::SetVfo:
        if (a0 == "?") {
            out.Line("VFOA ");
            return RigStatus::Ok;
        }
        return Contains(kOurVfo, a0) ? RigStatus::Ok : RigStatus::InvalidParameter;
    case Command::GetSplitVfo:
        out.Value("Split", "0");
        out.Value("TX VFO", "VFOA");
        return RigStatus::Ok;
    case Command::SetSplitVfo:
        // A receiver has no transmitter to split off.
        if (a0 == "1")
            return RigStatus::NotAvailable;
        return a0 == "0" ? RigStatus::Ok : RigStatus::InvalidParameter;
    case Command::GetPtt: out.Value("PTT", "0"); return RigStatus::Ok;
    case Command::SetPtt:
        if (a0 == "1" || a0 == "2" || a0 == "3")
            return RigStatus::NotAvailable;
        return a0 == "0" ? RigStatus::Ok : RigStatus::InvalidParameter;
    case Command::GetLevel: return GetLevel(r, out);
    case Command::SetLevel: return SetLevel(r, out);
    case Command::GetInfo: out.Value("Info", "Tesmar"); return RigStatus::Ok;
    case Command::ChkVfo: out.Value("ChkVFO", vfoMode_ ? "1" : "0"); return RigStatus::Ok;
    case Command::DumpState: DumpState(out); return RigStatus::Ok;
    case Command::GetPowerstat: out.Value("Power Status", "1"); return RigStatus::Ok;
    case Command::SetPowerstat:
        if (a0 == "0" || a0 == "2")
            return RigStatus::NotAvailable;
        return a0 == "1" ? RigStatus::Ok : RigStatus::InvalidParameter;
    case Command::SetVfoOpt:
        if (const auto on = ParseFlag(a0)) {
            vfoMode_ = *on;
            return RigStatus::Ok;
        }
        return RigStatus::InvalidParameter;
    case Command::GetLockMode:
        out.Value("Locked", shared_.modeLocked ? "1" : "0");
        return RigStatus::Ok;
    case Command::SetLockMode:
        if (const auto on = ParseFlag(a0)) {
            shared_.modeLocked = *on;
            return RigStatus::Ok;
        }
        return RigStatus::InvalidParameter;
    case Command::Scan: return Scan(r);
    case Command::Aos: return rig_.StartRecording();
    case Command::Los: return rig_.StopRecording();
    case Command::Quit:
    case Command::Empty: return RigStatus::Ok;
    case Command::NotAvailable: return RigStatus::NotAvailable;
    case Command::Unknown: break;
    }
    return RigStatus::NotImplemented;
}

RigStatus RigSession::SetFrequency(const Request& r)
{
    const std::optional<double> hz = ParseNumber(r.args[0]);
    // Anything beyond 100 GHz is no receive frequency; it also keeps the
    // rounding below far from the integer limits.
    if (!hz || *hz < 0.0 || *hz > 1e11)
        return RigStatus::InvalidParameter;
    return rig_.SetFrequency(std::llround(*hz));
}

RigStatus RigSession::Scan(const Request& r)
{
    // The channel a memory scan would start at: a number, which we take and
    // leave (the scan goes over the whole list).
    if (r.argCount > 1 && !ParseNumber(r.args[1]))
        return RigStatus::InvalidParameter;
    const std::string_view what = r.args[0];
    if (what == "STOP")
        return rig_.Scan(RigScan::Stop);
    if (what == "MEM")
        return rig_.Scan(RigScan::Memory);
    if (what == "VFO")
        return rig_.Scan(RigScan::Vfo);
    // Hamlib's other scans (selected, priority, programmed, delta, panorama).
    for (std::string_view other : {"SLCT", "PRIO", "PROG", "DELTA", "PLT"})
        if (what == other)
            return RigStatus::NotAvailable;
    return RigStatus::InvalidParameter;
}

RigStatus RigSession::GetMode(Writer& out)
{
    const RigMode mode = rig_.Mode();
    if (!modeAlias_.empty() && aliasBase_ != mode)
        modeAlias_ = {};
    out.Value("Mode", modeAlias_.empty() ? RigModeName(mode) : modeAlias_);
    out.Value("Passband", rig_.Passband());
    return RigStatus::Ok;
}

RigStatus RigSession::SetMode(const Request& r, Writer& out)
{
    if (r.args[0] == "?") {
        std::string& line = out.Out();
        for (const ModeName& m : kModeNames) {
            line += m.name;
            line += ' ';
        }
        out.End();
        return RigStatus::Ok;
    }
    const auto named =
        std::find_if(std::begin(kModeNames), std::end(kModeNames),
                     [&](const ModeName& m) { return EqualsUpper(r.args[0], m.name); });
    if (named == std::end(kModeNames))
        return RigStatus::InvalidParameter;

    // -1 is Hamlib's "no change", 0 its "the mode's normal width": neither
    // may undo a width the operator chose, so both keep it.
    int32_t width = 0;
    if (r.argCount >= 2) {
        const std::optional<double> passband = ParseNumber(r.args[1]);
        if (!passband || (*passband < 0.0 && *passband != -1.0))
            return RigStatus::InvalidParameter;
        if (*passband > 0.0)
            width = static_cast<int32_t>(
                std::clamp(std::llround(*passband), 1LL,
                           static_cast<long long>(std::numeric_limits<int32_t>::max())));
    }
    // rigctld answers a locked mode with success and leaves it.
    if (shared_.modeLocked)
        return RigStatus::Ok;
    const RigStatus status = rig_.SetMode(named->base, width);
    if (status == RigStatus::Ok) {
        modeAlias_ = named->alias ? named->name : std::string_view();
        aliasBase_ = named->base;
    }
    return status;
}

RigStatus RigSession::GetLevel(const Request& r, Writer& out) const
{
    const std::string_view name = r.args[0];
    if (name == "?") {
        out.Line("AF SQL STRENGTH ");
        return RigStatus::Ok;
    }
    if (name == "STRENGTH") {
        out.Value("Level Value", rig_.StrengthDb());
        return RigStatus::Ok;
    }
    if (name == "AF" || name == "SQL") {
        AppendFixed(out.Key("Level Value"), name == "AF" ? rig_.Volume() : rig_.Squelch());
        out.End();
        return RigStatus::Ok;
    }
    return Contains(kHamlibLevels, name) ? RigStatus::NotAvailable : RigStatus::InvalidParameter;
}

RigStatus RigSession::SetLevel(const Request& r, Writer& out)
{
    const std::string_view name = r.args[0];
    if (name == "?") {
        out.Line("AF SQL ");
        return RigStatus::Ok;
    }
    if (name == "AF" || name == "SQL") {
        const std::optional<double> level = r.argCount >= 2 ? ParseNumber(r.args[1]) : std::nullopt;
        if (!level || *level < 0.0 || *level > 1.0)
            return RigStatus::InvalidParameter;
        return name == "AF" ? rig_.SetVolume(*level) : rig_.SetSquelch(*level);
    }
    return Contains(kHamlibLevels, name) ? RigStatus::NotAvailable : RigStatus::InvalidParameter;
}

// Protocol 0 of "\dump_state", the part every NET rigctl client reads:
// version, model, region, the receive range (no transmit range), tuning
// steps, filters with each mode's normal width first, then RIT, XIT, IF
// shift, announcements, preamplifiers, attenuators and the function,
// level and parameter masks.
void RigSession::DumpState(Writer& out) const
{
    const RigCaps caps = rig_.Caps();
    std::string& s = out.Out();
    out.Line("0");
    out.Line("2");  // NET rigctl
    out.Line("0");
    AppendFixed(s, static_cast<double>(caps.minHz));
    s += ' ';
    AppendFixed(s, static_cast<double>(caps.maxHz));
    s += ' ';
    AppendHex(s, kAllModes);
    s += " -1 -1 ";
    AppendHex(s, kVfoA);
    s += ' ';
    AppendHex(s, kAnt1);
    out.End();
    out.Line("0 0 0 0 0 0 0");
    out.Line("0 0 0 0 0 0 0");
    for (int32_t step : caps.tuningSteps) {
        AppendHex(s, kAllModes);
        s += ' ';
        AppendInt(s, step);
        out.End();
    }
    out.Line("0 0");
    for (int m = 0; m < kRigModeCount; ++m) {
        AppendHex(s, ModeBits(static_cast<RigMode>(m)));
        s += ' ';
        AppendInt(s, caps.normalWidth[m]);
        out.End();
    }
    for (int32_t width : caps.widths) {
        AppendHex(s, kAllModes);
        s += ' ';
        AppendInt(s, width);
        out.End();
    }
    if (caps.anyWidth) {
        AppendHex(s, kAllModes);
        s += " 0";  // RIG_FLT_ANY
        out.End();
    }
    out.Line("0 0");
    for (int i = 0; i < 4; ++i)
        out.Line("0");  // no RIT, XIT, IF shift, announcements
    out.Line("");       // preamplifiers
    out.Line("");       // attenuators
    out.Line("0x0");
    out.Line("0x0");
    AppendHex(s, kLevelAf | kLevelSql | kLevelStrength);
    out.End();
    AppendHex(s, kLevelAf | kLevelSql);
    out.End();
    out.Line("0x0");
    out.Line("0x0");
}

}  // namespace remote
