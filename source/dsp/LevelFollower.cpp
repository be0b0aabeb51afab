#include "LevelFollower.h"

#include "DspHelpers.h"

namespace dsp
{
void LevelFollower::prepare (double sampleRate) noexcept
{
    attack = decayFactor (sampleRate, 0.001f);
    release = decayFactor (sampleRate, 0.12f);
    envelope = 0.0f;
    holdLength = (int) (0.02 * sampleRate);
    holdCounter = 0;
}

float LevelFollower::capture (float hostSample) noexcept
{
    return std::isfinite (hostSample) ? std::clamp (hostSample, -inputLimit, inputLimit) : 0.0f;
}

float LevelFollower::inputLevel (const float* samples, int numChannels) noexcept
{
    float sum = samples[0];
    for (int c = 1; c < numChannels; ++c)
        sum += samples[c];
    return std::abs (sum / (float) numChannels);
}

float LevelFollower::process (float level) noexcept
{
    // A level equal to the envelope counts as falling.
    if (level > envelope)
    {
        envelope = envelope * attack + (1.0f - attack) * level;
        holdCounter = holdLength;
    }
    else if (holdCounter > 0)
    {
        --holdCounter;
    }
    else
    {
        envelope = envelope * release + (1.0f - release) * level;
    }
    return duckingGainFor (envelope);
}

float LevelFollower::duckingGainFor (float envelopeLevel) noexcept
{
    // Skipping the logarithm for a silent input keeps quiet passages cheap.
    if (envelopeLevel <= 0.0f)
        return 1.0f;

    const float levelDb = std::max (20.0f * std::log10 (envelopeLevel), -160.0f);
    const float overThreshold = levelDb + 36.0f;
    if (overThreshold <= 0.0f)
        return 1.0f;

    const float reductionDb = std::min (0.9f * overThreshold, 10.0f);
    return ::exp10f (-reductionDb * 0.05f);
}
} // namespace dsp
