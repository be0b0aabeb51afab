#pragma once

// The shimmer: four overlapping grains read the reverb output faster than real time (a fifth, an
// octave or an octave and a fifth up), and their sum goes back into the reverb input, so every
// pass through the plate comes back higher. It also carries the bloom, which lets the shimmer
// swell when the input falls away and, while the host plays, pulses it in time.

#include <juce_core/juce_core.h>

#include <vector>

#include "DspHelpers.h"

namespace dsp
{
class Shimmer
{
public:
    static constexpr float stepBeats[7] { 0.5f, 0.375f, 0.25f, 0.1875f, 0.125f, 0.08333f, 0.0625f };

    void prepare (double newSampleRate);

    // Once per block with "Grain" at the block's last sample and the host transport of the block.
    void setForBlock (float grain, float samplesPerBeat, double ppqPosition, bool isPlaying) noexcept;

    // The reverb output of this sample goes in before the grains read; the right buffer is only
    // written in stereo.
    void writeInput (const float* reverbOut, int numChannels) noexcept;

    // Sums the grains and writes the grain output g[0], g[1] (g[1] = g[0] in mono).
    void processGrains (int numChannels, float* grainOut) noexcept;

    // Follows the input level m and the tempo gate for the sample at this index of the block.
    void updateBloom (float inputLevel, int sampleIndex) noexcept;

    // Feedback into the reverb input and the wet sum that goes on to the tape stage, from the
    // grain output g, comb output r, reverb output y and multi-tap output taps of this sample.
    struct WetInputs
    {
        const float* grain;
        const float* comb;
        const float* reverb;
        const float* taps;
        float shimmer; // FILTER of this sample
        float space;   // SPACE of this sample
    };
    void mixWet (const WetInputs& in, int numChannels, float* feedback, float* wet) const noexcept;

    int getGrainLength() const noexcept { return grainLength; }
    int getBufferSize() const noexcept { return bufferSize; }
    float getRatio (int grain) const noexcept { return ratio[grain]; }
    float getOffset (int grain) const noexcept { return offset[grain]; }
    float getOddGrainGain() const noexcept { return oddGrainGain; }
    float getNormalisation() const noexcept { return normalisation; }
    float getGateDepth() const noexcept { return gateDepth; }
    float getGateLength() const noexcept { return gateLength; }
    float getBloomGain() const noexcept { return bloomGain; }

    // The gate's pull on the bloom target at this sample: 1 while stopped.
    float gateValue (int sampleIndex) const noexcept;

private:
    void restartGrain (int j) noexcept;
    float processLane (float sum, OnePole& lowpass, DcBlocker& dc) const noexcept;
    static float levelInDecibels (float envelope) noexcept;

    std::vector<float> inputL, inputR;
    OnePole lowpassL, lowpassR;
    DcBlocker dcL, dcR;
    juce::Random random { 4711 };
    double sampleRate = 44100.0;
    int maximumGrain = 14112;
    int grainLength = 2048;
    int bufferSize = 16384;
    int bufferMask = 16383;
    int writeL = 0, writeR = 0;
    float phase[4] { 1.0f, 0.75f, 0.5f, 0.25f };
    float ratio[4] { 2.0f, 2.0f, 2.0f, 2.0f };
    float offset[4] {};
    float grainAmount = 0.0f;
    float oddGrainGain = 1.0f;
    float normalisation = 0.5f;

    int holdLength = 0;
    int holdCounter = 0;
    float fastEnvelope = 0.0f;
    float slowEnvelope = 0.0f;
    float fastRelease = 0.9f;
    float slowRelease = 0.99f;
    float bloomSmoothing = 0.01f;
    float gateDepth = 0.25f;
    float gateLength = 1.0f;
    float bloomGain = 1.0f;

    // The transport of the current block, for the gate.
    float samplesPerBeat = 22050.0f;
    double ppq = 0.0;
    bool playing = false;
};
} // namespace dsp
