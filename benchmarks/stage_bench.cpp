// Times every stage of the signal chain on its own, at 48 kHz stereo, and prints the cost in
// nanoseconds per sample frame (one left and one right sample).
//
// Each stage is fed what it would see in the plug-in: a music-like input (noise bursts with
// decaying envelopes and silent gaps) is rendered once through the chain, untimed, and every
// stage is then timed on its own inputs, block by block as the block driver calls it.
//
// Adding a stage: render its input in renderChain() if the chain does not hold it yet, then add
// a timeStage() call in main() whose lambda does one block of the stage's work.

#include <juce_audio_basics/juce_audio_basics.h>

#include "dsp/LevelFollower.h"
#include "dsp/MultiTapSpace.h"
#include "dsp/PlateFDN.h"
#include "dsp/ReverbInputFilter.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <random>
#include <vector>

namespace
{
constexpr double sampleRate = 48000.0;
constexpr int blockSize = 512;
constexpr int numChannels = 2;
constexpr float space = 0.65f; // the default "Space"
constexpr float samplesPerBeat = 24000.0f; // 120 BPM
constexpr int seconds = 10;
constexpr int repeats = 5;

struct Stereo
{
    std::vector<float> left, right;

    explicit Stereo (size_t length) : left (length), right (length) {}
    size_t size() const { return left.size(); }
};

// Half-second phrases: a burst of noise that decays over 300 ms, then near silence.
Stereo makeMusicLikeInput()
{
    Stereo x ((size_t) (seconds * sampleRate));
    std::mt19937 rng (1234);
    std::normal_distribution<float> noise (0.0f, 0.15f);
    const auto phrase = (size_t) (0.5 * sampleRate);
    for (size_t i = 0; i < x.size(); ++i)
    {
        const auto envelope = (float) std::exp (-(double) (i % phrase) / (0.1 * sampleRate));
        x.left[i] = envelope * noise (rng);
        x.right[i] = 0.7f * x.left[i] + envelope * noise (rng);
    }
    return x;
}

// Every signal a stage of the chain reads, rendered once through the chain.
struct Chain
{
    Stereo dry, multiTap, reverbIn, diffused;

    explicit Chain (size_t length) : dry (length), multiTap (length), reverbIn (length), diffused (length) {}
};

Chain renderChain (const Stereo& input)
{
    Chain chain (input.size());
    chain.dry = input;

    dsp::MultiTapSpace multiTap;
    dsp::ReverbInputFilter reverbInput;
    dsp::PlateFDN plate;
    multiTap.prepare (sampleRate);
    reverbInput.prepare (sampleRate);
    plate.prepare (sampleRate);
    const float noFeedback[] { 0.0f, 0.0f };

    for (size_t i = 0; i < input.size(); ++i)
    {
        if (i % blockSize == 0)
        {
            plate.updateDecay (space);
            plate.updateTargets (space);
        }
        const float dry[] { input.left[i], input.right[i] };
        float signal[] { dry[0], dry[1] };
        multiTap.process (signal, space, samplesPerBeat, numChannels);
        chain.multiTap.left[i] = signal[0];
        chain.multiTap.right[i] = signal[1];

        reverbInput.process (dry, signal, noFeedback, signal, numChannels);
        chain.reverbIn.left[i] = signal[0];
        chain.reverbIn.right[i] = signal[1];

        plate.processInput (signal, numChannels);
        chain.diffused.left[i] = signal[0];
        chain.diffused.right[i] = signal[1];
    }
    return chain;
}

// Runs blockWork over the whole input in blocks (start, count), several times, and prints the
// best time per sample frame: the best run is the one least disturbed by the rest of the machine.
void timeStage (const char* name, size_t length, const std::function<void (size_t start, size_t count)>& blockWork)
{
    double best = 1.0e30;
    for (int r = 0; r < repeats; ++r)
    {
        const auto begin = std::chrono::steady_clock::now();
        for (size_t start = 0; start < length; start += blockSize)
            blockWork (start, std::min ((size_t) blockSize, length - start));
        const std::chrono::duration<double, std::nano> elapsed = std::chrono::steady_clock::now() - begin;
        best = std::min (best, elapsed.count() / (double) length);
    }
    std::printf ("%-40s %8.1f ns/sample\n", name, best);
}

// Keeps the optimiser from dropping work whose result is otherwise unused.
volatile float sink = 0.0f;
} // namespace

int main()
{
    // The plug-in flushes denormals for the whole block; so do we.
    juce::ScopedNoDenormals noDenormals;

    const auto input = makeMusicLikeInput();
    const auto chain = renderChain (input);
    const auto length = input.size();
    std::printf ("Stage cost at %.0f Hz, stereo, blocks of %d, \"Space\" %.2f, %d s of audio, best of %d\n",
                 sampleRate, blockSize, (double) space, seconds, repeats);

    {
        dsp::LevelFollower follower;
        follower.prepare (sampleRate);
        timeStage ("LevelFollower", length, [&] (size_t start, size_t count) {
            float gain = 0.0f;
            for (size_t i = start; i < start + count; ++i)
            {
                const float x[] { chain.dry.left[i], chain.dry.right[i] };
                gain += follower.process (dsp::LevelFollower::inputLevel (x, numChannels));
            }
            sink = gain;
        });
    }
    {
        dsp::MultiTapSpace multiTap;
        multiTap.prepare (sampleRate);
        timeStage ("MultiTapSpace", length, [&] (size_t start, size_t count) {
            for (size_t i = start; i < start + count; ++i)
            {
                float signal[] { chain.dry.left[i], chain.dry.right[i] };
                multiTap.process (signal, space, samplesPerBeat, numChannels);
                sink = signal[0];
            }
        });
    }
    {
        dsp::ReverbInputFilter reverbInput;
        reverbInput.prepare (sampleRate);
        const float noFeedback[] { 0.0f, 0.0f };
        timeStage ("ReverbInputFilter", length, [&] (size_t start, size_t count) {
            for (size_t i = start; i < start + count; ++i)
            {
                const float dry[] { chain.dry.left[i], chain.dry.right[i] };
                const float multiTap[] { chain.multiTap.left[i], chain.multiTap.right[i] };
                float out[2];
                reverbInput.process (dry, multiTap, noFeedback, out, numChannels);
                sink = out[0];
            }
        });
    }
    {
        dsp::PlateFDN plate;
        plate.prepare (sampleRate);
        timeStage ("PlateFDN input (pre-delay, diffusers)", length, [&] (size_t start, size_t count) {
            plate.updateTargets (space);
            for (size_t i = start; i < start + count; ++i)
            {
                float signal[] { chain.reverbIn.left[i], chain.reverbIn.right[i] };
                plate.processInput (signal, numChannels);
                sink = signal[0];
            }
        });
    }
    {
        dsp::PlateFDN plate;
        plate.prepare (sampleRate);
        timeStage ("PlateFDN network", length, [&] (size_t start, size_t count) {
            plate.updateDecay (space);
            plate.updateTargets (space);
            for (size_t i = start; i < start + count; ++i)
            {
                float signal[] { chain.diffused.left[i], chain.diffused.right[i] };
                plate.processNetwork (signal, numChannels);
                sink = signal[0];
            }
        });
    }
    return 0;
}
