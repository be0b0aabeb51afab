#include "PlateFDN.h"

namespace dsp
{
namespace
{
constexpr float loopAllpassGain = 0.62f;
constexpr float injectGain = 0.4f;
constexpr float hadamardScale = 0.1767767f; // 1 / sqrt(32): keeps the mixing lossless
constexpr float outputTapGain = 0.177f;
constexpr float directGain = 0.7f;
constexpr float shortestLineDelay = 8.0f;
constexpr float modulationDepthAt44k = 45.0f;

// Signed sum of every other line from 'first' on: +, -, +, ... so that the lines' common
// component cancels and the stereo image stays wide.
float alternatingSum (const std::array<float, PlateFDN::numLines>& reads, int first) noexcept
{
    float sum = reads[(size_t) first];
    for (int k = first + 2; k < PlateFDN::numLines; k += 4)
    {
        sum -= reads[(size_t) k];
        if (k + 2 < PlateFDN::numLines)
            sum += reads[(size_t) k + 2];
    }
    return sum;
}

int atLeastFiveOrFour (int samples) noexcept { return samples < 5 ? 4 : samples; }
} // namespace

void PlateFDN::prepare (double newSampleRate)
{
    sampleRate = newSampleRate;
    const double ratio = sampleRate / 44100.0;
    const int depth0 = (int) ((float) ratio * modulationDepthAt44k);

    for (size_t i = 0; i < (size_t) numLines; ++i)
    {
        length[i] = roundHalfAway (baseLength[i] * ratio * (double) 0.4f);
        size[i] = powerOfTwoAbove (length[i] + depth0 + 7);
        mask[i] = size[i] - 1;
        lineBuffer[i].assign ((size_t) size[i], 0.0f);

        loopApLength[i] = atLeastFiveOrFour (roundHalfAway (loopApBase[i] * ratio));
        loopApBuffer[i].assign ((size_t) loopApLength[i], 0.0f);
    }

    for (size_t i = 0; i < (size_t) numLines; ++i)
    {
        writeIndex[i] = 0;
        damping[i].state = 0.0f;
        loopApIndex[i] = 0;
        lfoPhase[i] = 0.37f * (float) i;
    }

    for (auto& blocker : dcBlocker)
        blocker.prepare (sampleRate);

    prepareInputSection();
}

void PlateFDN::prepareInputSection()
{
    for (size_t c = 0; c < 2; ++c)
    {
        for (size_t j = 0; j < (size_t) numDiffusers; ++j)
        {
            auto& stageLength = diffuserLength[c][j];
            stageLength = atLeastFiveOrFour (roundHalfAway ((double) allpassMs[c * numDiffusers + j] * 0.001 * sampleRate));
            diffuserBuffer[c][j].assign ((size_t) stageLength, 0.0f);
            diffuserIndex[c][j] = 0;
        }
    }

    preDelaySize = powerOfTwoAbove (roundHalfAway (0.07 * sampleRate) + 7);
    preDelayMask = preDelaySize - 1;
    for (auto& buffer : preDelayBuffer)
        buffer.assign ((size_t) preDelaySize, 0.0f);
    preDelayIndex = 0;

    glideCoefficient = dsp::glideCoefficient (sampleRate, 0.05f);
    // Zero marks both glides as unset: the first block's targets are taken at once.
    preDelayTime = 0.0f;
    sizeScale = 0.0f;
}

void PlateFDN::updateDecay (float space) noexcept
{
    const auto fs = (float) sampleRate;
    const float t60Seconds = std::clamp (0.4f + 3.2f * ::powf (space, 1.4f), 0.1f, 30.0f);
    const float t60Samples = t60Seconds * fs;

    float cutoffHz = std::min (18000.0f - 4000.0f * space, 0.45f * fs);
    if (cutoffHz < 10.0f)
        cutoffHz = 10.0f;
    const float dampingCoefficient = 1.0f - std::exp (-twoPi * cutoffHz / fs);

    // 60 dB of loss per T60 for one trip round each line's nominal loop.
    for (size_t i = 0; i < (size_t) numLines; ++i)
    {
        damping[i].coef = dampingCoefficient;
        const float loopSamples = (float) length[i] * sizeScale + (float) loopApLength[i];
        gain[i] = ::exp10f (-3.0f * loopSamples / t60Samples);
    }
}

void PlateFDN::updateTargets (float space) noexcept
{
    const auto fs = (float) sampleRate;

    preDelayTarget = std::clamp (8.0f + 47.0f * space, 1.0f, 69.0f) * 0.001f * fs;
    if (preDelayTime <= 0.0f)
        preDelayTime = preDelayTarget;

    sizeScaleTarget = space < 0.0f ? 0.38f : 0.38f + 0.62f * std::min (space, 1.0f);
    if (sizeScale <= 0.0f)
        sizeScale = sizeScaleTarget;
}

void PlateFDN::processInput (float* signal, int numChannels) noexcept
{
    const bool stereo = numChannels == 2;
    const int i = preDelayIndex;
    const int delaySamples = (int) preDelayTime;

    preDelayBuffer[0][(size_t) i] = signal[0];
    preDelayBuffer[1][(size_t) i] = stereo ? signal[1] : signal[0];
    const int readIndex = (i - delaySamples) & preDelayMask;
    const float delayedL = preDelayBuffer[0][(size_t) readIndex];
    const float delayedR = preDelayBuffer[1][(size_t) readIndex];
    preDelayIndex = (i + 1) & preDelayMask;

    // The read above used the pre-delay from before this step; the network reads the new size.
    preDelayTime += (preDelayTarget - preDelayTime) * glideCoefficient;
    sizeScale += (sizeScaleTarget - sizeScale) * glideCoefficient;

    signal[0] = diffuse (0, delayedL);
    signal[1] = stereo ? diffuse (1, delayedR) : signal[0];
}

float PlateFDN::diffuse (int channel, float x) noexcept
{
    auto& buffers = diffuserBuffer[(size_t) channel];
    auto& indices = diffuserIndex[(size_t) channel];
    const auto& lengths = diffuserLength[(size_t) channel];

    for (size_t j = 0; j < (size_t) numDiffusers; ++j)
    {
        float& slot = buffers[j][(size_t) indices[j]];
        const float b = slot;
        const float v = x - diffuserGain[j] * b;
        slot = v;
        x = b + diffuserGain[j] * v;
        indices[j] = indices[j] + 1 == lengths[j] ? 0 : indices[j] + 1;
    }
    return x;
}

void PlateFDN::processNetwork (float* signal, int numChannels) noexcept
{
    const float inL = signal[0];
    const float inR = signal[1];
    const float w = twoPi / (float) sampleRate;
    const float depth = (float) (sampleRate / 44100.0) * modulationDepthAt44k;

    std::array<float, numLines> reads;
    for (size_t i = 0; i < (size_t) numLines; ++i)
    {
        float& phase = lfoPhase[i];
        phase += lfoRate[i] * w;
        if (phase > twoPi)
            phase -= twoPi;

        const float delaySamples = std::max ((float) length[i] * sizeScale + std::sin (phase) * depth, shortestLineDelay);
        reads[i] = cubicReadMasked (lineBuffer[i].data(), mask[i], (float) writeIndex[i] - delaySamples);
    }

    std::array<float, numLines> loop;
    for (size_t i = 0; i < (size_t) numLines; ++i)
    {
        const float damped = damping[i].process (reads[i]);

        float& slot = loopApBuffer[i][(size_t) loopApIndex[i]];
        const float b = slot;
        const float v = damped - loopAllpassGain * b;
        slot = v;
        loopApIndex[i] = loopApIndex[i] + 1 == loopApLength[i] ? 0 : loopApIndex[i] + 1;

        loop[i] = (b + loopAllpassGain * v) * gain[i];
    }

    hadamard (loop);

    // Left input into the even lines, right into the odd ones.
    for (size_t i = 0; i < (size_t) numLines; ++i)
    {
        const float input = (i % 2 == 0) ? inL : inR;
        lineBuffer[i][(size_t) writeIndex[i]] = loop[i] + injectGain * injectSign[i] * input;
        writeIndex[i] = (writeIndex[i] + 1) & mask[i];
    }

    const float outL = dcBlocker[0].process (outputTapGain * alternatingSum (reads, 0) + directGain * inL);
    const float outR = numChannels == 2
                           ? dcBlocker[1].process (outputTapGain * alternatingSum (reads, 1) + directGain * inR)
                           : outL;
    signal[0] = outL;
    signal[1] = outR;
}

void PlateFDN::hadamard (std::array<float, numLines>& v) noexcept
{
    for (size_t stride = 1; stride < (size_t) numLines; stride *= 2)
    {
        for (size_t start = 0; start < (size_t) numLines; start += 2 * stride)
        {
            for (size_t k = start; k < start + stride; ++k)
            {
                const float p = v[k];
                const float q = v[k + stride];
                v[k] = p + q;
                v[k + stride] = p - q;
            }
        }
    }

    for (auto& x : v)
        x = hadamardScale * x;
}
} // namespace dsp
