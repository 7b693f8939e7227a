#include "tools/DemodOptions.h"

#include <gtest/gtest.h>

using tools::ApplyDemodSetting;
using tools::DemodOptions;
using tools::ParseDemodArgs;

TEST(DemodOptionsTest, DefaultsAreThoseOfAFirstRun)
{
    DemodOptions o;
    ASSERT_TRUE(ParseDemodArgs({"in.dat", "out.wav"}, o, nullptr));
    const dsp::ChainControls& c = o.controls;
    EXPECT_EQ(c.FreqTune, -12000);
    EXPECT_EQ(c.RxMode, dsp::Mode::Am);
    EXPECT_EQ(c.IFBW, dsp::IfChoice::Khz6);
    EXPECT_EQ(c.PosIFBW, 30);
    EXPECT_EQ(c.AFLPF, dsp::AfChoice::Khz3);
    EXPECT_EQ(c.PosAFFC1, 3);
    EXPECT_EQ(c.PosAFFC2, 60);
    EXPECT_EQ(c.AGC, dsp::AgcSpeed::Middle);
    EXPECT_EQ(c.GainPos, -150);
    EXPECT_EQ(c.SqlPos, -150);
    EXPECT_EQ(c.InGainPos, 0);
    EXPECT_FALSE(c.InvIQ || c.DSP3D || c.DSPNR || c.DSPAN || c.MonitorOn);
    EXPECT_EQ(o.input, "in.dat");
    EXPECT_EQ(o.output, "out.wav");
    EXPECT_TRUE(o.record.empty());
    EXPECT_TRUE(o.spectrum.empty());
}

TEST(DemodOptionsTest, EveryKeyReachesItsField)
{
    DemodOptions o;
    std::string e;
    ASSERT_TRUE(
        ParseDemodArgs({"--set", "FreqTune=1500", "--set", "RxMode=4",    "--set", "IFBW=4",
                        "--set", "PosIFBW=25",    "--set", "AFLPF=2",     "--set", "PosAFFC1=5",
                        "--set", "PosAFFC2=40",   "--set", "AGC=0",       "--set", "GainPos=10",
                        "--set", "SqlPos=-20",    "--set", "InGainPos=6", "--set", "InvIQ=1",
                        "--set", "DSP3D=1",       "--set", "DSPNR=2",     "--set", "DSPAN=-1",
                        "--set", "Monitor=1",     "a.dat", "b.wav"},
                       o, &e))
        << e;
    const dsp::ChainControls& c = o.controls;
    EXPECT_EQ(c.FreqTune, 1500);
    EXPECT_EQ(c.RxMode, dsp::Mode::Usb);
    EXPECT_EQ(c.IFBW, dsp::IfChoice::User);
    EXPECT_EQ(c.PosIFBW, 25);
    EXPECT_EQ(c.AFLPF, dsp::AfChoice::User);
    EXPECT_EQ(c.PosAFFC1, 5);
    EXPECT_EQ(c.PosAFFC2, 40);
    EXPECT_EQ(c.AGC, dsp::AgcSpeed::Fast);
    EXPECT_EQ(c.GainPos, 10);
    EXPECT_EQ(c.SqlPos, -20);
    EXPECT_EQ(c.InGainPos, 6);
    EXPECT_TRUE(c.InvIQ && c.DSP3D && c.DSPNR && c.DSPAN && c.MonitorOn);
    EXPECT_EQ(tools::DemodKeys().size(), 20u);
}

TEST(DemodOptionsTest, ValuesUseTheSettingsFileSyntax)
{
    dsp::ChainControls c;
    std::string e;
    ASSERT_TRUE(ApplyDemodSetting(c, "GainPos=0x10", &e));
    EXPECT_EQ(c.GainPos, 16);
    ASSERT_TRUE(ApplyDemodSetting(c, "FreqTune=$FFFFFFFF", &e));
    EXPECT_EQ(c.FreqTune, -1);
    ASSERT_TRUE(ApplyDemodSetting(c, "SqlPos= -30 ", &e));
    EXPECT_EQ(c.SqlPos, -30);
    ASSERT_TRUE(ApplyDemodSetting(c, "InvIQ=0", &e));
    EXPECT_FALSE(c.InvIQ);
    // Keys are matched as the settings file matches them, without case.
    ASSERT_TRUE(ApplyDemodSetting(c, "rxmode=2", &e));
    EXPECT_EQ(c.RxMode, dsp::Mode::Cw);
}

TEST(DemodOptionsTest, RefusesUnknownKeysAndMalformedValues)
{
    dsp::ChainControls c;
    std::string e;
    EXPECT_FALSE(ApplyDemodSetting(c, "Volume=3", &e));
    EXPECT_NE(e.find("unknown key \"Volume\""), std::string::npos) << e;
    EXPECT_FALSE(ApplyDemodSetting(c, "FreqCenter=7100000", &e));  // comes from the file
    EXPECT_FALSE(ApplyDemodSetting(c, "GainPos", &e));
    EXPECT_NE(e.find("KEY=VALUE"), std::string::npos);
    for (const char* bad : {"GainPos=abc", "GainPos=", "GainPos=1.5", "GainPos=99999999999",
                            "GainPos=0x", "GainPos=12abc"}) {
        e.clear();
        EXPECT_FALSE(ApplyDemodSetting(c, bad, &e)) << bad;
        EXPECT_NE(e.find("malformed value"), std::string::npos) << bad;
    }
    EXPECT_EQ(c.GainPos, -150);  // nothing half-applied

    // Found by fuzzing: what was typed is quoted with its control characters
    // escaped, so the refusal stays one line.
    for (const char* typed : {"Gain\nPos=1", "GainPos=1\r2", "\x1b[2J=0"}) {
        e.clear();
        EXPECT_FALSE(ApplyDemodSetting(c, typed, &e));
        EXPECT_EQ(e.find_first_of("\n\r\x1b"), std::string::npos) << e;
    }
    DemodOptions o;
    EXPECT_FALSE(ParseDemodArgs({"--re\ncord", "a", "b"}, o, &e));
    EXPECT_NE(e.find("\"--re\\ncord\""), std::string::npos) << e;
}

TEST(DemodOptionsTest, OptionForms)
{
    DemodOptions o;
    std::string e;
    ASSERT_TRUE(ParseDemodArgs({"--record=r.wav", "--spectrum", "s.f64", "--set=AGC=2",
                                "--threads=1", "in.dat", "--", "-odd.wav"},
                               o, &e))
        << e;
    EXPECT_EQ(o.threads, 1);
    EXPECT_EQ(o.record, "r.wav");
    EXPECT_EQ(o.spectrum, "s.f64");
    EXPECT_EQ(o.controls.AGC, dsp::AgcSpeed::Slow);
    EXPECT_EQ(o.output, "-odd.wav");
}

TEST(DemodOptionsTest, CommandLineErrors)
{
    auto fails = [](std::vector<std::string> args, const char* expect) {
        DemodOptions o;
        std::string e;
        EXPECT_FALSE(ParseDemodArgs(args, o, &e));
        EXPECT_NE(e.find(expect), std::string::npos) << e;
        EXPECT_EQ(e.find('\n'), std::string::npos) << "one line";
    };
    fails({}, "expected INPUT.dat and OUTPUT.wav");
    fails({"in.dat"}, "expected INPUT.dat and OUTPUT.wav");
    fails({"a", "b", "c"}, "too many");
    fails({"--bogus", "a", "b"}, "unknown option");
    fails({"a", "b", "--set"}, "--set needs a value");
    fails({"--record", "", "a", "b"}, "needs a file name");
    fails({"--set", "Nope=1", "a", "b"}, "unknown key");
    for (const char* threads : {"0", "-1", "two", "", "99999"})
        fails({"--threads", threads, "a", "b"}, "--threads needs a whole number");
}

TEST(DemodOptionsTest, HelpWins)
{
    DemodOptions o;
    ASSERT_TRUE(ParseDemodArgs({"--set", "GainPos=0", "--help", "--bogus"}, o, nullptr));
    EXPECT_TRUE(o.help);
    const std::string usage = tools::kDemodUsage;
    for (auto key : tools::DemodKeys())
        EXPECT_NE(usage.find(std::string(key)), std::string::npos) << key;
    for (const char* opt : {"--set", "--record", "--spectrum", "--help", "INPUT.dat", "OUTPUT.wav"})
        EXPECT_NE(usage.find(opt), std::string::npos) << opt;
}
