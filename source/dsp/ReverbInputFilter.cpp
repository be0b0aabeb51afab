#include "ReverbInputFilter.h"

namespace dsp
{
void ReverbInputFilter::prepare (double sampleRate) noexcept
{
    for (auto& filter : highpass)
    {
        filter.prepare (sampleRate);
        filter.setCutoff (cutoffHz, damping);
    }
}

void ReverbInputFilter::process (const float* dry, const float* multiTap, const float* shimmerFeedback,
                                 float* out, int numChannels) noexcept
{
    for (int c = 0; c < numChannels; ++c)
    {
        const float mix = 0.55f * dry[c] + 0.85f * multiTap[c];
        out[c] = highpass[(std::size_t) c].process (mix).hp + shimmerFeedback[c];
    }
}
} // namespace dsp
