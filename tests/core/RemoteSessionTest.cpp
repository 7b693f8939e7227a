// The network rig protocol against the real receiver, line by line and
// without sockets: the bytes of each reply, and what each command does to
// the receiver and the radio (a pseudo-terminal radio where it matters).

#include "CoreFixture.h"

#include "PtyRadio.h"
#include "core/RemoteRig.h"
#include "radio/RadioTypes.h"
#include "remote/RigSession.h"

#include <cmath>
#include <sstream>

#include <locale.h>

namespace core::test {
namespace {

class RemoteSession : public CoreTest {
protected:
    Receiver& Begin(const std::string& ini = {})
    {
        WriteIni(ini);
        Started();
        rig_ = std::make_unique<RemoteRig>(*rx_);
        session_ = std::make_unique<remote::RigSession>(*rig_, shared_);
        return *rx_;
    }
    std::string Send(std::string_view line)
    {
        std::string reply;
        goOn_ = session_->Handle(line, reply);
        return reply;
    }

    std::unique_ptr<RemoteRig> rig_;
    remote::SharedRigState shared_;
    std::unique_ptr<remote::RigSession> session_;
    bool goOn_ = true;
};

TEST_F(RemoteSession, RepliesAreFramedAsRigctldFramesThem)
{
    Begin();  // 5.000 MHz, AM, "6.0 k"
    struct Case {
        const char* line;
        const char* reply;
    };
    const Case cases[] = {
        // Gets answer their values alone; sets answer RPRT.
        {"f", "5000000\n"},
        {"\\get_freq", "5000000\n"},
        {"m", "AM\n6000\n"},
        {"v", "VFOA\n"},
        {"s", "0\nVFOA\n"},
        {"t", "0\n"},
        {"\\chk_vfo", "0\n"},
        {"\\get_powerstat", "1\n"},
        {"\\get_lock_mode", "0\n"},
        {"_", "Tesmar\n"},
        {"l ?", "AF SQL STRENGTH \n"},
        {"M ?", "AM CW USB LSB FM CWR PKTLSB PKTUSB PKTFM \nRPRT 0\n"},
        {"V VFOA", "RPRT 0\n"},
        {"S 0 VFOA", "RPRT 0\n"},
        {"T 0", "RPRT 0\n"},
        {"\\set_powerstat 1", "RPRT 0\n"},
        // Extended: the echo, "Key: value" records, RPRT at the end.
        {"+f", "get_freq:\nFrequency: 5000000\nRPRT 0\n"},
        {"+\\get_mode", "get_mode:\nMode: AM\nPassband: 6000\nRPRT 0\n"},
        {";m", "get_mode:;Mode: AM;Passband: 6000;RPRT 0\n"},
        {"+s", "get_split_vfo:\nSplit: 0\nTX VFO: VFOA\nRPRT 0\n"},
        {"+\\chk_vfo", "chk_vfo:\nChkVFO: 0\nRPRT 0\n"},
        {"+l SQL", "get_level: SQL\nLevel Value: 0.000000\nRPRT 0\n"},
        {"+V VFOA", "set_vfo: VFOA\nRPRT 0\n"},
        {"+t", "get_ptt:\nPTT: 0\nRPRT 0\n"},
        // Errors: negative Hamlib codes, for gets in place of the values.
        {"V VFOB", "RPRT -1\n"},
        {"S 1 VFOB", "RPRT -11\n"},
        {"T 1", "RPRT -11\n"},
        {"\\set_powerstat 0", "RPRT -11\n"},
        {"J 100", "RPRT -11\n"},
        {"j", "RPRT -11\n"},
        {"l RFPOWER", "RPRT -11\n"},
        {"L STRENGTH 3", "RPRT -11\n"},
        {"l BOGUS", "RPRT -1\n"},
        {"\\bogus", "RPRT -4\n"},
        {"9", "RPRT -4\n"},
        {"+\\bogus 1", "bogus: 1\nRPRT -4\n"},
        {"+j", "get_rit:\nRPRT -11\n"},
        {"F", "RPRT -1\n"},
        {"F abc", "RPRT -1\n"},
        {"F 7074000Hz", "RPRT -1\n"},
        {"F -5000000", "RPRT -1\n"},
        {"F inf", "RPRT -1\n"},
        {"F nan", "RPRT -1\n"},
        {"F 1e300", "RPRT -1\n"},
        {"f now", "RPRT -1\n"},
        {"M XYZ 0", "RPRT -1\n"},
        {"M USB -2", "RPRT -1\n"},
        {"M USB wide", "RPRT -1\n"},
        {"L AF 1.5", "RPRT -1\n"},
        {"L AF -0.1", "RPRT -1\n"},
        {"L AF", "RPRT -1\n"},
        {"\\set_vfo_opt 2", "RPRT -1\n"},
        {"\\set_lock_mode yes", "RPRT -1\n"},
        // Blank lines are no commands.
        {"", ""},
        {"   \r", ""},
        {"+", ""},
    };
    S().MemoryMode = true;
    for (const Case& c : cases)
        EXPECT_EQ(Send(c.line), c.reply) << c.line;
    // Nothing above changed the receiver.
    EXPECT_EQ(ReceiveFrequency(), 5000000);
    EXPECT_EQ(S().FreqCenter, 5012000);
    EXPECT_EQ(rx_->SelectedMode(), Mode::Am);
    EXPECT_EQ(S().IFWidth, 6000);
    EXPECT_EQ(S().GainPos, -150);
    EXPECT_TRUE(S().MemoryMode);
    EXPECT_FALSE(rx_->WaveRecording());

    EXPECT_TRUE(goOn_);
    EXPECT_EQ(Send("q"), "RPRT 0\n");
    EXPECT_FALSE(goOn_);
}

// Reads "\dump_state" as Hamlib's NET rigctl backend reads protocol 0.
struct DumpState {
    std::vector<std::string> lines;
    double rxStart = 0, rxEnd = 0;
    unsigned long long rxModes = 0;
    std::vector<long> steps;
    std::vector<std::pair<unsigned long long, long>> filters;
    unsigned long long getLevel = 0, setLevel = 0;
    std::size_t consumed = 0;  // lines the client reads

    explicit DumpState(const std::string& text)
    {
        // Hamlib's num_sscanf reads in the C locale whatever the process's.
        const struct CLocale {
            locale_t c = ::newlocale(LC_ALL_MASK, "C", locale_t{});
            locale_t previous = ::uselocale(c);
            ~CLocale()
            {
                ::uselocale(previous);
                ::freelocale(c);
            }
        } cLocale;
        std::istringstream in(text);
        for (std::string l; std::getline(in, l);)
            lines.push_back(l);
        std::size_t i = 0;
        auto next = [&]() -> const std::string& { return lines.at(i++); };
        EXPECT_EQ(next(), "0");  // protocol
        next();                  // model
        next();                  // region
        for (bool first = true;; first = false) {
            double s = 0, e = 0;
            unsigned long long modes = 0;
            int lo = 0, hi = 0;
            unsigned vfo = 0, ant = 0;
            EXPECT_EQ(std::sscanf(next().c_str(), "%lf%lf%llx%d%d%x%x", &s, &e, &modes, &lo, &hi,
                                  &vfo, &ant),
                      7);
            if (s == 0 && e == 0)
                break;
            if (first) {
                rxStart = s;
                rxEnd = e;
                rxModes = modes;
            }
        }
        for (;;) {  // transmit ranges
            double s = 0, e = 0;
            EXPECT_GE(std::sscanf(next().c_str(), "%lf%lf", &s, &e), 2);
            if (s == 0 && e == 0)
                break;
        }
        for (;;) {
            unsigned long long modes = 0;
            long ts = 0;
            EXPECT_EQ(std::sscanf(next().c_str(), "%llx%ld", &modes, &ts), 2);
            if (modes == 0 && ts == 0)
                break;
            steps.push_back(ts);
        }
        for (;;) {
            unsigned long long modes = 0;
            long width = 0;
            EXPECT_EQ(std::sscanf(next().c_str(), "%llx%ld", &modes, &width), 2);
            if (modes == 0)
                break;
            filters.emplace_back(modes, width);
        }
        i += 4 + 2 + 2;  // RIT, XIT, IF shift, announcements; preamps, attenuators; funcs
        getLevel = std::strtoull(next().c_str(), nullptr, 0);
        setLevel = std::strtoull(next().c_str(), nullptr, 0);
        i += 2;  // parms
        consumed = i;
    }
    // The width rigctl takes as a mode's normal one: the first listed for it.
    long NormalWidth(unsigned long long modeBit) const
    {
        for (const auto& [modes, width] : filters)
            if (modes & modeBit)
                return width;
        return -1;
    }
};

TEST_F(RemoteSession, DumpStateDescribesTheRadioTypesRangeModesWidthsAndLevels)
{
    Begin();
    const DumpState dx(Send("\\dump_state"));
    // The client reads exactly what is sent: nothing is left for the next reply.
    EXPECT_EQ(dx.consumed, dx.lines.size());
    EXPECT_EQ(dx.rxStart, 30000.0);  // "DX-R8": 0.03 to 34.99999 MHz
    EXPECT_EQ(dx.rxEnd, 34999990.0);
    // AM CW USB LSB FM CWR PKTLSB PKTUSB PKTFM, Hamlib's bits.
    EXPECT_EQ(dx.rxModes, 0x1cafull);
    EXPECT_EQ(dx.steps, (std::vector<long>{1, 2, 5, 10, 20, 50, 100, 200, 500, 1000, 2000, 5000,
                                           6250, 9000, 10000, 12500, 20000}));
    // Each mode's normal width is what its button presses.
    EXPECT_EQ(dx.NormalWidth(1u << 0), 6000);    // AM
    EXPECT_EQ(dx.NormalWidth(1u << 5), 12000);   // FM
    EXPECT_EQ(dx.NormalWidth(1u << 12), 12000);  // PKTFM
    EXPECT_EQ(dx.NormalWidth(1u << 1), 500);     // CW
    EXPECT_EQ(dx.NormalWidth(1u << 7), 500);     // CWR
    EXPECT_EQ(dx.NormalWidth(1u << 2), 3000);    // USB
    EXPECT_EQ(dx.NormalWidth(1u << 11), 3000);   // PKTUSB
    EXPECT_EQ(dx.NormalWidth(1u << 3), 3000);    // LSB
    // Then every fixed width and any other (the user width) for all modes.
    std::vector<long> all;
    for (const auto& [modes, width] : dx.filters)
        if (modes == 0x1cafull)
            all.push_back(width);
    EXPECT_EQ(all, (std::vector<long>{500, 3000, 6000, 12000, 0}));
    EXPECT_EQ(dx.getLevel, (1ull << 3) | (1ull << 5) | (1ull << 30));  // AF SQL STRENGTH
    EXPECT_EQ(dx.setLevel, (1ull << 3) | (1ull << 5));

    // Another radio type, another range.
    rx_->ReopenRadio(0, "", 1);
    const DumpState djx(Send("\\dump_state"));
    EXPECT_EQ(djx.rxStart, 500000.0);  // "DJ-X11": 0.5 to 1300 MHz
    EXPECT_EQ(djx.rxEnd, 1300000000.0);

    // Extended: the echo first and RPRT last around the same records.
    const std::string plain = Send("\\dump_state");
    EXPECT_EQ(Send("+\\dump_state"), "dump_state:\n" + plain + "RPRT 0\n");
}

TEST_F(RemoteSession, FrequencyTunesInsideTheBandByOffsetElseThroughTheRadio)
{
    RadioRig rig;
    Receiver& rx = Begin("[Wave]\nFreqCenter=7100000\nFreqTune=0\n" + rig.Ini());
    rig.Open(rx);
    int display = 0;
    QObject::connect(&rx, &Receiver::DisplayChanged, [&] { ++display; });
    S().MemoryMode = true;

    // AM "6.0 k": the pass band stays clear of the band's edges up to 21 kHz
    // off the centre, and the radio is left alone.
    EXPECT_EQ(Send("F 7110000"), "RPRT 0\n");
    EXPECT_EQ(S().FreqCenter, 7100000);
    EXPECT_EQ(S().FreqTune, 10000);
    EXPECT_FALSE(S().MemoryMode);
    EXPECT_GE(display, 1);
    EXPECT_TRUE(rig.NewLines().empty());

    // Where the pass band would reach an edge the radio retunes and FreqTune
    // stays, as for a typed frequency.
    EXPECT_EQ(Send("F 7121000"), "RPRT 0\n");
    EXPECT_EQ(S().FreqCenter, 7111000);
    EXPECT_EQ(S().FreqTune, 10000);
    // The radio's 10 Hz grid: the remainder moves into FreqTune.
    EXPECT_EQ(Send("F 7074055.000000"), "RPRT 0\n");
    EXPECT_EQ(S().FreqCenter, 7064050);
    EXPECT_EQ(Send("f"), "7074055\n");
    // That one came while the radio had not yet answered the first: it goes
    // out once the link is free, not dropped.
    EXPECT_TRUE(RunUntil([&] { return rig.NewLines().size() >= 2; }));
    EXPECT_EQ(rig.NewLines(), (std::vector<std::string>{"AL~RW_RXF07111000", "AL~RW_RXF07064050"}));

    // Outside what the radio type takes ("DX-R8": up to 34.99999 MHz):
    // refused, nothing changes, nothing is sent.
    for (const char* line : {"F 35000000", "F 29999", "F 0"})
        EXPECT_EQ(Send(line), "RPRT -1\n") << line;
    EXPECT_EQ(ReceiveFrequency(), 7074055);

    // While a raw file plays the band is the file's: inside it the offset
    // moves, the radio is never retuned under it.
    rx.OpenRawFile(MakeRawFile(Dir(), 7064050, 3));
    ASSERT_TRUE(rx.RawPlaying());
    EXPECT_EQ(Send("F 7070000"), "RPRT 0\n");
    EXPECT_EQ(ReceiveFrequency(), 7070000);
    EXPECT_EQ(Send("F 14074000"), "RPRT -9\n");
    EXPECT_EQ(ReceiveFrequency(), 7070000);
    EXPECT_TRUE(rig.NewLines().size() == 2u);  // the two retunes above only
}

// A client reads the range from \dump_state and may set any frequency in it:
// the range ends must be taken in every mode and from wherever FreqTune
// stands, not only where hz - FreqTune happens to be a centre the radio takes.
TEST_F(RemoteSession, TheRangeDumpStateOffersIsTakenWholeInEveryMode)
{
    Begin();
    for (const int type : {0, 1}) {
        rx_->ReopenRadio(0, "", type);
        const radio::RadioTypeInfo& rt = radio::RadioTypeOf(type);
        using Start = std::pair<int32_t, int32_t>;  // FreqCenter, FreqTune
        const DumpState caps(Send("\\dump_state"));
        const auto lo = static_cast<int64_t>(caps.rxStart), hi = static_cast<int64_t>(caps.rxEnd);
        for (const char* mode : {"AM", "FM", "CW", "LSB", "USB"}) {
            ASSERT_EQ(Send(std::string("M ") + mode + " 0"), "RPRT 0\n");
            for (const auto& [center, tune] :
                 {Start{5012000, -12000}, Start{rt.MinCenter, 24000}, Start{rt.MaxCenter, -24000}})
                for (const int64_t hz : {lo - 1, lo, lo + 1, hi - 1, hi, hi + 1}) {
                    SCOPED_TRACE(testing::Message()
                                 << type << mode << center << "/" << tune << " to " << hz);
                    S().FreqCenter = center;
                    S().FreqTune = tune;
                    const bool offered = hz >= lo && hz <= hi;
                    EXPECT_EQ(Send("F " + std::to_string(hz)), offered ? "RPRT 0\n" : "RPRT -1\n");
                    EXPECT_EQ(ReceiveFrequency(), offered ? hz : int64_t(center) + tune);
                    EXPECT_LE(std::abs(S().FreqTune), kHalfBand);
                }
        }
    }
}

TEST_F(RemoteSession, ModeMapsDataModesAndAWidthOfZeroOrMinusOneKeepsTheFilter)
{
    Receiver& rx = Begin();  // AM, IF "6.0 k", AF "3.0 k"
    // The operator's own filters.
    rx.SelectAfFilter(AfChoice::User);
    rx.DragUserIfWidth(45);
    S().MemoryMode = true;

    // The mode in effect, no width: nothing is pressed, nothing undone.
    EXPECT_EQ(Send("M AM -1"), "RPRT 0\n");
    EXPECT_EQ(rx.SelectedAfFilter(), AfChoice::User);
    EXPECT_EQ(rx.SelectedIfFilter(), IfChoice::User);
    EXPECT_TRUE(S().MemoryMode);

    struct Case {
        const char* line;
        Mode mode;
        IfChoice ifChoice;
        int32_t width;
        const char* reads;  // what "m" answers this client
    };
    const Case cases[] = {
        // Another mode presses its button (AF preset too) but keeps the IF
        // choice, the user width included.
        {"M USB 0", Mode::Usb, IfChoice::User, 4500, "USB\n4500\n"},
        {"M LSB -1", Mode::Lsb, IfChoice::User, 4500, "LSB\n4500\n"},
        {"M LSB", Mode::Lsb, IfChoice::User, 4500, "LSB\n4500\n"},
        // A width of its own: the user width, to 100 Hz.
        {"M USB 2400", Mode::Usb, IfChoice::User, 2400, "USB\n2400\n"},
        {"M usb 2449", Mode::Usb, IfChoice::User, 2400, "USB\n2400\n"},
        {"M USB 30000", Mode::Usb, IfChoice::User, 20000, "USB\n20000\n"},
        {"M USB 10", Mode::Usb, IfChoice::User, 100, "USB\n100\n"},
        // A fixed button's width presses the button.
        {"M USB 3000", Mode::Usb, IfChoice::Khz3, 3000, "USB\n3000\n"},
        // Data and reversed modes are heard in their base mode, and the
        // client that set one reads it back.
        {"M PKTUSB -1", Mode::Usb, IfChoice::Khz3, 3000, "PKTUSB\n3000\n"},
        {"M CWR 0", Mode::Cw, IfChoice::Khz3, 3000, "CWR\n3000\n"},
        {"M PKTFM 12000", Mode::Fm, IfChoice::Khz12, 12000, "PKTFM\n12000\n"},
        {"M PKTLSB 500", Mode::Lsb, IfChoice::Khz0_5, 500, "PKTLSB\n500\n"},
        {"M AM 6000", Mode::Am, IfChoice::Khz6, 6000, "AM\n6000\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(Send(c.line), "RPRT 0\n");
        EXPECT_EQ(rx.SelectedMode(), c.mode);
        EXPECT_EQ(rx.SelectedIfFilter(), c.ifChoice);
        // IFWidth comes from the chain's redesign of the filter.
        EXPECT_EQ(S().IFWidth, c.width);
        EXPECT_EQ(Send("m"), c.reads);
    }
    EXPECT_FALSE(S().MemoryMode);
    EXPECT_EQ(rx.SelectedAfFilter(), AfChoice::Khz3);  // AM's preset
    // LSB's shift follows the kept width.
    Send("M LSB 0");
    EXPECT_EQ(S().SSBShift, -3000);

    // Another client sees the base mode; the operator's change ends the alias.
    Send("M PKTUSB 0");
    remote::RigSession other(*rig_, shared_);
    std::string reply;
    other.Handle("m", reply);
    EXPECT_EQ(reply, "USB\n6000\n");
    rx.SelectMode(Mode::Lsb);
    EXPECT_EQ(Send("m"), "LSB\n3000\n");
    rx.SelectMode(Mode::Usb);
    EXPECT_EQ(Send("m"), "USB\n3000\n");

    // A locked mode stays, and the client is told all is well (as rigctld does).
    EXPECT_EQ(Send("\\set_lock_mode 1"), "RPRT 0\n");
    EXPECT_EQ(Send("\\get_lock_mode"), "1\n");
    EXPECT_EQ(Send("M FM 0"), "RPRT 0\n");
    EXPECT_EQ(rx.SelectedMode(), Mode::Usb);
    other.Handle("M AM 0", reply);
    EXPECT_EQ(rx.SelectedMode(), Mode::Usb);
    EXPECT_EQ(Send("\\set_lock_mode 0"), "RPRT 0\n");
    EXPECT_EQ(Send("M FM 0"), "RPRT 0\n");
    EXPECT_EQ(rx.SelectedMode(), Mode::Fm);
}

// Blocks of a carrier at `offset` Hz from the centre, or of silence.
std::vector<int16_t> Carrier(double offset, double amplitude)
{
    std::vector<int16_t> frames(2 * 2400);
    for (int n = 0; n < 2400; ++n) {
        const double phase = 2.0 * M_PI * offset * n / 48000.0;
        frames[2 * std::size_t(n)] = static_cast<int16_t>(std::lround(amplitude * std::sin(phase)));
        frames[2 * std::size_t(n) + 1] =
            static_cast<int16_t>(std::lround(amplitude * std::cos(phase)));
    }
    return frames;
}

TEST_F(RemoteSession, LevelsAreTheKnobsAndTheMetersReading)
{
    Receiver& rx = Begin();
    std::vector<Knob> knobs;
    QObject::connect(&rx, &Receiver::KnobRedraw, [&](Knob k, bool) { knobs.push_back(k); });
    EXPECT_EQ(Send("l AF"), "0.000000\n");
    EXPECT_EQ(Send("L AF 0.5"), "RPRT 0\n");
    EXPECT_EQ(S().GainPos, 0);
    EXPECT_EQ(S().VolGain, 750.0);  // the volume follows the knob
    EXPECT_EQ(Send("l AF"), "0.500000\n");
    EXPECT_EQ(Send("L SQL 0.25"), "RPRT 0\n");
    EXPECT_EQ(S().SqlPos, -75);
    EXPECT_EQ(Send("L VFOA SQL 1"), "RPRT 0\n");
    EXPECT_EQ(S().SqlPos, 150);
    EXPECT_EQ(Send("l SQL"), "1.000000\n");
    // Redrawn as the mouse turns them.
    EXPECT_EQ(knobs, (std::vector<Knob>{Knob::Vol, Knob::Sql, Knob::Sql}));

    // Silence: the needle at its left end, 51 dB below S9 on the face.
    EXPECT_EQ(Send("l STRENGTH"), "-51\n");
    // A strong carrier in the pass band drives the needle to the right end
    // (45 dB over S9) as the meter's smoothing lets it; silence brings it back.
    const std::vector<int16_t> strong = Carrier(-12000.0, 20000.0);
    const std::vector<int16_t> silent(2 * 2400, 0);
    core::test::ReceiverProbe::HandleBlock(rx, strong.data());
    const int first = std::stoi(Send("l STRENGTH"));
    EXPECT_EQ(first, -51);  // the needle swings up from the left end
    for (int i = 0; i < 40; ++i)
        core::test::ReceiverProbe::HandleBlock(rx, strong.data());
    EXPECT_EQ(Send("l STRENGTH"), "45\n");
    // The AGC's level decays at "Middle" over seconds.
    for (int i = 0; i < 60; ++i)
        core::test::ReceiverProbe::HandleBlock(rx, silent.data());
    const int falling = std::stoi(Send("l STRENGTH"));
    EXPECT_LT(falling, 45);
    EXPECT_GT(falling, -51);
}

TEST_F(RemoteSession, AosStartsTheRecorderAndLosStopsIt)
{
    Receiver& rx = Begin();
    int wave = 0;
    QObject::connect(&rx, &Receiver::WaveStateChanged, [&] { ++wave; });
    EXPECT_EQ(Send("AOS"), "RPRT 0\n");
    EXPECT_TRUE(rx.WaveRecording());
    EXPECT_EQ(Send("AOS"), "RPRT 0\n");  // already recording: the same file
    EXPECT_EQ(Send("+LOS"), "LOS:\nRPRT 0\n");
    EXPECT_FALSE(rx.WaveRecording());
    EXPECT_GE(wave, 2);  // the window follows
    int files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(Dir() / "Wav"))
        ++files;
    EXPECT_EQ(files, 1);

    // A recording that cannot be created says so.
    std::filesystem::remove_all(Dir() / "Wav");
    WriteFile(Dir() / "Wav", "not a folder");
    EXPECT_EQ(Send("AOS"), "RPRT -6\n");
    EXPECT_FALSE(rx.WaveRecording());
}

}  // namespace
}  // namespace core::test
