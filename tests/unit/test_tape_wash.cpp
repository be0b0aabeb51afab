#include <gtest/gtest.h>

#include <juce_audio_basics/juce_audio_basics.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "dsp/TapeWash.h"

namespace
{
constexpr double rate = 44100.0;

struct Stereo
{
    std::vector<float> left, right;
};

// Runs the stage over a stereo input with WASH fixed, as one long block.
Stereo run (dsp::TapeWash& wash, const Stereo& in)
{
    Stereo out;
    for (size_t t = 0; t < in.left.size(); ++t)
    {
        const float x[2] { in.left[t], in.right[t] };
        float y[2] {};
        wash.process (x, y, 2);
        out.left.push_back (y[0]);
        out.right.push_back (y[1]);
    }
    return out;
}

Stereo noise (int samples, float level, int seed)
{
    juce::Random random (seed);
    Stereo s;
    for (int t = 0; t < samples; ++t)
    {
        s.left.push_back (level * (2.0f * random.nextFloat() - 1.0f));
        s.right.push_back (level * (2.0f * random.nextFloat() - 1.0f));
    }
    return s;
}

// Samples of delay at which each of a train of small impulses comes out loudest.
std::vector<int> impulseDelays (float washAmount, int spacing, int count)
{
    dsp::TapeWash wash;
    wash.prepare (rate);
    wash.setForBlock (washAmount);
    Stereo in { std::vector<float> ((size_t) (spacing * count), 0.0f), std::vector<float> ((size_t) (spacing * count), 0.0f) };
    for (int k = 0; k < count; ++k)
        in.left[(size_t) (k * spacing)] = in.right[(size_t) (k * spacing)] = 0.01f;
    const auto out = run (wash, in);

    std::vector<int> delays;
    for (int k = 0; k < count; ++k)
    {
        int best = 0;
        for (int d = 0; d < spacing; ++d)
            if (std::abs (out.left[(size_t) (k * spacing + d)]) > std::abs (out.left[(size_t) (k * spacing + best)]))
                best = d;
        delays.push_back (best);
    }
    return delays;
}
} // namespace

TEST (TapeWash, AtWashZeroAFixedEightMillisecondDelay)
{
    // 352.8 samples: the cubic read puts an impulse's peak on the sample at 353.
    for (const int delay : impulseDelays (0.0f, 4410, 40))
        EXPECT_EQ (delay, 353);
}

TEST (TapeWash, AtWashZeroSmallSignalsPassAtUnityGain)
{
    dsp::TapeWash wash;
    wash.prepare (rate);
    wash.setForBlock (0.0f);
    double in2 = 0.0, out2 = 0.0;
    for (int t = 0; t < 44100; ++t)
    {
        const auto s = 0.001f * (float) std::sin (2.0 * M_PI * 1000.0 * t / rate);
        const float x[2] { s, -s };
        float y[2] {};
        wash.process (x, y, 2);
        if (t >= 4410)
        {
            in2 += (double) s * s;
            out2 += (double) y[0] * y[0];
        }
        ASSERT_EQ (wash.getLevellerGain(), 1.0f);
    }
    // The 19 kHz lowpass, the DC blocker and the cubic read together cost well under 0.1 % at 1 kHz.
    EXPECT_NEAR (std::sqrt (out2 / in2), 1.0, 0.002);
}

TEST (TapeWash, AtFullWashTheDelayWandersAroundEightMilliseconds)
{
    const auto delays = impulseDelays (1.0f, 2205, 80); // every 50 ms for 4 s
    const auto [shortest, longest] = std::minmax_element (delays.begin(), delays.end());
    // 8 ms +- 7.58 ms of wow, flutter and drift, never below the 4-sample floor; the filters
    // may move an impulse's peak by a few samples.
    EXPECT_GE (*shortest, 4);
    EXPECT_LE (*longest, (int) (0.01558 * rate) + 8);
    EXPECT_GT (*longest - *shortest, (int) (0.002 * rate)); // the wow alone swings +- 4.6 ms
}

TEST (TapeWash, DrivesFollowWash)
{
    struct Case
    {
        float wash, low, high;
    };
    for (const auto& c : { Case { 0.0f, 1.0f, 1.0f }, Case { 0.5f, 2.1f, 4.83f }, Case { 1.0f, 3.2f, 11.52f }, Case { 1.5f, 3.2f, 11.52f } })
    {
        dsp::TapeWash wash;
        wash.prepare (rate);
        wash.setForBlock (c.wash);
        EXPECT_NEAR (wash.getLowDrive(), c.low, 1e-5f);
        EXPECT_NEAR (wash.getHighDrive(), c.high, 1e-5f);
    }
}

TEST (TapeWash, FullWashSquashesPeaksAndLinksTheLeveller)
{
    dsp::TapeWash wash;
    wash.prepare (rate);
    wash.setForBlock (1.0f);
    // Right: a quiet steady tone throughout. Left: silent for a second, then loud noise.
    Stereo in = noise (2 * 44100, 4.0f, 5);
    for (size_t t = 0; t < in.left.size(); ++t)
    {
        in.right[t] = 0.01f * (float) std::sin (2.0 * M_PI * 1000.0 * (double) t / rate);
        if (t < 44100)
            in.left[t] = 0.0f;
    }
    const auto out = run (wash, in);

    auto rms = [] (const std::vector<float>& v, size_t from, size_t to)
    {
        double sum = 0.0;
        for (size_t t = from; t < to; ++t)
            sum += (double) v[t] * v[t];
        return std::sqrt (sum / (double) (to - from));
    };
    // The leveller is linked: the loud left side turns the quiet right side down too.
    const double rightAlone = rms (out.right, 22050, 44100);
    const double rightBesideLoud = rms (out.right, 66150, 88200);
    EXPECT_LT (rightBesideLoud, 0.8 * rightAlone);

    // Bands bounded by 1/3.2 + 1/11.52 before the leveller's makeup of 1.33; the DC blocker and
    // the lowpass overshoot only slightly.
    const float loudest = std::abs (*std::max_element (out.left.begin(), out.left.end(),
                                                       [] (float a, float b) { return std::abs (a) < std::abs (b); }));
    EXPECT_LT (loudest, (1.0f / 3.2f + 1.0f / 11.52f) * 1.33f * 1.2f);
    EXPECT_GT (loudest, 0.1f);
}

TEST (TapeWash, EveryPrepareRestartsTheSameWay)
{
    const auto in = noise (20000, 0.8f, 9);
    dsp::TapeWash first, again;
    first.prepare (rate);
    first.setForBlock (1.0f);
    const auto reference = run (first, in);

    again.prepare (rate);
    again.setForBlock (1.0f);
    run (again, noise (30000, 0.5f, 10)); // move every state and draw the generator on
    again.prepare (rate);
    again.setForBlock (1.0f);
    const auto repeated = run (again, in);
    EXPECT_EQ (repeated.left, reference.left);
    EXPECT_EQ (repeated.right, reference.right);
}

TEST (TapeWash, SilenceAfterSoundEndsInExactZeros)
{
    juce::ScopedNoDenormals noDenormals;
    dsp::TapeWash wash;
    wash.prepare (rate);
    wash.setForBlock (1.0f);
    run (wash, noise (4410, 0.9f, 2));
    const auto tail = run (wash, Stereo { std::vector<float> (3 * 44100, 0.0f), std::vector<float> (3 * 44100, 0.0f) });
    size_t lastNonZero = 0;
    for (size_t t = 0; t < tail.left.size(); ++t)
        if (tail.left[t] != 0.0f || tail.right[t] != 0.0f)
            lastNonZero = t;
    EXPECT_GT (lastNonZero, 0u);
    EXPECT_LT (lastNonZero, (size_t) (2 * 44100));
}

TEST (TapeWash, MonoRunsTheLeftChannelAlone)
{
    dsp::TapeWash wash;
    wash.prepare (rate);
    wash.setForBlock (0.7f);
    const auto in = noise (10000, 0.5f, 4);
    for (size_t t = 0; t < in.left.size(); ++t)
    {
        const float x[2] { in.left[t], std::nanf ("") }; // the right input must never be read
        float y[2] { 0.0f, -7.0f };
        wash.process (x, y, 1);
        ASSERT_TRUE (std::isfinite (y[0]));
        ASSERT_EQ (y[1], -7.0f);
    }
}
