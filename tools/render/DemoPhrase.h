#pragma once

// A short dry phrase to hear the plug-in on without shipping an audio file: six plucked notes
// of an A minor arpeggio spread across the stereo field, damped after three seconds and followed
// by silence, so the reverb's own tail is heard on its own.

#include <juce_audio_basics/juce_audio_basics.h>

namespace tools
{
inline constexpr double demoSampleRate = 48000.0;

// Stereo, peaking at -6 dBFS; the same samples on every run.
juce::AudioBuffer<float> makeDemoPhrase (double sampleRate);
} // namespace tools
