#pragma once

// The values one sample hands from stage to stage, one per processed channel. The block driver
// clears the frame before the first sample of every block; within a block each stage overwrites
// the slots it owns before a later stage reads them.
struct SampleFrame
{
    float dry[2] {};     // the input, untouched for the whole sample
    float delayIn[2] {}; // the input, replaced by the multi-tap output
    float reverb[2] {};  // the reverb input, diffused in place, then replaced by the network output
    float grain[2] {};   // the pitch-shifted grains
    float comb[2] {};    // the resonant combs
    float wet[2] {};     // the wet sum that enters the tape stage
    float tape[2] {};    // the tape wash output
    float output[2] {};  // the wet signal inside the output stage
    float inputLevel = 0.0f;  // magnitude of the mean input
    float duckingGain = 1.0f; // how far loud input pushes the wet signal back
};
