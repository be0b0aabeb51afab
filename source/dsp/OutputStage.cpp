#include "OutputStage.h"

namespace dsp
{
void WetHighpass::prepare (double sampleRate) noexcept
{
    const float coef = onePoleLowpassCoefficient (sampleRate, 120.0f);
    for (auto& lane : lanes)
        lane = { coef, 0.0f };
}

void OutputCompressor::prepare (double sampleRate) noexcept
{
    attack = decayFactor (sampleRate, 0.02f);
    release = decayFactor (sampleRate, 0.22f);
    envelope = 0.0f;
}

float OutputCompressor::gainFor (float level) noexcept
{
    const float q = level > envelope ? attack : release;
    envelope = q * envelope + (1.0f - q) * level;

    constexpr float makeup = 1.45f;
    float gain = makeup;
    if (envelope > 0.0f)
    {
        const float overThreshold = std::max (20.0f * std::log10 (envelope), -160.0f) + 20.0f;
        if (overThreshold > 0.0f)
        {
            const float reductionDb = overThreshold * -0.54545456f; // -(1 - 1 / 2.2) dB per dB
            gain = reductionDb > -100.0f ? ::exp10f (reductionDb * 0.05f) * makeup : 0.0f;
        }
    }
    return gain;
}

OutputStage::MixGains OutputStage::mixGains (float space, float wash) noexcept
{
    const float wet = (wash * 1.25f + 0.45f) * (std::pow (space, 0.5f) * 0.95f);
    const float t = std::clamp ((wash - 0.65f) / (1.0f - 0.65f), 0.0f, 1.0f);
    const float dry = 1.0f + t * -0.82f * t * std::sqrt (std::max (space, 0.0f));
    return { wet, dry };
}

// Mid/side width from WASH, with the level pulled back as the side grows.
void OutputStage::widen (float* v, float wash) noexcept
{
    const float width = 1.0f + (1.55f - 1.0f) * wash;
    const float compensation = std::pow (2.0f / (1.0f + width * width), 0.35f);
    const float mid = (v[0] + v[1]) * 0.5f;
    const float side = (v[0] - v[1]) * 0.5f * width;
    v[0] = (mid + side) * compensation;
    v[1] = (mid - side) * compensation;
}

void OutputStage::process (WetHighpass& highpass, OutputCompressor& compressor, const Inputs& in,
                           int numChannels, float* v, float* out) noexcept
{
    const bool stereo = numChannels >= 2;
    for (int c = 0; c < numChannels; ++c)
    {
        const float low = highpass.lanes[c].process (in.tapeOut[c]);
        v[c] = softSaturate ((in.tapeOut[c] - low) * in.duckingGain * 2.8f, 0.55f, 0.28f);
    }

    // The mid signal drives the compressor: a side-only wet signal does not.
    const float level = stereo ? std::abs ((v[0] + v[1]) * 0.5f) : std::abs (v[0]);
    const float gain = compressor.gainFor (level);
    for (int c = 0; c < numChannels; ++c)
        v[c] = v[c] * gain;

    if (stereo)
        widen (v, in.wash);

    const auto gains = mixGains (in.space, in.wash);
    for (int c = 0; c < numChannels; ++c)
        out[c] = in.dry[c] * gains.dry + v[c] * gains.wet;
}
} // namespace dsp
