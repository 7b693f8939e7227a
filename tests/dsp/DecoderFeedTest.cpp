// The decoders' feed (audio over the network) against the loudspeakers' own
// audio: taken from the same squelched audio at a fixed gain, so that VOL,
// 3D and the noise reduction's place in the chain cannot reach or bend it.

#include "dsp/DecoderFeed.h"
#include "tests/dsp/ChainPair.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace {

using dsptest::Band;
using dsptest::Rx;
using dsptest::Tune;

// VOL's position whose gain is the feed's: (GainPos + 150) * 5 = 300.
constexpr int kFeedVolume = -90;

// With VOL at the feed's gain and 3D off, both loudspeaker channels carry the
// same audio rounded half up: the feed is that audio within the two roundings
// of two summing orders, in every mode, with and without the noise reduction (which
// moves the AF stages out of the fused loop).
TEST(DecoderFeed, IsTheLoudspeakersAudioAtAFixedGain)
{
    for (int mode = 0; mode < 5; ++mode)
        for (bool nr : {false, true}) {
            Rx rx([&](dsp::ChainControls& c) {
                Tune(c, mode, kFeedVolume);
                c.DecoderFeed = true;
            });
            if (nr)
                rx.chain->SetNoiseReduction(true);
            Band band(300 + mode);
            int loud = 0;
            for (int b = 0; b < 20; ++b) {
                const dsp::BlockOutputs& o = rx.Run(band.Next());
                ASSERT_TRUE(o.DecoderAudioReady);
                ASSERT_FALSE(o.AudioOver) << "mode " << mode;
                for (int n = 0; n < dsp::kBlockFrames; ++n) {
                    ASSERT_LE(std::abs(o.DecoderAudio[n] - o.OutFrames[2 * n]), 1)
                        << "mode " << mode << " nr " << nr << " block " << b << " sample " << n;
                    loud += std::abs(o.DecoderAudio[n]) > 1000;
                }
            }
            EXPECT_GT(loud, 1000) << "mode " << mode;  // a real signal was compared
        }
}

// VOL from its stop to its end, 3D on and off: the feed stays the same to
// the bit while the loudspeakers go from silence to full sound.
TEST(DecoderFeed, FollowsNeitherVolumeNor3D)
{
    for (int mode : {0, 1, 4}) {
        Rx quiet([&](dsp::ChainControls& c) {
            Tune(c, mode, -150);
            c.DecoderFeed = true;
        });
        Rx loud([&](dsp::ChainControls& c) {
            Tune(c, mode, 150);
            c.DSP3D = true;
            c.DecoderFeed = true;
        });
        Band a(400 + mode), b(400 + mode);
        for (int k = 0; k < 12; ++k) {
            const dsp::BlockOutputs& q = quiet.Run(a.Next());
            const dsp::BlockOutputs& l = loud.Run(b.Next());
            ASSERT_TRUE(std::all_of(q.OutFrames.begin(), q.OutFrames.end(),
                                    [](int16_t s) { return s == 0; }));
            ASSERT_EQ(q.DecoderAudio, l.DecoderAudio) << "mode " << mode << " block " << k;
        }
        const auto& frames = loud.chain->Outputs().OutFrames;
        EXPECT_TRUE(std::any_of(frames.begin(), frames.end(),
                                [](int16_t s) { return std::abs(s) > 10000; }));
    }
}

// A closed squelch sends silence (the stream stays paced), and the feed
// asked for no longer says it holds a block.
TEST(DecoderFeed, SilentWhileTheSquelchIsClosedAndOffWhenNotAsked)
{
    Rx rx([](dsp::ChainControls& c) {
        Tune(c, 1, 0);
        c.SqlPos = 150;
        c.DecoderFeed = true;
    });
    dsptest::Rng rng(500);
    dsptest::Block noise = dsptest::MakeBlock();
    int closed = 0;
    for (int b = 0; b < 20; ++b) {
        for (int16_t& s : noise)
            s = dsptest::ClampSample(300.0 * rng.Gauss());
        const dsp::BlockOutputs& o = rx.Run(noise);
        ASSERT_TRUE(o.DecoderAudioReady);
        if (o.SqlBusy)
            continue;
        ++closed;
        ASSERT_TRUE(std::all_of(o.DecoderAudio.begin(), o.DecoderAudio.end(),
                                [](int16_t s) { return s == 0; }))
            << "block " << b;
    }
    EXPECT_GT(closed, 10);
    rx.c.DecoderFeed = false;
    EXPECT_FALSE(rx.Run(noise).DecoderAudioReady);
}

}  // namespace
