#include "RenderOptions.h"

#include "Arguments.h"
#include "Failure.h"

#include <functional>
#include <map>

namespace tools
{
namespace
{
constexpr double maxTailSeconds = 600.0;
constexpr int maxBlockSize = 65536;

SampleFormat parseFormat (const std::string& text)
{
    if (text == "f32")
        return SampleFormat::float32;
    if (text == "s24")
        return SampleFormat::int24;
    if (text == "s16")
        return SampleFormat::int16;
    throw usageFailure ("--format: '" + text + "' is not one of f32, s24, s16");
}

juce::File fileFromArgument (const std::string& path)
{
    return juce::File::getCurrentWorkingDirectory().getChildFile (juce::String::fromUTF8 (path.c_str()));
}

using ValueSetter = std::function<void (RenderOptions&, const std::string& option, const std::string& value)>;
using FlagSetter = std::function<void (RenderOptions&)>;

const std::map<std::string, ValueSetter>& valueOptions()
{
    static const std::map<std::string, ValueSetter> options {
        { "--space", [] (auto& o, auto& n, auto& v) { o.knobs.space = (float) parseNumber (n, v, 0, 100); } },
        { "--shimmer", [] (auto& o, auto& n, auto& v) { o.knobs.shimmer = (float) parseNumber (n, v, 0, 100); } },
        { "--grain", [] (auto& o, auto& n, auto& v) { o.knobs.grain = (float) parseNumber (n, v, 0, 100); } },
        { "--wash", [] (auto& o, auto& n, auto& v) { o.knobs.wash = (float) parseNumber (n, v, 0, 100); } },
        { "--tempo", [] (auto& o, auto& n, auto& v) { o.transport.bpm = parseNumber (n, v, 1, 999); } },
        { "--block", [] (auto& o, auto& n, auto& v) { o.blockSize = parseWholeNumber (n, v, 1, maxBlockSize); } },
        { "--tail", [] (auto& o, auto& n, auto& v) { o.tailSeconds = parseNumber (n, v, 0, maxTailSeconds); } },
        { "--format", [] (auto& o, auto&, auto& v) { o.format = parseFormat (v); } },
        { "--spectrogram", [] (auto& o, auto&, auto& v) { o.spectrogram = fileFromArgument (v); } },
    };
    return options;
}

const std::map<std::string, FlagSetter>& flagOptions()
{
    static const std::map<std::string, FlagSetter> options {
        { "--playing", [] (auto& o) { o.transport.playing = true; } },
        { "--demo", [] (auto& o) { o.demo = true; } },
        { "--force", [] (auto& o) { o.force = true; } },
        { "-f", [] (auto& o) { o.force = true; } },
        { "--quiet", [] (auto& o) { o.quiet = true; } },
        { "-q", [] (auto& o) { o.quiet = true; } },
        { "--help", [] (auto& o) { o.showHelp = true; } },
        { "-h", [] (auto& o) { o.showHelp = true; } },
        { "--version", [] (auto& o) { o.showVersion = true; } },
    };
    return options;
}

// "--name=value" or "--name value"; returns the index of the last argument used.
size_t applyOption (RenderOptions& options, const std::vector<std::string>& arguments, size_t index)
{
    const auto& argument = arguments[index];
    const auto equals = argument.find ('=');
    const auto name = argument.substr (0, equals);

    if (const auto flag = flagOptions().find (name); flag != flagOptions().end())
    {
        if (equals != std::string::npos)
            throw usageFailure (name + " takes no value");
        flag->second (options);
        return index;
    }

    const auto setter = valueOptions().find (name);
    if (setter == valueOptions().end())
        throw usageFailure ("unknown option '" + name + "' (see --help)");

    if (equals != std::string::npos)
    {
        setter->second (options, name, argument.substr (equals + 1));
        return index;
    }
    if (index + 1 >= arguments.size())
        throw usageFailure (name + " needs a value");
    setter->second (options, name, arguments[index + 1]);
    return index + 1;
}

void assignFiles (RenderOptions& options, const std::vector<std::string>& files)
{
    const size_t expected = options.demo ? 1 : 2;
    if (files.size() != expected)
        throw usageFailure (options.demo ? "--demo takes one file, the output (see --help)"
                                         : "expected an input and an output file (see --help)");
    if (! options.demo)
        options.input = fileFromArgument (files[0]);
    options.output = fileFromArgument (files.back());
}
} // namespace

RenderOptions parseRenderOptions (const std::vector<std::string>& arguments)
{
    RenderOptions options;
    options.knobs = KnobSettings::defaults();

    std::vector<std::string> files;
    bool optionsEnded = false;
    for (size_t i = 0; i < arguments.size(); ++i)
    {
        const auto& argument = arguments[i];
        if (optionsEnded || argument.size() < 2 || argument[0] != '-')
            files.push_back (argument);
        else if (argument == "--")
            optionsEnded = true;
        else
            i = applyOption (options, arguments, i);
    }

    if (! options.showHelp && ! options.showVersion)
        assignFiles (options, files);
    return options;
}

std::string renderUsage()
{
    const auto defaults = KnobSettings::defaults();
    const auto knob = [] (const char* name, const char* meaning, float value)
    {
        return juce::String::formatted ("  --%-14s %-46s (default %g)\n", name, meaning, (double) value).toStdString();
    };

    return "Usage: vellomire-render IN OUT [options]\n"
           "       vellomire-render --demo OUT [options]\n\n"
           "Processes an audio file through VELLOMIRE exactly as a host does and writes the result,\n"
           "with the reverb's tail appended. WAV, AIFF and FLAC in and out (Ogg Vorbis in), mono or\n"
           "stereo, at the file's own sample rate.\n\n"
           "Knobs (percent, 0 to 100; the plug-in's defaults when left out):\n"
           + knob ("space N", "size, decay, pre-delay and wet level", defaults.space)
           + knob ("shimmer N", "shimmer amount and comb pitch", defaults.shimmer)
           + knob ("grain N", "grain length, grain mix and tempo gate", defaults.grain)
           + knob ("wash N", "tape drive, filtering, width, wet/dry balance", defaults.wash)
           + R"(
Host:
  --tempo BPM      tempo the host reports, 1 to 999 (the plug-in holds it to 40..300);
                   without it the host reports none and the plug-in runs at 120
  --playing        the transport runs from the start of the file (the gate follows it)
  --block N        samples per processing block, 1 to 65536 (default 512)

Output:
  --tail SECONDS   silence processed after the input, 0 to 600 (default: the plug-in's
                   own tail)
  --format F       f32, s24 or s16 (default f32 for WAV, s24 for AIFF and FLAC);
                   integer formats are not dithered and clip at 0 dBFS (with a warning)
  --spectrogram P  also draw before and after spectrograms into the PNG file P
  --demo           render a built-in phrase of plucked notes (48 kHz stereo) instead
                   of an input file
  -f, --force      replace OUT (and P) if they exist
  -q, --quiet      no progress bar and no summary

  -h, --help       this text
  --version        the plug-in's version

The output appears only once complete. Exit status: 0 done, 1 file or processing
error, 2 command-line error.
)";
}

int bitsPerSample (SampleFormat format) noexcept
{
    switch (format)
    {
        case SampleFormat::float32: return 32;
        case SampleFormat::int24: return 24;
        case SampleFormat::int16: return 16;
    }
    return 32;
}

std::string describe (SampleFormat format)
{
    switch (format)
    {
        case SampleFormat::float32: return "32-bit float";
        case SampleFormat::int24: return "24-bit";
        case SampleFormat::int16: return "16-bit";
    }
    return {};
}
} // namespace tools
