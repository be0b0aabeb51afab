#include <gtest/gtest.h>

#include "dsp/LevelFollower.h"

#include <cmath>
#include <vector>

using dsp::LevelFollower;

namespace
{
LevelFollower preparedFollower (double sampleRate)
{
    LevelFollower follower;
    follower.prepare (sampleRate);
    return follower;
}

const float duckingFloor = ::exp10f (-0.5f);
} // namespace

TEST (LevelFollower, TimeConstantsAndHoldFollowTheSampleRate)
{
    struct Case
    {
        double sampleRate;
        int holdLength;
    };
    for (auto [sampleRate, holdLength] : { Case { 44100.0, 882 }, Case { 48000.0, 960 }, Case { 96000.0, 1920 }, Case { 22050.0, 441 } })
    {
        const auto follower = preparedFollower (sampleRate);
        EXPECT_EQ (follower.getHoldLength(), holdLength) << sampleRate;
        // After one time constant a one-pole has covered 1 - 1/e of a step; the coefficients are
        // floats, so their powers over thousands of samples agree to about 1e-4.
        EXPECT_NEAR (std::pow ((double) follower.getAttack(), 0.001 * sampleRate), std::exp (-1.0), 1e-4) << sampleRate;
        EXPECT_NEAR (std::pow ((double) follower.getRelease(), 0.12 * sampleRate), std::exp (-1.0), 1e-3) << sampleRate;
        EXPECT_EQ (follower.getEnvelope(), 0.0f);
    }
}

TEST (LevelFollower, SilenceNeverDucks)
{
    auto follower = preparedFollower (44100.0);
    for (int i = 0; i < 44100; ++i)
        ASSERT_EQ (follower.process (0.0f), 1.0f) << i;
    EXPECT_EQ (follower.getEnvelope(), 0.0f);
}

TEST (LevelFollower, RisesWithOneMillisecondTimeConstantAndDucksTenDbWithinMilliseconds)
{
    constexpr double fs = 44100.0;
    auto follower = preparedFollower (fs);
    for (int i = 0; i < 44; ++i)
        follower.process (1.0f);
    // 44 samples are 0.998 ms: 1 - exp(-44 / 44.1) = 0.6313.
    EXPECT_NEAR (follower.getEnvelope(), 1.0 - std::exp (-44.0 / 44.1), 1e-4);

    // A full-scale sine from silence.
    follower = preparedFollower (fs);
    int firstFullDuck = -1;
    for (int i = 0; i < 44100; ++i)
    {
        const auto x = (float) std::sin (2.0 * M_PI * 440.0 * i / fs);
        const float gain = follower.process (LevelFollower::inputLevel (&x, 1));
        if (firstFullDuck < 0 && gain == duckingFloor)
            firstFullDuck = i;
        if (firstFullDuck >= 0)
            ASSERT_EQ (gain, duckingFloor) << "the ducking let go at sample " << i;
    }
    ASSERT_GE (firstFullDuck, 0);
    EXPECT_LT (firstFullDuck, (int) (0.005 * fs));
}

TEST (LevelFollower, HoldsTwentyMillisecondsAfterTheLastRiseThenReleases)
{
    constexpr double fs = 44100.0;
    auto follower = preparedFollower (fs);
    // A rising level stays above the lagging envelope, so the last loud sample is a rise.
    for (int i = 1; i <= 2000; ++i)
        follower.process (0.5f * (float) i / 2000.0f);
    const float held = follower.getEnvelope();
    ASSERT_GT (held, 0.4f);

    for (int i = 0; i < 882; ++i)
    {
        follower.process (0.0f);
        ASSERT_EQ (follower.getEnvelope(), held) << "hold ended early at " << i;
    }
    follower.process (0.0f);
    EXPECT_EQ (follower.getEnvelope(), held * follower.getRelease());

    // 120 ms later (minus the one release step above) the envelope is down by 1/e.
    for (int i = 1; i < (int) (0.12 * fs); ++i)
        follower.process (0.0f);
    EXPECT_NEAR (follower.getEnvelope() / held, std::exp (-1.0), 1e-3);

    // The ducking ends exactly where the envelope crosses -36 dBFS (0.0158489) and stays off.
    float before = follower.getEnvelope();
    while (follower.process (0.0f) < 1.0f)
        before = follower.getEnvelope();
    EXPECT_GT (before, 0.015848f);
    EXPECT_LT (follower.getEnvelope(), 0.015849f);
    for (int i = 0; i < 1000; ++i)
        ASSERT_EQ (follower.process (0.0f), 1.0f);
}

TEST (LevelFollower, DuckingLawAboveMinus36Dbfs)
{
    struct Case
    {
        float envelope;
        float gain;
        float tolerance; // the float logarithm and power of ten are good to a few ulps
    };
    const auto db = [] (double level) { return (float) std::pow (10.0, level / 20.0); };
    const Case cases[] = {
        { 0.0f, 1.0f, 0.0f },
        { 1.0e-30f, 1.0f, 0.0f },
        { db (-60.0), 1.0f, 0.0f },
        { db (-36.0), 1.0f, 0.0f }, // the threshold itself: not a trace of reduction
        { db (-30.0), db (-0.9 * 6.0), 1.0e-6f },
        { db (-26.0), db (-9.0), 1.0e-6f },
        { db (-24.0), duckingFloor, 0.0f }, // 0.9 dB per dB stops at 10 dB (from -24.9 dBFS on)
        { 1.0f, duckingFloor, 0.0f },
        { 8.0f, duckingFloor, 0.0f },
    };
    for (const auto& c : cases)
        EXPECT_NEAR (LevelFollower::duckingGainFor (c.envelope), c.gain, c.tolerance) << "envelope " << c.envelope;
}

TEST (LevelFollower, InputLevelIsTheMagnitudeOfTheChannelMean)
{
    struct Case
    {
        float left, right;
        int numChannels;
        float level;
    };
    const Case cases[] = {
        { 0.5f, -0.5f, 2, 0.0f },  // equal and opposite: silence to the follower
        { 0.5f, 0.25f, 2, 0.375f },
        { -0.8f, 0.2f, 2, 0.3f },
        { -0.7f, 123.0f, 1, 0.7f }, // mono never looks at the second channel
    };
    for (const auto& c : cases)
    {
        const float samples[] { c.left, c.right };
        EXPECT_FLOAT_EQ (LevelFollower::inputLevel (samples, c.numChannels), c.level);
    }

    // A loud side-only signal leaves the follower at rest.
    auto follower = preparedFollower (48000.0);
    for (int i = 0; i < 4800; ++i)
    {
        const auto x = (float) std::sin (0.05 * i);
        const float samples[] { x, -x };
        ASSERT_EQ (follower.process (LevelFollower::inputLevel (samples, 2)), 1.0f);
    }
    EXPECT_EQ (follower.getEnvelope(), 0.0f);
}
