// tesmar-demod's and tesmar-iqconvert's outputs: never over an input or over
// each other, nothing removed but what a run made, a clean end whatever
// happens to an output, outputs that are pipes, and inputs that are pipes.
#include "ProgramRun.h"
#include "recording/IqTestFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <functional>
#include <sys/wait.h>
#include <thread>

namespace fs = std::filesystem;

namespace {

using DemodOutputs = DemodThreadsFixture;
// What either tool refuses before any chain runs: one thread is enough.
using ToolInputs = DemodFixture;

// The temporary files a run left anywhere below dir.
std::vector<std::string> TempFilesIn(const fs::path& dir)
{
    std::vector<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        if (e.path().filename().string().find(".tmp-") != std::string::npos)
            names.push_back(e.path().string());
    return names;
}

bool WaitFor(const std::function<bool()>& done)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

void WriteFully(int fd, const uint8_t* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n <= 0)
            return;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

// The far end of a named pipe, on a thread of its own: it reads what the
// program writes (up to `keep` bytes, then it hangs up), or feeds a recording
// in two parts with a pause between them in which the test acts.
class PipeEnd {
public:
    explicit PipeEnd(fs::path fifo)
        : fifo_(std::move(fifo))
    {
        // A feed whose reader went away fails its write instead of ending
        // the test program.
        std::signal(SIGPIPE, SIG_IGN);
        ::mkfifo(fifo_.c_str(), 0600);
    }
    ~PipeEnd()
    {
        // A program that never opened its end leaves ours waiting: open the
        // other end once, so that ours returns.
        if (thread_.joinable()) {
            const int fd = ::open(fifo_.c_str(), (reading_ ? O_WRONLY : O_RDONLY) | O_NONBLOCK);
            thread_.join();
            if (fd >= 0)
                ::close(fd);
        }
    }

    void Read(std::size_t keep = SIZE_MAX)
    {
        reading_ = true;
        thread_ = std::thread([this, keep] {
            const int fd = ::open(fifo_.c_str(), O_RDONLY);
            char buffer[65536];
            for (;;) {
                const std::size_t want = std::min(sizeof buffer, keep - data_.size());
                const ssize_t n = want == 0 ? 0 : ::read(fd, buffer, want);
                if (n <= 0)
                    break;
                data_.append(buffer, static_cast<std::size_t>(n));
            }
            ::close(fd);
        });
    }

    void Feed(std::vector<uint8_t> bytes, std::size_t first, std::function<void()> between)
    {
        thread_ = std::thread([this, bytes = std::move(bytes), first, between] {
            const int fd = ::open(fifo_.c_str(), O_WRONLY);
            WriteFully(fd, bytes.data(), first);
            between();
            WriteFully(fd, bytes.data() + first, bytes.size() - first);
            ::close(fd);
        });
    }

    // What was read; once the program has ended.
    const std::string& Data()
    {
        if (thread_.joinable())
            thread_.join();
        return data_;
    }

private:
    fs::path fifo_;
    bool reading_ = false;
    std::thread thread_;
    std::string data_;
};

}  // namespace

// An output that is the input, under whatever name, would destroy the
// recording being read: refused before anything is written.
TEST_P(DemodOutputs, AnOutputThatIsTheInputOrAnotherOutputIsRefused)
{
    const auto in = Make("am.dat", {"--blocks", "3"});
    const auto original = ReadBytes(in);
    fs::create_symlink(in, dir / "link.dat");
    fs::create_hard_link(in, dir / "hard.dat");
    fs::create_directory(dir / "sub");
    fs::create_directory_symlink(dir / "sub", dir / "alias");
    const std::string input = in.string();
    const std::string out = (dir / "out.wav").string();
    const struct {
        const char* what;
        std::vector<std::string> args;
    } cases[] = {
        {"OUTPUT", {input, input}},
        {"OUTPUT through a link", {input, (dir / "link.dat").string()}},
        {"OUTPUT as a hard link", {input, (dir / "hard.dat").string()}},
        {"OUTPUT by a longer path", {input, (dir / "sub" / ".." / "am.dat").string()}},
        {"--record", {"--record", (dir / "link.dat").string(), input, out}},
        {"--spectrum", {"--spectrum", input, input, out}},
        {"two outputs", {"--record", out, input, out}},
        {"two outputs, one through a linked folder",
         {"--spectrum", (dir / "sub" / "s.f64").string(), "--record",
          (dir / "alias" / "s.f64").string(), input, out}},
    };
    for (const auto& c : cases) {
        const ProcResult r = Demod(c.args, dir.Path());
        EXPECT_EQ(r.status, 2) << c.what;
        EXPECT_TRUE(OneLine(r.err)) << c.what << ": " << r.err;
        EXPECT_EQ(ReadBytes(in), original) << c.what;
        EXPECT_TRUE(fs::is_symlink(dir / "link.dat")) << c.what;
        EXPECT_FALSE(fs::exists(out)) << c.what;
        EXPECT_EQ(CountEntries(dir / "sub"), 0) << c.what;
        EXPECT_TRUE(TempFilesIn(dir.Path()).empty()) << c.what;
    }
}

// A rename at the end fails (a folder has taken the record file's name while
// the program ran): what the program did not make itself stays, links and
// pipes included, and none of its temporary files is left.
TEST_P(DemodOutputs, ALateFailureRemovesOnlyWhatTheRunMade)
{
    const auto recording = ReadBytes(Make("am.dat", {"--blocks", "10"}));
    fs::create_directory(dir / "real");
    WriteBytes(dir / "real" / "out.wav", {'o', 'l', 'd'});
    fs::create_symlink(dir / "real" / "out.wav", dir / "link.wav");
    for (const bool toPipe : {false, true}) {
        SCOPED_TRACE(toPipe ? "OUTPUT is a named pipe" : "OUTPUT is a link");
        fs::remove_all(dir / "rec.wav");
        PipeEnd out(dir / "out.fifo");
        if (toPipe)
            out.Read();
        PipeEnd in(dir / "in.fifo");
        const std::size_t staged = toPipe ? 1 : 2;
        in.Feed(recording, 19 + 3 * 9600, [&] {
            EXPECT_TRUE(WaitFor([&] { return TempFilesIn(dir.Path()).size() == staged; }));
            fs::create_directory(dir / "rec.wav");
            WriteBytes(dir / "rec.wav" / "keep", {'k'});
        });
        const ProcResult r = Demod(
            {"--record", "rec.wav", "in.fifo", toPipe ? "out.fifo" : (dir / "link.wav").string()},
            dir.Path());
        out.Data();
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(OneLine(r.err)) << r.err;
        EXPECT_NE(r.err.find("rec.wav"), std::string::npos) << r.err;
        EXPECT_TRUE(fs::is_symlink(dir / "link.wav"));
        EXPECT_TRUE(fs::exists(dir / "real" / "out.wav"));
        EXPECT_TRUE(fs::is_fifo(dir / "out.fifo"));
        EXPECT_TRUE(fs::exists(dir / "rec.wav" / "keep"));
        EXPECT_TRUE(TempFilesIn(dir.Path()).empty());
        fs::remove(dir / "out.fifo");
        fs::remove(dir / "in.fifo");
    }
}

// The reader of an output goes away, or the output outgrows the file size
// limit: the program ends with status 2 and one line, not killed by a
// signal, and takes its temporary files with it.
TEST_P(DemodOutputs, ABrokenPipeOrAFullFileEndsWithAMessage)
{
    const auto in = Make("am.dat", {"--blocks", "20"});
    {
        SCOPED_TRACE("standard output with its reader gone");
        RunOptions closed;
        closed.stdoutTo = RunOptions::Stdout::ClosedPipe;
        const ProcResult r = Demod({"--record", "rec.wav", in.string(), "-"}, dir.Path(), closed);
        EXPECT_EQ(r.signal, 0);
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(OneLine(r.err)) << r.err;
        EXPECT_NE(r.err.find("standard output"), std::string::npos) << r.err;
    }
    {
        SCOPED_TRACE("a named pipe whose reader hangs up");
        PipeEnd out(dir / "out.fifo");
        out.Read(100);
        const ProcResult r = Demod({"--record", "rec.wav", in.string(), "out.fifo"}, dir.Path());
        EXPECT_EQ(r.signal, 0);
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(OneLine(r.err)) << r.err;
        EXPECT_NE(r.err.find("out.fifo"), std::string::npos) << r.err;
        out.Data();
        fs::remove(dir / "out.fifo");
    }
    {
        SCOPED_TRACE("the file size limit");
        RunOptions limited;
        limited.fileSizeLimit = 100000;
        const ProcResult r = Demod({in.string(), "out.wav"}, dir.Path(), limited);
        EXPECT_EQ(r.signal, 0);
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(OneLine(r.err)) << r.err;
        EXPECT_NE(r.err.find("out.wav"), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(dir / "out.wav"));
    }
    EXPECT_FALSE(fs::exists(dir / "rec.wav"));
    EXPECT_TRUE(TempFilesIn(dir.Path()).empty());
    EXPECT_EQ(CountEntries(dir.Path()), 1);
}

// "-" writes to standard output, and outputs that cannot be sought (pipes)
// carry the streaming sizes instead of failing at the end.
TEST_P(DemodOutputs, PipesGetTheSamplesBehindAStreamingHeader)
{
    const auto in = Make("am.dat", {"--blocks", "8", "--tone", "700"});
    ASSERT_EQ(Demod({"--set", "GainPos=0", in.string(), "out.wav"}, dir.Path()).status, 0);
    const auto file = ReadBytes(dir / "out.wav");
    ASSERT_EQ(file.size(), 44u + 8u * 9600u);

    RunOptions piped;
    piped.stdoutTo = RunOptions::Stdout::Pipe;
    const ProcResult toStdout = Demod({"--set", "GainPos=0", in.string(), "-"}, dir.Path(), piped);
    EXPECT_EQ(toStdout.status, 0) << toStdout.err;
    EXPECT_TRUE(toStdout.err.empty()) << toStdout.err;

    PipeEnd fifo(dir / "out.fifo");
    fifo.Read();
    const ProcResult toFifo = Demod({"--set", "GainPos=0", in.string(), "out.fifo"}, dir.Path());
    EXPECT_EQ(toFifo.status, 0) << toFifo.err;

    for (const std::string& streamed : {toStdout.out, fifo.Data()}) {
        const std::vector<uint8_t> bytes(streamed.begin(), streamed.end());
        ASSERT_EQ(bytes.size(), file.size());
        EXPECT_EQ(Le32(bytes, 4), 0xFFFFFFFFu);
        EXPECT_EQ(Le32(bytes, 40), 0xFFFFFFFFu);
        EXPECT_TRUE(std::equal(bytes.begin() + 8, bytes.begin() + 40, file.begin() + 8));
        EXPECT_TRUE(std::equal(bytes.begin() + 44, bytes.end(), file.begin() + 44));
    }
}

// Values no control could produce mean what they mean to the application at
// start: the same output as the nearest value its controls allow.
TEST_P(DemodOutputs, SettingsAreBroughtIntoTheApplicationsRanges)
{
    const auto in = Make("am.dat", {"--blocks", "12", "--tone", "700", "--noise", "300"});
    const struct {
        std::vector<std::string> given;
        std::vector<std::string> meant;
    } cases[] = {
        {{"GainPos=1000"}, {"GainPos=150"}},
        {{"GainPos=0", "InGainPos=100000"}, {"GainPos=0", "InGainPos=40"}},
        {{"GainPos=0", "SqlPos=-2147483648"}, {"GainPos=0", "SqlPos=-150"}},
        {{"GainPos=0", "RxMode=4", "FreqTune=2147483647"},
         {"GainPos=0", "RxMode=4", "FreqTune=24000"}},
        {{"GainPos=0", "RxMode=3", "FreqTune=$80000000"},
         {"GainPos=0", "RxMode=3", "FreqTune=-24000"}},
        {{"GainPos=0", "IFBW=4", "PosIFBW=2147483647"}, {"GainPos=0", "IFBW=4", "PosIFBW=30"}},
        {{"GainPos=0", "RxMode=-7", "AGC=9"}, {"GainPos=0", "RxMode=0", "AGC=0"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> given, meant;
        for (const auto& s : c.given)
            given.insert(given.end(), {"--set", s});
        for (const auto& s : c.meant)
            meant.insert(meant.end(), {"--set", s});
        given.insert(given.end(), {in.string(), "given.wav"});
        meant.insert(meant.end(), {in.string(), "meant.wav"});
        const ProcResult g = Demod(given, dir.Path());
        const ProcResult m = Demod(meant, dir.Path());
        ASSERT_EQ(g.status, 0) << c.given.back() << ": " << g.err;
        ASSERT_EQ(m.status, 0) << c.meant.back() << ": " << m.err;
        EXPECT_EQ(ReadBytes(dir / "given.wav"), ReadBytes(dir / "meant.wav")) << c.given.back();
    }
}

// A --record file in which nothing was recorded is an empty WAV file that
// readers accept.
TEST_P(DemodOutputs, NothingRecordedLeavesAValidEmptyWav)
{
    // Noise alone never opens the squelch at its right stop; the IQ
    // balance's start (its latency's silence, then the band) is a step it
    // would hear.
    const auto in = Make("noise.dat", {"--blocks", "4", "--noise", "300"});
    const ProcResult r = Demod(
        {"--set", "SqlPos=150", "--set", "IQCorr=0", "--record", "rec.wav", in.string(), "out.wav"},
        dir.Path());
    ASSERT_EQ(r.status, 0) << r.err;
    const auto rec = ReadBytes(dir / "rec.wav");
    ASSERT_EQ(rec.size(), 44u);
    EXPECT_EQ(Le32(rec, 4), 36u);
    EXPECT_EQ(Le32(rec, 40), 0u);
}

// Either tool, under any name of an input file (a link, a hard link, the
// other half of a SigMF recording), would replace a recording with what it
// makes of it: refused before anything is written, every input unchanged.
TEST_F(ToolInputs, NeitherToolWritesWhereAnInputIs)
{
    using iqtest::Container;
    using recording::SampleType;
    const auto wav = iqtest::Write(dir.Path(), {Container::Wav, SampleType::F32LE, 96000},
                                   iqtest::Signal(96000, 4800, {{1000}}));
    fs::create_directory(dir / "sigmf");
    const auto meta = iqtest::Write(dir / "sigmf", {Container::Sigmf, SampleType::S16LE, 96000},
                                    iqtest::Signal(96000, 4800, {{1000}}));
    const auto data = dir / "sigmf" / "take.sigmf-data";
    fs::create_symlink(wav, dir / "link.wav");
    fs::create_hard_link(wav, dir / "hard.wav");
    fs::create_symlink(data, dir / "data-link.sigmf-data");
    const std::vector<fs::path> inputs = {wav, meta, data};
    std::vector<std::vector<uint8_t>> before;
    for (const auto& f : inputs)
        before.push_back(ReadBytes(f));
    const std::string w = wav.string(), m = meta.string(), d = data.string();
    const struct {
        const char* what;
        bool convert;  // tesmar-iqconvert, else tesmar-demod
        std::vector<std::string> args;
    } cases[] = {
        {"convert IN IN", true, {w, w}},
        {"convert through a link", true, {w, (dir / "link.wav").string()}},
        {"convert to a hard link", true, {w, (dir / "hard.wav").string()}},
        {"convert SigMF onto itself", true, {m, m}},
        {"convert SigMF onto its data", true, {m, d}},
        {"convert SigMF data onto its meta", true, {d, m}},
        {"convert SigMF through a link to its data",
         true,
         {m, (dir / "data-link.sigmf-meta").string()}},
        {"demod OUTPUT onto SigMF data", false, {m, d}},
        {"demod --record onto SigMF data", false, {"--record", d, m, "out.wav"}},
        {"demod --spectrum onto SigMF meta", false, {"--spectrum", m, d, "out.wav"}},
    };
    for (const auto& c : cases) {
        const ProcResult r = c.convert ? IqConvert(c.args, dir.Path()) : Demod(c.args, dir.Path());
        EXPECT_EQ(r.status, 2) << c.what;
        EXPECT_TRUE(OneLine(r.err)) << c.what << ": " << r.err;
        EXPECT_NE(r.err.find("it is the input"), std::string::npos) << c.what << ": " << r.err;
        for (std::size_t i = 0; i < inputs.size(); ++i)
            EXPECT_EQ(ReadBytes(inputs[i]), before[i]) << c.what << ": " << inputs[i];
        EXPECT_FALSE(fs::exists(dir / "out.wav")) << c.what;
        EXPECT_TRUE(TempFilesIn(dir.Path()).empty()) << c.what;
    }
}

// A named pipe that nothing writes into held either tool for ever; a device
// is no recording either. Each is refused with a line that says so.
TEST_F(ToolInputs, APipeNothingWritesIntoOrADeviceIsRefused)
{
    ::mkfifo((dir / "in.fifo").c_str(), 0600);
    const struct {
        const char* what;
        bool convert;
        std::vector<std::string> args;
        const char* says;
    } cases[] = {
        {"demod from a silent pipe", false, {"in.fifo", "out.wav"}, "nothing writes"},
        {"convert from a silent pipe", true, {"in.fifo", "out.wav"}, "nothing writes"},
        {"convert from a device", true, {"/dev/zero", "out.wav"}, "not a file"},
    };
    for (const auto& c : cases) {
        const ProcResult r = c.convert ? IqConvert(c.args, dir.Path()) : Demod(c.args, dir.Path());
        EXPECT_EQ(r.status, 2) << c.what;
        EXPECT_TRUE(OneLine(r.err)) << c.what << ": " << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << c.what << ": " << r.err;
        EXPECT_FALSE(fs::exists(dir / "out.wav")) << c.what;
    }
}

// A converter killed outright cannot remove its temporary file: the next
// run for the same output removes it, and the temporary file of a run still
// alive stays.
TEST_F(ToolInputs, AKilledRunsTemporaryFileGoesWithTheNextRun)
{
    const auto recording = ReadBytes(Make("am.dat", {"--blocks", "10"}));
    const auto in = dir / "am.dat";
    PipeEnd feed(dir / "in.fifo");
    pid_t killed = 0;
    feed.Feed(recording, 19 + 3 * 9600, [&] {
        ASSERT_TRUE(WaitFor([&] { return TempFilesIn(dir.Path()).size() == 1; }));
        const std::string temp = fs::path(TempFilesIn(dir.Path())[0]).filename().string();
        killed = static_cast<pid_t>(std::stol(temp.substr(temp.find(".tmp-") + 5)));
        ::kill(killed, SIGKILL);
    });
    const ProcResult k = IqConvert({"in.fifo", "out.wav"}, dir.Path());
    feed.Data();
    ASSERT_EQ(k.signal, SIGKILL);
    ASSERT_TRUE(fs::exists(dir / ("out.wav.tmp-" + std::to_string(killed))));
    // The temporary file of a run that is still going: this process's id.
    const auto alive = dir / ("out.wav.tmp-" + std::to_string(::getpid()));
    WriteBytes(alive, {'l', 'i', 'v', 'e'});

    const ProcResult r = IqConvert({in.string(), "out.wav"}, dir.Path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(dir / "out.wav"));
    EXPECT_EQ(TempFilesIn(dir.Path()), std::vector<std::string>{alive.string()});
}
INSTANTIATE_TEST_SUITE_P(Threads, DemodOutputs, ::testing::Values(1, 2));
