#include "ResoComb.h"

namespace dsp
{
void ResoComb::prepare (double newSampleRate)
{
    sampleRate = newSampleRate;
    // Room for the lowest fundamental (about 146.5 Hz) plus the interpolation points.
    lineSize = powerOfTwoAbove ((int) (sampleRate / 90.0) + 7);
    lineMask = lineSize - 1;
    const float dampingCoef = onePoleLowpassCoefficient (sampleRate, 4200.0f);
    for (int line = 0; line < 4; ++line)
    {
        lines[(size_t) line].assign ((size_t) lineSize, 0.0f);
        damping[line] = { dampingCoef, 0.0f };
        dc[line].prepare (sampleRate);
    }
    excitationL.prepare (sampleRate);
    excitationR.prepare (sampleRate);
    glide = glideCoefficient (sampleRate, 0.005f);
    setForBlock (0.0f);
    writeL = writeR = 0;
    for (auto& length : currentLength)
        length = -1.0f;
}

void ResoComb::setForBlock (float filter) noexcept
{
    const float x = std::clamp (filter, 0.0f, 1.0f);
    const float raw = std::max (150.0f * std::exp2 (2.8f * x), 20.0f);

    // Snap to the equal-tempered grid above A0 (27.5 Hz).
    const int semitone = roundHalfAway (12.0f * std::log2 (raw / 27.5f));
    const float f = 27.5f * std::exp2 ((float) semitone / 12.0f);
    const float fL = f * 0.99769217f;
    const float fR = f * 1.0023131f;

    const float q = std::max (17.3f * x + 0.7f, 0.05f);
    const float k = 1.0f / q;

    targetLength[LA] = loopLength (fL, LA);
    targetLength[LB] = loopLength (1.5f * fL, LB);
    targetLength[RA] = loopLength (fR, RA);
    targetLength[RB] = loopLength (1.5f * fR, RB);

    tuneExcitation (excitationL, fL, k);
    tuneExcitation (excitationR, fR, k);

    feedback = 0.5f * x + 0.45f;
    outputGain = 0.8f * std::pow (1.0f - feedback, 0.85f);
}

// The delay that makes the whole loop (delay, damping lowpass, DC blocker) one period of F long:
// the lowpass adds phase delay, the blocker takes some away.
float ResoComb::loopLength (float frequency, Line line) const noexcept
{
    const auto fs = (float) sampleRate;
    const float w = twoPi * frequency / fs;
    float phaseDelay = 0.0f;
    if (w >= 0.0001f)
    {
        const float p = 1.0f - damping[line].coef;
        const float R = dc[line].R;
        const float sinW = std::sin (w);
        const float cosW = std::cos (w);
        const float lowpassDelay = std::atan2 (p * sinW, 1.0f - p * cosW) / w;
        const float blockerLead = (std::atan2 (sinW, 1.0f - cosW) - std::atan2 (R * sinW, 1.0f - R * cosW)) / w;
        phaseDelay = lowpassDelay - blockerLead;
    }
    return fs / frequency - phaseDelay;
}

// A band-pass with unity gain at the fundamental; k sets its width.
void ResoComb::tuneExcitation (Svf& filter, float frequency, float k) noexcept
{
    const auto fs = (float) filter.getSampleRate();
    const float cutoff = frequency < 20.0f ? 20.0f : std::min (0.5f * fs * 0.95f, frequency);
    filter.setCoefficients (std::tan (pi * cutoff / fs), k);
}

float ResoComb::processLine (Line line, int writeIndex, float excitation) noexcept
{
    auto& length = currentLength[line];
    length = length < 0.0f ? targetLength[line] : length + (targetLength[line] - length) * glide;
    const float delay = length < 4.0f ? 4.0f : std::min (length, (float) (lineSize - 4));

    auto& buffer = lines[(size_t) line];
    const float read = cubicReadMasked (buffer.data(), lineMask, (float) writeIndex - delay);
    const float looped = dc[line].process (damping[line].process (read));
    const float written = softSaturate (looped, 0.7f, 0.45f) * feedback + excitation;
    buffer[(size_t) writeIndex] = written;
    return written;
}

float ResoComb::processChannel (int channel, float input) noexcept
{
    auto& filter = channel == 0 ? excitationL : excitationR;
    auto& writeIndex = channel == 0 ? writeL : writeR;
    const auto first = channel == 0 ? LA : RA;
    const auto fifth = channel == 0 ? LB : RB;

    const float excitation = filter.getK() * filter.process (input).bp;
    const float fundamental = processLine (first, writeIndex, excitation);
    const float upper = processLine (fifth, writeIndex, excitation);
    writeIndex = (writeIndex + 1) & lineMask;
    return (fundamental + 0.55f * upper) * outputGain;
}

void ResoComb::process (const float* grainOut, float* combOut, int numChannels) noexcept
{
    for (int c = 0; c < numChannels; ++c)
        combOut[c] = processChannel (c, grainOut[c]);
}
} // namespace dsp
