#include "tools/IqGen.h"

#include "recording/RawIqFile.h"
#include "settings/ProfileValue.h"
#include "tools/DemoBand.h"
#include "tools/ProgramOptions.h"
#include "tools/StagedOutput.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <functional>
#include <iterator>
#include <memory>
#include <numbers>
#include <random>
#include <string_view>

namespace tools {

const char* const kIqGenUsage =
    "Usage: tesmar-iqgen [OPTION]... OUTPUT.dat\n"
    "Writes a raw IQ recording of an AM-modulated carrier, for demos and tests.\n"
    "\n"
    "  --seconds S      length in seconds, rounded up to whole 50 ms blocks (default 5)\n"
    "  --blocks N       length in blocks of 50 ms (overrides --seconds)\n"
    "  --center HZ      centre frequency in the header (default 5012000)\n"
    "  --offset HZ      carrier offset from the centre (default -12000, where the\n"
    "                   receiver listens with its default FreqTune)\n"
    "  --tone HZ        modulating tone (default 1000; 0 for a plain carrier)\n"
    "  --depth PCT      modulation depth in percent, 0..100 (default 50)\n"
    "  --amplitude A    carrier peak in sample units, 0..32767 (default 8000);\n"
    "                   peaks beyond 32767 are clipped\n"
    "  --noise A        RMS of added Gaussian noise, sample units (default 0)\n"
    "  --seed N         noise seed (default 1)\n"
    "  --time HHMMSS    start time in the header (default: now)\n"
    "  --station HZ:MODE:FROM-TO[,FROM-TO]...\n"
    "                   a station at HZ from the centre in MODE (am, fm, cw, lsb,\n"
    "                   usb), on the air from block FROM up to block TO; may be\n"
    "                   given again for more stations, which then replace the\n"
    "                   one carrier (--offset and --tone do not apply)\n"
    "  --iq-gain DB     an imperfect card: its I channel DB louder than Q (-6..6)\n"
    "  --iq-phase DEG   an imperfect card: I off quadrature by DEG degrees (-30..30)\n"
    "  --iq-delay S     an imperfect card: I later than Q by S samples (-1..1)\n"
    "  --dc DBFS        an imperfect card: an offset of DBFS on both channels (-200..0);\n"
    "                   the card's faults apply to everything written, --demo too\n"
    "  --no-end-marker  leave the end marker off, like a recording cut short\n"
    "  --demo           the demo band instead of one carrier (default 30 seconds):\n"
    "                   AM music at 5.000 MHz, CW at 5.008, a USB voice at 5.015\n"
    "                   and FM with a 1 kHz tone at 5.027 MHz, over band noise;\n"
    "                   --tone, --depth, --offset and --amplitude do not apply\n"
    "  -h, --help       show this help\n"
    "      --version    show the version\n"
    "\n"
    "Exit status 0 on success; 2 on any error, with one line on stderr.\n";

namespace {

bool ParseDouble(const std::string& text, double& out)
{
    const char* end = text.data() + text.size();
    auto [p, ec] = std::from_chars(text.data(), end, out);
    return ec == std::errc() && p == end && std::isfinite(out);
}

bool ParseInt(const std::string& text, int64_t& out)
{
    const auto v = settings::ParseProfileInt(text);
    if (!v)
        return false;
    out = *v;
    return true;
}

bool ParseTime(const std::string& text, recording::LocalStamp& stamp)
{
    if (text.size() != 6)
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    stamp.hour = (text[0] - '0') * 10 + (text[1] - '0');
    stamp.minute = (text[2] - '0') * 10 + (text[3] - '0');
    stamp.second = (text[4] - '0') * 10 + (text[5] - '0');
    return stamp.hour < 24 && stamp.minute < 60 && stamp.second < 60;
}

// An integer within [min, max], into `out` (whose type holds the range).
template <class T>
bool ParseIntIn(const std::string& text, int64_t min, int64_t max, T& out)
{
    int64_t v = 0;
    if (!ParseInt(text, v) || v < min || v > max)
        return false;
    out = static_cast<T>(v);
    return true;
}

// A number from 0 to max.
bool ParseDoubleIn(const std::string& text, double max, double& out)
{
    double v = 0;
    if (!ParseDouble(text, v) || v < 0 || v > max)
        return false;
    out = v;
    return true;
}

// A number from min to max.
bool ParseDoubleRange(const std::string& text, double min, double max, double& out)
{
    double v = 0;
    if (!ParseDouble(text, v) || v < min || v > max)
        return false;
    out = v;
    return true;
}

// "HZ:MODE:FROM-TO[,FROM-TO]..." into a station.
bool ParseStation(const std::string& text, IqStation& station)
{
    static constexpr std::string_view kModes[] = {"am", "fm", "cw", "lsb", "usb"};
    const std::size_t colon1 = text.find(':');
    const std::size_t colon2 = colon1 == std::string::npos ? colon1 : text.find(':', colon1 + 1);
    if (colon2 == std::string::npos)
        return false;
    if (!ParseIntIn(text.substr(0, colon1), -24000, 24000, station.offset))
        return false;
    const std::string mode = text.substr(colon1 + 1, colon2 - colon1 - 1);
    const auto* found = std::find(std::begin(kModes), std::end(kModes), mode);
    if (found == std::end(kModes))
        return false;
    station.mode = static_cast<int32_t>(found - std::begin(kModes));
    std::string_view spans = std::string_view(text).substr(colon2 + 1);
    station.on.clear();
    while (!spans.empty()) {
        const std::size_t comma = spans.find(',');
        const std::string span(spans.substr(0, comma));
        spans.remove_prefix(comma == std::string_view::npos ? spans.size() : comma + 1);
        const std::size_t dash = span.find('-');
        int64_t from = 0, to = 0;
        if (dash == std::string::npos || !ParseIntIn(span.substr(0, dash), 0, INT64_MAX, from) ||
            !ParseIntIn(span.substr(dash + 1), from, INT64_MAX, to))
            return false;
        station.on.emplace_back(from, to);
    }
    return !station.on.empty();
}

}  // namespace

namespace {

// The length the options ask for: seconds, or blocks that override them.
struct Length {
    double seconds = 5.0;
    bool secondsGiven = false;
    bool blocksGiven = false;
};

// The options of tesmar-iqgen, each writing into `o` or `length`.
std::vector<OptionRule> IqGenOptionTable(IqGenOptions& o, Length& length)
{
    // A value option: `set` takes the value, false when it is outside what
    // `what` tells.
    using Setter = std::function<bool(const std::string&)>;
    auto valued = [](std::string_view name, const char* what, Setter set) {
        return OptionRule{name, true,
                          [name, what, set](const std::string& value, std::string* err) {
                              if (set(value))
                                  return true;
                              *err = "malformed value \"" + value + "\" for " + std::string(name) +
                                     " (" + what + ")";
                              return false;
                          }};
    };
    auto flag = [](std::string_view name, bool& to, bool value) {
        return OptionRule{name, false, [&to, value](const std::string&, std::string*) {
                              to = value;
                              return true;
                          }};
    };
    return {
        flag("--no-end-marker", o.endMarker, false),
        flag("--demo", o.demo, true),
        valued("--seconds", "0 to 86400 seconds",
               [&](const std::string& v) {
                   return ParseDoubleIn(v, 24.0 * 3600, length.seconds) &&
                          (length.secondsGiven = true);
               }),
        valued("--blocks", "a block count",
               [&](const std::string& v) {
                   return ParseIntIn(v, 0, INT64_MAX, o.blocks) && (length.blocksGiven = true);
               }),
        valued("--center", "Hz, not negative",
               [&](const std::string& v) { return ParseIntIn(v, 0, INT64_MAX, o.center); }),
        valued("--offset", "-24000 to 24000 Hz",
               [&](const std::string& v) { return ParseIntIn(v, -24000, 24000, o.offset); }),
        valued("--tone", "0 to 24000 Hz",
               [&](const std::string& v) { return ParseIntIn(v, 0, 24000, o.tone); }),
        valued("--depth", "0 to 100 percent",
               [&](const std::string& v) {
                   double percent = 0;
                   if (!ParseDoubleIn(v, 100, percent))
                       return false;
                   o.depth = percent / 100.0;
                   return true;
               }),
        valued("--amplitude", "0 to 32767",
               [&](const std::string& v) { return ParseDoubleIn(v, 32767, o.amplitude); }),
        valued("--noise", "0 to 32767",
               [&](const std::string& v) { return ParseDoubleIn(v, 32767, o.noise); }),
        valued("--seed", "an integer",
               [&](const std::string& v) { return ParseIntIn(v, INT64_MIN, INT64_MAX, o.seed); }),
        valued("--station", "HZ:MODE:FROM-TO[,FROM-TO]...",
               [&](const std::string& v) {
                   IqStation station;
                   if (!ParseStation(v, station))
                       return false;
                   o.stations.push_back(std::move(station));
                   return true;
               }),
        valued("--iq-gain", "-6 to 6 dB",
               [&](const std::string& v) { return ParseDoubleRange(v, -6, 6, o.card.gainDb); }),
        valued("--iq-phase", "-30 to 30 degrees",
               [&](const std::string& v) { return ParseDoubleRange(v, -30, 30, o.card.phaseDeg); }),
        valued("--iq-delay", "-1 to 1 samples",
               [&](const std::string& v) { return ParseDoubleRange(v, -1, 1, o.card.delay); }),
        valued("--dc", "-200 to 0 dBFS",
               [&](const std::string& v) { return ParseDoubleRange(v, -200, 0, o.card.dcDbfs); }),
        valued("--time", "six digits HHMMSS",
               [&](const std::string& v) { return o.startGiven = ParseTime(v, o.start); }),
    };
}

}  // namespace

bool ParseIqGenArgs(const std::vector<std::string>& args, IqGenOptions& o, std::string* error)
{
    std::string ignored;
    if (!error)
        error = &ignored;
    Length length;
    const std::vector<OptionRule> table = IqGenOptionTable(o, length);
    std::vector<std::string> positional;
    if (!ParseOptions(args, table, &positional, &o.help, error))
        return false;
    if (o.help)
        return true;
    if (positional.size() != 1) {
        *error = positional.empty() ? "expected OUTPUT.dat (see --help)"
                                    : "too many file names (see --help)";
        return false;
    }
    o.output = positional[0];
    if (o.demo && !length.secondsGiven)
        length.seconds = kDemoSeconds;
    if (!length.blocksGiven)
        o.blocks =
            static_cast<int64_t>(std::ceil(length.seconds * recording::kBlocksPerSecond - 1e-9));
    return true;
}

namespace {

// The phase of f Hz at sample n, reduced exactly in integers so long files
// keep their accuracy.
double Phase(int64_t f, int64_t n)
{
    constexpr int64_t kRate = 48000;
    int64_t r = (f * n) % kRate;
    if (r < 0)
        r += kRate;
    return 2.0 * std::numbers::pi * static_cast<double>(r) / kRate;
}

int16_t ToSample(double v)
{
    v = std::clamp(v, -32767.0, 32767.0);
    return static_cast<int16_t>(std::lround(v));
}

bool OnAir(const IqStation& s, int64_t block)
{
    for (const auto& [from, to] : s.on)
        if (block >= from && block < to)
            return true;
    return false;
}

// The station's sample n as I (re) and Q (im) added to i and q.
void AddStation(const IqGenOptions& o, const IqStation& s, int64_t n, double& i, double& q)
{
    constexpr int64_t kTone = 1000;
    constexpr double kFmIndex = 2500.0 / kTone;  // deviation over the tone
    double env = o.amplitude;
    double ph = Phase(s.offset, n);
    switch (s.mode) {
    case 0: env *= 1.0 + o.depth * std::cos(Phase(kTone, n)); break;
    case 1: ph += kFmIndex * std::sin(Phase(kTone, n)); break;
    case 3: ph = Phase(s.offset - kTone, n); break;
    case 4: ph = Phase(s.offset + kTone, n); break;
    default: break;
    }
    i += env * std::sin(ph);
    q += env * std::cos(ph);
}

// The block's samples before the card: I into bi, Q into bq.
void FillSamples(const IqGenOptions& o, int64_t index, double* bi, double* bq, std::mt19937* rng)
{
    std::normal_distribution<double> gauss(0.0, 1.0);
    const int64_t first = index * recording::kRawBlockFrames;
    for (int k = 0; k < recording::kRawBlockFrames; ++k) {
        const int64_t n = first + k;
        double i = 0.0;
        double q = 0.0;
        if (o.stations.empty()) {
            const double env =
                o.amplitude * (1.0 + (o.tone > 0 ? o.depth * std::cos(Phase(o.tone, n)) : 0.0));
            const double ph = Phase(o.offset, n);
            i = env * std::sin(ph);
            q = env * std::cos(ph);
        }
        for (const IqStation& s : o.stations)
            if (OnAir(s, index))
                AddStation(o, s, n, i, q);
        if (rng && o.noise > 0) {
            i += o.noise * gauss(*rng);
            q += o.noise * gauss(*rng);
        }
        bi[k] = i;
        bq[k] = q;
    }
}

void ToFrames(const double* bi, const double* bq, int16_t* frames)
{
    for (int k = 0; k < recording::kRawBlockFrames; ++k) {
        frames[2 * k] = ToSample(bi[k]);
        frames[2 * k + 1] = ToSample(bq[k]);
    }
}

// The block as written: the signal or the demo band, through the card.
void Fill(const IqGenOptions& o, int64_t index, int16_t* frames, std::mt19937* rng, DemoBand* demo,
          ImperfectCard* card)
{
    std::array<double, recording::kRawBlockFrames> bi{};
    std::array<double, recording::kRawBlockFrames> bq{};
    if (demo) {
        demo->NextBlock(frames);
        if (!card)
            return;
        for (int k = 0; k < recording::kRawBlockFrames; ++k) {
            bi[k] = frames[2 * k];
            bq[k] = frames[2 * k + 1];
        }
    } else {
        FillSamples(o, index, bi.data(), bq.data(), rng);
    }
    if (card)
        card->Process(bi.data(), bq.data(), recording::kRawBlockFrames);
    ToFrames(bi.data(), bq.data(), frames);
}

}  // namespace

void GenerateIqBlock(const IqGenOptions& options, int64_t index, int16_t* frames)
{
    Fill(options, index, frames, nullptr, nullptr, nullptr);
}

bool WriteIqFile(const IqGenOptions& o, std::string* error)
{
    std::string ignored;
    if (!error)
        error = &ignored;
    StagedOutput stage;
    if (!stage.Prepare(o.output, error))
        return false;
    std::FILE* file = stage.Open(error);
    if (!file)
        return false;
    recording::RawRecorder rec;
    const recording::LocalStamp start = o.startGiven ? o.start : recording::LocalNow();
    auto fail = [&] {
        *error = rec.LastError();
        rec.Abandon();
        return false;
    };
    if (!rec.Start(file, stage.Name(), start, o.center))
        return fail();
    std::mt19937 rng(o.seed);
    std::unique_ptr<DemoBand> demo;
    if (o.demo)
        demo = std::make_unique<DemoBand>(o.seed);
    std::unique_ptr<ImperfectCard> card;
    if (o.card.Any())
        card = std::make_unique<ImperfectCard>(o.card);
    std::array<int16_t, recording::kRawBlockSamples> block{};
    for (int64_t b = 0; b < o.blocks; ++b) {
        Fill(o, b, block.data(), &rng, demo.get(), card.get());
        if (!rec.AppendBlock(block.data()))
            return fail();
    }
    const bool ok = o.endMarker ? rec.Stop() : rec.Abandon();
    if (!ok)
        return fail();
    return stage.Commit(error);
}

}  // namespace tools
