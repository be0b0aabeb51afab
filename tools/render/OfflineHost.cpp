#include "OfflineHost.h"

namespace tools
{
const std::array<const char*, 4> KnobSettings::parameterIds { "SPACE", "FILTER", "GRAIN", "WASH" };

KnobSettings KnobSettings::defaults()
{
    const VellomireAudioProcessor processor;
    float values[4] {};
    for (size_t i = 0; i < parameterIds.size(); ++i)
    {
        const auto* parameter = processor.valueTreeState.getParameter (parameterIds[i]);
        values[i] = parameter->convertFrom0to1 (parameter->getDefaultValue());
    }
    return { values[0], values[1], values[2], values[3] };
}

float KnobSettings::valueFor (int index) const noexcept
{
    const float values[] { space, shimmer, grain, wash };
    return values[index];
}

OfflinePlayHead::OfflinePlayHead (TransportSettings settings, double rate)
    : transport (settings), sampleRate (rate)
{
}

juce::Optional<juce::AudioPlayHead::PositionInfo> OfflinePlayHead::getPosition() const
{
    PositionInfo info;
    info.setIsPlaying (transport.playing);
    info.setTimeInSamples (samplesPlayed);
    info.setTimeInSeconds ((double) samplesPlayed / sampleRate);
    if (transport.bpm)
        info.setBpm (*transport.bpm);

    // Without a tempo of its own the transport counts beats at the plug-in's fallback tempo.
    const double bpm = transport.bpm.value_or (120.0);
    info.setPpqPosition ((double) samplesPlayed / sampleRate * bpm / 60.0);
    return info;
}

void OfflinePlayHead::advance (int numSamples) noexcept
{
    if (transport.playing)
        samplesPlayed += numSamples;
}

OfflineHost::OfflineHost (int numChannels, double sampleRate, int blockSize, const KnobSettings& knobs,
                          const TransportSettings& transport)
    : playHead (transport, sampleRate)
{
    const auto channelSet = numChannels == 1 ? juce::AudioChannelSet::mono() : juce::AudioChannelSet::stereo();
    juce::AudioProcessor::BusesLayout layout;
    layout.inputBuses.add (channelSet);
    layout.outputBuses.add (channelSet);
    layoutAccepted = processor.setBusesLayout (layout);

    for (size_t i = 0; i < KnobSettings::parameterIds.size(); ++i)
    {
        auto* parameter = processor.valueTreeState.getParameter (KnobSettings::parameterIds[i]);
        parameter->setValueNotifyingHost (parameter->convertTo0to1 (knobs.valueFor ((int) i)));
    }

    processor.setPlayHead (&playHead);
    processor.setNonRealtime (true);
    processor.setRateAndBufferSizeDetails (sampleRate, blockSize);
    processor.prepareToPlay (sampleRate, blockSize);
}

OfflineHost::~OfflineHost()
{
    processor.releaseResources();
    processor.setPlayHead (nullptr);
}

void OfflineHost::process (juce::AudioBuffer<float>& block)
{
    {
        const juce::ScopedLock lock (processor.getCallbackLock());
        processor.processBlock (block, midi);
    }
    playHead.advance (block.getNumSamples());
}
} // namespace tools
