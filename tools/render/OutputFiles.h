#pragma once

// The renderer's outputs: which audio format a file name asks for, the checks a destination has
// to pass before any work starts, and the writers that fill the temporary files.

#include "PendingFile.h"
#include "RenderOptions.h"

#include <juce_audio_formats/juce_audio_formats.h>
#include <juce_graphics/juce_graphics.h>

#include <memory>
#include <vector>

namespace tools
{
struct AudioOutputPlan
{
    std::unique_ptr<juce::AudioFormat> format;
    std::string name; // WAV, AIFF, FLAC
    SampleFormat sampleFormat;

    bool clipsAtFullScale() const noexcept { return sampleFormat != SampleFormat::float32; }
};

// The format from the file name's extension (.wav, .aif/.aiff, .flac) and the sample format:
// the requested one, or 32-bit float where the format has it and 24-bit otherwise. Throws a
// usage Failure for an unknown extension or a sample format the file format cannot hold.
AudioOutputPlan planAudioOutput (const juce::File& file, std::optional<SampleFormat> requested);

// A file an output must not be, and what it is ("input", "output").
struct OtherFile
{
    juce::File file;
    std::string role;
};

// Throws a Failure unless the file can be written: none of the other files, not a folder, not
// an existing file unless replacing is allowed, in an existing folder we may write to.
void checkDestination (const juce::File& file, const std::vector<OtherFile>& others, bool replaceExisting);

// Throws a Failure unless the file name ends in .png.
void checkPngName (const juce::File& file);

// Both write into the pending file's temporary file.
std::unique_ptr<juce::AudioFormatWriter> createAudioWriter (const AudioOutputPlan& plan, const PendingFile& file,
                                                            double sampleRate, int numChannels);
void writePng (const juce::Image& image, const PendingFile& file);
} // namespace tools
