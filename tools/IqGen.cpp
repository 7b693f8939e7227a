#include "tools/IqGen.h"

#include "recording/RawIqFile.h"
#include "settings/ProfileValue.h"
#include "tools/DemoBand.h"
#include "tools/StagedOutput.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <memory>
#include <numbers>
#include <random>

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

}  // namespace

bool ParseIqGenArgs(const std::vector<std::string>& args, IqGenOptions& o, std::string* error)
{
    std::string ignored;
    if (!error)
        error = &ignored;
    std::vector<std::string> positional;
    bool blocksGiven = false;
    bool secondsGiven = false;
    double seconds = 5.0;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.size() < 2 || a[0] != '-') {
            positional.push_back(a);
            continue;
        }
        if (a == "-h" || a == "--help") {
            o.help = true;
            return true;
        }
        if (a == "--no-end-marker") {
            o.endMarker = false;
            continue;
        }
        if (a == "--demo") {
            o.demo = true;
            continue;
        }
        std::string name = a, value;
        const auto eq = a.find('=');
        if (eq != std::string::npos)
            name = a.substr(0, eq);
        // An unknown option is told as such, and takes no word after it.
        static const char* const kValued[] = {"--seconds", "--blocks", "--center",    "--offset",
                                              "--tone",    "--depth",  "--amplitude", "--noise",
                                              "--seed",    "--time"};
        if (std::find(std::begin(kValued), std::end(kValued), name) == std::end(kValued)) {
            *error = "unknown option \"" + a + "\" (see --help)";
            return false;
        }
        if (eq != std::string::npos) {
            value = a.substr(eq + 1);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            *error = a + " needs a value";
            return false;
        }
        auto bad = [&](const char* what) {
            *error = "malformed value \"" + value + "\" for " + name + " (" + what + ")";
            return false;
        };
        int64_t iv = 0;
        double dv = 0;
        if (name == "--seconds") {
            if (!ParseDouble(value, dv) || dv < 0 || dv > 24.0 * 3600)
                return bad("0 to 86400 seconds");
            seconds = dv;
            secondsGiven = true;
        } else if (name == "--blocks") {
            if (!ParseInt(value, iv) || iv < 0)
                return bad("a block count");
            o.blocks = iv;
            blocksGiven = true;
        } else if (name == "--center") {
            if (!ParseInt(value, iv) || iv < 0)
                return bad("Hz, not negative");
            o.center = static_cast<int32_t>(iv);
        } else if (name == "--offset") {
            if (!ParseInt(value, iv) || iv < -24000 || iv > 24000)
                return bad("-24000 to 24000 Hz");
            o.offset = static_cast<int32_t>(iv);
        } else if (name == "--tone") {
            if (!ParseInt(value, iv) || iv < 0 || iv > 24000)
                return bad("0 to 24000 Hz");
            o.tone = static_cast<int32_t>(iv);
        } else if (name == "--depth") {
            if (!ParseDouble(value, dv) || dv < 0 || dv > 100)
                return bad("0 to 100 percent");
            o.depth = dv / 100.0;
        } else if (name == "--amplitude") {
            if (!ParseDouble(value, dv) || dv < 0 || dv > 32767)
                return bad("0 to 32767");
            o.amplitude = dv;
        } else if (name == "--noise") {
            if (!ParseDouble(value, dv) || dv < 0 || dv > 32767)
                return bad("0 to 32767");
            o.noise = dv;
        } else if (name == "--seed") {
            if (!ParseInt(value, iv))
                return bad("an integer");
            o.seed = static_cast<uint32_t>(iv);
        } else if (name == "--time") {
            if (!ParseTime(value, o.start))
                return bad("six digits HHMMSS");
            o.startGiven = true;
        } else {
            *error = "unknown option \"" + a + "\" (see --help)";
            return false;
        }
    }
    if (positional.size() != 1) {
        *error = positional.empty() ? "expected OUTPUT.dat (see --help)"
                                    : "too many file names (see --help)";
        return false;
    }
    o.output = positional[0];
    if (o.demo && !secondsGiven)
        seconds = kDemoSeconds;
    if (!blocksGiven)
        o.blocks = static_cast<int64_t>(std::ceil(seconds * recording::kBlocksPerSecond - 1e-9));
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

void Fill(const IqGenOptions& o, int64_t index, int16_t* frames, std::mt19937* rng)
{
    std::normal_distribution<double> gauss(0.0, 1.0);
    const int64_t first = index * recording::kRawBlockFrames;
    for (int k = 0; k < recording::kRawBlockFrames; ++k) {
        const int64_t n = first + k;
        const double env =
            o.amplitude * (1.0 + (o.tone > 0 ? o.depth * std::cos(Phase(o.tone, n)) : 0.0));
        const double ph = Phase(o.offset, n);
        double i = env * std::sin(ph);
        double q = env * std::cos(ph);
        if (rng && o.noise > 0) {
            i += o.noise * gauss(*rng);
            q += o.noise * gauss(*rng);
        }
        frames[2 * k] = ToSample(i);
        frames[2 * k + 1] = ToSample(q);
    }
}

}  // namespace

void GenerateIqBlock(const IqGenOptions& options, int64_t index, int16_t* frames)
{
    Fill(options, index, frames, nullptr);
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
    std::array<int16_t, recording::kRawBlockSamples> block{};
    for (int64_t b = 0; b < o.blocks; ++b) {
        if (demo)
            demo->NextBlock(block.data());
        else
            Fill(o, b, block.data(), &rng);
        if (!rec.AppendBlock(block.data()))
            return fail();
    }
    const bool ok = o.endMarker ? rec.Stop() : rec.Abandon();
    if (!ok)
        return fail();
    return stage.Commit(error);
}

}  // namespace tools
