#pragma once

// Small per-sample building blocks shared by the stages. Everything here is single precision and
// written out in the exact order of operations the sound depends on: the build never contracts
// multiply-adds, so these expressions round the same way on every machine.

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace dsp
{
inline constexpr float twoPi = 6.2831855f;
inline constexpr float pi = 3.1415927f;

// Nearest integer, halves away from zero (table lengths, grain lengths).
inline int roundHalfAway (double v) noexcept { return (int) std::lround (v); }
inline int roundHalfAway (float v) noexcept { return (int) std::lround (v); }

// Smallest power of two strictly greater than v (v >= 0), by smearing the bits of v.
inline int powerOfTwoAbove (int v) noexcept
{
    auto x = (std::uint32_t) v;
    x |= x >> 1; x |= x >> 2; x |= x >> 4; x |= x >> 8; x |= x >> 16;
    return (int) (x + 1);
}

// Smallest power of two not below v (v >= 1).
inline int powerOfTwoAtLeast (int v) noexcept { return powerOfTwoAbove (v - 1); }

// One-pole lowpass coefficient for cutoff fc, the cutoff held below 0.45 * fs.
inline float onePoleLowpassCoefficient (double sampleRate, float cutoffHz) noexcept
{
    const auto fs = (float) sampleRate;
    return 1.0f - std::exp (-twoPi * std::min (0.45f * fs, cutoffHz) / fs);
}

// One-pole glide coefficient for a time constant of tau seconds.
inline float glideCoefficient (double sampleRate, float tauSeconds) noexcept
{
    return 1.0f - std::exp (-1.0f / (tauSeconds * (float) sampleRate));
}

// Per-sample decay factor of an envelope with a time constant of tau seconds.
inline float decayFactor (double sampleRate, float tauSeconds) noexcept
{
    return std::exp (-1.0f / (tauSeconds * (float) sampleRate));
}

// s += (x - s) * c: a lowpass or a glide, depending on how the coefficient was made.
struct OnePole
{
    float coef = 0.5f;
    float state = 0.0f;

    float process (float x) noexcept
    {
        state = state + (x - state) * coef;
        return state;
    }
};

// Removes DC below about 12 Hz.
struct DcBlocker
{
    float R = 0.999f;
    float x1 = 0.0f;
    float y1 = 0.0f;

    static float coefficientFor (double sampleRate) noexcept { return 1.0f - 75.398224f / (float) sampleRate; }

    void prepare (double sampleRate) noexcept
    {
        R = coefficientFor (sampleRate);
        x1 = y1 = 0.0f;
    }

    float process (float x) noexcept
    {
        const float y = x - x1 + R * y1;
        x1 = x;
        y1 = y;
        return y;
    }
};

// Linear up to the knee, then a tanh curve that never exceeds knee + width in magnitude.
inline float softSaturate (float v, float knee, float width) noexcept
{
    const float a = std::abs (v);
    if (a <= knee)
        return v;
    const float shaped = knee + width * std::tanh ((a - knee) / width);
    return v < 0.0f ? -shaped : shaped;
}

// Four-point cubic interpolation between y0 and y1 at fraction f.
inline float cubicInterpolate (float ym1, float y0, float y1, float y2, float f) noexcept
{
    const float c1 = 0.5f * (y1 - ym1);
    const float c2 = ym1 - 2.5f * y0 + 2.0f * y1 - 0.5f * y2;
    const float c3 = 1.5f * (y0 - y1) + 0.5f * (y2 - ym1);
    return y0 + f * (c1 + f * (c2 + f * c3));
}

// Cubic read of a circular buffer whose length is a power of two.
inline float cubicReadMasked (const float* buffer, int mask, float position) noexcept
{
    const float floored = std::floor (position);
    const int i0 = (int) floored;
    const float f = position - floored;
    return cubicInterpolate (buffer[(i0 - 1) & mask], buffer[i0 & mask],
                             buffer[(i0 + 1) & mask], buffer[(i0 + 2) & mask], f);
}

// Index modulo a length that is not a power of two, always in 0 .. length-1.
inline int wrapIndex (int index, int length) noexcept
{
    const int r = index % length;
    return r < 0 ? r + length : r;
}

// Cubic read of a circular buffer of any length.
inline float cubicReadWrapped (const float* buffer, int length, float position) noexcept
{
    const float floored = std::floor (position);
    const int i0 = (int) floored;
    const float f = position - floored;
    return cubicInterpolate (buffer[wrapIndex (i0 - 1, length)], buffer[wrapIndex (i0, length)],
                             buffer[wrapIndex (i0 + 1, length)], buffer[wrapIndex (i0 + 2, length)], f);
}
} // namespace dsp
