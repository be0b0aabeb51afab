#include <gtest/gtest.h>

#include <juce_core/juce_core.h>

#include <algorithm>
#include <array>
#include <cmath>

#include "dsp/OutputStage.h"

namespace
{
constexpr double rate = 44100.0;
using dsp::OutputStage;

struct Output
{
    dsp::WetHighpass highpass;
    dsp::OutputCompressor compressor;

    Output()
    {
        highpass.prepare (rate);
        compressor.prepare (rate);
    }

    std::array<float, 2> step (float tapeL, float tapeR, float dryL, float dryR, float space, float wash, int n = 2,
                               float ducking = 1.0f)
    {
        const float tape[2] { tapeL, tapeR }, dry[2] { dryL, dryR };
        float v[2] {}, out[2] { -9.0f, -9.0f };
        OutputStage::process (highpass, compressor, { tape, dry, ducking, space, wash }, n, v, out);
        return { out[0], out[1] };
    }
};
} // namespace

TEST (OutputStage, MixGainsFollowSpaceAndWash)
{
    struct Case
    {
        float space, wash, wet, dry;
    };
    const Case cases[] {
        { 0.0f, 0.55f, 0.0f, 1.0f },            // SPACE 0: dry only
        { 0.0f, 1.0f, 0.0f, 1.0f },             // ... whatever WASH says
        { 0.65f, 0.55f, 0.8712f, 1.0f },        // the defaults
        { 1.0f, 1.0f, 1.615f, 0.18f },          // everything up
        { 1.0f, 0.65f, 1.1994f, 1.0f },         // WASH at 0.65 leaves the dry alone
        { 0.25f, 0.825f, 0.7036f, 0.8975f },    // t = 0.5, scaled by sqrt(SPACE) = 0.5
    };
    for (const auto& c : cases)
    {
        const auto gains = OutputStage::mixGains (c.space, c.wash);
        EXPECT_NEAR (gains.wet, c.wet, 5e-4f) << c.space << " " << c.wash; // quoted to four figures
        EXPECT_NEAR (gains.dry, c.dry, 1e-6f) << c.space << " " << c.wash;
    }
    EXPECT_EQ (OutputStage::mixGains (0.3f, 0.65f).dry, 1.0f);
    EXPECT_EQ (OutputStage::mixGains (0.0f, 1.0f).dry, 1.0f);
}

TEST (OutputStage, SpaceZeroGivesTheInputExactly)
{
    for (const int n : { 1, 2 })
    {
        Output stage;
        juce::Random random (1);
        for (int t = 0; t < 10000; ++t)
        {
            const float dryL = 2.0f * random.nextFloat() - 1.0f, dryR = 2.0f * random.nextFloat() - 1.0f;
            const auto out = stage.step (3.0f * random.nextFloat() - 1.5f, random.nextFloat(), dryL, dryR, 0.0f,
                                         random.nextFloat(), n);
            ASSERT_EQ (out[0], dryL);
            if (n == 2)
                ASSERT_EQ (out[1], dryR);
            else
                ASSERT_EQ (out[1], -9.0f); // mono leaves the second channel alone
        }
    }
}

TEST (OutputStage, CompressorActsOnlyAboveMinusTwentyDecibels)
{
    struct Case
    {
        float level, gain;
    };
    const Case cases[] {
        { 0.0f, 1.45f },                                       // silence: makeup only
        { 0.05f, 1.45f },                                      // -26 dBFS: below the threshold
        { 0.1f, 1.45f },                                       // at the threshold
        { 0.31622776f, 1.45f * std::pow (10.0f, -0.5f * 6.0f / 11.0f) }, // 10 dB over: 6/11 of it off
        { 1.0f, 1.45f * std::pow (10.0f, -1.0f * 6.0f / 11.0f) },        // 20 dB over
    };
    for (const auto& c : cases)
    {
        dsp::OutputCompressor compressor;
        compressor.prepare (rate);
        float gain = 0.0f;
        for (int t = 0; t < 5 * 44100; ++t) // 25 attack time constants: the envelope sits on the level
            gain = compressor.gainFor (c.level);
        EXPECT_NEAR (gain, c.gain, 1e-4f) << c.level;
    }
}

TEST (OutputStage, SideOnlyWetSignalLeavesTheCompressorAlone)
{
    Output stage;
    for (int t = 0; t < 44100; ++t)
    {
        const float s = (float) std::sin (2.0 * M_PI * 440.0 * t / rate);
        stage.step (s, -s, 0.0f, 0.0f, 1.0f, 0.0f);
        ASSERT_EQ (stage.compressor.envelope, 0.0f);
    }
    // The same signal in mono drives it.
    Output mono;
    for (int t = 0; t < 4410; ++t)
        mono.step ((float) std::sin (2.0 * M_PI * 440.0 * t / rate), 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 1);
    EXPECT_GT (mono.compressor.envelope, 0.1f);
}

TEST (OutputStage, WetPathIsHighpassedAndBounded)
{
    // DC never reaches the wet output: the 120 Hz highpass takes it out.
    Output dc;
    std::array<float, 2> out {};
    for (int t = 0; t < 44100; ++t)
        out = dc.step (0.5f, 0.5f, 0.0f, 0.0f, 1.0f, 0.0f);
    // The float one-pole stalls within about 2e-6 of a constant input, so a residue that small
    // (times 2.8 and the gains) is all that is left.
    EXPECT_NEAR (out[0], 0.0f, 1e-5f);

    // A huge wet signal: at most 0.83 after the clipper, times the compressor's makeup and the
    // wet gain at SPACE 1 and WASH 0 (no widening).
    Output loud;
    const float bound = 0.83f * 1.45f * OutputStage::mixGains (1.0f, 0.0f).wet;
    float loudest = 0.0f;
    for (int t = 0; t < 44100; ++t)
    {
        const float s = 50.0f * (float) std::sin (2.0 * M_PI * 1000.0 * t / rate);
        out = loud.step (s, 0.3f * s, 0.0f, 0.0f, 1.0f, 0.0f);
        loudest = std::max ({ loudest, std::abs (out[0]), std::abs (out[1]) });
    }
    EXPECT_LE (loudest, bound * (1.0f + 1e-6f)); // the first peak, before the attack: up to roundings
    EXPECT_GT (loudest, 0.2f * bound); // the compressor pulls it down, but sound comes through
}

TEST (OutputStage, WashWidensTheSideAndCompensatesTheLevel)
{
    // A left-only wet signal small enough to stay linear and below the threshold.
    auto sideToMid = [] (float wash)
    {
        Output stage;
        std::array<float, 2> out {};
        for (int t = 0; t < 2000; ++t)
            out = stage.step (t == 1999 ? 0.01f : 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, wash);
        return std::array<float, 2> { (out[0] + out[1]) * 0.5f, (out[0] - out[1]) * 0.5f };
    };
    const auto narrow = sideToMid (0.0f);
    const auto wide = sideToMid (1.0f);
    const float comp = std::pow (2.0f / (1.0f + 1.55f * 1.55f), 0.35f); // about 0.83
    const float wetRatio = OutputStage::mixGains (1.0f, 1.0f).wet / OutputStage::mixGains (1.0f, 0.0f).wet;
    EXPECT_NEAR (narrow[0], narrow[1], 1e-7f); // left only: mid equals side
    EXPECT_NEAR (wide[0] / narrow[0], comp * wetRatio, 1e-4f);
    EXPECT_NEAR (wide[1] / narrow[1], 1.55f * comp * wetRatio, 1e-4f);
}
