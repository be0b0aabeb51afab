#include "MultiTapSpace.h"

namespace dsp
{
namespace
{
constexpr int feedbackTap = 5;
constexpr float unsetTapTime = -1.0f;
constexpr float shortestDelay = 8.0f;
constexpr float outputGain = 0.42553192f;
constexpr float saturationKnee = 0.7f;
constexpr float saturationWidth = 0.45f;
} // namespace

void MultiTapSpace::prepare (double newSampleRate)
{
    bufferLength = (int) (6.0 * newSampleRate) + 8;
    for (auto& channel : delay)
        channel.assign ((size_t) bufferLength, 0.0f);

    sampleRate = newSampleRate;
    for (auto& lowpass : feedbackLowpass)
        lowpass = { onePoleLowpassCoefficient (sampleRate, 5200.0f), 0.0f };
    for (auto& side : tapLowpass)
        for (size_t j = 0; j < side.size(); ++j)
            side[j] = { onePoleLowpassCoefficient (sampleRate, tapCutoffHz[j]), 0.0f };

    timeCoefficient = glideCoefficient (sampleRate, 0.15f);

    writeIndex = 0;
    for (auto& side : tapTime)
        side.fill (unsetTapTime);
}

void MultiTapSpace::process (float* signal, float space, float samplesPerBeat, int numChannels) noexcept
{
    const TapShape shape { 0.35f + 0.75f * space, 0.3f + 1.4f * space, samplesPerBeat };
    const float feedbackGain = 0.05f + 0.4f * space;
    const bool stereo = numChannels == 2;

    float sumL = 0.0f, sumR = 0.0f;
    const float readL = processTaps (0, tapBeatsL, tapPanL, shape, sumL, sumR);
    const float readR = stereo ? processTaps (1, tapBeatsR, tapPanR, shape, sumL, sumR) : readL;

    // All reads of this sample are done; now the feedback goes in with the new input.
    const float sourceL = 0.8f * readL + 0.2f * readR;
    delay[0][(size_t) writeIndex] = signal[0] + feedbackGain * softSaturate (feedbackLowpass[0].process (sourceL), saturationKnee, saturationWidth);
    signal[0] = outputGain * sumL;

    if (stereo)
    {
        const float sourceR = 0.8f * readR + 0.2f * readL;
        delay[1][(size_t) writeIndex] = signal[1] + feedbackGain * softSaturate (feedbackLowpass[1].process (sourceR), saturationKnee, saturationWidth);
        signal[1] = outputGain * sumR;
    }

    if (++writeIndex == bufferLength)
        writeIndex = 0;
}

float MultiTapSpace::processTaps (int channel, const float* beats, const float* pan, const TapShape& shape,
                                  float& sumL, float& sumR) noexcept
{
    const auto longestDelay = (float) (bufferLength - 4);
    const float* buffer = delay[(size_t) channel].data();
    auto& times = tapTime[(size_t) channel];
    auto& lowpasses = tapLowpass[(size_t) channel];
    float feedbackRead = 0.0f;

    for (int j = 0; j < numTaps; ++j)
    {
        float target = beats[j] * shape.timeScale * shape.samplesPerBeat;
        target = target < shortestDelay ? shortestDelay : std::min (target, longestDelay);

        // Every tap glides, heard or not, so a tap that fades in starts at its proper time.
        float& time = times[(size_t) j];
        time = time < 0.0f ? target : time + (target - time) * timeCoefficient;

        const float weight = std::clamp (5.0f * (shape.density - 0.135f * (float) j), 0.0f, 1.0f);
        if (weight <= 0.0f)
            continue;

        const float v = cubicReadWrapped (buffer, bufferLength, (float) writeIndex - time);
        const float u = lowpasses[(size_t) j].process (v) * tapGain[j] * weight;
        sumL += u * (1.0f - pan[j]);
        sumR += u * pan[j];

        if (j == feedbackTap)
            feedbackRead = v;
    }
    return feedbackRead;
}
} // namespace dsp
