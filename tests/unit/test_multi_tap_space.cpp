#include <gtest/gtest.h>

#include <juce_audio_basics/juce_audio_basics.h>

#include "dsp/MultiTapSpace.h"

#include <cmath>
#include <random>
#include <vector>

using dsp::MultiTapSpace;

namespace
{
constexpr float beatAt120Bpm = 22050.0f; // samples per beat at 44100 Hz

// The delay a tap aims for: its beat fraction stretched by "Space", held inside the buffer.
float tapTarget (const MultiTapSpace& stage, float beats, float space, float samplesPerBeat)
{
    const float target = beats * (0.35f + 0.75f * space) * samplesPerBeat;
    return target < 8.0f ? 8.0f : std::min (target, (float) (stage.getBufferLength() - 4));
}

// Runs the stage on a stereo (or mono) input and returns the left and right outputs.
struct Run
{
    std::vector<float> left, right;
};

Run run (MultiTapSpace& stage, const std::vector<float>& inL, const std::vector<float>& inR,
         float space, float samplesPerBeat, int numChannels)
{
    Run out;
    for (size_t i = 0; i < inL.size(); ++i)
    {
        float signal[] { inL[i], inR[i] };
        stage.process (signal, space, samplesPerBeat, numChannels);
        out.left.push_back (signal[0]);
        out.right.push_back (signal[1]);
    }
    return out;
}

std::vector<float> impulse (size_t length)
{
    std::vector<float> x (length, 0.0f);
    x[0] = 1.0f;
    return x;
}

std::vector<float> noise (size_t length, float amplitude, unsigned seed)
{
    std::mt19937 rng (seed);
    std::uniform_real_distribution<float> dist (-amplitude, amplitude);
    std::vector<float> x (length);
    for (auto& v : x)
        v = dist (rng);
    return x;
}
} // namespace

TEST (MultiTapSpace, BufferHoldsSixSecondsPlusEightSamples)
{
    struct Case
    {
        double sampleRate;
        int length;
    };
    for (auto [sampleRate, length] : { Case { 44100.0, 264608 }, Case { 48000.0, 288008 }, Case { 96000.0, 576008 }, Case { 22050.0, 132308 } })
    {
        MultiTapSpace stage;
        stage.prepare (sampleRate);
        EXPECT_EQ (stage.getBufferLength(), length);
        for (int c = 0; c < 2; ++c)
        {
            ASSERT_EQ (stage.getDelayLine (c).size(), (size_t) length);
            EXPECT_TRUE (std::all_of (stage.getDelayLine (c).begin(), stage.getDelayLine (c).end(), [] (float v) { return v == 0.0f; }));
        }
    }
}

TEST (MultiTapSpace, FirstSampleAfterPrepareStartsEveryTapAtItsTarget)
{
    struct Case
    {
        double sampleRate;
        float space, samplesPerBeat;
    };
    const Case cases[] = {
        { 44100.0, 0.65f, beatAt120Bpm },
        { 48000.0, 0.0f, 72000.0f },    // 40 BPM
        { 96000.0, 1.0f, 19200.0f },    // 300 BPM
        { 44100.0, 0.5f, 10.0f },       // every tap held at the 8-sample minimum
        { 44100.0, 1.0f, 1.0e7f },      // every tap held at the buffer's end
    };
    for (const auto& c : cases)
    {
        MultiTapSpace stage;
        // A previous life at another rate must not leak into the new start.
        stage.prepare (c.sampleRate * 2.0);
        run (stage, impulse (100), impulse (100), 0.3f, 5000.0f, 2);
        stage.prepare (c.sampleRate);
        EXPECT_EQ (stage.getTapTime (0, 0), -1.0f);

        float signal[] { 0.0f, 0.0f };
        stage.process (signal, c.space, c.samplesPerBeat, 2);
        for (int j = 0; j < MultiTapSpace::numTaps; ++j)
        {
            EXPECT_EQ (stage.getTapTime (0, j), tapTarget (stage, MultiTapSpace::tapBeatsL[j], c.space, c.samplesPerBeat)) << j;
            EXPECT_EQ (stage.getTapTime (1, j), tapTarget (stage, MultiTapSpace::tapBeatsR[j], c.space, c.samplesPerBeat)) << j;
        }
    }
}

TEST (MultiTapSpace, TempoChangesGlideWithA150msTimeConstant)
{
    for (double fs : { 44100.0, 96000.0 })
    {
        MultiTapSpace stage;
        stage.prepare (fs);
        const float fromBeat = (float) (0.5 * fs), toBeat = (float) (0.4 * fs); // 120 to 150 BPM
        float signal[] { 0.0f, 0.0f };
        stage.process (signal, 0.65f, fromBeat, 2);

        const float from = stage.getTapTime (0, 7);
        const float to = tapTarget (stage, MultiTapSpace::tapBeatsL[7], 0.65f, toBeat);
        stage.process (signal, 0.65f, toBeat, 2);
        EXPECT_LT (stage.getTapTime (0, 7), from);
        EXPECT_GT (stage.getTapTime (0, 7), to); // a glide, not a jump

        for (int i = 1; i < (int) (0.15 * fs); ++i)
            stage.process (signal, 0.65f, toBeat, 2);
        // One time constant leaves 1/e of the way; float steps over thousands of samples agree
        // with the exponential to about 1e-3.
        EXPECT_NEAR ((stage.getTapTime (0, 7) - to) / (from - to), std::exp (-1.0), 1e-3) << fs;
    }
}

TEST (MultiTapSpace, LaterTapsSwitchOnAsSpaceGrows)
{
    // Below space = 0.268 the feedback tap 5 is silent, so an impulse meets each audible tap
    // exactly once and a silent tap leaves its window exactly empty. Tap 5 itself is checked at
    // 0.3, where its first arrival still comes before any feedback.
    struct Case
    {
        float space;
        int audibleTaps;
    };
    juce::ScopedNoDenormals noDenormals;
    for (auto [space, audibleTaps] : { Case { 0.0f, 3 }, Case { 0.1f, 4 }, Case { 0.2f, 5 }, Case { 0.25f, 5 }, Case { 0.3f, 6 } })
    {
        MultiTapSpace stage;
        stage.prepare (44100.0);
        const auto in = impulse (20000);
        const auto out = run (stage, in, in, space, beatAt120Bpm, 1).left;

        for (int j = 0; j <= 5; ++j)
        {
            const auto arrival = (int) tapTarget (stage, MultiTapSpace::tapBeatsL[j], space, beatAt120Bpm);
            float peak = 0.0f;
            for (int i = arrival - 2; i <= arrival + 3; ++i)
                peak = std::max (peak, std::abs (out[(size_t) i]));
            if (j < audibleTaps)
                EXPECT_GT (peak, 1.0e-3f) << "space " << space << " tap " << j;
            else
                EXPECT_EQ (peak, 0.0f) << "space " << space << " tap " << j;
        }
    }
}

TEST (MultiTapSpace, FeedbackNeverExceedsGainTimesSaturatorCeiling)
{
    juce::ScopedNoDenormals noDenormals;
    MultiTapSpace stage;
    stage.prepare (44100.0);
    constexpr float space = 1.0f;
    constexpr float feedbackGain = 0.05f + 0.4f * space;
    const size_t loud = 44100, quiet = 22050;

    auto inL = noise (loud + quiet, 20.0f, 1), inR = noise (loud + quiet, 20.0f, 2);
    std::fill (inL.begin() + (long) loud, inL.end(), 0.0f);
    std::fill (inR.begin() + (long) loud, inR.end(), 0.0f);
    run (stage, inL, inR, space, beatAt120Bpm, 2);

    // With the input silent, every slot written since holds the feedback term alone.
    float largest = 0.0f;
    for (int c = 0; c < 2; ++c)
        for (size_t i = loud; i < loud + quiet; ++i)
            largest = std::max (largest, std::abs (stage.getDelayLine (c)[i]));
    // tanh rounds to 1 in float for a hard drive, so the ceiling itself is reached.
    EXPECT_LE (largest, feedbackGain * 1.15f);
    EXPECT_GT (largest, feedbackGain * 1.1f); // the saturator was driven hard, not idling
}

TEST (MultiTapSpace, MonoRunsTheLeftSideAlone)
{
    MultiTapSpace mono, stereo;
    mono.prepare (44100.0);
    stereo.prepare (44100.0);
    const auto in = noise (30000, 0.5f, 3);
    const std::vector<float> sentinel (in.size(), 123.0f), silent (in.size(), 0.0f);

    // Without feedback (space below 0.268) silent right taps add nothing to the left output.
    const auto monoOut = run (mono, in, sentinel, 0.2f, beatAt120Bpm, 1);
    const auto stereoOut = run (stereo, in, silent, 0.2f, beatAt120Bpm, 2);
    EXPECT_EQ (monoOut.left, stereoOut.left);
    EXPECT_EQ (monoOut.right, sentinel);
    EXPECT_EQ (mono.getTapTime (1, 0), -1.0f);
    const auto& right = mono.getDelayLine (1);
    EXPECT_TRUE (std::all_of (right.begin(), right.end(), [] (float v) { return v == 0.0f; }));
}

TEST (MultiTapSpace, SilenceAfterSoundDecaysToExactZeros)
{
    juce::ScopedNoDenormals noDenormals;
    MultiTapSpace stage;
    stage.prepare (44100.0);
    // Strongest feedback, shortest beat: 0.45 per trip of about 2400 samples.
    const size_t length = 44100 * 16;
    auto in = noise (length, 0.8f, 4);
    std::fill (in.begin() + 44100, in.end(), 0.0f);
    const auto out = run (stage, in, in, 1.0f, 0.2f * 44100.0f, 2);

    for (size_t i = length - 44100; i < length; ++i)
    {
        ASSERT_EQ (out.left[i], 0.0f) << i;
        ASSERT_EQ (out.right[i], 0.0f) << i;
    }
}
