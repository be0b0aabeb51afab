#pragma once

// The renderer's command line. Every value is checked here, before any file is opened, so a
// mistake costs nothing; the checks that need the files (formats, channel counts, existing
// outputs) come later, still before anything is written.

#include "OfflineHost.h"

#include <optional>
#include <string>
#include <vector>

namespace tools
{
enum class SampleFormat { float32, int24, int16 };

struct RenderOptions
{
    juce::File input;  // unset with --demo
    juce::File output;
    std::optional<juce::File> spectrogram;
    bool demo = false;
    KnobSettings knobs;
    TransportSettings transport;
    int blockSize = 512;
    std::optional<double> tailSeconds; // the plug-in's own tail when unset
    std::optional<SampleFormat> format; // the output format's best when unset
    bool force = false;
    bool quiet = false;
    bool showHelp = false;
    bool showVersion = false;
};

// Throws a usage Failure for anything it cannot accept. Relative paths are taken from the
// current folder.
RenderOptions parseRenderOptions (const std::vector<std::string>& arguments);

std::string renderUsage();

int bitsPerSample (SampleFormat format) noexcept;
std::string describe (SampleFormat format);
} // namespace tools
