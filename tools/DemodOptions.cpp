#include "tools/DemodOptions.h"

#include "settings/ProfileValue.h"
#include "tools/Messages.h"
#include "tools/ProgramOptions.h"

#include <algorithm>
#include <cctype>
#include <type_traits>

namespace tools {

namespace {

using C = dsp::ChainControls;

// A key's field takes an option's value: a switch is on for anything but 0, a
// choice takes the value as its code.
template <auto Field>
void Assign(C& c, int32_t value)
{
    using T = std::remove_reference_t<decltype(c.*Field)>;
    if constexpr (std::is_same_v<T, bool>)
        c.*Field = value != 0;
    else
        c.*Field = static_cast<T>(value);
}

struct KeyRef {
    std::string_view name;
    void (*assign)(C&, int32_t);
};

const KeyRef kKeys[] = {
    {"FreqTune", Assign<&C::FreqTune>},
    {"RxMode", Assign<&C::RxMode>},
    {"IFBW", Assign<&C::IFBW>},
    {"PosIFBW", Assign<&C::PosIFBW>},
    {"AFLPF", Assign<&C::AFLPF>},
    {"PosAFFC1", Assign<&C::PosAFFC1>},
    {"PosAFFC2", Assign<&C::PosAFFC2>},
    {"AGC", Assign<&C::AGC>},
    {"GainPos", Assign<&C::GainPos>},
    {"SqlPos", Assign<&C::SqlPos>},
    {"InGainPos", Assign<&C::InGainPos>},
    {"InvIQ", Assign<&C::InvIQ>},
    {"DSP3D", Assign<&C::DSP3D>},
    {"DSPNR", Assign<&C::DSPNR>},
    {"DSPAN", Assign<&C::DSPAN>},
    {"Monitor", Assign<&C::MonitorOn>},
    {"IQCorr", Assign<&C::IQCorr>},
    {"DCCorr", Assign<&C::DCCorr>},
    {"IQCorrGain", Assign<&C::IQCorrGain>},
    {"IQCorrPhase", Assign<&C::IQCorrPhase>},
};

bool SameKey(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string Quoted(std::string_view s) { return '"' + OneLine(s) + '"'; }

}  // namespace

const char* const kDemodUsage =
    "Usage: tesmar-demod [OPTION]... INPUT.dat OUTPUT.wav\n"
    "Demodulates an IQ recording through the receiver chain, as playback does.\n"
    "\n"
    "  INPUT.dat            our raw IQ recording (a file without end marker ends where it\n"
    "                       ends), or a WAV/RF64, SigMF, .sdriq or gqrx_..._fc.raw recording\n"
    "                       at any rate, played as a 48 kHz slice\n"
    "  OUTPUT.wav           receiver output as long as the input, 48000 Hz, 2 channels,\n"
    "                       16 bits; \"-\" is standard output (a pipe: a streaming header)\n"
    "  --set KEY=VALUE      receiver setting; VALUE is decimal, or hex after \"$\" or \"0x\".\n"
    "                       KEY: FreqTune RxMode IFBW PosIFBW AFLPF PosAFFC1 PosAFFC2 AGC\n"
    "                       GainPos SqlPos InGainPos InvIQ DSP3D DSPNR DSPAN Monitor IQCorr\n"
    "                       DCCorr IQCorrGain IQCorrPhase. Unset keys keep the defaults of a\n"
    "                       first run; GainPos=-150 is silent: pass e.g. --set GainPos=0.\n"
    "                       Values no control allows are read as the receiver reads them.\n"
    "  --shift HZ           centre the 48 kHz slice HZ from the recording's centre\n"
    "  --record REC.wav     also write what the WAV recorder writes (8000 Hz mono, blocks\n"
    "                       with the squelch open), recording from the first block\n"
    "  --spectrum OUT.f64   also write each block's 2048 spectrum values, float64 LE\n"
    "  --threads N          threads for the chain: 1, or 2 (the default with two cores)\n"
    "  --udp [HOST:]PORT    also send the audio to a decoder over UDP at real time (48 kHz\n"
    "                       16-bit LE mono, fixed level, squelched); OUTPUT.wav optional\n"
    "  --udp-fast [HOST:]PORT  the same, as fast as the recording reads\n"
    "  -q, --quiet          no progress line on a terminal\n"
    "  -h, --help, --version  show this help, or the version\n"
    "\n"
    "Outputs must be files other than the input and each other. Exit status 0 on\n"
    "success; 2 on any error, with one line on stderr and no output files left behind.\n";

const std::vector<std::string_view>& DemodKeys()
{
    static const std::vector<std::string_view> keys = [] {
        std::vector<std::string_view> k;
        for (const auto& r : kKeys)
            k.push_back(r.name);
        return k;
    }();
    return keys;
}

bool ApplyDemodSetting(dsp::ChainControls& controls, std::string_view assignment,
                       std::string* error)
{
    std::string ignored;
    if (!error)
        error = &ignored;
    const auto eq = assignment.find('=');
    if (eq == std::string_view::npos) {
        *error = "--set needs KEY=VALUE, got " + Quoted(assignment);
        return false;
    }
    const std::string_view key = assignment.substr(0, eq);
    const std::string_view text = assignment.substr(eq + 1);
    const auto ref = std::find_if(std::begin(kKeys), std::end(kKeys),
                                  [&](const KeyRef& r) { return SameKey(r.name, key); });
    if (ref == std::end(kKeys)) {
        *error = "unknown key " + Quoted(key) + " (see --help for the keys)";
        return false;
    }
    const auto value = settings::ParseProfileInt(text);
    if (!value) {
        *error = "malformed value " + Quoted(text) + " for " + std::string(ref->name) +
                 " (an integer: decimal, or hex after \"$\" or \"0x\")";
        return false;
    }
    ref->assign(controls, *value);
    return true;
}

bool ParseDemodArgs(const std::vector<std::string>& args, DemodOptions& options, std::string* error)
{
    std::string ignored;
    if (!error)
        error = &ignored;
    auto fileName = [](std::filesystem::path& to, std::string_view name) {
        return [&to, name](const std::string& value, std::string* err) {
            if (value.empty()) {
                *err = std::string(name) + " needs a file name";
                return false;
            }
            to = value;
            return true;
        };
    };
    auto udpTo = [&options](bool fast) {
        return [&options, fast](const std::string& value, std::string* err) {
            std::string problem;
            options.udp = remote::ParseAudioDestination(value, &problem);
            options.udpFast = fast;
            if (!options.udp)
                *err = (fast ? "--udp-fast: " : "--udp: ") + problem;
            return options.udp.has_value();
        };
    };
    const OptionRule table[] = {
        {"--set", true,
         [&](const std::string& value, std::string* err) {
             return ApplyDemodSetting(options.controls, value, err);
         }},
        {"--record", true, fileName(options.record, "--record")},
        {"--spectrum", true, fileName(options.spectrum, "--spectrum")},
        {"--shift", true,
         [&](const std::string& value, std::string* err) {
             std::size_t used = 0;
             try {
                 options.shift = std::stoll(value, &used);
             } catch (const std::exception&) {
                 used = 0;
             }
             if (used == 0 || used != value.size()) {
                 *err = "--shift needs a whole number of Hz, got " + Quoted(value);
                 return false;
             }
             return true;
         }},
        {"--udp", true, udpTo(false)},
        {"--udp-fast", true, udpTo(true)},
        {"--threads", true,
         [&](const std::string& value, std::string* err) {
             if (value.empty() || value.size() > 4 ||
                 !std::all_of(value.begin(), value.end(),
                              [](char ch) { return ch >= '0' && ch <= '9'; }) ||
                 std::stoi(value) < 1) {
                 *err = "--threads needs a whole number from 1, got " + Quoted(value);
                 return false;
             }
             options.threads = std::stoi(value);
             return true;
         }},
    };
    std::vector<std::string> positional;
    if (!ParseOptions(args, table, &positional, &options.help, error))
        return false;
    if (options.help)
        return true;
    const std::size_t least = options.udp ? 1 : 2;
    if (positional.size() < least || positional.size() > 2) {
        *error = positional.size() < least ? (options.udp ? "expected INPUT.dat (see --help)"
                                                          : "expected INPUT.dat and OUTPUT.wav "
                                                            "(see --help)")
                                           : "too many file names (see --help)";
        return false;
    }
    options.input = positional[0];
    if (positional.size() == 2)
        options.output = positional[1];
    return true;
}

}  // namespace tools
