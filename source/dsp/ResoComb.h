#pragma once

// Two tuned feedback combs per channel, a fundamental and a fifth above, excited by a band-passed
// copy of the grain output. The fundamental sits on a semitone grid chosen by FILTER; left is
// 4 cents flat and right 4 cents sharp, so the two sides beat slowly against each other.

#include <array>
#include <vector>

#include "DspHelpers.h"
#include "Svf.h"

namespace dsp
{
class ResoComb
{
public:
    // The four lines: left fundamental, left fifth, right fundamental, right fifth.
    enum Line { LA = 0, LB, RA, RB };

    void prepare (double newSampleRate);

    // Retunes for the FILTER value at the block's last sample; the lines keep ringing.
    void setForBlock (float filter) noexcept;

    // Writes r[c] for every processed channel from the grain output g[c].
    void process (const float* grainOut, float* combOut, int numChannels) noexcept;

    int getLineSize() const noexcept { return lineSize; }
    float getTargetLength (Line line) const noexcept { return targetLength[line]; }
    float getCurrentLength (Line line) const noexcept { return currentLength[line]; }
    float getFeedback() const noexcept { return feedback; }
    float getOutputGain() const noexcept { return outputGain; }
    const Svf& getExcitationFilter (int channel) const noexcept { return channel == 0 ? excitationL : excitationR; }

private:
    float loopLength (float frequency, Line line) const noexcept;
    static void tuneExcitation (Svf& filter, float frequency, float k) noexcept;
    float processLine (Line line, int writeIndex, float excitation) noexcept;
    float processChannel (int channel, float input) noexcept;

    std::array<std::vector<float>, 4> lines;
    OnePole damping[4];
    DcBlocker dc[4];
    Svf excitationL, excitationR;
    double sampleRate = 44100.0;
    int lineSize = 1024;
    int lineMask = 1023;
    int writeL = 0, writeR = 0;
    float targetLength[4] {};
    float currentLength[4] { -1.0f, -1.0f, -1.0f, -1.0f };
    float glide = 0.05f;
    float feedback = 0.45f;
    float outputGain = 0.4f;
};
} // namespace dsp
