#pragma once

// Stereo feedback delay with eight taps per side at fractions of a beat. "Space" stretches the tap
// times, brings in the later taps and raises the feedback; tap 5 of each side feeds back, with a
// little of the other side, through a lowpass and a soft saturator.

#include "DspHelpers.h"

#include <array>
#include <vector>

namespace dsp
{
class MultiTapSpace
{
public:
    static constexpr int numTaps = 8;

    static constexpr float tapBeatsL[numTaps] { 0.0625f, 0.125f, 0.1875f, 0.25f, 0.3125f, 0.4375f, 0.5625f, 0.75f };
    static constexpr float tapBeatsR[numTaps] { 0.0938f, 0.1563f, 0.2188f, 0.2813f, 0.375f, 0.5f, 0.625f, 0.875f };
    static constexpr float tapGain[numTaps] { 1.0f, 0.85f, 0.72f, 0.61f, 0.5f, 0.4f, 0.31f, 0.23f };
    static constexpr float tapPanL[numTaps] { 0.12f, 0.38f, 0.05f, 0.47f, 0.22f, 0.44f, 0.15f, 0.35f };
    static constexpr float tapPanR[numTaps] { 0.88f, 0.62f, 0.95f, 0.53f, 0.78f, 0.56f, 0.85f, 0.65f };
    static constexpr float tapCutoffHz[numTaps] { 14000.0f, 11000.0f, 8600.0f, 6800.0f, 5400.0f, 4300.0f, 3500.0f, 3000.0f };

    // Six seconds of zeroed buffer; the first sample afterwards puts every tap at its target time.
    void prepare (double newSampleRate);

    // Reads the delay input from signal[c] and replaces it with the multi-tap output, for the
    // channels c < numChannels. space is 0..1, samplesPerBeat comes from the host tempo.
    void process (float* signal, float space, float samplesPerBeat, int numChannels) noexcept;

    int getBufferLength() const noexcept { return bufferLength; }
    float getTimeCoefficient() const noexcept { return timeCoefficient; }
    // Current delay of a tap in samples, -1 before the first sample after prepare.
    float getTapTime (int channel, int tap) const noexcept { return tapTime[(size_t) channel][(size_t) tap]; }
    const std::vector<float>& getDelayLine (int channel) const noexcept { return delay[(size_t) channel]; }

private:
    // What "Space" and the tempo make of the taps for one sample.
    struct TapShape
    {
        float timeScale;
        float density;
        float samplesPerBeat;
    };

    // Glides, reads, filters and pans the eight taps of one side into the stereo sum; returns
    // tap 5's read before its filter, gain and weight.
    float processTaps (int channel, const float* beats, const float* pan, const TapShape& shape,
                       float& sumL, float& sumR) noexcept;

    std::array<std::vector<float>, 2> delay;
    std::array<OnePole, 2> feedbackLowpass;
    std::array<std::array<OnePole, numTaps>, 2> tapLowpass;
    double sampleRate = 44100.0;
    int bufferLength = 4;
    int writeIndex = 0;
    float timeCoefficient = 0.001f;
    std::array<std::array<float, numTaps>, 2> tapTime {};
};
} // namespace dsp
