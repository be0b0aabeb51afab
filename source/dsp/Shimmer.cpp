#include "Shimmer.h"

namespace dsp
{
namespace
{
constexpr float startPhase[4] { 1.0f, 0.75f, 0.5f, 0.25f };

struct GrainLimits
{
    int minimum, maximum;
};

// Grains shorter than 7 ms buzz; longer than 0.32 s they no longer fit three times in the buffer.
GrainLimits grainLimits (double sampleRate) noexcept
{
    const int minimum = std::max (64, (int) (0.007 * sampleRate));
    return { minimum, std::max (minimum + 1, (int) (0.32 * sampleRate)) };
}

int limitedGrainLength (float lengthInSamples, double sampleRate) noexcept
{
    const auto limits = grainLimits (sampleRate);
    const int length = roundHalfAway (lengthInSamples);
    return length < limits.minimum ? limits.minimum : std::min (limits.maximum, length);
}
} // namespace

void Shimmer::prepare (double newSampleRate)
{
    sampleRate = newSampleRate;
    maximumGrain = std::max (256, roundHalfAway (0.32 * sampleRate));
    bufferSize = powerOfTwoAtLeast (3 * maximumGrain);
    bufferMask = bufferSize - 1;
    const float lowpassCoef = onePoleLowpassCoefficient (sampleRate, 7000.0f);
    inputL.assign ((size_t) bufferSize, 0.0f);
    inputR.assign ((size_t) bufferSize, 0.0f);
    lowpassL = { lowpassCoef, 0.0f };
    lowpassR = { lowpassCoef, 0.0f };
    dcL.prepare (sampleRate);
    dcR.prepare (sampleRate);

    // A quarter second: the first step's half beat at 120 BPM, until the first block says more.
    grainLength = limitedGrainLength (0.5f * (float) (0.5 * sampleRate), sampleRate);
    grainAmount = 0.0f;
    oddGrainGain = 1.0f;
    normalisation = 0.5f;
    writeL = writeR = 0;
    for (int j = 0; j < 4; ++j)
    {
        phase[j] = startPhase[j];
        ratio[j] = 2.0f;
        offset[j] = 0.0f;
    }

    holdLength = (int) (0.025 * sampleRate);
    holdCounter = 0;
    fastEnvelope = slowEnvelope = 0.0f;
    fastRelease = decayFactor (sampleRate, 0.08f);
    slowRelease = decayFactor (sampleRate, 0.4f);
    bloomSmoothing = glideCoefficient (sampleRate, 0.015f);
    bloomGain = 1.0f;
}

void Shimmer::setForBlock (float grain, float newSamplesPerBeat, double ppqPosition, bool isPlaying) noexcept
{
    const float x = std::clamp (grain, 0.0f, 1.0f);
    grainAmount = x;
    const int step = std::clamp ((int) (x * 7.0f * 0.999f), 0, 6);
    grainLength = limitedGrainLength (stepBeats[step] * newSamplesPerBeat, sampleRate);
    oddGrainGain = 1.0f - 0.84f * x;
    normalisation = 1.0f / (1.0f + oddGrainGain);

    gateDepth = 0.6f * x + 0.25f;
    gateLength = x < 0.34f ? 1.0f : (x < 0.67f ? 0.5f : 0.25f);

    samplesPerBeat = newSamplesPerBeat;
    ppq = ppqPosition;
    playing = isPlaying;
}

void Shimmer::writeInput (const float* reverbOut, int numChannels) noexcept
{
    inputL[(size_t) writeL] = reverbOut[0];
    if (numChannels == 2)
        inputR[(size_t) writeR] = reverbOut[1];
}

// A new grain: ratio first, then the offset, both from the shared generator.
void Shimmer::restartGrain (int j) noexcept
{
    phase[j] = phase[j] + 1.0f;
    const float u = random.nextFloat();
    ratio[j] = u < 0.34f * grainAmount ? 1.5f : (u < 0.6f * grainAmount ? 3.0f : 2.0f);
    const float v = random.nextFloat();
    offset[j] = v * grainAmount * (float) grainLength * 2.6f;
}

void Shimmer::processGrains (int numChannels, float* grainOut) noexcept
{
    const bool stereo = numChannels == 2;
    const float length = (float) grainLength;
    const float longestDelay = (float) bufferSize - 4.0f;
    const float* right = stereo ? inputR.data() : inputL.data();
    const float positionL = (float) writeL;
    const float positionR = (float) (stereo ? writeR : writeL);

    float sumL = 0.0f, sumR = 0.0f;
    for (int j = 0; j < 4; ++j)
    {
        phase[j] = phase[j] - (ratio[j] - 1.0f) / length;
        if (phase[j] < 0.0f)
            restartGrain (j);

        const float sine = std::sin (pi * phase[j]);
        const float window = sine * sine;
        const float amplitude = (j & 1) != 0 ? window * oddGrainGain : window;

        float delay = length * phase[j] + offset[j];
        delay = delay < 2.0f ? 2.0f : std::min (delay, longestDelay);

        sumL = sumL + amplitude * cubicReadMasked (inputL.data(), bufferMask, positionL - delay);
        if (stereo)
            sumR = sumR + amplitude * cubicReadMasked (right, bufferMask, positionR - delay);
    }

    writeL = (writeL + 1) & bufferMask;
    if (stereo)
        writeR = (writeR + 1) & bufferMask;

    grainOut[0] = processLane (sumL, lowpassL, dcL);
    grainOut[1] = stereo ? processLane (sumR, lowpassR, dcR) : grainOut[0];
}

// Normalise, soften the aliasing of the fast reads above 7 kHz, drop DC, keep peaks in bounds.
float Shimmer::processLane (float sum, OnePole& lowpass, DcBlocker& dc) const noexcept
{
    const float smoothed = lowpass.process (sum * normalisation);
    return softSaturate (dc.process (smoothed), 0.7f, 0.45f);
}

float Shimmer::gateValue (int sampleIndex) const noexcept
{
    if (! playing)
        return 1.0f;
    const double beats = ppq + (double) sampleIndex / (double) samplesPerBeat;
    const double stepPhase = beats / (double) gateLength;
    const auto fraction = (float) (stepPhase - std::floor (stepPhase));
    return fraction < 0.1f ? fraction / 0.1f : std::exp (-4.5f * (fraction - 0.1f));
}

float Shimmer::levelInDecibels (float envelope) noexcept
{
    return envelope > 0.0f ? std::max (20.0f * std::log10 (envelope), -160.0f) : -160.0f;
}

void Shimmer::updateBloom (float inputLevel, int sampleIndex) noexcept
{
    if (inputLevel > fastEnvelope || inputLevel > slowEnvelope)
    {
        fastEnvelope = std::max (fastEnvelope, inputLevel);
        slowEnvelope = std::max (slowEnvelope, inputLevel);
        holdCounter = holdLength;
    }
    else if (holdCounter > 0)
    {
        holdCounter = holdCounter - 1;
    }
    else
    {
        fastEnvelope = fastEnvelope * fastRelease;
        slowEnvelope = slowEnvelope * slowRelease;
    }

    // When the input falls away the fast envelope drops below the slow one: 16 dB of lead is a
    // full bloom.
    const float bloom = (levelInDecibels (slowEnvelope) - levelInDecibels (fastEnvelope)) * 0.0625f;
    const float base = bloom < 0.0f ? 0.65f : 0.65f + (1.0f - 0.65f) * std::min (1.0f, bloom);
    const float target = base * (1.0f - gateDepth + gateValue (sampleIndex) * gateDepth);
    bloomGain = bloomGain + (target - bloomGain) * bloomSmoothing;
}

void Shimmer::mixWet (const WetInputs& in, int numChannels, float* feedback, float* wet) const noexcept
{
    const float s = in.shimmer;
    const float sp = in.space;
    for (int c = 0; c < numChannels; ++c)
    {
        feedback[c] = s * in.grain[c] * 0.35f;
        const float bus = bloomGain * (in.grain[c] * (1.0f - 0.25f * s) * 4.5f + in.comb[c] * 26.0f * s);
        wet[c] = in.reverb[c] * (0.45f + sp) + in.taps[c] * (0.85f + (0.4f - 0.85f) * sp) + bus * s;
    }
}
} // namespace dsp
