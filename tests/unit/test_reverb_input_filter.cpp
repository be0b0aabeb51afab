#include <gtest/gtest.h>

#include "dsp/ReverbInputFilter.h"

#include <cmath>

using dsp::ReverbInputFilter;

namespace
{
// Steady-state gain of the highpass for a sine fed in as dry input (weight 0.55).
double sineGain (double sampleRate, double frequency)
{
    ReverbInputFilter filter;
    filter.prepare (sampleRate);
    const float none[] { 0.0f, 0.0f };
    const auto settle = (int) sampleRate; // one second: far beyond the filter's memory
    const auto measure = (int) (sampleRate / frequency) * 20;
    double peak = 0.0;
    for (int i = 0; i < settle + measure; ++i)
    {
        const auto x = (float) std::sin (2.0 * M_PI * frequency * i / sampleRate);
        const float dry[] { x, x };
        float out[2];
        filter.process (dry, none, none, out, 2);
        if (i >= settle)
            peak = std::max (peak, (double) std::abs (out[0]));
    }
    return peak / 0.55;
}
} // namespace

TEST (ReverbInputFilter, SecondOrderButterworthHighpassAt120Hz)
{
    struct Case
    {
        double frequency;
        double gain; // |H| = (f/fc)^2 / sqrt(1 + (f/fc)^4)
    };
    const Case cases[] = { { 30.0, 0.06238 }, { 60.0, 0.24254 }, { 120.0, 0.70711 }, { 1000.0, 0.99990 }, { 8000.0, 1.0 } };
    for (double fs : { 44100.0, 96000.0 })
        for (auto [frequency, gain] : cases)
            // The bilinear transform is exact at the cutoff and squeezes little below 8 kHz;
            // the peak of a sampled sine is itself within 0.5 % of its amplitude at these rates.
            EXPECT_NEAR (sineGain (fs, frequency), gain, 0.01 * gain + 1e-3) << fs << " Hz rate, " << frequency << " Hz";
}

TEST (ReverbInputFilter, RemovesDcButPassesShimmerFeedbackUntouched)
{
    ReverbInputFilter filter;
    filter.prepare (48000.0);
    const float dry[] { 1.0f, -0.5f }, multiTap[] { 0.5f, 0.25f }, feedback[] { 0.3f, -0.2f };
    float out[2] {};
    for (int i = 0; i < 48000; ++i)
        filter.process (dry, multiTap, feedback, out, 2);
    // After a second of DC only the feedback, added behind the filter, is left.
    EXPECT_NEAR (out[0], 0.3f, 1e-6f);
    EXPECT_NEAR (out[1], -0.2f, 1e-6f);
}

TEST (ReverbInputFilter, WeighsDryAndMultiTapAndRunsMonoOnTheLeftAlone)
{
    const float zero[] { 0.0f, 0.0f }, one[] { 1.0f, 1.0f };
    ReverbInputFilter a, b;
    a.prepare (44100.0);
    b.prepare (44100.0);
    float fromDry[] { 0.0f, 77.0f }, fromMultiTap[] { 0.0f, 77.0f };
    a.process (one, zero, zero, fromDry, 1);
    b.process (zero, one, zero, fromMultiTap, 1);
    // The first output of the highpass is its input times h, so the weights show directly.
    EXPECT_FLOAT_EQ (fromDry[0] / fromMultiTap[0], 0.55f / 0.85f);
    EXPECT_EQ (fromDry[1], 77.0f);
    EXPECT_EQ (fromMultiTap[1], 77.0f);
}
