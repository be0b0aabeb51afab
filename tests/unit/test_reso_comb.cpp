#include <gtest/gtest.h>

#include <juce_audio_basics/juce_audio_basics.h>

#include <cmath>
#include <set>

#include "dsp/ResoComb.h"

namespace
{
constexpr double rate = 44100.0;
using dsp::ResoComb;

// Centre frequency of an excitation band-pass, back from g = tan(pi * fc / fs).
double excitationCentre (const ResoComb& comb, int channel)
{
    return std::atan (comb.getExcitationFilter (channel).getG()) * rate / M_PI;
}

// Steady-state level of channel c at one frequency for a small sine at the comb input.
double responseAt (float filter, int channel, double frequency)
{
    ResoComb comb;
    comb.prepare (rate);
    comb.setForBlock (filter);
    double re = 0.0, im = 0.0;
    for (int t = 0; t < 12000; ++t)
    {
        const double angle = 2.0 * M_PI * frequency * t / rate;
        const float in[2] { 0.001f * (float) std::sin (angle), 0.001f * (float) std::sin (angle) };
        float out[2] {};
        comb.process (in, out, 2);
        if (t >= 8000) // settled: the ring's time constant is under 1000 samples
        {
            re += out[channel] * std::cos (angle);
            im += out[channel] * std::sin (angle);
        }
    }
    return std::hypot (re, im);
}

// Where the response peaks, in cents from a reference frequency, to a fraction of a cent.
double peakInCents (float filter, int channel, double reference)
{
    double level[81];
    int bestCents = -40;
    for (int cents = -40; cents <= 40; ++cents)
    {
        level[cents + 40] = std::log (responseAt (filter, channel, reference * std::exp2 (cents / 1200.0)));
        if (level[cents + 40] > level[bestCents + 40])
            bestCents = cents;
    }
    if (bestCents == -40 || bestCents == 40)
        return bestCents;
    const double a = level[bestCents + 39], b = level[bestCents + 40], c = level[bestCents + 41];
    return bestCents + 0.5 * (a - c) / (a - 2.0 * b + c);
}
} // namespace

TEST (ResoComb, TuningQFeedbackAndGainAtKeySettings)
{
    struct Case
    {
        float filter;
        float la, lb, ra, rb; // target lengths in samples at 44100 Hz
        float q, feedback, outputGain;
    };
    const Case cases[] {
        { 0.0f, 303.74f, 201.22f, 302.31f, 200.27f, 0.7f, 0.45f, 0.481f },
        { 0.35f, 150.28f, 99.57f, 149.58f, 99.10f, 6.755f, 0.625f, 0.348f },
        { 1.0f, 41.13f, 27.04f, 40.93f, 26.91f, 18.0f, 0.95f, 0.063f },
    };
    for (const auto& c : cases)
    {
        ResoComb comb;
        comb.prepare (rate);
        comb.setForBlock (c.filter);
        // The lengths are quoted to two decimals, the output gain to three.
        EXPECT_NEAR (comb.getTargetLength (ResoComb::LA), c.la, 0.006f) << c.filter;
        EXPECT_NEAR (comb.getTargetLength (ResoComb::LB), c.lb, 0.006f) << c.filter;
        EXPECT_NEAR (comb.getTargetLength (ResoComb::RA), c.ra, 0.006f) << c.filter;
        EXPECT_NEAR (comb.getTargetLength (ResoComb::RB), c.rb, 0.006f) << c.filter;
        EXPECT_NEAR (1.0f / comb.getExcitationFilter (0).getK(), c.q, 1e-4f);
        EXPECT_EQ (comb.getExcitationFilter (1).getK(), comb.getExcitationFilter (0).getK());
        EXPECT_NEAR (comb.getFeedback(), c.feedback, 1e-6f);
        EXPECT_NEAR (comb.getOutputGain(), c.outputGain, 6e-4f);
    }
}

TEST (ResoComb, PitchSnapsToThirtyFiveSemitonesFromD3ToC6)
{
    ResoComb comb;
    comb.prepare (rate);
    std::set<float> lengths;
    float previous = 1.0e9f;
    for (int step = 0; step <= 1000; ++step)
    {
        comb.setForBlock ((float) step / 1000.0f);
        const float length = comb.getTargetLength (ResoComb::LA);
        EXPECT_LE (length, previous); // rising pitch, never falling
        previous = length;
        lengths.insert (length);
    }
    EXPECT_EQ (lengths.size(), 35u); // semitones 29 (D3) to 63 (C6) above A0

    // The band-pass centres are the channel frequencies: 4 cents either side of the semitone.
    const double d3 = 27.5 * std::exp2 (29.0 / 12.0), c6 = 27.5 * std::exp2 (63.0 / 12.0);
    comb.setForBlock (0.0f);
    EXPECT_NEAR (excitationCentre (comb, 1) / d3, std::exp2 (4.0 / 1200.0), 1e-5);
    comb.setForBlock (1.0f);
    EXPECT_NEAR (excitationCentre (comb, 0) / c6, std::exp2 (-4.0 / 1200.0), 1e-5);
}

TEST (ResoComb, LeftAndRightAreEightCentsApart)
{
    ResoComb comb;
    comb.prepare (rate);
    for (const float filter : { 0.0f, 0.2f, 0.35f, 0.77f, 1.0f })
    {
        comb.setForBlock (filter);
        const double cents = 1200.0 * std::log2 (excitationCentre (comb, 1) / excitationCentre (comb, 0));
        EXPECT_NEAR (cents, 8.0, 0.01) << filter;
    }
}

TEST (ResoComb, LoopsResonateAtTheChosenPitch)
{
    // With the loop filters' phase corrected for, the whole loop rings at the channel frequency.
    // The fifth line's skirt pulls the measured peak by up to about a cent; without the
    // correction (1.1 samples of a 42-sample loop at C6) it would sit about 45 cents off.
    const double c6 = 27.5 * std::exp2 (63.0 / 12.0);
    EXPECT_NEAR (peakInCents (1.0f, 0, c6), -4.0, 2.0);
    EXPECT_NEAR (peakInCents (1.0f, 1, c6), 4.0, 2.0);
}

TEST (ResoComb, LengthsSnapOnTheFirstSampleThenGlideOverFiveMilliseconds)
{
    ResoComb comb;
    comb.prepare (rate);
    EXPECT_EQ (comb.getCurrentLength (ResoComb::LA), -1.0f);
    comb.setForBlock (0.35f);
    const float in[2] {}, start = comb.getTargetLength (ResoComb::LA);
    float out[2] {};
    comb.process (in, out, 2);
    EXPECT_EQ (comb.getCurrentLength (ResoComb::LA), start);

    comb.setForBlock (1.0f);
    const float goal = comb.getTargetLength (ResoComb::LA);
    for (int t = 0; t < 221; ++t) // 5 ms at 44100 Hz (220.5 samples)
        comb.process (in, out, 2);
    const float remaining = (comb.getCurrentLength (ResoComb::LA) - goal) / (start - goal);
    EXPECT_NEAR (remaining, std::exp (-221.0f / 220.5f), 0.002f);
    EXPECT_GT (comb.getCurrentLength (ResoComb::RB), comb.getTargetLength (ResoComb::RB)); // every line glides
}

TEST (ResoComb, LoudInputStaysBoundedAndSilenceEndsInExactZeros)
{
    juce::ScopedNoDenormals noDenormals;
    ResoComb comb;
    comb.prepare (rate);
    comb.setForBlock (1.0f); // the longest ring
    juce::Random noise (11);
    float out[2] {};
    float loudest = 0.0f;
    for (int t = 0; t < 44100; ++t)
    {
        const float in[2] { 2.0f * noise.nextFloat() - 1.0f, 2.0f * noise.nextFloat() - 1.0f };
        comb.process (in, out, 2);
        loudest = std::max ({ loudest, std::abs (out[0]), std::abs (out[1]) });
    }
    // A line value stays below 0.95 * 1.15 + |e|; the excitation of full-scale noise through a
    // unity-gain band-pass stays well below 2.
    EXPECT_LT (loudest, (0.95f * 1.15f + 2.0f) * 1.55f * comb.getOutputGain());

    int lastNonZero = -1;
    const float silence[2] {};
    for (int t = 0; t < 4 * 44100; ++t)
    {
        comb.process (silence, out, 2);
        if (out[0] != 0.0f || out[1] != 0.0f)
            lastNonZero = t;
    }
    EXPECT_GT (lastNonZero, 0);
    // The ring at FILTER 1 fades below the smallest normal float in under 2 s; after that the
    // flushed loops must hold exact zeros rather than circulate a residue.
    EXPECT_LT (lastNonZero, 3 * 44100);
}

TEST (ResoComb, LineSizeFitsTheLowestFundamental)
{
    struct Case
    {
        double sampleRate;
        int size;
    };
    for (const auto& c : { Case { 44100.0, 512 }, Case { 48000.0, 1024 }, Case { 96000.0, 2048 }, Case { 22050.0, 256 } })
    {
        ResoComb comb;
        comb.prepare (c.sampleRate);
        EXPECT_EQ (comb.getLineSize(), c.size);
        comb.setForBlock (0.0f);
        EXPECT_LT (comb.getTargetLength (ResoComb::LA), (float) (c.size - 4));
    }
}
