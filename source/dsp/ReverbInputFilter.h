#pragma once

// The signal that enters the reverb: dry input and multi-tap output mixed, cleared of rumble and DC
// by a 120 Hz Butterworth highpass, plus the shimmer returning from the pitch shifter. The shimmer
// is added after the filter so its low octaves are not thinned a second time.

#include "Svf.h"

#include <array>
#include <cstddef>

namespace dsp
{
class ReverbInputFilter
{
public:
    static constexpr float cutoffHz = 120.0f;
    static constexpr float damping = 1.4144272f; // 1 / Q, a Q of about 0.707: no resonant bump

    void prepare (double sampleRate) noexcept;

    // out[c] = highpass(0.55 * dry[c] + 0.85 * multiTap[c]) + shimmerFeedback[c], c < numChannels.
    void process (const float* dry, const float* multiTap, const float* shimmerFeedback,
                  float* out, int numChannels) noexcept;

    const Svf& getHighpass (int channel) const noexcept { return highpass[(std::size_t) channel]; }

private:
    std::array<Svf, 2> highpass;
};
} // namespace dsp
