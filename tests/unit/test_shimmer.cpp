#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <map>
#include <vector>

#include <juce_audio_basics/juce_audio_basics.h>

#include "dsp/Shimmer.h"

namespace
{
constexpr double rate = 44100.0;
constexpr float beatAt120 = 22050.0f;

// Magnitude of one frequency in a signal (a single DFT bin at any frequency).
double magnitudeAt (const std::vector<float>& signal, double frequency, double sampleRate)
{
    double re = 0.0, im = 0.0;
    for (size_t t = 0; t < signal.size(); ++t)
    {
        const double angle = 2.0 * M_PI * frequency * (double) t / sampleRate;
        re += signal[t] * std::cos (angle);
        im += signal[t] * std::sin (angle);
    }
    return std::hypot (re, im) * 2.0 / (double) signal.size();
}

// Runs the grains on a stereo pair fed into the input buffers, as the network does.
struct GrainRun
{
    dsp::Shimmer shimmer;
    int channels = 2;

    explicit GrainRun (float grain, float samplesPerBeat = beatAt120, int numChannels = 2) : channels (numChannels)
    {
        shimmer.prepare (rate);
        shimmer.setForBlock (grain, samplesPerBeat, 0.0, false);
    }

    std::array<float, 2> step (float left, float right)
    {
        const float in[2] { left, right };
        float out[2] { 0.0f, 0.0f };
        shimmer.writeInput (in, channels);
        shimmer.processGrains (channels, out);
        return { out[0], out[1] };
    }
};
} // namespace

struct GrainLengthCase
{
    double sampleRate;
    float grain;
    float samplesPerBeat;
    int expected;
};

TEST (ShimmerGrains, GrainLengthFollowsTempoWithinLimits)
{
    const GrainLengthCase cases[] {
        { 44100.0, 0.25f, 22050.0f, 8269 },  // default Grain at 120 BPM: 0.375 beat
        { 44100.0, 0.0f, 22050.0f, 11025 },  // half a beat
        { 44100.0, 1.0f, 22050.0f, 1378 },   // a sixteenth: 1378.125
        { 44100.0, 1.0f, 1000.0f, 308 },     // below 7 ms: held at the minimum
        { 44100.0, 0.0f, 66150.0f, 14112 },  // 40 BPM half beat exceeds 0.32 s
        { 44100.0, 0.8f, 22050.0f, 1837 },   // step 5: 0.08333 beat
        { 44100.0, 1.0f / 7.0f, 22050.0f, 11025 }, // the 0.999 keeps 1/7 on the first step
        { 96000.0, 0.0f, 144000.0f, 30720 }, // the maximum scales with the rate
        { 8000.0, 1.0f, 100.0f, 64 },        // never below 64 samples
    };
    for (const auto& c : cases)
    {
        dsp::Shimmer shimmer;
        shimmer.prepare (c.sampleRate);
        shimmer.setForBlock (c.grain, c.samplesPerBeat, 0.0, false);
        EXPECT_EQ (shimmer.getGrainLength(), c.expected) << "fs " << c.sampleRate << " grain " << c.grain << " B " << c.samplesPerBeat;
    }
}

TEST (ShimmerGrains, PrepareSizesBufferAndStartsAtAQuarterSecond)
{
    struct Case
    {
        double sampleRate;
        int bufferSize, grainLength;
    };
    for (const auto& c : { Case { 44100.0, 65536, 11025 }, Case { 48000.0, 65536, 12000 }, Case { 96000.0, 131072, 24000 } })
    {
        dsp::Shimmer shimmer;
        shimmer.prepare (c.sampleRate);
        EXPECT_EQ (shimmer.getBufferSize(), c.bufferSize);
        EXPECT_EQ (shimmer.getGrainLength(), c.grainLength);
        EXPECT_FLOAT_EQ (shimmer.getNormalisation(), 0.5f);
    }
}

TEST (ShimmerGrains, GrainZeroPlaysOctaveUpWithoutOffsets)
{
    GrainRun run (0.0f, 2000.0f); // short grains: many restarts
    EXPECT_FLOAT_EQ (run.shimmer.getOddGrainGain(), 1.0f);
    EXPECT_FLOAT_EQ (run.shimmer.getNormalisation(), 0.5f);
    for (int t = 0; t < 20000; ++t)
    {
        run.step (0.0f, 0.0f);
        for (int j = 0; j < 4; ++j)
        {
            ASSERT_EQ (run.shimmer.getRatio (j), 2.0f);
            ASSERT_EQ (run.shimmer.getOffset (j), 0.0f);
        }
    }
}

TEST (ShimmerGrains, GrainOneDrawsRatiosWithTheirProbabilitiesAndLongOffsets)
{
    GrainRun run (1.0f, 5000.0f); // grain length 312 samples
    const float length = (float) run.shimmer.getGrainLength();
    EXPECT_NEAR (run.shimmer.getOddGrainGain(), 0.16f, 1e-6f);

    // Every restart draws a fresh offset, so a changed offset marks a restart.
    std::map<float, int> counts;
    int restarts = 0;
    float largestOffset = 0.0f;
    float previous[4] {};
    for (int t = 0; t < 4'000'000 && restarts < 20000; ++t)
    {
        run.step (0.0f, 0.0f);
        for (int j = 0; j < 4; ++j)
        {
            const float offset = run.shimmer.getOffset (j);
            if (offset != previous[j])
            {
                ++counts[run.shimmer.getRatio (j)];
                ++restarts;
                largestOffset = std::max (largestOffset, offset);
                previous[j] = offset;
            }
        }
    }
    ASSERT_EQ (restarts, 20000);
    ASSERT_EQ (counts.size(), 3u);
    // 20000 draws: one standard deviation of a share is at most 0.0035; allow about 4.
    EXPECT_NEAR (counts[1.5f] / 20000.0, 0.34, 0.015);
    EXPECT_NEAR (counts[3.0f] / 20000.0, 0.26, 0.015);
    EXPECT_NEAR (counts[2.0f] / 20000.0, 0.40, 0.015);
    EXPECT_LT (largestOffset, 2.6f * length);
    EXPECT_GT (largestOffset, 2.5f * length);
}

TEST (ShimmerGrains, ShiftsASineUpAnOctave)
{
    // Neighbouring grains read a quarter grain (2756.25 samples) apart; at 224 Hz that is a whole
    // number of periods, so the four grains add in phase instead of partly cancelling.
    GrainRun run (0.0f);
    std::vector<float> out;
    for (int t = 0; t < 4 * 44100; ++t)
    {
        const auto s = (float) std::sin (2.0 * M_PI * 224.0 * t / rate);
        const auto g = run.step (0.2f * s, 0.2f * s);
        if (t >= 44100)
            out.push_back (g[0]);
    }
    const double octave = magnitudeAt (out, 448.0, rate);
    const double original = magnitudeAt (out, 224.0, rate);
    EXPECT_GT (octave, 0.1); // input 0.2, windows summing to 2, normalised by 0.5
    EXPECT_GT (octave, 30.0 * original);
}

TEST (ShimmerGrains, MonoReadsTheLeftBufferForBothLanes)
{
    GrainRun stereo (0.6f), mono (0.6f, beatAt120, 1);
    juce::Random noise (7);
    for (int t = 0; t < 3 * 44100; ++t)
    {
        const float x = noise.nextFloat() * 2.0f - 1.0f;
        const auto s = stereo.step (x, x);
        const auto m = mono.step (x, 123.0f); // the right value must never be read
        ASSERT_EQ (m[0], s[0]) << t;
        ASSERT_EQ (m[1], m[0]) << t;
        ASSERT_EQ (s[1], s[0]) << t;
    }
}

TEST (ShimmerGrains, SilenceAfterSoundEndsInExactZeros)
{
    juce::ScopedNoDenormals noDenormals;
    GrainRun run (0.5f);
    juce::Random noise (3);
    for (int t = 0; t < 4410; ++t)
        run.step (noise.nextFloat() - 0.5f, noise.nextFloat() - 0.5f);

    int lastNonZero = 0;
    for (int t = 0; t < 5 * 44100; ++t)
    {
        const auto g = run.step (0.0f, 0.0f);
        ASSERT_TRUE (std::isfinite (g[0]) && std::isfinite (g[1]));
        if (g[0] != 0.0f || g[1] != 0.0f)
            lastNonZero = t;
    }
    EXPECT_GT (lastNonZero, 0);
    EXPECT_LT (lastNonZero, 4 * 44100);
}

TEST (ShimmerGrains, RandomSequenceRunsOnAcrossPrepares)
{
    // A second prepare restarts the grains but not the generator: the offsets drawn afterwards
    // differ from those of a fresh instance.
    auto offsetsAfter = [] (dsp::Shimmer& s)
    {
        s.setForBlock (1.0f, 5000.0f, 0.0, false);
        const float in[2] {};
        float out[2] {};
        for (int t = 0; t < 2000; ++t)
        {
            s.writeInput (in, 2);
            s.processGrains (2, out);
        }
        return std::vector<float> { s.getOffset (0), s.getOffset (1), s.getOffset (2), s.getOffset (3) };
    };
    dsp::Shimmer fresh, twice;
    fresh.prepare (rate);
    twice.prepare (rate);
    const auto first = offsetsAfter (twice);
    EXPECT_EQ (first, offsetsAfter (fresh));
    twice.prepare (rate);
    EXPECT_NE (offsetsAfter (twice), first);
}

TEST (ShimmerBloom, SettlesAtSixtyFivePercentInSilence)
{
    dsp::Shimmer shimmer;
    shimmer.prepare (rate);
    shimmer.setForBlock (0.25f, beatAt120, 0.0, false);
    EXPECT_EQ (shimmer.getBloomGain(), 1.0f);
    for (int t = 0; t < 44100; ++t)
        shimmer.updateBloom (0.0f, t);
    // The float smoother stalls once (target - gain) * 0.0015 is below half an ulp of the gain,
    // that is within about 2e-5 of the target.
    EXPECT_NEAR (shimmer.getBloomGain(), 0.65f, 5e-5f);
}

TEST (ShimmerBloom, BloomsOnlyAfterTheHoldOnceTheInputStops)
{
    dsp::Shimmer shimmer;
    shimmer.prepare (rate);
    shimmer.setForBlock (0.25f, beatAt120, 0.0, false);
    // A slowly rising input keeps both envelopes on the level and restarts the hold every sample.
    for (int t = 0; t < 44100; ++t)
        shimmer.updateBloom (0.4f + 0.1f * (float) t / 44100.0f, t);
    // Within the float smoother's stall distance (about 2e-5, see above).
    EXPECT_NEAR (shimmer.getBloomGain(), 0.65f, 5e-5f); // no lead of the slow envelope

    const int hold = (int) (0.025 * rate);
    for (int t = 0; t < hold; ++t)
        shimmer.updateBloom (0.0f, t);
    EXPECT_NEAR (shimmer.getBloomGain(), 0.65f, 5e-5f); // both envelopes still held

    // 16 dB of lead takes about 0.18 s after the hold; then the gain smooths up to 1.
    for (int t = 0; t < (int) (0.1 * rate); ++t)
        shimmer.updateBloom (0.0f, t);
    const float midway = shimmer.getBloomGain();
    EXPECT_GT (midway, 0.7f);
    EXPECT_LT (midway, 0.95f);
    for (int t = 0; t < (int) (0.3 * rate); ++t)
        shimmer.updateBloom (0.0f, t);
    EXPECT_NEAR (shimmer.getBloomGain(), 1.0f, 5e-5f);
}

TEST (ShimmerBloom, GateOpensOverATenthOfAStepThenDecays)
{
    struct Case
    {
        float grain;
        double ppq;
        double beatsIn; // position of the sample within the block, in beats
        float expected;
    };
    const float decayed = std::exp (-4.5f * 0.8f);
    const Case cases[] {
        { 0.25f, 0.0, 0.0, 0.0f },                   // closed at the beat
        { 0.25f, 0.0, 0.05, 0.5f },                  // halfway up the opening ramp
        { 0.25f, 0.0, 0.1, 1.0f },                   // fully open
        { 0.25f, 2.0, 0.9, decayed },                // late in the step
        { 0.25f, 3.5, 0.0, std::exp (-4.5f * 0.4f) }, // ppq carries the phase
        { 0.5f, 0.0, 0.025, 0.5f },                  // half-beat steps: halfway up the ramp
        { 1.0f, 0.0, 0.0125, 0.5f },                 // quarter-beat steps: halfway up the ramp
        { 1.0f, 0.0, 0.25, 0.0f },                   // quarter-beat steps: closed again
    };
    for (const auto& c : cases)
    {
        dsp::Shimmer shimmer;
        shimmer.prepare (rate);
        shimmer.setForBlock (c.grain, 20000.0f, c.ppq, true); // beat positions fall on whole samples
        const int index = (int) std::lround (c.beatsIn * 20000.0);
        EXPECT_NEAR (shimmer.gateValue (index), c.expected, 1e-4f) << c.grain << " " << c.ppq << " " << c.beatsIn;
    }
    dsp::Shimmer stopped;
    stopped.prepare (rate);
    stopped.setForBlock (1.0f, beatAt120, 0.0, false);
    EXPECT_EQ (stopped.gateValue (0), 1.0f);
}

TEST (ShimmerBloom, GateDepthAndStepFollowGrain)
{
    struct Case
    {
        float grain, depth, length;
    };
    for (const auto& c : { Case { 0.0f, 0.25f, 1.0f }, Case { 0.25f, 0.4f, 1.0f }, Case { 0.5f, 0.55f, 0.5f },
                           Case { 0.7f, 0.67f, 0.25f }, Case { 1.0f, 0.85f, 0.25f } })
    {
        dsp::Shimmer shimmer;
        shimmer.prepare (rate);
        shimmer.setForBlock (c.grain, beatAt120, 0.0, true);
        EXPECT_NEAR (shimmer.getGateDepth(), c.depth, 1e-6f);
        EXPECT_EQ (shimmer.getGateLength(), c.length);
    }
}

TEST (ShimmerBloom, PlayingGateDipsTheBloomBeforeEachBeat)
{
    dsp::Shimmer shimmer;
    shimmer.prepare (rate);
    shimmer.setForBlock (0.25f, beatAt120, 0.0, true);
    float lowest = 1.0f, highest = 0.0f;
    for (int t = 0; t < 4 * 22050; ++t)
    {
        shimmer.updateBloom (0.0f, t);
        if (t > 22050)
        {
            lowest = std::min (lowest, shimmer.getBloomGain());
            highest = std::max (highest, shimmer.getBloomGain());
        }
    }
    // Target 0.65 * (0.6 + 0.4 q): 0.65 when open, 0.39 when closed. The 15 ms smoothing lags the
    // 50 ms opening ramp, so the peak stays below 0.65; the slow decay it follows closely.
    EXPECT_GT (highest, 0.55f);
    EXPECT_LE (highest, 0.65f);
    EXPECT_GE (lowest, 0.389f);
    EXPECT_LT (lowest, 0.40f);
}

TEST (ShimmerWetSum, WeightsReverbTapsAndShimmerBus)
{
    dsp::Shimmer shimmer;
    shimmer.prepare (rate); // bloom gain 1
    struct Case
    {
        float grain, comb, reverb, taps, shimmerAmount, space;
        float feedback, wet;
    };
    const Case cases[] {
        { 0.0f, 0.0f, 1.0f, 0.0f, 0.35f, 0.0f, 0.0f, 0.45f },     // reverb from 0.45 ...
        { 0.0f, 0.0f, 1.0f, 0.0f, 0.35f, 1.0f, 0.0f, 1.45f },     // ... to 1.45 of its level
        { 0.0f, 0.0f, 0.0f, 1.0f, 0.35f, 0.0f, 0.0f, 0.85f },     // taps from 0.85 ...
        { 0.0f, 0.0f, 0.0f, 1.0f, 0.35f, 1.0f, 0.0f, 0.4f },      // ... down to 0.4
        { 1.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.5f, 0.0f, 0.0f },       // FILTER 0: no shimmer at all
        { 1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.5f, 0.35f, 3.375f },    // grains: 4.5 * 0.75
        { 0.0f, 1.0f, 0.0f, 0.0f, 0.5f, 0.5f, 0.0f, 6.5f },       // combs: 26 * s * s
        { -0.5f, 0.0f, 0.0f, 0.0f, 0.2f, 0.0f, -0.035f, -0.4275f }, // feedback s * g * 0.35
    };
    for (const auto& c : cases)
    {
        const float g[2] { c.grain, c.grain }, r[2] { c.comb, c.comb }, y[2] { c.reverb, c.reverb }, taps[2] { c.taps, c.taps };
        float feedback[2] {}, wet[2] {};
        shimmer.mixWet ({ g, r, y, taps, c.shimmerAmount, c.space }, 2, feedback, wet);
        EXPECT_NEAR (feedback[0], c.feedback, 1e-6f);
        EXPECT_NEAR (wet[0], c.wet, 1e-5f);
        EXPECT_EQ (wet[1], wet[0]);
    }
}
