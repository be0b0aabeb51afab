// Times every stage of the signal chain on its own, at 48 kHz stereo, and prints the cost in
// nanoseconds per sample frame (one left and one right sample). Last it times the whole plug-in
// (processBlock, block driver included) and shows each stage's share of that.
//
// Each stage is fed what it would see in the plug-in: a music-like input (noise bursts with
// decaying envelopes and silent gaps) is rendered once through the chain, untimed, and every
// stage is then timed on its own inputs, block by block as the block driver calls it.
//
// Adding a stage: render its input in renderChain() if the chain does not hold it yet, then add
// a timeStage() call in main() whose lambda does one block of the stage's work.

#include <juce_audio_basics/juce_audio_basics.h>

#include "PluginProcessor.h"
#include "dsp/LevelFollower.h"
#include "dsp/MultiTapSpace.h"
#include "dsp/OutputStage.h"
#include "dsp/PlateFDN.h"
#include "dsp/ResoComb.h"
#include "dsp/ReverbInputFilter.h"
#include "dsp/Shimmer.h"
#include "dsp/TapeWash.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace
{
constexpr double sampleRate = 48000.0;
constexpr int blockSize = 512;
constexpr int numChannels = 2;
constexpr float space = 0.65f; // the default "Space"
constexpr float grain = 0.25f; // the default "Grain"
constexpr float filter = 0.35f; // the default "Shimmer"
constexpr float wash = 0.55f; // the default "Wash"
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
    Stereo dry, multiTap, reverbIn, diffused, reverbOut, grains, combs, wet, tape;
    std::vector<float> inputLevel, duckingGain;

    explicit Chain (size_t length)
        : dry (length), multiTap (length), reverbIn (length), diffused (length), reverbOut (length), grains (length),
          combs (length), wet (length), tape (length), inputLevel (length), duckingGain (length)
    {
    }
};

void store (Stereo& s, size_t i, const float* v)
{
    s.left[i] = v[0];
    s.right[i] = v[1];
}

Chain renderChain (const Stereo& input)
{
    Chain chain (input.size());
    chain.dry = input;

    dsp::LevelFollower follower;
    dsp::MultiTapSpace multiTap;
    dsp::ReverbInputFilter reverbInput;
    dsp::PlateFDN plate;
    dsp::Shimmer shimmer;
    dsp::ResoComb combs;
    dsp::TapeWash tapeWash;
    follower.prepare (sampleRate);
    multiTap.prepare (sampleRate);
    reverbInput.prepare (sampleRate);
    plate.prepare (sampleRate);
    shimmer.prepare (sampleRate);
    combs.prepare (sampleRate);
    tapeWash.prepare (sampleRate);
    float shimmerFeedback[] { 0.0f, 0.0f };

    for (size_t i = 0; i < input.size(); ++i)
    {
        if (i % blockSize == 0)
        {
            plate.updateDecay (space);
            plate.updateTargets (space);
            tapeWash.setForBlock (wash);
            combs.setForBlock (filter);
            shimmer.setForBlock (grain, samplesPerBeat, 0.0, false);
        }
        const float dry[] { input.left[i], input.right[i] };
        chain.inputLevel[i] = dsp::LevelFollower::inputLevel (dry, numChannels);
        chain.duckingGain[i] = follower.process (chain.inputLevel[i]);

        float taps[] { dry[0], dry[1] };
        multiTap.process (taps, space, samplesPerBeat, numChannels);
        store (chain.multiTap, i, taps);

        float signal[2];
        reverbInput.process (dry, taps, shimmerFeedback, signal, numChannels);
        store (chain.reverbIn, i, signal);

        plate.processInput (signal, numChannels);
        store (chain.diffused, i, signal);

        plate.processNetwork (signal, numChannels);
        store (chain.reverbOut, i, signal);

        float grains[2], combed[2], wet[2], tape[2];
        shimmer.writeInput (signal, numChannels);
        shimmer.processGrains (numChannels, grains);
        store (chain.grains, i, grains);
        combs.process (grains, combed, numChannels);
        store (chain.combs, i, combed);
        shimmer.updateBloom (chain.inputLevel[i], (int) (i % blockSize));
        shimmer.mixWet ({ grains, combed, signal, taps, filter, space }, numChannels, shimmerFeedback, wet);
        store (chain.wet, i, wet);
        tapeWash.process (wet, tape, numChannels);
        store (chain.tape, i, tape);
    }
    return chain;
}

// Runs blockWork over the whole input in blocks (start, count), several times, and prints the
// best time per sample frame: the best run is the one least disturbed by the rest of the machine.
std::vector<std::pair<std::string, double>> stageCosts;

double timeStage (const char* name, size_t length, const std::function<void (size_t start, size_t count)>& blockWork)
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
    stageCosts.emplace_back (name, best);
    return best;
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
    {
        dsp::Shimmer shimmer;
        shimmer.prepare (sampleRate);
        timeStage ("Shimmer grains", length, [&] (size_t start, size_t count) {
            shimmer.setForBlock (grain, samplesPerBeat, 0.0, false);
            for (size_t i = start; i < start + count; ++i)
            {
                const float reverbOut[] { chain.reverbOut.left[i], chain.reverbOut.right[i] };
                float grains[2];
                shimmer.writeInput (reverbOut, numChannels);
                shimmer.processGrains (numChannels, grains);
                sink = grains[0];
            }
        });
    }
    {
        dsp::ResoComb combs;
        combs.prepare (sampleRate);
        timeStage ("ResoComb", length, [&] (size_t start, size_t count) {
            combs.setForBlock (filter);
            for (size_t i = start; i < start + count; ++i)
            {
                const float grains[] { chain.grains.left[i], chain.grains.right[i] };
                float out[2];
                combs.process (grains, out, numChannels);
                sink = out[0];
            }
        });
    }
    {
        dsp::Shimmer shimmer;
        shimmer.prepare (sampleRate);
        timeStage ("Shimmer bloom and wet sum", length, [&] (size_t start, size_t count) {
            shimmer.setForBlock (grain, samplesPerBeat, 0.0, false);
            for (size_t i = start; i < start + count; ++i)
            {
                const float grains[] { chain.grains.left[i], chain.grains.right[i] };
                const float combed[] { chain.combs.left[i], chain.combs.right[i] };
                const float reverbOut[] { chain.reverbOut.left[i], chain.reverbOut.right[i] };
                const float taps[] { chain.multiTap.left[i], chain.multiTap.right[i] };
                float feedback[2], wet[2];
                shimmer.updateBloom (chain.inputLevel[i], (int) (i - start));
                shimmer.mixWet ({ grains, combed, reverbOut, taps, filter, space }, numChannels, feedback, wet);
                sink = wet[0] + feedback[0];
            }
        });
    }
    {
        dsp::TapeWash tapeWash;
        tapeWash.prepare (sampleRate);
        timeStage ("TapeWash", length, [&] (size_t start, size_t count) {
            tapeWash.setForBlock (wash);
            for (size_t i = start; i < start + count; ++i)
            {
                const float wet[] { chain.wet.left[i], chain.wet.right[i] };
                float out[2];
                tapeWash.process (wet, out, numChannels);
                sink = out[0];
            }
        });
    }
    {
        dsp::WetHighpass highpass;
        dsp::OutputCompressor compressor;
        highpass.prepare (sampleRate);
        compressor.prepare (sampleRate);
        timeStage ("Output stage", length, [&] (size_t start, size_t count) {
            for (size_t i = start; i < start + count; ++i)
            {
                const float tape[] { chain.tape.left[i], chain.tape.right[i] };
                const float dry[] { chain.dry.left[i], chain.dry.right[i] };
                float v[2], out[2];
                dsp::OutputStage::process (highpass, compressor, { tape, dry, chain.duckingGain[i], space, wash },
                                           numChannels, v, out);
                sink = out[0];
            }
        });
    }

    // The plug-in itself at its default settings, in place, block driver and smoothing included.
    double stageSum = 0.0;
    for (const auto& stage : stageCosts)
        stageSum += stage.second;
    VellomireAudioProcessor processor;
    processor.prepareToPlay (sampleRate, blockSize);
    juce::AudioBuffer<float> buffer (numChannels, blockSize);
    juce::MidiBuffer midi;
    const double whole = timeStage ("Whole chain (processBlock)", length, [&] (size_t start, size_t count) {
        buffer.setSize (numChannels, (int) count, false, false, true);
        buffer.copyFrom (0, 0, input.left.data() + start, (int) count);
        buffer.copyFrom (1, 0, input.right.data() + start, (int) count);
        processor.processBlock (buffer, midi);
        sink = buffer.getSample (0, 0);
    });

    std::printf ("\nShare of the whole chain (%.1f ns/sample; the stages alone sum to %.1f):\n", whole, stageSum);
    for (size_t k = 0; k + 1 < stageCosts.size(); ++k)
        std::printf ("%-40s %7.1f %%\n", stageCosts[k].first.c_str(), 100.0 * stageCosts[k].second / whole);
    std::printf ("%-40s %7.1f %%\n", "block driver and hand-offs (the rest)", 100.0 * (whole - stageSum) / whole);
    return 0;
}
