#pragma once

// Worn tape, in proportion to WASH: a short delay wobbled by wow, flutter and a slow random
// drift, a head bump at 150 Hz, a split at 2.5 kHz with an asymmetric (even-harmonic) low-band
// saturator and a harder symmetric one above, a linked leveller and a closing lowpass. At WASH 0
// it is a clean 8 ms delay.

#include <juce_core/juce_core.h>

#include <array>
#include <vector>

#include "DspHelpers.h"
#include "Svf.h"

namespace dsp
{
class TapeWash
{
public:
    // LFO rates in Hz, per channel: two slow wow LFOs, then two flutter LFOs.
    static constexpr float rate[2][4] { { 0.31f, 0.47f, 4.9f, 7.3f }, { 0.37f, 0.53f, 5.7f, 8.1f } };
    // Delay swing of each LFO in seconds at full WASH.
    static constexpr float depth[4] { 0.003f, 0.0016f, 0.00024f, 0.00014f };

    void prepare (double newSampleRate);

    // Once per block with WASH at the block's last sample.
    void setForBlock (float wash) noexcept;

    // Writes tw[c] for every processed channel from the wet sum.
    void process (const float* wetIn, float* out, int numChannels) noexcept;

    int getBufferSize() const noexcept { return bufferSize; }
    float getLowDrive() const noexcept { return lowDrive; }
    float getHighDrive() const noexcept { return highDrive; }
    float getLevellerGain() const noexcept { return levellerGain(); }

private:
    float modulation (int channel) noexcept;
    float delayed (int channel, float input, float mod) noexcept;
    float saturateBands (int channel, float input) noexcept;
    float levellerGain() const noexcept;

    std::array<std::vector<float>, 2> delayBuffer;
    OnePole outputLowpass[2];
    OnePole crossover[2];
    Svf bump[2];
    DcBlocker dc[2];
    juce::Random random { 20260901 };
    double sampleRate = 44100.0;
    int bufferSize = 4096;
    int bufferMask = 4095;
    int writeIndex[2] {};
    float lfoPhase[2][4] {};
    float drift[2] {};
    float driftTarget[2] {};
    int driftCountdown[2] {};
    int driftHold = 1;
    float driftSmoothing = 0.01f;
    float stageOutput[2] {};
    float levellerEnvelope = 0.0f;
    float levellerAttack = 0.99f;
    float levellerRelease = 0.999f;
    float wash = 0.0f;
    float lowDrive = 1.0f;
    float highDrive = 1.0f;
    float bumpGain = 0.0f;
    float rateScale = 1.0f;
    float levellerDepth = 0.0f;
    float levellerMakeup = 1.0f;
};
} // namespace dsp
