#pragma once

// Peak-style follower of the input level, turned into a ducking gain for the wet path: loud input
// pushes the reverb back by up to 10 dB so the dry signal stays in front.

namespace dsp
{
class LevelFollower
{
public:
    // Coefficients and hold length for the rate; the follower starts from silence.
    void prepare (double sampleRate) noexcept;

    // A host sample as the chain takes it in, dry and wet alike. NaN and infinity (from a broken
    // plug-in upstream) are silence, and finite samples are limited to +-inputLimit, 120 dB above
    // full scale: beyond any real signal, yet low enough that no sum or feedback path overflows.
    static float capture (float hostSample) noexcept;
    static constexpr float inputLimit = 1.0e6f;

    // The level the follower listens to: the magnitude of the mean of the channels, so a signal
    // that is equal and opposite on the two sides reads as silence.
    static float inputLevel (const float* samples, int numChannels) noexcept;

    // Follows one sample's input level and returns this sample's ducking gain.
    float process (float level) noexcept;

    // 1 up to -36 dBFS, then 0.9 dB of cut per dB of level, never more than 10 dB.
    static float duckingGainFor (float envelopeLevel) noexcept;

    float getAttack() const noexcept { return attack; }
    float getRelease() const noexcept { return release; }
    float getEnvelope() const noexcept { return envelope; }
    int getHoldLength() const noexcept { return holdLength; }

private:
    float attack = 0.99f;
    float release = 0.9999f;
    float envelope = 0.0f;
    int holdLength = 0;
    int holdCounter = 0;
};
} // namespace dsp
