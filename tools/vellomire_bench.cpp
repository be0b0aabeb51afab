// vellomire-bench: what VELLOMIRE costs. For every case (sample rate, channels, block size,
// knob settings, transport) it runs the whole processor the way a host does, times every stage
// on its own, and prints one JSON line. See `vellomire-bench --help`.

#include "StageTiming.h"
#include "render/Arguments.h"
#include "render/Failure.h"
#include "render/OfflineHost.h"
#include "render/ProgressBar.h"

#include <cstdio>
#include <iostream>
#include <sstream>

using namespace tools;

namespace
{
constexpr double benchTempo = 120.0;
constexpr double warmUpSeconds = 2.0;

struct Case
{
    double sampleRate;
    int channels;
    int blockSize;
    std::string knobsName;
    bool playing;
};

struct BenchOptions
{
    std::vector<double> rates { 44100.0, 48000.0, 96000.0 };
    std::vector<int> channels { 1, 2 };
    std::vector<int> blockSizes { 32, 512, 4096 };
    std::vector<std::string> knobs { "default", "extreme" };
    std::vector<std::string> transports { "stopped", "playing" };
    double seconds = 5.0;
    int repeats = 3;
};

KnobSettings knobSettingsNamed (const std::string& name)
{
    if (name == "extreme")
        return { 100.0f, 100.0f, 100.0f, 100.0f };
    return KnobSettings::defaults();
}

// Runs the input through the host block by block, from inputPosition on, looping it; returns
// the seconds spent inside the plug-in's processBlock.
double processFrames (OfflineHost& host, const bench::Stereo& input, juce::AudioBuffer<float>& block,
                      size_t frames, size_t& inputPosition)
{
    const auto blockSize = (size_t) block.getNumSamples();
    const float* sides[] { input.left.data(), input.right.data() };
    double seconds = 0.0;
    for (size_t done = 0; done < frames; done += blockSize)
    {
        for (size_t i = 0; i < blockSize;)
        {
            const size_t from = (inputPosition + i) % input.size();
            const size_t count = std::min (blockSize - i, input.size() - from);
            for (int c = 0; c < block.getNumChannels(); ++c)
                block.copyFrom (c, (int) i, sides[c] + from, (int) count);
            i += count;
        }
        inputPosition += blockSize;

        const double start = secondsNow();
        host.process (block);
        seconds += secondsNow() - start;
    }
    return seconds;
}

// Nanoseconds per frame of the whole processBlock: the best of several runs over the input,
// after a warm-up that fills the delay lines and lets the reverb build up.
double timeWholeChain (const Case& c, const bench::Stereo& input, int repeats)
{
    OfflineHost host (c.channels, c.sampleRate, c.blockSize, knobSettingsNamed (c.knobsName), { benchTempo, c.playing });
    juce::AudioBuffer<float> block (c.channels, c.blockSize);
    size_t position = 0;
    processFrames (host, input, block, (size_t) (warmUpSeconds * c.sampleRate), position);

    double best = 1.0e30;
    for (int r = 0; r < repeats; ++r)
        best = std::min (best, processFrames (host, input, block, input.size(), position));

    const auto blocks = (input.size() + (size_t) c.blockSize - 1) / (size_t) c.blockSize;
    return best * 1.0e9 / (double) (blocks * (size_t) c.blockSize);
}

bench::StageSettings stageSettingsFor (const Case& c, int repeats)
{
    const auto knobs = knobSettingsNamed (c.knobsName);
    bench::StageSettings s;
    s.sampleRate = c.sampleRate;
    s.numChannels = c.channels;
    s.blockSize = c.blockSize;
    s.space = knobs.space * 0.01f;
    s.filter = knobs.shimmer * 0.01f;
    s.grain = knobs.grain * 0.01f;
    s.wash = knobs.wash * 0.01f;
    s.samplesPerBeat = (float) (60.0 / benchTempo * c.sampleRate);
    s.playing = c.playing;
    s.repeats = repeats;
    return s;
}

std::string caseJson (const Case& c, double wholeNs, const std::vector<bench::StageCost>& stages)
{
    std::ostringstream json;
    json << juce::String::formatted ("{\"rate\": %g, \"channels\": %d, \"block\": %d, \"knobs\": \"%s\", \"transport\": \"%s\", "
                                     "\"ns_per_frame\": %.1f, \"realtime_factor\": %.1f, \"stages\": [",
                                     c.sampleRate, c.channels, c.blockSize, c.knobsName.c_str(),
                                     c.playing ? "playing" : "stopped", wholeNs, 1.0e9 / c.sampleRate / wholeNs);
    double stageSum = 0.0;
    for (size_t k = 0; k < stages.size(); ++k)
    {
        stageSum += stages[k].nsPerFrame;
        json << (k > 0 ? ", " : "")
             << juce::String::formatted ("{\"name\": \"%s\", \"ns_per_frame\": %.1f, \"share\": %.3f}",
                                         stages[k].name.c_str(), stages[k].nsPerFrame, stages[k].nsPerFrame / wholeNs);
    }
    // What the stages timed alone do not account for: the block driver, smoothing and the
    // hand-offs between stages (negative when the stages run slower alone than together).
    json << juce::String::formatted ("], \"rest_share\": %.3f}", (wholeNs - stageSum) / wholeNs);
    return json.str();
}

template <typename T>
std::vector<T> parseList (const std::string& option, const std::string& text, const std::vector<T>& allowed)
{
    std::vector<T> values;
    std::stringstream stream (text);
    for (std::string item; std::getline (stream, item, ',');)
    {
        T value {};
        std::stringstream itemStream (item);
        if (! (itemStream >> value) || ! itemStream.eof()
            || std::find (allowed.begin(), allowed.end(), value) == allowed.end())
            throw usageFailure (option + ": '" + item + "' is not one of the cases (see --help)");
        values.push_back (value);
    }
    if (values.empty())
        throw usageFailure (option + " needs a value");
    return values;
}

std::string benchUsage()
{
    return R"(Usage: vellomire-bench [options]

Prints one JSON line per case:
  ns_per_frame     nanoseconds of the whole processBlock per sample frame (one sample per
                   channel), the plug-in run as a host runs it, play head at 120 BPM
  realtime_factor  seconds of audio one CPU core processes per second
  stages           each stage timed on its own on what it sees in the chain: its
                   ns_per_frame and its share of the whole
  rest_share       the share left to the block driver, smoothing and hand-offs
The input is music-like: half-second noise bursts that decay into near silence. Every figure
is the best of several runs. Run it on an idle machine.

Cases (comma-separated lists; all of them when left out):
  --rate 44100,48000,96000   --channels 1,2   --block 32,512,4096
  --knobs default,extreme    (extreme: all four knobs at 100)
  --transport stopped,playing

  --seconds S    audio per timed run, 0.5 to 600 (default 5)
  --repeats N    timed runs per figure, 1 to 100 (default 3)
  -h, --help
)";
}

BenchOptions parseBenchOptions (const std::vector<std::string>& arguments)
{
    BenchOptions options;
    const BenchOptions all;
    for (size_t i = 0; i < arguments.size(); ++i)
    {
        const auto& name = arguments[i];
        if (name.rfind ("--", 0) != 0)
            throw usageFailure ("unknown argument '" + name + "' (see --help)");
        if (i + 1 >= arguments.size())
            throw usageFailure (name + " needs a value");
        const auto& value = arguments[++i];
        if (name == "--rate")
            options.rates = parseList (name, value, all.rates);
        else if (name == "--channels")
            options.channels = parseList (name, value, all.channels);
        else if (name == "--block")
            options.blockSizes = parseList (name, value, all.blockSizes);
        else if (name == "--knobs")
            options.knobs = parseList (name, value, all.knobs);
        else if (name == "--transport")
            options.transports = parseList (name, value, all.transports);
        else if (name == "--seconds")
            options.seconds = parseNumber (name, value, 0.5, 600.0);
        else if (name == "--repeats")
            options.repeats = parseWholeNumber (name, value, 1, 100);
        else
            throw usageFailure ("unknown option '" + name + "' (see --help)");
    }
    return options;
}

std::vector<Case> casesFor (const BenchOptions& options)
{
    std::vector<Case> cases;
    for (const double rate : options.rates)
        for (const int channels : options.channels)
            for (const int block : options.blockSizes)
                for (const auto& knobs : options.knobs)
                    for (const auto& transport : options.transports)
                        cases.push_back ({ rate, channels, block, knobs, transport == "playing" });
    return cases;
}

void runCase (const Case& c, const BenchOptions& options)
{
    const auto input = bench::makeMusicLikeInput (c.sampleRate, options.seconds);
    const double wholeNs = timeWholeChain (c, input, options.repeats);
    const auto stages = bench::timeStages (input, stageSettingsFor (c, options.repeats));
    std::printf ("%s\n", caseJson (c, wholeNs, stages).c_str());
    std::fflush (stdout);
}
} // namespace

int main (int argc, char* argv[])
{
    const std::vector<std::string> arguments (argv + 1, argv + argc);
    if (std::find_if (arguments.begin(), arguments.end(), [] (auto& a) { return a == "-h" || a == "--help"; }) != arguments.end())
    {
        std::cout << benchUsage();
        return 0;
    }
    try
    {
        const auto options = parseBenchOptions (arguments);
        for (const auto& c : casesFor (options))
            runCase (c, options);
        return 0;
    }
    catch (const Failure& failure)
    {
        std::fprintf (stderr, "vellomire-bench: %s\n", failure.what());
        return failure.exitCode;
    }
}
