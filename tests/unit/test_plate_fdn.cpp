#include <gtest/gtest.h>

#include <juce_audio_basics/juce_audio_basics.h>

#include "dsp/PlateFDN.h"

#include <cmath>
#include <random>
#include <vector>

using dsp::PlateFDN;

namespace
{
struct Stereo
{
    std::vector<float> left, right;
};

Stereo silence (size_t length) { return { std::vector<float> (length), std::vector<float> (length) }; }

Stereo impulse (size_t length)
{
    auto x = silence (length);
    x.left[0] = x.right[0] = 1.0f;
    return x;
}

Stereo noiseThenSilence (size_t noiseLength, size_t length, unsigned seed)
{
    std::mt19937 rng (seed);
    std::uniform_real_distribution<float> dist (-0.5f, 0.5f);
    auto x = silence (length);
    for (size_t i = 0; i < noiseLength; ++i)
    {
        x.left[i] = dist (rng);
        x.right[i] = dist (rng);
    }
    return x;
}

// Drives the plate as the block driver does: per block the decay, then the targets, from
// "Space"; per sample the input section, then the network.
Stereo runPlate (PlateFDN& plate, const Stereo& in, float space, int numChannels, size_t blockSize = 256)
{
    Stereo out;
    for (size_t start = 0; start < in.left.size(); start += blockSize)
    {
        plate.updateDecay (space);
        plate.updateTargets (space);
        for (size_t i = start; i < std::min (start + blockSize, in.left.size()); ++i)
        {
            float signal[] { in.left[i], in.right[i] };
            plate.processInput (signal, numChannels);
            plate.processNetwork (signal, numChannels);
            out.left.push_back (signal[0]);
            out.right.push_back (signal[1]);
        }
    }
    return out;
}

PlateFDN preparedPlate (double sampleRate)
{
    PlateFDN plate;
    plate.prepare (sampleRate);
    return plate;
}

// Two one-pole lowpasses at cutoffHz, run forwards in double precision.
std::vector<double> lowpassed (const std::vector<float>& x, double cutoffHz, double sampleRate)
{
    const double c = 1.0 - std::exp (-2.0 * M_PI * cutoffHz / sampleRate);
    double s1 = 0.0, s2 = 0.0;
    std::vector<double> y (x.size());
    for (size_t i = 0; i < x.size(); ++i)
    {
        s1 += (x[i] - s1) * c;
        s2 += (s1 - s2) * c;
        y[i] = s2;
    }
    return y;
}

// Reverberation time below cutoffHz from the backward-integrated energy of an impulse response:
// the time the energy takes from -5 dB to -25 dB, tripled.
double measureT60 (const Stereo& response, double sampleRate, double cutoffHz)
{
    const auto left = lowpassed (response.left, cutoffHz, sampleRate);
    const auto right = lowpassed (response.right, cutoffHz, sampleRate);
    std::vector<double> energy (left.size() + 1, 0.0);
    for (size_t i = left.size(); i-- > 0;)
        energy[i] = energy[i + 1] + left[i] * left[i] + right[i] * right[i];

    const auto crossing = [&] (double db) {
        const double level = energy[0] * std::pow (10.0, db / 10.0);
        size_t i = 0;
        while (energy[i] > level)
            ++i;
        return (double) i;
    };
    return 3.0 * (crossing (-25.0) - crossing (-5.0)) / sampleRate;
}
} // namespace

TEST (PlateFDN, LengthsAndBuffersScaleWithTheSampleRate)
{
    struct Case
    {
        double sampleRate;
        int firstLine, lastLine, firstSize, lastSize, firstLoopAp, lastLoopAp, preDelaySize;
        int diffusers[2][4];
    };
    const Case cases[] = {
        { 44100.0, 881, 4759, 1024, 8192, 881, 2647, 4096, { { 210, 159, 561, 411 }, { 225, 174, 589, 384 } } },
        { 48000.0, 959, 5180, 1024, 8192, 959, 2881, 4096, { { 229, 173, 611, 447 }, { 245, 189, 641, 418 } } },
        { 96000.0, 1918, 10359, 2048, 16384, 1918, 5762, 8192, { { 458, 346, 1222, 894 }, { 491, 378, 1283, 836 } } },
        // Half the rate puts the odd loop allpass lengths on exact halves: they round up.
        { 22050.0, 441, 2379, 512, 4096, 441, 1324, 2048, { { 105, 79, 281, 205 }, { 113, 87, 295, 192 } } },
    };
    for (const auto& c : cases)
    {
        const auto plate = preparedPlate (c.sampleRate);
        EXPECT_EQ (plate.getLineLength (0), c.firstLine) << c.sampleRate;
        EXPECT_EQ (plate.getLineLength (31), c.lastLine) << c.sampleRate;
        EXPECT_EQ (plate.getLineBufferSize (0), c.firstSize) << c.sampleRate;
        EXPECT_EQ (plate.getLineBufferSize (31), c.lastSize) << c.sampleRate;
        EXPECT_EQ (plate.getLoopAllpassLength (0), c.firstLoopAp) << c.sampleRate;
        EXPECT_EQ (plate.getLoopAllpassLength (31), c.lastLoopAp) << c.sampleRate;
        EXPECT_EQ (plate.getPreDelayBufferLength(), c.preDelaySize) << c.sampleRate;
        for (int ch = 0; ch < 2; ++ch)
            for (int j = 0; j < 4; ++j)
                EXPECT_EQ (plate.getDiffuserLength (ch, j), c.diffusers[ch][j]) << c.sampleRate << " channel " << ch << " stage " << j;

        // Every line buffer is a power of two with room for the longest modulated read.
        const auto depth = (int) (c.sampleRate / 44100.0 * 45.0);
        for (int i = 0; i < PlateFDN::numLines; ++i)
        {
            const int size = plate.getLineBufferSize (i);
            EXPECT_EQ (size & (size - 1), 0) << i;
            EXPECT_GT (size, plate.getLineLength (i) + depth + 7) << i;
            EXPECT_LE (size / 2, plate.getLineLength (i) + depth + 7) << i;
        }
    }
}

TEST (PlateFDN, FirstBlockJumpsToTheTargetsThenTheyGlide)
{
    struct Case
    {
        double sampleRate;
        int preDelaySamples; // (8 + 47 * 0.65) ms
    };
    for (auto [fs, preDelaySamples] : { Case { 44100.0, 1700 }, Case { 48000.0, 1850 }, Case { 96000.0, 3700 } })
    {
        auto plate = preparedPlate (fs);
        plate.updateDecay (0.65f);
        const float firstBlockGain = plate.getLoopGain (0);
        plate.updateTargets (0.65f);
        EXPECT_EQ ((int) plate.getPreDelayTime(), preDelaySamples) << fs;
        EXPECT_FLOAT_EQ (plate.getSizeScale(), 0.783f) << fs;

        // The first block's loop gains saw a size of 0, i.e. shorter loops, so less loss each.
        plate.updateDecay (0.65f);
        EXPECT_GT (firstBlockGain, plate.getLoopGain (0));

        // "Space" to 0: 8 ms and size 0.38, approached with a 50 ms time constant.
        const float fromDelay = plate.getPreDelayTime(), fromSize = plate.getSizeScale();
        plate.updateTargets (0.0f);
        EXPECT_EQ (plate.getPreDelayTime(), fromDelay);
        float signal[] { 0.0f, 0.0f };
        plate.processInput (signal, 2);
        EXPECT_LT (plate.getPreDelayTime(), fromDelay);
        for (int i = 1; i < (int) (0.05 * fs); ++i)
            plate.processInput (signal, 2);
        // Float steps over thousands of samples agree with the exponential to about 1e-3.
        const double toDelay = 0.008 * fs;
        EXPECT_NEAR ((plate.getPreDelayTime() - toDelay) / (fromDelay - toDelay), std::exp (-1.0), 1e-3) << fs;
        EXPECT_NEAR ((plate.getSizeScale() - 0.38) / (fromSize - 0.38), std::exp (-1.0), 1e-3) << fs;
    }
}

TEST (PlateFDN, DirectShareArrivesExactlyAfterThePreDelay)
{
    auto plate = preparedPlate (44100.0);
    const auto out = runPlate (plate, impulse (2000), 0.65f, 2);
    for (size_t i = 0; i < 1700; ++i)
    {
        ASSERT_EQ (out.left[i], 0.0f) << i;
        ASSERT_EQ (out.right[i], 0.0f) << i;
    }
    // Each empty diffuser passes its gain at once; the lines have not been read back yet.
    const float diffused = 0.625f * (0.625f * (0.75f * (0.75f * 1.0f)));
    EXPECT_EQ (out.left[1700], 0.7f * diffused);
    EXPECT_EQ (out.right[1700], 0.7f * diffused);
}

TEST (PlateFDN, TailDecaysInTheT60ThatSpaceSets)
{
    constexpr double fs = 44100.0;
    for (float space : { 0.0f, 0.3f, 0.65f, 1.0f })
    {
        const double t60 = 0.4 + 3.2 * std::pow ((double) space, 1.4);
        auto plate = preparedPlate (fs);
        const auto response = runPlate (plate, impulse ((size_t) ((2.0 * t60 + 0.3) * fs)), space, 2);
        // Measured below 1 kHz, where the damping takes almost nothing. The loop gains count
        // each loop's nominal delay, but the loop allpass spreads the modes' delays around it,
        // so modes decay at somewhat different rates: up to about 8 % off at the smallest size,
        // where the allpass is the larger part of the loop.
        EXPECT_NEAR (measureT60 (response, fs, 1000.0), t60, 0.12 * t60) << "space " << space;
    }
}

TEST (PlateFDN, MonoFeedsBothLineSetsFromTheLeft)
{
    auto mono = preparedPlate (48000.0);
    auto in = noiseThenSilence (4800, 24000, 5);
    std::fill (in.right.begin(), in.right.end(), 99.0f); // must never be read
    const auto out = runPlate (mono, in, 0.5f, 1);
    EXPECT_EQ (out.left, out.right);

    // The same left input in stereo, with the right side silent, sounds different: in mono the
    // odd lines hear the left input too.
    auto stereo = preparedPlate (48000.0);
    std::fill (in.right.begin(), in.right.end(), 0.0f);
    const auto stereoOut = runPlate (stereo, in, 0.5f, 2);
    EXPECT_NE (out.left, stereoOut.left);
}

TEST (PlateFDN, SilenceAfterSoundDecaysToExactZeros)
{
    juce::ScopedNoDenormals noDenormals;
    constexpr double fs = 44100.0;
    auto plate = preparedPlate (fs);
    // T60 of 0.4 s: about 150 dB per second down to the smallest normal float.
    const auto length = (size_t) (14 * fs);
    const auto out = runPlate (plate, noiseThenSilence ((size_t) (0.2 * fs), length, 6), 0.0f, 2);
    for (size_t i = length - (size_t) fs; i < length; ++i)
    {
        ASSERT_EQ (out.left[i], 0.0f) << i;
        ASSERT_EQ (out.right[i], 0.0f) << i;
    }
}

TEST (PlateFDN, OutputCarriesNoDc)
{
    constexpr double fs = 44100.0;
    auto plate = preparedPlate (fs);
    auto in = silence ((size_t) (6 * fs));
    std::fill (in.left.begin(), in.left.end(), 0.1f);
    std::fill (in.right.begin(), in.right.end(), 0.1f);
    const auto out = runPlate (plate, in, 0.65f, 2);

    double meanL = 0.0, meanR = 0.0;
    for (size_t i = out.left.size() - (size_t) fs; i < out.left.size(); ++i)
    {
        meanL += out.left[i];
        meanR += out.right[i];
    }
    // The blockers' 12 Hz pole leaves the settled mean below 0.1 % of the 0.1 input.
    EXPECT_LT (std::abs (meanL / fs), 1e-4);
    EXPECT_LT (std::abs (meanR / fs), 1e-4);
}

TEST (PlateFDN, PrepareClearsEverySignalMemoryAndRestartsTheModulation)
{
    constexpr double fs = 44100.0;
    auto used = preparedPlate (fs);
    runPlate (used, noiseThenSilence ((size_t) (10 * fs), (size_t) (10 * fs), 7), 1.0f, 2);
    for (int i = 0; i < PlateFDN::numLines; ++i)
    {
        EXPECT_GE (used.getLfoPhase (i), 0.0f) << i;
        EXPECT_LE (used.getLfoPhase (i), 6.2831855f) << i;
    }

    used.prepare (fs);
    auto fresh = preparedPlate (fs);
    const auto in = noiseThenSilence (4410, 3 * 44100, 8);
    const auto a = runPlate (used, in, 0.4f, 2), b = runPlate (fresh, in, 0.4f, 2);
    EXPECT_EQ (a.left, b.left);
    EXPECT_EQ (a.right, b.right);
}
