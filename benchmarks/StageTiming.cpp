#include "StageTiming.h"

#include <juce_audio_basics/juce_audio_basics.h>

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
#include <functional>
#include <random>

namespace bench
{
namespace
{
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

// The transport position at a block's first sample, in beats.
double ppqAt (const StageSettings& s, size_t sample)
{
    return s.playing ? (double) sample / (double) s.samplesPerBeat : 0.0;
}

void setShimmerForBlock (dsp::Shimmer& shimmer, const StageSettings& s, size_t blockStart)
{
    shimmer.setForBlock (s.grain, s.samplesPerBeat, ppqAt (s, blockStart), s.playing);
}

Chain renderChain (const Stereo& input, const StageSettings& s)
{
    Chain chain (input.size());
    chain.dry = input;
    const int n = s.numChannels;
    const size_t blockSize = (size_t) s.blockSize;

    dsp::LevelFollower follower;
    dsp::MultiTapSpace multiTap;
    dsp::ReverbInputFilter reverbInput;
    dsp::PlateFDN plate;
    dsp::Shimmer shimmer;
    dsp::ResoComb combs;
    dsp::TapeWash tapeWash;
    follower.prepare (s.sampleRate);
    multiTap.prepare (s.sampleRate);
    reverbInput.prepare (s.sampleRate);
    plate.prepare (s.sampleRate);
    shimmer.prepare (s.sampleRate);
    combs.prepare (s.sampleRate);
    tapeWash.prepare (s.sampleRate);
    float shimmerFeedback[] { 0.0f, 0.0f };

    for (size_t i = 0; i < input.size(); ++i)
    {
        if (i % blockSize == 0)
        {
            plate.updateDecay (s.space);
            plate.updateTargets (s.space);
            tapeWash.setForBlock (s.wash);
            combs.setForBlock (s.filter);
            setShimmerForBlock (shimmer, s, i);
        }
        const float dry[] { input.left[i], input.right[i] };
        chain.inputLevel[i] = dsp::LevelFollower::inputLevel (dry, n);
        chain.duckingGain[i] = follower.process (chain.inputLevel[i]);

        float taps[] { dry[0], dry[1] };
        multiTap.process (taps, s.space, s.samplesPerBeat, n);
        store (chain.multiTap, i, taps);

        float signal[2] {};
        reverbInput.process (dry, taps, shimmerFeedback, signal, n);
        store (chain.reverbIn, i, signal);

        plate.processInput (signal, n);
        store (chain.diffused, i, signal);

        plate.processNetwork (signal, n);
        store (chain.reverbOut, i, signal);

        float grains[2] {}, combed[2] {}, wet[2] {}, tape[2] {};
        shimmer.writeInput (signal, n);
        shimmer.processGrains (n, grains);
        store (chain.grains, i, grains);
        combs.process (grains, combed, n);
        store (chain.combs, i, combed);
        shimmer.updateBloom (chain.inputLevel[i], (int) (i % blockSize));
        shimmer.mixWet ({ grains, combed, signal, taps, s.filter, s.space }, n, shimmerFeedback, wet);
        store (chain.wet, i, wet);
        tapeWash.process (wet, tape, n);
        store (chain.tape, i, tape);
    }
    return chain;
}

// Keeps the optimiser from dropping work whose result is otherwise unused.
volatile float sink = 0.0f;

using BlockWork = std::function<void (size_t start, size_t count)>;

// Runs blockWork over the whole input in blocks (start, count), several times; the best time
// per sample frame.
double bestTime (const StageSettings& s, size_t length, const BlockWork& blockWork)
{
    const auto blockSize = (size_t) s.blockSize;
    double best = 1.0e30;
    for (int r = 0; r < s.repeats; ++r)
    {
        const auto begin = std::chrono::steady_clock::now();
        for (size_t start = 0; start < length; start += blockSize)
            blockWork (start, std::min (blockSize, length - start));
        const std::chrono::duration<double, std::nano> elapsed = std::chrono::steady_clock::now() - begin;
        best = std::min (best, elapsed.count() / (double) length);
    }
    return best;
}
} // namespace

Stereo makeMusicLikeInput (double sampleRate, double seconds)
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

std::vector<StageCost> timeStages (const Stereo& input, const StageSettings& s)
{
    // The plug-in flushes denormals for the whole block; so do we.
    juce::ScopedNoDenormals noDenormals;

    const auto chain = renderChain (input, s);
    const auto length = input.size();
    const int n = s.numChannels;
    std::vector<StageCost> costs;
    const auto timeStage = [&] (const char* name, const BlockWork& blockWork)
    {
        costs.push_back ({ name, bestTime (s, length, blockWork) });
    };

    {
        dsp::LevelFollower follower;
        follower.prepare (s.sampleRate);
        timeStage ("LevelFollower", [&] (size_t start, size_t count) {
            float gain = 0.0f;
            for (size_t i = start; i < start + count; ++i)
            {
                const float x[] { chain.dry.left[i], chain.dry.right[i] };
                gain += follower.process (dsp::LevelFollower::inputLevel (x, n));
            }
            sink = gain;
        });
    }
    {
        dsp::MultiTapSpace multiTap;
        multiTap.prepare (s.sampleRate);
        timeStage ("MultiTapSpace", [&] (size_t start, size_t count) {
            for (size_t i = start; i < start + count; ++i)
            {
                float signal[] { chain.dry.left[i], chain.dry.right[i] };
                multiTap.process (signal, s.space, s.samplesPerBeat, n);
                sink = signal[0];
            }
        });
    }
    {
        dsp::ReverbInputFilter reverbInput;
        reverbInput.prepare (s.sampleRate);
        const float noFeedback[] { 0.0f, 0.0f };
        timeStage ("ReverbInputFilter", [&] (size_t start, size_t count) {
            for (size_t i = start; i < start + count; ++i)
            {
                const float dry[] { chain.dry.left[i], chain.dry.right[i] };
                const float multiTap[] { chain.multiTap.left[i], chain.multiTap.right[i] };
                float out[2] {};
                reverbInput.process (dry, multiTap, noFeedback, out, n);
                sink = out[0];
            }
        });
    }
    {
        dsp::PlateFDN plate;
        plate.prepare (s.sampleRate);
        timeStage ("PlateFDN input (pre-delay, diffusers)", [&] (size_t start, size_t count) {
            plate.updateTargets (s.space);
            for (size_t i = start; i < start + count; ++i)
            {
                float signal[] { chain.reverbIn.left[i], chain.reverbIn.right[i] };
                plate.processInput (signal, n);
                sink = signal[0];
            }
        });
    }
    {
        dsp::PlateFDN plate;
        plate.prepare (s.sampleRate);
        timeStage ("PlateFDN network", [&] (size_t start, size_t count) {
            plate.updateDecay (s.space);
            plate.updateTargets (s.space);
            for (size_t i = start; i < start + count; ++i)
            {
                float signal[] { chain.diffused.left[i], chain.diffused.right[i] };
                plate.processNetwork (signal, n);
                sink = signal[0];
            }
        });
    }
    {
        dsp::Shimmer shimmer;
        shimmer.prepare (s.sampleRate);
        timeStage ("Shimmer grains", [&] (size_t start, size_t count) {
            setShimmerForBlock (shimmer, s, start);
            for (size_t i = start; i < start + count; ++i)
            {
                const float reverbOut[] { chain.reverbOut.left[i], chain.reverbOut.right[i] };
                float grains[2] {};
                shimmer.writeInput (reverbOut, n);
                shimmer.processGrains (n, grains);
                sink = grains[0];
            }
        });
    }
    {
        dsp::ResoComb combs;
        combs.prepare (s.sampleRate);
        timeStage ("ResoComb", [&] (size_t start, size_t count) {
            combs.setForBlock (s.filter);
            for (size_t i = start; i < start + count; ++i)
            {
                const float grains[] { chain.grains.left[i], chain.grains.right[i] };
                float out[2] {};
                combs.process (grains, out, n);
                sink = out[0];
            }
        });
    }
    {
        dsp::Shimmer shimmer;
        shimmer.prepare (s.sampleRate);
        timeStage ("Shimmer bloom and wet sum", [&] (size_t start, size_t count) {
            setShimmerForBlock (shimmer, s, start);
            for (size_t i = start; i < start + count; ++i)
            {
                const float grains[] { chain.grains.left[i], chain.grains.right[i] };
                const float combed[] { chain.combs.left[i], chain.combs.right[i] };
                const float reverbOut[] { chain.reverbOut.left[i], chain.reverbOut.right[i] };
                const float taps[] { chain.multiTap.left[i], chain.multiTap.right[i] };
                float feedback[2] {}, wet[2] {};
                shimmer.updateBloom (chain.inputLevel[i], (int) (i - start));
                shimmer.mixWet ({ grains, combed, reverbOut, taps, s.filter, s.space }, n, feedback, wet);
                sink = wet[0] + feedback[0];
            }
        });
    }
    {
        dsp::TapeWash tapeWash;
        tapeWash.prepare (s.sampleRate);
        timeStage ("TapeWash", [&] (size_t start, size_t count) {
            tapeWash.setForBlock (s.wash);
            for (size_t i = start; i < start + count; ++i)
            {
                const float wet[] { chain.wet.left[i], chain.wet.right[i] };
                float out[2] {};
                tapeWash.process (wet, out, n);
                sink = out[0];
            }
        });
    }
    {
        dsp::WetHighpass highpass;
        dsp::OutputCompressor compressor;
        highpass.prepare (s.sampleRate);
        compressor.prepare (s.sampleRate);
        timeStage ("Output stage", [&] (size_t start, size_t count) {
            for (size_t i = start; i < start + count; ++i)
            {
                const float tape[] { chain.tape.left[i], chain.tape.right[i] };
                const float dry[] { chain.dry.left[i], chain.dry.right[i] };
                float v[2] {}, out[2] {};
                dsp::OutputStage::process (highpass, compressor, { tape, dry, chain.duckingGain[i], s.space, s.wash },
                                           n, v, out);
                sink = out[0];
            }
        });
    }
    return costs;
}
} // namespace bench
