#include "AudioSource.h"

#include "Failure.h"

#include <functional>

namespace tools
{
namespace
{
constexpr double lowestRate = 8000.0;
constexpr double highestRate = 384000.0;

// The silence after the end, and what is left of the source before it.
void readWithSilenceAfter (juce::AudioBuffer<float>& block, int numSamples, juce::int64 position, juce::int64 length,
                           const std::function<void (int available)>& readAvailable)
{
    const auto available = (int) juce::jlimit<juce::int64> (0, numSamples, length - position);
    if (available > 0)
        readAvailable (available);
    block.clear (available, numSamples - available);
}

class FileSource final : public AudioSource
{
public:
    FileSource (std::unique_ptr<juce::AudioFormatReader> r, const juce::File& f) : reader (std::move (r)), file (f) {}

    double getSampleRate() const override { return reader->sampleRate; }
    int getNumChannels() const override { return (int) reader->numChannels; }
    juce::int64 getLength() const override { return reader->lengthInSamples; }
    juce::String getDescription() const override { return file.getFileName(); }

    void read (juce::AudioBuffer<float>& block, int numSamples, juce::int64 position) override
    {
        readWithSilenceAfter (block, numSamples, position, getLength(), [&] (int available)
        {
            if (! reader->read (&block, 0, available, position, true, true))
                throw Failure ("cannot read " + file.getFullPathName().toStdString() + " (damaged or truncated?)");
        });
    }

private:
    std::unique_ptr<juce::AudioFormatReader> reader;
    juce::File file;
};

class BufferSource final : public AudioSource
{
public:
    BufferSource (juce::AudioBuffer<float> s, double rate, const juce::String& text)
        : samples (std::move (s)), sampleRate (rate), description (text)
    {
    }

    double getSampleRate() const override { return sampleRate; }
    int getNumChannels() const override { return samples.getNumChannels(); }
    juce::int64 getLength() const override { return samples.getNumSamples(); }
    juce::String getDescription() const override { return description; }

    void read (juce::AudioBuffer<float>& block, int numSamples, juce::int64 position) override
    {
        readWithSilenceAfter (block, numSamples, position, getLength(), [&] (int available)
        {
            for (int c = 0; c < block.getNumChannels(); ++c)
                block.copyFrom (c, 0, samples, c, (int) position, available);
        });
    }

private:
    juce::AudioBuffer<float> samples;
    double sampleRate;
    juce::String description;
};
} // namespace

std::unique_ptr<AudioSource> openInputFile (const juce::File& file)
{
    const auto path = file.getFullPathName().toStdString();
    if (file.isDirectory())
        throw Failure (path + " is a folder, not an audio file");
    if (! file.existsAsFile())
        throw Failure (path + ": no such file");
    if (! file.hasReadAccess() || ! juce::FileInputStream (file).openedOk())
        throw Failure ("cannot read " + path + ": permission denied");

    juce::AudioFormatManager formats;
    formats.registerBasicFormats();
    std::unique_ptr<juce::AudioFormatReader> reader (formats.createReaderFor (file));
    if (reader == nullptr)
        throw Failure (path + " is not a WAV, AIFF, FLAC or Ogg Vorbis file, or it is damaged");

    const auto channels = (int) reader->numChannels;
    if (channels < 1 || channels > 2)
        throw Failure (path + " has " + std::to_string (channels) + " channels; VELLOMIRE takes mono or stereo");
    if (! (reader->sampleRate >= lowestRate && reader->sampleRate <= highestRate))
        throw Failure (path + " is at " + juce::String (reader->sampleRate).toStdString()
                       + " Hz; VELLOMIRE renders at " + std::to_string ((int) lowestRate) + " to "
                       + std::to_string ((int) highestRate) + " Hz");
    if (reader->lengthInSamples < 0)
        throw Failure (path + " does not say how long it is (damaged?)");

    return std::make_unique<FileSource> (std::move (reader), file);
}

std::unique_ptr<AudioSource> makeBufferSource (juce::AudioBuffer<float> samples, double sampleRate,
                                               const juce::String& description)
{
    return std::make_unique<BufferSource> (std::move (samples), sampleRate, description);
}
} // namespace tools
