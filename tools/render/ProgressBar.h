#pragma once

// A one-line progress bar on stderr: percent done and speed as a multiple of real time. It only
// draws when stderr is a terminal, so logs and pipes stay clean.

#include <juce_core/juce_core.h>

namespace tools
{
class ProgressBar
{
public:
    ProgressBar (bool wanted, juce::int64 totalSamples, double sampleRate);

    void update (juce::int64 samplesDone);
    // Draws the final state and ends the line.
    void finish();

private:
    void draw (juce::int64 samplesDone);

    bool enabled;
    juce::int64 total;
    double sampleRate;
    double startSeconds;
    double lastDrawSeconds = -1.0;
};

// Seconds on a monotonic clock.
double secondsNow();
} // namespace tools
