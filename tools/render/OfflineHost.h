#pragma once

// Drives a VELLOMIRE processor the way a VST3 host does during an offline bounce: bus layout,
// parameter values and sample rate are set before prepareToPlay, then every block goes through
// processBlock under the callback lock with a play head that reports the transport. The renderer
// and the benchmark both run the plug-in through this class, so what they measure is what a
// DAW hears.

#include "PluginProcessor.h"

#include <array>
#include <optional>

namespace tools
{
// The four knobs in the plug-in's own units (percent), in the order the user sees them.
struct KnobSettings
{
    float space, shimmer, grain, wash;

    // The plug-in's own defaults, read from its parameter layout.
    static KnobSettings defaults();
    // Parameter IDs in the order of the members above.
    static const std::array<const char*, 4> parameterIds;

    float valueFor (int index) const noexcept;
};

// What the host's transport tells the plug-in. Without a tempo the play head reports none and
// the plug-in falls back to its own.
struct TransportSettings
{
    std::optional<double> bpm;
    bool playing = false;
};

// A play head for a transport that starts at zero. While playing, the position advances with
// every processed sample; while stopped it stays at the start, as a stopped host reports it.
class OfflinePlayHead final : public juce::AudioPlayHead
{
public:
    OfflinePlayHead (TransportSettings settings, double sampleRate);

    juce::Optional<PositionInfo> getPosition() const override;
    void advance (int numSamples) noexcept;

private:
    TransportSettings transport;
    double sampleRate;
    juce::int64 samplesPlayed = 0;
};

class OfflineHost
{
public:
    // numChannels is 1 or 2; the plug-in accepts both layouts.
    OfflineHost (int numChannels, double sampleRate, int blockSize, const KnobSettings& knobs,
                 const TransportSettings& transport);
    ~OfflineHost();

    // Processes one host block in place: numSamples <= the block size given above, channels as
    // given above.
    void process (juce::AudioBuffer<float>& block);

    // False when the plug-in refused the channel count; nothing should be processed then.
    bool isLayoutAccepted() const noexcept { return layoutAccepted; }
    double getTailLengthSeconds() const { return processor.getTailLengthSeconds(); }

private:
    VellomireAudioProcessor processor;
    OfflinePlayHead playHead;
    juce::MidiBuffer midi;
    bool layoutAccepted = false;
};
} // namespace tools
