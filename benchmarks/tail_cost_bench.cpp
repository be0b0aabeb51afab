// Cost per block while the plug-in plays, while its tail decays, and in long silence after it.
// A reverb whose cost rises as the tail fades is computing on denormal numbers: this program
// prints the figures that show whether it does.
//
//   vellomire-tail-bench [seconds of silence after the tail]   (default 60)
//
// For two settings (the defaults, and every knob at 100 for the longest, densest tail) it plays
// 4 s of noise, then silence, and prints per phase the median and the slowest 1 % of block times
// (512-sample stereo blocks at 48 kHz), the median's ratio to the playing phase and the output's
// peak, and when the output became exactly silent. It exits with 1 if the output was ever
// non-finite.

#include "PluginProcessor.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace
{
constexpr double sampleRate = 48000.0;
constexpr int blockSize = 512;
constexpr double playSeconds = 4.0;

struct Phase
{
    const char* name;
    double from, to; // seconds after the input stops; the playing phase is before 0
};

struct Run
{
    std::vector<double> blockMicroseconds; // one per block, in order
    std::vector<float> blockPeaks;         // largest output magnitude per block
    bool finite = true;
    double silentFrom = -1.0; // seconds after the input stops from which every output sample is 0
};

Run play (float knobs, double silenceSeconds)
{
    VellomireAudioProcessor processor;
    if (knobs >= 0.0f)
        for (const char* id : { "SPACE", "FILTER", "GRAIN", "WASH" })
        {
            auto* parameter = processor.valueTreeState.getParameter (id);
            parameter->setValueNotifyingHost (parameter->convertTo0to1 (knobs));
        }
    processor.prepareToPlay (sampleRate, blockSize);

    const int playBlocks = (int) (playSeconds * sampleRate / blockSize);
    const int totalBlocks = playBlocks + (int) (silenceSeconds * sampleRate / blockSize);
    juce::AudioBuffer<float> buffer (2, blockSize);
    juce::MidiBuffer midi;
    juce::Random random (99);
    Run run;
    int lastLoudBlock = playBlocks - 1;
    for (int b = 0; b < totalBlocks; ++b)
    {
        for (int c = 0; c < 2; ++c)
            for (int i = 0; i < blockSize; ++i)
                buffer.setSample (c, i, b < playBlocks ? 0.5f * (2.0f * random.nextFloat() - 1.0f) : 0.0f);

        const auto start = std::chrono::steady_clock::now();
        processor.processBlock (buffer, midi);
        const auto end = std::chrono::steady_clock::now();
        run.blockMicroseconds.push_back (std::chrono::duration<double, std::micro> (end - start).count());

        float peak = 0.0f;
        for (int c = 0; c < 2; ++c)
        {
            for (int i = 0; i < blockSize; ++i)
            {
                const float y = buffer.getSample (c, i);
                run.finite = run.finite && std::isfinite (y);
                peak = std::max (peak, std::abs (y));
            }
        }
        run.blockPeaks.push_back (peak);
        if (peak != 0.0f)
            lastLoudBlock = b;
    }
    if (lastLoudBlock < totalBlocks - 1)
        run.silentFrom = (lastLoudBlock + 1 - playBlocks) * blockSize / sampleRate;
    return run;
}

double percentile (std::vector<double> values, double p)
{
    std::sort (values.begin(), values.end());
    return values[std::min (values.size() - 1, (size_t) (p * (double) values.size()))];
}

// The blocks of one phase: [first, last).
std::pair<size_t, size_t> blocksOf (const Run& run, const Phase& phase)
{
    const auto blockAt = [&] (double seconds) {
        return std::clamp ((long) ((seconds + playSeconds) * sampleRate / blockSize), 0L, (long) run.blockMicroseconds.size());
    };
    return { (size_t) blockAt (phase.from), (size_t) std::max (blockAt (phase.from), blockAt (phase.to)) };
}
} // namespace

int main (int argc, char** argv)
{
    const double silenceSeconds = argc > 1 ? std::max (20.0, std::atof (argv[1])) : 60.0;
    const Phase phases[] = {
        { "playing", -playSeconds, 0.0 }, { "decay 0-1 s", 0.0, 1.0 },  { "decay 1-2 s", 1.0, 2.0 },
        { "decay 2-4 s", 2.0, 4.0 },      { "decay 4-8 s", 4.0, 8.0 },  { "decay 8-12 s", 8.0, 12.0 },
        { "decay 12-20 s", 12.0, 20.0 },  { "long silence", 20.0, silenceSeconds },
    };

    bool ok = true;
    for (float knobs : { -1.0f, 100.0f })
    {
        const auto run = play (knobs, silenceSeconds);
        std::printf ("\n%s, 512-sample stereo blocks at 48 kHz (real time allows %.0f us)\n",
                     knobs < 0.0f ? "default settings" : "every knob at 100", 1e6 * blockSize / sampleRate);
        std::printf ("  %-15s %12s %12s %10s %14s\n", "phase", "median us", "slowest 1%", "vs playing", "peak dBFS");
        const auto [playFirst, playLast] = blocksOf (run, phases[0]);
        const double playing = percentile ({ run.blockMicroseconds.begin() + (long) playFirst, run.blockMicroseconds.begin() + (long) playLast }, 0.5);
        for (const auto& phase : phases)
        {
            const auto [first, last] = blocksOf (run, phase);
            if (first == last)
                continue;
            const std::vector<double> times (run.blockMicroseconds.begin() + (long) first, run.blockMicroseconds.begin() + (long) last);
            const float peak = *std::max_element (run.blockPeaks.begin() + (long) first, run.blockPeaks.begin() + (long) last);
            const double median = percentile (times, 0.5);
            std::printf ("  %-15s %12.1f %12.1f %9.2fx %14.1f\n", phase.name, median, percentile (times, 0.99), median / playing,
                         peak > 0.0f ? 20.0 * std::log10 (peak) : -HUGE_VAL);
        }
        if (run.silentFrom >= 0.0)
        {
            std::printf ("  output exactly silent from %.2f s after the input stopped\n", run.silentFrom);
        }
        else
        {
            const auto lastSecond = run.blockPeaks.end() - (long) (sampleRate / blockSize);
            std::printf ("  output not exactly silent yet; peak of the last second %.1f dBFS\n",
                         20.0 * std::log10 (*std::max_element (lastSecond, run.blockPeaks.end())));
        }
        if (! run.finite)
            std::printf ("  FAULT: non-finite output\n");
        ok = ok && run.finite;
    }
    return ok ? 0 : 1;
}
