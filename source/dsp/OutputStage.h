#pragma once

// The last step of every sample: the wet signal is highpassed, ducked, boosted and softly
// clipped, squeezed by a linked compressor, widened (stereo) and mixed with the untouched dry
// input. The two pieces of state are small value types the processor holds as members.

#include "DspHelpers.h"

namespace dsp
{
// Complement of a 120 Hz one-pole per channel: keeps the low end out of the wet mix.
struct WetHighpass
{
    OnePole lanes[2];

    void prepare (double sampleRate) noexcept;
};

// Linked wet compressor: -20 dBFS threshold, 2.2:1, 20 ms attack, 220 ms release.
struct OutputCompressor
{
    float attack = 0.99f;
    float release = 0.9999f;
    float envelope = 0.0f;

    void prepare (double sampleRate) noexcept;

    // Follows the level a and returns the gain for this sample, makeup included.
    float gainFor (float level) noexcept;
};

struct OutputStage
{
    struct Inputs
    {
        const float* tapeOut; // tw[c]
        const float* dry;     // x[c]
        float duckingGain;
        float space; // SPACE of this sample
        float wash;  // WASH of this sample
    };

    struct MixGains
    {
        float wet, dry;
    };

    // SPACE sets the wet level, WASH lifts it and, above 0.65, turns the dry signal down.
    static MixGains mixGains (float space, float wash) noexcept;

    // Writes the output sample of every processed channel; v is the wet signal's scratch slot.
    static void process (WetHighpass& highpass, OutputCompressor& compressor, const Inputs& in,
                         int numChannels, float* v, float* out) noexcept;

private:
    static void widen (float* v, float wash) noexcept;
};
} // namespace dsp
