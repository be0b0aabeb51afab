#pragma once

// Times every stage of the signal chain on its own and gives its cost in nanoseconds per sample
// frame (one sample per channel).
//
// Each stage is fed what it would see in the plug-in: the input is rendered once through the
// chain, untimed, and every stage is then timed on its own inputs, block by block as the block
// driver calls it, with the knob values and transport of the case.
//
// Adding a stage: render its input in renderChain() if the chain does not hold it yet, then add
// a timeStage() call in timeStages() whose lambda does one block of the stage's work.

#include <string>
#include <vector>

namespace bench
{
struct Stereo
{
    std::vector<float> left, right;

    explicit Stereo (size_t length) : left (length), right (length) {}
    size_t size() const { return left.size(); }
};

// Half-second phrases: a burst of noise that decays over 300 ms, then near silence.
Stereo makeMusicLikeInput (double sampleRate, double seconds);

struct StageSettings
{
    double sampleRate = 48000.0;
    int numChannels = 2; // 1: every stage runs its left half only, as in a mono host
    int blockSize = 512;
    // The knobs as the chain sees them, 0..1.
    float space = 0.65f, grain = 0.25f, filter = 0.35f, wash = 0.55f;
    float samplesPerBeat = 24000.0f;
    bool playing = false; // the position then advances from 0 with the samples
    int repeats = 5;
};

struct StageCost
{
    std::string name;
    double nsPerFrame;
};

// The best of settings.repeats runs over the whole input for each stage, in chain order: the best
// run is the one least disturbed by the rest of the machine.
std::vector<StageCost> timeStages (const Stereo& input, const StageSettings& settings);
} // namespace bench
