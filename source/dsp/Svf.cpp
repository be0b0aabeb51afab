#include "Svf.h"

#include "DspHelpers.h"

namespace dsp
{
void Svf::prepare (double newSampleRate) noexcept
{
    sampleRate = newSampleRate;
    reset();
}

void Svf::setCutoff (float cutoffHz, float newK) noexcept
{
    const auto fs = (float) sampleRate;
    setCoefficients (std::tan (pi * std::min (cutoffHz, 0.475f * fs) / fs), newK);
}

void Svf::setCoefficients (float newG, float newK) noexcept
{
    g = newG;
    k = newK;
    h = 1.0f / (g * g + (k * g + 1.0f));
}
} // namespace dsp
