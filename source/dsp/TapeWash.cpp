#include "TapeWash.h"

namespace dsp
{
namespace
{
constexpr float startPhase[2][4] { { 0.21f, 0.42f, 0.63f, 0.84f }, { 0.42f, 0.84f, 1.26f, 1.68f } };
constexpr float bumpK = 1.1111112f; // Q 0.9
} // namespace

void TapeWash::prepare (double newSampleRate)
{
    sampleRate = newSampleRate;
    bufferSize = powerOfTwoAtLeast ((int) (0.06 * sampleRate));
    bufferMask = bufferSize - 1;
    const float crossoverCoef = onePoleLowpassCoefficient (sampleRate, 2500.0f);
    for (int c = 0; c < 2; ++c)
    {
        delayBuffer[(size_t) c].assign ((size_t) bufferSize, 0.0f);
        outputLowpass[c].state = 0.0f;
        crossover[c] = { crossoverCoef, 0.0f };
        bump[c].prepare (sampleRate);
        bump[c].setCutoff (150.0f, bumpK);
        dc[c].prepare (sampleRate);
        writeIndex[c] = 0;
        for (int k = 0; k < 4; ++k)
            lfoPhase[c][k] = startPhase[c][k];
        drift[c] = driftTarget[c] = 0.0f;
        driftCountdown[c] = 0;
        stageOutput[c] = 0.0f;
    }
    driftHold = std::max (1, (int) (0.045 * sampleRate));
    driftSmoothing = glideCoefficient (sampleRate, 0.09f);
    levellerEnvelope = 0.0f;
    levellerAttack = decayFactor (sampleRate, 0.006f);
    setForBlock (0.0f);
    // The same drift sequence after every prepare, so a render repeats exactly.
    random.setSeed (20260901);
}

void TapeWash::setForBlock (float newWash) noexcept
{
    const float w = std::clamp (newWash, 0.0f, 1.0f);
    wash = w;
    const float cutoff = std::max (19000.0f - 12500.0f * w, 10.0f);
    const float lowpassCoef = onePoleLowpassCoefficient (sampleRate, cutoff);
    outputLowpass[0].coef = lowpassCoef;
    outputLowpass[1].coef = lowpassCoef;
    lowDrive = 2.2f * w + 1.0f;
    highDrive = lowDrive * (2.6f * w + 1.0f);
    bumpGain = 0.5f * w;
    rateScale = 1.0f - 0.45f * w;
    levellerDepth = 3.3f * w;
    levellerRelease = std::exp (-1.0f / ((0.2f * w + 0.16f) * (float) sampleRate));
    levellerMakeup = levellerDepth * 0.1f + 1.0f;
}

// Wow, flutter and drift as a delay offset in seconds per unit of WASH.
float TapeWash::modulation (int channel) noexcept
{
    const float phaseStep = twoPi / (float) sampleRate;
    auto* phase = lfoPhase[channel];
    for (int k = 0; k < 4; ++k)
    {
        phase[k] = phase[k] + rate[channel][k] * phaseStep * rateScale;
        if (phase[k] > twoPi)
            phase[k] = phase[k] - twoPi;
    }
    const float lfo = depth[0] * std::sin (phase[0]) + depth[1] * std::sin (phase[1])
                      + depth[2] * std::sin (phase[2]) + depth[3] * std::sin (phase[3]);

    const int countdown = driftCountdown[channel];
    driftCountdown[channel] = countdown - 1;
    if (countdown < 2)
    {
        driftTarget[channel] = 2.0f * random.nextFloat() - 1.0f;
        driftCountdown[channel] = driftHold;
    }
    drift[channel] = drift[channel] + (driftTarget[channel] - drift[channel]) * driftSmoothing;
    return drift[channel] * 0.0026f + lfo;
}

// Writes before reading, so the delay counts from this very sample.
float TapeWash::delayed (int channel, float input, float mod) noexcept
{
    const auto fs = (float) sampleRate;
    auto& buffer = delayBuffer[(size_t) channel];
    auto& index = writeIndex[channel];
    buffer[(size_t) index] = input;
    float delay = fs * 0.008f + mod * wash * fs;
    delay = delay < 4.0f ? 4.0f : std::min (delay, (float) (bufferSize - 4));
    const float out = cubicReadMasked (buffer.data(), bufferMask, (float) index - delay);
    index = (index + 1) & bufferMask;
    return out;
}

// Head bump, then the two bands saturated apart; dividing by the drive keeps small signals at unity.
float TapeWash::saturateBands (int channel, float input) noexcept
{
    const float bumped = input + bump[channel].process (input).bp * bumpK * bumpGain;
    const float lo = crossover[channel].process (bumped);
    const float hi = bumped - lo;
    const float u = lo * lowDrive;
    const float low = std::tanh (u + 0.18f * wash * u * u) / lowDrive;
    const float high = std::tanh (hi * highDrive) / highDrive;
    return high + low;
}

float TapeWash::levellerGain() const noexcept
{
    return levellerMakeup / (levellerEnvelope * levellerDepth + 1.0f);
}

void TapeWash::process (const float* wetIn, float* out, int numChannels) noexcept
{
    for (int c = 0; c < numChannels; ++c)
    {
        const float mod = modulation (c);
        stageOutput[c] = saturateBands (c, delayed (c, wetIn[c], mod));
    }

    // Linked: both sides ride on the mean of their magnitudes.
    const float level = numChannels >= 2 ? (std::abs (stageOutput[0]) + std::abs (stageOutput[1])) * 0.5f
                                         : std::abs (stageOutput[0]);
    const float q = level > levellerEnvelope ? levellerAttack : levellerRelease;
    levellerEnvelope = q * levellerEnvelope + (1.0f - q) * level;
    const float gain = levellerGain();

    for (int c = 0; c < numChannels; ++c)
        out[c] = outputLowpass[c].process (dc[c].process (stageOutput[c] * gain));
}
} // namespace dsp
