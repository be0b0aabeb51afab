#pragma once

// Where the renderer's dry signal comes from: an audio file, read as it streams, or a buffer
// made in memory (the demo phrase). Past its end a source reads as silence, which is what the
// plug-in's tail is rendered from.

#include <juce_audio_formats/juce_audio_formats.h>

#include <memory>

namespace tools
{
class AudioSource
{
public:
    virtual ~AudioSource() = default;

    virtual double getSampleRate() const = 0;
    virtual int getNumChannels() const = 0;
    virtual juce::int64 getLength() const = 0;
    // What the picture and the summary call it.
    virtual juce::String getDescription() const = 0;

    // Fills numSamples of every channel of block from position on; throws Failure when the
    // source cannot be read.
    virtual void read (juce::AudioBuffer<float>& block, int numSamples, juce::int64 position) = 0;
};

// Opens an input file, with a Failure for everything the renderer cannot take: missing,
// unreadable, not audio, more than two channels, a sample rate outside 8 to 384 kHz.
std::unique_ptr<AudioSource> openInputFile (const juce::File& file);

std::unique_ptr<AudioSource> makeBufferSource (juce::AudioBuffer<float> samples, double sampleRate,
                                               const juce::String& description);
} // namespace tools
