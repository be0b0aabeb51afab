#pragma once

// The reverberator: a pre-delay and four allpass diffusers per side in front of 32 modulated delay
// lines that feed each other through a scaled Hadamard matrix. Each line is damped, passed through
// a long allpass and attenuated to decay by 60 dB in the time "Space" asks for. "Space" also sets
// the pre-delay and how long the lines are; both glide so the room changes without clicks.

#include "DspHelpers.h"

#include <array>
#include <vector>

namespace dsp
{
class PlateFDN
{
public:
    static constexpr int numLines = 32;
    static constexpr int numDiffusers = 4;

    // Line and loop allpass lengths in samples at 44100 Hz; all primes, so no two lines share
    // a period.
    static constexpr int baseLength[numLines] {
        2203, 2333, 2459, 2593, 2741, 2887, 3049, 3221, 3407, 3593, 3797, 4007, 4231, 4463, 4721, 4987,
        5261, 5557, 5867, 6197, 6547, 6907, 7297, 7699, 8123, 8581, 9067, 9587, 10103, 10667, 11261, 11897
    };
    static constexpr int loopApBase[numLines] {
        881, 911, 947, 977, 1013, 1051, 1087, 1129, 1171, 1213, 1259, 1301, 1361, 1399, 1447, 1499,
        1553, 1609, 1669, 1733, 1789, 1861, 1931, 1993, 2063, 2141, 2221, 2297, 2381, 2467, 2557, 2647
    };
    static constexpr float lfoRate[numLines] {
        0.495f, 0.626f, 0.679f, 0.792f, 0.828f, 0.959f, 1.012f, 1.089f, 1.161f, 1.256f, 1.309f,
        1.422f, 1.458f, 1.571f, 1.624f, 1.719f, 1.755f, 1.885f, 1.94f, 2.016f, 2.088f, 2.2f,
        2.236f, 2.367f, 2.421f, 2.516f, 2.569f, 2.664f, 2.718f, 2.83f, 2.885f, 2.979f
    };
    static constexpr float injectSign[numLines] {
        1, 1, -1, 1, -1, 1, 1, -1, 1, -1, 1, 1, -1, 1, -1, 1,
        1, -1, 1, -1, 1, 1, -1, 1, -1, 1, 1, -1, 1, -1, 1, 1
    };
    // Diffuser lengths in milliseconds: the four left stages, then the four right ones.
    static constexpr float allpassMs[2 * numDiffusers] { 4.77f, 3.6f, 12.73f, 9.31f, 5.11f, 3.94f, 13.36f, 8.71f };
    static constexpr float diffuserGain[numDiffusers] { 0.75f, 0.75f, 0.625f, 0.625f };

    // Sizes and zeroes every buffer for the rate. Loop gains and damping wait for the first
    // updateDecay; pre-delay and size jump to their first targets.
    void prepare (double newSampleRate);

    // Per block, first: decay time and damping from "Space" (0..1), for the current size.
    void updateDecay (float space) noexcept;
    // Per block, second: pre-delay and size targets from "Space".
    void updateTargets (float space) noexcept;

    // Pre-delay and diffusion: signal[c] holds the reverb input for c < numChannels and is
    // replaced by the diffused pair (signal[1] = signal[0] in mono). Also advances both glides.
    void processInput (float* signal, int numChannels) noexcept;

    // One step of the network: signal[0..1] holds the diffused pair and is replaced by the
    // reverb output (signal[1] = signal[0] in mono).
    void processNetwork (float* signal, int numChannels) noexcept;

    int getLineLength (int line) const noexcept { return length[(size_t) line]; }
    int getLineBufferSize (int line) const noexcept { return size[(size_t) line]; }
    int getLoopAllpassLength (int line) const noexcept { return loopApLength[(size_t) line]; }
    float getLoopGain (int line) const noexcept { return gain[(size_t) line]; }
    float getLfoPhase (int line) const noexcept { return lfoPhase[(size_t) line]; }
    float getDampingCoefficient() const noexcept { return damping[0].coef; }
    int getDiffuserLength (int channel, int stage) const noexcept { return diffuserLength[(size_t) channel][(size_t) stage]; }
    int getPreDelayBufferLength() const noexcept { return preDelaySize; }
    float getPreDelayTime() const noexcept { return preDelayTime; }
    float getPreDelayTarget() const noexcept { return preDelayTarget; }
    float getSizeScale() const noexcept { return sizeScale; }
    float getSizeScaleTarget() const noexcept { return sizeScaleTarget; }
    float getGlideCoefficient() const noexcept { return glideCoefficient; }

private:
    using LineArray = std::array<int, numLines>;

    void prepareInputSection();
    float diffuse (int channel, float x) noexcept;
    static void hadamard (std::array<float, numLines>& v) noexcept;

    double sampleRate = 44100.0;
    std::array<std::vector<float>, numLines> lineBuffer;
    LineArray length {};
    LineArray size {};
    LineArray mask {};
    LineArray writeIndex {};
    std::array<float, numLines> gain {};
    std::array<float, numLines> lfoPhase {};
    std::array<OnePole, numLines> damping;
    std::array<std::vector<float>, numLines> loopApBuffer;
    LineArray loopApLength {};
    LineArray loopApIndex {};
    std::array<std::array<std::vector<float>, numDiffusers>, 2> diffuserBuffer;
    std::array<std::array<int, numDiffusers>, 2> diffuserLength {};
    std::array<std::array<int, numDiffusers>, 2> diffuserIndex {};
    std::array<DcBlocker, 2> dcBlocker;
    std::array<std::vector<float>, 2> preDelayBuffer;
    int preDelaySize = 8;
    int preDelayMask = 7;
    int preDelayIndex = 0;
    float preDelayTime = 0.0f;
    float sizeScale = 0.0f;
    float sizeScaleTarget = 1.0f;
    float preDelayTarget = 0.0f;
    float glideCoefficient = 0.01f;
};
} // namespace dsp
